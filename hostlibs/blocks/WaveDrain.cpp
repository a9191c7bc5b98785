#include "hostlibs/blocks/ChannelScale.h"
#include "hostlibs/blocks/Drains.h"
#include "hostlibs/blocks/Quantize.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr std::uint32_t kHeaderBytes = 46; // RIFF 12 + "fmt " 8 + 18 + "data" 8

void Put16(unsigned char* p, std::uint32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void Put32(unsigned char* p, std::uint32_t v)
{
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

bool WriteAt(int fd, const std::string& path, std::uint64_t pos, const void* data, std::size_t n)
{
    if (int e = FileSystem::InjectedFault(FileSystem::EOp::Write, path)) {
        errno = e;
        return false;
    }
    const char* p = static_cast<const char*>(data);
    while (n > 0) {
        ssize_t w = ::pwrite(fd, p, n, off_t(pos));
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        pos += std::uint64_t(w);
        n -= std::size_t(w);
    }
    return true;
}
// Channel c of n interleaved scans of stored codes into output codes: the
// code times k, a power of two (so the product is exact), then rounding to
// nearest (ties to even) or truncation, as the quantiser does, and clipping.
// Returns how many had to be clipped.
std::size_t ScaleCodes(const std::int32_t* in, std::size_t n, std::size_t nCh, std::size_t c, double k, bool round,
                       double lo, double hi, std::int32_t* out)
{
    std::size_t clipped = 0;
    const std::size_t end = n * nCh;
    if (std::fabs(k) >= 1.0) {
        // Whole numbers stay whole: no rounding, and no 64-bit product of
        // a 32-bit code and at most 2^23 overflows.
        const auto f = std::int64_t(k), l = std::int64_t(lo), h = std::int64_t(hi);
        for (std::size_t i = c; i < end; i += nCh) {
            std::int64_t y = std::int64_t(in[i]) * f;
            clipped += (y < l) | (y > h);
            y = y < l ? l : (y > h ? h : y);
            out[i] = std::int32_t(y);
        }
        return clipped;
    }
    constexpr double kMagic = 6755399441055744.0; // 1.5 * 2^52: rounds to an integer, ties to even
    for (std::size_t i = c; i < end; i += nCh) {
        const double y = double(in[i]) * k;
        double r = round ? (y + kMagic) - kMagic : std::trunc(y);
        clipped += (r < lo) | (r > hi);
        r = r < lo ? lo : (r > hi ? hi : r);
        out[i] = std::int32_t(r);
    }
    return clipped;
}
} // namespace

struct CSPMWaveDrain::Impl {
    std::string sPath;
    bool bDither = false, bTruncate = false, b1to1 = true, b24 = false;
    double dFullScale = 0.0;
    int nSub = 0;
    int iBnrSub = -1, nBnrCount = 0;
    double dBnrLevel = 0.0;

    int iError = eOK;
    int fd = -1;
    bool bOpened = false;
    // The file this drain made, so that a failed run removes that file and
    // never one that has since taken its name.
    dev_t dev = 0;
    ino_t ino = 0;
    std::uint64_t nDataBytes = 0;
    std::uint64_t nClipped = 0;

    std::size_t nCh = 0;
    std::vector<SQuantizer> quant;
    // Per channel: the power of two that takes its stored integer code to an
    // output code in a 1:1 conversion (signed like its mapping factor), or 0
    // when the channel is quantised from its value.
    std::vector<double> codeScale;
    bool bCodes = false;
    // Every channel is such a shift: the codes alone make the file.
    bool bCodesOnly = false;
    std::vector<int> pulseBit; // per channel: pulse bit to write, -1 none
    bool bPulses = false;
    SDitherNoise noise;
    std::vector<std::int32_t> codes;
    std::vector<unsigned char> bytes;

    // A new file: a file that exists already belongs to someone else.
    bool OpenFile(std::uint16_t channels, std::uint32_t rate)
    {
        if (int e = FileSystem::InjectedFault(FileSystem::EOp::Create, sPath)) {
            errno = e;
            return false;
        }
        fd = ::open(sPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        // Held with the same exclusive lock as every other output of ours, so
        // another job's write probe sees it as taken instead of removing it.
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            fd = -1;
            ::unlink(sPath.c_str());
            return false;
        }
        bOpened = true;
        struct stat st {};
        if (::fstat(fd, &st) == 0) {
            dev = st.st_dev;
            ino = st.st_ino;
        }
        unsigned char h[kHeaderBytes] = {};
        std::uint16_t bytesPerSample = b24 ? 3 : 2;
        std::uint16_t align = std::uint16_t(bytesPerSample * channels);
        std::memcpy(h, "RIFF", 4);
        Put32(h + 4, kHeaderBytes - 8);
        std::memcpy(h + 8, "WAVE", 4);
        std::memcpy(h + 12, "fmt ", 4);
        Put32(h + 16, 18);
        Put16(h + 20, 1); // PCM
        Put16(h + 22, channels);
        Put32(h + 24, rate);
        Put32(h + 28, rate * align);
        Put16(h + 32, align);
        Put16(h + 34, std::uint16_t(bytesPerSample * 8));
        Put16(h + 36, 0); // cbSize
        std::memcpy(h + 38, "data", 4);
        Put32(h + 42, 0);
        return WriteAt(fd, sPath, 0, h, kHeaderBytes);
    }

    // Closes the file; true when the system reports no error.
    bool CloseFile()
    {
        if (fd < 0)
            return true;
        int rc = ::close(fd);
        fd = -1;
        return rc == 0;
    }

    // Closes and removes the file of a run that did not complete.
    void Discard()
    {
        CloseFile();
        if (!bOpened)
            return;
        struct stat st {};
        if (::lstat(sPath.c_str(), &st) == 0 && st.st_dev == dev && st.st_ino == ino)
            ::unlink(sPath.c_str());
        bOpened = false;
    }
};

CSPMWaveDrain* CSPMWaveDrain::CreateObject(const char* path)
{
    return new CSPMWaveDrain(path);
}

CSPMWaveDrain::CSPMWaveDrain(const char* path) : m(std::make_unique<Impl>())
{
    m->sPath = path ? path : "";
}

CSPMWaveDrain::~CSPMWaveDrain()
{
    // Destroyed without ending the run: the file is not complete.
    if (m->fd >= 0)
        m->Discard();
}

bool CSPMWaveDrain::SetParameters(bool bDither, bool bTruncate, bool b1to1, double dFullScale, int nSubChannels,
                                  bool b24Bit)
{
    // Pulse bits beyond the eighth never travel in a stream, so a count above
    // 8 asks for nothing that could not be written.
    if (m_bInitialized || nSubChannels < 0)
        return false;
    if (!b1to1 && !(std::isfinite(dFullScale) && dFullScale > 0.0))
        return false;
    m->bDither = bDither;
    m->bTruncate = bTruncate;
    m->b1to1 = b1to1;
    m->dFullScale = dFullScale;
    m->nSub = nSubChannels;
    m->b24 = b24Bit;
    return true;
}

bool CSPMWaveDrain::SetParametersBNRSubChannel(int iSubChannel, int nSubChannels, double dLevel)
{
    if (m_bInitialized || iSubChannel < 0 || iSubChannel >= 8 || nSubChannels < 0 || !std::isfinite(dLevel))
        return false;
    m->iBnrSub = iSubChannel;
    m->nBnrCount = nSubChannels;
    m->dBnrLevel = dLevel;
    return true;
}

double CSPMWaveDrain::GetBNRLevel() const
{
    return m->dBnrLevel;
}

int CSPMWaveDrain::GetErrorCode() const
{
    return m->iError;
}

std::uint64_t CSPMWaveDrain::GetClipCount() const
{
    return m->nClipped;
}

bool CSPMWaveDrain::OnInitialize()
{
    const SStreamFormat& fmt = Input(0)->GetFormat();
    m->nCh = fmt.channels.size();
    auto refuse = [&](const std::string& why) {
        m->iError = eInit;
        return Fail("WAVE drain " + m->sPath + ": " + why);
    };
    if (m->sPath.empty())
        return refuse("no file name");
    if (m->nCh == 0 || m->nCh > 65535 / 3)
        return refuse("needs 1 to 21845 channels, got " + std::to_string(m->nCh));
    if (!(fmt.dRate >= 1.0 && fmt.dRate < 4294967295.0 / double(m->nCh * 3)))
        return refuse("sampling rate " + std::to_string(fmt.dRate) + " cannot be written");
    int bits = m->b24 ? 24 : 16;
    m->quant.assign(m->nCh, SQuantizer{});
    m->codeScale.assign(m->nCh, 0.0);
    m->bCodes = false;
    for (std::size_t c = 0; c < m->nCh; ++c) {
        const SStreamChannel& ch = fmt.channels[c];
        double fs = m->dFullScale, zero = 0.0;
        if (m->b1to1 && !ChannelFullScale(ch, fs, zero))
            return refuse("channel " + std::to_string(c) + " has no usable full scale");
        double a, b;
        StreamToPhysical(ch, a, b);
        // sample = (physical - zero) / fs * 2^(bits-1)
        double k = std::ldexp(1.0, bits - 1) / fs;
        SQuantizer& q = m->quant[c];
        q.gain = a * k;
        q.add = (b - zero) * k;
        q.bits = bits;
        q.bRound = !m->bTruncate;
        q.bDither = m->bDither;
        // 1:1 of an integer channel is a shift of its code; a float block
        // value holds 24 bits only, so 24 and 32-bit codes are taken exact.
        int originBits = ch.iOriginType == 1 ? 8 : ch.iOriginType == 3 ? 16 : ch.iOriginType == 5 ? 24
                       : ch.iOriginType == 7 ? 32 : 0;
        if (m->b1to1 && originBits && !m->bDither && ch.dOriginFactor != 0.0) {
            m->codeScale[c] = std::copysign(std::ldexp(1.0, bits - originBits), ch.dOriginFactor);
            m->bCodes = m->bCodes || originBits > 16;
        }
    }
    m->bCodesOnly = std::all_of(m->codeScale.begin(), m->codeScale.end(), [](double k) { return k != 0.0; });
    if ((m->bCodes || m->bCodesOnly) && Input(0)->IsConnected())
        Input(0)->GetConnectedOutput()->WantCodes(true, !m->bCodesOnly);
    m->bPulses = fmt.HasPulses() && m->nSub > 0;
    m->pulseBit.assign(m->nCh, -1);
    if (m->bPulses) {
        int own = std::min<int>({m->nSub, int(m->nCh), int(fmt.pulses.size())});
        for (int k = 0; k < own; ++k)
            m->pulseBit[std::size_t(k)] = k;
        if (m->iBnrSub >= 0 && m->iBnrSub < int(fmt.pulses.size()))
            for (std::size_t c = std::size_t(own); c < m->nCh; ++c)
                m->pulseBit[c] = m->iBnrSub;
    }
    return true;
}

bool CSPMWaveDrain::Consume(const SStreamBlock& block)
{
    Impl& s = *m;
    if (!s.bOpened) {
        const SStreamFormat& fmt = Input(0)->GetFormat();
        if (!s.OpenFile(std::uint16_t(s.nCh), std::uint32_t(fmt.dRate + 0.5))) {
            const std::string why = std::strerror(errno);
            s.iError = s.bOpened ? eWrite : eOpen;
            return Fail("WAVE drain: " + s.sPath + (s.bOpened ? ": header could not be written: " : ": cannot be created: ") + why);
        }
    }
    const std::size_t n = block.nScans, nCh = s.nCh;
    if (n == 0)
        return true;
    const std::size_t bps = s.b24 ? 3 : 2;
    if (s.nDataBytes + n * nCh * bps > std::uint64_t(std::numeric_limits<std::uint32_t>::max()) - kHeaderBytes) {
        s.iError = eWrite;
        return Fail("WAVE drain: " + s.sPath + ": more than 4 GiB of samples do not fit a RIFF file");
    }
    s.codes.resize(n * nCh);
    const bool haveCodes = block.codes.size() == n * nCh;
    const double lo = s.quant[0].Low(), hi = s.quant[0].High();
    if (s.bCodesOnly && haveCodes) {
        // No value is needed (the producer may not have made any).
        for (std::size_t c = 0; c < nCh; ++c)
            s.nClipped += ScaleCodes(block.codes.data(), n, nCh, c, s.codeScale[c], s.quant[c].bRound, lo, hi,
                                     s.codes.data());
    } else {
        s.nClipped += QuantizeInterleaved(block.values.data(), n, nCh, s.quant.data(), s.noise, s.codes.data());
        // The values were counted when clipped; their codes replace them.
        if (s.bCodes && haveCodes)
            for (std::size_t c = 0; c < nCh; ++c)
                if (s.codeScale[c] != 0.0)
                    ScaleCodes(block.codes.data(), n, nCh, c, s.codeScale[c], s.quant[c].bRound, lo, hi,
                               s.codes.data());
    }
    if (s.bPulses && !block.pulses.empty()) {
        const std::int32_t keep = s.b24 ? ~std::int32_t(0x100) : ~std::int32_t(1);
        const int shift = s.b24 ? 8 : 0;
        for (std::size_t c = 0; c < nCh; ++c) {
            int bit = s.pulseBit[c];
            if (bit < 0)
                continue;
            for (std::size_t i = 0; i < n; ++i) {
                std::int32_t p = (block.pulses[i] >> bit) & 1;
                std::int32_t& v = s.codes[i * nCh + c];
                v = (v & keep) | (p << shift);
            }
        }
    }
    s.bytes.resize(n * nCh * bps);
    unsigned char* o = s.bytes.data();
    const std::int32_t* src = s.codes.data();
    const std::size_t total = n * nCh;
    if (bps == 2) {
        for (std::size_t i = 0; i < total; ++i) {
            std::uint16_t v = std::uint16_t(src[i]);
            o[2 * i] = std::uint8_t(v);
            o[2 * i + 1] = std::uint8_t(v >> 8);
        }
    } else {
        for (std::size_t i = 0; i < total; ++i) {
            std::uint32_t v = std::uint32_t(src[i]);
            o[3 * i] = std::uint8_t(v);
            o[3 * i + 1] = std::uint8_t(v >> 8);
            o[3 * i + 2] = std::uint8_t(v >> 16);
        }
    }
    if (!WriteAt(s.fd, s.sPath, kHeaderBytes + s.nDataBytes, o, s.bytes.size())) {
        s.iError = eWrite;
        return Fail("WAVE drain: write to " + s.sPath + " failed at data byte " + std::to_string(s.nDataBytes));
    }
    s.nDataBytes += s.bytes.size();
    return true;
}

bool CSPMWaveDrain::Finish(bool bComplete)
{
    Impl& s = *m;
    if (bComplete && !s.bOpened) {
        // A stream without any block still makes a (silent, empty) file.
        SStreamBlock none;
        if (!Consume(none))
            bComplete = false;
    }
    if (!bComplete) {
        if (s.iError == eOK)
            s.iError = eRun;
        s.Discard();
        return false;
    }
    // The sizes go where readers (and the loop cross-fade) expect them: the
    // RIFF size at byte 4, the data size at byte 42. An odd data size gets
    // no pad byte, so that the samples end exactly at the end of the file.
    unsigned char v[4];
    bool ok = true;
    Put32(v, std::uint32_t(kHeaderBytes - 8 + s.nDataBytes));
    ok = ok && WriteAt(s.fd, s.sPath, 4, v, 4);
    Put32(v, std::uint32_t(s.nDataBytes));
    ok = ok && WriteAt(s.fd, s.sPath, 42, v, 4);
    ok = s.CloseFile() && ok;
    if (!ok) {
        s.iError = eClose;
        s.Discard();
        return Fail("WAVE drain: " + s.sPath + " could not be completed");
    }
    return true;
}
