// The field-level rules of universal files: number fields, texts too wide for
// their columns, the unit codes, dates and degree-of-freedom texts.

#include "formats/uff/UffFormat.h"
#include "tests/formats/uff/Uff58Reference.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Ftoa(double v, bool dbl)
{
    char buf[32] = {};
    if (!uff_ftoa(buf, v, dbl))
        return "<out of range>";
    return std::string(buf, dbl ? 20 : 13);
}

TEST(UffNumberField, FieldsArePrintfsE13Dot5AndE20Dot12OrOutOfRange)
{
    // Random values wherever the exponent has two digits; three-digit
    // exponents, also reached by rounding, and non-finite values are out of range.
    std::mt19937_64 g(58);
    std::uniform_real_distribution<double> mant(-10, 10);
    std::uniform_int_distribution<int> ex(-99, 98);
    std::vector<double> values = {0.0, 1e-99, 1e-100, 1e-120, 1e100, 9.999999e99, 9.9999999999999e99};
    for (int i = 0; i < 100000; ++i)
        values.push_back(i % 2 ? mant(g) * std::pow(10.0, ex(g)) : double(float(mant(g) * std::pow(10.0, ex(g) / 3))));
    for (double v : values) {
        char want[64];
        std::snprintf(want, sizeof want, "%13.5e", v);
        auto twoDigits = [&] { return want[std::strlen(want) - 4] == 'e'; };
        ASSERT_EQ(Ftoa(v, false), twoDigits() ? want : "<out of range>") << v;
        std::snprintf(want, sizeof want, "%20.12e", v);
        ASSERT_EQ(Ftoa(v, true), twoDigits() ? want : "<out of range>") << v;
    }
    EXPECT_EQ(Ftoa(std::nan(""), false), "<out of range>");
    EXPECT_EQ(Ftoa(INFINITY, true), "<out of range>");
}

TEST(UffHeaderLines, OverlongOrControlTextsKeepTheColumns)
{
    // Every field's column is checked on exported files by the independent
    // reader; here the texts that do not fit.
    SUffHeader w;
    w.lRespNode = 74;
    w.sRespEntity = "AVeryLongEntityName";
    w.sRefEntity = "Two\nLines";
    const std::string r6 = uff_record6(w);
    ASSERT_EQ(r6.size(), 80u);
    EXPECT_EQ(uffref::cols(r6, 32, 41), "AVeryLongE");
    EXPECT_EQ(r6.find('\n'), std::string::npos);
    EXPECT_EQ(uffref::icol(r6, 42, 51), 74);
    EXPECT_EQ(uff_id_line(CString(std::string(200, 'x'))).size(), 80u);
    // An increment with a three-digit exponent has no field.
    std::string r7;
    w.dAbscInc = 1e-200;
    EXPECT_FALSE(uff_record7(w, r7));
}

TEST(UffTables, UnitsToSpecificDataTypesAndBack)
{
    struct Case { const char* unit; int type, len, force, temp; };
    // Pa, s, Hz and m/s^2 are checked on exported files.
    const Case cases[] = {
        {"K", 5, 0, 0, 0}, {"\xB0" "C", 5, 0, 0, 0}, {"m/s", 11, 0, 0, 0}, {"rpm", 19, 0, 0, 0},
        {"m", 1, 1, 0, 0}, {"N", 1, 0, 1, 0}, {"J", 1, 1, 1, 0}, {"H", 1, 1, 1, 0}, {"V", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SUffAxis a;
        uff_axis_from_unit(c.unit, a);
        EXPECT_EQ((std::array<int, 4>{a.iType, a.iLength, a.iForce, a.iTemp}),
                  (std::array<int, 4>{c.type, c.len, c.force, c.temp})) << c.unit;
    }

    // And back: the quantity and unit of a specific data type (12, 13, 17 and
    // 18 are checked on imported data sets).
    struct Back { int type, len, force, temp; const char* text; };
    const Back backs[] = {
        {1, 1, 0, 0, "distance|m"}, {1, 0, 1, 0, "force|N"},     {1, 1, 1, 0, "energy|J"},
        {1, 0, 0, 1, "temperature|K"}, {1, -2, 1, 0, "pressure|Pa"}, {1, 3, 0, 0, "virtual quantity|"},
        {2, 0, 0, 0, "pressure|Pa"}, {8, 0, 0, 0, "distance|m"}, {19, 0, 0, 0, "RPM|rpm"}, {99, 0, 0, 0, "virtual quantity|"},
    };
    for (const Back& b : backs) {
        SUffQuantityUnit q = uff_quantity_unit_from_axis(SUffAxis{b.type, b.len, b.force, b.temp});
        EXPECT_EQ(std::string(q.sQuantity.c_str()) + "|" + q.sUnit.c_str(), b.text) << b.type;
    }

    // Ratio units ("Pa/N" is taken by the list export test).
    SUffAxis num, den;
    ASSERT_TRUE(uff_ratio_axes_from_unit("kg", num, den));
    EXPECT_EQ(num.iType, 9);
    EXPECT_EQ(den.sUnits, "m/s2");
    EXPECT_FALSE(uff_ratio_axes_from_unit("Pa", num, den));
}

TEST(UffTables, FunctionTypeFromKind)
{
    // Function types 0 to 13 as data-set kinds, and back.
    const int kinds[14] = {0, 1, 3, 3, 4, 3, 3, 43, 44, 3, 3, 42, 3, 0};
    for (int f = 0; f <= 13; ++f)
        EXPECT_EQ(uff_kind_from_function_type(f), kinds[f]) << f;
    // Time data, spectra and transfer functions are checked on exported files.
    EXPECT_EQ(uff_function_type_from_kind(3, "CrossSpectrum", "Hz", "frequency"), 3);
    EXPECT_EQ(uff_function_type_from_kind(3, "PowerSpectralDensity", "Hz", "frequency"), 9);
    EXPECT_EQ(uff_function_type_from_kind(3, "Coherence", "Hz", "frequency"), 6);
    EXPECT_EQ(uff_function_type_from_kind(43, "Auto Correlation", "s", "time"), 7);
    EXPECT_EQ(uff_function_type_from_kind(42, "Probability Density", "V", "voltage"), 11);
    EXPECT_EQ(uff_function_type_from_kind(0, "Unknown", "m", "distance"), 0);
    EXPECT_EQ(uff_function_type_from_kind(0, "Unknown", "s", "time"), 1);
}

std::string DateText(const SUffDate& d)
{
    if (!d.bValid) return "invalid";
    char b[64];
    std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d", d.iYear, d.iMonth, d.iDay, d.iHour, d.iMinute, d.iSecond);
    return b;
}

TEST(UffDates, IdLineThreeRules)
{
    const std::pair<const char*, const char*> cases[] = {
        {"12-MAR-03 14:05:09", "2003-03-12 14:05:09"},
        {"01-jan-69 00:00:00", "2069-01-01 00:00:00"},
        {"01-Jan-70 00:00:00", "1970-01-01 00:00:00"},
        {"12-XYZ-03 14:05:09", "invalid"},
        {"00-MAR-03 14:05:09", "invalid"},
        {"12-MAR", "invalid"},                         // 8 characters or fewer: no date
        {"12-MAR-03", "2003-03-12 00:00:00"},          // no time, or one out of range: midnight
        {"12-MAR-03 25:05:09", "2003-03-12 00:00:00"},
    };
    for (const auto& [line, date] : cases)
        EXPECT_EQ(DateText(uff_parse_date(line)), date) << line;
    EXPECT_EQ(uff_format_date(2003, 3, 2, 4, 5, 9), "02-Mar-03 04:05:09");
    EXPECT_EQ(DateText(uff_parse_date(uff_format_date(1999, 12, 31, 23, 59, 58))), "1999-12-31 23:59:58");
}

TEST(UffDofTexts, ImportSideTextsAndNames)
{
    // Response-only texts and names from both labels are checked on imported files.
    SUffHeader h;
    h.lRespNode = 74;
    h.iRespDir = -3;
    h.lRefNode = 1;
    h.iRefDir = 1;
    EXPECT_EQ(uff_dof_text(h), "-74Z/+1X");
    h.iRespDir = 0;
    h.iRefDir = 0;
    EXPECT_EQ(uff_dof_text(h), "");

    h.sRespEntity = "Bracket";
    h.sRefEntity = "NONE";
    EXPECT_EQ(uff_entity_text(h), "Bracket");
    h.aAxis[1].sLabel = "NONE";
    h.aAxis[2].sLabel = "NONE";
    EXPECT_EQ(uff_channel_name(h, "Bracket"), "Bracket");
    EXPECT_EQ(uff_channel_name(h, "NONE"), "NONE");
}

std::string DofText(const SUffDofResult& r)
{
    return std::string(r.bUnreadable ? "unreadable " : "") + r.sRespEntity.c_str() + " " +
           std::to_string(r.lRespNode) + " " + std::to_string(r.iRespDir) + " / " + r.sRefEntity.c_str() + " " +
           std::to_string(r.lRefNode) + " " + std::to_string(r.iRefDir);
}

TEST(UffDofTexts, ExportSideChannelNames)
{
    const struct {
        const char *name, *title, *dof;
    } cases[] = {
        {"74+z", "Bracket", "Bracket 74 3 / NONE 0 0"},
        {"Bracket_74_z", "", "Bracket 74 3 / NONE 0 0"},
        {"Frame:12:-x", "", "Frame 12 -1 / NONE 0 0"},
        {"3-yr", "", "RESPONSE 3 -5 / NONE 0 0"},   // rotation, negative
        {"74+z/1-x", "Plate:Shaker", "Plate 74 3 / Shaker 1 -1"},
        {"74+z/1-x", "", "OUTPUT 74 3 / INPUT 1 -1"},
        {"Mic1", "Microphone", "unreadable NONE 0 0 / NONE 0 0"},
        {"74+z/Mic", "", "unreadable NONE 0 0 / NONE 0 0"},
        // A lone sign after the separator is no direction: the name is read as a whole.
        {"Bracket_74_+", "", "unreadable NONE 0 0 / NONE 0 0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DofText(uff_dof_from_channel_name(c.name, c.title)), c.dof) << c.name;

    SUffDofResult r = uff_entities_single_export(4, "Accelerometer12/Hammer");
    EXPECT_TRUE(r.bSplit);
    EXPECT_EQ(r.sRespEntity, "Accelerome");
    EXPECT_EQ(r.sRefEntity, "Hammer");
    r = uff_entities_single_export(3, "Accel/Hammer");
    EXPECT_FALSE(r.bSplit);
    EXPECT_EQ(r.sRespEntity, "NONE");
    r = uff_entities_single_export(44, "a*b");
    EXPECT_EQ(r.sRespEntity, "a");
    EXPECT_EQ(r.sRefEntity, "b");
    EXPECT_EQ(r.lRespNode, 0);
}

}  // namespace
