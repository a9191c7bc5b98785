#pragma once
// The lossless code of the pulse bits that travel beside an MP3 file.
//
// MP3 keeps no bit of a sample exactly, so the pulse bits of a data set's
// sub-channels are stored apart, per chunk of at most 8192 scans, in bytes
// of two kinds:
//   run      bit 0 set:   (n - 1) * 4 + bit * 2 + 1, n equal bits (8..64)
//   literal  bit 0 clear: bits 1..7 are the next 7 bits, in order
// A run needs at least 8 equal bits from its position; it ends at 64 bits,
// at the first other bit or at the end of the chunk. A literal carries 7
// bits even when fewer are left in the chunk: the ones beyond are 0 and a
// reader ignores them.
//
// Within a chunk every sub-channel has a position, all starting at 0; the
// next byte belongs to the sub-channel with the smallest position (the
// lowest index on a tie), until every position has reached the chunk's end.
// The writer and the reader follow the same schedule, so the bytes of the
// sub-channels interleave without any marker.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace PulseBitCode {

constexpr long kChunkScans = 8192;
constexpr int kLiteralBits = 7;
constexpr int kMinRun = 8;
constexpr int kMaxRun = 64;

// One pulse sub-channel: the channel whose samples carry it, its mask and
// the bit number that the mask stands for (the doublings of 1 needed to
// reach at least the mask: 0 for 1, 3 for 8).
struct SPulseBit {
    int parent = 0;
    unsigned mask = 1;
    int bit = 0;
};
int BitNumber(unsigned mask);
SPulseBit MakePulseBit(int parent, unsigned mask);

// Appends the code of one chunk: `samples` holds `scans` scans of
// `channels` interleaved 16-bit samples. A sub-channel's bit in a sample is
// high when the sample, masked, is not 0. Every parent must be below
// `channels`.
void EncodeChunk(const std::vector<SPulseBit>& subs, const std::int16_t* samples, int channels, long scans,
                 std::vector<unsigned char>& out);

// Where a decoder takes its bytes from.
class CByteSource {
public:
    virtual ~CByteSource() = default;
    // The next byte; false at the end.
    virtual bool Next(unsigned char& byte) = 0;
};

// Bytes in memory.
class CMemorySource : public CByteSource {
public:
    CMemorySource(const unsigned char* data, std::size_t size) : m_p(data), m_end(data + size) {}
    bool Next(unsigned char& byte) override
    {
        if (m_p == m_end) return false;
        byte = *m_p++;
        return true;
    }
    std::size_t Remaining() const { return std::size_t(m_end - m_p); }

private:
    const unsigned char* m_p;
    const unsigned char* m_end;
};

// Outcome of decoding one chunk.
enum class EDecode {
    Ok,
    End,        // no byte at all where the chunk begins: the code has ended
    Truncated,  // the code ends inside the chunk
    Invalid,    // a run shorter than 8 or running past the chunk's end
};

// Decodes one chunk of `scans` scans: bits[s][i] becomes the bit of
// sub-channel s at scan i (0 or 1). `bits` is resized as needed.
EDecode DecodeChunk(const std::vector<SPulseBit>& subs, long scans, CByteSource& in,
                    std::vector<std::vector<std::uint8_t>>& bits);

// Writes decoded bits, from bit `from` of the chunk on, into `scans` scans
// of interleaved 16-bit samples: a high bit sets the sub-channel's mask in
// its parent's sample, a low bit clears it; other bits of the sample stay.
void ApplyChunk(const std::vector<SPulseBit>& subs, const std::vector<std::vector<std::uint8_t>>& bits,
                std::int16_t* samples, int channels, long scans, long from = 0);

}  // namespace PulseBitCode
