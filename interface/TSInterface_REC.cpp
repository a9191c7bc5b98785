// The recorder members of CTSInterface: SONY MK II/III and TEAC (TAFFmat,
// QuickVu-RD).

#include "interface/TSInterface.h"

#include "formats/recorder/ThreadSONYImport.h"
#include "formats/recorder/ThreadTEACImport.h"
#include "frame/ThreadManager.h"

unsigned CTSInterface::ImportSONY(const char* input, long id, long user, const char* output, const int* overwrite,
                                  SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadSONYImport(input, id, user, output, overwrite);
    });
}

unsigned CTSInterface::ImportTEAC(const char* input, long id, long user, const char* output, const int* overwrite,
                                  SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadTEACImport(input, id, user, output, overwrite);
    });
}
