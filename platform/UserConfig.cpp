#include "platform/UserConfig.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

std::string ConfigDirectory()
{
    if (const char* d = std::getenv("TESSEL_CONFIG_DIR"); d && *d) return d;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/tessel";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/tessel";
}

std::string NormalizeKey(const char* key)
{
    std::string k = key ? key : "";
    while (!k.empty() && (k.back() == '\\' || k.back() == '/')) k.pop_back();
    return k;
}

std::string Trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
    return s.substr(b, e - b);
}

// Reads the file as (section, name, value) lines; false when it cannot be read.
struct Entry { std::string section, name, value; };
bool ReadEntries(std::vector<Entry>& out, std::vector<std::string>* sections = nullptr)
{
    std::ifstream in(CUserConfigKey::FilePath().c_str());
    if (!in) return false;
    std::string line, section;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            section = NormalizeKey(line.substr(1, line.size() - 2).c_str());
            if (sections) sections->push_back(section);
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        out.push_back({section, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))});
    }
    return true;
}

} // namespace

CString CUserConfigKey::FilePath()
{
    return CString(ConfigDirectory() + "/tessel.conf");
}

bool CUserConfigKey::Open(const char* keyPath)
{
    Close();
    std::vector<Entry> entries;
    std::vector<std::string> sections;
    if (!ReadEntries(entries, &sections)) return false;
    const std::string key = NormalizeKey(keyPath);
    for (const auto& s : sections) {
        if (s == key) {
            m_bOpen = true;
            m_section = CString(key);
            return true;
        }
    }
    return false;
}

void CUserConfigKey::Close()
{
    m_bOpen = false;
    m_section.Empty();
}

bool CUserConfigKey::QueryValue(const char* name, char* buf, std::size_t bufSize) const
{
    if (!m_bOpen || !name || !buf) return false;
    std::vector<Entry> entries;
    if (!ReadEntries(entries)) return false;
    for (const auto& e : entries) {
        if (e.section == m_section.str() && e.name == name) {
            if (e.value.size() + 1 > bufSize) return false;
            std::memcpy(buf, e.value.c_str(), e.value.size() + 1);
            return true;
        }
    }
    return false;
}

bool CUserConfigKey::SetValue(const char* keyPath, const char* name, const char* value)
{
    if (!name || !value) return false;
    const std::string key = NormalizeKey(keyPath);
    std::vector<std::string> lines;
    {
        std::ifstream in(FilePath().c_str());
        std::string line;
        while (in && std::getline(in, line)) lines.push_back(line);
    }
    // Find the section, then the value within it.
    std::string section;
    std::size_t sectionEnd = std::string::npos;
    bool inKey = false, done = false;
    for (std::size_t i = 0; i < lines.size() && !done; ++i) {
        std::string t = Trim(lines[i]);
        if (!t.empty() && t.front() == '[' && t.back() == ']') {
            if (inKey) { sectionEnd = i; break; }
            inKey = NormalizeKey(t.substr(1, t.size() - 2).c_str()) == key;
            if (inKey) sectionEnd = lines.size();
            continue;
        }
        auto eq = t.find('=');
        if (inKey && eq != std::string::npos && Trim(t.substr(0, eq)) == name) {
            lines[i] = std::string(name) + "=" + value;
            done = true;
        }
    }
    if (!done) {
        if (sectionEnd == std::string::npos) {
            lines.push_back("[" + key + "\\]");
            lines.push_back(std::string(name) + "=" + value);
        } else {
            lines.insert(lines.begin() + std::ptrdiff_t(sectionEnd), std::string(name) + "=" + value);
        }
    }
    const std::string dir = ConfigDirectory();
    std::string cur;
    for (std::size_t i = 0; i <= dir.size(); ++i) {
        if ((i == dir.size() || dir[i] == '/') && !cur.empty() && ::mkdir(cur.c_str(), 0700) != 0 &&
            errno != EEXIST)
            return false;
        if (i < dir.size()) cur += dir[i];
    }
    const std::string path = FilePath().str();
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        if (!out) return false;
        for (const auto& l : lines) out << l << '\n';
        if (!out.flush()) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}
