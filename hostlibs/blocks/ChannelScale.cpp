#include "hostlibs/blocks/ChannelScale.h"

#include <cmath>

bool ChannelFullScale(const SStreamChannel& c, double& fullScale, double& zero)
{
    int bits = 0;
    switch (c.iOriginType) {
    case 1: bits = 8; break;
    case 3: bits = 16; break;
    case 5: bits = 24; break;
    case 7: bits = 32; break;
    default: break;
    }
    if (bits) {
        fullScale = std::fabs(c.dOriginFactor) * std::ldexp(1.0, bits - 1);
        zero = c.dOriginOffset;
    } else {
        fullScale = 2.0 * std::sqrt(2.0) * std::pow(10.0, double(c.fCalibration) / 20.0);
        zero = 0.0;
    }
    return std::isfinite(fullScale) && fullScale > 0.0 && std::isfinite(zero);
}

void StreamToPhysical(const SStreamChannel& c, double& factor, double& offset)
{
    if (c.iStreamType == 10) {
        factor = 1.0;
        offset = 0.0;
    } else {
        factor = c.dFactor;
        offset = c.dOffset;
    }
}
