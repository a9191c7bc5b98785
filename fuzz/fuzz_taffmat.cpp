// Any bytes as a TAFFmat header: the reader must end with 0, 77 or 78, name
// the keyword it missed, and give every list the header's series count.

#include "FuzzSupport.h"
#include "formats/recorder/TaffHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    STaffHeader h;
    std::string detail;
    const unsigned rc = ReadTaffHeader(reinterpret_cast<const char*>(data), size, h, detail);
    fuzz::Check(rc == 0 || ((rc == 77 || rc == 78) && !detail.empty()));
    if (rc == 0) {
        fuzz::Check(h.iNumSeries <= STaffHeader::kMaxSeries);
        const std::size_t n = std::size_t(h.iNumSeries > 0 ? h.iNumSeries : 0);
        fuzz::Check(h.series.size() == n && h.vertUnits.size() == n && h.slopes.size() == n && h.yOffsets.size() == n);
        fuzz::Check((h.chSlots.empty() || h.chSlots.size() == n) && (h.rateMulti.empty() || h.rateMulti.size() == n));
    }
    return 0;
}
