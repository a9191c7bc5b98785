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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The well-formed structures, made once; each input changes only its
    // regions, which are put back afterwards (75 KB copied per input would
    // cost most of the time).
    static std::vector<unsigned char> header(PakLayout::kHeaderSize), setup(PakLayout::kSetupSize);
    static const bool made = [] {
        PakLayout::CFields h(header.data(), header.size(), false), s(setup.data(), setup.size(), false);
        std::memcpy(header.data(), "LSB", 3);
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
        return true;
    }();
    (void)made;
    struct SSaved {
        const SRegion* region;
        unsigned char bytes[64];
    };
    SSaved saved[sizeof(kRegions) / sizeof(kRegions[0])];
    std::size_t nSaved = 0;
    std::size_t used = 0;
    for (const SRegion& r : kRegions) {
        if (used == size)
            break;
        unsigned char* at = (r.setup ? setup.data() : header.data()) + r.offset;
        saved[nSaved].region = &r;
        std::memcpy(saved[nSaved++].bytes, at, r.size);
        const std::size_t n = std::min(r.size, size - used);
        std::memcpy(at, data + used, n);
        used += n;
    }
    struct SRestore {
        SSaved* saved;
        std::size_t& n;
        ~SRestore()
        {
            for (std::size_t i = 0; i < n; ++i) {
                const SRegion& r = *saved[i].region;
                std::memcpy((r.setup ? setup.data() : header.data()) + r.offset, saved[i].bytes, r.size);
            }
        }
    } restore{saved, nSaved};

    SPakThroughput t;
    std::string detail;
    const unsigned rc = ReadPakThroughput(header.data(), setup.data(), t, detail);
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
