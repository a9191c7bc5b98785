#include "formats/sdf/SdfRecords.h"

#include <algorithm>
#include <initializer_list>

namespace Sdf {

void SwapBytes(void* buffer, int size, std::size_t count)
{
    auto* p = static_cast<unsigned char*>(buffer);
    if (size != 2 && size != 4 && size != 8)
        return;
    for (std::size_t i = 0; i < count; ++i, p += size)
        std::reverse(p, p + size);
}

namespace {

// Field widths in order: 2, 4, 8 are swapped; a negative width is that many
// bytes left alone (characters, the i8 exponents). Returns the bytes covered.
int Walk(void* record, std::initializer_list<int> fields)
{
    auto* p = static_cast<unsigned char*>(record);
    int covered = 0;
    for (int w : fields) {
        if (w > 0) {
            SwapBytes(p + covered, w, 1);
            covered += w;
        } else {
            covered -= w;
        }
    }
    return covered;
}


}  // namespace

int Swap(SDFSIUnit& r) { return Walk(&r, {-10, 4, -8}); }

int Swap(SDF_FILE_HDR& r)
{
    return Walk(&r, {2, 4, 2, 2, 2, 2, 2, -8, 2, 2, 2, 2, 2, 2, 4, 4, 4, 4, 4, 4, 4, 2, 2, 4, 4, 4});
}

int Swap(SDF_MEAS_HDR& r)
{
    return Walk(&r, {2, 4, 4, 4, 4, 4, 2, 2, 2, 2, 4, 4, -60, 4, 8, 8, 8, 2, 2, 2, 8, 4, 4, 8});
}

int Swap(SDF_DATA_HDR& r)
{
    int n = Walk(&r, {2, 4, 4, -16, 2, 2, 2, 2, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 4, 2, 2});
    n += Swap(r.xUnit);
    n += Walk(&r.yUnitValid, {2});
    n += Swap(r.yUnit);
    n += Walk(&r.abscissaFirstX, {8, 8, 2, 2, 4, 4, 2, 2, 2});
    return n;
}

int Swap(SDF_VECTOR_HDR& r) { return Walk(&r, {2, 4, 4, 2, 2, 2, 2}); }

int Swap(SDF_CHANNEL_HDR& r)
{
    int n = Walk(&r, {2, 4, 4, -30, -12, -12, 2, 2, 4, 4, 4, 4, 4, 2, 4, 4, 2, 2, 2, 2, -10});
    n += Swap(r.engUnit);
    n += Walk(&r.int2engrUnit, {4, 4, 2, 2, 2, 8, 8, 8, 8, 8, 8, 8, 2, 2});
    return n;
}

int Swap(SDF_SCAN_STRUCT& r) { return Walk(&r, {2, 4, 2, 2, 2, 2}) + Swap(r.scanUnit); }

int Swap(SDF_SCAN_BIG& r) { return Walk(&r, {2, 4, 4, 4, 4, 2}); }

int Swap(SDF_SCAN_VAR& r) { return Walk(&r, {2, 4, 4, 4, 2, 2, 2, -10, 2}) + Swap(r.scanVarUnit); }

int Swap(SDF_COMMENT_HDR& r) { return Walk(&r, {2, 4, 4, 4, 4, 2, 2, 2}); }

int Swap(SDF_UNIQUE& r) { return Walk(&r, {2, 4, 4}); }

int Swap(SDF_DATA_PREFIX& r) { return Walk(&r, {2, 4}); }

}  // namespace Sdf
