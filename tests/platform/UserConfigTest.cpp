#include "platform/UserConfig.h"

#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>

namespace {

class UserConfigTest : public ::testing::Test {
protected:
    CTempDir dir;
    ScopedEnv env{"TESSEL_CONFIG_DIR", dir.Path() + "/cfg"};
    void Write(const std::string& text)
    {
        ASSERT_TRUE(CUserConfigKey::SetValue("Dummy", "x", "1")); // creates the directory
        std::ofstream(CUserConfigKey::FilePath().c_str()) << text;
    }
};

TEST_F(UserConfigTest, ValuesReadIntoABufferOnlyWhenTheyFit)
{
    Write("; comment\n[Other]\nLanguage=FRA\n[Software\\Orvano\\]\n  Language = DEU \r\nLong=ABCD\nEmpty=\n");
    CUserConfigKey key;
    ASSERT_TRUE(key.Open("Software\\Orvano\\"));
    char buf[4] = {'x', 'x', 'x', 'x'};
    ASSERT_TRUE(key.QueryValue("Language", buf, sizeof buf));
    EXPECT_STREQ(buf, "DEU") << "section of the key, blanks trimmed";
    char keep[4] = {'k', 'k', 'k', 0};
    EXPECT_FALSE(key.QueryValue("Long", keep, sizeof keep)) << "four characters need five bytes";
    EXPECT_STREQ(keep, "kkk") << "buffer untouched";
    EXPECT_TRUE(key.QueryValue("Empty", buf, sizeof buf));
    EXPECT_STREQ(buf, "");
    EXPECT_FALSE(key.QueryValue("Missing", buf, sizeof buf));
    EXPECT_TRUE(key.Open("Software\\Orvano")) << "trailing backslash does not matter";
    EXPECT_FALSE(key.Open("Software\\Nobody\\"));
    EXPECT_FALSE(key.QueryValue("Language", buf, sizeof buf)) << "closed by the failed open";
}

TEST_F(UserConfigTest, FileInTheRelocatedDirectoryWhereSetValueReplacesOrAdds)
{
    EXPECT_EQ(CUserConfigKey::FilePath(), CString(dir.Path() + "/cfg/tessel.conf"));
    CUserConfigKey key;
    EXPECT_FALSE(key.Open("Software\\Orvano\\")) << "no file yet";
    ASSERT_TRUE(CUserConfigKey::SetValue("Software\\Orvano\\", "Language", "DEU"));
    ASSERT_TRUE(CUserConfigKey::SetValue("Software\\Other\\", "Language", "FRA"));
    ASSERT_TRUE(CUserConfigKey::SetValue("Software\\Orvano\\", "Language", "ENU"));
    ASSERT_TRUE(CUserConfigKey::SetValue("Software\\Orvano\\", "Extra", "1"));
    char buf[8];
    ASSERT_TRUE(key.Open("Software\\Orvano\\"));
    ASSERT_TRUE(key.QueryValue("Language", buf, sizeof buf));
    EXPECT_STREQ(buf, "ENU");
    ASSERT_TRUE(key.QueryValue("Extra", buf, sizeof buf));
    EXPECT_STREQ(buf, "1");
    ASSERT_TRUE(key.Open("Software\\Other"));
    ASSERT_TRUE(key.QueryValue("Language", buf, sizeof buf));
    EXPECT_STREQ(buf, "FRA");
}

} // namespace
