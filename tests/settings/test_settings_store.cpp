// Store and Load through the document storage, the stream name that follows
// the language, and the property pages.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Resources.h"
#include "platform/Storage.h"
#include "settings/SettingsPage.h"
#include "settings/TSSettings.h"
#include "tests/common/TempDir.h"

namespace {

using S = CTSSettings;
using tessel::test::ReadFile;

const char* EnglishTexts(unsigned id) { return id == 1 ? "Tessel Settings" : nullptr; }

long CountEntries(const std::string& dir) {
    return std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator());
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        S::ResetToDefaults();
        SetOwnStringTable(&EnglishTexts);
        m_dir = m_tmp.Path();
        ASSERT_FALSE(m_dir.empty());
    }
    void TearDown() override {
        S::ResetToDefaults();
        SetOwnStringTable(nullptr);
    }
    CTempDir m_tmp;
    std::string m_dir;
};

TEST_F(SettingsStore, StoreAndLoadThroughTheDirectoryStorage) {
    CDirectoryStorage storage(m_dir + "/doc");
    S::m_sPathWAV = "/data/wave";
    const std::string expected = S::StoreToBytes();

    S settings;
    ASSERT_TRUE(settings.Store(&storage));
    EXPECT_EQ(ReadFile(m_dir + "/doc/Tessel Settings"), expected);
    EXPECT_EQ(CountEntries(m_dir + "/doc"), 1) << "no temporary file may stay";

    // Storing again replaces the stream.
    S::m_sPathWAV = "/other";
    ASSERT_TRUE(settings.Store(&storage));
    S::ResetToDefaults();
    EXPECT_EQ(settings.Load(&storage), 0);
    EXPECT_EQ(S::m_sPathWAV, "/other");
}

// A stream that is not there (the language test: one of another name) and
// damaged ones.
TEST_F(SettingsStore, LoadReportsMissingAndDamagedStreams) {
    CMemoryStorage storage;
    S settings;
    EXPECT_EQ(settings.Load(&storage), -1);
    storage.SetStreamBytes("Tessel Settings", std::string("\x0d\0\0\0", 4));
    EXPECT_EQ(settings.Load(&storage), -2);
    storage.SetStreamBytes("Tessel Settings", "");
    EXPECT_EQ(settings.Load(&storage), -3);
}

TEST_F(SettingsStore, AFailedStoreKeepsThePreviousArchive) {
    CDirectoryStorage storage(m_dir);
    S settings;
    S::m_sPathASC = "/first";
    ASSERT_TRUE(settings.Store(&storage));
    const std::string first = ReadFile(m_dir + "/Tessel Settings");

    S::m_sPathASC = "/second";
    {
        FileSystem::CScopedFileFault full(ENOSPC, FileSystem::EOp::Write);
        EXPECT_FALSE(settings.Store(&storage));
    }
    EXPECT_EQ(ReadFile(m_dir + "/Tessel Settings"), first);
    EXPECT_EQ(CountEntries(m_dir), 1) << "the unfinished stream must be removed";
    {
        FileSystem::CScopedFileFault denied(EACCES, FileSystem::EOp::Create);
        EXPECT_FALSE(settings.Store(&storage));
        EXPECT_EQ(storage.GetLastError(), FileSystem::kErrorAccessDenied);
    }
    EXPECT_FALSE(settings.Store(nullptr));
    EXPECT_EQ(settings.Load(nullptr), -4);
}

TEST_F(SettingsStore, StreamNamesStayInsideTheDirectory) {
    CDirectoryStorage storage(m_dir);
    auto s = storage.CreateStream("../escape/..");
    ASSERT_NE(s, nullptr);
    ASSERT_TRUE(s->Write("x", 1));
    ASSERT_TRUE(s->Commit());
    s.reset();
    EXPECT_TRUE(storage.HasStream("../escape/.."));
    EXPECT_EQ(storage.PathOfStream("../escape/..").rfind('/'), m_dir.size());
    EXPECT_EQ(CountEntries(m_dir), 1);
    auto r = storage.OpenStream("../escape/..");
    ASSERT_NE(r, nullptr);
    char c = 0;
    EXPECT_EQ(r->Read(&c, 1), 1u);
    EXPECT_EQ(c, 'x');
    EXPECT_TRUE(storage.DestroyStream("../escape/.."));
}

TEST(SettingsPages, OnePagePerFormatAndInstance) {
    S settings;
    EXPECT_EQ(settings.GetPPage(S::valTSFormat(14)), nullptr);
    CPropertyPage* sdf = settings.GetPPage(S::tsfSDFExport);
    ASSERT_NE(sdf, nullptr);
    EXPECT_EQ(settings.GetPPage(S::tsfSDFExport), sdf);
    S other;
    EXPECT_NE(other.GetPPage(S::tsfSDFExport), sdf);
    for (int i = 0; i < 14; ++i) {
        auto* page = dynamic_cast<CppgSettings*>(settings.GetPPage(S::valTSFormat(i)));
        ASSERT_NE(page, nullptr) << i;
        EXPECT_EQ(page->GetFormat(), i);
        // Import pages share the TRX directory; export pages have their own.
        EXPECT_EQ(&page->StandardPath() == &S::m_sPathTRX, page->IsImportPage()) << i;
    }
}

TEST(SettingsPages, StandardDirectoryOfEachJobKind) {
    EXPECT_EQ(S::StandardPathOf(S::bitPAKExport), &S::m_sPathPAK);
    EXPECT_EQ(S::StandardPathOf(S::bitSONYImport), &S::m_sPathTRX);
    EXPECT_EQ(S::StandardPathOf(0), nullptr);
    EXPECT_EQ(S::StandardPathOf(S::bitASCExport | S::bitSDFExport), nullptr);
}

}  // namespace
