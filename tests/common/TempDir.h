#pragma once
// Scratch folders of the tests, removed with everything in them, and whole
// files in and out.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <unistd.h>

class CTempDir {
public:
    CTempDir() {
        const char* t = std::getenv("TMPDIR");
        std::string tmpl = std::string(t && *t ? t : "/tmp") + "/tessel-common-XXXXXX";
        if (::mkdtemp(tmpl.data()))
            m_path = tmpl;
    }
    ~CTempDir() {
        if (!m_path.empty()) {
            std::error_code ec;
            std::filesystem::remove_all(m_path, ec);
        }
    }
    CTempDir(const CTempDir&) = delete;
    CTempDir& operator=(const CTempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

// Sets an environment variable for the lifetime of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name), m_old(Copy(std::getenv(name)))
    {
        ::setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name.c_str(), m_old->c_str(), 1);
        else
            ::unsetenv(m_name.c_str());
    }

private:
    // The old value, if there was one (getenv's pointer would not outlive setenv).
    static std::optional<std::string> Copy(const char* v) { return v ? std::optional<std::string>(v) : std::nullopt; }
    std::string m_name;
    std::optional<std::string> m_old;
};

namespace tessel::test {

// A folder named after the running test (and this process), emptied first:
// what a failed test leaves there is easy to find. The caller removes it.
inline std::filesystem::path MakeScratch(const char* tag)
{
    const char* tmp = std::getenv("TMPDIR");
    std::filesystem::path base = (tmp && *tmp) ? tmp : "/tmp";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "x";
    std::replace(name.begin(), name.end(), '/', '_');
    std::filesystem::path dir =
        base / (std::string("tessel_") + tag + "_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace tessel::test
