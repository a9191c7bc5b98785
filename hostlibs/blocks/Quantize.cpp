#include "hostlibs/blocks/Quantize.h"

#include <algorithm>
#include <cmath>
#include <vector>

std::size_t Quantize(const float* x, std::size_t n, std::size_t stride, const SQuantizer& q, SDitherNoise& noise,
                     std::int32_t* out, std::size_t outStride)
{
    const double lo = q.Low();
    const double hi = q.High();
    const double g = q.gain;
    const double a = q.add;
    std::size_t clipped = 0;
    // Adding and taking away 1.5 * 2^52 rounds a double to the nearest
    // integer, ties to even, without a library call, so the loop vectorises.
    constexpr double kMagic = 6755399441055744.0;
    if (q.bRound && !q.bDither) {
        for (std::size_t i = 0; i < n; ++i) {
            double y = double(x[i * stride]) * g + a;
            y = (y == y) ? y : 0.0;
            double r = (y + kMagic) - kMagic;
            clipped += (r < lo) | (r > hi);
            r = r < lo ? lo : (r > hi ? hi : r);
            out[i * outStride] = std::int32_t(r);
        }
        return clipped;
    }
    for (std::size_t i = 0; i < n; ++i) {
        double y = double(x[i * stride]) * g + a;
        y = (y == y) ? y : 0.0;
        if (q.bDither)
            y += noise.Triangular();
        double r = q.bRound ? (y + kMagic) - kMagic : std::trunc(y);
        if (r < lo || r > hi) {
            ++clipped;
            r = r < lo ? lo : hi;
        }
        out[i * outStride] = std::int32_t(r);
    }
    return clipped;
}

namespace {
// 16-bit codes from interleaved values: float arithmetic (a 24-bit mantissa
// leaves 1/256 of a code), branch-free, so that it vectorises. Values are
// clamped before rounding; a value counts as clipped when it would have
// rounded beyond the limits.
std::size_t Kernel16(const float* __restrict x, const float* __restrict g, const float* __restrict a,
                     std::int32_t* __restrict o, std::size_t len, float lo, float hi)
{
    constexpr float kMagic = 12582912.0f; // 1.5 * 2^23: rounds to an integer, ties to even
    const float loC = lo - 0.5f, hiC = hi + 0.5f;
    std::int32_t clipped = 0;
    for (std::size_t j = 0; j < len; ++j) {
        float y = x[j] * g[j] + a[j];
        y = (y == y) ? y : 0.0f;
        clipped += (y < loC) | (y >= hiC);
        y = y < lo ? lo : y;
        y = y > hi ? hi : y;
        o[j] = std::int32_t((y + kMagic) - kMagic);
    }
    return std::size_t(clipped);
}
} // namespace

std::size_t QuantizeInterleaved(const float* x, std::size_t n, std::size_t nCh, const SQuantizer* q,
                                SDitherNoise& noise, std::int32_t* out)
{
    bool fast = nCh > 0;
    for (std::size_t c = 0; c < nCh && fast; ++c)
        fast = q[c].bRound && !q[c].bDither && q[c].bits == 16 && q[c].bSymmetric == q[0].bSymmetric;
    if (!fast) {
        std::size_t clipped = 0;
        for (std::size_t c = 0; c < nCh; ++c)
            clipped += Quantize(x + c, n, nCh, q[c], noise, out + c, nCh);
        return clipped;
    }
    // The per-channel gains repeat in a pattern as long as a tile, so the
    // values are done in one contiguous pass.
    constexpr std::size_t kTileScans = 256;
    const std::size_t tile = kTileScans * nCh;
    std::vector<float> g(tile), a(tile);
    for (std::size_t j = 0; j < tile; ++j) {
        g[j] = float(q[j % nCh].gain);
        a[j] = float(q[j % nCh].add);
    }
    const float lo = float(q[0].Low()), hi = float(q[0].High());
    std::size_t clipped = 0;
    const std::size_t total = n * nCh;
    for (std::size_t base = 0; base < total; base += tile)
        clipped += Kernel16(x + base, g.data(), a.data(), out + base, std::min(tile, total - base), lo, hi);
    return clipped;
}
