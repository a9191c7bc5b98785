#include "hostlibs/basics/FileName.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

void CFileName::SetPath(const char* path)
{
    std::string p = path ? path : "";
    std::size_t cut = p.rfind('/');
    std::size_t start = cut == std::string::npos ? 0 : cut + 1;
    m_sDir = CString(p.substr(0, start));
    std::string file = p.substr(start);
    std::size_t dot = file.rfind('.');
    // "." and ".." name directories; a leading dot starts a hidden name.
    if (dot == std::string::npos || dot == 0 || file == "..") {
        m_sName = CString(file);
        m_sExt.Empty();
    } else {
        m_sName = CString(file.substr(0, dot));
        m_sExt = CString(file.substr(dot));
    }
}

void CFileName::SetDirectory(const char* dir)
{
    m_sDir = dir ? dir : "";
    if (!m_sDir.IsEmpty() && !IsSeparator(m_sDir[m_sDir.GetLength() - 1]))
        m_sDir += '/';
}

void CFileName::SetExtension(const char* ext)
{
    m_sExt = ext ? ext : "";
    if (!m_sExt.IsEmpty() && m_sExt[0] != '.')
        m_sExt = "." + m_sExt;
}

CString CFileName::FullPath(const char* path)
{
    std::string p = path ? path : "";
    bool trailing = !p.empty() && IsSeparator(p.back());
    std::string base;
    if (p.empty() || !IsSeparator(p[0])) {
        std::error_code ec;
        base = std::filesystem::current_path(ec).string();
        if (ec)
            base.assign(1, '/');
    }
    std::vector<std::string> parts;
    auto take = [&parts](const std::string& text) {
        std::size_t i = 0;
        while (i <= text.size()) {
            std::size_t j = text.find('/', i);
            if (j == std::string::npos)
                j = text.size();
            std::string part = text.substr(i, j - i);
            if (part == "..") {
                if (!parts.empty())
                    parts.pop_back();
            } else if (!part.empty() && part != ".") {
                parts.push_back(part);
            }
            i = j + 1;
        }
    };
    take(base);
    take(p);
    std::string out;
    for (const std::string& part : parts) {
        out += '/';
        out += part;
    }
    if (out.empty())
        return CString("/");
    if (trailing)
        out += '/';
    return CString(out);
}

bool CFileName::Exists() const
{
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::path(GetPath().str()), ec);
}

bool CFileName::DirectoryExists() const
{
    if (m_sDir.IsEmpty())
        return true;
    std::error_code ec;
    return std::filesystem::is_directory(std::filesystem::path(m_sDir.str()), ec);
}
