// Any bytes as a QuickVu-RD data file (header, then a SET file from the
// rest): the checks must give one of their codes, and a header that passes
// must describe a file of exactly this length with valid slots.

#include "FuzzSupport.h"
#include "formats/recorder/QuickVu.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < SQuickVuHeader::kSize)
        return 0;
    const SQuickVuHeader h = SQuickVuHeader::Parse(data);
    fuzz::Check(h.sComment.size() <= 401);
    // The length the header would check against: the bytes given, or the
    // one it announces (so that the later checks are reached too).
    const std::uint64_t lengths[] = {size, SQuickVuHeader::kSize + 2 * std::uint64_t(h.uTotalSamples)};
    for (std::uint64_t length : lengths) {
        const unsigned rc = CheckQuickVuHeader(h, length);
        fuzz::Check(rc == 0 || rc == 71 || rc == 72 || rc == 76 || rc == 7 || rc == 73);
        if (rc == 0) {
            fuzz::Check(h.UsedSlots() >= 1 && h.fRate > 0.0f && std::isfinite(h.fRate));
            for (int s = 0; s < SQuickVuHeader::kSlots; ++s)
                fuzz::Check(!h.channel[std::size_t(s)] || QuickVuVoltsPerCount(h.range[std::size_t(s)]) > 0.0);
        }
    }
    const SQuickVuSet set = ParseQuickVuSet(data + SQuickVuHeader::kSize, size - SQuickVuHeader::kSize, h);
    if (set.bValid) {
        fuzz::Check(size - SQuickVuHeader::kSize >= SQuickVuSet::kSize);
        for (int s = 0; s < SQuickVuHeader::kSlots; ++s) {
            const SQuickVuSetRecord& r = set.slots[std::size_t(s)];
            fuzz::Check(r.sName.size() <= 10 && r.sUnit.size() <= 10);
            fuzz::Check(!h.channel[std::size_t(s)] || (r.fFactor != 0.0f && std::isfinite(r.fFactor)));
        }
    }
    return 0;
}
