#pragma once
// Sample encodings of the implementation types (little-endian). Internal to
// the data-set library.

#include "hostlibs/dataset/DatasetTypes.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

static_assert(std::endian::native == std::endian::little, "samples are copied as little-endian bytes");

namespace trx {

struct SValue {
    double re = 0.0;
    double im = 0.0;
};

inline std::int32_t Int24(const unsigned char* p)
{
    std::uint32_t u = std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16);
    if (u & 0x800000u) u |= 0xFF000000u;
    return std::int32_t(u);
}

template <class T>
inline T Load(const unsigned char* p)
{
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class T>
inline void Store(unsigned char* p, T v)
{
    std::memcpy(p, &v, sizeof v);
}

// Nearest integer, halves away from zero, limited to [lo, hi]; NaN gives 0.
inline double RoundClamp(double v, double lo, double hi)
{
    if (std::isnan(v)) return 0.0;
    v = std::round(v);
    return v < lo ? lo : (v > hi ? hi : v);
}

inline SValue Decode(int type, const unsigned char* p)
{
    switch (type) {
    case it__int8: return {double(Load<std::int8_t>(p)), 0.0};
    case it__pulse: return {double(p[0]), 0.0};
    case it__int16: return {double(Load<std::int16_t>(p)), 0.0};
    case it__uint16: return {double(Load<std::uint16_t>(p)), 0.0};
    case it__int24: return {double(Int24(p)), 0.0};
    case it__uint24: return {double(std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16)), 0.0};
    case it__int32: return {double(Load<std::int32_t>(p)), 0.0};
    case it__uint32: return {double(Load<std::uint32_t>(p)), 0.0};
    case it__float: return {double(Load<float>(p)), 0.0};
    case it__double: return {Load<double>(p), 0.0};
    case it__cint16: return {double(Load<std::int16_t>(p)), double(Load<std::int16_t>(p + 2))};
    case it__cint32: return {double(Load<std::int32_t>(p)), double(Load<std::int32_t>(p + 4))};
    case it__cfloat: return {double(Load<float>(p)), double(Load<float>(p + 4))};
    case it__cdouble: return {Load<double>(p), Load<double>(p + 8)};
    default: return {};
    }
}

inline void Encode(int type, const SValue& v, unsigned char* p)
{
    switch (type) {
    case it__int8: Store(p, std::int8_t(RoundClamp(v.re, -128.0, 127.0))); break;
    case it__pulse: p[0] = std::uint8_t(RoundClamp(v.re, 0.0, 255.0)); break;
    case it__int16: Store(p, std::int16_t(RoundClamp(v.re, -32768.0, 32767.0))); break;
    case it__uint16: Store(p, std::uint16_t(RoundClamp(v.re, 0.0, 65535.0))); break;
    case it__int24:
    case it__uint24: {
        double lo = type == it__int24 ? -8388608.0 : 0.0, hi = type == it__int24 ? 8388607.0 : 16777215.0;
        std::uint32_t u = std::uint32_t(std::int32_t(RoundClamp(v.re, lo, hi)));
        p[0] = std::uint8_t(u);
        p[1] = std::uint8_t(u >> 8);
        p[2] = std::uint8_t(u >> 16);
        break;
    }
    case it__int32: Store(p, std::int32_t(RoundClamp(v.re, -2147483648.0, 2147483647.0))); break;
    case it__uint32: Store(p, std::uint32_t(RoundClamp(v.re, 0.0, 4294967295.0))); break;
    case it__float: Store(p, float(v.re)); break;
    case it__double: Store(p, v.re); break;
    case it__cint16:
        Store(p, std::int16_t(RoundClamp(v.re, -32768.0, 32767.0)));
        Store(p + 2, std::int16_t(RoundClamp(v.im, -32768.0, 32767.0)));
        break;
    case it__cint32:
        Store(p, std::int32_t(RoundClamp(v.re, -2147483648.0, 2147483647.0)));
        Store(p + 4, std::int32_t(RoundClamp(v.im, -2147483648.0, 2147483647.0)));
        break;
    case it__cfloat:
        Store(p, float(v.re));
        Store(p + 4, float(v.im));
        break;
    case it__cdouble:
        Store(p, v.re);
        Store(p + 8, v.im);
        break;
    default: break;
    }
}

} // namespace trx
