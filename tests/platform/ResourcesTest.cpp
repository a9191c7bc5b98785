#include "platform/Resources.h"

#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const CResourceSource* g_sourceDuringLookup = nullptr;

const char* TestTable(unsigned id)
{
    g_sourceDuringLookup = GetResourceSource();
    switch (id) {
    case 1: return "One";
    case 10: return "File \"%s\" could not be opened.";
    default: return nullptr;
    }
}

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override { SetOwnStringTable(&TestTable); }
    void TearDown() override
    {
        SetOwnStringTable(nullptr);
        UnloadLanguageModule();
    }
};

TEST_F(ResourcesTest, OwnTableAnswersInItsSourceAndRestoresTheHostOne)
{
    static const CResourceSource host{"host", nullptr};
    const CResourceSource* before = SetResourceSource(&host);
    g_sourceDuringLookup = nullptr;
    EXPECT_EQ(LoadText(1), "One");
    ASSERT_NE(g_sourceDuringLookup, nullptr);
    EXPECT_NE(g_sourceDuringLookup, &host) << "the lookup ran in the host's source";
    EXPECT_EQ(GetResourceSource(), &host) << "the host's source was not restored";
    SetResourceSource(before);
    EXPECT_EQ(LoadText(2), "") << "an id the table does not hold";
    SetOwnStringTable(nullptr);
    EXPECT_EQ(LoadText(1), "") << "before the module registers its table";
}

TEST_F(ResourcesTest, LanguageModuleCodesNeverFormPaths)
{
    CTempDir dir;
    ScopedEnv env("TESSEL_RES_DIR", dir.Path());
    EXPECT_FALSE(LoadLanguageModule("XYZ")) << "no such module";
    EXPECT_FALSE(LoadLanguageModule(""));
    EXPECT_FALSE(LoadLanguageModule(nullptr));
    EXPECT_FALSE(LoadLanguageModule("../x"));
    EXPECT_FALSE(LoadLanguageModule("a/b"));
    EXPECT_FALSE(HasLanguageModule());
    EXPECT_EQ(LanguageModulePath(), "");
    EXPECT_EQ(LoadText(1), "One");
}

TEST(FormatTextArg, FillsOnlyTheFirstPlaceholderAndNothingElse)
{
    EXPECT_EQ(FormatTextArg("File \"%s\" could not be opened.", "/d/a.wav"),
              "File \"/d/a.wav\" could not be opened.");
    EXPECT_EQ(FormatTextArg("%s and %s", "x"), "x and %s");
    EXPECT_EQ(FormatTextArg("as \\\"%\\\" and %d", "x"), "as \\\"%\\\" and %d") << "no placeholder: unchanged";
    EXPECT_EQ(FormatTextArg("%s", "50%s %d"), "50%s %d") << "the argument is not interpreted";
    EXPECT_EQ(FormatTextArg("", "x"), "");
    EXPECT_EQ(FormatTextArg("end %", "x"), "end %");
}

} // namespace
