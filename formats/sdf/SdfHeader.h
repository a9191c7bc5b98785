#pragma once
// The header records of one SDF file as a set: read with every check in a
// fixed order, or filled by the export and written back to back from the
// start of the file.

#include "formats/sdf/SdfRecords.h"
#include "platform/CString.h"

#include <cstdint>
#include <vector>

// A failure while the headers are read or written: a result code of the
// string table, its "%s" argument and a text appended to it.
struct CSdfError {
    unsigned uCode = 0;
    CString sArg;
    CString sAppend;
};

// Where the records come from: random access by offset, so that a parser
// runs on a file or on a buffer in memory alike.
class ISdfInput {
public:
    virtual ~ISdfInput() = default;
    // Bytes read (fewer at the end of the input); -1 on a system error,
    // whose description Error() gives.
    virtual long long ReadAt(std::uint64_t offset, void* dst, std::size_t n) = 0;
    virtual std::uint64_t Size() const = 0;
    virtual CString Error() const { return CString(); }
};

class CSdfMemoryInput : public ISdfInput {
public:
    CSdfMemoryInput(const void* data, std::size_t size) : m_p(static_cast<const unsigned char*>(data)), m_n(size) {}
    long long ReadAt(std::uint64_t offset, void* dst, std::size_t n) override;
    std::uint64_t Size() const override { return m_n; }

private:
    const unsigned char* m_p;
    std::size_t m_n;
};

// An open file descriptor, read with pread (the descriptor is not moved).
class CSdfFileInput : public ISdfInput {
public:
    explicit CSdfFileInput(int fd);
    long long ReadAt(std::uint64_t offset, void* dst, std::size_t n) override;
    std::uint64_t Size() const override { return m_size; }
    CString Error() const override { return m_sError; }

private:
    int m_fd;
    std::uint64_t m_size = 0;
    CString m_sError;
};

// One entry per vector header (or the default entry of a file without any).
struct SSdfVectorEntry {
    int iDataHdr = 0;            // the data header the vector belongs to
    int aChannel[2] = {0, -1};   // channel header indices, -1: none
    int aPower[2] = {48, 0};     // powers of the channels (48 is the first power)
    int iVectorsOfDataHdr = 1;   // vectors of that data header
};

class CSdfHeaderSet {
public:
    static constexpr int kMaxDataHdr = 32;
    static constexpr int kMaxVectorHdr = 256;
    static constexpr int kMaxChannelHdr = 256;
    static constexpr int kMaxUnique = 256;

    SDF_FILE_HDR file{};
    SDF_MEAS_HDR meas{};
    std::vector<SDF_DATA_HDR> data;
    std::vector<SDF_VECTOR_HDR> vectors;
    std::vector<SDF_CHANNEL_HDR> channels;
    std::vector<SDF_UNIQUE> uniques;
    bool bScanStruct = false;
    SDF_SCAN_STRUCT scanStruct{};
    bool bScanBig = false;       // scan-big or scan-var record present (revision 3)
    SDF_SCAN_BIG scanBig{};
    SDF_SCAN_VAR scanVar{};
    bool bRowValues = false;     // a scan-var record with values behind the scan-big record
    SDF_SCAN_VAR rowVar{};
    long long llRowValues = -1;  // file position of its values, -1: none
    bool bComment = false;
    SDF_COMMENT_HDR comment{};
    CString sComment;            // the comment text, up to its first zero byte
    bool bXData = false;
    SDF_DATA_PREFIX xData{};
    SDF_DATA_PREFIX yData{};

    long long llScanTable = -1;  // file position of the scan table, -1: none
    long long llScanValues = -1; // file position of the scan-var values, -1: none
    long long llXStart = 0;      // first X value
    long long llYStart = 0;      // first Y value
    std::vector<SSdfVectorEntry> vectorTable;

    // Reads and checks every header record. Throws CSdfError (30, 31, 32,
    // 43, 45, 52).
    void Read(ISdfInput& in);

    // The records in writing order, each swapped to file order: the format
    // identifier, file, measurement, data, vector, channel and unique
    // records, and the scan-big and scan-var records when numScanBig is set.
    // uCode becomes 37 when a swap routine covered an unexpected size (the
    // remaining records are still written).
    std::vector<unsigned char> Serialize(unsigned& uCode) const;

    // Builds the vector table from the vector headers and the data headers'
    // first vector records.
    void BuildVectorTable();
};

class CQuantity;

namespace Sdf {
// The `domain` code of an abscissa quantity, the inverse of
// CQuantity::SdfXAxis2Trx (frequency 0, time 1, RPM 3, order 4, index 5);
// −99 for any other quantity.
int DomainOf(const CQuantity& q);
// A text field without its padding (up to the first zero byte).
CString FieldText(const char* field, std::size_t width);
// Fills a text field, padded with zero bytes (cut to the width).
void SetFieldText(char* field, std::size_t width, const char* text);
}  // namespace Sdf
