#pragma once
// The WAVE side shared by the import, the export and the fuzz target: the
// PCM format record, the header walk, and the sample layouts.

#include "platform/Riff.h"

#include <cstddef>
#include <cstdint>

// Result ids the WAVE code raises.
namespace WaveResult {
constexpr unsigned kSuccess = 2;
constexpr unsigned kNoMemory = 6;
constexpr unsigned kOutputExists = 8;
constexpr unsigned kCannotOpen = 10;
constexpr unsigned kWriteFailed = 11;
constexpr unsigned kBytesMismatch = 12;
constexpr unsigned kTrxNotCreated = 15;
constexpr unsigned kTrxNotClosed = 16;
constexpr unsigned kNoExportableChannels = 17;
constexpr unsigned kTrxNotRead = 19;
constexpr unsigned kNoTimeData = 21;
constexpr unsigned kMixedRates = 22;
constexpr unsigned kSourceNotOpened = 23;
constexpr unsigned kSourceNotConfigured = 24;
constexpr unsigned kDrainNotConfigured = 25;
constexpr unsigned kNetworkNotInitialised = 26;
constexpr unsigned kNetworkNotReset = 27;
constexpr unsigned kSubchannelsNotExported = 28;
constexpr unsigned kInvalidParameters = 116;
constexpr unsigned kPulseFileNotRead = 117;
constexpr unsigned kWaveNotRead = 140;
constexpr unsigned kFormatNotAccepted = 141;
constexpr unsigned kWaveNotClosed = 142;
constexpr unsigned kShortWaveData = 143;
}  // namespace WaveResult

// The first 16 bytes of the "fmt " chunk (PCM format record), little-endian.
struct SWaveFormat {
    std::uint16_t formatTag = 0;
    std::uint16_t channels = 0;
    std::uint32_t samplesPerSec = 0;
    std::uint32_t avgBytesPerSec = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;

    static constexpr std::size_t kSize = 16;
    static SWaveFormat Parse(const unsigned char* record);
    void Store(unsigned char* record) const;
};

// Enters the first chunk of the file, which must be a RIFF chunk of form
// "WAVE". 0 or 140.
unsigned EnterWaveRiff(CRiffFile& file, CRiffChunk& riff);

// Finds "fmt " (at least 16 bytes) inside the RIFF chunk, reads its record,
// checks it, then finds "data" after it. 0, 140 (chunks missing or short) or
// 141 (record refused). On success the file stands at the first sample byte.
unsigned ReadWaveHeader(CRiffFile& file, const CRiffChunk& riff, SWaveFormat& format, CRiffChunk& data);

// The formats the import takes: PCM, 1 to 256 channels, 1 to 32 bits, a
// non-zero rate, and frames made of whole samples of 1 to 4 bytes.
bool IsImportableFormat(const SWaveFormat& format);

// How the import stores samples of B bytes: implementation type and the
// full-scale value that the mapping divides by.
struct SImportLayout {
    int bytesPerSample;
    int implType;
    double fullScale;
};
SImportLayout ImportLayoutFor(int bytesPerSample);

// Unsigned 8-bit PCM to signed 16-bit little-endian: the byte b becomes the
// value (b XOR 0x80) × 256. `out` holds 2n bytes.
void WidenUnsigned8(const unsigned char* in, std::size_t n, unsigned char* out);
