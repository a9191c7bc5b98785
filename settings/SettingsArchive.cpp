#include "settings/SettingsArchive.h"

#include <cstring>

#include "platform/Storage.h"

namespace {

template <class T>
T FromLittleEndian(const unsigned char* p) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        v |= std::uint64_t(p[i]) << (8 * i);
    T out;
    if constexpr (sizeof(T) == 8) {
        std::memcpy(&out, &v, 8);
    } else {
        auto narrow = static_cast<std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint16_t>>(v);
        std::memcpy(&out, &narrow, sizeof(T));
    }
    return out;
}

template <class T>
void ToLittleEndian(T v, unsigned char* p) {
    std::uint64_t u = 0;
    if constexpr (sizeof(T) == 8) {
        std::memcpy(&u, &v, 8);
    } else {
        std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint16_t> narrow;
        std::memcpy(&narrow, &v, sizeof(T));
        u = narrow;
    }
    for (std::size_t i = 0; i < sizeof(T); ++i)
        p[i] = (unsigned char)(u >> (8 * i));
}

}  // namespace

void CSettingsArchive::ReadBytes(void* p, std::size_t n) {
    auto* out = static_cast<unsigned char*>(p);
    while (n > 0) {
        if (m_uPos == m_uEnd) {
            m_uPos = 0;
            m_uEnd = m_pStream->Read(m_buffer, kBufferSize);
            if (m_uEnd == 0)
                throw CArchiveError("settings archive ends early");
        }
        std::size_t take = std::min(n, m_uEnd - m_uPos);
        std::memcpy(out, m_buffer + m_uPos, take);
        m_uPos += take;
        out += take;
        n -= take;
    }
}

void CSettingsArchive::WriteBytes(const void* p, std::size_t n) {
    const auto* in = static_cast<const unsigned char*>(p);
    while (n > 0) {
        if (m_uEnd == kBufferSize)
            Flush();
        std::size_t take = std::min(n, kBufferSize - m_uEnd);
        std::memcpy(m_buffer + m_uEnd, in, take);
        m_uEnd += take;
        in += take;
        n -= take;
    }
}

void CSettingsArchive::Flush() {
    if (m_bStoring && m_uEnd > 0) {
        if (!m_pStream->Write(m_buffer, m_uEnd))
            throw CArchiveWriteError("settings stream could not be written");
        m_uEnd = 0;
    }
}

void CSettingsArchive::Exchange(std::int32_t& v) {
    unsigned char b[4];
    if (m_bStoring) {
        ToLittleEndian(v, b);
        WriteBytes(b, 4);
    } else {
        ReadBytes(b, 4);
        v = FromLittleEndian<std::int32_t>(b);
    }
}

void CSettingsArchive::Exchange(long& v) {
    // The flag sets are 32-bit values in the archive; on this platform long is
    // wider, and a value read back is sign-extended so that "all bits" stays
    // all bits.
    std::int32_t n = static_cast<std::int32_t>(v);
    Exchange(n);
    if (!m_bStoring)
        v = n;
}

void CSettingsArchive::Exchange(std::int16_t& v) {
    unsigned char b[2];
    if (m_bStoring) {
        ToLittleEndian(v, b);
        WriteBytes(b, 2);
    } else {
        ReadBytes(b, 2);
        v = FromLittleEndian<std::int16_t>(b);
    }
}

void CSettingsArchive::Exchange(float& v) {
    static_assert(sizeof(float) == 4);
    unsigned char b[4];
    if (m_bStoring) {
        ToLittleEndian(v, b);
        WriteBytes(b, 4);
    } else {
        ReadBytes(b, 4);
        v = FromLittleEndian<float>(b);
    }
}

void CSettingsArchive::Exchange(double& v) {
    static_assert(sizeof(double) == 8);
    unsigned char b[8];
    if (m_bStoring) {
        ToLittleEndian(v, b);
        WriteBytes(b, 8);
    } else {
        ReadBytes(b, 8);
        v = FromLittleEndian<double>(b);
    }
}

// Length prefix: one byte up to 254; 0xFF and 16 bits up to 0xFFFD; 0xFF,
// 0xFFFF and 32 bits beyond.
std::uint32_t CSettingsArchive::ReadStringLength() {
    unsigned char b[4];
    ReadBytes(b, 1);
    if (b[0] < 0xFF)
        return b[0];
    ReadBytes(b, 2);
    std::uint16_t w = FromLittleEndian<std::uint16_t>(b);
    if (w < 0xFFFE)
        return w;
    if (w == 0xFFFE)  // the marker of a UTF-16 string, which this archive never holds
        throw CArchiveError("settings archive holds a wide string");
    ReadBytes(b, 4);
    return FromLittleEndian<std::uint32_t>(b);
}

void CSettingsArchive::WriteStringLength(std::uint64_t n) {
    unsigned char b[4];
    if (n < 0xFF) {
        b[0] = (unsigned char)n;
        WriteBytes(b, 1);
        return;
    }
    b[0] = 0xFF;
    WriteBytes(b, 1);
    if (n < 0xFFFE) {
        ToLittleEndian(std::uint16_t(n), b);
        WriteBytes(b, 2);
        return;
    }
    if (n > 0xFFFFFFFEu)
        throw CArchiveWriteError("string too long for the settings archive");
    ToLittleEndian(std::uint16_t(0xFFFF), b);
    WriteBytes(b, 2);
    ToLittleEndian(std::uint32_t(n), b);
    WriteBytes(b, 4);
}

void CSettingsArchive::Exchange(CString& s) {
    if (m_bStoring) {
        WriteStringLength(std::uint64_t(s.GetLength()));
        WriteBytes(s.c_str(), std::size_t(s.GetLength()));
        return;
    }
    // The text grows only with bytes actually read: a corrupt length cannot
    // make us allocate more than the archive holds.
    std::uint32_t n = ReadStringLength();
    std::string text;
    char chunk[kBufferSize];
    while (n > 0) {
        std::size_t take = std::min<std::size_t>(n, sizeof chunk);
        ReadBytes(chunk, take);
        text.append(chunk, take);
        n -= std::uint32_t(take);
    }
    s = CString(std::move(text));
}

// Element count: 16 bits, or 0xFFFF followed by 32 bits when it is 0xFFFF or more.
std::uint32_t CSettingsArchive::ReadCount() {
    unsigned char b[4];
    ReadBytes(b, 2);
    std::uint16_t w = FromLittleEndian<std::uint16_t>(b);
    if (w != 0xFFFF)
        return w;
    ReadBytes(b, 4);
    return FromLittleEndian<std::uint32_t>(b);
}

void CSettingsArchive::WriteCount(std::uint64_t n) {
    unsigned char b[4];
    if (n < 0xFFFF) {
        ToLittleEndian(std::uint16_t(n), b);
        WriteBytes(b, 2);
        return;
    }
    if (n > 0xFFFFFFFFu)
        throw CArchiveWriteError("array too long for the settings archive");
    ToLittleEndian(std::uint16_t(0xFFFF), b);
    WriteBytes(b, 2);
    ToLittleEndian(std::uint32_t(n), b);
    WriteBytes(b, 4);
}

void CSettingsArchive::Exchange(CStringArray& ars, std::size_t uKeep) {
    if (m_bStoring) {
        WriteCount(std::uint64_t(ars.GetSize()));
        for (int i = 0; i < ars.GetSize(); ++i)
            Exchange(ars[i]);
        return;
    }
    std::uint32_t n = ReadCount();
    CStringArray read;
    for (std::uint32_t i = 0; i < n; ++i) {
        CString s;
        Exchange(s);
        if (std::size_t(read.GetSize()) < uKeep)
            read.Add(s);
    }
    read.SetSize(int(uKeep));
    ars = std::move(read);
}
