// File-system services: error codes, sharing locks, copies and temporary files.

#include <gtest/gtest.h>

#include <cerrno>

#include "platform/FileSystem.h"
#include "tests/common/TempDir.h"

namespace {

using tessel::test::ReadFile;
using tessel::test::WriteFile;

using namespace FileSystem;

TEST(FileSystemErrors, ErrnoToWindowsCodes) {
    EXPECT_EQ(MapErrno(EACCES), kErrorAccessDenied);
    EXPECT_EQ(MapErrno(EPERM), kErrorAccessDenied);
    EXPECT_EQ(MapErrno(EROFS), kErrorWriteProtect);
    // errno numbers that equal a Windows code must not be taken for it.
    EXPECT_EQ(MapErrno(EIO), kErrorOther);     // 5
    EXPECT_EQ(MapErrno(ENODEV), kErrorOther);  // 19
    EXPECT_EQ(MapErrno(EPIPE), kErrorOther);   // 32
}

TEST(FileSystemFiles, NoSharingOpensExcludeEachOther) {
    CTempDir dir;
    const std::string path = dir / "f.bin";
    WriteFile(path, "0123456789");
    CFile a;
    ASSERT_TRUE(a.Open(path.c_str(), false, EShare::Read));
    CFile b;
    ASSERT_TRUE(b.Open(path.c_str(), false, EShare::Read)) << "two shared readers";
    CFile c;
    EXPECT_FALSE(c.Create(path.c_str()));
    EXPECT_EQ(c.GetError().uCode, kErrorSharingViolation);
    EXPECT_EQ(ReadFile(path), "0123456789") << "a refused create must not truncate";
    a.Close();
    b.Close();
    ASSERT_TRUE(c.Create(path.c_str()));
    EXPECT_EQ(c.GetSize(), 0);
    ASSERT_TRUE(c.Write("ab", 2));
    CFile d;
    EXPECT_FALSE(d.Open(path.c_str()));
    EXPECT_EQ(d.GetError().uCode, kErrorSharingViolation);
    c.Close();
    EXPECT_TRUE(d.Open(path.c_str()));
    CFile e;
    EXPECT_FALSE(e.CreateNew(path.c_str()));
    EXPECT_EQ(e.GetError().iErrno, EEXIST);
}

TEST(FileSystemFiles, InjectedFaultsHitOnlyTheirOperationAndPath) {
    CTempDir dir;
    const std::string path = dir / "target.bin";
    CScopedFileFault fault(ENOSPC, EOp::Write, "target");
    CFile f;
    ASSERT_TRUE(f.Create(path.c_str()));
    EXPECT_FALSE(f.Write("x", 1));
    EXPECT_EQ(f.GetError().iErrno, ENOSPC);
    CFile g;
    ASSERT_TRUE(g.Create((dir / "other.bin").c_str()));
    EXPECT_TRUE(g.Write("x", 1));
}

TEST(FileSystemFiles, CopyTimesAndTemporaries) {
    CTempDir dir;
    const std::string src = dir / "src.bin";
    std::string big(200000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = char(i * 7);
    WriteFile(src, big);
    const std::string dst = dir / "dst.bin";
    EXPECT_FALSE(CopyFile(src.c_str(), dst.c_str(), true).Failed());
    EXPECT_EQ(ReadFile(dst), big);
    EXPECT_TRUE(CopyFile(src.c_str(), dst.c_str(), true).Failed());
    WriteFile(dst, "short");
    EXPECT_FALSE(CopyFile(src.c_str(), dst.c_str(), false).Failed());
    EXPECT_EQ(ReadFile(dst), big);
    EXPECT_TRUE(CopyFile(src.c_str(), src.c_str(), false).Failed()) << "copying a file onto itself";
    EXPECT_EQ(ReadFile(src), big);
    {
        CScopedFileFault fault(EIO, EOp::Read, "src.bin");
        EXPECT_TRUE(CopyFile(src.c_str(), (dir / "partial.bin").c_str(), true).Failed());
    }
    EXPECT_FALSE(FileExists((dir / "partial.bin").c_str())) << "no partial copy stays";

    std::int64_t t = 0;
    EXPECT_TRUE(GetModificationTime(src.c_str(), &t));
    EXPECT_GT(t, 0);
    EXPECT_FALSE(GetModificationTime((dir / "none").c_str(), &t));
    EXPECT_FALSE(FileExists(dir.Path().c_str())) << "a directory is no file";
    EXPECT_TRUE(IsSameFile(src.c_str(), (dir / "./src.bin").c_str()));
    EXPECT_FALSE(IsSameFile(src.c_str(), dst.c_str()));

    CString t1 = MakeTempFile(dir.Path().c_str(), "job");
    CString t2 = MakeTempFile(dir.Path().c_str(), "job");
    ASSERT_FALSE(t1.IsEmpty());
    EXPECT_NE(t1, t2);
    EXPECT_EQ(t1.Find((dir / "job").c_str()), 0);
    EXPECT_FALSE(RemoveFile(t1).Failed());
    EXPECT_TRUE(RemoveFile(t1).Failed());
}

}  // namespace
