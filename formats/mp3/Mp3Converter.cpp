#include "formats/mp3/Mp3Converter.h"

#include "platform/FileSystem.h"
#include "platform/Spawn.h"

#include <mutex>
#include <system_error>

namespace Mp3Converter {
namespace {

std::mutex g_directoryMutex;
std::string g_directoryForTests;

}  // namespace

std::string Directory()
{
    {
        std::lock_guard<std::mutex> lock(g_directoryMutex);
        if (!g_directoryForTests.empty()) return g_directoryForTests;
    }
    return Spawn::ExecutableDirectory();
}

void SetDirectoryForTests(const char* directory)
{
    std::lock_guard<std::mutex> lock(g_directoryMutex);
    g_directoryForTests = directory ? directory : "";
    if (!g_directoryForTests.empty() && g_directoryForTests.back() != '/') g_directoryForTests += '/';
}

int Run(const char* name, const std::vector<std::string>& args, const std::function<bool()>& stop,
        std::string& failure, const std::function<void()>& started)
{
    const std::string directory = Directory();
    if (directory.empty()) {
        failure = "the directory of the converter cannot be told";
        return Spawn::kNotStarted;
    }
    const std::string program = directory + name;
    // The program sees its own path as its name; the arguments go as they
    // are (no quoting: nothing here joins them into one command line).
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn::RunAndWait(program, argv, stop, failure, started);
}

int RunInner(CThreadConversion& inner, const std::function<void(float)>& progress)
{
    inner.ResumeThread();
    int code = 0;
    // A wait bounded by the polling period: progress moves every 500 ms, and
    // the end is seen as soon as it comes rather than at the next tick.
    while (!inner.GetExitCodeThread(&code, 500)) progress(inner.GetProgress());
    progress(inner.GetProgress());
    return code;
}

void TakeTexts(CThreadConversion& outer, const CThreadConversion& inner)
{
    outer.m_sText = inner.m_sText;
    outer.m_uStringID = inner.m_uStringID;
    outer.m_sTextArg = inner.m_sTextArg;
    outer.m_sTextAppend = inner.m_sTextAppend;
}

CTempName::CTempName(const char* prefix) : m_sPath(FileSystem::MakeTempFile(nullptr, prefix)) {}

CTempName::~CTempName()
{
    if (m_removal.joinable()) m_removal.join();
    Remove();
}

void CTempName::RemoveAside()
{
    if (m_sPath.IsEmpty() || m_removal.joinable()) return Remove();
    try {
        m_removal = std::thread([path = m_sPath.str()] { FileSystem::RemoveFile(path.c_str()); });
        m_sPath.Empty();
    } catch (const std::system_error&) {
        Remove();
    }
}

void CTempName::Remove()
{
    if (m_sPath.IsEmpty()) return;
    FileSystem::RemoveFile(m_sPath);
    m_sPath.Empty();
}

}  // namespace Mp3Converter
