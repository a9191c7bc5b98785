#pragma once
// What the MP3 jobs share: the external converters they start and the inner
// WAVE job they run and watch.
//
// The converters are two programs beside the host's executable: the encoder
// "WaveToMP3.bat" (arguments: WAVE file, MP3 file, sampling rate in Hz) and
// the decoder "MP3ToWave.bat" (arguments: MP3 file, WAVE file). Exit status 0
// means success. Tessel ships both as shell scripts calling lame and mpg123.

#include "frame/ThreadConversion.h"
#include "platform/FileSystem.h"

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace Mp3Converter {

constexpr const char* kEncoder = "WaveToMP3.bat";
constexpr const char* kDecoder = "MP3ToWave.bat";

// The directory the converters are taken from, with its trailing "/": the
// executable's; empty when it cannot be told.
std::string Directory();
// Tests: take the converters from another directory (null: the executable's).
void SetDirectoryForTests(const char* directory);

// Runs the converter `name` with `args` and waits for it. Returns its exit
// status, or Spawn::kNotStarted with the reason in `failure`. `stop` is asked
// while it runs: when it answers true the converter is ended. `started` is
// called once the converter runs (Spawn::RunAndWait).
int Run(const char* name, const std::vector<std::string>& args, const std::function<bool()>& stop,
        std::string& failure, const std::function<void()>& started = {});

// Starts an inner job's thread and watches it until it ends: at least every
// 500 ms (at once when it ends) `progress` gets the inner job's progress.
// Returns the inner thread's exit code.
int RunInner(CThreadConversion& inner, const std::function<void(float)>& progress);

// Copies the result texts of an inner job to its outer one.
void TakeTexts(CThreadConversion& outer, const CThreadConversion& inner);

// A temporary file of the job, removed when the job is done with it,
// whatever way it ends.
class CTempName {
public:
    explicit CTempName(const char* prefix);
    // Waits for a removal begun with RemoveAside: the file is gone before
    // the job reports its end.
    ~CTempName();
    CTempName(const CTempName&) = delete;
    CTempName& operator=(const CTempName&) = delete;
    const CString& Path() const { return m_sPath; }
    bool IsValid() const { return !m_sPath.IsEmpty(); }
    void Remove();
    // Removes the file on a thread of its own while the job goes on: freeing
    // the blocks of a large file takes the file system tens of milliseconds,
    // which the next step need not wait for.
    void RemoveAside();

private:
    CString m_sPath;
    std::thread m_removal;
};

}  // namespace Mp3Converter
