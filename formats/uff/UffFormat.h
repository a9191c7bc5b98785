#pragma once
// Field-level vocabulary of universal files, data sets 58 and 58b: the header
// record, the code tables between UFF and TRX, the fixed-width number fields and
// the header lines as this module writes them. Nothing here touches a file or a
// data set, so both directions and the tests share one definition of the layout.

#include "platform/CString.h"

#include <cstddef>
#include <cstdint>
#include <string>

// A fatal problem found while reading or writing a universal file. The job turns
// it into its result code and texts; sAbort names the operation that gave up.
struct CUffError {
    unsigned uStringID = 3;
    CString sTextArg;     // fills the "%s" of the result text
    CString sTextAppend;  // second text (names the line, or the abort text)
    CString sAbort;       // "Conversion aborted in ..."
};

// One axis record (records 8 to 11).
struct SUffAxis {
    int iType = 0;      // specific data type
    int iLength = 0;    // unit exponents: length, force, temperature
    int iForce = 0;
    int iTemp = 0;
    CString sLabel;     // 20 characters
    CString sUnits;     // 20 characters
};

// Header of one data set 58 / 58b, records 1 to 11.
struct SUffHeader {
    int iDataSetType = 58;
    bool bBinary = false;
    // 58b: byte ordering (1 little endian), floating-point format (2 IEEE),
    // number of ASCII lines, number of bytes, four unused fields.
    long long allBinary[8] = {1, 2, 11, 0, 0, 0, 0, 0};
    CString arsID[5];
    int iFunctionType = 0;
    long lFunctionID = 0;
    int iVersion = 0;
    long lLoadCase = 0;
    CString sRespEntity;
    long lRespNode = 0;
    int iRespDir = 0;
    CString sRefEntity;
    long lRefNode = 0;
    int iRefDir = 0;
    int iOrdinateType = 2;
    long long llPoints = 0;
    int iSpacing = 1;  // 1 even, 0 uneven
    double dAbscMin = 0.0;
    double dAbscInc = 0.0;
    double dZ = 0.0;
    SUffAxis aAxis[4];  // abscissa, ordinate numerator, ordinate denominator, Z axis
};

// ---- code tables -------------------------------------------------------------

// TRX data kind (dk__val) of a function type.
int uff_kind_from_function_type(int functionType);

// TRX implementation type (it__val) of an ordinate data type; 0 when illegal.
// ASCII complex data become real magnitudes, binary complex data stay complex.
int uff_impl_type_from_ordinate(int ordinateType, bool binary);

// Ordinate data type written for a TRX implementation type.
int uff_ordinate_from_impl_type(int implType);

// Layout of the data lines of one ordinate data type and spacing.
struct SUffValueLayout {
    int iNumbersPerPoint;  // 1 real, 2 complex or (x, y), 3 (x, re, im)
    int iNumbersPerLine;   // numbers on one full line
    bool bDoubleOrdinate;  // ordinate fields E20.12 instead of E13.5
    bool bComplex;
    bool bUneven;
};
SUffValueLayout uff_value_layout(int ordinateType, bool uneven);

// Letter of a direction code 1..6 (absolute value), 0 for none or unknown.
char uff_direction_letter(int direction);

// Quantity name and unit text of an axis record (reading direction).
struct SUffQuantityUnit {
    CString sQuantity;
    CString sUnit;
};
SUffQuantityUnit uff_quantity_unit_from_axis(const SUffAxis& axis);

// Specific data type and exponents for a unit text (writing direction).
void uff_axis_from_unit(const CString& unit, SUffAxis& axis);

// Ratio units of the list export: fills records 9 and 10 and returns true when
// the unit is one of them.
bool uff_ratio_axes_from_unit(const CString& unit, SUffAxis& numerator, SUffAxis& denominator);

// Function type of a TRX data kind, from its kind name (kind 1 is time data).
int uff_function_type_from_kind(int kind, const CString& kindName, const CString& abscUnit,
                                const CString& abscQuantity);

// ---- numbers and lines ---------------------------------------------------------

// One number as a fixed field: E13.5 (13 characters) or, with bDouble, E20.12
// (20 characters), exponent always sign and two digits. Returns false, and
// writes nothing, when the value needs a three-digit exponent or is not finite.
bool uff_ftoa(char* out, double value, bool bDouble);

constexpr int g_iUffFieldSingle = 13;
constexpr int g_iUffFieldDouble = 20;

// Header lines without their line end; each is exactly 80 characters except
// the binary type line, which the published layout makes 79.
std::string uff_start_stop_line();
std::string uff_type_line(const SUffHeader& h);
std::string uff_id_line(const CString& text);
std::string uff_record6(const SUffHeader& h);
// Returns false when one of the three numbers is out of range.
bool uff_record7(const SUffHeader& h, std::string& line);
std::string uff_axis_record(const SUffAxis& a);

// Cleans a text for a fixed-width field: control characters become blanks and
// the text is cut to at most width characters.
CString uff_field_text(const CString& text, int width);

// ---- texts of the import side ----------------------------------------------------

// Date of recording from ID line 3 ("DD-MMM-YY HH:MM:SS").
struct SUffDate {
    bool bValid = false;
    int iYear = 0, iMonth = 0, iDay = 0;
    int iHour = 0, iMinute = 0, iSecond = 0;
};
SUffDate uff_parse_date(const CString& idLine3);

// ID line 3 as the export writes it, from broken-down local time.
CString uff_format_date(int year, int month, int day, int hour, int minute, int second);

// "+74Z" style text of one degree of freedom; empty for direction 0.
CString uff_dof_part(long node, int direction);
// Response and reference joined as the "DOF" tag holds them.
CString uff_dof_text(const SUffHeader& h);
// Entity text of a data set.
CString uff_entity_text(const SUffHeader& h);
// Channel name derived from records 9 and 10 and the entity text.
CString uff_channel_name(const SUffHeader& h, const CString& entityText);

// ---- channel names of the export -----------------------------------------------

// Entity names, nodes and directions derived from a TRX channel.
struct SUffDofResult {
    CString sRespEntity = "NONE";
    long lRespNode = 0;
    int iRespDir = 0;
    CString sRefEntity = "NONE";
    long lRefNode = 0;
    int iRefDir = 0;
    bool bUnreadable = false;  // list export only: the name held no readable DOF
    bool bSplit = false;       // single export: the name was split into entity names
};

// List export: degrees of freedom from the channel name, entity names from the
// name or the title.
SUffDofResult uff_dof_from_channel_name(const CString& name, const CString& title);
// Single export: entity names only, for the kinds that have a reference.
SUffDofResult uff_entities_single_export(int kind, const CString& name);
// Reads one DOF part ("74+z"); false when it names no direction.
bool uff_read_dof_part(const CString& part, long& node, int& direction);
