// The universal-file members of CTSInterface.

#include "interface/TSInterface.h"

#include "formats/uff/TS_UFF.h"
#include "frame/ThreadManager.h"

unsigned CTSInterface::ImportUFF(const char* input, long id, long user, const char* output, const int* overwrite,
                                 SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadUFFImport(input, id, user, output, overwrite);
    });
}

unsigned CTSInterface::ExportUFF(const char* input, long id, long user, const char* output, const int* overwrite,
                                 const int* binaryUFF)
{
    CList<CString, CString&> inputs;
    CString path(input);
    inputs.AddTail(path);
    return CThreadManager::Dispatch(nullptr, output, [&] {
        return new CThreadUFFExport(inputs, id, user, output, overwrite, binaryUFF, false);
    });
}

unsigned CTSInterface::ExportUFFModal(CList<CString, CString&>& inputs, long id, long user, const char* output,
                                      const int* overwrite, const int* binaryUFF)
{
    return CThreadManager::Dispatch(nullptr, output, [&] {
        return new CThreadUFFExport(inputs, id, user, output, overwrite, binaryUFF, true);
    });
}
