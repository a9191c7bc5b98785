// The settings stream is named by the module's own text 1, or by the language
// module's when one is loaded.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "frame/Module.h"
#include "platform/FileSystem.h"
#include "platform/Resources.h"
#include "platform/Storage.h"
#include "settings/TSSettings.h"

namespace {

TEST(SettingsLanguage, StreamNameFollowsTheLoadedLanguageModule) {
    char cfg[] = "/tmp/tessel-settings-cfg-XXXXXX";
    char doc[] = "/tmp/tessel-settings-doc-XXXXXX";
    ASSERT_NE(::mkdtemp(cfg), nullptr);
    ASSERT_NE(::mkdtemp(doc), nullptr);
    // No user language: the module starts with its own texts.
    ::setenv("TESSEL_CONFIG_DIR", cfg, 1);
    ::setenv("TESSEL_RES_DIR", TESSEL_BINARY_DIR, 1);
    TesselModuleUnload();
    TesselModuleLoad();
    ASSERT_FALSE(HasLanguageModule());
    ASSERT_EQ(LoadText(1), "Tessel Settings");

    CTSSettings::ResetToDefaults();
    CTSSettings::m_sPathSDF = "/own";
    CDirectoryStorage storage(doc);
    CTSSettings settings;
    ASSERT_TRUE(settings.Store(&storage));
    EXPECT_TRUE(FileSystem::FileExists((std::string(doc) + "/Tessel Settings").c_str()));

    if (!LoadLanguageModule("DEU")) {
        TesselModuleUnload();
        GTEST_SKIP() << "language module TesselResDEU not found in " << TESSEL_BINARY_DIR;
    }
    const CString german = LoadText(1);
    ASSERT_NE(german, "Tessel Settings");
    CTSSettings::m_sPathSDF = "/unchanged";
    EXPECT_EQ(settings.Load(&storage), -1);
    EXPECT_EQ(CTSSettings::m_sPathSDF, "/unchanged");
    ASSERT_TRUE(settings.Store(&storage));
    EXPECT_TRUE(FileSystem::FileExists((std::string(doc) + "/" + german.c_str()).c_str()));

    UnloadLanguageModule();
    EXPECT_EQ(settings.Load(&storage), 0);
    EXPECT_EQ(CTSSettings::m_sPathSDF, "/own");

    TesselModuleUnload();
    CTSSettings::ResetToDefaults();
    std::system((std::string("rm -rf '") + cfg + "' '" + doc + "'").c_str());
}

}  // namespace
