#pragma once
// Result ids (string-table ids) of the MP3 conversions.

namespace Mp3Result {
constexpr unsigned kSuccess = 2;
constexpr unsigned kFileNotOpened = 10;
constexpr unsigned kTrxNotRead = 19;
constexpr unsigned kConverterFailed = 106;
constexpr unsigned kSideFileNotWritten = 107;
constexpr unsigned kSideFileNotApplied = 108;
}  // namespace Mp3Result
