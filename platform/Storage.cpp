#include "platform/Storage.h"

#include <cerrno>
#include <algorithm>
#include <cstring>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/FileSystem.h"

namespace {

// Escapes a stream name into one file name: bytes other than letters, digits,
// space, '-', '_' and a '.' that is not the first byte become "%XX". Escaped
// names never start with '.', which leaves that prefix to temporary files.
std::string EscapeName(const char* pszName) {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char* p = pszName; *p; ++p) {
        unsigned char c = (unsigned char)*p;
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
                     c == '-' || c == '_' || (c == '.' && p != pszName);
        if (plain) {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

bool MakeDirectories(const std::string& dir) {
    if (dir.empty() || FileSystem::DirectoryExists(dir.c_str()))
        return true;
    std::string::size_type slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirectories(dir.substr(0, slash)))
        return false;
    FileSystem::SError e = FileSystem::MakeDirectory(dir.c_str());
    return !e.Failed() || e.iErrno == EEXIST;
}

class CFileStream : public IStream {
public:
    // Reading: the stream's file itself.
    explicit CFileStream(FileSystem::CFile&& file) : m_file(std::move(file)) {}
    // Writing: a temporary file that replaces sTarget on Commit.
    CFileStream(FileSystem::CFile&& file, std::string sTarget)
        : m_file(std::move(file)), m_sTarget(std::move(sTarget)) {}
    ~CFileStream() override {
        if (!m_sTarget.empty() && !m_bCommitted) {
            std::string tmp = m_file.GetPath();
            m_file.Close();
            ::unlink(tmp.c_str());
        }
    }
    std::size_t Read(void* pBuffer, std::size_t uSize) override {
        long long n = m_file.Read(pBuffer, uSize);
        return n < 0 ? 0 : std::size_t(n);
    }
    bool Write(const void* pData, std::size_t uSize) override {
        return !m_sTarget.empty() && !m_bCommitted && m_file.Write(pData, uSize);
    }
    bool Commit() override {
        if (m_sTarget.empty() || m_bCommitted)
            return m_bCommitted;
        if (!m_file.Flush())
            return false;
        std::string tmp = m_file.GetPath();
        if (FileSystem::RenameFile(tmp.c_str(), m_sTarget.c_str()).Failed())
            return false;
        m_bCommitted = true;
        m_file.Close();
        return true;
    }

private:
    FileSystem::CFile m_file;
    std::string m_sTarget;
    bool m_bCommitted = false;
};

}  // namespace

CDirectoryStorage::CDirectoryStorage(std::string sDirectory) : m_sDirectory(std::move(sDirectory)) {
    while (m_sDirectory.size() > 1 && m_sDirectory.back() == '/')
        m_sDirectory.pop_back();
}

std::string CDirectoryStorage::PathOfStream(const char* pszName) const {
    return m_sDirectory + "/" + EscapeName(pszName ? pszName : "");
}

std::unique_ptr<IStream> CDirectoryStorage::CreateStream(const char* pszName) {
    m_uLastError = 0;
    if (!pszName || !*pszName) {
        m_uLastError = FileSystem::kErrorOther;
        return nullptr;
    }
    if (!MakeDirectories(m_sDirectory)) {
        m_uLastError = FileSystem::MapErrno(errno);
        return nullptr;
    }
    errno = 0;
    CString tmp = FileSystem::MakeTempFile(m_sDirectory.c_str(), (".~" + EscapeName(pszName) + ".").c_str());
    if (tmp.IsEmpty()) {
        m_uLastError = FileSystem::MapErrno(errno ? errno : EIO);
        return nullptr;
    }
    FileSystem::CFile file;
    if (!file.Create(tmp)) {
        m_uLastError = file.GetError().uCode;
        ::unlink(tmp);
        return nullptr;
    }
    return std::make_unique<CFileStream>(std::move(file), PathOfStream(pszName));
}

std::unique_ptr<IStream> CDirectoryStorage::OpenStream(const char* pszName) {
    m_uLastError = 0;
    if (!pszName || !*pszName) {
        m_uLastError = FileSystem::kErrorOther;
        return nullptr;
    }
    FileSystem::CFile file;
    if (!file.Open(PathOfStream(pszName).c_str(), false, FileSystem::EShare::None)) {
        m_uLastError = file.GetError().uCode;
        return nullptr;
    }
    return std::make_unique<CFileStream>(std::move(file));
}

bool CDirectoryStorage::HasStream(const char* pszName) const {
    return pszName && *pszName && FileSystem::FileExists(PathOfStream(pszName).c_str());
}

bool CDirectoryStorage::DestroyStream(const char* pszName) {
    return pszName && *pszName && !FileSystem::RemoveFile(PathOfStream(pszName).c_str()).Failed();
}

// ---------------------------------------------------------------------------

class CMemoryStream : public IStream {
public:
    CMemoryStream(CMemoryStorage* pOwner, std::string sName, std::string sData, bool bWrite)
        : m_pOwner(pOwner), m_sName(std::move(sName)), m_sData(std::move(sData)), m_bWrite(bWrite) {}
    std::size_t Read(void* pBuffer, std::size_t uSize) override {
        if (m_bWrite)
            return 0;
        std::size_t n = std::min(uSize, m_sData.size() - m_uPos);
        std::memcpy(pBuffer, m_sData.data() + m_uPos, n);
        m_uPos += n;
        return n;
    }
    bool Write(const void* pData, std::size_t uSize) override {
        if (!m_bWrite)
            return false;
        m_sData.append(static_cast<const char*>(pData), uSize);
        return true;
    }
    bool Commit() override {
        if (!m_bWrite)
            return false;
        m_pOwner->m_mapStreams[m_sName] = m_sData;
        return true;
    }

private:
    CMemoryStorage* m_pOwner;
    std::string m_sName;
    std::string m_sData;
    bool m_bWrite;
    std::size_t m_uPos = 0;
};

std::unique_ptr<IStream> CMemoryStorage::CreateStream(const char* pszName) {
    m_uLastError = 0;
    if (!pszName || !*pszName) {
        m_uLastError = FileSystem::kErrorOther;
        return nullptr;
    }
    return std::make_unique<CMemoryStream>(this, pszName, std::string(), true);
}

std::unique_ptr<IStream> CMemoryStorage::OpenStream(const char* pszName) {
    m_uLastError = 0;
    auto it = pszName ? m_mapStreams.find(pszName) : m_mapStreams.end();
    if (it == m_mapStreams.end()) {
        m_uLastError = FileSystem::kErrorOther;
        return nullptr;
    }
    return std::make_unique<CMemoryStream>(this, it->first, it->second, false);
}

bool CMemoryStorage::HasStream(const char* pszName) const {
    return pszName && m_mapStreams.count(pszName) != 0;
}

bool CMemoryStorage::DestroyStream(const char* pszName) {
    return pszName && m_mapStreams.erase(pszName) != 0;
}

const std::string* CMemoryStorage::GetStreamBytes(const char* pszName) const {
    auto it = pszName ? m_mapStreams.find(pszName) : m_mapStreams.end();
    return it == m_mapStreams.end() ? nullptr : &it->second;
}
