#pragma once
// The archive of the settings stream: little-endian numbers, strings with a
// length prefix, string arrays with a count, read and written through a
// 4096-byte buffer. Failures are thrown as the exceptions below; CTSSettings
// turns them into its results.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/CString.h"

class IStream;

// The archive ends early or holds data that cannot be right.
struct CArchiveError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A text exception: the archive is of a schema we do not know.
struct CArchiveSchemaError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// The stream refused to take the bytes.
struct CArchiveWriteError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class CSettingsArchive {
public:
    static constexpr std::size_t kBufferSize = 4096;

    CSettingsArchive(IStream* pStream, bool bStoring) : m_pStream(pStream), m_bStoring(bStoring) {}
    ~CSettingsArchive() = default;

    bool IsStoring() const { return m_bStoring; }
    bool IsLoading() const { return !m_bStoring; }
    // Schema of the archive being read (set by the reader of the schema field)
    // or written.
    int GetSchema() const { return m_iSchema; }
    void SetSchema(int iSchema) { m_iSchema = iSchema; }

    // Exchange: write when storing, read when loading.
    void Exchange(std::int32_t& v);
    void Exchange(long& v);  // stored as 32 bits
    void Exchange(std::int16_t& v);
    void Exchange(float& v);
    void Exchange(double& v);
    void Exchange(CString& s);
    // Loading keeps at most uKeep elements (the surplus is read and dropped)
    // and pads the array with empty elements to uKeep.
    void Exchange(CStringArray& ars, std::size_t uKeep);

    // Writes what is still buffered; throws CArchiveWriteError.
    void Flush();

    // Raw access (also for tests that build archives).
    void ReadBytes(void* p, std::size_t n);
    void WriteBytes(const void* p, std::size_t n);
    std::uint32_t ReadStringLength();
    void WriteStringLength(std::uint64_t n);
    std::uint32_t ReadCount();
    void WriteCount(std::uint64_t n);

private:
    IStream* m_pStream;
    bool m_bStoring;
    int m_iSchema = 0;
    unsigned char m_buffer[kBufferSize];
    std::size_t m_uPos = 0;
    std::size_t m_uEnd = 0;
};
