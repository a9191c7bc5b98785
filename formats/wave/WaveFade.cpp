#include "formats/wave/WaveFade.h"

#include "formats/wave/WaveFormat.h"
#include "platform/Riff.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t kBlockFrames = 4096;

// The edit target: the format and the data chunk of a WAVE file opened for
// reading and writing.
struct SOpenWave {
    CRiffFile file;
    SWaveFormat format;
    CRiffChunk riff;
    CRiffChunk data;
    int sampleBytes = 0;  // 2 or 3
};

bool OpenForEdit(const char* path, SOpenWave& w)
{
    if (!w.file.Open(path, MMIO_READWRITE))
        return false;
    if (EnterWaveRiff(w.file, w.riff) != 0)
        return false;
    CRiffChunk fmt;
    fmt.ckid = RiffFourCC("fmt ");
    if (w.file.Descend(fmt, &w.riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || fmt.cksize < SWaveFormat::kSize)
        return false;
    unsigned char rec[SWaveFormat::kSize];
    if (w.file.Read(rec, long(sizeof rec)) != long(sizeof rec) || w.file.Ascend(fmt) != MMSYSERR_NOERROR)
        return false;
    w.format = SWaveFormat::Parse(rec);
    w.data = CRiffChunk{};
    w.data.ckid = RiffFourCC("data");
    if (w.file.Descend(w.data, &w.riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return false;
    return true;
}

bool Usable(const SOpenWave& w)
{
    const SWaveFormat& f = w.format;
    if (f.formatTag != 1 || f.channels == 0 || f.blockAlign == 0 || f.blockAlign % f.channels != 0)
        return false;
    int bytes = f.blockAlign / f.channels;
    // 24-bit samples when three bytes each, 16-bit otherwise (as written).
    return bytes == 2 || bytes == 3;
}

std::int32_t GetSample(const unsigned char* p, int bytes)
{
    if (bytes == 3) {
        std::int32_t v = std::int32_t(p[0] | p[1] << 8 | p[2] << 16);
        return (v ^ 0x800000) - 0x800000;
    }
    return std::int16_t(p[0] | p[1] << 8);
}

void PutSample(unsigned char* p, int bytes, std::int32_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
    if (bytes == 3)
        p[2] = std::uint8_t(v >> 16);
}

std::int32_t KeepPulse(std::int32_t fresh, std::int32_t old, int bytes, bool keep)
{
    if (!keep)
        return fresh;
    const std::int32_t bit = bytes == 3 ? 0x100 : 0x1;
    return (fresh & ~bit) | (old & bit);
}

bool ReadAt(CRiffFile& f, std::uint64_t pos, unsigned char* buf, std::size_t n)
{
    return f.Seek(std::int64_t(pos), SEEK_SET) >= 0 && f.Read(buf, long(n)) == long(n);
}

bool WriteAt(CRiffFile& f, std::uint64_t pos, const unsigned char* buf, std::size_t n)
{
    return f.Seek(std::int64_t(pos), SEEK_SET) >= 0 && f.Write(buf, long(n)) == long(n);
}

// Frames in the fade as a double, so that an absurd time (or infinity)
// compares as too long instead of wrapping around in integer arithmetic;
// 0 when none applies.
double FadeFrames(const SOpenWave& w, double seconds)
{
    double n = std::trunc(double(w.format.samplesPerSec) * seconds);
    return n > 0 ? n : 0.0;
}

std::uint64_t DataBytesPresent(SOpenWave& w)
{
    std::int64_t size = w.file.Size();
    std::uint64_t avail = size > 0 && std::uint64_t(size) > w.data.dataOffset ? std::uint64_t(size) - w.data.dataOffset : 0;
    return std::min<std::uint64_t>(w.data.cksize, avail);
}

}  // namespace

EFadeResult ApplyFadeInOut(const char* path, double seconds, bool bKeepPulseBit)
{
    if (!(seconds > 0))
        return EFadeResult::NotApplicable;
    SOpenWave w;
    if (!OpenForEdit(path, w))
        return EFadeResult::Failed;
    if (!Usable(w))
        return EFadeResult::NotApplicable;
    const double nFrames = FadeFrames(w, seconds);
    const unsigned frame = w.format.blockAlign;
    const std::uint64_t D = DataBytesPresent(w) / frame * frame;
    if (nFrames == 0)
        return EFadeResult::NotApplicable;
    if (!(2.0 * nFrames <= double(D / frame)))
        return EFadeResult::TooShort;
    const std::uint64_t n = std::uint64_t(nFrames);
    const int bytes = frame / w.format.channels;
    const std::uint64_t headPos = w.data.dataOffset;
    const std::uint64_t tailPos = w.data.dataOffset + D - n * frame;
    std::vector<unsigned char> buf(kBlockFrames * frame);
    for (std::uint64_t k0 = 0; k0 < n; k0 += kBlockFrames) {
        const std::uint64_t cnt = std::min<std::uint64_t>(kBlockFrames, n - k0);
        for (int part = 0; part < 2; ++part) {
            const std::uint64_t pos = (part == 0 ? headPos : tailPos) + k0 * frame;
            if (!ReadAt(w.file, pos, buf.data(), cnt * frame))
                return EFadeResult::Failed;
            for (std::uint64_t k = 0; k < cnt; ++k) {
                const double g = double(k0 + k) / double(n);
                const double gain = part == 0 ? g : 1.0 - g;
                unsigned char* fp = buf.data() + k * frame;
                for (unsigned c = 0; c < w.format.channels; ++c) {
                    unsigned char* sp = fp + c * bytes;
                    const std::int32_t old = GetSample(sp, bytes);
                    const std::int32_t fresh = std::int32_t(std::trunc(old * gain));
                    PutSample(sp, bytes, KeepPulse(fresh, old, bytes, bKeepPulseBit));
                }
            }
            if (!WriteAt(w.file, pos, buf.data(), cnt * frame))
                return EFadeResult::Failed;
        }
    }
    return w.file.Close() == MMSYSERR_NOERROR ? EFadeResult::Done : EFadeResult::Failed;
}

EFadeResult ApplyLoopCrossFade(const char* path, double seconds, bool bKeepPulseBit)
{
    if (!(seconds > 0))
        return EFadeResult::NotApplicable;
    SOpenWave w;
    if (!OpenForEdit(path, w))
        return EFadeResult::Failed;
    if (!Usable(w))
        return EFadeResult::NotApplicable;
    const double nFrames = FadeFrames(w, seconds);
    const unsigned frame = w.format.blockAlign;
    if (nFrames == 0)
        return EFadeResult::NotApplicable;
    // Shortening cuts the end of the file: only when the data are its end.
    // An odd data chunk may end the file with or without its pad byte (the
    // drain writes none).
    const std::int64_t fileSize = w.file.Size();
    const std::uint64_t dataEnd = w.data.dataOffset + w.data.cksize;
    const bool padded = (w.data.cksize & 1u) && fileSize >= 0 && std::uint64_t(fileSize) == dataEnd + 1;
    if (fileSize < 0 || (std::uint64_t(fileSize) != dataEnd && !padded) ||
        w.riff.dataOffset + w.riff.cksize != std::uint64_t(fileSize))
        return EFadeResult::NotApplicable;
    const std::uint64_t D = std::uint64_t(w.data.cksize) / frame * frame;
    if (!(2.0 * nFrames <= double(D / frame)))
        return EFadeResult::TooShort;
    const std::uint64_t n = std::uint64_t(nFrames);
    const std::uint64_t L = n * frame;
    const int bytes = frame / w.format.channels;
    const std::uint64_t headPos = w.data.dataOffset;
    const std::uint64_t tailPos = w.data.dataOffset + D - L;
    std::vector<unsigned char> head(kBlockFrames * frame), tail(kBlockFrames * frame);
    for (std::uint64_t k0 = 0; k0 < n; k0 += kBlockFrames) {
        const std::uint64_t cnt = std::min<std::uint64_t>(kBlockFrames, n - k0);
        if (!ReadAt(w.file, headPos + k0 * frame, head.data(), cnt * frame) ||
            !ReadAt(w.file, tailPos + k0 * frame, tail.data(), cnt * frame))
            return EFadeResult::Failed;
        for (std::uint64_t k = 0; k < cnt; ++k) {
            const double g = double(k0 + k) / double(n);
            for (unsigned c = 0; c < w.format.channels; ++c) {
                unsigned char* hp = head.data() + k * frame + c * bytes;
                const std::int32_t first = GetSample(hp, bytes);
                const std::int32_t last = GetSample(tail.data() + k * frame + c * bytes, bytes);
                const std::int32_t mixed = std::int32_t(std::trunc(last * (1.0 - g) + first * g));
                PutSample(hp, bytes, KeepPulse(mixed, first, bytes, bKeepPulseBit));
            }
        }
        if (!WriteAt(w.file, headPos + k0 * frame, head.data(), cnt * frame))
            return EFadeResult::Failed;
    }
    // The sizes shrink by L: the RIFF size at offset 4, the data size in
    // the data chunk's header (offset 42 in the files the drain writes).
    const std::uint32_t newData = std::uint32_t(w.data.cksize - L);
    const std::uint64_t newEnd = w.data.dataOffset + newData;
    const bool pad = padded && (newData & 1u);
    const std::uint64_t newFile = newEnd + (pad ? 1 : 0);
    unsigned char le[4];
    auto put32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            le[i] = std::uint8_t(v >> (8 * i));
    };
    put32(std::uint32_t(newFile - 8));
    if (!WriteAt(w.file, 4, le, 4))
        return EFadeResult::Failed;
    put32(newData);
    if (!WriteAt(w.file, w.data.dataOffset - 4, le, 4))
        return EFadeResult::Failed;
    if (pad) {
        const unsigned char zero = 0;
        if (!WriteAt(w.file, newEnd, &zero, 1))
            return EFadeResult::Failed;
    }
    if (!w.file.Truncate(newFile))
        return EFadeResult::Failed;
    return w.file.Close() == MMSYSERR_NOERROR ? EFadeResult::Done : EFadeResult::Failed;
}
