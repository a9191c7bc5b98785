// The module's texts as a host sees them through CTSInterface, and the choice
// of the language module at load.

#include "interface/TSInterface.h"
#include "frame/Module.h"
#include "platform/Resources.h"
#include "platform/UserConfig.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace {

// The module loaded with the own texts only, whatever the user's configuration.
class OwnTexts : public ::testing::Test {
protected:
    void SetUp() override
    {
        TesselModuleUnload();
        TesselModuleLoad();
    }
    CTempDir dir;
    ScopedEnv env{"TESSEL_CONFIG_DIR", dir.Path()};
    CTSInterface ts;
};

TEST_F(OwnTexts, TextsAreExactAndUnformattedToTheByte)
{
    EXPECT_EQ(ts.GetErrorText(0), "");
    EXPECT_EQ(ts.GetErrorText(18), "") << "an unused id";
    EXPECT_EQ(ts.GetErrorText(0xFFFFFFFFu), "");
    EXPECT_EQ(ts.GetErrorText(9), "Access to %s denied!\nFile might be opened by another process.");
    EXPECT_EQ(ts.GetErrorText(102), "Invalid format of input file or invalid header information.\n");
    EXPECT_EQ(ts.GetErrorText(141), "Data format not accepted.\nExpected:\nFormat category: 0x0001\n"
                                    "Number of channels: 1 to 256\nSample size:  1 to 32 bit");

    // Backslashes, quotes and line feeds are bytes of the text. Code 40: a
    // backslash and a double quote on each side of the placeholder.
    EXPECT_EQ(ts.GetErrorText(40).str(), std::string("Datatype ") + '\\' + '"' + "%s" + '\\' + '"' + " cannot be converted.");
    // Code 60 by bytes: line feeds (0x0A) and three backslash-quote pairs around
    // "%" and "m/s^2".
    const std::string expected =
        "Channels with unknown physical units found in associated LOG file.\x0A\x0A"
        " They are imported to TRX as \x5C\x22%\x5C\x22 and the original mapping is lost.\x0A\x0A"
        "If you don't want this, edit the LOG file using the abbreviations of si units.\x0A"
        "Si units may be combined, like \x5C\x22m/s^2\x5C\x22.";
    EXPECT_EQ(ts.GetErrorText(60).str(), expected);
}

// Language modules come from a directory of links to the built module, so that
// a module exists under each name the tests try.
class Language : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        // Built with the tests (a dependency of the test binary).
        const fs::path built = fs::path(TESSEL_BINARY_DIR) / "TesselResDEU.so";
        fs::create_symlink(built, fs::path(res.Path()) / "TesselResDEU.so");
        fs::create_symlink(built, fs::path(res.Path()) / "TesselResDEUX.so");
        fs::create_symlink(built, fs::path(res.Path()) / "TesselResENU.so");
    }
    void TearDown() override
    {
        TesselModuleUnload();
        TesselModuleLoad();
    }
    void LoadWith(const char* language)
    {
        TesselModuleUnload();
        if (language) ASSERT_TRUE(CUserConfigKey::SetValue("Software\\Orvano\\", "Language", language));
        else std::filesystem::remove(CUserConfigKey::FilePath().c_str());
        TesselModuleLoad();
    }
    CTempDir cfg, res;
    ScopedEnv cfgEnv{"TESSEL_CONFIG_DIR", cfg.Path()};
    ScopedEnv resEnv{"TESSEL_RES_DIR", res.Path()};
    CTSInterface ts;
};

TEST_F(Language, ThreeCharacterValueSelectsTheModuleAndMissingIdsFallBack)
{
    LoadWith("DEU");
    ASSERT_TRUE(HasLanguageModule());
    EXPECT_EQ(LanguageModulePath(), CString(res.Path() + "/TesselResDEU.so"));
    EXPECT_EQ(ts.GetErrorText(113), "Die Konvertierung wurde bereits gestartet.");
    EXPECT_EQ(ts.GetErrorText(1), "Tessel Einstellungen") << "the settings' stream name follows too";
    EXPECT_EQ(ts.GetErrorText(7), "Es gibt keine Kan\xE4le, die importiert werden k\xF6nnten.")
        << "Windows-1252 bytes";
    // Ids the module does not hold come from the own table.
    EXPECT_EQ(ts.GetErrorText(143), "Conversion completed. WARNING: Improper WAVE file. Less bytes read "
                                    "than proclaimed at WAVE header.");
    EXPECT_EQ(ts.GetErrorText(18), "") << "unused ids stay empty";

    TesselModuleUnload();
    EXPECT_FALSE(HasLanguageModule()) << "unload releases the language module";
}

TEST_F(Language, InstalledLayoutKeepsTheModulesInAFolderBelowTheLibrary)
{
    namespace fs = std::filesystem;
    // An installed tree has libdir/libtessel.so and libdir/tessel/TesselRes*.so.
    const fs::path sub = fs::path(res.Path()) / "tessel";
    fs::create_directories(sub);
    fs::create_symlink(fs::path(TESSEL_BINARY_DIR) / "TesselResDEU.so", sub / "TesselResITA.so");
    LoadWith("ITA");
    ASSERT_TRUE(HasLanguageModule());
    EXPECT_EQ(LanguageModulePath(), CString((sub / "TesselResITA.so").string()));
    EXPECT_EQ(ts.GetErrorText(113), "Die Konvertierung wurde bereits gestartet.");
    // Beside the library wins over the folder: a build tree is never shadowed
    // by a stale copy below it.
    fs::create_symlink(fs::path(TESSEL_BINARY_DIR) / "TesselResDEU.so", sub / "TesselResDEU.so");
    LoadWith("DEU");
    EXPECT_EQ(LanguageModulePath(), CString(res.Path() + "/TesselResDEU.so"));
}

TEST_F(Language, MissingModuleOrLongValueOrNoValueKeepsTheOwnTexts)
{
    for (const char* value : {"XYZ", "DEUX", "", static_cast<const char*>(nullptr)}) {
        LoadWith(value);
        EXPECT_FALSE(HasLanguageModule()) << (value ? value : "(no value)");
        EXPECT_EQ(ts.GetErrorText(113), "Conversion has already been started.") << (value ? value : "(none)");
    }
    // The same configuration file with a three-character value works, so the
    // four-character one was refused for its length, not for its module.
    LoadWith("ENU");
    EXPECT_TRUE(HasLanguageModule());
}

} // namespace
