#pragma once
// Result ids (string-table ids) that the shared services raise.

namespace ResultId {
constexpr unsigned kOutputExists = 8;
constexpr unsigned kSharingViolation = 9;
constexpr unsigned kFileNotOpened = 10;
constexpr unsigned kDirectoryNotCreated = 13;
constexpr unsigned kWriteAccessDenied = 100;
constexpr unsigned kWriteProtected = 101;
constexpr unsigned kInputIsOutput = 111;
}  // namespace ResultId
