// File names taken apart and put together; full paths against Python's os.path.

#include "hostlibs/basics/FileName.h"

#include <gtest/gtest.h>
#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"

#include <filesystem>
#include <string>

namespace {

TEST(FileName, TakesPathsApart)
{
    struct Row {
        const char* path;
        const char* dir;
        const char* name;
        const char* ext;
    };
    const Row rows[] = {
        {"/data/run1.trx", "/data/", "run1", ".trx"},
        {"run1.trx", "", "run1", ".trx"},
        {"a.b.c", "", "a.b", ".c"},
        {"/data.d/run1", "/data.d/", "run1", ""},
        {"/data/.hidden", "/data/", ".hidden", ""},
        {"/data/.hidden.txt", "/data/", ".hidden", ".txt"},
        {"/m/C:\\Meas\\Test 1.WAV", "/m/", "C:\\Meas\\Test 1", ".WAV"},  // "\\" is a name character
        {"/data/", "/data/", "", ""},
        {"name.", "", "name", "."},
        {"", "", "", ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.path);
        CFileName f(r.path);
        EXPECT_EQ(f.GetDirectory(), CString(r.dir));
        EXPECT_EQ(f.GetName(), CString(r.name));
        EXPECT_EQ(f.GetExtension(), CString(r.ext));
        EXPECT_EQ(f.GetNameWithExtension(), CString(r.name) + r.ext);
    }
    CFileName none(nullptr);
    EXPECT_EQ(none.GetPath(), CString(""));
}

TEST(FileName, PutsPathsTogether)
{
    CFileName f("/in/table.txt");
    f.SetExtension("trx");
    EXPECT_EQ(f.GetPath(), CString("/in/table.trx"));
    f.SetExtension(".dat");
    EXPECT_EQ(f.GetPath(), CString("/in/table.dat"));
    f.SetDirectory("/out");
    EXPECT_EQ(f.GetPath(), CString("/out/table.dat"));
    f.SetDirectory("/out2/");
    EXPECT_EQ(f.GetPath(), CString("/out2/table.dat"));
    f.SetName("result");
    f.SetExtension("");
    EXPECT_EQ(f.GetPath(), CString("/out2/result"));
    f.SetDirectory("");
    EXPECT_EQ(f.GetPath(), CString("result"));
}

std::string PythonFullPath(const std::string& path)
{
    std::string out;
    tessel::test::RunCommand(tessel::test::kPython +
                                 " -c 'import os,sys; print(os.path.normpath(os.path.abspath(sys.argv[1])))' '" +
                                 path + "' 2>/dev/null",
                             &out);
    if (!out.empty() && out.back() == '\n')
        out.pop_back();
    return out;
}

TEST(FileName, FullPathsMatchPython)
{
    if (!std::filesystem::exists("/usr/bin/python3"))
        TESSEL_SKIP_OR_FAIL("python3 not installed");
    const char* paths[] = {"a.trx", "./a.trx", "x/../a.trx", "x/./y//z.trx", "../up.trx", "/abs/p/../q.trx",
                           "/../../r", "/", ".", "x/y/..", "/a/b/c/../../d"};
    for (const char* path : paths) {
        SCOPED_TRACE(path);
        std::string expected = PythonFullPath(path);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(CFileName::FullPath(path), CString(expected));
    }
    // A trailing separator stays, so a directory keeps reading as one.
    EXPECT_EQ(CFileName::FullPath("/a/b/"), CString("/a/b/"));
    EXPECT_EQ(CFileName::FullPath("/a/b/../"), CString("/a/"));
    EXPECT_EQ(CFileName::FullPath("odd\\name.trx"), CString(PythonFullPath("odd\\name.trx")));
    EXPECT_EQ(CFileName("x/../a.trx").GetFullPath(), CString(PythonFullPath("a.trx")));
}

TEST(FileName, Existence)
{
    CTempDir dir;
    tessel::test::WriteFile(dir / "there.trx", "x");
    EXPECT_TRUE(CFileName((dir / "there.trx").c_str()).Exists());
    EXPECT_FALSE(CFileName((dir / "no/missing.trx").c_str()).DirectoryExists());
    EXPECT_TRUE(CFileName("relative.trx").DirectoryExists());
}

}  // namespace
