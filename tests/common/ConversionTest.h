#pragma once
// The fixture of conversion tests: the settings after module load, outputs
// where the test names them and no overwriting, in a scratch folder of its
// own; the settings are left as module load made them.

#include "interface/TSInterface.h"
#include "settings/TSSettings.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace tessel::test {

class CConversionTest : public ::testing::Test {
protected:
    explicit CConversionTest(const char* tag) : m_tag(tag) {}
    void SetUp() override
    {
        CTSSettings::ResetToDefaults();
        CTSSettings::m_lStandardPathFlags = 0;
        CTSSettings::m_lOverwriteFlags = 0;
        dir = MakeScratch(m_tag);
    }
    void TearDown() override
    {
        CTSSettings::ResetToDefaults();
        std::filesystem::remove_all(dir);
    }
    static CString Text(unsigned id) { return CTSInterface().GetErrorText(id); }

    std::filesystem::path dir;

private:
    const char* m_tag;
};

}  // namespace tessel::test
