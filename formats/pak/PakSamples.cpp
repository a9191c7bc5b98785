#include "formats/pak/PakSamples.h"

#include <cstdint>
#include <cstring>
#include <sys/mman.h>

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
template <class TFrom, class TTo>
void Edge(const TFrom& from, const TTo& to, std::size_t bytes, int c0, int c1, long s0, long s1)
{
    for (int c = c0; c < c1; ++c)
        for (long s = s0; s < s1; ++s)
            std::memcpy(const_cast<unsigned char*>(to.At(c, s)), from.At(c, s), bytes);
}

#if defined(__SSE2__)
inline __m128i Load(const unsigned char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
inline void Store(const unsigned char* p, __m128i v)
{
    _mm_storeu_si128(reinterpret_cast<__m128i*>(const_cast<unsigned char*>(p)), v);
}
inline __m128i Load64(const unsigned char* p) { return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)); }
inline void Store64(const unsigned char* p, __m128i v)
{
    _mm_storel_epi64(reinterpret_cast<__m128i*>(const_cast<unsigned char*>(p)), v);
}

// 8 x 8 16-bit values: v[i] element j becomes v[j] element i.
inline void Transpose8x16(__m128i v[8])
{
    const __m128i a0 = _mm_unpacklo_epi16(v[0], v[1]), a1 = _mm_unpackhi_epi16(v[0], v[1]);
    const __m128i a2 = _mm_unpacklo_epi16(v[2], v[3]), a3 = _mm_unpackhi_epi16(v[2], v[3]);
    const __m128i a4 = _mm_unpacklo_epi16(v[4], v[5]), a5 = _mm_unpackhi_epi16(v[4], v[5]);
    const __m128i a6 = _mm_unpacklo_epi16(v[6], v[7]), a7 = _mm_unpackhi_epi16(v[6], v[7]);
    const __m128i b0 = _mm_unpacklo_epi32(a0, a2), b1 = _mm_unpackhi_epi32(a0, a2);
    const __m128i b2 = _mm_unpacklo_epi32(a1, a3), b3 = _mm_unpackhi_epi32(a1, a3);
    const __m128i b4 = _mm_unpacklo_epi32(a4, a6), b5 = _mm_unpackhi_epi32(a4, a6);
    const __m128i b6 = _mm_unpacklo_epi32(a5, a7), b7 = _mm_unpackhi_epi32(a5, a7);
    v[0] = _mm_unpacklo_epi64(b0, b4);
    v[1] = _mm_unpackhi_epi64(b0, b4);
    v[2] = _mm_unpacklo_epi64(b1, b5);
    v[3] = _mm_unpackhi_epi64(b1, b5);
    v[4] = _mm_unpacklo_epi64(b2, b6);
    v[5] = _mm_unpackhi_epi64(b2, b6);
    v[6] = _mm_unpacklo_epi64(b3, b7);
    v[7] = _mm_unpackhi_epi64(b3, b7);
}

// 4 x 4 32-bit values.
inline void Transpose4x32(__m128i v[4])
{
    const __m128i a0 = _mm_unpacklo_epi32(v[0], v[1]), a1 = _mm_unpackhi_epi32(v[0], v[1]);
    const __m128i a2 = _mm_unpacklo_epi32(v[2], v[3]), a3 = _mm_unpackhi_epi32(v[2], v[3]);
    v[0] = _mm_unpacklo_epi64(a0, a2);
    v[1] = _mm_unpackhi_epi64(a0, a2);
    v[2] = _mm_unpacklo_epi64(a1, a3);
    v[3] = _mm_unpackhi_epi64(a1, a3);
}

// Four runs of 8 16-bit samples to 8 scans of 4 (as 4 vectors of 2 scans).
inline void RunsToScans4x16(__m128i v[4])
{
    const __m128i a0 = _mm_unpacklo_epi16(v[0], v[1]), a1 = _mm_unpackhi_epi16(v[0], v[1]);
    const __m128i a2 = _mm_unpacklo_epi16(v[2], v[3]), a3 = _mm_unpackhi_epi16(v[2], v[3]);
    v[0] = _mm_unpacklo_epi32(a0, a2);
    v[1] = _mm_unpackhi_epi32(a0, a2);
    v[2] = _mm_unpacklo_epi32(a1, a3);
    v[3] = _mm_unpackhi_epi32(a1, a3);
}

// 8 scans of 4 16-bit samples (4 vectors of 2 scans) to four runs of 8.
inline void ScansToRuns4x16(__m128i v[4])
{
    const __m128i a0 = _mm_unpacklo_epi16(v[0], v[1]), a1 = _mm_unpackhi_epi16(v[0], v[1]);
    const __m128i a2 = _mm_unpacklo_epi16(v[2], v[3]), a3 = _mm_unpackhi_epi16(v[2], v[3]);
    const __m128i b0 = _mm_unpacklo_epi16(a0, a1), b1 = _mm_unpackhi_epi16(a0, a1);
    const __m128i b2 = _mm_unpacklo_epi16(a2, a3), b3 = _mm_unpackhi_epi16(a2, a3);
    v[0] = _mm_unpacklo_epi64(b0, b2);
    v[1] = _mm_unpackhi_epi64(b0, b2);
    v[2] = _mm_unpacklo_epi64(b1, b3);
    v[3] = _mm_unpackhi_epi64(b1, b3);
}
#endif

// The transposition of `channels` x n samples; toScans tells the direction.
// Returns nothing: whatever the tiles leave is done one sample at a time.
template <class TFrom, class TTo>
void Transpose(const TFrom& from, const TTo& to, int channels, long n, std::size_t bytes, bool toScans)
{
    int cDone = 0;
    long sDone = 0;
#if defined(__SSE2__)
    if (bytes == 2) {
        sDone = n - n % 8;
        for (; cDone + 8 <= channels; cDone += 8)
            for (long s = 0; s < sDone; s += 8) {
                __m128i v[8];
                for (int k = 0; k < 8; ++k)
                    v[k] = Load(toScans ? from.At(cDone + k, s) : from.At(cDone, s + k));
                Transpose8x16(v);
                for (int k = 0; k < 8; ++k)
                    Store(toScans ? to.At(cDone, s + k) : to.At(cDone + k, s), v[k]);
            }
        if (cDone + 4 <= channels) {
            for (long s = 0; s < sDone; s += 8) {
                __m128i v[4];
                if (toScans) {
                    for (int k = 0; k < 4; ++k)
                        v[k] = Load(from.At(cDone + k, s));
                    RunsToScans4x16(v);
                    for (int k = 0; k < 4; ++k) {
                        Store64(to.At(cDone, s + 2 * k), v[k]);
                        Store64(to.At(cDone, s + 2 * k + 1), _mm_unpackhi_epi64(v[k], v[k]));
                    }
                } else {
                    for (int k = 0; k < 4; ++k)
                        v[k] = _mm_unpacklo_epi64(Load64(from.At(cDone, s + 2 * k)),
                                                  Load64(from.At(cDone, s + 2 * k + 1)));
                    ScansToRuns4x16(v);
                    for (int k = 0; k < 4; ++k)
                        Store(to.At(cDone + k, s), v[k]);
                }
            }
            cDone += 4;
        }
    } else if (bytes == 4) {
        sDone = n - n % 4;
        for (; cDone + 4 <= channels; cDone += 4)
            for (long s = 0; s < sDone; s += 4) {
                __m128i v[4];
                for (int k = 0; k < 4; ++k)
                    v[k] = Load(toScans ? from.At(cDone + k, s) : from.At(cDone, s + k));
                Transpose4x32(v);
                for (int k = 0; k < 4; ++k)
                    Store(toScans ? to.At(cDone, s + k) : to.At(cDone + k, s), v[k]);
            }
    }
#endif
    Edge(from, to, bytes, 0, cDone, sDone, n);
    Edge(from, to, bytes, cDone, channels, 0, n);
}

}  // namespace

CBuffer AllocateBuffer(std::size_t n)
{
    constexpr std::size_t kHuge = 2u << 20;
    if (n < kHuge / 2)
        return CBuffer(static_cast<unsigned char*>(std::malloc(n ? n : 1)));
    const std::size_t size = (n + kHuge - 1) / kHuge * kHuge;
    auto* p = static_cast<unsigned char*>(std::aligned_alloc(kHuge, size));
#if defined(MADV_HUGEPAGE)
    if (p)
        ::madvise(p, size, MADV_HUGEPAGE);
#endif
    return CBuffer(p);
}

void Interleave(const unsigned char* const* runs, int channels, long n, std::size_t bytes, unsigned char* out,
                std::size_t scanBytes)
{
    Transpose(SRuns{runs, bytes}, SScans{out, scanBytes, bytes}, channels, n, bytes, true);
}

void Deinterleave(const unsigned char* in, std::size_t scanBytes, int channels, long n, std::size_t bytes,
                  unsigned char* const* runs)
{
    Transpose(SScans{in, scanBytes, bytes}, SRuns{runs, bytes}, channels, n, bytes, false);
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
