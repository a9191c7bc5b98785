#pragma once
// Physical units and quantities of the data-set library.
//
// A unit is kept as the text the user or a file gave (Windows-1252 bytes, never
// transcoded) plus what that text means: a factor to the coherent SI unit, an
// offset for the temperature scales and the exponents of the SI base
// quantities. Units that are not SI compositions (levels, psychoacoustic
// units, "Order", "Bark", the virtual unit "vU") carry a family instead, so
// that a quantity can still decide whether a unit fits it.
//
// The exponents are kept in half steps so that densities per root hertz and
// the foreign unit structures that store doubled exponents convert without
// loss. See docs/units.md for the accepted grammar and the tables.

#include "platform/CString.h"

#include <array>
#include <cstdint>
#include <stdexcept>

// SI base quantities in the order their exponents are kept. Plane angle is
// kept beside the seven SI base quantities because instrument formats carry it.
enum ESIBase : int {
    SI_MASS = 0,      // kg
    SI_LENGTH,        // m
    SI_TIME,          // s
    SI_TEMPERATURE,   // K
    SI_CURRENT,       // A
    SI_AMOUNT,        // mol
    SI_LUMINOSITY,    // cd
    SI_ANGLE,         // rad
    SI_BASE_COUNT
};

// Exponents of the SI base quantities, each stored doubled (m^2 is 4, Hz^-0.5 is 1).
struct SSIDimension {
    std::array<std::int8_t, SI_BASE_COUNT> aHalf{};

    double Get(ESIBase b) const { return aHalf[b] / 2.0; }
    void Set(ESIBase b, double exponent) { aHalf[b] = std::int8_t(exponent * 2.0); }
    bool IsDimensionless() const;
    friend bool operator==(const SSIDimension&, const SSIDimension&) = default;
};

// Families of the units that are not SI compositions.
enum class EUnitFamily : int {
    None = 0,        // the empty unit "": a plain number, no unit
    SI,              // an SI composition; see the dimension
    Level,           // "dB", "dB[SPL]"
    Loudness,        // "soneGD", "soneGF"
    SpecLoudness,    // "soneGD/Bark", "soneGF/Bark"
    LoudnessLevel,   // "phonGD", "phonGF"
    Roughness,       // "asper"
    SpecRoughness,   // "asper/Bark"
    Fluctuation,     // "vacil"
    Sharpness,       // "acum"
    Tonality,        // "tu"
    Annoyance,       // "au"
    Pleasantness,    // "pu"
    Impulsiveness,   // "iu"
    CriticalBand,    // "Bark"
    Order,           // "Order"
    Virtual,         // "vU", the virtual unit of data whose unit is not known
    Unknown          // a text that is no unit, kept as it was given (lenient constructor only)
};

class CUnitException : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class CUnit;
struct SDFSIUnit;

// A physical quantity by name ("time", "frequency", "pressure", "level", "RPM",
// "virtual quantity", ...). Names are compared exactly (case-sensitive).
class CQuantity {
public:
    // The virtual quantity.
    CQuantity();
    // Any name is accepted; IsKnown() tells whether the library knows it.
    explicit CQuantity(const char* name);
    CQuantity(const CString& name) : CQuantity(name.c_str()) {}

    static bool Check(const char* name);   // true for a known quantity name

    // PAK quantity codes (hostlibs/dataset/PakCodes.cpp, docs/pak.md): the
    // quantity of a code (the virtual quantity for an unknown one), and the
    // code of a quantity name (0 for a name without one).
    using valPAKQuantity = short;
    static CQuantity PAK2TRX(valPAKQuantity code);
    static valPAKQuantity TRX2PAK(const char* name);

    const CString& GetName() const { return m_sName; }
    operator const char*() const { return m_sName.c_str(); }
    bool IsKnown() const { return m_iIndex >= 0; }
    bool IsVirtual() const;
    // Short symbol of the quantity ("t", "f", "p", "L", "n", ...); the first
    // two characters of the name for an unknown quantity.
    CString GetAbbreviation() const;
    // The unit that belongs to the quantity ("s" for "time", "vU" when unknown).
    CString GetDefaultUnitText() const;
    // The abscissa quantity of an SDF data header's `domain` (SdfCodes.h);
    // the virtual quantity for kinds without one.
    static CQuantity SdfXAxis2Trx(int domain);

    friend bool operator==(const CQuantity& a, const CQuantity& b) { return a.m_sName == b.m_sName; }
    friend bool operator!=(const CQuantity& a, const CQuantity& b) { return !(a == b); }

private:
    friend class CUnit;
    CString m_sName;
    int m_iIndex = -1;   // row in the quantity table, -1 when unknown
};

class CUnit {
public:
    // The virtual unit "vU".
    CUnit();
    // bLenient (the flag the callers pass as 1): any text is accepted; a text
    // that is no unit is kept with the family Unknown. Strict (0): a text that
    // is no unit throws CUnitException naming the text.
    CUnit(const char* text, int bLenient);
    CUnit(const CString& text, int bLenient) : CUnit(text.c_str(), bLenient) {}

    // 1 when the text is a known unit (special unit or valid SI composition),
    // else 0. The empty text is a unit ("no unit") only when bAcceptEmpty is set.
    static int Check(const char* text, bool bAcceptEmpty);

    // Text as given.
    const CString& GetText() const { return m_sText; }
    operator const char*() const { return m_sText.c_str(); }

    EUnitFamily GetFamily() const { return m_eFamily; }
    bool IsKnown() const { return m_eFamily != EUnitFamily::Unknown; }
    bool IsVirtual() const { return m_eFamily == EUnitFamily::Virtual; }
    bool IsEmpty() const { return m_eFamily == EUnitFamily::None; }
    bool IsSI() const { return m_eFamily == EUnitFamily::SI; }
    // SI value = value × GetFactor() + GetOffset() (offset only for "°C").
    double GetFactor() const { return m_dFactor; }
    double GetOffset() const { return m_dOffset; }
    const SSIDimension& GetDimension() const { return m_dim; }

    // The quantity a channel with this unit has unless told otherwise.
    CQuantity GetDefaultQuantity() const;
    // Whether the unit may carry the quantity: same family, and for SI units
    // the same dimension. "virtual quantity" fits only "vU" and unknown units.
    bool CheckQuantityIsValid(const CQuantity& quantity) const;

    // Reference value of a level in this unit (20·log10(x / r)); 1 when the unit has none.
    double GetReferenceValue() const;
    // Reference value r and factor k of the decibel conversion k·log10(x / r):
    // k is 10 for power-like quantities and 20 otherwise. Returns false (with
    // r = 1, k = 20) for units whose values are already levels.
    bool LogdB(double& dReference, double& dFactor) const;

    // Same meaning (family, dimension, factor and offset), whatever the spelling.
    bool IsEquivalent(const CUnit& other) const;
    // Same family and dimension: values convert by ConvertTo.
    bool IsConvertibleTo(const CUnit& other) const;
    // value in this unit → value in `target`; throws CUnitException when not convertible.
    double ConvertTo(const CUnit& target, double value) const;

    // num/den. The text joins both ("(m/s^2)/N"); with bReduce the text is
    // rebuilt from the resulting dimension instead ("kg^-1").
    static CUnit Divide(const CUnit& num, const CUnit& den, bool bReduce);
    static CUnit Multiply(const CUnit& a, const CUnit& b, bool bReduce);
    // Canonical text of an SI dimension in base units ("kg*m^-1*s^-2").
    static CString DimensionText(const SSIDimension& dim);

    // SDF unit records (SdfCodes.h). Sdf2Trx: the unit of a raised to expA,
    // times the unit of b raised to expB when b is given; the label wins when
    // it is a unit of its own, else the exponents and factor are spelled out.
    static CUnit Sdf2Trx(const SDFSIUnit& a, double expA, const SDFSIUnit* b = nullptr, double expB = 0.0);
    // Fills the record from an SI unit (or the empty unit); false for a unit
    // that SDF cannot describe (levels, psychoacoustic and unknown units, "vU").
    static bool Trx2Sdf(const CUnit& unit, SDFSIUnit& record);

    friend bool operator==(const CUnit& a, const CUnit& b) { return a.m_sText == b.m_sText; }
    friend bool operator!=(const CUnit& a, const CUnit& b) { return !(a == b); }

private:
    CString m_sText;
    EUnitFamily m_eFamily = EUnitFamily::Virtual;
    SSIDimension m_dim;
    double m_dFactor = 1.0;
    double m_dOffset = 0.0;
};
