// Any bytes as the start of a PAK throughput file and its side files. The
// input is laid over a well-formed header and setup where the fields that
// matter lie (so that few bytes reach every check), the rest goes to the
// ChanPos and MPlist readers. The checks must end with one of their result
// ids, and an accepted layout must place every channel inside its block.

#include "FuzzSupport.h"
#include "formats/pak/PakLayout.h"

namespace {

struct SRegion {
    bool setup;
    std::size_t offset, size;
};

// Byte order text, revision; samples per block, bits, first counts; start,
// zone; setup revision .. rate; the first eight channel records' kind,
// quantity, factor and offset.
const SRegion kRegions[] = {
    {false, 0, 12},    {false, 2064, 40}, {false, 16, 64},  {false, 3096, 18}, {true, 0, 36},
    {true, PakLayout::Record(0), 56}, {true, PakLayout::Record(1), 56}, {true, PakLayout::Record(2), 56},
    {true, PakLayout::Record(3), 56}, {true, PakLayout::Record(4), 8},  {true, PakLayout::Record(5), 8},
    {true, PakLayout::Record(6), 8},  {true, PakLayout::Record(7), 8},  {true, PakLayout::Record(200), 8},
};

// A header and a setup file.
using SFiles = std::pair<std::vector<unsigned char>, std::vector<unsigned char>>;

unsigned char* Place(SFiles& f, const SRegion& r) { return (r.setup ? f.second : f.first).data() + r.offset; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The well-formed structures, made once, and the working copy; each input
    // changes only its regions, which are put back afterwards (75 KB copied
    // per input would cost most of the time).
    static SFiles clean = [] {
        SFiles f{std::vector<unsigned char>(PakLayout::kHeaderSize), std::vector<unsigned char>(PakLayout::kSetupSize)};
        PakLayout::CFields h(f.first.data(), f.first.size(), false), s(f.second.data(), f.second.size(), false);
        std::memcpy(f.first.data(), "LSB", 3);
        h.Put<std::int32_t>(PakLayout::kHdrRevision, 1);
        h.Put<std::int32_t>(PakLayout::kHdrSamplesPerBlock, 256);
        h.Put<std::int16_t>(PakLayout::kHdrBits, 16);
        s.Put<std::int16_t>(PakLayout::kSetRevision, 2);
        s.Put<std::int32_t>(PakLayout::kSetBlocks, 10);
        s.Put<std::int16_t>(PakLayout::kSetChannels, 2);
        s.Put<float>(PakLayout::kSetRate, 48000.0f);
        s.Put<std::int16_t>(PakLayout::Record(0) + PakLayout::kRecKind, 1);
        s.Put<std::int16_t>(PakLayout::Record(1) + PakLayout::kRecKind, 4);
        h.Put<std::int32_t>(PakLayout::kHdrValuesPerBlock + 4, 1);
        return f;
    }();
    static SFiles work = clean;
    std::size_t used = 0;
    for (const SRegion& r : kRegions) {
        const std::size_t n = std::min(r.size, size - used);
        std::memcpy(Place(work, r), data + used, n);
        used += n;
    }

    SPakThroughput t;
    std::string detail;
    const unsigned rc = ReadPakThroughput(work.first.data(), work.second.data(), t, detail);
    for (const SRegion& r : kRegions)
        std::memcpy(Place(work, r), Place(clean, r), r.size);
    fuzz::Check(rc == 0 || ((rc == 7 || rc == 103 || rc == 105 || rc == 130 || rc == 131) && !detail.empty()));
    if (rc == 0) {
        fuzz::Check(!t.analog.empty() && t.pulse.size() <= std::size_t(PakLayout::kMaxPulseChannels) && t.uBlockBytes != 0);
        for (const SPakChannel& c : t.analog)
            fuzz::Check(c.uBlockOffset + std::uint64_t(t.lSamplesPerBlock) * std::uint64_t(t.SampleBytes()) <= t.uBlockBytes);
        for (const SPakChannel& c : t.pulse)
            fuzz::Check(c.lValues > 0 && c.uBlockOffset + 4 * std::uint64_t(c.lValues) <= t.uBlockBytes);
    }

    // What is left: half a ChanPos file, half an MPlist file.
    const char* text = reinterpret_cast<const char*>(data + used);
    const std::size_t rest = size - used;
    PakNames names;
    ReadChanPosNames(text, rest / 2, names);
    ReadMPlistNames(text + rest / 2, rest - rest / 2, names);
    for (const std::string& n : names)
        fuzz::Check(n.size() <= 128);
    return 0;
}
