// The side-file readers of the PAK import on texts given here, and the
// header checks on structures written from the layout tables.

#include "formats/pak/PakLayout.h"
#include "formats/pak/PakSamples.h"

#include "PakTestUtil.h"

using namespace paktest;

namespace {

PakNames Names(const std::string& chanPos, const std::string& mpList)
{
    PakNames n;
    ReadChanPosNames(chanPos.data(), chanPos.size(), n);
    ReadMPlistNames(mpList.data(), mpList.size(), n);
    return n;
}

unsigned Check(const TData& d, SPakThroughput& t, std::string& detail)
{
    const Bytes b = d.Make();
    const auto* p = reinterpret_cast<const unsigned char*>(b.data());
    return ReadPakThroughput(p, p + 8008, t, detail);
}

}  // namespace

TEST(PakNames, ChanPosLinesThenMPlistFillTheEmptyNames)
{
    const std::string chanPos =
        "  POS0\tMic front\r\n"
        "POS1\tAccel seat\n"
        "\tMPTEXT1\tnot taken: POS named it\n"
        "MPTEXT2\tFrom MPTEXT\n"
        "DIRECTION1\tX\n"        // appended
        "DIRECTION0\tS\n"        // S leaves the name alone
        "DIRECTION2\tZ\n"
        "DIRECTION3\tY\n"        // no name yet: nothing
        "POS256\tout of range\n"
        "POS-1\tout of range\n"
        "POS4 no tab\n"
        "POS5\tx\n"
        "DIRECTION5\tY\n";       // a name of one character gets no direction
    const std::string mpList = "list0\t\tLS\t\nlist1\t\tLS\t\nlist2\t\tKS\t\nlist3\t\tLS\t\nno tab\nlist5\t\n\tempty\n";
    const PakNames n = Names(chanPos, mpList);
    EXPECT_EQ(n[0], "Mic front");
    EXPECT_EQ(n[1], "Accel seat X");
    EXPECT_EQ(n[2], "From MPTEXT Z");
    EXPECT_EQ(n[3], "list3");
    EXPECT_EQ(n[4], "");
    EXPECT_EQ(n[5], "x");
    EXPECT_EQ(n[6], "");
    EXPECT_EQ(n[255], "");
}

TEST(PakNames, LongMPlistNamesAreShortenedAroundADotAndTheListStopsAt256Lines)
{
    std::string n130;
    for (int i = 0; i < 130; ++i)
        n130 += char('A' + i % 26);
    const std::string n129 = n130.substr(0, 129);
    std::string list = n130 + "\t\tLS\t\n" + n129 + "\t\tLS\t\n";
    for (int i = 2; i < 300; ++i)
        list += "n" + std::to_string(i) + "\t\tLS\t\n";
    const PakNames n = Names("", list);
    // 64 characters, ".", the last 63: 128 in all.
    EXPECT_EQ(n[0], n130.substr(0, 64) + "." + n130.substr(67));
    EXPECT_EQ(n[1], n129.substr(0, 128));
    EXPECT_EQ(n[255], "n255");
    // ChanPos names are cut at 128 characters as well.
    const PakNames m = Names("POS7\t" + n130 + "\n", "");
    EXPECT_EQ(m[7], n130.substr(0, 128));
}

TEST(PakHeader, ChecksComeInTheirOrder)
{
    // Faults on top of a sound file; where a case holds two, the earlier
    // check decides.
    TData good;
    good.channels = {TChannel{}, TChannel{}};
    const struct {
        void (*spoil)(TData&);
        unsigned id;
    } cases[] = {
        {[](TData&) {}, 0},
        {[](TData& d) { d.extraKinds = {9}; }, 103},   // a third analog channel where two are declared
        {[](TData& d) { d.extraKinds = {9}, d.channelCount = 3; }, 103},   // declared, beyond the records in use
        {[](TData& d) { d.channels = {TChannel{0}, TChannel{4, 7, 1, 0, 1, 1}}; }, 7},
        {[](TData& d) { d.setupRevision = 3; }, 130},
        {[](TData& d) { d.revision = 7; }, 130},
        {[](TData& d) { d.revision = 7, d.channelCount = 257; }, 105},
        {[](TData& d) { d.revision = 7, d.channelCount = 0; }, 105},
        {[](TData& d) { d.samplesPerBlock = 0; }, 131},
        {[](TData& d) { d.rate = 0.0f; }, 131},
        {[](TData& d) { d.blocks = -1; }, 131},
        {[](TData& d) { d.channels.push_back(TChannel{5, 7, 1, 0, 1, 0}); }, 131},   // pulse channel without values
    };
    for (const auto& k : cases) {
        TData d = good;
        k.spoil(d);
        SPakThroughput t;
        std::string detail;
        EXPECT_EQ(Check(d, t, detail), k.id) << detail;
        if (k.id == 131 && d.samplesPerBlock == 0)
            EXPECT_NE(detail.find("2064"), std::string::npos) << detail;
    }
}

TEST(PakSamples, EverySampleReachesItsPlaceBothWays)
{
    using Bytes = std::vector<unsigned char>;
    // Channel counts and lengths around the tiles of 8, 4 and 2 channels;
    // scans with and without a pulse byte after the samples (which stays untouched).
    for (std::size_t bytes : {2u, 4u})
        for (int channels : {1, 2, 3, 4, 5, 8, 12, 13})
            for (long n : {0L, 7L, 8L, 9L, 21L})
                for (std::size_t pad : {0u, 1u}) {
                    const std::size_t scan = std::size_t(channels) * bytes + pad;
                    std::vector<Bytes> runs(std::size_t(channels), Bytes(std::size_t(n) * bytes)), back = runs;
                    std::vector<const unsigned char*> from;
                    std::vector<unsigned char*> to;
                    Bytes expected(std::size_t(n) * scan, 0xAA), scans = expected;
                    for (std::size_t c = 0; c < runs.size(); ++c) {
                        // Byte k of sample s of channel c, in its run and in its scan.
                        for (std::size_t s = 0; s < std::size_t(n); ++s)
                            for (std::size_t k = 0; k < bytes; ++k)
                                runs[c][s * bytes + k] = expected[s * scan + c * bytes + k] =
                                    (unsigned char)((c * 1000 + s + 1) >> (8 * k));
                        from.push_back(runs[c].data());
                        to.push_back(back[c].data());
                    }
                    PakSamples::Interleave(from.data(), channels, n, bytes, scans.data(), scan);
                    ASSERT_EQ(scans, expected) << bytes << " " << channels << " " << n << " " << pad;
                    PakSamples::Deinterleave(scans.data(), scan, channels, n, bytes, to.data());
                    ASSERT_EQ(back, runs) << bytes << " " << channels << " " << n << " " << pad;
                }
}
