// The mixed-rate TRX export member of CTSInterface.

#include "interface/TSInterface.h"

#include "frame/ThreadManager.h"
#include "speed/ThreadTRXMixedSRExport.h"

unsigned CTSInterface::ExportTRXMixedSR(short firstResampledChannel, short divisor, const char* input, SMessage* msg,
                                        long id, long user, const char* output, bool overwrite)
{
    std::vector<SMixedRateGroup> groups;
    if (unsigned result = CThreadTRXMixedSRExport::CheckArguments(firstResampledChannel, divisor, input, output, groups))
        return result;
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadTRXMixedSRExport(input, id, user, output, overwrite, std::move(groups));
    });
}
