#pragma once
// Moving samples between the layout of a PAK block (each channel's samples
// in one run) and the layout of a data set (scans: one sample of every
// channel after the other). Both directions are a transposition; it runs in
// tiles of 8, 4 or 2 channels by one vector of samples each (8 16-bit or 4
// 32-bit ones), held in vector registers where the machine has them, one
// sample at a time for the edges.
// Addresses need no alignment; a scan may be longer than its samples (the
// data set's pulse byte follows them).

#include <cstddef>

#include "platform/LargeBuffer.h"

namespace PakSamples {

using CBuffer = LargeBuffer::CBuffer;

// The size of a job's transfer blocks: `preferred` bytes, halved while larger
// than `limit` (0: no limit), down to 4096 bytes; 0 when even that is over
// the limit.
std::size_t TransferSize(std::size_t preferred, std::size_t limit);

// A job's transfer buffer: `preferred` bytes, halved while the allocation
// fails or is larger than `limit` (0: no limit), down to 4096 bytes; null,
// with size 0, when even that cannot be had.
CBuffer AllocateTransferBuffer(std::size_t preferred, std::size_t limit, std::size_t& size);

// Sample s of channel c, at runs[c] + s * bytes, goes to
// out + s * scanBytes + c * bytes; bytes is 2 or 4, n the samples per channel.
void Interleave(const unsigned char* const* runs, int channels, long n, std::size_t bytes, unsigned char* out,
                std::size_t scanBytes);

// The reverse: sample c of scan s, at in + s * scanBytes + c * bytes, goes to
// runs[c] + s * bytes.
void Deinterleave(const unsigned char* in, std::size_t scanBytes, int channels, long n, std::size_t bytes,
                  unsigned char* const* runs);

// Reverses the bytes of each of the n values of `bytes` (2 or 4) bytes at p.
void SwapBytes(unsigned char* p, std::size_t n, std::size_t bytes);

}  // namespace PakSamples
