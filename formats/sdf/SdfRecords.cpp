#include "formats/sdf/SdfRecords.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace Sdf {

namespace {

template <class T, T (*Swap)(T)>
void SwapAll(unsigned char* p, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i, p += sizeof(T)) {
        T v;
        std::memcpy(&v, p, sizeof v);
        v = Swap(v);
        std::memcpy(p, &v, sizeof v);
    }
}

std::uint16_t Swap16(std::uint16_t v) { return __builtin_bswap16(v); }
std::uint32_t Swap32(std::uint32_t v) { return __builtin_bswap32(v); }
std::uint64_t Swap64(std::uint64_t v) { return __builtin_bswap64(v); }

}  // namespace

void SwapBytes(void* buffer, int size, std::size_t count)
{
    auto* p = static_cast<unsigned char*>(buffer);
    switch (size) {
    case 2: SwapAll<std::uint16_t, Swap16>(p, count); break;
    case 4: SwapAll<std::uint32_t, Swap32>(p, count); break;
    case 8: SwapAll<std::uint64_t, Swap64>(p, count); break;
    default: break;
    }
}

namespace {

template <int N>
void CopySwappedN(const unsigned char* s, std::size_t srcStride, unsigned char* d, std::size_t dstStride,
                  std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i, s += srcStride, d += dstStride) {
        if constexpr (N == 2) {
            std::uint16_t v;
            std::memcpy(&v, s, 2);
            v = __builtin_bswap16(v);
            std::memcpy(d, &v, 2);
        } else if constexpr (N == 4) {
            std::uint32_t v;
            std::memcpy(&v, s, 4);
            v = __builtin_bswap32(v);
            std::memcpy(d, &v, 4);
        } else {
            std::uint64_t v;
            std::memcpy(&v, s, 8);
            v = __builtin_bswap64(v);
            std::memcpy(d, &v, 8);
        }
    }
}

}  // namespace

void CopySwapped(const void* src, std::size_t srcStride, void* dst, std::size_t dstStride, int size, std::size_t count)
{
    auto* s = static_cast<const unsigned char*>(src);
    auto* d = static_cast<unsigned char*>(dst);
    switch (size) {
    case 2: CopySwappedN<2>(s, srcStride, d, dstStride, count); break;
    case 4: CopySwappedN<4>(s, srcStride, d, dstStride, count); break;
    case 8: CopySwappedN<8>(s, srcStride, d, dstStride, count); break;
    default: break;
    }
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
