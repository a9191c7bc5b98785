// The SDF members of CTSInterface.

#include "interface/TSInterface.h"

#include "formats/sdf/ThreadSDFImport.h"
#include "frame/ThreadManager.h"

unsigned CTSInterface::ImportSDF(const char* input, long id, long user, const char* output, const int* overwrite,
                                 SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadSDFImport(input, id, user, output, overwrite);
    });
}
