#pragma once
#include <vector>
// Every code that the data-set library gives a meaning to, decided once.
// docs/trx-format.md documents the same values for readers of the files.
//
// The callers pass most of these as plain integers (the conversions were
// written against the numbers), so the enumerations are unscoped and convert
// to int; the functions of the library take int and reject unknown values.

#include "hostlibs/dataset/DataKind.h"
#include "platform/CString.h"

#include <cstdint>
#include <exception>

// ---------------------------------------------------------------------------
// Implementation types (it__val): how one sample is stored. The sizes follow
// the table of CImplType::GetSize; the types marked "reserved" have a size
// but no encoding: a data set cannot be created with them.
enum it__val : int {
    it__none = 0,       // no samples
    it__int8 = 1,       // signed 8-bit integer
    it__pulse = 2,      // 8 pulse bits (one bit per sub-channel), unsigned 8-bit
    it__int16 = 3,      // signed 16-bit integer
    it__uint16 = 4,     // unsigned 16-bit integer
    it__int24 = 5,      // signed 24-bit integer, three bytes
    it__uint24 = 6,     // unsigned 24-bit integer, three bytes
    it__int32 = 7,      // signed 32-bit integer
    it__uint32 = 8,     // unsigned 32-bit integer
    it__res9 = 9,       // reserved, 3 bytes
    it__float = 10,     // IEEE 754 binary32
    it__res11 = 11,     // reserved, 6 bytes
    it__double = 12,    // IEEE 754 binary64
    it__cint16 = 13,    // complex: real, imaginary as signed 16-bit integers
    it__cint32 = 14,    // complex: real, imaginary as signed 32-bit integers
    it__cfloat = 15,    // complex: real, imaginary as binary32
    it__cdouble = 16,   // complex: real, imaginary as binary64
    it__res17 = 17,     // reserved complex, 8 bytes
    it__res18 = 18,     // reserved complex, 16 bytes
    it__res19 = 19,     // reserved, 6 bytes
};

class CImplType {
public:
    explicit CImplType(int type = it__none) : m_iType(type) {}
    int Get() const { return m_iType; }
    operator int() const { return m_iType; }

    // Bytes of one sample: 0 for 0 and every value above 19.
    static int GetSize(int type);
    int GetSize() const { return GetSize(m_iType); }
    // Types the library reads and writes (every type above except none and reserved).
    static bool IsSupported(int type);
    // 13 to 18.
    static bool IsComplex(int type);
    // Integer types (1 to 8, 13, 14): mappings apply to them.
    static bool IsInteger(int type);
    // "16-bit integer", "32-bit float", ...; "unknown" otherwise.
    static CString GetName(int type);
    CString GetName() const { return GetName(m_iType); }

    // SDF value types (it__sdf_val: 1 16-bit integer, 2 32-bit integer,
    // 3 32-bit float, 4 64-bit float), complex when the SDF record says so.
    // Unknown codes give it__none.
    void SetSdf2Trx(int sdfType, bool complex) { m_iType = Sdf2Trx(sdfType, complex); }
    static int Sdf2Trx(int sdfType, bool complex);
    // The SDF value type of an implementation type; 0 when SDF has none.
    static int GetTrx2Sdf(int type);
    int GetTrx2Sdf() const { return GetTrx2Sdf(m_iType); }

private:
    int m_iType;
};

enum it__sdf_val : int {
    it__sdf_short = 1,
    it__sdf_long = 2,
    it__sdf_float = 3,
    it__sdf_double = 4,
};

// ---------------------------------------------------------------------------
// Data kinds (dk__val): hostlibs/dataset/DataKind.h.

class CDataKind {
public:
    explicit CDataKind(int kind = dk__unknown) : m_iKind(kind) {}
    int Get() const { return m_iKind; }
    operator int() const { return m_iKind; }
    // "Time Data", "Spectrum", ...; "Unknown" for kinds not listed above.
    static CString GetName(int kind);
    CString GetName() const { return GetName(m_iKind); }
    static bool IsKnown(int kind);

    // SDF data types (dk__sdf_val) ↔ data kinds; see docs/trx-format.md.
    void SetSdf2Trx(int sdfType) { m_iKind = Sdf2Trx(sdfType); }
    static int Sdf2Trx(int sdfType);
    static int GetTrx2Sdf(int kind);
    int GetTrx2Sdf() const { return GetTrx2Sdf(m_iKind); }

private:
    int m_iKind;
};

// The SDF data types that have a data kind of their own.
enum dk__sdf_val : int {
    dk__sdf_time = 0,
    dk__sdf_linear_spectrum = 1,
    dk__sdf_auto_power = 2,
    dk__sdf_cross_power = 3,
    dk__sdf_frf = 4,
    dk__sdf_auto_correlation = 5,
    dk__sdf_cross_correlation = 6,
    dk__sdf_impulse_response = 7,
    dk__sdf_ordinary_coherence = 8,
    dk__sdf_partial_coherence = 9,
    dk__sdf_multiple_coherence = 10,
    dk__sdf_full_octave = 11,
    dk__sdf_third_octave = 12,
    dk__sdf_pdf = 15,
    dk__sdf_rpm = 20,
};

// ---------------------------------------------------------------------------
// Data organisation (ds__dorg_val) of a data set, and the layout argument of
// every transfer (GetData/SetData). Both describe a scan:
//   1: the samples of the channels, interleaved, one scan after the other;
//   4: the same, each scan led by its abscissa value(s) (stored abscissas:
//      the values of the ASCII and spreadsheet imports and of pulse files).
// A data set whose first abscissa is stored keeps the abscissa values in
// its scans whatever organisation it was created with.
enum ds__dorg_val : int {
    ds__dorg_interleaved = 1,
    ds__dorg_with_abscissa = 4,
};

// Scan modes of SpecifySamplingParameter / GetScanMode.
enum sm__val : int {
    sm__single_rate = 1,     // every channel once per scan
    sm__pattern = 3,         // a scan is the sampling pattern: a list of channel numbers
};

// Open modes of the open constructor (bits).
enum om__val : int {
    om__read = 1,            // read samples and description; shared lock
    om__write = 2,           // with om__read (3): read and write, the description is
                             // rewritten on close; exclusive lock
    om__complete = 32,       // the file must hold every sample its description announces
                             // (the export jobs open with 33); without it a short file
                             // opens and its reads stop early
};
constexpr int om__readwrite = om__read | om__write;          // 3
constexpr int om__read_complete = om__read | om__complete;    // 33

// Sharing types of the open and create constructors.
enum sh__val : int {
    sh__deny_write = 0,      // readers share, a writer excludes everyone; create
                             // replaces an existing file
    sh__create_new = 1,      // as 0, but create fails when the file exists
    sh__deny_none = 2,       // no lock is taken
};

// Access modes of CreateAccess.
enum am__val : int {
    am__read = 0,
    am__readwrite = 1,       // SetData allowed (needs a data set opened for writing)
};

// Destination mapping kinds of CAccess::SetChannelMapping: what the caller's
// values are (for GetData what is delivered, for SetData what is given).
enum mk__val : int {
    mk__raw = 0,             // the stored values themselves, no mapping
    mk__physical = 1,        // physical values: stored s stands for s × factor + offset
                             // (the default of a new access)
    mk__record = 2,          // values in the representation that a map__dct record or
                             // a CMapping describes (physical = f(value))
};

// Complex access kinds of CAccess::SetAccessModeToComplexData. The default
// (ca__default) gives complex pairs to a complex destination type and the
// magnitude to a real one.
enum ca__val : int {
    ca__default = -1,
    ca__magnitude = 0,
    ca__real = 1,
    ca__imaginary = 2,
    ca__phase_rad = 3,
    ca__phase_deg = 4,
    ca__phase_circle = 5,    // phase in full circles (radians / 2π)
    ca__group_delay = 6,     // −dφ/dω in abscissa units inverted (seconds over hertz)
};

// Distribution functions of calculated abscissas.
enum df__val : int {
    df__linear = 1,          // x(i) = first + i × delta
    df__logarithmic = 2,     // x(i) = first × delta^i (delta is the ratio of neighbours)
};

// Coordinates: of a stored abscissa (CAbscissa constructor) and of an access
// (SetAbscissaCoord): which abscissa values a scan carries.
enum ac__val : int {
    ac__index = 0,           // access only: the scan index as value
    ac__world = 1,           // one value per scan, in world (physical) units
    ac__band = 2,            // three values per scan: lower edge, centre, upper edge
};

// Sub-channel types.
enum sc__val : int {
    sc__pulse = 1,           // pulses (tacho) as one bit of a pulse channel's bytes
};

// Failures of open, create and close. The text names the file and, where it
// applies, the offset or record; GetErrorCode gives the Windows error code
// of the system failure behind it (5 access denied, 19 write protected,
// 32 sharing violation, 2 not found, ...) or 0.
class CDatasetException : public std::exception {
public:
    explicit CDatasetException(CString text, unsigned errorCode = 0)
        : m_sText(std::move(text)), m_uErrorCode(errorCode) {}
    const CString& GetText() const { return m_sText; }
    unsigned GetErrorCode() const { return m_uErrorCode; }
    const char* what() const noexcept override { return m_sText.c_str(); }

private:
    CString m_sText;
    unsigned m_uErrorCode;
};

// The list types the callers pass around (abscissas, channels, sub-channels):
// a vector with the collection calls the host's code uses on them.
template <class T>
class CObjectList : public std::vector<T> {
public:
    int GetCount() const { return int(this->size()); }
    int GetSize() const { return GetCount(); }
    void AddTail(const T& item) { this->push_back(item); }
    int Add(const T& item) { this->push_back(item); return GetCount() - 1; }
    T& GetAt(int i) { return this->at(std::size_t(i)); }
    const T& GetAt(int i) const { return this->at(std::size_t(i)); }
    void RemoveAll() { this->clear(); }
};
