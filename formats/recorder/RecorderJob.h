#pragma once
// What the recorder imports share: the work buffer, the result ids, the
// calibration of a 16-bit channel, opening the data file, and making the data
// set so that a failure removes only what the job made.

#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace RecorderResult {
constexpr unsigned kSuccess = 2;
constexpr unsigned kNoMemory = 6;
constexpr unsigned kNoChannels = 7;
constexpr unsigned kCannotOpen = 10;
constexpr unsigned kWriteFailed = 11;
constexpr unsigned kBytesMismatch = 12;
constexpr unsigned kTrxNotCreated = 15;
constexpr unsigned kTrxNotClosed = 16;
constexpr unsigned kUnitNotConverted = 35;
constexpr unsigned kUnknownUnitsInLog = 60;
constexpr unsigned kLogNotRead = 61;
constexpr unsigned kHeaderNotRead = 70;
constexpr unsigned kSizeMismatch = 71;
constexpr unsigned kBigEndian = 72;
constexpr unsigned kInvalidHeaderValue = 73;
constexpr unsigned kVoltageValues = 74;
constexpr unsigned kTaffVersion = 75;
constexpr unsigned kQuickVuVersion = 76;
constexpr unsigned kHdrNotRead = 77;
constexpr unsigned kHdrParameterMissing = 78;
constexpr unsigned kStorageMode = 79;
constexpr unsigned kExternalSampling = 80;
}  // namespace RecorderResult

namespace RecorderJob {

// 65536 bytes, halved on failure while at least 4096; null (and size 0) when
// even that fails.
std::unique_ptr<unsigned char[]> AllocateWorkBuffer(std::size_t& size);
// Tests: buffers above this size fail to allocate (0: no limit).
void SetBufferLimitForTests(std::size_t bytes);

// Level of full scale of a 16-bit channel: 20·log10(factor·32768/(√2·reference)).
// 0 where that is no number (a factor of 0 or below).
float Calibration(double factor, double reference);

// The data file, read-only; -1 when it cannot be opened or is a directory.
// `length` receives its size.
int OpenDataFile(const char* path, std::uint64_t& length);

// A new data set at `path`, recorded in `outputs` once it exists. Null when
// the library refuses; `error` then holds its text. The file must not exist
// (the write probe has removed a replaceable one): a file that appears in the
// meantime belongs to someone else and is left alone. The `bytes` of samples
// at `sourceOffset` of the recorder's file are to be copied unchanged: the
// data set places its samples so that the kernel copies them fastest.
std::unique_ptr<CDataset> CreateDataset(const char* path, const CAbscissaList& abscissas,
                                        const CChannelList& channels, CCreatedOutputs& outputs, CString& error,
                                        std::uint64_t sourceOffset, std::uint64_t bytes);

}  // namespace RecorderJob
