// The SDF members of CTSInterface.

#include "interface/TSInterface.h"

#include "formats/sdf/ThreadSDFExport.h"
#include "formats/sdf/ThreadSDFImport.h"
#include "frame/ThreadManager.h"

unsigned CTSInterface::ImportSDF(const char* input, long id, long user, const char* output, const int* overwrite,
                                 SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadSDFImport(input, id, user, output, overwrite);
    });
}

unsigned CTSInterface::ExportSDF(const char* input, long id, long user, const char* output, const int* overwrite,
                                 const int* highSamplingRate4RefQuant)
{
    return CThreadManager::Dispatch(nullptr, output, [&] {
        return new CThreadSDFExport(input, id, user, output, overwrite, highSamplingRate4RefQuant);
    });
}
