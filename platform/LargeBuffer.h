#pragma once
// Uninitialised memory for the blocks that conversions move samples through.
// From a megabyte up it lies in huge pages where the system gives them: a few
// page faults instead of hundreds, which on a virtual machine cost more than
// the copying itself.

#include <cstddef>
#include <cstdlib>
#include <memory>

namespace LargeBuffer {

struct SFree {
    void operator()(unsigned char* p) const { std::free(p); }
};
using CBuffer = std::unique_ptr<unsigned char[], SFree>;

// n bytes, never zero-filled; null when memory is short.
CBuffer Allocate(std::size_t n);

}  // namespace LargeBuffer
