// The field-level rules of universal files: number fields, header-line
// widths and columns, the code tables, dates and degree-of-freedom texts.

#include "formats/uff/UffFormat.h"
#include "tests/formats/uff/Uff58Reference.h"

#include <gtest/gtest.h>

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

TEST(UffNumberField, SingleAndDoublePrecisionWidthsAndExponents)
{
    EXPECT_EQ(Ftoa(1.5, false), "  1.50000e+00");
    EXPECT_EQ(Ftoa(-1.5, false), " -1.50000e+00");
    EXPECT_EQ(Ftoa(0.0, false), "  0.00000e+00");
    EXPECT_EQ(Ftoa(123456.789, false), "  1.23457e+05");
    EXPECT_EQ(Ftoa(-2.5e-7, false), " -2.50000e-07");
    EXPECT_EQ(Ftoa(9.87654321e99, false), "  9.87654e+99");
    EXPECT_EQ(Ftoa(1.5, true), "  1.500000000000e+00");
    EXPECT_EQ(Ftoa(-1.0 / 3.0, true), " -3.333333333333e-01");
    // Every field reads back through the C library to the value within its precision.
    for (double v : {3.14159265358979, -2.718281828e-33, 6.02214076e23, 1e-99}) {
        EXPECT_NEAR(std::strtod(Ftoa(v, false).c_str(), nullptr), v, std::fabs(v) * 5e-6);
        EXPECT_NEAR(std::strtod(Ftoa(v, true).c_str(), nullptr), v, std::fabs(v) * 5e-13);
    }
    // The fields are printf's E13.5 and E20.12, for random values wherever the
    // exponent has two digits.
    std::mt19937_64 g(58);
    std::uniform_real_distribution<double> mant(-10, 10);
    std::uniform_int_distribution<int> ex(-99, 98);
    for (int i = 0; i < 100000; ++i) {
        const double v = i % 2 ? mant(g) * std::pow(10.0, ex(g)) : double(float(mant(g) * std::pow(10.0, ex(g) / 3)));
        char want[64];
        std::snprintf(want, sizeof want, "%13.5e", v);
        auto twoDigits = [&] { return want[std::strlen(want) - 4] == 'e'; };
        ASSERT_EQ(Ftoa(v, false), twoDigits() ? want : "<out of range>") << v;
        std::snprintf(want, sizeof want, "%20.12e", v);
        ASSERT_EQ(Ftoa(v, true), twoDigits() ? want : "<out of range>") << v;
    }
}

TEST(UffNumberField, ThreeDigitExponentsAndNonFiniteValuesAreOutOfRange)
{
    EXPECT_EQ(Ftoa(1e-120, false), "<out of range>");
    EXPECT_EQ(Ftoa(1e100, true), "<out of range>");
    // Rounding pushes the exponent to three digits: still out of range.
    EXPECT_EQ(Ftoa(9.999999e99, false), "<out of range>");
    EXPECT_EQ(Ftoa(std::nan(""), false), "<out of range>");
    EXPECT_EQ(Ftoa(INFINITY, true), "<out of range>");
    EXPECT_EQ(Ftoa(1e-100, false), "<out of range>");
    EXPECT_EQ(Ftoa(1e-99, false), "  1.00000e-99");
}

SUffHeader SampleHeader()
{
    SUffHeader h;
    h.iFunctionType = 4;
    h.sRespEntity = "Bracket";
    h.lRespNode = 74;
    h.iRespDir = 3;
    h.sRefEntity = "Hammer";
    h.lRefNode = 1;
    h.iRefDir = -2;
    h.iOrdinateType = 5;
    h.llPoints = 1024;
    h.iSpacing = 1;
    h.dAbscMin = 0.0;
    h.dAbscInc = 2.5;
    return h;
}

TEST(UffHeaderLines, EveryLineIsEightyColumnsAndFieldsSitInTheirColumns)
{
    SUffHeader h = SampleHeader();
    EXPECT_EQ(uff_start_stop_line(), "    -1" + std::string(74, ' '));
    EXPECT_EQ(uff_type_line(h), "    58" + std::string(74, ' '));
    EXPECT_EQ(uff_id_line("Source file: a.trx").size(), 80u);
    EXPECT_EQ(uff_id_line(CString(std::string(200, 'x'))).size(), 80u);

    const std::string r6 = uff_record6(h);
    ASSERT_EQ(r6.size(), 80u);
    using namespace uffref;
    EXPECT_EQ(icol(r6, 1, 5), 4);
    EXPECT_EQ(icol(r6, 6, 15), 0);
    EXPECT_EQ(trim(cols(r6, 32, 41)), "Bracket");
    EXPECT_EQ(icol(r6, 42, 51), 74);
    EXPECT_EQ(icol(r6, 52, 55), 3);
    EXPECT_EQ(trim(cols(r6, 57, 66)), "Hammer");
    EXPECT_EQ(icol(r6, 67, 76), 1);
    EXPECT_EQ(icol(r6, 77, 80), -2);

    std::string r7;
    ASSERT_TRUE(uff_record7(h, r7));
    ASSERT_EQ(r7.size(), 80u);
    EXPECT_EQ(icol(r7, 1, 10), 5);
    EXPECT_EQ(icol(r7, 11, 20), 1024);
    EXPECT_EQ(icol(r7, 21, 30), 1);
    EXPECT_EQ(dcol(r7, 31, 43), 0.0);
    EXPECT_EQ(dcol(r7, 44, 56), 2.5);
    EXPECT_EQ(cols(r7, 70, 80), std::string(11, ' '));
    h.dAbscInc = 1e-200;
    EXPECT_FALSE(uff_record7(h, r7));

    SUffAxis a;
    a.iType = 12;
    a.sLabel = "Acceleration";
    a.sUnits = "m/s^2";
    const std::string r8 = uff_axis_record(a);
    ASSERT_EQ(r8.size(), 80u);
    EXPECT_EQ(icol(r8, 1, 10), 12);
    EXPECT_EQ(icol(r8, 11, 15), 0);
    EXPECT_EQ(trim(cols(r8, 27, 46)), "Acceleration");
    EXPECT_EQ(trim(cols(r8, 48, 67)), "m/s^2");
    EXPECT_EQ(cols(r8, 68, 80), std::string(13, ' '));
}

TEST(UffHeaderLines, BinaryTypeLineAndOverlongOrControlTexts)
{
    SUffHeader h;
    h.bBinary = true;
    h.allBinary[3] = 123456;
    const std::string t = uff_type_line(h);
    using namespace uffref;
    ASSERT_EQ(t.size(), 79u);
    EXPECT_EQ(icol(t, 1, 6), 58);
    EXPECT_EQ(t[6], 'b');
    EXPECT_EQ(icol(t, 8, 13), 1);
    EXPECT_EQ(icol(t, 14, 19), 2);
    EXPECT_EQ(icol(t, 20, 31), 11);
    EXPECT_EQ(icol(t, 32, 43), 123456);
    EXPECT_EQ(icol(t, 44, 49), 0);
    EXPECT_EQ(icol(t, 68, 79), 0);

    // Names wider than their fields are cut, never allowed to shift the columns;
    // a line break inside a name cannot break the record.
    SUffHeader w = SampleHeader();
    w.sRespEntity = "AVeryLongEntityName";
    w.sRefEntity = "Two\nLines";
    const std::string r6 = uff_record6(w);
    ASSERT_EQ(r6.size(), 80u);
    EXPECT_EQ(cols(r6, 32, 41), "AVeryLongE");
    EXPECT_EQ(r6.find('\n'), std::string::npos);
    EXPECT_EQ(icol(r6, 42, 51), 74);
}

TEST(UffTables, FunctionTypesOrdinateTypesAndDirections)
{
    const int kinds[14] = {0, 1, 3, 3, 4, 3, 3, 43, 44, 3, 3, 42, 3, 0};
    for (int f = 0; f <= 13; ++f)
        EXPECT_EQ(uff_kind_from_function_type(f), kinds[f]) << f;
    EXPECT_EQ(uff_kind_from_function_type(-1), 0);

    EXPECT_EQ(uff_impl_type_from_ordinate(2, false), 10);
    EXPECT_EQ(uff_impl_type_from_ordinate(4, true), 12);
    EXPECT_EQ(uff_impl_type_from_ordinate(5, false), 10);
    EXPECT_EQ(uff_impl_type_from_ordinate(5, true), 15);
    EXPECT_EQ(uff_impl_type_from_ordinate(6, false), 12);
    EXPECT_EQ(uff_impl_type_from_ordinate(6, true), 16);
    EXPECT_EQ(uff_impl_type_from_ordinate(3, false), 0);
    EXPECT_EQ(uff_impl_type_from_ordinate(1, true), 0);

    EXPECT_EQ(uff_ordinate_from_impl_type(3), 2);
    EXPECT_EQ(uff_ordinate_from_impl_type(10), 2);
    EXPECT_EQ(uff_ordinate_from_impl_type(12), 4);
    EXPECT_EQ(uff_ordinate_from_impl_type(15), 5);
    EXPECT_EQ(uff_ordinate_from_impl_type(16), 6);

    EXPECT_EQ(uff_direction_letter(1), 'X');
    EXPECT_EQ(uff_direction_letter(-3), 'Z');
    EXPECT_EQ(uff_direction_letter(6), 'P');
    EXPECT_EQ(uff_direction_letter(0), 0);
    EXPECT_EQ(uff_direction_letter(7), 0);

    // Values per line follow the published layout.
    EXPECT_EQ(uff_value_layout(2, false).iNumbersPerLine, 6);
    EXPECT_EQ(uff_value_layout(4, false).iNumbersPerLine, 4);
    EXPECT_EQ(uff_value_layout(4, true).iNumbersPerPoint, 2);
    EXPECT_EQ(uff_value_layout(6, true).iNumbersPerLine, 3);
    EXPECT_EQ(uff_value_layout(5, true).iNumbersPerPoint, 3);
}

TEST(UffTables, UnitsToSpecificDataTypesAndBack)
{
    struct Case { const char* unit; int type, len, force, temp; };
    const Case cases[] = {
        {"K", 5, 0, 0, 0}, {"\xB0" "C", 5, 0, 0, 0}, {"m/s", 11, 0, 0, 0}, {"m/s^2", 12, 0, 0, 0},
        {"Pa", 15, 0, 0, 0}, {"s", 17, 0, 0, 0}, {"Hz", 18, 0, 0, 0}, {"rpm", 19, 0, 0, 0},
        {"m", 1, 1, 0, 0}, {"N", 1, 0, 1, 0}, {"J", 1, 1, 1, 0}, {"H", 1, 1, 1, 0}, {"V", 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SUffAxis a;
        uff_axis_from_unit(c.unit, a);
        EXPECT_EQ(a.iType, c.type) << c.unit;
        EXPECT_EQ(a.iLength, c.len) << c.unit;
        EXPECT_EQ(a.iForce, c.force) << c.unit;
        EXPECT_EQ(a.iTemp, c.temp) << c.unit;
    }

    auto back = [](int type, int len = 0, int force = 0, int temp = 0) {
        SUffAxis a;
        a.iType = type; a.iLength = len; a.iForce = force; a.iTemp = temp;
        SUffQuantityUnit q = uff_quantity_unit_from_axis(a);
        return std::string(q.sQuantity.c_str()) + "|" + q.sUnit.c_str();
    };
    EXPECT_EQ(back(1, 1, 0, 0), "distance|m");
    EXPECT_EQ(back(1, 0, 1, 0), "force|N");
    EXPECT_EQ(back(1, 1, 1, 0), "energy|J");
    EXPECT_EQ(back(1, 0, 0, 1), "temperature|K");
    EXPECT_EQ(back(1, -2, 1, 0), "pressure|Pa");
    EXPECT_EQ(back(1, 3, 0, 0), "virtual quantity|");
    EXPECT_EQ(back(2), "pressure|Pa");
    EXPECT_EQ(back(8), "distance|m");
    EXPECT_EQ(back(13), "force|N");
    EXPECT_EQ(back(12), "acceleration|m/s^2");
    EXPECT_EQ(back(17), "time|s");
    EXPECT_EQ(back(18), "frequency|Hz");
    EXPECT_EQ(back(19), "RPM|rpm");
    EXPECT_EQ(back(0), "virtual quantity|");
    EXPECT_EQ(back(99), "virtual quantity|");

    SUffAxis num, den;
    ASSERT_TRUE(uff_ratio_axes_from_unit("Pa/N", num, den));
    EXPECT_EQ(num.iType, 15);
    EXPECT_EQ(num.sUnits, "Pa");
    EXPECT_EQ(den.iType, 13);
    EXPECT_EQ(den.sUnits, "N");
    ASSERT_TRUE(uff_ratio_axes_from_unit("kg", num, den));
    EXPECT_EQ(num.iType, 9);
    EXPECT_EQ(den.sUnits, "m/s2");
    EXPECT_FALSE(uff_ratio_axes_from_unit("Pa", num, den));
}

TEST(UffTables, FunctionTypeFromKind)
{
    EXPECT_EQ(uff_function_type_from_kind(1, "Time Data", "s", "time"), 1);
    EXPECT_EQ(uff_function_type_from_kind(3, "CrossSpectrum", "Hz", "frequency"), 3);
    EXPECT_EQ(uff_function_type_from_kind(3, "PowerSpectralDensity", "Hz", "frequency"), 9);
    EXPECT_EQ(uff_function_type_from_kind(3, "Coherence", "Hz", "frequency"), 6);
    EXPECT_EQ(uff_function_type_from_kind(3, "Spectrum", "Hz", "frequency"), 2);
    EXPECT_EQ(uff_function_type_from_kind(4, "Frequency Response", "Hz", "frequency"), 4);
    EXPECT_EQ(uff_function_type_from_kind(43, "Auto Correlation", "s", "time"), 7);
    EXPECT_EQ(uff_function_type_from_kind(42, "Probability Density", "V", "voltage"), 11);
    EXPECT_EQ(uff_function_type_from_kind(0, "Unknown", "m", "distance"), 0);
    EXPECT_EQ(uff_function_type_from_kind(0, "Unknown", "s", "time"), 1);
}

TEST(UffDates, IdLineThreeRules)
{
    SUffDate d = uff_parse_date("12-MAR-03 14:05:09");
    ASSERT_TRUE(d.bValid);
    EXPECT_EQ(d.iYear, 2003);
    EXPECT_EQ(d.iMonth, 3);
    EXPECT_EQ(d.iDay, 12);
    EXPECT_EQ(d.iHour, 14);
    EXPECT_EQ(d.iMinute, 5);
    EXPECT_EQ(d.iSecond, 9);
    EXPECT_EQ(uff_parse_date("01-jan-69 00:00:00").iYear, 2069);
    EXPECT_EQ(uff_parse_date("01-Jan-70 00:00:00").iYear, 1970);
    EXPECT_FALSE(uff_parse_date("12-XYZ-03 14:05:09").bValid);
    EXPECT_FALSE(uff_parse_date("00-MAR-03 14:05:09").bValid);
    EXPECT_FALSE(uff_parse_date("12-MAR").bValid);   // 8 characters or fewer: no date
    // A date without a time, and a time out of range, give midnight.
    SUffDate noTime = uff_parse_date("12-MAR-03");
    EXPECT_TRUE(noTime.bValid);
    EXPECT_EQ(noTime.iHour, 0);
    SUffDate badTime = uff_parse_date("12-MAR-03 25:05:09");
    EXPECT_TRUE(badTime.bValid);
    EXPECT_EQ(badTime.iHour, 0);
    EXPECT_EQ(badTime.iMinute, 0);
    EXPECT_EQ(badTime.iSecond, 0);

    EXPECT_EQ(uff_format_date(2003, 3, 2, 4, 5, 9), "02-Mar-03 04:05:09");
    SUffDate round = uff_parse_date(uff_format_date(1999, 12, 31, 23, 59, 58));
    EXPECT_TRUE(round.bValid);
    EXPECT_EQ(round.iYear, 1999);
    EXPECT_EQ(round.iMonth, 12);
}

TEST(UffDofTexts, ImportSideTextsAndNames)
{
    SUffHeader h;
    h.lRespNode = 74;
    h.iRespDir = 3;
    EXPECT_EQ(uff_dof_text(h), "+74Z");
    h.iRespDir = -3;
    EXPECT_EQ(uff_dof_text(h), "-74Z");
    h.lRefNode = 1;
    h.iRefDir = 1;
    EXPECT_EQ(uff_dof_text(h), "-74Z/+1X");
    h.iRespDir = 0;
    h.iRefDir = 0;
    EXPECT_EQ(uff_dof_text(h), "");

    h.sRespEntity = "Bracket";
    h.sRefEntity = "NONE";
    EXPECT_EQ(uff_entity_text(h), "Bracket");
    h.sRefEntity = "Hammer";
    EXPECT_EQ(uff_entity_text(h), "Bracket/Hammer");

    h.aAxis[1].sLabel = "Accel";
    h.aAxis[2].sLabel = "NONE";
    EXPECT_EQ(uff_channel_name(h, "Bracket"), "Accel");
    h.aAxis[2].sLabel = "Force";
    EXPECT_EQ(uff_channel_name(h, "Bracket"), "Accel/Force");
    h.aAxis[1].sLabel = "NONE";
    h.aAxis[2].sLabel = "NONE";
    EXPECT_EQ(uff_channel_name(h, "Bracket"), "Bracket");
    EXPECT_EQ(uff_channel_name(h, "NONE"), "NONE");
}

TEST(UffDofTexts, ExportSideChannelNames)
{
    SUffDofResult r = uff_dof_from_channel_name("74+z", "Bracket");
    EXPECT_FALSE(r.bUnreadable);
    EXPECT_EQ(r.lRespNode, 74);
    EXPECT_EQ(r.iRespDir, 3);
    EXPECT_EQ(r.sRespEntity, "Bracket");
    EXPECT_EQ(r.sRefEntity, "NONE");

    r = uff_dof_from_channel_name("Bracket_74_z", "");
    EXPECT_FALSE(r.bUnreadable);
    EXPECT_EQ(r.lRespNode, 74);
    EXPECT_EQ(r.iRespDir, 3);
    EXPECT_EQ(r.sRespEntity, "Bracket");

    r = uff_dof_from_channel_name("Frame:12:-x", "");
    EXPECT_EQ(r.lRespNode, 12);
    EXPECT_EQ(r.iRespDir, -1);
    EXPECT_EQ(r.sRespEntity, "Frame");

    r = uff_dof_from_channel_name("3-yr", "");  // rotation, negative
    EXPECT_EQ(r.lRespNode, 3);
    EXPECT_EQ(r.iRespDir, -5);
    EXPECT_EQ(r.sRespEntity, "RESPONSE");

    r = uff_dof_from_channel_name("74+z/1-x", "Plate:Shaker");
    EXPECT_FALSE(r.bUnreadable);
    EXPECT_EQ(r.lRespNode, 74);
    EXPECT_EQ(r.iRespDir, 3);
    EXPECT_EQ(r.lRefNode, 1);
    EXPECT_EQ(r.iRefDir, -1);
    EXPECT_EQ(r.sRespEntity, "Plate");
    EXPECT_EQ(r.sRefEntity, "Shaker");
    r = uff_dof_from_channel_name("74+z/1-x", "");
    EXPECT_EQ(r.sRespEntity, "OUTPUT");
    EXPECT_EQ(r.sRefEntity, "INPUT");

    r = uff_dof_from_channel_name("Mic1", "Microphone");
    EXPECT_TRUE(r.bUnreadable);
    EXPECT_EQ(r.sRespEntity, "NONE");
    EXPECT_EQ(r.sRefEntity, "NONE");
    EXPECT_EQ(r.lRespNode, 0);
    EXPECT_EQ(r.iRespDir, 0);
    EXPECT_TRUE(uff_dof_from_channel_name("74+z/Mic", "").bUnreadable);

    // A lone sign after the separator is no direction: the name is read as a whole.
    r = uff_dof_from_channel_name("Bracket_74_+", "");
    EXPECT_TRUE(r.bUnreadable);

    r = uff_entities_single_export(4, "Accelerometer12/Hammer");
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
