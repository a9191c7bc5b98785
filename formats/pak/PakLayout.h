#pragma once
// The binary structures of a PAK throughput file ("TDATA"): the throughput
// header and the setup structure, then the data blocks. Every multi-byte
// value is little-endian unless the header's byte-order text says "MSB";
// the accessors below read and write a field in the file's order, which is
// the same as swapping each field after reading.
//
// Fields not named here are carried unread (import) or hold the export's
// defaults (formats/pak/PakSetupDefaults.cpp, docs/pak.md).

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace PakLayout {

constexpr std::size_t kHeaderSize = 8008;
constexpr std::size_t kSetupSize = 67568;
constexpr int kMaxChannels = 256;
constexpr int kMaxPulseChannels = 8;

// Throughput header.
constexpr std::size_t kHdrByteOrder = 0;      // text, zero-terminated
constexpr std::size_t kHdrRevision = 8;       // int32, 1
constexpr std::size_t kHdrScale = 16;         // double per channel
constexpr std::size_t kHdrSamplesPerBlock = 2064;   // int32
constexpr std::size_t kHdrBits = 2068;        // int16: 16 integer samples, else float
constexpr std::size_t kHdrValuesPerBlock = 2072;    // int32 per channel (non-analog)
constexpr std::size_t kHdrStart = 3096;       // double, seconds since 1970
constexpr std::size_t kHdrTimeZone = 3112;    // int16, hours

// Setup structure.
constexpr std::size_t kSetRevision = 0;       // int16, 2
constexpr std::size_t kSetBlocks = 24;        // int32
constexpr std::size_t kSetChannels = 28;      // int16
constexpr std::size_t kSetRate = 32;          // float
constexpr std::size_t kSetRecords = 36848;    // 120-byte channel records
constexpr std::size_t kRecordSize = 120;

// Channel record.
constexpr std::size_t kRecKind = 4;           // int16: 0 unused, 1 analog, >1 pulse
constexpr std::size_t kRecQuantity = 32;      // int16 quantity code
constexpr std::size_t kRecFactor = 40;        // double
constexpr std::size_t kRecOffset = 48;        // double, mapping offset

constexpr std::size_t Record(int channel) { return kSetRecords + kRecordSize * std::size_t(channel); }

// A structure's bytes with the byte order of its file.
class CFields {
public:
    CFields(unsigned char* bytes, std::size_t size, bool bigEndian) : m_p(bytes), m_n(size), m_big(bigEndian) {}

    template <class T>
    T Get(std::size_t offset) const
    {
        unsigned char b[sizeof(T)] = {};
        if (offset + sizeof(T) <= m_n)
            std::memcpy(b, m_p + offset, sizeof(T));
        if (m_big)
            Reverse(b, sizeof(T));
        T v;
        std::memcpy(&v, b, sizeof(T));
        return v;
    }
    template <class T>
    void Put(std::size_t offset, T v)
    {
        unsigned char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        if (m_big)
            Reverse(b, sizeof(T));
        if (offset + sizeof(T) <= m_n)
            std::memcpy(m_p + offset, b, sizeof(T));
    }
    // Text of at most `size` bytes, up to its first zero byte.
    std::string Text(std::size_t offset, std::size_t size) const;

private:
    static void Reverse(unsigned char* b, std::size_t n)
    {
        for (std::size_t i = 0; i < n / 2; ++i)
            std::swap(b[i], b[n - 1 - i]);
    }
    unsigned char* m_p;
    std::size_t m_n;
    bool m_big;
};

// True when the header's byte-order text is "MSB" in any case.
bool IsBigEndian(const unsigned char* header);

}  // namespace PakLayout

// What an import needs of a throughput file, read from its header and setup.
struct SPakChannel {
    int iIndex = 0;             // record number
    short nKind = 0;
    short nQuantity = 0;        // PAK quantity code
    double dFactor = 1.0;       // record's channel factor
    double dOffset = 0.0;       // record's mapping offset
    double dScale = 1.0;        // header's scale factor
    std::int32_t lValues = 0;   // 4-byte values per block (pulse channels)
    std::uint64_t uBlockOffset = 0;   // where the channel's values start in a block
};

struct SPakThroughput {
    bool bBigEndian = false;
    std::int32_t lHeaderRevision = 0;
    short nSetupRevision = 0;
    std::int32_t lSamplesPerBlock = 0;
    short nBits = 0;
    double dStart = 0.0;
    short nTimeZone = 0;
    std::int32_t lBlocks = 0;
    short nChannels = 0;
    float fRate = 0.0f;

    int iPulseFound = 0;                  // pulse channels declared (before the limit of 8)
    std::vector<SPakChannel> analog;      // in record order
    std::vector<SPakChannel> pulse;       // at most 8, in record order
    std::uint64_t uBlockBytes = 0;        // bytes of one block

    bool IsFloat() const { return nBits != 16; }
    int SampleBytes() const { return IsFloat() ? 4 : 2; }
};

// Reads the fields of header and setup (each the full size). Returns 0, or
// the result id of the first check that fails, in the import's order:
// 105 channel count outside 1..256, 130 revisions, 7 no analog channel, 103
// more analog and pulse channels than declared, 131 values that give no
// time axis or no block layout (detail names the field). More than 8 pulse
// channels is not a failure: iPulseFound tells, and the first 8 are kept.
unsigned ReadPakThroughput(const unsigned char* header, const unsigned char* setup, SPakThroughput& t,
                           std::string& detail);

// Channel names from the side files of a measurement directory: 256 texts of
// at most 128 characters, filled in by "MeasSetup/ChanPos" (POS, MPTEXT,
// DIRECTION lines) and then "MPlist" (line i before its first tab names
// channel i while its name is empty).
using PakNames = std::array<std::string, PakLayout::kMaxChannels>;
void ReadChanPosNames(const char* text, std::size_t size, PakNames& names);
void ReadMPlistNames(const char* text, std::size_t size, PakNames& names);
