// Any bytes as a TAFFmat header: the reader must end with 0, 77 or 78, name
// the keyword it missed, and give every list the header's series count.

#include "formats/recorder/TaffHeader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    STaffHeader h;
    std::string detail;
    const unsigned rc = ReadTaffHeader(reinterpret_cast<const char*>(data), size, h, detail);
    if (rc != 0 && rc != 77 && rc != 78)
        __builtin_trap();
    if (rc != 0 && detail.empty())
        __builtin_trap();
    if (rc == 0) {
        if (h.iNumSeries > STaffHeader::kMaxSeries)
            __builtin_trap();
        const std::size_t n = std::size_t(h.iNumSeries > 0 ? h.iNumSeries : 0);
        if (h.series.size() != n || h.vertUnits.size() != n || h.slopes.size() != n || h.yOffsets.size() != n)
            __builtin_trap();
        if ((!h.chSlots.empty() && h.chSlots.size() != n) || (!h.rateMulti.empty() && h.rateMulti.size() != n))
            __builtin_trap();
    }
    return 0;
}
