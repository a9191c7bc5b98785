#pragma once
// A scratch directory per test, removed with everything in it.

#include <cstdlib>
#include <fstream>
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
        if (!m_path.empty())
            std::system(("rm -rf '" + m_path + "'").c_str());
    }
    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}
