#pragma once
// The kernel copy of samples that pass unchanged, in pieces: one call for a
// whole recording would copy many gigabytes before a stop request is seen.

#include <cstdint>
#include <functional>

class CDataStream;

namespace PieceCopy {

// 32 MiB: a few milliseconds of copying each, and a multiple of the 64 KiB
// phase the data set gives copied samples, so the pieces keep it.
constexpr std::uint64_t kPiece = std::uint64_t(32) << 20;

// Copies `length` bytes of `fd` from `offset` into `stream` at its position,
// asking `stop` before each piece. Returns the bytes copied: fewer at the end
// of the source, on a failure (the stream's error state is set) or when
// `stop` answered true (then `stopped` is set).
std::uint64_t Copy(CDataStream& stream, int fd, std::uint64_t offset, std::uint64_t length,
                   const std::function<bool()>& stop, bool& stopped);

}  // namespace PieceCopy
