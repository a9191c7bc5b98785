// A data set whose writer dies before closing it must be recognisable as
// incomplete, and never pass for a complete one later.

#include "TrxTestSupport.h"

#include <csignal>
#include <sys/wait.h>

using namespace trxtest;

namespace {

bool Refused(const std::string& path, int mode, const char* part)
{
    try {
        CDataset ds(path.c_str(), mode, 0, 0);
    } catch (const CDatasetException& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find(part)) << e.what();
        return true;
    }
    return false;
}

} // namespace

TEST(TrxIncomplete, AWriterKilledMidWriteLeavesAFileThatSaysSo)
{
    ScratchDir dir;
    std::string path = dir / "killed.trx";
    int ready[2];
    ASSERT_EQ(0, ::pipe(ready));
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The writer: announces 10^6 scans, writes them block by block and
        // says when the first blocks are on disk; it never gets to close.
        ::close(ready[0]);
        try {
            TimeData ds(path, Channels({Channel("a", it__int16, 0.5), Channel("b", it__float)}), 1000000);
            std::vector<double> block(2 * 1000, 1.0);
            CAccess* w = ds.CreateAccess(am__readwrite, All(2), 0, 0L, -1L, mk__raw);
            for (int k = 0; w && k < 1000; ++k) {
                if (w->SetData(1000, block.data(), 1, it__double) != 1000) ::_exit(3);
                if (k == 10 && ::write(ready[1], "x", 1) != 1) ::_exit(4);
            }
            ::pause();
        } catch (...) {
        }
        ::_exit(5);
    }
    ::close(ready[1]);
    char c;
    ASSERT_EQ(1, ::read(ready[0], &c, 1)) << "the writer died before writing";
    ::close(ready[0]);
    ASSERT_EQ(0, ::kill(child, SIGKILL));
    int status = 0;
    ASSERT_EQ(child, ::waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status));

    // The description on disk, read without the library, says so.
    RawFile raw = ParseRaw(path);
    EXPECT_EQ(true, raw.header["open_for_writing"]);

    // The exports' complete reading and writing refuse it; reading shows it.
    EXPECT_TRUE(Refused(path, om__read_complete, "left open for writing"));
    EXPECT_TRUE(Refused(path, om__readwrite, "left open for writing"));
    CDataset ds(path.c_str(), om__read, 0, 0);
    EXPECT_FALSE(ds.IsComplete());
    EXPECT_GE(ds.GetNbrOfScansInFile(), 11000);
    std::vector<double> first(2 * 100);
    EXPECT_EQ(100, ds.GetData(100, first.data(), 1, it__double));
    EXPECT_EQ(0.5, first[0]);
    EXPECT_EQ(1.0, first[1]);
}

TEST(TrxIncomplete, OnlyACleanCloseMarksAFileComplete)
{
    ScratchDir dir;
    std::string path = dir / "d.trx";
    {
        TimeData ds(path, Channels({Channel("a", it__int16)}), 10);
        // While a writer has it, the file says it is being written.
        EXPECT_EQ(true, ParseRaw(path).header["open_for_writing"]);
        std::vector<double> v(10, 3.0);
        ASSERT_EQ(10, ds.SetData(10, v.data(), 1, it__double));
        ds.Close();
    }
    EXPECT_EQ(false, ParseRaw(path).header["open_for_writing"]);
    {
        CDataset ds(path.c_str(), om__read_complete, 0, 0);
        EXPECT_TRUE(ds.IsComplete());
    }
    {
        // Opening for writing marks it again until that writer closes.
        CDataset ds(path.c_str(), om__readwrite, 0, 0);
        EXPECT_EQ(true, ParseRaw(path).header["open_for_writing"]);
    }
    EXPECT_EQ(false, ParseRaw(path).header["open_for_writing"]);

    // A clean file cut short is incomplete too: it holds fewer scans than
    // announced. Complete reading refuses it naming the file; plain reading
    // delivers what is there and says why it stopped.
    std::vector<unsigned char> b = ReadFile(path);
    b.resize(b.size() - 3);
    WriteFile(path, b);
    EXPECT_TRUE(Refused(path, om__read_complete, "d.trx"));
    CDataset ds(path.c_str(), om__read, 0, 0);
    EXPECT_FALSE(ds.IsComplete());
    EXPECT_EQ(8, ds.GetNbrOfScansInFile());
    std::vector<short> v(10);
    EXPECT_EQ(8, ds.GetData(10, v.data(), 1, it__int16));
    EXPECT_EQ(3, v[7]);
    EXPECT_EQ(0, ds.GetData(10, v.data(), 1, it__int16)) << "nothing more to read";
    EXPECT_FALSE(ds.GetActiveAccess()->Finished()) << "the range is not done, the file is short";
    EXPECT_FALSE(ds.GetLastError().IsEmpty());
}
