// `tessel import sony|teac` as a user runs them: exit statuses, texts on
// stderr, and --set naming the QuickVu SET file for one call.

#include "RecorderTestUtil.h"

#include "tests/cli/CommandTest.h"

using namespace rectest;

namespace {

using RecorderCli = CCommandTest;

}  // namespace

TEST_F(RecorderCli, StatusesAndTexts)
{
    // No LOG beside the data file: the job fails, its text on stderr.
    WriteFile(dir / "r.bin", Samples(Interleaved(1, 10)));
    const SResult f = Tessel("import sony r.bin -o r.dat");
    EXPECT_EQ(f.status, 1);
    EXPECT_NE(f.err.find(CTSInterface().GetErrorText(61).str()), std::string::npos) << f.err;
    EXPECT_FALSE(fs::exists(dir / "r.dat"));
    WriteFile(dir / "r.LOG", SonyLog({{1, "A", "V", "0.001*(X)+0.0", ""}}, 10, "0.001"));
    EXPECT_EQ(Tessel("import sony r.bin").status, 0);   // synchronous, output derived
    EXPECT_EQ(ReadDataset(dir / "r.dat", {}, true).size(), 10u);
}

TEST_F(RecorderCli, SetOptionNamesTheSetFileForOneCall)
{
    WriteFile(dir / "q.DAT", QuickVuFile(QuickVuFields(), Samples(Interleaved(2, 8))));
    WriteFile(dir / "pump.set", SetFile({{"ACC-X", "m/s^2", 9.81f, 0.0f}, {"P", "Pa", 100.0f, 0.0f}}));
    // Without it the stored name ("Default.set") is missing: volts, a warning.
    SResult r = Tessel("import teac q.DAT -o volts.trx");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.err.find("SET file not found"), std::string::npos) << r.err;
    {
        CDataset ds((dir / "volts.trx").c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(ds.GetChannel(0).GetUnit().GetText(), "V");
    }
    // "pump" gets ".set" as the settings page would add it.
    r = Tessel("import teac q.DAT -o eu.trx --set pump");
    EXPECT_EQ(r.status, 0) << r.err;
    CDataset ds((dir / "eu.trx").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(ds.GetChannel(0).GetName(), "ACC-X");
    EXPECT_EQ(ds.GetChannel(1).GetUnit().GetText(), "Pa");
}
