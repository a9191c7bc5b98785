// A data set created with a page phase (what an import that copies samples
// unchanged asks for): where the samples start, that the phase never breaks
// the samples' alignment, that it survives a rewrite of the description, and
// that an opened file whose data offset breaks the alignment is refused.

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

std::uint64_t CreatedOffset(const std::string& path, const CChannelList& channels, unsigned long phase)
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
        unsigned long phase;
        std::uint64_t want;   // D modulo 4096
    };
    const SCase cases[] = {
        {{it__int16, it__int16}, 44, 44},        // a 16-bit WAVE file's samples
        {{it__int16, it__int16}, 46, 46},
        {{it__int16, it__int16, it__int16, it__int16}, 512, 512},   // QuickVu-RD
        {{it__int24}, 45, 45},                   // bytes: any phase
        {{it__int32}, 44, 44},
        {{it__int32}, 46, 0},                    // would break the 4-byte alignment
        {{it__int16, it__float}, 46, 0},         // the widest number decides
        {{it__double}, 44, 0},
        {{it__double}, 8, 8},
        {{it__cint16}, 2, 2},                    // complex: its component
        {{it__cdouble}, 4, 0},
        {{it__int16}, 4096, 0},                  // not a phase
        {{it__int16}, 0, 0},
    };
    int n = 0;
    for (const SCase& c : cases) {
        std::string path = dir / ("p" + std::to_string(n++) + ".trx");
        std::uint64_t d = CreatedOffset(path, Of(c.types), c.phase);
        EXPECT_EQ(c.want, d % 4096) << path << " phase " << c.phase;
        EXPECT_GE(d, 24 + ParseRaw(path).headerLength + 4096u) << "spare room for the description";
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
    RawFile f = ParseRaw(path);
    EXPECT_EQ(44u, f.dataOffset % 4096);
    EXPECT_GE(f.dataOffset, 24 + std::uint64_t(f.headerLength));
    ASSERT_EQ(f.dataOffset + raw.size() * 2, f.bytes.size());
    for (std::size_t i = 0; i < raw.size(); ++i)
        ASSERT_EQ(raw[i], LoadLE<std::int16_t>(f.bytes.data() + f.dataOffset + 2 * i)) << "sample " << i;

    CDataset ds(path.c_str(), om__read_complete, 32768, sh__deny_write);
    std::vector<double> v(raw.size());
    CAccess* acc = ds.CreateAccess(am__read, All(2), 0, 0L, -1L, 1);
    ASSERT_TRUE(acc);
    ASSERT_EQ(scans, acc->GetData(scans, v.data(), ds__dorg_interleaved, it__double));
    for (std::size_t i = 0; i < raw.size(); ++i) ASSERT_EQ(double(raw[i]), v[i]) << "value " << i;
}

TEST(TrxPagePhase, DataOffsetThatBreaksTheAlignmentIsRefused)
{
    ScratchDir dir;
    struct SCase {
        int type;
        unsigned long phase;        // asked at creation (kept)
        std::uint64_t shift;        // then moved by this many bytes
        bool opens;
    };
    const SCase cases[] = {
        {it__double, 8, 4, false}, {it__float, 4, 2, false}, {it__int16, 44, 1, false},
        {it__int16, 44, 2, true},  {it__int24, 0, 3, true},  {it__double, 0, 8, true},
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
