#include "hostlibs/dataset/Unit.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Dimension from whole exponents in the order kg, m, s, K, A, mol, cd, rad.
constexpr SSIDimension Dim(int kg, int m, int s, int k = 0, int a = 0, int mol = 0, int cd = 0, int rad = 0)
{
    SSIDimension d;
    d.aHalf = {std::int8_t(2 * kg), std::int8_t(2 * m), std::int8_t(2 * s), std::int8_t(2 * k),
               std::int8_t(2 * a), std::int8_t(2 * mol), std::int8_t(2 * cd), std::int8_t(2 * rad)};
    return d;
}

const char kDegreeC[] = "\xB0" "C";

// ---------------------------------------------------------------- quantities
//
// Level references follow ISO 1683 where it names one (sound pressure 20 µPa,
// displacement 1 pm, velocity 1 nm/s, acceleration 1 µm/s², force 1 µN,
// power, energy and intensity 1 pW, 1 pJ, 1 pW/m²) and 1 V for voltage; they
// are in SI units and are converted to the unit at hand. A reference of 0
// means "1 in the channel's own unit" (no recognised reference exists).
// Power-like quantities take 10·log10, all others 20·log10.
struct QuantityRow {
    const char* name;
    const char* abbreviation;
    const char* unit;
    EUnitFamily family;
    SSIDimension dim;
    double reference;
    double dbFactor;
    bool byDimension;   // chosen as default quantity for a unit of this dimension
};

const QuantityRow kQuantities[] = {
    {"time", "t", "s", EUnitFamily::SI, Dim(0, 0, 1), 0, 20, true},
    {"frequency", "f", "Hz", EUnitFamily::SI, Dim(0, 0, -1), 0, 20, true},
    {"distance", "x", "m", EUnitFamily::SI, Dim(0, 1, 0), 1e-12, 20, true},
    {"velocity", "v", "m/s", EUnitFamily::SI, Dim(0, 1, -1), 1e-9, 20, true},
    {"acceleration", "a", "m/(s^2)", EUnitFamily::SI, Dim(0, 1, -2), 1e-6, 20, true},
    {"force", "F", "N", EUnitFamily::SI, Dim(1, 1, -2), 1e-6, 20, true},
    {"pressure", "p", "Pa", EUnitFamily::SI, Dim(1, -1, -2), 2e-5, 20, true},
    {"voltage", "U", "V", EUnitFamily::SI, Dim(1, 2, -3, 0, -1), 1.0, 20, true},
    {"power", "P", "W", EUnitFamily::SI, Dim(1, 2, -3), 1e-12, 10, true},
    {"energy", "E", "J", EUnitFamily::SI, Dim(1, 2, -2), 1e-12, 10, true},
    {"intensity", "I", "W/(m^2)", EUnitFamily::SI, Dim(1, 0, -3), 1e-12, 10, true},
    {"mass", "m", "kg", EUnitFamily::SI, Dim(1, 0, 0), 0, 20, true},
    {"temperature", "T", kDegreeC, EUnitFamily::SI, Dim(0, 0, 0, 1), 0, 20, true},
    {"current", "I", "A", EUnitFamily::SI, Dim(0, 0, 0, 0, 1), 0, 20, true},
    {"charge", "Q", "C", EUnitFamily::SI, Dim(0, 0, 1, 0, 1), 0, 20, true},
    {"angle", "phi", "rad", EUnitFamily::SI, Dim(0, 0, 0, 0, 0, 0, 0, 1), 0, 20, true},
    // Same dimensions as quantities above; chosen only by the unit's text.
    {"speed", "v", "km/h", EUnitFamily::SI, Dim(0, 1, -1), 0, 20, false},
    {"RPM", "n", "rpm", EUnitFamily::SI, Dim(0, 0, -1), 0, 20, false},
    {"torque", "M", "Nm", EUnitFamily::SI, Dim(1, 2, -2), 0, 20, false},
    {"articulation index", "AI", "%", EUnitFamily::SI, Dim(0, 0, 0), 0, 20, false},
    {"order", "o", "Order", EUnitFamily::Order, {}, 0, 20, false},
    {"level", "L", "dB", EUnitFamily::Level, {}, 0, 20, false},
    {"loudness", "N", "soneGD", EUnitFamily::Loudness, {}, 0, 20, false},
    {"specific loudness", "N'", "soneGD/Bark", EUnitFamily::SpecLoudness, {}, 0, 20, false},
    {"loudness level", "LN", "phonGD", EUnitFamily::LoudnessLevel, {}, 0, 20, false},
    {"roughness", "R", "asper", EUnitFamily::Roughness, {}, 0, 20, false},
    {"specific roughness", "R'", "asper/Bark", EUnitFamily::SpecRoughness, {}, 0, 20, false},
    {"fluctuation strength", "F", "vacil", EUnitFamily::Fluctuation, {}, 0, 20, false},
    {"sharpness", "S", "acum", EUnitFamily::Sharpness, {}, 0, 20, false},
    {"tonality", "T", "tu", EUnitFamily::Tonality, {}, 0, 20, false},
    {"annoyance", "A", "au", EUnitFamily::Annoyance, {}, 0, 20, false},
    {"pleasantness", "P", "pu", EUnitFamily::Pleasantness, {}, 0, 20, false},
    {"impulsiveness", "I", "iu", EUnitFamily::Impulsiveness, {}, 0, 20, false},
    {"critical band rate", "z", "Bark", EUnitFamily::CriticalBand, {}, 0, 20, false},
    {"index", "i", "", EUnitFamily::None, {}, 0, 20, false},
    {"virtual quantity", "vQ", "vU", EUnitFamily::Virtual, {}, 0, 20, false},
};
constexpr int kQuantityCount = int(sizeof(kQuantities) / sizeof(kQuantities[0]));

int FindQuantity(const char* name)
{
    for (int i = 0; i < kQuantityCount; ++i)
        if (std::strcmp(kQuantities[i].name, name) == 0)
            return i;
    return -1;
}

const int kVirtualQuantity = FindQuantity("virtual quantity");

// ---------------------------------------------------------------- special units
//
// Whole texts that are no SI composition; each names its default quantity.
struct SpecialRow {
    const char* text;
    EUnitFamily family;
    const char* quantity;
    double reference;   // level reference; 0 means 1 in the unit's own terms
};

const SpecialRow kSpecials[] = {
    {"dB", EUnitFamily::Level, "level", 0},
    {"dB[SPL]", EUnitFamily::Level, "level", 2e-5},   // the sound pressure the level refers to
    {"soneGD", EUnitFamily::Loudness, "loudness", 0},
    {"soneGF", EUnitFamily::Loudness, "loudness", 0},
    {"soneGD/Bark", EUnitFamily::SpecLoudness, "specific loudness", 0},
    {"soneGF/Bark", EUnitFamily::SpecLoudness, "specific loudness", 0},
    {"phonGD", EUnitFamily::LoudnessLevel, "loudness level", 0},
    {"phonGF", EUnitFamily::LoudnessLevel, "loudness level", 0},
    {"asper", EUnitFamily::Roughness, "roughness", 0},
    {"asper/Bark", EUnitFamily::SpecRoughness, "specific roughness", 0},
    {"vacil", EUnitFamily::Fluctuation, "fluctuation strength", 0},
    {"acum", EUnitFamily::Sharpness, "sharpness", 0},
    {"tu", EUnitFamily::Tonality, "tonality", 0},
    {"au", EUnitFamily::Annoyance, "annoyance", 0},
    {"pu", EUnitFamily::Pleasantness, "pleasantness", 0},
    {"iu", EUnitFamily::Impulsiveness, "impulsiveness", 0},
    {"Bark", EUnitFamily::CriticalBand, "critical band rate", 0},
    {"Order", EUnitFamily::Order, "order", 0},
    {"vU", EUnitFamily::Virtual, "virtual quantity", 0},
};

const SpecialRow* FindSpecial(const char* text)
{
    for (const SpecialRow& r : kSpecials)
        if (std::strcmp(r.text, text) == 0)
            return &r;
    return nullptr;
}

// SI compositions whose text names a quantity other than the one their
// dimension would give.
struct TextQuantity {
    const char* text;
    const char* quantity;
};
const TextQuantity kTextQuantities[] = {
    {"km/h", "speed"}, {"mi/h", "speed"}, {"mph", "speed"}, {"rpm", "RPM"},
    {"1/min", "RPM"},  {"Nm", "torque"},  {"%", "articulation index"},
};

// ---------------------------------------------------------------- SI atoms
struct AtomRow {
    const char* symbol;
    double factor;
    SSIDimension dim;
    bool prefixable;
    double offset;   // only "°C"
};

const double kPi = 3.14159265358979323846;

const AtomRow kAtoms[] = {
    {"m", 1, Dim(0, 1, 0), true, 0},
    {"kg", 1, Dim(1, 0, 0), false, 0},
    // In sound and vibration work "g" is the standard acceleration of free fall.
    {"g", 9.80665, Dim(0, 1, -2), false, 0},
    {"s", 1, Dim(0, 0, 1), true, 0},
    {"K", 1, Dim(0, 0, 0, 1), true, 0},
    {"A", 1, Dim(0, 0, 0, 0, 1), true, 0},
    {"mol", 1, Dim(0, 0, 0, 0, 0, 1), true, 0},
    {"cd", 1, Dim(0, 0, 0, 0, 0, 0, 1), true, 0},
    {"rad", 1, Dim(0, 0, 0, 0, 0, 0, 0, 1), true, 0},
    {"Hz", 1, Dim(0, 0, -1), true, 0},
    {"N", 1, Dim(1, 1, -2), true, 0},
    {"Nm", 1, Dim(1, 2, -2), true, 0},
    {"Pa", 1, Dim(1, -1, -2), true, 0},
    {"bar", 1e5, Dim(1, -1, -2), true, 0},
    {"J", 1, Dim(1, 2, -2), true, 0},
    {"W", 1, Dim(1, 2, -3), true, 0},
    {"C", 1, Dim(0, 0, 1, 0, 1), true, 0},
    {"V", 1, Dim(1, 2, -3, 0, -1), true, 0},
    {"F", 1, Dim(-1, -2, 4, 0, 2), true, 0},
    {"Ohm", 1, Dim(1, 2, -3, 0, -2), true, 0},
    {"ohm", 1, Dim(1, 2, -3, 0, -2), true, 0},
    {"S", 1, Dim(-1, -2, 3, 0, 2), true, 0},
    {"Wb", 1, Dim(1, 2, -2, 0, -1), true, 0},
    {"T", 1, Dim(1, 0, -2, 0, -1), true, 0},
    {"H", 1, Dim(1, 2, -2, 0, -2), true, 0},
    {"min", 60, Dim(0, 0, 1), false, 0},
    {"h", 3600, Dim(0, 0, 1), false, 0},
    {"mi", 1609.344, Dim(0, 1, 0), false, 0},
    {"mph", 0.44704, Dim(0, 1, -1), false, 0},
    {"in", 0.0254, Dim(0, 1, 0), false, 0},
    {"ft", 0.3048, Dim(0, 1, 0), false, 0},
    {"lbf", 4.4482216152605, Dim(1, 1, -2), false, 0},
    {"psi", 6894.757293168361, Dim(1, -1, -2), false, 0},
    {"rpm", 1.0 / 60.0, Dim(0, 0, -1), false, 0},
    {"deg", kPi / 180.0, Dim(0, 0, 0, 0, 0, 0, 0, 1), false, 0},
    {"\xB0", kPi / 180.0, Dim(0, 0, 0, 0, 0, 0, 0, 1), false, 0},
    {"\xB0" "C", 1, Dim(0, 0, 0, 1), false, 273.15},
    {"%", 0.01, Dim(0, 0, 0), false, 0},
};

struct PrefixRow {
    const char* text;
    double factor;
};
const PrefixRow kPrefixes[] = {
    {"da", 1e1}, {"y", 1e-24}, {"z", 1e-21}, {"a", 1e-18}, {"f", 1e-15}, {"p", 1e-12},
    {"n", 1e-9}, {"u", 1e-6},  {"\xB5", 1e-6}, {"m", 1e-3}, {"c", 1e-2},  {"d", 1e-1},
    {"h", 1e2},  {"k", 1e3},   {"M", 1e6},  {"G", 1e9},   {"T", 1e12},  {"P", 1e15},
    {"E", 1e18}, {"Z", 1e21},  {"Y", 1e24},
};

const AtomRow* FindAtom(const char* s, std::size_t n)
{
    for (const AtomRow& a : kAtoms)
        if (std::strlen(a.symbol) == n && std::memcmp(a.symbol, s, n) == 0)
            return &a;
    return nullptr;
}

// ---------------------------------------------------------------- parser
//
// unit    := product
// product := power { ( "*" | "·" | blank | "/" ) power }     (left to right)
// power   := primary [ "^" exponent | digits | "²" | "³" ]
// primary := "(" product ")" | number | [prefix] symbol
// exponent:= [sign] number | "(" [sign] number ")"          (a multiple of 1/2)
struct Value {
    double factor = 1.0;
    int half[SI_BASE_COUNT] = {};
    double offset = 0.0;
    int atoms = 0;   // symbols used; an offset survives only for a lone symbol
};

class Parser {
public:
    Parser(const char* text) : m_p(reinterpret_cast<const unsigned char*>(text)) {}

    bool Parse(Value& v)
    {
        SkipBlanks();
        if (!*m_p || !Product(v, 0))
            return false;
        SkipBlanks();
        if (*m_p)
            return false;
        for (int h : v.half)
            if (h < -126 || h > 126)
                return false;
        // A subnormal factor loses its digits and turns level references
        // (20 uPa divided by the factor) into infinities.
        if (!std::isnormal(v.factor) || v.factor < 0.0)
            return false;
        return true;
    }

private:
    static bool IsWordChar(unsigned c)
    {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == 0xB0 || c == 0xB5 || c == '%';
    }
    static bool IsDigit(unsigned c) { return c >= '0' && c <= '9'; }
    void SkipBlanks()
    {
        while (*m_p == ' ')
            ++m_p;
    }
    bool StartsPrimary() const { return *m_p == '(' || IsDigit(*m_p) || IsWordChar(*m_p); }

    static void Combine(Value& v, const Value& w, int sign)
    {
        v.factor = sign > 0 ? v.factor * w.factor : v.factor / w.factor;
        for (int i = 0; i < SI_BASE_COUNT; ++i)
            v.half[i] += sign * w.half[i];
        v.atoms += w.atoms;
        v.offset = 0.0;
    }

    bool Product(Value& v, int depth)
    {
        if (depth > 32 || !Power(v, depth))
            return false;
        for (;;) {
            const unsigned char* before = m_p;
            SkipBlanks();
            bool blanks = m_p != before;
            int sign;
            if (*m_p == '*' || *m_p == 0xB7) {
                sign = 1;
                ++m_p;
            } else if (*m_p == '/') {
                sign = -1;
                ++m_p;
            } else if (blanks && StartsPrimary()) {
                sign = 1;
            } else {
                m_p = before;
                return true;
            }
            SkipBlanks();
            Value w;
            if (!Power(w, depth))
                return false;
            Combine(v, w, sign);
        }
    }

    bool Power(Value& v, int depth)
    {
        if (!Primary(v, depth))
            return false;
        int eHalf = 0;
        if (*m_p == '^') {
            ++m_p;
            bool paren = *m_p == '(';
            if (paren)
                ++m_p;
            if (!Exponent(eHalf))
                return false;
            if (paren) {
                if (*m_p != ')')
                    return false;
                ++m_p;
            }
        } else if (*m_p == 0xB2) {
            ++m_p;
            eHalf = 4;
        } else if (*m_p == 0xB3) {
            ++m_p;
            eHalf = 6;
        } else if (IsDigit(*m_p) && m_lastWasSymbol) {
            // "m2", "m/s2": digits right after a symbol are its exponent.
            if (!Exponent(eHalf))
                return false;
        } else {
            return true;
        }
        for (int& h : v.half) {
            int t = h * eHalf;
            if (t % 2 != 0)
                return false;   // not representable in half steps
            h = t / 2;
        }
        v.factor = std::pow(v.factor, eHalf / 2.0);
        v.offset = 0.0;
        v.atoms += 1;   // a powered symbol is no plain temperature
        return true;
    }

    bool Exponent(int& eHalf)
    {
        int sign = 1;
        if (*m_p == '-' || *m_p == '+') {
            sign = *m_p == '-' ? -1 : 1;
            ++m_p;
        }
        if (!IsDigit(*m_p))
            return false;
        long whole = 0;
        while (IsDigit(*m_p)) {
            whole = whole * 10 + (*m_p++ - '0');
            if (whole > 63)
                return false;
        }
        int half = int(whole) * 2;
        if (*m_p == '.') {
            ++m_p;
            if (*m_p == '5') {
                half += 1;
                ++m_p;
            } else if (*m_p == '0') {
                ++m_p;
            } else {
                return false;
            }
            while (*m_p == '0')
                ++m_p;
            if (IsDigit(*m_p))
                return false;
        }
        eHalf = sign * half;
        return true;
    }

    bool Primary(Value& v, int depth)
    {
        m_lastWasSymbol = false;
        if (*m_p == '(') {
            ++m_p;
            SkipBlanks();
            if (!Product(v, depth + 1))
                return false;
            SkipBlanks();
            if (*m_p != ')')
                return false;
            ++m_p;
            v.atoms += 1;
            v.offset = 0.0;
            m_lastWasSymbol = false;
            return true;
        }
        if (IsDigit(*m_p))
            return Number(v);
        const unsigned char* start = m_p;
        while (IsWordChar(*m_p))
            ++m_p;
        std::size_t n = std::size_t(m_p - start);
        if (n == 0)
            return false;
        const char* w = reinterpret_cast<const char*>(start);
        const AtomRow* atom = FindAtom(w, n);
        double prefix = 1.0;
        if (!atom) {
            for (const PrefixRow& p : kPrefixes) {
                std::size_t pn = std::strlen(p.text);
                if (pn < n && std::memcmp(p.text, w, pn) == 0) {
                    const AtomRow* a = FindAtom(w + pn, n - pn);
                    if (a && a->prefixable) {
                        atom = a;
                        prefix = p.factor;
                        break;
                    }
                }
            }
        }
        if (!atom)
            return false;
        v.factor = prefix * atom->factor;
        for (int i = 0; i < SI_BASE_COUNT; ++i)
            v.half[i] = atom->dim.aHalf[i];
        v.offset = atom->offset;
        v.atoms = 1;
        m_lastWasSymbol = true;
        return true;
    }

    bool Number(Value& v)
    {
        const char* s = reinterpret_cast<const char*>(m_p);
        const char* e = s;
        while (IsDigit(*e))
            ++e;
        if (*e == '.') {
            ++e;
            while (IsDigit(*e))
                ++e;
        }
        if ((*e == 'e' || *e == 'E') &&
            (IsDigit(e[1]) || ((e[1] == '-' || e[1] == '+') && IsDigit(e[2])))) {
            e += 2;
            while (IsDigit(*e))
                ++e;
        }
        double d = 0.0;
        auto r = std::from_chars(s, e, d);
        if (r.ec != std::errc() || r.ptr != e || !(d > 0.0) || !std::isfinite(d))
            return false;
        m_p = reinterpret_cast<const unsigned char*>(e);
        v.factor = d;
        v.atoms = 0;
        return true;
    }

    const unsigned char* m_p;
    bool m_lastWasSymbol = false;
};

bool ParseSI(const char* text, Value& v)
{
    Parser p(text);
    if (!p.Parse(v))
        return false;
    if (v.atoms != 1)
        v.offset = 0.0;   // "°C/s" is a rate of temperature difference
    return true;
}

int QuantityForText(const char* text)
{
    for (const TextQuantity& t : kTextQuantities)
        if (std::strcmp(t.text, text) == 0)
            return FindQuantity(t.quantity);
    return -1;
}

bool NeedsParentheses(const CString& text, bool denominator)
{
    if (text.Find('/') >= 0)
        return true;
    return denominator && (text.Find('*') >= 0 || text.Find(' ') >= 0 || text.Find('\xB7') >= 0);
}

CString Join(const CUnit& a, const char* op, const CUnit& b)
{
    bool div = op[0] == '/';
    CString left = a.GetText(), right = b.GetText();
    if (left.IsEmpty())
        left = "1";
    if (NeedsParentheses(left, false))
        left = "(" + left + ")";
    if (NeedsParentheses(right, div))
        right = "(" + right + ")";
    return left + op + right;
}

// Canonical text of an SI result: a named unit of the same meaning when one
// exists, else the base units with the factor in front.
CString ReducedText(double factor, const SSIDimension& dim)
{
    static const char* const named[] = {"s",  "Hz", "m", "m/s", "m/(s^2)", "N", "Pa", "V", "W",
                                        "J",  "kg", "K", "A",   "C",       "rad"};
    if (dim.IsDimensionless() && factor == 1.0)
        return CString("");
    for (const char* n : named) {
        Value v;
        if (ParseSI(n, v)) {
            SSIDimension d;
            for (int i = 0; i < SI_BASE_COUNT; ++i)
                d.aHalf[i] = std::int8_t(v.half[i]);
            if (d == dim && v.factor == factor)
                return CString(n);
        }
    }
    CString text = CUnit::DimensionText(dim);
    if (factor != 1.0) {
        CString f = CString::Formatted("%.17g", factor);
        text = text.IsEmpty() ? f : f + "*" + text;
    }
    return text;
}

}  // namespace

// ---------------------------------------------------------------- SSIDimension

bool SSIDimension::IsDimensionless() const
{
    for (auto h : aHalf)
        if (h != 0)
            return false;
    return true;
}

// ---------------------------------------------------------------- CQuantity

CQuantity::CQuantity() : m_sName("virtual quantity"), m_iIndex(kVirtualQuantity) {}

CQuantity::CQuantity(const char* name) : m_sName(name ? name : ""), m_iIndex(FindQuantity(m_sName.c_str())) {}

bool CQuantity::Check(const char* name)
{
    return name && FindQuantity(name) >= 0;
}

bool CQuantity::IsVirtual() const
{
    return m_iIndex == kVirtualQuantity;
}

CString CQuantity::GetAbbreviation() const
{
    if (m_iIndex >= 0)
        return kQuantities[m_iIndex].abbreviation;
    return m_sName.Left(2);
}

CString CQuantity::GetDefaultUnitText() const
{
    return m_iIndex >= 0 ? CString(kQuantities[m_iIndex].unit) : CString("vU");
}

// ---------------------------------------------------------------- CUnit

CUnit::CUnit() : m_sText("vU"), m_eFamily(EUnitFamily::Virtual) {}

CUnit::CUnit(const char* text, int bLenient) : m_sText(text ? text : "")
{
    const char* t = m_sText.c_str();
    if (*t == '\0') {
        m_eFamily = EUnitFamily::None;
        return;
    }
    if (const SpecialRow* sp = FindSpecial(t)) {
        m_eFamily = sp->family;
        return;
    }
    Value v;
    if (ParseSI(t, v)) {
        m_eFamily = EUnitFamily::SI;
        m_dFactor = v.factor;
        m_dOffset = v.offset;
        for (int i = 0; i < SI_BASE_COUNT; ++i)
            m_dim.aHalf[i] = std::int8_t(v.half[i]);
        return;
    }
    if (!bLenient)
        throw CUnitException("\"" + m_sText.str() + "\" is not a physical unit");
    m_eFamily = EUnitFamily::Unknown;
}

int CUnit::Check(const char* text, bool bAcceptEmpty)
{
    if (!text)
        return 0;
    if (*text == '\0')
        return bAcceptEmpty ? 1 : 0;
    if (FindSpecial(text))
        return 1;
    Value v;
    return ParseSI(text, v) ? 1 : 0;
}

CQuantity CUnit::GetDefaultQuantity() const
{
    const char* t = m_sText.c_str();
    switch (m_eFamily) {
    case EUnitFamily::None:
        return CQuantity("index");
    case EUnitFamily::Unknown:
    case EUnitFamily::Virtual:
        return CQuantity();
    case EUnitFamily::SI: {
        int i = QuantityForText(t);
        if (i >= 0)
            return CQuantity(kQuantities[i].name);
        for (int q = 0; q < kQuantityCount; ++q)
            if (kQuantities[q].byDimension && kQuantities[q].dim == m_dim)
                return CQuantity(kQuantities[q].name);
        return CQuantity();
    }
    default:
        if (const SpecialRow* sp = FindSpecial(t))
            return CQuantity(sp->quantity);
        return CQuantity();
    }
}

bool CUnit::CheckQuantityIsValid(const CQuantity& quantity) const
{
    if (quantity.IsVirtual())
        return m_eFamily == EUnitFamily::Virtual || m_eFamily == EUnitFamily::Unknown;
    if (m_eFamily == EUnitFamily::Virtual)
        return true;   // the unit is not known, so it contradicts nothing
    if (!quantity.IsKnown() || m_eFamily == EUnitFamily::Unknown)
        return false;
    const QuantityRow& q = kQuantities[quantity.m_iIndex];
    if (q.family != m_eFamily)
        return false;
    return m_eFamily != EUnitFamily::SI || q.dim == m_dim;
}

double CUnit::GetReferenceValue() const
{
    if (m_eFamily == EUnitFamily::SI) {
        CQuantity q = GetDefaultQuantity();
        if (q.IsKnown() && kQuantities[q.m_iIndex].reference > 0.0)
            return kQuantities[q.m_iIndex].reference / m_dFactor;
        return 1.0;
    }
    if (const SpecialRow* sp = FindSpecial(m_sText.c_str()))
        if (sp->reference > 0.0)
            return sp->reference;
    return 1.0;
}

bool CUnit::LogdB(double& dReference, double& dFactor) const
{
    dReference = 1.0;
    dFactor = 20.0;
    if (m_eFamily == EUnitFamily::Level || m_eFamily == EUnitFamily::LoudnessLevel)
        return false;   // the values are levels already
    dReference = GetReferenceValue();
    CQuantity q = GetDefaultQuantity();
    if (q.IsKnown())
        dFactor = kQuantities[q.m_iIndex].dbFactor;
    return true;
}

// The empty unit is a plain number: the dimensionless SI unit with factor 1.
static bool ActsAsSI(const CUnit& u)
{
    return u.IsSI() || u.IsEmpty();
}

bool CUnit::IsEquivalent(const CUnit& other) const
{
    if (ActsAsSI(*this) && ActsAsSI(other)) {
        auto close = [](double a, double b) { return std::fabs(a - b) <= 1e-12 * std::fmax(std::fabs(a), std::fabs(b)); };
        return m_dim == other.m_dim && close(m_dFactor, other.m_dFactor) && m_dOffset == other.m_dOffset;
    }
    if (m_eFamily != other.m_eFamily)
        return false;
    if (m_eFamily == EUnitFamily::Unknown)
        return m_sText == other.m_sText;
    return true;
}

bool CUnit::IsConvertibleTo(const CUnit& other) const
{
    if (ActsAsSI(*this) && ActsAsSI(other))
        return m_dim == other.m_dim;
    return m_eFamily == other.m_eFamily && m_eFamily != EUnitFamily::Unknown;
}

double CUnit::ConvertTo(const CUnit& target, double value) const
{
    if (!IsConvertibleTo(target))
        throw CUnitException("\"" + m_sText.str() + "\" cannot be converted to \"" + target.m_sText.str() + "\"");
    if (!ActsAsSI(*this))
        return value;
    return (value * m_dFactor + m_dOffset - target.m_dOffset) / target.m_dFactor;
}

// Exponents beyond what a unit text can carry (the parser's limit) cannot be
// reduced; the caller then keeps the joined text, which stays unknown.
static bool CombineDimensions(const SSIDimension& a, const SSIDimension& b, int sign, SSIDimension& out)
{
    for (int i = 0; i < SI_BASE_COUNT; ++i) {
        int h = int(a.aHalf[i]) + sign * int(b.aHalf[i]);
        if (h < -126 || h > 126)
            return false;
        out.aHalf[i] = std::int8_t(h);
    }
    return true;
}

CUnit CUnit::Divide(const CUnit& num, const CUnit& den, bool bReduce)
{
    if (den.IsEmpty())
        return num;
    if (bReduce && num.m_eFamily != EUnitFamily::Unknown && (num.IsSI() || num.IsEmpty()) && den.IsSI()) {
        SSIDimension d;
        if (CombineDimensions(num.m_dim, den.m_dim, -1, d))
            return CUnit(ReducedText(num.m_dFactor / den.m_dFactor, d), 1);
    }
    return CUnit(Join(num, "/", den), 1);
}

CUnit CUnit::Multiply(const CUnit& a, const CUnit& b, bool bReduce)
{
    if (a.IsEmpty())
        return b;
    if (b.IsEmpty())
        return a;
    if (bReduce && a.IsSI() && b.IsSI()) {
        SSIDimension d;
        if (CombineDimensions(a.m_dim, b.m_dim, 1, d))
            return CUnit(ReducedText(a.m_dFactor * b.m_dFactor, d), 1);
    }
    return CUnit(Join(a, "*", b), 1);
}

CString CUnit::DimensionText(const SSIDimension& dim)
{
    static const char* const symbols[SI_BASE_COUNT] = {"kg", "m", "s", "K", "A", "mol", "cd", "rad"};
    CString text;
    for (int i = 0; i < SI_BASE_COUNT; ++i) {
        int h = dim.aHalf[i];
        if (h == 0)
            continue;
        if (!text.IsEmpty())
            text += "*";
        text += symbols[i];
        if (h == 2)
            continue;
        if (h % 2 == 0)
            text += CString::Formatted("^%d", h / 2);
        else
            text += CString::Formatted("^%s%d.5", h < 0 ? "-" : "", std::abs(h) / 2);
    }
    return text;
}
