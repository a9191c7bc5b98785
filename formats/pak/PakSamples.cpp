#include "formats/pak/PakSamples.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace PakSamples {
namespace {

// Where sample s of channel c lies on either side of the transposition.
struct SRuns {
    const unsigned char* const* runs;
    std::size_t bytes;
    const unsigned char* At(int c, long s) const { return runs[c] + std::size_t(s) * bytes; }
};
struct SScans {
    const unsigned char* base;
    std::size_t scanBytes, bytes;
    const unsigned char* At(int c, long s) const { return base + std::size_t(s) * scanBytes + std::size_t(c) * bytes; }
};

// One sample at a time: channels [c0, c1) for samples [s0, s1).
// The size is a constant of each loop, so that a sample moves in one instruction.
template <std::size_t B, class TFrom, class TTo>
void EdgeOf(const TFrom& from, const TTo& to, int c0, int c1, long s0, long s1)
{
    for (int c = c0; c < c1; ++c)
        for (long s = s0; s < s1; ++s)
            std::memcpy(const_cast<unsigned char*>(to.At(c, s)), from.At(c, s), B);
}
template <class TFrom, class TTo>
void Edge(const TFrom& from, const TTo& to, std::size_t bytes, int c0, int c1, long s0, long s1)
{
    if (bytes == 2)
        EdgeOf<2>(from, to, c0, c1, s0, s1);
    else
        EdgeOf<4>(from, to, c0, c1, s0, s1);
}

#if defined(__SSE2__)
inline __m128i Load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(const unsigned char* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(const_cast<unsigned char*>(p)), v);
}

// The low (Hi false) or high halves of a and b, interleaved by B-byte values.
template <std::size_t B, bool Hi>
inline __m128i Unpack(__m128i a, __m128i b)
{
    if constexpr (B == 2)
        return Hi ? _mm_unpackhi_epi16(a, b) : _mm_unpacklo_epi16(a, b);
    else
        return Hi ? _mm_unpackhi_epi32(a, b) : _mm_unpacklo_epi32(a, b);
}

constexpr int Log2(int v) { return v > 1 ? 1 + Log2(v / 2) : 0; }

// W vectors of B-byte values seen as one array: each round moves the value
// at index i to the index rotated left by one bit (of log2(W * 16 / B)).
// log2(W) rounds turn W runs of 16 / B samples into scans of W samples,
// log2(16 / B) rounds turn scans back into runs.
template <int W, std::size_t B, int Rounds>
__attribute__((always_inline)) inline void Shuffle(__m128i v[W])
{
#pragma GCC unroll 4
    for (int r = 0; r < Rounds; ++r) {
        __m128i a[W];
#pragma GCC unroll 8
        for (int i = 0; i < W / 2; ++i) {
            a[2 * i] = Unpack<B, false>(v[i], v[i + W / 2]);
            a[2 * i + 1] = Unpack<B, true>(v[i], v[i + W / 2]);
        }
#pragma GCC unroll 8
        for (int i = 0; i < W; ++i)
            v[i] = a[i];
    }
}

// Channels [c0, c0 + W) of samples [0, sEnd) (a multiple of 16 / B) in
// tiles of W x 16 / B samples: one vector per run, W * B bytes per scan.
// Where those bytes are the whole scan, the scans of a tile lie back to back
// and go in whole vectors.
template <int W, std::size_t B, class TFrom, class TTo>
void Tiles(const TFrom& from, const TTo& to, int c0, long sEnd, std::size_t scanBytes, bool toScans)
{
    constexpr int S = int(16 / B);
    constexpr std::size_t P = std::size_t(W) * B;
    const bool whole = scanBytes == P;
    alignas(16) unsigned char pieces[W * 16];
    for (long s = 0; s < sEnd; s += S) {
        __m128i v[W];
        if (toScans) {
            for (int k = 0; k < W; ++k)
                v[k] = Load(from.At(c0 + k, s));
            Shuffle<W, B, Log2(W)>(v);
            if (whole) {
                for (int k = 0; k < W; ++k)
                    Store(to.At(c0, s) + 16 * k, v[k]);
            } else if constexpr (P == 16) {
                for (int k = 0; k < W; ++k)
                    Store(to.At(c0, s + k), v[k]);
            } else {
                for (int k = 0; k < W; ++k)
                    _mm_store_si128(reinterpret_cast<__m128i*>(pieces + 16 * k), v[k]);
                for (int j = 0; j < S; ++j)
                    std::memcpy(const_cast<unsigned char*>(to.At(c0, s + j)), pieces + P * std::size_t(j), P);
            }
        } else {
            if (whole) {
                for (int k = 0; k < W; ++k)
                    v[k] = Load(from.At(c0, s) + 16 * k);
            } else if constexpr (P == 16) {
                for (int k = 0; k < W; ++k)
                    v[k] = Load(from.At(c0, s + k));
            } else {
                for (int j = 0; j < S; ++j)
                    std::memcpy(pieces + P * std::size_t(j), from.At(c0, s + j), P);
                for (int k = 0; k < W; ++k)
                    v[k] = _mm_load_si128(reinterpret_cast<const __m128i*>(pieces + 16 * k));
            }
            Shuffle<W, B, Log2(S)>(v);
            for (int k = 0; k < W; ++k)
                Store(to.At(c0 + k, s), v[k]);
        }
    }
}

// Every tile width that fits, widest first, from channel c on; returns the
// first channel left over.
template <std::size_t B, int W, int... Narrower, class TFrom, class TTo>
int TileChannels(const TFrom& from, const TTo& to, int c, int channels, long sEnd, std::size_t scanBytes,
                 bool toScans)
{
    for (; c + W <= channels; c += W)
        Tiles<W, B>(from, to, c, sEnd, scanBytes, toScans);
    if constexpr (sizeof...(Narrower) > 0)
        return TileChannels<B, Narrower...>(from, to, c, channels, sEnd, scanBytes, toScans);
    else
        return c;
}
#endif

// The transposition of `channels` x n samples; toScans tells the direction.
// Whatever the tiles leave is done one sample at a time.
template <class TFrom, class TTo>
void Transpose(const TFrom& from, const TTo& to, int channels, long n, std::size_t bytes, std::size_t scanBytes,
               bool toScans)
{
    if (channels == 1 && scanBytes == bytes) {
        if (n > 0)
            std::memcpy(const_cast<unsigned char*>(to.At(0, 0)), from.At(0, 0), std::size_t(n) * bytes);
        return;
    }
    int cDone = 0;
    long sDone = 0;
#if defined(__SSE2__)
    if (bytes == 2) {
        sDone = n - n % 8;
        cDone = TileChannels<2, 8, 4, 2>(from, to, 0, channels, sDone, scanBytes, toScans);
    } else if (bytes == 4) {
        sDone = n - n % 4;
        cDone = TileChannels<4, 4, 2>(from, to, 0, channels, sDone, scanBytes, toScans);
    }
#endif
    Edge(from, to, bytes, 0, cDone, sDone, n);
    Edge(from, to, bytes, cDone, channels, 0, n);
}

}  // namespace

std::size_t TransferSize(std::size_t preferred, std::size_t limit)
{
    std::size_t size = preferred;
    while (limit && size > limit && size >= 8192)
        size /= 2;
    return !limit || size <= limit ? size : 0;
}

CBuffer AllocateTransferBuffer(std::size_t preferred, std::size_t limit, std::size_t& size)
{
    for (size = preferred; size >= 4096; size /= 2)
        if (!limit || size <= limit)
            if (CBuffer p = LargeBuffer::Allocate(size))
                return p;
    size = 0;
    return nullptr;
}

void Interleave(const unsigned char* const* runs, int channels, long n, std::size_t bytes, unsigned char* out,
                std::size_t scanBytes)
{
    Transpose(SRuns{runs, bytes}, SScans{out, scanBytes, bytes}, channels, n, bytes, scanBytes, true);
}

void Deinterleave(const unsigned char* in, std::size_t scanBytes, int channels, long n, std::size_t bytes,
                  unsigned char* const* runs)
{
    Transpose(SScans{in, scanBytes, bytes}, SRuns{runs, bytes}, channels, n, bytes, scanBytes, false);
}

void SwapBytes(unsigned char* p, std::size_t n, std::size_t bytes)
{
    // Plain loops over whole values, which the compiler turns into vector code.
    if (bytes == 2) {
        for (std::size_t i = 0; i < n; ++i, p += 2) {
            std::uint16_t v;
            std::memcpy(&v, p, 2);
            v = std::uint16_t((v << 8) | (v >> 8));
            std::memcpy(p, &v, 2);
        }
    } else {
        for (std::size_t i = 0; i < n; ++i, p += 4) {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            v = __builtin_bswap32(v);
            std::memcpy(p, &v, 4);
        }
    }
}

}  // namespace PakSamples
