#include "formats/uff/UffReader.h"

#include "frame/Cancellation.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <limits>

namespace {

const char* const kAbortLine = "Conversion aborted in CThreadUFFImport::uff_read_line_of_header.";
const char* const kAbortNumber = "Conversion aborted in CThreadUFFImport::uff_read_number.";
const char* const kAbortHeader = "Conversion aborted in CThreadUFFImport::uff_read_header.";
const char* const kAbortConv = "Conversion aborted in CThreadUFFImport::uff_conv_uff2trx.";

constexpr unsigned kInvalidDataSet = 122;
constexpr unsigned kNotIEEE = 121;
constexpr unsigned kShortRead = 104;
constexpr unsigned kDataFailed = 124;

// ID lines and labels lose leading and trailing blanks and control characters.
CString Trimmed(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32)
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32)
        --e;
    return CString(std::string(s.substr(b, e - b)));
}

// Columns first..last (1-based) of a line, trimmed; empty when the line is shorter.
CString Field(std::string_view line, std::size_t first, std::size_t last)
{
    if (line.size() < first)
        return CString();
    return Trimmed(line.substr(first - 1, last - first + 1));
}

template <class T>
T Truncated(double v)
{
    // Integer fields are the number truncated; absurd values are pinned, not undefined.
    constexpr double lo = double(std::numeric_limits<T>::min());
    constexpr double hi = double(std::numeric_limits<T>::max());
    if (std::isnan(v))
        return 0;
    if (v <= lo)
        return std::numeric_limits<T>::min();
    if (v >= hi)
        return std::numeric_limits<T>::max();
    return T(v);
}

}  // namespace

void CUffTrace::Printf(const char* fmt, ...)
{
    if (!m_f)
        return;
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(m_szMessage, sizeof m_szMessage, fmt, args);
    va_end(args);
    std::fputs(m_szMessage, m_f);
    std::fflush(m_f);
}

bool uff_parse_double(const char*& p, const char* end, double& value)
{
    while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\v' || *p == '\f'))
        ++p;
    const char* q = p;
    if (q < end && *q == '+') {
        ++q;
        if (q < end && (*q == '+' || *q == '-'))
            return false;  // "+-1" is no number
    }
    auto res = std::from_chars(q, end, value, std::chars_format::general);
    if (res.ec != std::errc())
        return false;
    p = res.ptr;
    return true;
}

// ---- reader -------------------------------------------------------------------------

CUffReader::CUffReader(IUffByteSource& src, CUffTrace& trace, const CString& inputPath)
    : m_src(src), m_lines(src), m_trace(trace), m_sInput(inputPath)
{
}

void CUffReader::Fail(unsigned code, const CString& second, const char* where)
{
    CUffError e;
    e.uStringID = code;
    if (code == kInvalidDataSet)
        e.sTextArg = m_sInput;
    e.sTextAppend = second;
    e.sAbort = where;
    throw e;
}

void CUffReader::CheckLineLength(const CUffLineReader::SLine& line, bool header, unsigned lineNumber)
{
    if (!m_trace.IsOn())
        return;
    const char* where = header ? "header" : "file";
    if (line.uCounted < 81)
        m_trace.Printf("Warning: line %u too short (%u characters) in UFF %s.\n", lineNumber, line.uCounted, where);
    else if (line.bTooLong)
        m_trace.Printf("Warning: line %u too long in UFF %s.\n", lineNumber, where);
}

bool CUffReader::uff_read_start_stop_line()
{
    CUffLineReader::SLine line;
    while (m_lines.ReadLine(line)) {
        // Every value line of an ASCII data set passes here in the first
        // pass: a stop request must not wait for the end of a huge one.
        if (JobCancellation::Requested()) {
            CUffError e;
            e.uStringID = 3;
            e.sAbort = JobCancellation::kInterruptedText;
            throw e;
        }
        CheckLineLength(line, false, m_lines.LineNumber());
        if (uff_is_start_stop_line(line.text))
            return true;
    }
    return false;
}

CUffLineReader::SLine CUffReader::uff_read_line_of_header()
{
    CUffLineReader::SLine line;
    if (!m_lines.ReadLine(line))
        Fail(kInvalidDataSet, "Unexpected EOF while reading UFF header.", kAbortLine);
    CheckLineLength(line, true, m_lines.LineNumber());
    return line;
}

double CUffReader::uff_read_number(std::string_view line, std::size_t& pos, unsigned lineNumber)
{
    const char* p = line.data() + std::min(pos, line.size());
    const char* end = line.data() + line.size();
    double v = 0.0;
    if (!uff_parse_double(p, end, v)) {
        m_trace.Printf("Can't read number in line %u of UFF file.\n", lineNumber);
        Fail(kInvalidDataSet,
             CString::Formatted("Can't read number in line %u. Invalid format (e.g. decimal point)?",
                                lineNumber),
             kAbortNumber);
    }
    pos = std::size_t(p - line.data());
    return v;
}

void CUffReader::uff_read_header(SUffDataSet& ds)
{
    SUffHeader& h = ds.h;
    auto syntax = [&](unsigned lineNo) {
        Fail(kInvalidDataSet, CString::Formatted("Syntaxerror in line %u of UFF file header.", lineNo),
             kAbortHeader);
    };

    // Type line: 58, with "b" in column 7 for the binary form.
    CUffLineReader::SLine line = uff_read_line_of_header();
    unsigned no = m_lines.LineNumber();
    ds.uHeaderLine = no;
    std::size_t pos = 0;
    double type = uff_read_number(line.text, pos, no);
    if (type != 58.0)
        Fail(kInvalidDataSet, CString::Formatted("Data set type 58 and 58b can be imported only (line %u).", no),
             kAbortHeader);
    h.iDataSetType = 58;
    h.bBinary = line.text.size() > 6 && (line.text[6] == 'b' || line.text[6] == 'B');
    if (h.bBinary) {
        pos = 7;
        for (long long& v : h.allBinary)
            v = Truncated<long long>(uff_read_number(line.text, pos, no));
    }

    for (CString& id : h.arsID) {
        line = uff_read_line_of_header();
        id = Trimmed(line.text.substr(0, std::min<std::size_t>(line.text.size(), 80)));
    }

    // Record 6
    line = uff_read_line_of_header();
    no = m_lines.LineNumber();
    if (line.uCounted < 70)
        syntax(no);
    pos = 0;
    h.iFunctionType = Truncated<int>(uff_read_number(line.text, pos, no));
    h.lFunctionID = Truncated<long>(uff_read_number(line.text, pos, no));
    h.iVersion = Truncated<int>(uff_read_number(line.text, pos, no));
    h.lLoadCase = Truncated<long>(uff_read_number(line.text, pos, no));
    h.sRespEntity = Field(line.text, 32, 41);
    pos = 41;
    h.lRespNode = Truncated<long>(uff_read_number(line.text, pos, no));
    h.iRespDir = Truncated<int>(uff_read_number(line.text, pos, no));
    h.sRefEntity = Field(line.text, 57, 66);
    pos = 66;
    h.lRefNode = Truncated<long>(uff_read_number(line.text, pos, no));
    h.iRefDir = Truncated<int>(uff_read_number(line.text, pos, no));

    // Record 7
    line = uff_read_line_of_header();
    no = m_lines.LineNumber();
    pos = 0;
    h.iOrdinateType = Truncated<int>(uff_read_number(line.text, pos, no));
    h.llPoints = Truncated<long long>(uff_read_number(line.text, pos, no));
    h.iSpacing = Truncated<int>(uff_read_number(line.text, pos, no));
    h.dAbscMin = uff_read_number(line.text, pos, no);
    h.dAbscInc = uff_read_number(line.text, pos, no);
    h.dZ = uff_read_number(line.text, pos, no);
    if (h.llPoints < 0)
        syntax(no);

    // Records 8 to 11
    for (SUffAxis& a : h.aAxis) {
        line = uff_read_line_of_header();
        no = m_lines.LineNumber();
        if (line.uCounted < 48)
            syntax(no);
        pos = 0;
        a.iType = Truncated<int>(uff_read_number(line.text, pos, no));
        a.iLength = Truncated<int>(uff_read_number(line.text, pos, no));
        a.iForce = Truncated<int>(uff_read_number(line.text, pos, no));
        a.iTemp = Truncated<int>(uff_read_number(line.text, pos, no));
        a.sLabel = Field(line.text, 27, 46);
        a.sUnits = Field(line.text, 48, 67);
    }
}

void CUffReader::uff_conv_uff2trx(SUffDataSet& ds)
{
    const SUffHeader& h = ds.h;

    ds.sComment = h.arsID[0];
    for (int i = 1; i < 5; ++i)
        ds.sComment += CString("\n") + h.arsID[i];
    ds.date = uff_parse_date(h.arsID[2]);
    ds.iKind = uff_kind_from_function_type(h.iFunctionType);
    ds.sDOF = uff_dof_text(h);
    ds.sEntity = uff_entity_text(h);

    ds.iImplType = uff_impl_type_from_ordinate(h.iOrdinateType, h.bBinary);
    if (ds.iImplType == 0) {
        m_trace.Printf("Illegal data type (%u) in UFF file.\n", unsigned(h.iOrdinateType));
        Fail(kInvalidDataSet, CString::Formatted("Illegal or unsupported data type (%u) found.", unsigned(h.iOrdinateType)),
             kAbortConv);
    }
    if (!h.bBinary && (h.iOrdinateType == 5 || h.iOrdinateType == 6))
        m_trace.Printf("Complex UFF file is converted to real TRX file.\n");

    if (h.iSpacing != 0 && h.iSpacing != 1) {
        m_trace.Printf("Record 7, field 3: Illegal entry %u.\n", unsigned(h.iSpacing));
        Fail(kInvalidDataSet, CString::Formatted("Record 7, field 3: Illegal entry %u.", unsigned(h.iSpacing)),
             kAbortConv);
    }
    ds.bEven = h.iSpacing == 1;
    if (ds.bEven && !(std::isfinite(h.dAbscMin) && std::isfinite(h.dAbscInc))) {
        // No abscissa can be built from them; say where, rather than fail later on the output.
        const unsigned line = ds.uHeaderLine + 7;
        m_trace.Printf("Record 7: abscissa minimum or increment is not a number (line %u).\n", line);
        Fail(kInvalidDataSet,
             CString::Formatted("Record 7: abscissa minimum or increment is not a number (line %u).", line),
             kAbortConv);
    }

    SUffQuantityUnit absc = uff_quantity_unit_from_axis(h.aAxis[0]);
    ds.sAbscName = h.aAxis[0].sLabel;
    ds.sAbscAbbr = h.aAxis[0].sLabel.Left(2);
    ds.sAbscQuantity = absc.sQuantity;
    ds.sAbscUnit = absc.sUnit;
    ds.llScans = h.llPoints;
    if (ds.bEven) {
        ds.dFirst = h.dAbscMin;
        ds.dDelta = h.dAbscInc;
        if (absc.sQuantity == "time")
            ds.iKind = 1;
    }

    SUffQuantityUnit num = uff_quantity_unit_from_axis(h.aAxis[1]);
    ds.sChQuantity = num.sQuantity;
    ds.sChUnit = num.sUnit;
    if (ds.sChUnit.IsEmpty() && !h.aAxis[1].sUnits.IsEmpty())
        ds.sChUnit = h.aAxis[1].sUnits;
    ds.sChDenUnit = uff_quantity_unit_from_axis(h.aAxis[2]).sUnit;
    ds.sChName = uff_channel_name(h, ds.sEntity);
    ds.sChAbbr = ds.sChName.Left(2);

    if (h.bBinary) {
        ds.bLittleEndian = h.allBinary[0] == 1;
        ds.bIEEE = h.allBinary[1] == 2;
        ds.llBytes = h.allBinary[3];
        if (!ds.bIEEE)
            Fail(kNotIEEE, CString(), kAbortConv);
    }
}

std::vector<SUffGroup> CUffReader::Groups() const
{
    std::vector<SUffGroup> all;
    for (const auto& bucket : m_aBuckets)
        all.insert(all.end(), bucket.begin(), bucket.end());
    return all;
}

void CUffReader::AddToGroup(std::size_t index)
{
    const SUffDataSet& ds = m_aDataSets[index];
    auto& bucket = m_aBuckets[std::size_t(ds.llScans % kBuckets)];
    // Data sets with uneven spacing carry their own abscissa values, which a
    // shared TRX file could hold only once: each one gets a file of its own.
    if (ds.bEven) {
        for (SUffGroup& g : bucket) {
            const SUffDataSet& o = m_aDataSets[g.aMembers.front()];
            if (o.bEven && o.llScans == ds.llScans && o.dFirst == ds.dFirst && o.dDelta == ds.dDelta &&
                o.sAbscQuantity == ds.sAbscQuantity && o.sAbscUnit == ds.sAbscUnit &&
                o.iKind == ds.iKind && o.iImplType == ds.iImplType) {
                g.aMembers.push_back(index);
                return;
            }
        }
    }
    bucket.push_back(SUffGroup{{index}});
}

void CUffReader::Scan()
{
    CUffLineReader::SLine line;
    while (uff_read_start_stop_line()) {
        // Peek at the type of the data set; anything but 58 is skipped.
        const std::uint64_t pos = m_lines.Tell();
        const unsigned lineNo = m_lines.LineNumber();
        if (!m_lines.ReadLine(line))
            break;
        const char* p = line.text.data();
        double type = 0.0;
        bool is58 = uff_parse_double(p, line.text.data() + line.text.size(), type) && type == 58.0;
        m_lines.Seek(pos, lineNo);
        if (!is58)
            continue;

        SUffDataSet ds;
        uff_read_header(ds);
        ds.uDataPos = m_lines.Tell();
        ds.uDataLine = m_lines.LineNumber();
        uff_conv_uff2trx(ds);

        const SUffValueLayout lay = uff_value_layout(ds.h.iOrdinateType, !ds.bEven);
        if (ds.h.bBinary) {
            // Impossible byte counts are refused before anything is read or allocated.
            const long long elem = ds.iImplType == 12 || ds.iImplType == 16 ? 8 : 4;
            const long long perPoint = elem * (lay.bComplex ? 2 : 1) + (lay.bUneven ? 4 : 0);
            // A count other than points x bytes per point means that header and data
            // disagree: whatever way they are read, values would land in the wrong place.
            if (ds.llBytes < 0 || ds.llBytes % perPoint != 0 || ds.h.llPoints != ds.llBytes / perPoint ||
                std::uint64_t(ds.llBytes) > m_lines.Remaining()) {
                CUffError e;
                e.uStringID = kShortRead;
                e.sAbort = kAbortHeader;
                throw e;
            }
            m_lines.SkipBytes(std::uint64_t(ds.llBytes));
        } else {
            // Every number needs at least one character and one separator.
            const double numbers = double(ds.h.llPoints) * lay.iNumbersPerPoint;
            if (numbers > double(m_lines.Remaining()))
                Fail(kInvalidDataSet,
                     CString::Formatted("Syntaxerror in line %u of UFF file header.", ds.uHeaderLine + 7),
                     kAbortHeader);
            uff_read_start_stop_line();
        }
        m_aDataSets.push_back(ds);
        AddToGroup(m_aDataSets.size() - 1);
    }
}

// ---- values ---------------------------------------------------------------------------

CUffValueReader::CUffValueReader(CUffReader& reader, const SUffDataSet& ds, std::size_t bufferBytes)
    : m_reader(reader), m_lines(reader.Source(), bufferBytes), m_ds(ds),
      m_layout(uff_value_layout(ds.h.iOrdinateType, !ds.bEven)), m_llLeft(ds.h.llPoints)
{
    const bool complexOut = ds.h.bBinary && m_layout.bComplex;
    m_iOut = (m_layout.bUneven ? 1 : 0) + (complexOut ? 2 : 1);
    m_lines.Seek(ds.uDataPos, ds.uDataLine);
}

void CUffValueReader::FailAt(unsigned line, const char* abort)
{
    CUffError e;
    e.uStringID = kDataFailed;
    e.sTextArg = CString::Formatted("%i", int(line));
    e.sTextAppend = CString::Formatted("\n%s", abort);
    e.sAbort = abort;
    throw e;
}

std::size_t CUffValueReader::Read(double* out, std::size_t maxPoints)
{
    if (m_llLeft <= 0 || maxPoints == 0)
        return 0;
    const std::size_t n = std::size_t(std::min<long long>(m_llLeft, (long long)maxPoints));
    std::size_t got = m_ds.h.bBinary ? ReadBinary(out, n) : ReadAscii(out, n);
    m_llLeft -= (long long)got;
    if (m_llLeft == 0 && !m_ds.h.bBinary)
        CheckAsciiEnd();
    return got;
}

// After the last point only blank lines may come before the end line (or the
// end of the input): a value left over means that a line held more values than
// it should, and every value after that line would have been taken one place off.
void CUffValueReader::CheckAsciiEnd()
{
    static const char* const abort = "Conversion aborted in CThreadUFFImport::uff_read_number.";
    if (m_uLineNext != m_aLineValues.size() || m_iPending != 0)
        FailAt(m_lines.LineNumber(), abort);
    CUffLineReader::SLine line;
    while (m_lines.ReadLine(line, CUffLineReader::kDataLineLimit)) {
        if (uff_is_start_stop_line(line.text))
            return;
        if (line.bCut || line.text.find_first_not_of(" \t") != std::string_view::npos)
            FailAt(m_lines.LineNumber(), abort);
    }
}

std::size_t CUffValueReader::ReadAscii(double* out, std::size_t maxPoints)
{
    static const char* const abort = "Conversion aborted in CThreadUFFImport::uff_read_number.";
    CUffLineReader& lines = m_lines;
    const int inPerPoint = m_layout.iNumbersPerPoint;
    const bool magnitude = m_layout.bComplex;
    std::size_t points = 0;
    CUffLineReader::SLine line;
    while (points < maxPoints) {
        if (m_uLineNext == m_aLineValues.size()) {
            // Next data line: every number on it, and nothing else but blanks.
            if (!lines.ReadLine(line, CUffLineReader::kDataLineLimit) || line.bCut ||
                uff_is_start_stop_line(line.text))
                FailAt(lines.LineNumber(), abort);
            m_reader.CheckLineLength(line, false, lines.LineNumber());
            m_aLineValues.clear();
            m_uLineNext = 0;
            const char* p = line.text.data();
            const char* end = p + line.text.size();
            double v;
            while (uff_parse_double(p, end, v))
                m_aLineValues.push_back(v);
            while (p < end && (*p == ' ' || *p == '\t'))
                ++p;
            if (p != end || m_aLineValues.empty())
                FailAt(lines.LineNumber(), abort);
        }
        m_adPending[m_iPending++] = m_aLineValues[m_uLineNext++];
        if (m_iPending < inPerPoint)
            continue;
        m_iPending = 0;
        double* o = out + points * std::size_t(m_iOut);
        int k = 0;
        if (m_layout.bUneven)
            o[k++] = m_adPending[0];
        const double* y = m_adPending + (m_layout.bUneven ? 1 : 0);
        const double value = magnitude ? std::hypot(y[0], y[1]) : y[0];
        o[k] = value;
        m_dPeak = std::max(m_dPeak, std::fabs(value));
        ++points;
    }
    return points;
}

std::size_t CUffValueReader::ReadBinary(double* out, std::size_t maxPoints)
{
    const std::size_t elem = m_ds.iImplType == 12 || m_ds.iImplType == 16 ? 8 : 4;
    const std::size_t values = m_layout.bComplex ? 2 : 1;
    const std::size_t perPoint = elem * values + (m_layout.bUneven ? 4 : 0);
    const std::size_t bytes = perPoint * maxPoints;
    if (m_raw.size() < bytes)
        m_raw.resize(bytes);
    std::size_t got = m_lines.ReadBytes(m_raw.data(), bytes);
    if (got < bytes) {
        CUffError e;
        e.uStringID = kShortRead;
        e.sAbort = "Conversion aborted in CThreadUFFImport::uff_read_number.";
        throw e;
    }
    const bool swap = !m_ds.bLittleEndian;
    auto load4 = [swap](const unsigned char* p) {
        std::uint32_t u;
        std::memcpy(&u, p, 4);
        if (swap)
            u = __builtin_bswap32(u);
        return double(std::bit_cast<float>(u));
    };
    auto load8 = [swap](const unsigned char* p) {
        std::uint64_t u;
        std::memcpy(&u, p, 8);
        if (swap)
            u = __builtin_bswap64(u);
        return std::bit_cast<double>(u);
    };
    const unsigned char* p = m_raw.data();
    for (std::size_t i = 0; i < maxPoints; ++i) {
        double* o = out + i * std::size_t(m_iOut);
        int k = 0;
        if (m_layout.bUneven) {
            o[k++] = load4(p);
            p += 4;
        }
        double a = elem == 8 ? load8(p) : load4(p);
        p += elem;
        o[k++] = a;
        if (values == 2) {
            double b = elem == 8 ? load8(p) : load4(p);
            p += elem;
            o[k] = b;
            m_dPeak = std::max(m_dPeak, std::hypot(a, b));
        } else {
            m_dPeak = std::max(m_dPeak, std::fabs(a));
        }
    }
    return maxPoints;
}
