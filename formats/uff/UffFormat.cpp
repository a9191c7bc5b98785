#include "formats/uff/UffFormat.h"

#include "common/ScientificText.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const g_aszMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                      "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char* const g_aszMonthsAsc[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool Contains(const CString& s, const char* what) { return s.Find(what) >= 0; }

// Integer value of a few fixed columns (1-based, inclusive), as atoi reads them.
int Columns(const CString& s, int first, int last)
{
    if (s.GetLength() < first)
        return 0;
    return std::atoi(s.Mid(first - 1, last - first + 1));
}

std::string Printf(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Printf(const char* fmt, ...)
{
    char buf[256];
    va_list args;
    va_start(args, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, args);
    va_end(args);
    if (n < 0)
        return std::string();
    return std::string(buf, std::size_t(std::min<int>(n, int(sizeof buf) - 1)));
}

bool IsSign(char c) { return c == '+' || c == '-'; }
bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

}  // namespace

// ---- code tables -------------------------------------------------------------

int uff_kind_from_function_type(int functionType)
{
    switch (functionType) {
    case 1: return 1;
    case 2: case 3: case 5: case 6: case 9: case 10: case 12: return 3;
    case 4: return 4;
    case 7: return 43;
    case 8: return 44;
    case 11: return 42;
    default: return 0;
    }
}

int uff_impl_type_from_ordinate(int ordinateType, bool binary)
{
    switch (ordinateType) {
    case 2: return 10;
    case 4: return 12;
    case 5: return binary ? 15 : 10;
    case 6: return binary ? 16 : 12;
    default: return 0;
    }
}

int uff_ordinate_from_impl_type(int implType)
{
    switch (implType) {
    case 12: return 4;
    case 15: return 5;
    case 16: return 6;
    default: return 2;
    }
}

SUffValueLayout uff_value_layout(int ordinateType, bool uneven)
{
    switch (ordinateType) {
    case 4: return uneven ? SUffValueLayout{2, 4, true, false, true} : SUffValueLayout{1, 4, true, false, false};
    case 5: return uneven ? SUffValueLayout{3, 6, false, true, true} : SUffValueLayout{2, 6, false, true, false};
    case 6: return uneven ? SUffValueLayout{3, 3, true, true, true} : SUffValueLayout{2, 4, true, true, false};
    default: return uneven ? SUffValueLayout{2, 6, false, false, true} : SUffValueLayout{1, 6, false, false, false};
    }
}

char uff_direction_letter(int direction)
{
    static const char letters[] = "XYZRTP";
    int d = std::abs(direction);
    return d >= 1 && d <= 6 ? letters[d - 1] : 0;
}

SUffQuantityUnit uff_quantity_unit_from_axis(const SUffAxis& a)
{
    switch (a.iType) {
    case 1:
        if (a.iLength == 1 && a.iForce == 0 && a.iTemp == 0) return {"distance", "m"};
        if (a.iLength == 0 && a.iForce == 1 && a.iTemp == 0) return {"force", "N"};
        if (a.iLength == 1 && a.iForce == 1 && a.iTemp == 0) return {"energy", "J"};
        if (a.iLength == 0 && a.iForce == 0 && a.iTemp == 1) return {"temperature", "K"};
        if (a.iLength == -2 && a.iForce == 1 && a.iTemp == 0) return {"pressure", "Pa"};
        break;
    case 2: case 3: case 15: return {"pressure", "Pa"};
    case 5: return {"temperature", "K"};
    case 8: return {"distance", "m"};
    case 9: case 13: return {"force", "N"};
    case 11: return {"velocity", "m/s"};
    case 12: return {"acceleration", "m/s^2"};
    case 17: return {"time", "s"};
    case 18: return {"frequency", "Hz"};
    case 19: return {"RPM", "rpm"};
    default: break;
    }
    return {"virtual quantity", ""};
}

void uff_axis_from_unit(const CString& unit, SUffAxis& a)
{
    a.iLength = a.iForce = a.iTemp = 0;
    const std::string& u = unit.str();
    if (u == "K" || u == "\xB0" "C") a.iType = 5;
    else if (u == "m/s") a.iType = 11;
    // The unit library spells acceleration with brackets; both texts mean the same unit.
    else if (u == "m/s^2" || u == "m/(s^2)") a.iType = 12;
    else if (u == "Pa") a.iType = 15;
    else if (u == "s") a.iType = 17;
    else if (u == "Hz") a.iType = 18;
    else if (u == "rpm") a.iType = 19;
    else if (u == "m") { a.iType = 1; a.iLength = 1; }
    else if (u == "N") { a.iType = 1; a.iForce = 1; }
    else if (u == "J" || u == "H") { a.iType = 1; a.iLength = 1; a.iForce = 1; }
    else a.iType = 0;
}

bool uff_ratio_axes_from_unit(const CString& unit, SUffAxis& num, SUffAxis& den)
{
    struct Ratio { const char* unit; int numType; const char* numUnits; int denType; const char* denUnits; };
    static const Ratio ratios[] = {
        {"(m/s^2)/N", 12, "m/s2", 13, "N"},
        {"(m/(s^2))/N", 12, "m/s2", 13, "N"},
        {"kg", 9, "N", 12, "m/s2"},
        {"Pa/(m/(s^2))", 15, "Pa", 12, "m/s2"},
        {"Pa/(m/s^2)", 15, "Pa", 12, "m/s2"},
        {"Pa/N", 15, "Pa", 13, "N"},
        {"g/N", 12, "g", 13, "N"},
    };
    for (const Ratio& r : ratios) {
        if (unit.str() == r.unit) {
            num.iType = r.numType;
            num.iLength = num.iForce = num.iTemp = 0;
            num.sUnits = r.numUnits;
            den.iType = r.denType;
            den.iLength = den.iForce = den.iTemp = 0;
            den.sUnits = r.denUnits;
            return true;
        }
    }
    return false;
}

int uff_function_type_from_kind(int kind, const CString& kindName, const CString& abscUnit,
                                const CString& abscQuantity)
{
    int type = 0;
    if (kind == 1) {
        type = 1;
    } else {
        struct Named { const char* name; int type; };
        static const Named names[] = {
            {"CrossSpectrum", 3}, {"PowerSpectralDensity", 9}, {"AutoCorrelation", 7},
            {"CrossCorrelation", 8}, {"TransferFunction", 4}, {"Distribution", 11},
            {"Coherence", 6}, {"AutoSpectrum", 2},
        };
        bool found = false;
        for (const Named& n : names)
            if (kindName == n.name) { type = n.type; found = true; break; }
        // The data-set library names its kinds in words of its own; the kinds
        // that have a function type of their own are known by number as well.
        if (!found) {
            switch (kind) {
            case 4: type = 4; break;
            case 42: type = 11; break;
            case 43: type = 7; break;
            case 44: type = 8; break;
            default: type = (abscUnit == "Hz" && abscQuantity == "frequency") ? 2 : 0; break;
            }
        }
    }
    if (type == 0 && abscQuantity == "time")
        type = 1;
    return type;
}

// ---- numbers and lines ---------------------------------------------------------

bool uff_ftoa(char* out, double value, bool bDouble)
{
    const int width = bDouble ? g_iUffFieldDouble : g_iUffFieldSingle;
    if (!std::isfinite(value))
        return false;
    char buf[40];
    char* end = ScientificText::Append(value, bDouble ? 12 : 5, 0, buf);
    if (!end) {
        auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, bDouble ? 12 : 5);
        if (res.ec != std::errc())
            return false;
        end = res.ptr;
    }
    const int len = int(end - buf);
    // The exponent is the text after 'e' and its sign: exactly two digits fit the field.
    const char* e = static_cast<const char*>(std::memchr(buf, 'e', std::size_t(len)));
    if (!e || end - (e + 2) != 2)
        return false;
    const int pad = width - len;
    std::memset(out, ' ', std::size_t(pad));
    std::memcpy(out + pad, buf, std::size_t(len));
    return true;
}

CString uff_field_text(const CString& text, int width)
{
    std::string s = text.str().substr(0, std::size_t(std::max(width, 0)));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 32)
            c = ' ';
    return CString(s);
}

std::string uff_start_stop_line() { return Printf("%6s%74s", "-1", ""); }

std::string uff_type_line(const SUffHeader& h)
{
    if (!h.bBinary)
        return Printf("%6u%74s", unsigned(h.iDataSetType), "");
    const long long* b = h.allBinary;
    return Printf("%6ub%6lld%6lld%12lld%12lld%6lld%6lld%12lld%12lld", unsigned(h.iDataSetType),
                  b[0], b[1], b[2], b[3], b[4], b[5], b[6], b[7]);
}

std::string uff_id_line(const CString& text)
{
    return Printf("%-80s", uff_field_text(text, 80).c_str());
}

std::string uff_record6(const SUffHeader& h)
{
    return Printf("%5d%10ld%5d%10ld %10s%10ld%4d %10s%10ld%4d", h.iFunctionType, h.lFunctionID,
                  h.iVersion, h.lLoadCase, uff_field_text(h.sRespEntity, 10).c_str(), h.lRespNode,
                  h.iRespDir, uff_field_text(h.sRefEntity, 10).c_str(), h.lRefNode, h.iRefDir);
}

bool uff_record7(const SUffHeader& h, std::string& line)
{
    char f[3][24] = {};
    if (!uff_ftoa(f[0], h.dAbscMin, false) || !uff_ftoa(f[1], h.dAbscInc, false) ||
        !uff_ftoa(f[2], h.dZ, false))
        return false;
    line = Printf("%10d%10lld%10d%13s%13s%13s%11s", h.iOrdinateType, h.llPoints, h.iSpacing, f[0],
                  f[1], f[2], "");
    return true;
}

std::string uff_axis_record(const SUffAxis& a)
{
    return Printf("%10d%5d%5d%5d %20s %20s%13s", a.iType, a.iLength, a.iForce, a.iTemp,
                  uff_field_text(a.sLabel, 20).c_str(), uff_field_text(a.sUnits, 20).c_str(), "");
}

// ---- texts of the import side ----------------------------------------------------

SUffDate uff_parse_date(const CString& line)
{
    SUffDate d;
    if (line.GetLength() <= 8)
        return d;
    d.iDay = Columns(line, 1, 2);
    CString month = line.Mid(3, 3);
    month.MakeUpper();
    for (int i = 0; i < 12; ++i)
        if (month == g_aszMonths[i])
            d.iMonth = i + 1;
    int yy = Columns(line, 8, 9);
    d.iYear = yy > 69 ? 1900 + yy : 2000 + yy;
    d.bValid = d.iMonth != 0 && d.iDay >= 1 && d.iDay <= 31 && d.iYear >= 1970 && d.iYear <= 2069;
    if (line.GetLength() > 17) {
        d.iHour = Columns(line, 11, 12);
        d.iMinute = Columns(line, 14, 15);
        d.iSecond = Columns(line, 17, 18);
        if (d.iHour < 0 || d.iHour > 23 || d.iMinute < 0 || d.iMinute > 59 || d.iSecond < 0 ||
            d.iSecond > 59)
            d.iHour = d.iMinute = d.iSecond = 0;
    }
    return d;
}

CString uff_format_date(int year, int month, int day, int hour, int minute, int second)
{
    const char* name = month >= 1 && month <= 12 ? g_aszMonthsAsc[month - 1] : "???";
    return CString::Formatted("%02d-%s-%02d %02d:%02d:%02d", day, name, ((year % 100) + 100) % 100,
                              hour, minute, second);
}

CString uff_dof_part(long node, int direction)
{
    if (direction == 0)
        return CString();
    char letter = uff_direction_letter(direction);
    CString s = CString::Formatted("%c%ld", direction < 0 ? '-' : '+', node);
    if (letter)
        s += letter;
    return s;
}

CString uff_dof_text(const SUffHeader& h)
{
    CString resp = uff_dof_part(h.lRespNode, h.iRespDir);
    CString ref = uff_dof_part(h.lRefNode, h.iRefDir);
    if (ref.IsEmpty())
        return resp;
    return CString::Formatted("%s/%s", resp.c_str(), ref.c_str());
}

static CString uff_entity_text(const CString& resp, const CString& ref)
{
    if (ref.IsEmpty() || ref.Left(4) == "NONE")
        return resp;
    return CString::Formatted("%s/%s", resp.c_str(), ref.c_str());
}

CString uff_entity_text(const SUffHeader& h) { return uff_entity_text(h.sRespEntity, h.sRefEntity); }

CString uff_channel_name(const SUffHeader& h, const CString& entity)
{
    const CString& num = h.aAxis[1].sLabel;
    const CString& den = h.aAxis[2].sLabel;
    CString name = num;
    if (!den.IsEmpty() && !Contains(den, "NONE"))
        name = CString::Formatted("%s/%s", num.c_str(), den.c_str());
    if ((name.IsEmpty() || Contains(name, "NONE")) && !entity.IsEmpty() && !Contains(entity, "NONE"))
        name = entity;
    return name;
}

// ---- channel names of the export -----------------------------------------------

bool uff_read_dof_part(const CString& part, long& node, int& direction)
{
    const char* p = part.c_str();
    while (*p == ' ')
        ++p;
    node = std::labs(std::strtol(p, nullptr, 10));
    CString lower = part;
    lower.MakeLower();
    static const char letters[] = "sxyz";
    int dir = -1;
    for (int i = 0; i < 4 && dir < 0; ++i)
        if (lower.Find(letters[i]) >= 0)
            dir = i;
    if (dir < 0) {
        node = 0;
        direction = 0;
        return false;
    }
    if (lower.Find('r') >= 0)
        dir += 3;
    if (lower.Find('-') >= 0)
        dir = -dir;
    direction = dir;
    return true;
}

SUffDofResult uff_dof_from_channel_name(const CString& name, const CString& title)
{
    SUffDofResult r;
    CString work = name;
    CString entityFromName;

    // Entity form: <entity><sep><node><sep><sign?><letter><sign?>, e.g. Bracket_74_z.
    const int last = std::max(name.ReverseFind(':'), name.ReverseFind('_'));
    if (last >= 0) {
        const CString tail = name.Mid(last + 1);
        char sign = '+', letter = 0;
        if (tail.GetLength() == 1 && IsLetter(tail[0])) {
            letter = tail[0];
        } else if (tail.GetLength() == 2) {
            if (IsSign(tail[0]) && IsLetter(tail[1])) { sign = tail[0]; letter = tail[1]; }
            else if (IsLetter(tail[0]) && IsSign(tail[1])) { letter = tail[0]; sign = tail[1]; }
        }
        if (letter) {
            const CString head = name.Left(last);
            const int sep = std::max({head.ReverseFind(':'), head.ReverseFind('_'), head.ReverseFind('"')});
            if (sep >= 0) {
                work = head.Mid(sep + 1) + sign + letter;
                entityFromName = head.Left(sep);
            }
        }
    }

    CString parts[2];
    int nParts = 1;
    const int slash = work.Find('/');
    if (slash >= 0) {
        parts[0] = work.Left(slash);
        parts[1] = work.Mid(work.ReverseFind('/') + 1);
        nParts = 2;
    } else {
        parts[0] = work;
    }

    bool ok = uff_read_dof_part(parts[0], r.lRespNode, r.iRespDir);
    if (ok && nParts == 2)
        ok = uff_read_dof_part(parts[1], r.lRefNode, r.iRefDir);
    if (!ok) {
        SUffDofResult none;
        none.bUnreadable = true;
        return none;
    }

    if (nParts == 2) {
        const int colon = title.ReverseFind(':');
        if (title.IsEmpty()) {
            r.sRespEntity = "OUTPUT";
            r.sRefEntity = "INPUT";
        } else if (colon >= 0) {
            r.sRespEntity = title.Left(colon).Left(10);
            r.sRefEntity = title.Mid(colon + 1).Left(10);
        } else {
            r.sRespEntity = title.Left(10);
            r.sRefEntity = title.Left(10);
        }
    } else {
        CString entity = !entityFromName.IsEmpty() ? entityFromName : title;
        r.sRespEntity = entity.IsEmpty() ? CString("RESPONSE") : entity.Left(10);
        r.sRefEntity = "NONE";
    }
    return r;
}

SUffDofResult uff_entities_single_export(int kind, const CString& name)
{
    SUffDofResult r;
    switch (kind) {
    case 4: case 44: case 47: case 49: case 57: case 58: break;
    default: return r;
    }
    int sep = -1;
    for (int i = 0; i < name.GetLength(); ++i)
        if (name[i] == '/' || name[i] == '*') { sep = i; break; }
    if (sep < 0)
        return r;
    CString resp = name.Left(sep).Left(10);
    CString ref = name.Mid(sep + 1).Left(10);
    r.sRespEntity = resp.IsEmpty() ? CString("NONE") : resp;
    r.sRefEntity = ref.IsEmpty() ? CString("NONE") : ref;
    r.bSplit = true;
    return r;
}
