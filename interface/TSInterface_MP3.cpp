// The MP3 members of CTSInterface.

#include "interface/TSInterface.h"

#include "formats/mp3/ThreadMP3Export.h"
#include "formats/mp3/ThreadMP3Import.h"
#include "frame/ThreadManager.h"

unsigned CTSInterface::ImportMP3(const char* input, long id, long user, const char* output, const int* overwrite,
                                 SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadMP3Import(input, id, user, output, overwrite);
    });
}

unsigned CTSInterface::ExportMP3(const char* input, long id, long user, const char* output, const int* overwrite)
{
    return CThreadManager::Dispatch(nullptr, output, [&] {
        return new CThreadMP3Export(input, id, user, output, overwrite);
    });
}
