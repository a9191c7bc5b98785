// The WAVE members of CTSInterface.

#include "interface/TSInterface.h"

#include "formats/wave/WavExport.h"
#include "formats/wave/WavImport.h"
#include "frame/ThreadManager.h"

unsigned CTSInterface::ImportWAV(const char* input, long id, long user, const char* output, const int* overwrite,
                                 SMessage* msg)
{
    return CThreadManager::Dispatch(msg, output, [&] {
        return new CThreadWAVImport(input, id, user, output, overwrite);
    });
}

unsigned CTSInterface::ExportWAV(const char* input, long id, long user, const char* output, const int* overwrite,
                                 const int* convFloatToInt, const short* calibration, const int* resolution24Bit,
                                 const int* includePulseChannels, const double* fadeTimeSeconds, const int* loop)
{
    const CMark mark(input, nullptr);
    return CThreadManager::Dispatch(nullptr, output, [&] {
        return new CThreadWAVExport(mark, id, user, output, overwrite, convFloatToInt, calibration,
                                    resolution24Bit, includePulseChannels, fadeTimeSeconds, loop, 0, 0);
    });
}

unsigned CTSInterface::ExportWAVTachoOldHeader(const char* input, long id, long user, const char* output,
                                               const int* overwrite, const int* convFloatToInt,
                                               const short* calibration, const int* resolution24Bit)
{
    const CMark mark(input, nullptr);
    const int includePulse = 1;
    const double fade = 0.0;
    const int loop = 0;
    return CThreadManager::Dispatch(nullptr, output, [&] {
        return new CThreadWAVExport(mark, id, user, output, overwrite, convFloatToInt, calibration,
                                    resolution24Bit, &includePulse, &fade, &loop, 1, 1);
    });
}
