#pragma once
// The physical value that a channel's full code range stands for.

#include "hostlibs/blocks/NetNode.h"

// Full scale and zero of a channel "1:1": an integer channel's own code range
// through its mapping (a 16-bit channel with factor f spans 32768 * f), a
// float channel the peak value 2 * sqrt(2) * 10^(calibration / 20) of its
// calibration level. false when the channel gives no usable full scale.
bool ChannelFullScale(const SStreamChannel& c, double& fullScale, double& zero);

// The linear map from stream values to physical values.
void StreamToPhysical(const SStreamChannel& c, double& factor, double& offset);
