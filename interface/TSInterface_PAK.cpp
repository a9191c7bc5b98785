// The PAK members of CTSInterface: throughput files in, measurement
// directories out.

#include "interface/TSInterface.h"

#include "formats/pak/ThreadPAKExport.h"
#include "formats/pak/ThreadPAKImport.h"
#include "frame/ThreadManager.h"

unsigned CTSInterface::ImportPAK(const char* input, long id, long user, const char* output, const int* overwrite,
                                 SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadPAKImport(input, id, user, output, overwrite);
    });
}

unsigned CTSInterface::ExportPAK(const char* input, long id, long user, const char* output, const int* overwrite,
                                 const int* float32Samples)
{
    return CThreadManager::Dispatch(nullptr, output, [&] {
        return new CThreadPAKExport(input, id, user, output, overwrite, float32Samples);
    });
}
