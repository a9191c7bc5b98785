#pragma once
// The LOG file of a SONY MK II/III recording: a line-oriented text with the
// recording parameters and one CHANNEL line per recorded channel. The reader
// works on the file's bytes in memory, so that it can be tried on anything.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct SSonyChannel {
    int iNumber = 0;          // zero-based, as the LOG counts from 1
    std::string sName;        // up to 10 characters
    std::string sUnit;        // up to 8 characters
    std::string sMapping;     // up to 25 characters, "0.00153*(X)+0.0"
    bool bUsed = false;
};

struct SSonyLog {
    static constexpr int kMaxChannels = 128;
    static constexpr std::uint16_t kRangeUnknown = 9999;

    std::string sVersion;                 // 4 characters
    std::string sDataFile;                // read, not used further
    int iFormat = -1;                     // the digit of FORMAT; only 0 is read
    std::int32_t lSamplesPerChannel = 0;  // VOLUME_CH
    double dInterval = 0.0;               // FILE_INTVL_CH, seconds
    std::string sFileMemo;                // FILE_MEMO or REMARKS, the later wins
    std::int32_t iTapeMode = 0;
    std::int32_t lTapeSampleRate = 0;
    std::int16_t nDecimation = 0;
    int iTapeSpeed = -1;
    int iID = 0;
    std::int32_t lDate = 0, lTime = 0;
    std::int32_t lCounterAddress = 0;     // seconds
    std::string sMemo;                    // up to 139 characters
    int iTrigMode = -1;
    std::vector<SSonyChannel> channels;   // in LOG order
    // Per channel number, tenths of a volt.
    std::array<std::uint16_t, kMaxChannels> inputRange{};
    // Bit k clear: the k-th keyword of the list was found (FORMAT: with 0).
    std::uint16_t uMissing = 0xFFFF;
};

// The bits of SSonyLog::uMissing, in the order of the keyword list.
enum ESonyLogBit : int {
    kSonyVersion = 0, kSonyDataFile, kSonyFormat, kSonyVolume, kSonyInterval, kSonyFileMemo, kSonyChannel,
    kSonyTapeMode, kSonyTapeRate, kSonyDecimation, kSonyTapeSpeed, kSonyID, kSonyDateTime, kSonyCounter,
    kSonyMemo, kSonyTrigMode, kSonyBitCount
};

// Reads a LOG from its bytes. True when every keyword of the list appeared
// (INPUT_RANGE aside), FORMAT was 0 and there was at least one channel.
// Otherwise `failure` says why, naming the first keyword missing; with no
// channel at all it is the text "No channels were read!\nLog file may be
// corrupted".
bool ReadSonyLog(const char* data, std::size_t size, SSonyLog& log, std::string& failure);

// Keyword of a bit of uMissing.
const char* SonyLogKeyword(int bit);

// The mapping text "a*(X)+b": factor a and offset b. "*", "(" and ")" count
// as blanks; the offset is the signed number after the factor.
void ParseSonyMapping(const std::string& text, double& factor, double& offset);

// The LOG file that belongs to a data file: its extension replaced by ".LOG"
// (appended when it has none). On this system names are case-sensitive, so
// when that name does not exist the ".log" spelling is taken if it does.
std::string SonyLogPath(const char* dataFile);
