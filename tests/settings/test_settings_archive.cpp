// The settings archive: exact bytes of a stored set, archives of older schemas,
// and damaged archives.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Resources.h"
#include "settings/TSSettings.h"
#include "tests/settings/ArchiveWriter.h"

namespace {

using S = CTSSettings;

// What the settings archive can hold, with the layout's field order.
struct SFields {
    std::int32_t highRateSDF = 0;
    float calibrationWAVImport = 94.0f;
    std::string pathMP3;
    std::int32_t convert2dB = 0;
    std::int32_t binaryUFF = 0;
    std::int32_t notationComplex = 0;
    std::int32_t bit24 = 0;
    std::int32_t includePulse = 0;
    std::int32_t overwriteFlags = 0;
    std::int32_t float32PAK = 0;
    std::int32_t useComma = 0;
    float inputRange = 5.0f;
    std::vector<std::string> names;
    std::vector<std::string> units;
    std::int32_t implType = 3;
    std::int32_t abscProvided = 1;
    double abscDelta = 2.2675736961451248e-05;
    std::string abscUnit = "s";
    std::string setFile = "Default.set";
    std::int32_t formerOverwrite = 0;
    std::int32_t separator = 0;
    std::int32_t notation = 0;
    std::int16_t digits = 4;
    std::int16_t calibrationWAVExport = 94;
    std::int32_t convFloatToInt = 1;
    std::string quantity;
    std::string unit = "V";
    std::int16_t formerCalibration = 94;
    std::int32_t pascal = 0;
    std::string formerText;
    std::string pathPAK, pathWAV, pathUFF, pathSDF, pathASC, pathTRX;
    std::int32_t standardFlags = 0;

    SFields() {
        for (int i = 0; i < 256; ++i) {
            names.push_back("channel " + std::to_string(i + 1));
            units.push_back("Pa");
        }
    }
};

// An archive of `schema`: after the schema number, the fields that exist since
// that schema or earlier, newest first.
std::string BuildArchive(int schema, const SFields& f) {
    CTestArchive a;
    a.I32(schema);
    if (schema >= 12) a.I32(f.highRateSDF);
    if (schema >= 11) a.F32(f.calibrationWAVImport);
    if (schema >= 10) a.Str(f.pathMP3);
    if (schema >= 9) a.I32(f.convert2dB).I32(f.binaryUFF);
    if (schema >= 8) a.I32(f.notationComplex).I32(f.bit24).I32(f.includePulse).I32(f.overwriteFlags);
    if (schema >= 7) a.I32(f.float32PAK);
    if (schema >= 6) a.I32(f.useComma);
    if (schema >= 5) a.F32(f.inputRange);
    if (schema >= 4) a.Arr(f.names).Arr(f.units).I32(f.implType).I32(f.abscProvided).F64(f.abscDelta).Str(f.abscUnit);
    if (schema >= 3) a.Str(f.setFile);
    if (schema >= 2) a.I32(f.formerOverwrite);
    a.I32(f.separator).I32(f.notation).I16(f.digits).I16(f.calibrationWAVExport).I32(f.convFloatToInt);
    a.Str(f.quantity).Str(f.unit).I16(f.formerCalibration).I32(f.pascal).Str(f.formerText);
    a.Str(f.pathPAK).Str(f.pathWAV).Str(f.pathUFF).Str(f.pathSDF).Str(f.pathASC).Str(f.pathTRX);
    a.I32(f.standardFlags);
    return a.Bytes();
}

// Values that differ from every default, so that "left as it was" and "read"
// can be told apart.
void SetSentinels() {
    S::m_bHighSamplingRate4RefQuantSDFExport = 7;
    S::m_fCalibrationWAVImport = 11.5f;
    S::m_sPathMP3 = "/sentinel/mp3";
    S::m_bConvert2dBASCExport = 7;
    S::m_bIncludePulseChWAVExport = 7;
    S::m_bEnableFloat32PAKExport = 7;
    S::m_bUseCommaASCExport = 7;
    S::m_lOverwriteFlags = 0x5A;
    S::m_fInputRangeWAVImport = 1.25f;
    S::m_iChImplType = 10;
    S::m_sNameSETFileTEACImport = "Sentinel.set";
}

class SettingsArchive : public ::testing::Test {
protected:
    void SetUp() override { S::ResetToDefaults(); }
    void TearDown() override { S::ResetToDefaults(); }
};

// Captured before any test runs: what the static initialisers gave.
std::string g_initialArchive;
class CaptureInitial : public ::testing::Environment {
    void SetUp() override { g_initialArchive = S::StoreToBytes(); }
};
const auto* g_env = ::testing::AddGlobalTestEnvironment(new CaptureInitial);

std::string Hex(const std::string& s, std::size_t from, std::size_t n) {
    static const char d[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = from; i < from + n && i < s.size(); ++i) {
        out += d[(unsigned char)s[i] >> 4];
        out += d[(unsigned char)s[i] & 15];
    }
    return out;
}

TEST_F(SettingsArchive, DefaultSetStoresTheDocumentedBytes) {
    // Literal bytes of the head: schema 12, SDF option 0, 94.0f, empty MP3 path,
    // then seven int32 zeros (dB, binary UFF, complex notation, 24 bit, pulse
    // channels, overwrite flags, float32 PAK), comma 0 and 5.0f.
    const std::string head = "0c000000" "00000000" "0000bc42" "00" "00000000" "00000000" "00000000" "00000000"
                             "00000000" "00000000" "00000000" "00000000" "0000a040";
    const std::string expected = BuildArchive(12, SFields());
    ASSERT_EQ(Hex(expected, 0, expected.size()).substr(0, head.size()), head);

    EXPECT_EQ(g_initialArchive, expected) << "static initialisers differ from the documented defaults";
    EXPECT_EQ(S::StoreToBytes(), expected) << "ResetToDefaults differs from the documented defaults";

    // The arrays start right after the head: count 0x0100, then "channel 1".
    std::size_t at = head.size() / 2;
    EXPECT_EQ(Hex(expected, at, 12), "0001" "096368616e6e656c2031");
    // 2 (count) + 9x10 + 90x11 + 157x12 name bytes, 2 + 256x3 unit bytes.
    std::size_t arrays = 2 + 9 * 10 + 90 * 11 + 157 * 12 + 2 + 256 * 3;
    EXPECT_EQ(Hex(expected, at + arrays, 4 + 4 + 8), "03000000" "01000000" "77f151c7f8c6f73e");
    EXPECT_EQ(expected.size(), at + arrays + 16 + 2 + 12 + 4 + 4 + 4 + 2 + 2 + 4 + 1 + 2 + 2 + 4 + 1 + 6 + 4);
}

TEST_F(SettingsArchive, EveryFieldRoundTripsAndLandsInItsPlace) {
    SFields f;
    f.highRateSDF = 1;
    f.calibrationWAVImport = 101.25f;
    f.pathMP3 = "/out/mp3";
    f.convert2dB = 1;
    f.binaryUFF = 1;
    f.notationComplex = 5;
    f.bit24 = 1;
    f.includePulse = 1;
    f.overwriteFlags = 0x2A55;
    f.float32PAK = 1;
    f.useComma = 1;
    f.inputRange = 0.5f;
    f.names[17] = "Mic \xB0 front";
    f.units[3] = "m/(s^2)";
    f.implType = 10;
    f.abscProvided = 0;
    f.abscDelta = 0.125;
    f.abscUnit = "ms";
    f.setFile = "Rig.set";
    f.separator = 1;
    f.notation = 2;
    f.digits = 9;
    f.calibrationWAVExport = 124;
    f.convFloatToInt = 2;
    f.quantity = "pressure";
    f.unit = "Pa";
    f.pascal = 1;
    f.pathPAK = "/p", f.pathWAV = "/w", f.pathUFF = "/u", f.pathSDF = "/s", f.pathASC = "/a",
    f.pathTRX = std::string(300, 'x');
    f.standardFlags = 0x3FFF;
    const std::string bytes = BuildArchive(12, f);

    // Storing again gives the same bytes, so every field was read and written
    // in its place; a load and a store that swapped two fields of one type
    // alike are caught by the values themselves.
    ASSERT_EQ(S::LoadFromBytes(bytes.data(), bytes.size()), 0);
    EXPECT_EQ(S::StoreToBytes(), bytes);
    EXPECT_EQ(S::m_iNumberNotationComplexASCExport, 5);
    EXPECT_EQ(S::m_arsChNameASCImport[17], "Mic \xB0 front");
    EXPECT_EQ(S::m_iNumberNotationASCExport, 2);
    EXPECT_EQ(S::m_sQuantityWAVImport, "pressure");
    EXPECT_EQ(S::m_sPathPAK, "/p");
    EXPECT_EQ(S::m_sPathSDF, "/s");

    // The former fields go out as 0, 94 and empty whatever was read.
    f.formerOverwrite = 1;
    f.formerCalibration = 60;
    f.formerText = "old";
    const std::string withFormer = BuildArchive(12, f);
    ASSERT_EQ(S::LoadFromBytes(withFormer.data(), withFormer.size()), 0);
    EXPECT_EQ(S::m_lOverwriteFlags, 0x2A55) << "schema 12 keeps its own overwrite flags";
    EXPECT_EQ(S::m_fCalibrationWAVImport, 101.25f);
    EXPECT_EQ(S::StoreToBytes(), bytes);
}

// An older schema reads the fields it holds and leaves the newer ones as they
// were; schemas 2 to 7 turn the former overwrite switch into all bits or
// none, and below 11 the former calibration is the WAVE import's.
TEST_F(SettingsArchive, OlderSchemasReadTheirFieldsAndLeaveTheNewerOnes) {
    const struct {
        int schema, formerSwitch;
        std::uint32_t overwrite;
    } cases[] = {{1, 1, 0}, {3, 0, 0}, {7, 1, 0xFFFFFFFFu}, {7, 0, 0}, {11, 1, 0x80}};
    for (const auto& c : cases) {
        SetSentinels();
        SFields f;
        f.formerOverwrite = c.formerSwitch;
        f.overwriteFlags = 0x80;
        f.formerCalibration = 104;
        f.calibrationWAVImport = 87.5f;
        f.separator = 1;
        f.pathTRX = "/trx";
        f.setFile = "Three.set";
        f.implType = 5;
        f.float32PAK = f.useComma = f.includePulse = f.convert2dB = 1;
        f.pathMP3 = "/mp3";
        const std::string bytes = BuildArchive(c.schema, f);
        ASSERT_EQ(S::LoadFromBytes(bytes.data(), bytes.size()), 0) << c.schema;
        EXPECT_EQ(S::m_bSeparatorASCExport, 1) << c.schema;
        EXPECT_EQ(S::m_sPathTRX, "/trx") << c.schema;
        EXPECT_EQ(std::uint32_t(S::m_lOverwriteFlags), c.overwrite) << c.schema << " " << c.formerSwitch;
        EXPECT_EQ(S::m_fCalibrationWAVImport, c.schema >= 11 ? 87.5f : 104.0f) << c.schema;
        EXPECT_EQ(S::m_sNameSETFileTEACImport, c.schema >= 3 ? "Three.set" : "Sentinel.set") << c.schema;
        EXPECT_EQ(S::m_iChImplType, c.schema >= 4 ? 5 : 10) << c.schema;
        EXPECT_EQ(S::m_fInputRangeWAVImport, c.schema >= 5 ? 5.0f : 1.25f) << c.schema;
        EXPECT_EQ(S::m_bUseCommaASCExport, c.schema >= 6 ? 1 : 7) << c.schema;
        EXPECT_EQ(S::m_bEnableFloat32PAKExport, c.schema >= 7 ? 1 : 7) << c.schema;
        EXPECT_EQ(S::m_bIncludePulseChWAVExport, c.schema >= 8 ? 1 : 7) << c.schema;
        EXPECT_EQ(S::m_bConvert2dBASCExport, c.schema >= 9 ? 1 : 7) << c.schema;
        EXPECT_EQ(S::m_sPathMP3, c.schema >= 10 ? "/mp3" : "/sentinel/mp3") << c.schema;
        EXPECT_EQ(S::m_bHighSamplingRate4RefQuantSDFExport, 7) << c.schema;
    }
}

TEST_F(SettingsArchive, ArraysTheHostResizedAreBroughtTo256WhateverTheLoadGives) {
    const std::string schema3 = BuildArchive(3, SFields());
    const std::string schema12 = BuildArchive(12, SFields());
    std::string badSchema = schema12;
    badSchema[0] = 13;
    struct Case {
        const char* what;
        std::string bytes;
        short result;
    } cases[] = {
        {"schema 3, no arrays in it", schema3, 0},
        {"cut short before the arrays", schema12.substr(0, 20), -3},
        {"unknown schema", badSchema, -2},
    };
    for (const Case& c : cases) {
        for (int size : {10, 300}) {
            S::ResetToDefaults();
            S::m_arsChNameASCImport.SetSize(size);
            S::m_arsChUnitASCImport.SetSize(size);
            S::m_arsChNameASCImport[9] = "tenth";
            EXPECT_EQ(S::LoadFromBytes(c.bytes.data(), c.bytes.size()), c.result) << c.what;
            EXPECT_EQ(S::m_arsChNameASCImport.GetSize(), 256) << c.what << ", resized to " << size;
            EXPECT_EQ(S::m_arsChUnitASCImport.GetSize(), 256) << c.what << ", resized to " << size;
            EXPECT_EQ(S::m_arsChNameASCImport[9], "tenth") << c.what;
            EXPECT_EQ(S::m_arsChNameASCImport[255], size == 10 ? "" : "channel 256") << c.what;
        }
    }
}

TEST_F(SettingsArchive, SchemaFourArraysAreBroughtTo256) {
    SFields f;
    f.names = {"a", "b", "c"};
    f.units.assign(300, "V");
    f.units[255] = "last";
    f.units[256] = "dropped";
    const std::string bytes = BuildArchive(4, f);
    ASSERT_EQ(S::LoadFromBytes(bytes.data(), bytes.size()), 0);
    ASSERT_EQ(S::m_arsChNameASCImport.GetSize(), 256);
    EXPECT_EQ(S::m_arsChNameASCImport[2], "c");
    EXPECT_EQ(S::m_arsChNameASCImport[3], "");
    EXPECT_EQ(S::m_arsChNameASCImport[255], "");
    ASSERT_EQ(S::m_arsChUnitASCImport.GetSize(), 256);
    EXPECT_EQ(S::m_arsChUnitASCImport[255], "last");
}

TEST_F(SettingsArchive, UnknownSchemasAreRefusedBeforeAnyField) {
    for (int schema : {0, 13, -1, 0x7FFFFFFF}) {
        SetSentinels();
        const std::string bytes = CTestArchive().I32(schema).Bytes() + BuildArchive(12, SFields()).substr(4);
        EXPECT_EQ(S::LoadFromBytes(bytes.data(), bytes.size()), -2) << schema;
        EXPECT_EQ(S::m_bHighSamplingRate4RefQuantSDFExport, 7);
        EXPECT_EQ(S::m_fCalibrationWAVImport, 11.5f);
    }
}

TEST_F(SettingsArchive, TruncatedArchivesGiveMinusThreeAndKeepWhatWasRead) {
    SFields f;
    f.highRateSDF = 1;
    f.calibrationWAVImport = 77.0f;
    f.pathTRX = "/trx";
    const std::string bytes = BuildArchive(12, f);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        SetSentinels();
        ASSERT_EQ(S::LoadFromBytes(bytes.data(), n), -3) << "cut at " << n;
    }
    // Cut inside the MP3 path: the two fields before it have their new values.
    SetSentinels();
    EXPECT_EQ(S::LoadFromBytes(bytes.data(), 4 + 4 + 4 + 1 - 1), -3);
    EXPECT_EQ(S::m_bHighSamplingRate4RefQuantSDFExport, 1);
    EXPECT_EQ(S::m_fCalibrationWAVImport, 77.0f);
    EXPECT_EQ(S::m_sPathMP3, "/sentinel/mp3");
}

TEST_F(SettingsArchive, CorruptLengthsGiveMinusThreeWithoutHugeAllocations) {
    // A 32-bit string length of 4 GiB in a short archive.
    std::string huge = CTestArchive().I32(12).I32(0).F32(1.0f).Byte(0xFF).Raw("\xFF\xFF").Raw("\xFF\xFF\xFF\xFF").Bytes();
    EXPECT_EQ(S::LoadFromBytes(huge.data(), huge.size()), -3);
    // The wide-string marker 0xFFFE is not a length.
    std::string wide = CTestArchive().I32(12).I32(0).F32(1.0f).Byte(0xFF).Raw("\xFE\xFF").Bytes() + std::string(64, 'a');
    EXPECT_EQ(S::LoadFromBytes(wide.data(), wide.size()), -3);
    // An element count of 4 billion in a short archive.
    std::string count = CTestArchive().I32(4).I32(0).Raw("\xFF\xFF").I32(-1).Str("a").Bytes();
    EXPECT_EQ(S::LoadFromBytes(count.data(), count.size()), -3);
    EXPECT_EQ(S::m_arsChNameASCImport.GetSize(), 256);
}

TEST_F(SettingsArchive, LengthPrefixAndCountBoundaries) {
    struct Case {
        std::size_t length;
        std::string prefix;
    } cases[] = {
        {0, "00"},         {254, "fe"},           {255, "ffff00"},
        {0xFFFD, "fffdff"}, {0xFFFE, "ffffff" "feff0000"}, {0x12345, "ffffff" "45230100"},
    };
    for (const Case& c : cases) {
        S::m_sPathMP3 = CString(std::string(c.length, 'm'));
        const std::string bytes = S::StoreToBytes();
        EXPECT_EQ(Hex(bytes, 12, c.prefix.size() / 2), c.prefix) << c.length;
        S::m_sPathMP3.Empty();
        ASSERT_EQ(S::LoadFromBytes(bytes.data(), bytes.size()), 0);
        EXPECT_EQ(S::m_sPathMP3.GetLength(), int(c.length));
    }
    // String arrays: 16-bit count below 0xFFFF, else 0xFFFF and 32 bits.
    S::m_sPathMP3.Empty();
    for (int n : {0xFFFE, 0xFFFF}) {
        S::m_arsChNameASCImport.SetSize(n);
        const std::string bytes = S::StoreToBytes();
        const std::size_t at = 4 + 4 + 4 + 1 + 4 * 7 + 4 + 4;
        EXPECT_EQ(Hex(bytes, at, n == 0xFFFE ? 2 : 6), n == 0xFFFE ? "feff" : "ffffffff0000") << n;
        ASSERT_EQ(S::LoadFromBytes(bytes.data(), bytes.size()), 0);
        EXPECT_EQ(S::m_arsChNameASCImport.GetSize(), 256);
    }
}

}  // namespace
