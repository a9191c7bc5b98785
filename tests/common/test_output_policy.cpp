// Output derivation, overwrite permission, the write probe and the directory
// routines.

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/OutputPolicy.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"
#include "tests/common/TempDir.h"

namespace {

using tessel::test::ReadFile;
using tessel::test::WriteFile;

using namespace OutputPolicy;
using S = CTSSettings;
using FileSystem::CScopedFileFault;
using FileSystem::EOp;

class OutputPolicyTest : public ::testing::Test {
protected:
    void SetUp() override { S::ResetToDefaults(); }
    void TearDown() override { S::ResetToDefaults(); }
    CTempDir m_dir;
};

TEST(PathHelpers, SplitAndExtensionRules) {
    EXPECT_EQ(GetDirectoryOfPath("/data/run/a.trx"), "/data/run/");
    EXPECT_EQ(GetDirectoryOfPath("a.trx"), "");
    EXPECT_EQ(GetFileNameOfPath("/data/run/a.b.trx", true), "a.b.trx");
    EXPECT_EQ(GetFileNameOfPath("/data/run/a.b.trx", false), "a.b");

    struct Case {
        const char* path;
        const char* replaced;
        const char* set;
    } cases[] = {
        {"/d/a.b.trx", "/d/a.b.asc", "/d/a.b.asc"},
        {"/d/noext", "/d/noext", "/d/noext.asc"},
        // A dotted directory is not the file's extension.
        {"/d.v2/noext", "/d.v2/noext", "/d.v2/noext.asc"},
        // A leading dot names a hidden file, not an extension.
        {"/d/.hidden", "/d/.hidden", "/d/.hidden.asc"},
        {"/d/trailing.", "/d/trailing.asc", "/d/trailing.asc"},
    };
    for (const Case& c : cases) {
        CString r(c.path);
        ReplaceExtension(r, ".asc");
        EXPECT_EQ(r, c.replaced) << c.path;
        CString s(c.path);
        SetExtension(s, ".asc");
        EXPECT_EQ(s, c.set) << c.path;
    }

    EXPECT_EQ(JoinPath("/std/", "a.asc"), "/std/a.asc");
    EXPECT_EQ(JoinPath("", "a.asc"), "/a.asc");
}

TEST_F(OutputPolicyTest, DerivationTable) {
    const std::string in = m_dir / "a.trx";
    // Bit clear: the output stays beside the input.
    EXPECT_EQ(DeriveOutputPath(in.c_str(), ".asc", EExtensionRule::AppendWhenMissing, S::bitASCExport),
              (m_dir / "a.asc").c_str());
    const std::string noext = m_dir / "noext";
    EXPECT_EQ(DeriveOutputPath(noext.c_str(), ".asc", EExtensionRule::AppendWhenMissing, S::bitASCExport),
              (noext + ".asc").c_str());
    EXPECT_EQ(DeriveOutputPath(noext.c_str(), ".trx", EExtensionRule::ReplaceOnly, S::bitUFFImport),
              noext.c_str());
    EXPECT_EQ(DeriveOutputPath("/x/a.uff", ".trx", EExtensionRule::ReplaceOnly, S::bitUFFImport), "/x/a.trx");

    // Bit set: the standard directory, with or without its separator, gives
    // the same path; a missing one is created.
    S::m_lStandardPathFlags = S::bitASCExport | S::bitWAVImport;
    S::m_sPathASC = (m_dir / "std/asc").c_str();
    const CString expected = (m_dir / "std/asc/a.asc").c_str();
    EXPECT_EQ(DeriveOutputPath(in.c_str(), ".asc", EExtensionRule::AppendWhenMissing, S::bitASCExport), expected);
    EXPECT_TRUE(FileSystem::DirectoryExists((m_dir / "std/asc").c_str()));
    S::m_sPathASC = (m_dir / "std/asc/").c_str();
    EXPECT_EQ(DeriveOutputPath(in.c_str(), ".asc", EExtensionRule::AppendWhenMissing, S::bitASCExport), expected);

    // Imports share the TRX directory; a separator-ended one that is missing
    // is created as well.
    S::m_sPathTRX = (m_dir / "trx/new/").c_str();
    EXPECT_EQ(DeriveOutputPath("/in/w.wav", ".trx", EExtensionRule::ReplaceOnly, S::bitWAVImport),
              (m_dir / "trx/new/w.trx").c_str());
    EXPECT_TRUE(FileSystem::DirectoryExists((m_dir / "trx/new").c_str()));
    // Another job kind's bit does not redirect.
    EXPECT_EQ(DeriveOutputPath("/in/w.uff", ".trx", EExtensionRule::ReplaceOnly, S::bitUFFImport), "/in/w.trx");

    // An empty standard directory puts the file into the root.
    S::m_sPathASC.Empty();
    EXPECT_EQ(DeriveOutputPath(in.c_str(), ".asc", EExtensionRule::AppendWhenMissing, S::bitASCExport), "/a.asc");
}

TEST_F(OutputPolicyTest, OverwritePermission) {
    int yes = 1, no = 0;
    S::m_lOverwriteFlags = S::bitSDFExport;
    EXPECT_EQ(ResolveOverwrite(nullptr, S::bitSDFExport), 1);
    EXPECT_EQ(ResolveOverwrite(nullptr, S::bitSDFImport), 0);
    EXPECT_EQ(ResolveOverwrite(&no, S::bitSDFExport), 0);
    EXPECT_EQ(ResolveOverwrite(&yes, S::bitSDFImport), 1);
}

TEST_F(OutputPolicyTest, ProbeRemovesAReplaceableFileAndLeavesNoTrace) {
    const std::string out = m_dir / "out.asc";
    WriteFile(out, "old contents");
    SResultText t;
    EXPECT_FALSE(WriteProbe(t, out.c_str()));
    EXPECT_FALSE(FileSystem::FileExists(out.c_str()));
    EXPECT_EQ(t.m_uStringID, 0xFFFFFFFFu);
}

TEST_F(OutputPolicyTest, ProbeFailureTable) {
    const std::string out = m_dir / "out.wav";
    struct Case {
        int err;
        unsigned id;
        bool arg;
        const char* append;
    } cases[] = {
        {EACCES, 100, true, "unchanged"},
        {EROFS, 101, false, "unchanged"},
        {ENOSPC, 10, true, "\n\n(system error 28)"},
    };
    for (const Case& c : cases) {
        WriteFile(out, "keep");
        SResultText t;
        t.m_sTextArg = "unchanged";
        t.m_sTextAppend = "unchanged";
        {
            CScopedFileFault fault(c.err, EOp::Create, "out.wav");
            EXPECT_TRUE(WriteProbe(t, out.c_str())) << c.err;
        }
        EXPECT_EQ(t.m_uStringID, c.id) << c.err;
        EXPECT_EQ(t.m_sTextArg, c.arg ? out.c_str() : "unchanged") << c.err;
        EXPECT_EQ(t.m_sTextAppend, c.append) << c.err;
        EXPECT_EQ(ReadFile(out), "keep") << "a file we could not open is left alone";
    }
}

TEST_F(OutputPolicyTest, ProbeOfAFileHeldByAnotherProcessIsASharingViolation) {
    const std::string out = m_dir / "child.sdf";
    WriteFile(out, "child data");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        FileSystem::CFile holder;
        char c = holder.Open(out.c_str(), false, FileSystem::EShare::None) ? 'y' : 'n';
        (void)!::write(ready[1], &c, 1);
        ::pause();
    }
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    SResultText t;
    EXPECT_TRUE(WriteProbe(t, out.c_str()));
    EXPECT_EQ(t.m_uStringID, 9u);
    EXPECT_EQ(t.m_sTextArg, out.c_str());
    EXPECT_EQ(ReadFile(out), "child data") << "the holder's file keeps its contents";
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_FALSE(WriteProbe(t, out.c_str())) << "the lock goes with the process";
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST_F(OutputPolicyTest, PrepareOutputRefusesTheInputItself) {
    // The replacing variant leaves a name without extension unchanged: the
    // output would be the input.
    const std::string in = m_dir / "recording";
    WriteFile(in, "precious input");
    const CString out = DeriveOutputPath(in.c_str(), ".trx", EExtensionRule::ReplaceOnly, S::bitWAVImport);
    ASSERT_EQ(out, in.c_str());
    for (int overwrite : {0, 1}) {
        SResultText t;
        // Even a fault on every create must not be reached: no probe happens.
        CScopedFileFault fault(EIO, EOp::Create);
        EXPECT_TRUE(PrepareOutput(t, in.c_str(), out, overwrite));
        EXPECT_EQ(t.m_uStringID, 111u);
        EXPECT_TRUE(t.m_sTextAppend.IsEmpty());
    }
    // Another spelling of the same file is the same file.
    SResultText t;
    EXPECT_TRUE(PrepareOutput(t, in.c_str(), (m_dir / "./recording").c_str(), 1));
    EXPECT_EQ(t.m_uStringID, 111u);
    EXPECT_EQ(ReadFile(in), "precious input");
}

TEST_F(OutputPolicyTest, PrepareOutputOrder) {
    const std::string in = m_dir / "a.trx";
    const std::string out = m_dir / "a.asc";
    WriteFile(in, "input");
    WriteFile(out, "existing output");
    SResultText t;
    EXPECT_TRUE(PrepareOutput(t, in.c_str(), out.c_str(), 0));
    EXPECT_EQ(t.m_uStringID, 8u);
    EXPECT_EQ(ReadFile(out), "existing output");

    // Replaceable: gone after the check, even if the conversion then fails.
    SResultText u;
    EXPECT_FALSE(PrepareOutput(u, in.c_str(), out.c_str(), 1));
    EXPECT_FALSE(FileSystem::FileExists(out.c_str()));

    // With directory creation (ASCII import, PAK export).
    const std::string deep = m_dir / "x/y/z/a.trx";
    SResultText v;
    EXPECT_FALSE(PrepareOutput(v, in.c_str(), deep.c_str(), 0, true));
    EXPECT_TRUE(FileSystem::DirectoryExists((m_dir / "x/y/z").c_str()));
    SResultText w;
    EXPECT_TRUE(PrepareOutput(w, in.c_str(), (m_dir / "p/q/a.trx").c_str(), 0, false));
    EXPECT_EQ(w.m_uStringID, 10u) << "a missing directory is an other error";
    EXPECT_EQ(w.m_sTextArg, (m_dir / "p/q/a.trx").c_str());
    EXPECT_EQ(w.m_sTextAppend, CString::Formatted("\n\n(system error %d)", ENOENT));
}

TEST_F(OutputPolicyTest, CreateDirectoryTreeRules) {
    EXPECT_FALSE(CreateDirectoryTree(""));
    {
        const std::string previous = std::filesystem::current_path();
        std::filesystem::current_path(m_dir.Path());
        EXPECT_TRUE(CreateDirectoryTree("o2")) << "a short relative name is a folder like any other";
        std::filesystem::current_path(previous);
        EXPECT_TRUE(FileSystem::DirectoryExists((m_dir / "o2").c_str()));
    }
    EXPECT_FALSE(CreateDirectoryTree((m_dir / "t/").c_str())) << "a trailing separator is refused";
    EXPECT_FALSE(FileSystem::DirectoryExists((m_dir / "t").c_str()));
    EXPECT_TRUE(CreateDirectoryTree((m_dir / "t/u/v").c_str()));
    EXPECT_TRUE(FileSystem::DirectoryExists((m_dir / "t/u/v").c_str()));
    EXPECT_FALSE(CreateDirectoryTree((m_dir / "t/u/v").c_str())) << "an existing directory gives false";
}

TEST_F(OutputPolicyTest, OutputDirectoryFailuresOfThePakExport) {
    unsigned id = 0;
    CString arg;
    const std::string dir = m_dir / "pak";
    EXPECT_FALSE(CreateOutputDirectory(dir.c_str(), id, arg));
    EXPECT_TRUE(CreateOutputDirectory(dir.c_str(), id, arg)) << "exists already";
    EXPECT_EQ(id, 13u);
    EXPECT_EQ(arg, dir.c_str());
    for (auto [err, want] : {std::pair{EACCES, 100u}, {EROFS, 101u}}) {
        CScopedFileFault fault(err, EOp::MakeDirectory);
        EXPECT_TRUE(CreateOutputDirectory((m_dir / "a").c_str(), id, arg));
        EXPECT_EQ(id, want) << err;
    }
}

}  // namespace
