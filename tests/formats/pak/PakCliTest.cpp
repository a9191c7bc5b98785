// `tessel import pak` and `tessel export pak` as a user runs them: help,
// exit statuses, --float32 for one call, the derived names.

#include "PakTestUtil.h"

#include "tests/common/Python.h"

using namespace paktest;

namespace {

class PakCli : public PakTest {
protected:
    int Tessel(const std::string& args, std::string* out = nullptr)
    {
        return tessel::test::RunCommand("cd '" + root.string() + "' && '" TESSEL_BINARY_DIR "/tessel' " + args + " 2>&1",
                                        out);
    }
};

}  // namespace

TEST_F(PakCli, ImportAndExportRunFromTheShell)
{
    std::string help;
    EXPECT_EQ(Tessel("import pak --help", &help), 0);
    EXPECT_NE(help.find("ChanPos"), std::string::npos);
    EXPECT_EQ(Tessel("export pak --help", &help), 0);
    EXPECT_NE(help.find("--float32"), std::string::npos);
    EXPECT_EQ(Tessel("import pak"), 2);

    TData d;
    d.bits = 32;
    d.channels = {TChannel{1, 2}, TChannel{1, 6}};
    WriteFile(dir / "TDATA", d.Make());
    std::string out;
    ASSERT_EQ(Tessel("import pak Run3/TDATA", &out), 0) << out;   // synchronous: Run3/Run3.dat
    ASSERT_TRUE(fs::exists(dir / "Run3.dat"));

    // Float data back out: 32-bit samples only when asked for.
    ASSERT_EQ(Tessel("export pak Run3/Run3.dat -o f32 --float32", &out), 0) << out;
    ASSERT_EQ(Tessel("export pak Run3/Run3.dat", &out), 0) << out;   // Run3/Run3
    // The directory an export wrote imports as its TDATA.
    ASSERT_EQ(Tessel("import pak f32", &out), 0) << out;
    ASSERT_TRUE(fs::exists(root / "f32/f32.dat")) << out;
    Bytes f32 = ReadFile(root / "f32/TDATA"), i16 = ReadFile(dir / "Run3/TDATA");
    EXPECT_EQ(CWriter(f32, false).Get<std::int16_t>(2068), 32);
    EXPECT_EQ(CWriter(i16, false).Get<std::int16_t>(2068), 16);
    // Present and no overwrite: refused, exit status 1.
    EXPECT_EQ(Tessel("export pak Run3/Run3.dat --no-overwrite", &out), 1);
    EXPECT_NE(out.find(Text(8).str()), std::string::npos) << out;
}
