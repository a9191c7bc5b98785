// Any bytes as a WAVE file: the header walk in memory must give 0, 140 or
// 141; the import job on the same bytes must end with a result of its table,
// leave an output exactly when it succeeded, and never more scans than the
// bytes could hold.

#include "FuzzSupport.h"
#include "formats/wave/WavImport.h"
#include "formats/wave/WaveFormat.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/Riff.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The header walk alone.
    CRiffFile mem;
    mem.OpenMemory(data, size);
    CRiffChunk riff, chunk;
    SWaveFormat fmt;
    unsigned rc = EnterWaveRiff(mem, riff);
    if (rc == 0)
        rc = ReadWaveHeader(mem, riff, fmt, chunk);
    fuzz::Check(rc == 0 || rc == WaveResult::kWaveNotRead || rc == WaveResult::kFormatNotAccepted);
    fuzz::Check(rc != 0 || IsImportableFormat(fmt));

    // The job on a file of these bytes, with semaphores of its own, run on
    // this thread as the synchronous call runs it (a thread per input and
    // the unmapping of its stack cost a fifth of the time).
    const std::string& dir = fuzz::Scratch();
    const std::string in = dir + "/in.wav", out = dir + "/out.dat";
    std::remove(out.c_str());
    fuzz::WriteFile(in, data, size);
    const int yes = 1;
    CThreadWAVImport job(in.c_str(), 1, 2, out.c_str(), &yes);
    job.Run();
    const bool ok = job.m_uState == TS_STATE_WAV_IMPORT;
    fuzz::Check(ok || job.m_uState == FailedState(TS_STATE_WAV_IMPORT));
    fuzz::Check(ok == fuzz::Exists(out));
    if (ok) {
        fuzz::Check(rc == 0);  // the walk refused what the job accepted
        CDataset ds(out.c_str(), om__read, 32768, sh__deny_write);
        fuzz::Check(ds.GetNbrOfChannels() == fmt.channels && ds.GetNbrOfScans() <= long(size / fmt.blockAlign));
    }
    return 0;
}
