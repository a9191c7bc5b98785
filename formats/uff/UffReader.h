#pragma once
// Reading side of universal files: finds the data sets 58 and 58b of a file,
// reads their headers, derives what a TRX data set needs to know about each,
// groups them, and streams their values in blocks. The import job drives it
// and owns everything that touches TRX files.

#include "formats/uff/UffFormat.h"
#include "formats/uff/UffInput.h"

#include <cstdint>
#include <cstdio>
#include <vector>

// Optional trace target of the UFF jobs: texts go to a stream when one is set.
class CUffTrace {
public:
    void SetTarget(std::FILE* f) { m_f = f; }
    bool IsOn() const { return m_f != nullptr; }
    void Printf(const char* fmt, ...) __attribute__((format(printf, 2, 3)));

private:
    std::FILE* m_f = nullptr;
    char m_szMessage[1024] = {};
};

// What the importer knows about one data set after its header.
struct SUffDataSet {
    SUffHeader h;
    std::uint64_t uDataPos = 0;  // first byte of the values
    unsigned uDataLine = 0;      // line number before the first value line
    unsigned uHeaderLine = 0;    // line number of the type line
    int iKind = 0;               // dk__val
    int iImplType = 0;           // it__val
    bool bLittleEndian = true;
    bool bIEEE = true;
    long long llBytes = 0;       // 58b byte count
    SUffDate date;
    CString sComment;            // the ID lines joined with "\n"
    CString sDOF;
    CString sEntity;
    // Abscissa
    bool bEven = true;
    CString sAbscName, sAbscAbbr, sAbscQuantity, sAbscUnit;
    double dFirst = 0.0, dDelta = 0.0;
    long long llScans = 0;
    // Ordinate: numerator quantity/unit, and the denominator unit when record 10 has one
    CString sChName, sChAbbr, sChQuantity, sChUnit, sChDenUnit;
};

// A group of data sets that share abscissa, data kind and implementation type:
// one TRX file.
struct SUffGroup {
    std::vector<std::size_t> aMembers;  // indices into the data-set list, in file order
};

class CUffReader {
public:
    CUffReader(IUffByteSource& src, CUffTrace& trace, const CString& inputPath);

    // Finds every data set 58/58b and groups them. Throws CUffError.
    void Scan();

    const std::vector<SUffDataSet>& DataSets() const { return m_aDataSets; }
    // Groups in the order they are written (bucket 0 to 16, each in arrival order).
    std::vector<SUffGroup> Groups() const;

    // The reader operations; each throws CUffError on a fatal problem.
    // Finds the next start/stop line; false at the end of the input.
    bool uff_read_start_stop_line();
    // Reads one header line; throws at the end of the input.
    CUffLineReader::SLine uff_read_line_of_header();
    // Next number of a line from position pos (advanced past it).
    double uff_read_number(std::string_view line, std::size_t& pos, unsigned lineNumber);
    void uff_read_header(SUffDataSet& ds);
    void uff_conv_uff2trx(SUffDataSet& ds);

    CUffLineReader& Lines() { return m_lines; }
    IUffByteSource& Source() { return m_src; }
    CUffTrace& Trace() { return m_trace; }
    // Trace warnings for lines shorter or longer than 80 characters.
    void CheckLineLength(const CUffLineReader::SLine& line, bool header, unsigned lineNumber);

private:
    void Fail(unsigned code, const CString& second, const char* where);
    void AddToGroup(std::size_t index);

    IUffByteSource& m_src;
    CUffLineReader m_lines;
    CUffTrace& m_trace;
    CString m_sInput;
    std::vector<SUffDataSet> m_aDataSets;
    // 17 buckets keyed by the abscissa's number of scans; each holds groups in arrival order.
    static constexpr int kBuckets = 17;
    std::vector<SUffGroup> m_aBuckets[kBuckets];
};

// Streams the values of one data set in blocks. Each value reader keeps its
// own place in the input, so that the data sets of a group can be read side
// by side, scan block after scan block.
class CUffValueReader {
public:
    // bufferBytes: the read buffer (0: as for the reader's own lines).
    CUffValueReader(CUffReader& reader, const SUffDataSet& ds, std::size_t bufferBytes = 0);

    // Numbers delivered per point: [x,] value for real data (ASCII complex as
    // magnitude), [x,] re, im for binary complex data.
    int NumbersPerPoint() const { return m_iOut; }
    // Reads up to maxPoints points; returns the count read (0 when all are read).
    // Throws CUffError (124 for unreadable text, or for values beyond the
    // header's count of points; 104 for short binary data).
    std::size_t Read(double* out, std::size_t maxPoints);
    // Largest absolute ordinate value so far (complex: magnitude).
    double Peak() const { return m_dPeak; }
    long long PointsLeft() const { return m_llLeft; }

private:
    std::size_t ReadAscii(double* out, std::size_t maxPoints);
    std::size_t ReadBinary(double* out, std::size_t maxPoints);
    void CheckAsciiEnd();
    [[noreturn]] void FailAt(unsigned line, const char* abort);

    CUffReader& m_reader;
    CUffLineReader m_lines;
    const SUffDataSet& m_ds;
    SUffValueLayout m_layout;
    int m_iOut;
    long long m_llLeft;
    double m_dPeak = 0.0;
    std::vector<unsigned char> m_raw;
    // ASCII numbers of a point that spans two lines
    double m_adPending[3] = {};
    int m_iPending = 0;
    std::vector<double> m_aLineValues;  // numbers of the current data line
    std::size_t m_uLineNext = 0;
};

// Number at p (blanks skipped first), as the C library reads it; advances p.
bool uff_parse_double(const char*& p, const char* end, double& value);
