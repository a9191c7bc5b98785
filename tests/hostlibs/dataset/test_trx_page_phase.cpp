// A data set created with a data phase (what an import that copies samples
// unchanged asks for): where the samples start, that the phase never breaks
// the samples' alignment, that the page phase survives a rewrite of the
// description, and that an opened file whose data offset breaks the
// alignment is refused.

#include "TrxTestSupport.h"

#include <cmath>

using namespace trxtest;

namespace {

CChannelList Of(std::initializer_list<int> types)
{
    CChannelList cl;
    int i = 0;
    for (int t : types) {
        std::string name = "c" + std::to_string(i++);
        cl.push_back(Channel(name.c_str(), t));
    }
    return cl;
}

std::uint64_t CreatedOffset(const std::string& path, const CChannelList& channels, long phase)
{
    CDataset ds(path.c_str(), Abscissas(TimeAbscissa(0)), channels, dk__time, ds__dorg_interleaved, 0, 65536,
                sh__deny_write, phase);
    ds.Close();
    return ParseRaw(path).dataOffset;
}

} // namespace

TEST(TrxPagePhase, DataOffsetTakesThePhaseWhereTheSamplesKeepTheirAlignment)
{
    ScratchDir dir;
    struct SCase {
        std::initializer_list<int> types;
        long phase;
        std::uint64_t modulus, want;   // D modulo `modulus` is `want`
    };
    const SCase cases[] = {
        {{it__int16, it__int16}, 44, 65536, 44},        // a 16-bit WAVE file's samples
        {{it__int16, it__int16}, 46, 65536, 46},
        {{it__int16, it__int16, it__int16, it__int16}, 512, 65536, 512},   // QuickVu-RD
        {{it__int16, it__int16}, 0, 65536, 0},          // SONY, TAFFmat
        {{it__int16}, 65536 + 4140, 65536, 4140},
        {{it__int24}, 45, 65536, 45},                   // bytes: any phase
        {{it__int32}, 44, 65536, 44},
        // Phases that would break the alignment: on a page, as without one.
        {{it__int32}, 46, 4096, 0},
        {{it__int16, it__float}, 46, 4096, 0},          // the widest number decides
        {{it__double}, 44, 4096, 0},
        {{it__double}, 8, 65536, 8},
        {{it__cint16}, 2, 65536, 2},                    // complex: its component
        {{it__cdouble}, 4, 4096, 0},
        {{it__int16}, -1, 4096, 0},                     // no phase asked
    };
    int n = 0;
    for (const SCase& c : cases) {
        std::string path = dir / ("p" + std::to_string(n++) + ".trx");
        std::uint64_t d = CreatedOffset(path, Of(c.types), c.phase);
        EXPECT_EQ(c.want, d % c.modulus) << path << " phase " << c.phase;
        // The padding of a file without a phase stays below two pages and
        // the description's length; with a phase, below 64 KiB more.
        const std::uint64_t need = 24 + ParseRaw(path).headerLength + 4096u;
        EXPECT_LT(d, need + c.modulus) << path;
        EXPECT_GE(d, need) << "spare room for the description";
        CDataset back(path.c_str(), om__read_complete, 32768, sh__deny_write);
        EXPECT_EQ(long(d), back.GetStartOfDataInFile());
    }
}

TEST(TrxPagePhase, SamplesWrittenAtThePhaseReadBackAndSurviveADescriptionThatOutgrowsItsRoom)
{
    ScratchDir dir;
    std::string path = dir / "a.trx";
    const long scans = 1000;
    std::vector<std::int16_t> raw(2 * scans);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = std::int16_t((i * 7919) % 65536 - 32768);
    {
        CDataset ds(path.c_str(), Abscissas(TimeAbscissa(0)), Of({it__int16, it__int16}), dk__time,
                    ds__dorg_interleaved, 0, 65536, sh__deny_write, 44);
        ASSERT_EQ(44, ds.GetStartOfDataInFile() % 4096);
        CDataStream* s = ds.GetPtrToFile();
        ASSERT_TRUE(s);
        EXPECT_EQ(std::uint64_t(ds.GetStartOfDataInFile()), s->Tell());
        ASSERT_EQ(raw.size() * 2, s->Write(raw.data(), raw.size() * 2));
        CAbscissa a = ds.GetAbscissa(0);
        a.SetNbrOfScans(scans);
        ds.SetAbscissa(0, a);
        // A comment far larger than the room before the samples moves them.
        ds.SetComment(std::string(20000, 'x').c_str());
        ds.Close();
    }
    EXPECT_EQ(std::vector<std::string>{"a.trx"}, dir.Files()) << "no file written aside is left";
    RawFile f = ParseRaw(path);
    EXPECT_EQ(44u, f.dataOffset % 4096);
    EXPECT_GE(f.dataOffset, 24 + std::uint64_t(f.headerLength));
    ASSERT_EQ(f.dataOffset + raw.size() * 2, f.bytes.size());
    for (std::size_t i = 0; i < raw.size(); ++i)
        ASSERT_EQ(raw[i], LoadLE<std::int16_t>(f.bytes.data() + f.dataOffset + 2 * i)) << "sample " << i;
    EXPECT_NO_THROW(CDataset(path.c_str(), om__read_complete, 32768, sh__deny_write));
}

TEST(TrxPagePhase, DataOffsetThatBreaksTheAlignmentIsRefused)
{
    ScratchDir dir;
    struct SCase {
        int type;
        long phase;                 // asked at creation (kept)
        std::uint64_t shift;        // then moved by this many bytes
        bool opens;
    };
    const SCase cases[] = {
        {it__double, 8, 4, false}, {it__float, 4, 2, false}, {it__int16, 44, 1, false},
        {it__int16, 44, 2, true},  {it__int24, -1, 3, true}, {it__double, -1, 8, true},
    };
    int n = 0;
    for (const SCase& c : cases) {
        std::string path = dir / ("s" + std::to_string(n++) + ".trx");
        std::uint64_t d = CreatedOffset(path, Of({c.type}), c.phase);
        // The same description and samples, with the padding longer by `shift`.
        std::vector<unsigned char> b = ReadFile(path);
        b.insert(b.begin() + std::ptrdiff_t(d) - 1, std::size_t(c.shift), ' ');
        std::uint64_t moved = d + c.shift;
        std::memcpy(b.data() + 16, &moved, 8);
        WriteFile(path, b);
        if (c.opens) {
            CDataset ds(path.c_str(), om__read_complete, 32768, sh__deny_write);
            EXPECT_EQ(long(moved), ds.GetStartOfDataInFile());
            continue;
        }
        try {
            CDataset ds(path.c_str(), om__read, 32768, sh__deny_write);
            ADD_FAILURE() << path << ": data offset " << moved << " opened";
        } catch (const CDatasetException& e) {
            EXPECT_NE(std::string::npos, std::string(e.GetText().c_str()).find("alignment")) << e.GetText().c_str();
            EXPECT_NE(std::string::npos, std::string(e.GetText().c_str()).find(std::to_string(moved)))
                << e.GetText().c_str();
        }
    }
}
