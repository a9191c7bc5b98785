#include "formats/wave/WaveFormat.h"

#include "hostlibs/dataset/DatasetTypes.h"

namespace {

std::uint16_t Le16(const unsigned char* p) { return std::uint16_t(p[0] | p[1] << 8); }
std::uint32_t Le32(const unsigned char* p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}
void Put16(unsigned char* p, std::uint16_t v)
{
    p[0] = std::uint8_t(v);
    p[1] = std::uint8_t(v >> 8);
}
void Put32(unsigned char* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

}  // namespace

SWaveFormat SWaveFormat::Parse(const unsigned char* r)
{
    SWaveFormat f;
    f.formatTag = Le16(r);
    f.channels = Le16(r + 2);
    f.samplesPerSec = Le32(r + 4);
    f.avgBytesPerSec = Le32(r + 8);
    f.blockAlign = Le16(r + 12);
    f.bitsPerSample = Le16(r + 14);
    return f;
}

void SWaveFormat::Store(unsigned char* r) const
{
    Put16(r, formatTag);
    Put16(r + 2, channels);
    Put32(r + 4, samplesPerSec);
    Put32(r + 8, avgBytesPerSec);
    Put16(r + 12, blockAlign);
    Put16(r + 14, bitsPerSample);
}

unsigned EnterWaveRiff(CRiffFile& file, CRiffChunk& riff)
{
    riff = CRiffChunk{};
    if (file.Descend(riff, nullptr, 0) != MMSYSERR_NOERROR || riff.ckid != RiffFourCC("RIFF") ||
        riff.fccType != RiffFourCC("WAVE"))
        return WaveResult::kWaveNotRead;
    return 0;
}

unsigned ReadWaveHeader(CRiffFile& file, const CRiffChunk& riff, SWaveFormat& format, CRiffChunk& data)
{
    CRiffChunk fmt;
    fmt.ckid = RiffFourCC("fmt ");
    if (file.Descend(fmt, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || fmt.cksize < SWaveFormat::kSize)
        return WaveResult::kWaveNotRead;
    unsigned char record[SWaveFormat::kSize];
    if (file.Read(record, long(sizeof record)) != long(sizeof record))
        return WaveResult::kWaveNotRead;
    // Any bytes of the chunk beyond the PCM record are skipped here.
    if (file.Ascend(fmt) != MMSYSERR_NOERROR)
        return WaveResult::kWaveNotRead;
    format = SWaveFormat::Parse(record);
    if (!IsImportableFormat(format))
        return WaveResult::kFormatNotAccepted;
    data = CRiffChunk{};
    data.ckid = RiffFourCC("data");
    if (file.Descend(data, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR)
        return WaveResult::kWaveNotRead;
    return 0;
}

bool IsImportableFormat(const SWaveFormat& f)
{
    if (f.formatTag != 1 || f.bitsPerSample < 1 || f.bitsPerSample > 32 || f.channels < 1 || f.channels > 256)
        return false;
    // Frames must be whole samples of 1 to 4 bytes; a rate of 0 has no
    // sample interval.
    if (f.blockAlign == 0 || f.blockAlign % f.channels != 0)
        return false;
    int bytes = f.blockAlign / f.channels;
    return bytes >= 1 && bytes <= 4 && f.samplesPerSec != 0;
}

SImportLayout ImportLayoutFor(int bytesPerSample)
{
    switch (bytesPerSample) {
    case 3:
        return {3, it__int24, (16777216.0 - 1.0) * 0.5};
    case 4:
        return {4, it__int32, (4294967296.0 - 1.0) * 0.5};
    case 1:
    case 2:
    default:
        return {bytesPerSample, it__int16, 32768.0};
    }
}

void WidenUnsigned8(const unsigned char* in, std::size_t n, unsigned char* out)
{
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = 0;
        out[2 * i + 1] = std::uint8_t(in[i] ^ 0x80u);
    }
}
