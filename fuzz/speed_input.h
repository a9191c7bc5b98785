// The input layout shared by fuzz_speed and fuzz_speed_job, so one corpus
// seeds both: byte 0 picks the first resampled channel (modulo 4), byte 1
// the divisor, byte 2 the level; the rest is the description behind a valid TRX lead-in,
// followed by 1 KiB of sample bytes.

#pragma once

#include "FuzzSupport.h"

#include <algorithm>
#include <cmath>

struct SSpeedFuzzInput {
    short first = 0;
    short divisor = 2;
    float level = 0.0f;
    std::vector<unsigned char> file;
};

// False for an input too short to carry the arguments.
inline bool MakeSpeedFuzzInput(const std::uint8_t* data, std::size_t size, SSpeedFuzzInput& in)
{
    if (size < 3)
        return false;
    in.first = short(data[0] % 4);
    in.divisor = short(2 << (data[1] % 5));
    in.level = float(data[2]) * 4.0f - 200.0f;
    fuzz::TrxAround(data + 3, size - 3, in.file);
    for (int i = 0; i < 1024; ++i)
        in.file.push_back(static_cast<unsigned char>((i * 7) % 4 < 2 ? i * 37 : 1));
    return true;
}

// True when the cut lies on the abscissa span of the data set (a relative
// slack for the rounding of the span's ends).
template <class Dataset>
bool CutInsideData(Dataset& ds, double cut)
{
    const auto a = ds.GetAbscissa(0);
    const double lo = a.GetValue(0.0), hi = a.GetValue(double(ds.GetNbrOfScans()));
    return cut >= std::min(lo, hi) - 1e-9 * std::abs(lo) && cut <= std::max(lo, hi) + 1e-9 * std::abs(hi);
}
