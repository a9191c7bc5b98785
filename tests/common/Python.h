#pragma once
// Debian's python3 (never one of a virtual environment) runs the independent
// checks. Whether it has the modules a test needs is asked once and kept in
// the build tree: starting python with numpy takes longer than most tests.

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "tests/common/TempDir.h"

namespace tessel::test {

inline const std::string kPython = "/usr/bin/python3";

// True when python3 imports every module of the list, e.g. "numpy, pandas".
inline bool HavePython(const std::string& modules)
{
    static std::map<std::string, bool> known;
    auto it = known.find(modules);
    if (it != known.end())
        return it->second;
    std::string stampName = "python";
    for (char c : modules)
        stampName += std::isalnum(static_cast<unsigned char>(c)) ? c : '-';
    const std::filesystem::path stamp = std::filesystem::path(TESSEL_BINARY_DIR) / "test-data" / stampName;
    bool have = std::filesystem::exists(stamp);
    if (!have && std::system((kPython + " -c 'import " + modules + "' >/dev/null 2>&1").c_str()) == 0) {
        std::error_code ec;
        std::filesystem::create_directories(stamp.parent_path(), ec);
        std::ofstream(stamp) << "\n";
        have = true;
    }
    return known.emplace(modules, have).first->second;
}

// Runs a shell command, its standard output in *out; the exit status, or -1
// when it could not run or did not exit.
inline int RunCommand(const std::string& cmd, std::string* out = nullptr)
{
    std::string text;
    std::FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p))
        text.append(buf, n);
    const int status = ::pclose(p);
    if (out)
        *out = text;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs a python script file with its arguments; what it prints (errors too)
// goes to *out.
inline int RunPython(const std::string& script, const std::vector<std::string>& args, std::string* out = nullptr)
{
    std::string cmd = kPython + " '" + script + "'";
    for (const auto& a : args)
        cmd += " '" + a + "'";
    return RunCommand(cmd + " 2>&1", out);
}

// The same for a script given as text.
inline int RunPythonText(const std::string& script, const std::vector<std::string>& args, std::string* out = nullptr)
{
    CTempDir dir;
    tessel::test::WriteFile(dir / "script.py", script);
    return RunPython(dir / "script.py", args, out);
}

} // namespace tessel::test
