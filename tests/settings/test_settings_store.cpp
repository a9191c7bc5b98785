// Store and Load through the document storage, the stream name that follows
// the language, and the property pages.

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Resources.h"
#include "platform/Storage.h"
#include "settings/SettingsPage.h"
#include "settings/TSSettings.h"

namespace {

using S = CTSSettings;

const char* EnglishTexts(unsigned id) { return id == 1 ? "Tessel Settings" : nullptr; }
const char* GermanTexts(unsigned id) { return id == 1 ? "Tessel Einstellungen" : nullptr; }

std::string MakeTempDir() {
    std::string t = (std::getenv("TMPDIR") && *std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
    t += "/tessel-settings-XXXXXX";
    if (!::mkdtemp(t.data()))
        return {};
    return t;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

int CountEntries(const std::string& dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                ++n;
        ::closedir(d);
    }
    return n;
}

class SettingsStore : public ::testing::Test {
protected:
    void SetUp() override {
        S::ResetToDefaults();
        SetOwnStringTable(&EnglishTexts);
        m_dir = MakeTempDir();
        ASSERT_FALSE(m_dir.empty());
    }
    void TearDown() override {
        S::ResetToDefaults();
        SetOwnStringTable(nullptr);
        std::system(("rm -rf '" + m_dir + "'").c_str());
    }
    std::string m_dir;
};

TEST_F(SettingsStore, StoreAndLoadThroughTheDirectoryStorage) {
    CDirectoryStorage storage(m_dir + "/doc");
    S::m_sPathWAV = "/data/wave";
    S::m_lOverwriteFlags = S::bitWAVExport | S::bitASCImport;
    S::m_arsChUnitASCImport[9] = "g";
    const std::string expected = S::StoreToBytes();

    S settings;
    ASSERT_TRUE(settings.Store(&storage));
    const std::string onDisk = ReadFile(m_dir + "/doc/Tessel Settings");
    EXPECT_EQ(onDisk, expected);
    ASSERT_GE(onDisk.size(), 4u);
    EXPECT_EQ(onDisk.substr(0, 4), std::string("\x0c\0\0\0", 4));
    EXPECT_EQ(CountEntries(m_dir + "/doc"), 1) << "no temporary file may stay";

    S::ResetToDefaults();
    EXPECT_EQ(settings.Load(&storage), 0);
    EXPECT_EQ(S::m_sPathWAV, "/data/wave");
    EXPECT_EQ(S::m_lOverwriteFlags, S::bitWAVExport | S::bitASCImport);
    EXPECT_EQ(S::m_arsChUnitASCImport[9], "g");
    EXPECT_EQ(S::StoreToBytes(), expected);

    // Storing again replaces the stream.
    S::m_sPathWAV = "/other";
    ASSERT_TRUE(settings.Store(&storage));
    S::ResetToDefaults();
    EXPECT_EQ(settings.Load(&storage), 0);
    EXPECT_EQ(S::m_sPathWAV, "/other");
}

TEST_F(SettingsStore, MissingStreamLeavesEverythingAsItWas) {
    CDirectoryStorage storage(m_dir);
    S::m_sPathSDF = "/mine";
    S settings;
    EXPECT_EQ(settings.Load(&storage), -1);
    EXPECT_EQ(S::m_sPathSDF, "/mine");
    CMemoryStorage memory;
    EXPECT_EQ(settings.Load(&memory), -1);
}

TEST_F(SettingsStore, TheStreamNameFollowsTheLanguage) {
    CMemoryStorage storage;
    S settings;
    S::m_sPathUFF = "/english";
    ASSERT_TRUE(settings.Store(&storage));
    EXPECT_NE(storage.GetStreamBytes("Tessel Settings"), nullptr);

    SetOwnStringTable(&GermanTexts);
    S::ResetToDefaults();
    EXPECT_EQ(settings.Load(&storage), -1) << "another language's stream is another stream";
    EXPECT_TRUE(S::m_sPathUFF.IsEmpty());
    S::m_sPathUFF = "/german";
    ASSERT_TRUE(settings.Store(&storage));
    EXPECT_NE(storage.GetStreamBytes("Tessel Einstellungen"), nullptr);

    SetOwnStringTable(&EnglishTexts);
    EXPECT_EQ(settings.Load(&storage), 0);
    EXPECT_EQ(S::m_sPathUFF, "/english");
}

TEST_F(SettingsStore, LoadReportsDamagedStreams) {
    CMemoryStorage storage;
    S settings;
    storage.SetStreamBytes("Tessel Settings", std::string("\x0d\0\0\0", 4));
    EXPECT_EQ(settings.Load(&storage), -2);
    storage.SetStreamBytes("Tessel Settings", std::string("\x0c\0\0\0\x01\0", 6));
    EXPECT_EQ(settings.Load(&storage), -3);
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
    EXPECT_FALSE(storage.HasStream("../escape/.."));
}

TEST(SettingsPages, OnePagePerFormatAndInstance) {
    S settings;
    EXPECT_EQ(settings.GetPPage(S::valTSFormat(14)), nullptr);
    EXPECT_EQ(settings.GetPPage(S::valTSFormat(-1)), nullptr);
    CPropertyPage* sdf = settings.GetPPage(S::tsfSDFExport);
    ASSERT_NE(sdf, nullptr);
    EXPECT_EQ(settings.GetPPage(S::tsfSDFExport), sdf);
    EXPECT_EQ(sdf->GetCaption(), "SDF Export");

    S other;
    EXPECT_NE(other.GetPPage(S::tsfSDFExport), sdf);

    const char* captions[] = {"ASCII", "ASCII Export", "PAK", "PAK Export", "SDF", "SDF Export", "SONY",
                              "TEAC", "UFF", "UFF Export", "WAV", "WAV Export", "MP3", "MP3 Export"};
    const long bits[] = {S::bitASCImport, S::bitASCExport, S::bitPAKImport, S::bitPAKExport, S::bitSDFImport,
                         S::bitSDFExport, S::bitSONYImport, S::bitTEACImport, S::bitUFFImport, S::bitUFFExport,
                         S::bitWAVImport, S::bitWAVExport, S::bitMP3Import, S::bitMP3Export};
    for (int i = 0; i < 14; ++i) {
        auto* page = dynamic_cast<CppgSettings*>(settings.GetPPage(S::valTSFormat(i)));
        ASSERT_NE(page, nullptr) << i;
        EXPECT_EQ(page->GetCaption(), captions[i]);
        EXPECT_EQ(page->GetFormat(), i);
        EXPECT_EQ(page->GetFlagBit(), bits[i]);
        // Import pages share the TRX directory; export pages have their own.
        EXPECT_EQ(&page->StandardPath() == &S::m_sPathTRX, page->IsImportPage()) << captions[i];
    }
}

TEST(SettingsPages, StandardDirectoryOfEachJobKind) {
    EXPECT_EQ(S::StandardPathOf(S::bitASCExport), &S::m_sPathASC);
    EXPECT_EQ(S::StandardPathOf(S::bitPAKExport), &S::m_sPathPAK);
    EXPECT_EQ(S::StandardPathOf(S::bitMP3Export), &S::m_sPathMP3);
    EXPECT_EQ(S::StandardPathOf(S::bitSONYImport), &S::m_sPathTRX);
    EXPECT_EQ(S::StandardPathOf(0), nullptr);
    EXPECT_EQ(S::StandardPathOf(S::bitASCExport | S::bitSDFExport), nullptr);
}

}  // namespace
