// The WAVE members of CTSInterface.

#include "interface/TSInterface.h"

#include "formats/wave/WavImport.h"
#include "interface/jobs/ThreadManager.h"

unsigned CTSInterface::ImportWAV(const char* input, long id, long user, const char* output, const int* overwrite,
                                 SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadWAVImport(input, id, user, output, overwrite);
    });
}
