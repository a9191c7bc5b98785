#include "hostlibs/blocks/Quantize.h"

#include <cmath>

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
