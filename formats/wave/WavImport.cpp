#include "formats/wave/WavImport.h"

#include "common/OutputPolicy.h"
#include "common/PieceCopy.h"
#include "common/WriteBehind.h"
#include "formats/wave/WaveFormat.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/Riff.h"
#include "settings/TSSettings.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>
#include <optional>

#include <sys/stat.h>

namespace {

std::atomic<std::size_t> g_bufferLimit{0};

constexpr std::size_t kBufferMax = 65536;
constexpr std::size_t kBufferMin = 4096;
// Blocks of a filtered copy: large enough that handing them to the writing
// thread costs nothing next to their copy.
constexpr std::size_t kFilterBlock = 256 * 1024;

std::unique_ptr<unsigned char[]> AllocateHalving(std::size_t& size)
{
    for (size = kBufferMax; size >= kBufferMin; size /= 2) {
        std::size_t limit = g_bufferLimit.load();
        if (limit && size > limit)
            continue;
        if (auto* p = new (std::nothrow) unsigned char[size])
            return std::unique_ptr<unsigned char[]>(p);
    }
    size = 0;
    return nullptr;
}

CString ChannelName(int i)
{
    if (i == 0)
        return "Left channel";
    if (i == 1)
        return "Right channel";
    return CString::Formatted("channel %d", i + 1);
}

}  // namespace

void CThreadWAVImport::SetBufferLimitForTests(std::size_t bytes) { g_bufferLimit = bytes; }

CThreadWAVImport::CThreadWAVImport(const char* input, long id, long user, const char* output,
                                   const int* overwrite)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_WAV_IMPORT;
    m_sOutput = output ? CString(output) : DeriveWAVImportOutput(input);
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitWAVImport);
}

CString DeriveWAVImportOutput(const char* input)
{
    return OutputPolicy::DeriveOutputPath(input ? input : "", ".dat", OutputPolicy::EExtensionRule::ReplaceOnly,
                                          CTSSettings::bitWAVImport);
}

CThreadWAVImport::~CThreadWAVImport() = default;

int CThreadWAVImport::Run()
{
    if (Convert()) {
        m_uState = TS_STATE_WAV_IMPORT;
        m_arsProduced.Add(m_sOutput);
        return 0;
    }
    m_uState = FailedState(TS_STATE_WAV_IMPORT);
    return -1;
}

bool CThreadWAVImport::Convert()
{
    const CString input = m_sInput;
    const CString output = m_sOutput;

    // A transfer buffer first: without one nothing can be copied, and memory
    // that is short shows before any file is touched.
    std::size_t bufSize = 0;
    std::unique_ptr<unsigned char[]> buffer = AllocateHalving(bufSize);
    unsigned early = 0;
    if (!buffer)
        early = WaveResult::kNoMemory;

    // An output that exists and may not be replaced (8) or that is the input
    // itself (111) is never touched, whatever follows.
    if (!early) {
        if (OutputPolicy::PrepareOutput(*this, input, output, m_bOverwrite))
            early = m_uStringID;
    }

    // Paths are taken whole: cutting one short would open
    // another file.
    CRiffFile wave;
    if (!wave.Open(input, MMIO_READ)) {
        m_uStringID = WaveResult::kCannotOpen;
        m_sTextArg = input;
        m_sTextAppend.Empty();
        return false;
    }
    // A file that is no WAVE file says so, even when the output was refused.
    CRiffChunk riff;
    if (unsigned rc = EnterWaveRiff(wave, riff)) {
        m_uStringID = rc;
        m_sTextArg.Empty();
        m_sTextAppend.Empty();
        return false;
    }
    // The refusals found above end the job now.
    if (early) {
        m_uStringID = early;
        return false;
    }
    SWaveFormat fmt;
    CRiffChunk dataChunk;
    if (unsigned rc = ReadWaveHeader(wave, riff, fmt, dataChunk)) {
        m_uStringID = rc;
        return false;
    }
    const std::uint64_t D = dataChunk.cksize;
    const unsigned frame = fmt.blockAlign;

    // From here on this job moves data: one unit of the shared access.
    CSemaphoreHolder access(m_semAccess);

    CUnit secondUnit("s", 1);
    CAbscissa time("Time", "t", secondUnit.GetDefaultQuantity(), secondUnit, 0.0,
                   1.0 / double(fmt.samplesPerSec), long(D / frame), df__linear);
    CAbscissaList abscissas;
    abscissas.AddTail(time);

    const SImportLayout layout = ImportLayoutFor(fmt.blockAlign / fmt.channels);

    // One mapping factor for every channel: the samples stay as stored and
    // scaling lives in the mapping alone.
    const bool pascal = CTSSettings::m_bPascalWAVImport == 0;
    double M;
    if (pascal)
        M = std::sqrt(2.0) * 4e-5 * std::pow(10.0, CTSSettings::m_fCalibrationWAVImport * 0.05) / layout.fullScale;
    else
        M = std::sqrt(2.0) * CTSSettings::m_fInputRangeWAVImport / layout.fullScale;

    std::optional<CUnit> unit;
    if (pascal)
        unit.emplace("Pa", 1);
    else if (CUnit::Check(CTSSettings::m_sUnitWAVImport, false) == 1)
        unit.emplace(CTSSettings::m_sUnitWAVImport, 0);
    else
        unit.emplace("", 1);
    const CQuantity quantity = unit->GetDefaultQuantity();
    float calibration;
    if (pascal)
        calibration = CTSSettings::m_fCalibrationWAVImport;
    else
        calibration = float(20.0 * std::log10(CTSSettings::m_fInputRangeWAVImport / unit->GetReferenceValue()) -
                            20.0 * std::log10(2.0));
    map__dct mapping;
    mapping.m_nTypePhys = 1;
    mapping.m_nTypeValue = 1;
    mapping.m_dOffset = 0.0;
    mapping.m_dFactor = M;
    CChannelList channels;
    for (int i = 0; i < fmt.channels; ++i) {
        CChannel ch(ChannelName(i), (i % 2) ? "R" : "L", quantity, *unit, layout.implType, i, 1.0, 1.0, &mapping);
        ch.SetCalibration(calibration);
        ch.SetDeltaHeadroom(0.0f);
        channels.AddTail(ch);
    }

    const bool filtered = m_pFilter && layout.implType == it__int16 && layout.bytesPerSample == 2 &&
                          std::endian::native == std::endian::little && m_pFilter->Accepts(fmt.channels);

    // The data set is a new file: the checks above removed whatever stood
    // there, so a file that has since taken the name is another job's or
    // the user's and must be neither emptied nor, after a failure, deleted.
    // A failure removes only the file this job made.
    std::unique_ptr<CDataset> ds;
    CCreatedOutputs created;
    auto fail = [&](unsigned id) {
        m_uStringID = id;
        if (ds) {
            try {
                ds->Close();
            } catch (...) {
            }
            ds.reset();
        }
        created.RemoveAll();
        return false;
    };
    try {
        // Samples that the kernel copies unchanged are placed where it copies
        // them fastest (their position in the source, modulo its granule).
        const bool kernelCopy = !filtered && layout.bytesPerSample != 1 && wave.GetFileDescriptor() >= 0;
        ds = std::make_unique<CDataset>(output, abscissas, channels, dk__time, ds__dorg_interleaved, 0L, 65536L,
                                        sh__create_new,
                                        kernelCopy ? CDataset::DataPhaseForCopy(dataChunk.dataOffset, D) : -1L);
        created.Add(output);
    } catch (const CDatasetException& e) {
        m_sTextAppend = "\n" + e.GetText();
        return fail(WaveResult::kTrxNotCreated);
    } catch (...) {
        return fail(WaveResult::kTrxNotCreated);
    }

    // 8-bit samples are widened on the way, in a buffer of their own.
    CDataStream* stream = ds->GetPtrToFile();
    if (!stream)
        return fail(WaveResult::kBytesMismatch);
    std::unique_ptr<unsigned char[]> wide;
    if (layout.bytesPerSample == 1) {
        wide.reset(new (std::nothrow) unsigned char[2 * bufSize]);
        if (!wide)
            return fail(WaveResult::kNoMemory);
    }

    // Whole frames only. Samples that pass unchanged go from file to
    // file in the kernel where it can (no user memory at all); the block loop
    // below serves 8-bit widening and inputs without a descriptor.
    const std::uint64_t maxRequest = bufSize - bufSize % frame;
    std::uint64_t C = 0;
    bool shortData = false;
    const int fd = wave.GetFileDescriptor();
    if (filtered) {
        // Filled blocks are written on a thread of their own while the next
        // is read and filtered; the queue ends before any failure closes
        // the data set.
        std::optional<CWriteBehind> behind(std::in_place, std::max<std::size_t>(kFilterBlock - kFilterBlock % frame, frame), 4);
        const std::uint64_t whole = D - D % frame;
        struct stat st;
        if (fd >= 0 && ::fstat(fd, &st) == 0 && std::uint64_t(st.st_size) > dataChunk.dataOffset)
            stream->Reserve(std::uint64_t(ds->GetStartOfDataInFile()) +
                            std::min<std::uint64_t>(whole, std::uint64_t(st.st_size) - dataChunk.dataOffset));
        auto stop = [&](unsigned id) {
            behind.reset();
            return fail(id);
        };
        while (C < whole) {
            if (Interrupted()) return stop(WaveResult::kBytesMismatch);
            unsigned char* block = behind->Acquire();
            if (!block) break;   // a write failed: Finish tells
            const std::uint64_t R = std::min<std::uint64_t>(whole - C, behind->BlockBytes());
            const long got = wave.Read(block, long(R));
            std::uint64_t N = got > 0 ? std::uint64_t(got) : 0;
            N -= N % frame;
            if (N == 0) break;
            if (!m_pFilter->Filter(reinterpret_cast<std::int16_t*>(block), fmt.channels, long(C / frame),
                                   long(N / frame)))
                return stop(WaveResult::kBytesMismatch);
            behind->Submit([stream, N](const unsigned char* b) { return stream->Write(b, std::size_t(N)) == N; });
            C += N;
            if (N < R) break;
        }
        if (!behind->Finish() || stream->Fail()) return stop(WaveResult::kBytesMismatch);
        shortData = C < D || D == 0;
    } else if (layout.bytesPerSample != 1 && fd >= 0) {
        bool stopped = false;
        const std::uint64_t N = PieceCopy::Copy(*stream, fd, dataChunk.dataOffset, D - D % frame,
                                                [this] { return Interrupted(); }, stopped);
        if (stopped || stream->Fail())
            return fail(WaveResult::kBytesMismatch);
        // A trailing part of a frame stays behind the last whole scan, where
        // readers of the data set ignore it. An empty data chunk is as
        // improper as a short one: it proclaims a recording and holds none.
        C = N - N % frame;
        shortData = C < D || D == 0;
    }
    for (bool blocks = !filtered && !(layout.bytesPerSample != 1 && fd >= 0); blocks;) {
        if (Interrupted()) return fail(WaveResult::kBytesMismatch);
        std::uint64_t R = std::min<std::uint64_t>(D - C, maxRequest);
        R -= R % frame;
        if (R == 0) {
            // Less than one frame left of what the header announced, or
            // nothing announced at all.
            if (C < D || D == 0)
                shortData = true;
            break;
        }
        long got = wave.Read(buffer.get(), long(R));
        std::uint64_t N = got > 0 ? std::uint64_t(got) : 0;
        if (N < R) {
            shortData = true;
            N -= N % frame;
        }
        if (N > 0) {
            std::size_t written;
            if (layout.bytesPerSample == 1) {
                WidenUnsigned8(buffer.get(), std::size_t(N), wide.get());
                written = stream->Write(wide.get(), std::size_t(2 * N)) / 2;
            } else {
                written = stream->Write(buffer.get(), std::size_t(N));
            }
            if (written != N || stream->Fail())
                return fail(WaveResult::kBytesMismatch);
        }
        C += N;
        if (N != R || C >= D || N == 0)
            break;
    }
    if (!stream->Flush())
        return fail(WaveResult::kBytesMismatch);

    // The scan count of what really came, which a short file makes smaller
    // than announced.
    CAbscissa a = ds->GetAbscissa(0);
    a.SetNbrOfScans(long(C / frame));
    ds->SetAbscissa(0, a);
    ds->SetComment("Imported from WAVE file format.");
    try {
        ds->Close();
    } catch (...) {
        ds.reset();
        return fail(WaveResult::kTrxNotClosed);
    }
    ds.reset();
    created.Keep();
    wave.Close();
    m_uStringID = shortData ? WaveResult::kShortWaveData : WaveResult::kSuccess;
    return true;
}
