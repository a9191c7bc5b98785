#include "formats/wave/WaveTacho.h"

#include "formats/wave/WaveFormat.h"
#include "platform/Riff.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

constexpr long kBlockBytes = 65536;

// Full-scale physical value of the scale-to mode.
double ScaleToValue(short levelDb) { return std::sqrt(2.0) * 4e-5 * std::pow(10.0, levelDb * 0.05); }

// How the access delivers 16-bit values for the conversion mode.
bool SetMapping(CAccess& access, const STachoExport& t)
{
    map__dct rec;
    rec.m_nTypePhys = 1;
    rec.m_nTypeValue = 1;
    rec.m_dOffset = 0.0;
    if (t.convMode == 0 || t.convMode == 2) {
        const double fullScale = t.convMode == 0 ? t.peak : ScaleToValue(t.calibration);
        rec.m_dFactor = fullScale / 32768.0;
        return access.SetChannelMapping(t.channels, mk__record, &rec);
    }
    // 1:1. Integer channels keep their codes, brought to 16 bits (wider codes
    // lose their low bits rather than being clipped); other channels use
    // their calibration as full scale.
    for (int c : t.channels) {
        const CChannel ch = t.dataset->GetChannel(c);
        const CChNbrList one{c};
        const int type = ch.GetImplType();
        if (type == it__int16) {
            if (!access.SetChannelMapping(one, mk__raw, nullptr))
                return false;
            continue;
        }
        if (type == it__int24 || type == it__int32) {
            rec.m_dFactor = ch.GetMapping().GetFactor() * (type == it__int24 ? 256.0 : 65536.0);
            rec.m_dOffset = ch.GetMapping().GetOffset();
        } else {
            rec.m_dFactor = 2.0 * std::sqrt(2.0) * std::pow(10.0, ch.GetCalibration() * 0.05) / 32768.0;
            rec.m_dOffset = 0.0;
        }
        if (!access.SetChannelMapping(one, mk__record, &rec))
            return false;
    }
    return true;
}

// Writes frames while tracking the count; one tacho sample per frame when
// the file has a tacho track.
class CFrameWriter {
public:
    CFrameWriter(CRiffFile& file, CAccess& access, int channels, bool tacho)
        : m_file(file), m_access(access), m_nch(channels), m_tacho(tacho),
          m_frameBytes(long(2 * (channels + (tacho ? 1 : 0)))),
          m_scansPerBlock(std::max(1L, kBlockBytes / m_frameBytes)),
          m_in(std::size_t(m_scansPerBlock) * std::size_t(channels)),
          m_out(std::size_t(m_scansPerBlock) * std::size_t(m_frameBytes))
    {
    }

    // Writes scans [first, first + count) of the access; the tacho value of
    // each frame by `rule` (0: always 0; 1: half high).
    unsigned WriteRange(long first, long count, int rule)
    {
        if (count <= 0)
            return 0;
        if (!m_access.SpecifyScans(first, count))
            return WaveResult::kTrxNotRead;
        long pos = 0;
        while (pos < count) {
            const long want = std::min(m_scansPerBlock, count - pos);
            const long got = m_access.GetData(want, m_in.data(), ds__dorg_interleaved, it__int16);
            if (got <= 0)
                return WaveResult::kTrxNotRead;
            if (unsigned rc = Emit(got, [&](long j) { return rule == 0 ? short(0) : TachoSample(pos + j, count); }))
                return rc;
            pos += got;
        }
        return 0;
    }

    // Everything from the access's current position to its end, no tacho.
    unsigned WriteAll()
    {
        while (!m_access.Finished()) {
            const long got = m_access.GetData(m_scansPerBlock, m_in.data(), ds__dorg_interleaved, it__int16);
            if (got <= 0)
                return WaveResult::kTrxNotRead;
            if (unsigned rc = Emit(got, [](long) { return short(0); }))
                return rc;
        }
        return 0;
    }

    long long Written() const { return m_written; }

private:
    template <class Tacho>
    unsigned Emit(long scans, Tacho tacho)
    {
        const void* src = m_in.data();
        long bytes = scans * m_frameBytes;
        if (m_tacho) {
            auto* o = reinterpret_cast<std::int16_t*>(m_out.data());
            for (long j = 0; j < scans; ++j) {
                for (int c = 0; c < m_nch; ++c)
                    *o++ = m_in[std::size_t(j) * std::size_t(m_nch) + std::size_t(c)];
                *o++ = tacho(j);
            }
            src = m_out.data();
        }
        // Samples go out little-endian, which is the host order here.
        if (m_file.Write(src, bytes) != bytes)
            return WaveResult::kWriteFailed;
        m_written += scans;
        return 0;
    }

    CRiffFile& m_file;
    CAccess& m_access;
    int m_nch;
    bool m_tacho;
    long m_frameBytes;
    long m_scansPerBlock;
    std::vector<std::int16_t> m_in;
    std::vector<unsigned char> m_out;
    long long m_written = 0;
};

// Streams the pulse times of a pulse file in blocks. The times are the
// file's abscissa values: each scan, read with its abscissa (organisation
// 4), is the pulse time followed by the interval to the pulse before. They
// are read as the doubles they are stored as: an hour into a recording a
// float is a quarter of a millisecond coarse, a dozen samples at 48 kHz.
class CPulseTimes {
public:
    bool Open(const char* path)
    {
        try {
            m_ds = std::make_unique<CDataset>(path, om__read_complete, 32768, sh__deny_write);
        } catch (...) {
            return false;
        }
        if (m_ds->GetNbrOfChannels() < 1)
            return false;
        m_access = m_ds->CreateAccess(am__read, CChNbrList{0}, 0, 0L, -1L);
        return m_access != nullptr && m_access->GetScanBytes(ds__dorg_with_abscissa, it__double) == 16;
    }
    // Next time; false at the end (or when a block cannot be read: *failed).
    bool Next(double& t, bool& failed)
    {
        if (m_pos == m_count) {
            if (m_access->Finished())
                return false;
            m_count = std::size_t(std::max(0L, m_access->GetData(long(m_buf.size() / 2), m_buf.data(),
                                                                 ds__dorg_with_abscissa, it__double)));
            m_pos = 0;
            if (m_count == 0) {
                failed = !m_access->Finished();
                return false;
            }
        }
        t = m_buf[2 * m_pos++];
        return true;
    }

private:
    std::unique_ptr<CDataset> m_ds;
    CAccess* m_access = nullptr;
    std::vector<double> m_buf = std::vector<double>(2 * 8192);
    std::size_t m_pos = 0, m_count = 0;
};

}  // namespace

STachoResult WriteTachoWave(const STachoExport& t)
{
    STachoResult r;
    CDataset& ds = *t.dataset;
    auto fail = [&](unsigned id, bool withPath) {
        r.ok = false;
        r.stringId = id;
        if (withPath)
            r.textArg = t.output;
        return r;
    };

    // Only the first pulse sub-channel drives the tacho track.
    bool tacho = false;
    CString pulsePath;
    for (int i = 0; i < ds.GetNbrOfSubChannels(); ++i) {
        CSubChannel sub = ds.GetSubChannel(i);
        if (sub.GetType() != sc__pulse)
            continue;
        CString error;
        if (t.makePulseFile && t.makePulseFile(sub, pulsePath, error)) {
            tacho = true;
        } else {
            // The export goes on without the tacho track.
            r.stringId = WaveResult::kSubchannelsNotExported;
            r.textAppend = error;
        }
        break;
    }

    // The output was cleared by the checks before; a file that has since
    // appeared under its name is someone else's and stays untouched.
    CRiffFile f;
    if (!f.Open(t.output, MMIO_CREATE | MMIO_CREATE_NEW | MMIO_EXCLUSIVE | MMIO_WRITE))
        return fail(WaveResult::kCannotOpen, true);
    if (t.created)
        t.created->Add(t.output);
    CRiffChunk riff;
    riff.fccType = RiffFourCC("WAVE");
    if (f.CreateChunk(riff, MMIO_CREATERIFF) != MMSYSERR_NOERROR)
        return fail(WaveResult::kCannotOpen, true);
    const int nch = t.channels.GetCount() + (tacho ? 1 : 0);
    if (nch > 0xFFFF)
        return fail(WaveResult::kInvalidParameters, false);
    SWaveFormat fmt;
    fmt.formatTag = 1;
    fmt.channels = std::uint16_t(nch);
    fmt.samplesPerSec = std::uint32_t(ds.GetSamplingRate(t.channels.GetAt(0)) + 0.5);
    fmt.bitsPerSample = 16;
    fmt.blockAlign = std::uint16_t(fmt.bitsPerSample * nch / 8);
    fmt.avgBytesPerSec = fmt.blockAlign * fmt.samplesPerSec;
    CRiffChunk fmtChunk;
    fmtChunk.ckid = RiffFourCC("fmt ");
    if (f.CreateChunk(fmtChunk, 0) != MMSYSERR_NOERROR)
        return fail(WaveResult::kCannotOpen, true);
    unsigned char rec[SWaveFormat::kSize];
    fmt.Store(rec);
    if (f.Write(rec, long(sizeof rec)) != long(sizeof rec))
        return fail(WaveResult::kWriteFailed, true);
    if (f.Ascend(fmtChunk) != MMSYSERR_NOERROR)
        return fail(WaveResult::kCannotOpen, true);
    CRiffChunk data;
    data.ckid = RiffFourCC("data");
    if (f.CreateChunk(data, 0) != MMSYSERR_NOERROR)
        return fail(WaveResult::kCannotOpen, true);

    // The access hands out 16-bit values already scaled as the mode asks.
    CAccess* access = ds.CreateAccess(am__read, t.channels, 0, 0L, -1L);
    if (!access || !SetMapping(*access, t))
        return fail(WaveResult::kTrxNotRead, false);
    struct SAccessGuard {
        CDataset& ds;
        CAccess* a;
        ~SAccessGuard() { ds.DeleteAccess(a); }
    } guard{ds, access};
    const long total = access->GetNbrOfScans();
    CFrameWriter writer(f, *access, t.channels.GetCount(), tacho);

    if (!tacho) {
        // Without pulses the frames are the channels alone.
        if (unsigned rc = writer.WriteAll())
            return fail(rc, rc == WaveResult::kWriteFailed);
    } else {
        // Interval by interval, so that each knows its length for the
        // half-high rule.
        CPulseTimes pulses;
        if (!pulses.Open(pulsePath))
            return fail(WaveResult::kPulseFileNotRead, false);
        const CAbscissa x = ds.GetAbscissa(0);
        const double x0 = x.GetFirstValue();
        const double dt = 1.0 / ds.GetSamplingRate(t.channels.GetAt(0));
        // The first scan at or after a pulse time.
        auto scanAt = [&](double time) {
            double i = std::ceil((time - x0) / dt - 1e-9);
            return long(std::clamp(i, 0.0, double(total)));
        };
        double time;
        bool failed = false;
        if (!pulses.Next(time, failed))
            return fail(WaveResult::kPulseFileNotRead, false);
        long prev = scanAt(time);
        // Before the first pulse: tacho 0.
        if (unsigned rc = writer.WriteRange(0, prev, 0))
            return fail(rc, rc == WaveResult::kWriteFailed);
        while (pulses.Next(time, failed)) {
            long next = std::max(prev, scanAt(time));
            if (unsigned rc = writer.WriteRange(prev, next - prev, 1))
                return fail(rc, rc == WaveResult::kWriteFailed);
            prev = next;
        }
        if (failed)
            return fail(WaveResult::kPulseFileNotRead, false);
        // After the last pulse: the same half-and-half rule.
        if (unsigned rc = writer.WriteRange(prev, total - prev, 1))
            return fail(rc, rc == WaveResult::kWriteFailed);
        if (writer.Written() != total)
            return fail(WaveResult::kBytesMismatch, false);
    }

    // Ascending writes the chunk sizes.
    if (f.Ascend(data) != MMSYSERR_NOERROR || f.Ascend(riff) != MMSYSERR_NOERROR)
        return fail(WaveResult::kWaveNotRead, false);
    if (f.Close() != MMSYSERR_NOERROR)
        return fail(WaveResult::kWaveNotClosed, false);
    r.ok = true;
    return r;
}
