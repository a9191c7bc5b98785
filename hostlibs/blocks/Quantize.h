#pragma once
// Physical values to integer codes: y = x * gain + add, then rounding (to
// nearest, ties to even) or truncation toward zero, then clipping to the
// code range. NaN becomes 0. Shared by the WAVE drain and the float-to-integer
// conversion so that both quantise alike.

#include <cstddef>
#include <cstdint>

struct SQuantizer {
    double gain = 1.0;
    double add = 0.0;
    int bits = 16;           // 16 or 24
    bool bRound = true;
    bool bDither = false;    // triangular, +-1 code
    bool bSymmetric = false; // lowest code -(2^(bits-1)) - 1 instead of -(2^(bits-1))

    double Low() const { return -double(1 << (bits - 1)) + (bSymmetric ? 1.0 : 0.0); }
    double High() const { return double(1 << (bits - 1)) - 1.0; }
};

// A small, fast generator for the dither noise (xorshift).
struct SDitherNoise {
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    double Next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return double(state >> 11) * (1.0 / 9007199254740992.0); // [0, 1)
    }
    double Triangular() { return Next() - Next(); }
};

// Quantises n values that lie `stride` floats apart into out[i * outStride];
// returns how many had to be clipped.
std::size_t Quantize(const float* x, std::size_t n, std::size_t stride, const SQuantizer& q, SDitherNoise& noise,
                     std::int32_t* out, std::size_t outStride);

// Quantises n interleaved scans of nCh channels, each channel with its own
// quantizer, into out (same layout); returns how many values were clipped.
std::size_t QuantizeInterleaved(const float* x, std::size_t n, std::size_t nCh, const SQuantizer* q,
                                SDitherNoise& noise, std::int32_t* out);
