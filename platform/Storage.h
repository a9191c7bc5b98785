#pragma once
// Stand-in for the structured storage of the host document: a storage holds
// named byte streams that can be created (replacing an existing one), opened
// for reading, and removed. CDirectoryStorage keeps each stream as one file in
// a directory; CMemoryStorage keeps them in memory.

#include <cstddef>
#include <map>
#include <memory>
#include <string>

// A byte stream of a storage. Read returns the number of bytes read (0 at the
// end); Write returns false when not every byte could be written.
class IStream {
public:
    virtual ~IStream() = default;
    virtual std::size_t Read(void* pBuffer, std::size_t uSize) = 0;
    virtual bool Write(const void* pData, std::size_t uSize) = 0;
    // A stream created for writing replaces the former stream of that name
    // only when it is committed; released without Commit, it leaves the former
    // stream as it was. False when the data could not be made durable.
    virtual bool Commit() = 0;
};

class IStorage {
public:
    virtual ~IStorage() = default;
    // Exclusive write access to a new stream of that name; null on failure
    // (the reason is available from GetLastError as a Windows error code).
    virtual std::unique_ptr<IStream> CreateStream(const char* pszName) = 0;
    // Exclusive read access to an existing stream; null when there is none or
    // it cannot be opened.
    virtual std::unique_ptr<IStream> OpenStream(const char* pszName) = 0;
    virtual bool HasStream(const char* pszName) const = 0;
    virtual bool DestroyStream(const char* pszName) = 0;
    // Windows error code of the last failed Create/Open (0 when none).
    unsigned GetLastError() const { return m_uLastError; }

protected:
    unsigned m_uLastError = 0;
};

// One file per stream in a directory (created when missing). Stream names may
// hold any byte: names are escaped so that each stream stays one file inside
// the directory. Writing goes to a temporary file that replaces the stream on
// Commit; reading and writing take the file's no-sharing lock.
class CDirectoryStorage : public IStorage {
public:
    explicit CDirectoryStorage(std::string sDirectory);
    const std::string& GetDirectory() const { return m_sDirectory; }
    // The file that holds the named stream.
    std::string PathOfStream(const char* pszName) const;

    std::unique_ptr<IStream> CreateStream(const char* pszName) override;
    std::unique_ptr<IStream> OpenStream(const char* pszName) override;
    bool HasStream(const char* pszName) const override;
    bool DestroyStream(const char* pszName) override;

private:
    std::string m_sDirectory;
};

class CMemoryStorage : public IStorage {
public:
    std::unique_ptr<IStream> CreateStream(const char* pszName) override;
    std::unique_ptr<IStream> OpenStream(const char* pszName) override;
    bool HasStream(const char* pszName) const override;
    bool DestroyStream(const char* pszName) override;

    // Direct access for tests and tools.
    void SetStreamBytes(const char* pszName, std::string sBytes) { m_mapStreams[pszName] = std::move(sBytes); }
    const std::string* GetStreamBytes(const char* pszName) const;

private:
    friend class CMemoryStream;
    std::map<std::string, std::string> m_mapStreams;
};
