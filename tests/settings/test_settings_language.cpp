// The settings stream is named by the module's own text 1, or by the language
// module's when one is loaded.

#include <gtest/gtest.h>

#include <string>

#include "frame/Module.h"
#include "platform/FileSystem.h"
#include "platform/Resources.h"
#include "platform/Storage.h"
#include "settings/TSSettings.h"
#include "tests/common/TempDir.h"

namespace {

TEST(SettingsLanguage, StreamNameFollowsTheLoadedLanguageModule) {
    CTempDir cfg, docDir;
    const std::string doc = docDir.Path();
    // No user language: the module starts with its own texts.
    ScopedEnv config("TESSEL_CONFIG_DIR", cfg.Path());
    ScopedEnv res("TESSEL_RES_DIR", TESSEL_BINARY_DIR);
    TesselModuleUnload();
    TesselModuleLoad();
    ASSERT_FALSE(HasLanguageModule());
    ASSERT_EQ(LoadText(1), "Tessel Settings");

    CTSSettings::ResetToDefaults();
    CTSSettings::m_sPathSDF = "/own";
    CDirectoryStorage storage(doc.c_str());
    CTSSettings settings;
    ASSERT_TRUE(settings.Store(&storage));
    EXPECT_TRUE(FileSystem::FileExists((doc + "/Tessel Settings").c_str()));

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
    EXPECT_TRUE(FileSystem::FileExists((doc + "/" + german.c_str()).c_str()));

    UnloadLanguageModule();
    EXPECT_EQ(settings.Load(&storage), 0);
    EXPECT_EQ(CTSSettings::m_sPathSDF, "/own");

    TesselModuleUnload();
    CTSSettings::ResetToDefaults();
}

}  // namespace
