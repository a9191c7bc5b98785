#include "formats/sdf/SdfRecords.h"

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace Sdf {

namespace {

template <class T, T (*Swap)(T)>
void SwapAll(unsigned char* p, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i, p += sizeof(T)) {
        T v;
        std::memcpy(&v, p, sizeof v);
        v = Swap(v);
        std::memcpy(p, &v, sizeof v);
    }
}

std::uint16_t Swap16(std::uint16_t v) { return __builtin_bswap16(v); }
std::uint32_t Swap32(std::uint32_t v) { return __builtin_bswap32(v); }
std::uint64_t Swap64(std::uint64_t v) { return __builtin_bswap64(v); }

}  // namespace

void SwapBytes(void* buffer, int size, std::size_t count)
{
    auto* p = static_cast<unsigned char*>(buffer);
    switch (size) {
    case 2: SwapAll<std::uint16_t, Swap16>(p, count); break;
    case 4: SwapAll<std::uint32_t, Swap32>(p, count); break;
    case 8: SwapAll<std::uint64_t, Swap64>(p, count); break;
    default: break;
    }
}

namespace {

// The value loops are the whole cost of a conversion, so they are written
// for the vectoriser: typed pointers that do not alias, a channel count
// known at compile time, the byte reversal of a plain integer.
template <class T>
[[gnu::always_inline]] inline T Reversed(T v)
{
    if constexpr (sizeof(T) == 2)
        return __builtin_bswap16(v);
    else if constexpr (sizeof(T) == 4)
        return __builtin_bswap32(v);
    else
        return __builtin_bswap64(v);
}

template <class T>
[[gnu::always_inline]] inline void CopySwappedT(const unsigned char* s, std::size_t srcStride, unsigned char* d,
                                                std::size_t dstStride, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i, s += srcStride, d += dstStride) {
        T v;
        std::memcpy(&v, s, sizeof v);
        v = Reversed(v);
        std::memcpy(d, &v, sizeof v);
    }
}

template <class T>
[[gnu::always_inline]] inline T Load(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T, int N>
[[gnu::always_inline]] inline void InterleaveT(const unsigned char* __restrict src, std::size_t traceStride,
                                               unsigned char* __restrict dst, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        for (int c = 0; c < N; ++c) {
            const T v = Reversed(Load<T>(src + std::size_t(c) * traceStride + i * sizeof(T)));
            std::memcpy(dst + (i * N + std::size_t(c)) * sizeof(T), &v, sizeof v);
        }
}

template <class T, int N>
[[gnu::always_inline]] inline void DeinterleaveT(const unsigned char* __restrict src, unsigned char* __restrict dst,
                                                 std::size_t traceStride, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        for (int c = 0; c < N; ++c) {
            const T v = Reversed(Load<T>(src + (i * N + std::size_t(c)) * sizeof(T)));
            std::memcpy(dst + std::size_t(c) * traceStride + i * sizeof(T), &v, sizeof v);
        }
}

template <class T>
[[gnu::always_inline]] inline bool InterleaveSized(const unsigned char* src, std::size_t traceStride, int channels,
                                                   unsigned char* dst, std::size_t count, bool back)
{
    switch (channels) {
#define TESSEL_SDF_CASE(N)                                                                                        \
    case N:                                                                                                       \
        if (back)                                                                                                 \
            DeinterleaveT<T, N>(src, dst, traceStride, count);                                                    \
        else                                                                                                      \
            InterleaveT<T, N>(src, traceStride, dst, count);                                                      \
        return true;
        TESSEL_SDF_CASE(1)
        TESSEL_SDF_CASE(2)
        TESSEL_SDF_CASE(3)
        TESSEL_SDF_CASE(4)
        TESSEL_SDF_CASE(6)
        TESSEL_SDF_CASE(8)
#undef TESSEL_SDF_CASE
    default: return false;
    }
}

// Built for the wider vector units where the processor has them; the
// loader picks the version once.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define TESSEL_SDF_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define TESSEL_SDF_CLONES
#endif

TESSEL_SDF_CLONES
void Transpose(const unsigned char* src, std::size_t traceStride, int channels, unsigned char* dst, int size,
               std::size_t count, bool back)
{
    bool done = false;
    switch (size) {
    case 2: done = InterleaveSized<std::uint16_t>(src, traceStride, channels, dst, count, back); break;
    case 4: done = InterleaveSized<std::uint32_t>(src, traceStride, channels, dst, count, back); break;
    case 8: done = InterleaveSized<std::uint64_t>(src, traceStride, channels, dst, count, back); break;
    default: return;
    }
    if (done)
        return;
    const std::size_t scan = std::size_t(channels) * std::size_t(size);
    for (int c = 0; c < channels; ++c) {
        const std::size_t trace = std::size_t(c) * traceStride, item = std::size_t(c) * std::size_t(size);
        const unsigned char* s = back ? src + item : src + trace;
        unsigned char* d = back ? dst + trace : dst + item;
        const std::size_t ss = back ? scan : std::size_t(size), ds = back ? std::size_t(size) : scan;
        switch (size) {
        case 2: CopySwappedT<std::uint16_t>(s, ss, d, ds, count); break;
        case 4: CopySwappedT<std::uint32_t>(s, ss, d, ds, count); break;
        default: CopySwappedT<std::uint64_t>(s, ss, d, ds, count); break;
        }
    }
}

TESSEL_SDF_CLONES
void CopySwappedAny(const unsigned char* s, std::size_t srcStride, unsigned char* d, std::size_t dstStride, int size,
                    std::size_t count)
{
    switch (size) {
    case 2: CopySwappedT<std::uint16_t>(s, srcStride, d, dstStride, count); break;
    case 4: CopySwappedT<std::uint32_t>(s, srcStride, d, dstStride, count); break;
    case 8: CopySwappedT<std::uint64_t>(s, srcStride, d, dstStride, count); break;
    default: break;
    }
}

}  // namespace

void CopySwapped(const void* src, std::size_t srcStride, void* dst, std::size_t dstStride, int size, std::size_t count)
{
    CopySwappedAny(static_cast<const unsigned char*>(src), srcStride, static_cast<unsigned char*>(dst), dstStride,
                   size, count);
}

void InterleaveSwapped(const void* src, std::size_t traceStride, int channels, void* dst, int size, std::size_t count)
{
    Transpose(static_cast<const unsigned char*>(src), traceStride, channels, static_cast<unsigned char*>(dst), size,
              count, false);
}

void DeinterleaveSwapped(const void* src, int channels, void* dst, std::size_t traceStride, int size,
                         std::size_t count)
{
    Transpose(static_cast<const unsigned char*>(src), traceStride, channels, static_cast<unsigned char*>(dst), size,
              count, true);
}

namespace {

// Field widths in order: 2, 4, 8 are swapped; a negative width is that many
// bytes left alone (characters, the i8 exponents). Returns the bytes covered.
int Walk(void* record, std::initializer_list<int> fields)
{
    auto* p = static_cast<unsigned char*>(record);
    int covered = 0;
    for (int w : fields) {
        if (w > 0) {
            SwapBytes(p + covered, w, 1);
            covered += w;
        } else {
            covered -= w;
        }
    }
    return covered;
}


}  // namespace

int Swap(SDFSIUnit& r) { return Walk(&r, {-10, 4, -8}); }

int Swap(SDF_FILE_HDR& r)
{
    return Walk(&r, {2, 4, 2, 2, 2, 2, 2, -8, 2, 2, 2, 2, 2, 2, 4, 4, 4, 4, 4, 4, 4, 2, 2, 4, 4, 4});
}

int Swap(SDF_MEAS_HDR& r)
{
    return Walk(&r, {2, 4, 4, 4, 4, 4, 2, 2, 2, 2, 4, 4, -60, 4, 8, 8, 8, 2, 2, 2, 8, 4, 4, 8});
}

int Swap(SDF_DATA_HDR& r)
{
    int n = Walk(&r, {2, 4, 4, -16, 2, 2, 2, 2, 4, 4, 2, 2, 2, 2, 2, 2, 2, 2, 2, 4, 2, 2});
    n += Swap(r.xUnit);
    n += Walk(&r.yUnitValid, {2});
    n += Swap(r.yUnit);
    n += Walk(&r.abscissaFirstX, {8, 8, 2, 2, 4, 4, 2, 2, 2});
    return n;
}

int Swap(SDF_VECTOR_HDR& r) { return Walk(&r, {2, 4, 4, 2, 2, 2, 2}); }

int Swap(SDF_CHANNEL_HDR& r)
{
    int n = Walk(&r, {2, 4, 4, -30, -12, -12, 2, 2, 4, 4, 4, 4, 4, 2, 4, 4, 2, 2, 2, 2, -10});
    n += Swap(r.engUnit);
    n += Walk(&r.int2engrUnit, {4, 4, 2, 2, 2, 8, 8, 8, 8, 8, 8, 8, 2, 2});
    return n;
}

int Swap(SDF_SCAN_STRUCT& r) { return Walk(&r, {2, 4, 2, 2, 2, 2}) + Swap(r.scanUnit); }

int Swap(SDF_SCAN_BIG& r) { return Walk(&r, {2, 4, 4, 4, 4, 2}); }

int Swap(SDF_SCAN_VAR& r) { return Walk(&r, {2, 4, 4, 4, 2, 2, 2, -10, 2}) + Swap(r.scanVarUnit); }

int Swap(SDF_COMMENT_HDR& r) { return Walk(&r, {2, 4, 4, 4, 4, 2, 2, 2}); }

int Swap(SDF_UNIQUE& r) { return Walk(&r, {2, 4, 4}); }

int Swap(SDF_DATA_PREFIX& r) { return Walk(&r, {2, 4}); }

}  // namespace Sdf
