#pragma once
// The processing-block library: one include for the whole of it, with the
// channel lists and sub-channels its blocks are configured with.

#include "hostlibs/dataset/Channel.h"
#include "hostlibs/blocks/NetNode.h"
#include "hostlibs/blocks/TrxSource.h"
#include "hostlibs/blocks/Resample.h"
#include "hostlibs/blocks/ConvertFloatToInt.h"
#include "hostlibs/blocks/Drains.h"
#include "hostlibs/blocks/Pulse.h"
#include "hostlibs/blocks/RpmFileManager.h"
#include "hostlibs/blocks/Trx.h"
