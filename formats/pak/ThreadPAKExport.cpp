#include "formats/pak/ThreadPAKExport.h"

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "common/WriteBehind.h"
#include "formats/pak/PakJob.h"
#include "formats/pak/PakSamples.h"
#include "formats/pak/PakSetup.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"
#include "speed/TSSpeedDataManager.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <optional>
#include <vector>

namespace {

using namespace PakResult;
constexpr unsigned kOutputExists = 8;
constexpr unsigned kDirectoryNotCreated = 13;
constexpr unsigned kNoDataset = 15;
constexpr unsigned kNoChannels = 17;
constexpr unsigned kNotTimeData = 21;
constexpr unsigned kMixedRates = 22;
constexpr unsigned kSpeedNotExported = 28;

std::atomic<std::size_t> g_bufferLimit{0};

// How the samples of one exported channel reach the file.
struct SChannelPlan {
    int iChannel = 0;
    int iShift = 0;             // 16-bit output: stored integer >> shift
    bool bCalibrated = false;   // float channel scaled to 16 bits by its calibration
    double dFactor = 1.0;       // record's channel factor
    double dOffset = 0.0;       // record's mapping offset
};

// "TDATA" written through the blocks of a write-behind queue: pieces are
// appended, and a full block goes to the file on the queue's own thread
// while the next one is filled here.
class CBlockWriter {
public:
    CBlockWriter(FileSystem::CFile& file, CWriteBehind& queue)
        : m_file(file), m_queue(queue), m_size(queue.BlockBytes()) {}
    bool Append(const void* p, std::size_t n)
    {
        if (n > m_size) {
            // Larger than a block: written here, after everything before it.
            return Flush() && m_queue.Finish() && m_file.Write(p, n);
        }
        unsigned char* room = Reserve(n);
        if (!room)
            return false;
        std::memcpy(room, p, n);
        return true;
    }
    // Room for n bytes at the end of the block, to be filled by the caller;
    // null when n does not fit even an empty block or a write failed.
    unsigned char* Reserve(std::size_t n)
    {
        if (n > m_size || (m_fill + n > m_size && !Flush()))
            return nullptr;
        if (!m_buf && !(m_buf = m_queue.Acquire()))
            return nullptr;
        unsigned char* p = m_buf + m_fill;
        m_fill += n;
        return p;
    }
    // Queues the block filled so far (a failed write shows at the next
    // Reserve or at Finish).
    bool Flush()
    {
        if (m_fill > 0) {
            FileSystem::CFile& file = m_file;
            const std::size_t n = m_fill;
            m_queue.Submit([&file, n](const unsigned char* p) { return file.Write(p, n); });
        }
        m_buf = nullptr;
        m_fill = 0;
        return true;
    }
    // Every queued block written.
    bool Finish() { return Flush() && m_queue.Finish(); }

private:
    FileSystem::CFile& m_file;
    CWriteBehind& m_queue;
    std::size_t m_size;
    unsigned char* m_buf = nullptr;
    std::size_t m_fill = 0;
};

struct SSpeedChannel {
    CString sPath;          // the speed data set this job made
    CString sName;
    short nQuantity = 0;
    std::unique_ptr<CDataset> ds;
    float fLast = 0.0f;
};

}  // namespace

void CThreadPAKExport::SetBufferLimitForTests(std::size_t bytes) { g_bufferLimit = bytes; }

CThreadPAKExport::CThreadPAKExport(const char* input, long id, long user, const char* output, const int* overwrite,
                                   const int* float32)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_PAK_EXPORT;
    m_sOutput = output ? CString(output) : DeriveOutput(input ? input : "");
    while (m_sOutput.GetLength() > 1 && m_sOutput[m_sOutput.GetLength() - 1] == '/')
        m_sOutput = m_sOutput.Left(m_sOutput.GetLength() - 1);
    m_sSetupDirectory = m_sOutput + "/SETUP";
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitPAKExport);
    m_bFloat32 = float32 ? *float32 : CTSSettings::m_bEnableFloat32PAKExport;
    try {
        m_dataset = std::make_unique<CDataset>(input ? input : "", om__read_complete, 32768L, sh__deny_write);
    } catch (const std::exception& e) {
        m_sTextAppend = CString("\n") + e.what();
    }
}

CThreadPAKExport::~CThreadPAKExport() = default;

CString CThreadPAKExport::DeriveOutput(const char* input)
{
    // The extension is the file name's own: a "." in a directory name is not one.
    CString path(input);
    const int dot = OutputPolicy::FindExtension(input);
    if (dot >= 0)
        path = path.Left(dot);
    return OutputPolicy::ApplyStandardDirectory(path, CTSSettings::bitPAKExport);
}

int CThreadPAKExport::Run() { return PakRunResult(*this, Convert(), TS_STATE_PAK_EXPORT); }

bool CThreadPAKExport::Convert()
{
    using namespace PakLayout;
    const CString input = m_sInput;
    const CString out = m_sOutput;
    SetProgress(0.0f);

    const std::size_t bufSize = PakSamples::TransferSize(1u << 20, g_bufferLimit.load());
    if (bufSize == 0) {
        m_uStringID = kNoMemory;
        return false;
    }

    CCreatedOutputs outputs;
    auto fail = [&](unsigned id) {
        if (id != TS_NO_TEXT)
            m_uStringID = id;
        outputs.RemoveAll();
        return false;
    };

    if (!FileSystem::DirectoryExists(out)) {
        if (OutputPolicy::CreateOutputDirectory(out, m_uStringID, m_sTextArg))
            return false;
        outputs.Add(out);
    } else if (!m_bOverwrite) {
        m_uStringID = kOutputExists;
        return false;
    }
    if (!FileSystem::DirectoryExists(m_sSetupDirectory)) {
        if (!OutputPolicy::CreateDirectoryTree(m_sSetupDirectory)) {
            m_sTextArg = m_sSetupDirectory;
            return fail(kDirectoryNotCreated);
        }
        outputs.Add(m_sSetupDirectory);
    }
    const CString tdataPath = out + "/TDATA";
    if (OutputPolicy::IsOutputTheInput(input, tdataPath)) {
        m_uStringID = 111;
        return fail(TS_NO_TEXT);
    }
    if (OutputPolicy::WriteProbe(*this, tdataPath))
        return fail(TS_NO_TEXT);

    if (!m_dataset)
        return fail(kNoDataset);
    CDataset& ds = *m_dataset;
    if (ds.GetKind() != dk__time)
        return fail(kNotTimeData);
    CChNbrList list;
    list.AddGroup(0, ds.GetNbrOfChannels() - 1);
    ChannelHelpers::RemovePulseChannels(ds, list);
    if (list.IsEmpty())
        return fail(kNoChannels);
    const double rate = ds.GetSamplingRate(list[0]);
    for (int n : list)
        if (ds.GetSamplingRate(n) != rate)
            return fail(kMixedRates);
    if (list.GetCount() > kMaxChannels) {
        m_sTextAppend = CString::Formatted("\n%s: %d channels, a PAK directory holds at most %d", input.c_str(),
                                           list.GetCount(), kMaxChannels);
        return fail(kNoChannels);
    }

    // The first channel decides between 16-bit and float samples; every
    // channel then reaches that format by its own type.
    const int firstType = ds.GetChannel(list[0]).GetImplType();
    const bool floatOut = m_bFloat32 && (firstType == it__float || firstType == it__double);
    std::vector<SChannelPlan> plans;
    bool all16 = true;
    for (int n : list) {
        const CChannel ch = ds.GetChannel(n);
        SChannelPlan p;
        p.iChannel = n;
        const int type = ch.GetImplType();
        all16 = all16 && type == it__int16;
        if (floatOut) {
            p.dFactor = 1.0;
        } else if (type == it__int16 || type == it__int24 || type == it__int32) {
            p.iShift = type == it__int16 ? 0 : type == it__int24 ? 8 : 16;
            p.dFactor = std::ldexp(ch.GetMapping().GetFactor(), p.iShift);
            p.dOffset = ch.GetMapping().GetOffset();
        } else if (type == it__float || type == it__double) {
            const double fullScale =
                std::pow(10.0, (double(ch.GetCalibration()) + double(ch.GetDeltaHeadroom()) + 6.02059991285) / 20.0) *
                ch.GetUnit().GetReferenceValue() * std::sqrt(2.0);
            p.bCalibrated = true;
            p.dFactor = fullScale / 32768.0;
        } else {
            m_sTextAppend = CString::Formatted("\n%s: channel %d is of type %s, which PAK files cannot hold",
                                               input.c_str(), n, CImplType::GetName(type).c_str());
            return fail(kNoChannels);
        }
        if (!(p.dFactor > 0.0) || !std::isfinite(p.dFactor)) {
            m_sTextAppend = CString::Formatted("\n%s: channel %d has no usable scale", input.c_str(), n);
            return fail(kNoChannels);
        }
        plans.push_back(p);
    }

    // The files of the directory, each recorded once made.
    // The probe above removed any "TDATA" there was: the file is made new,
    // not cut to nothing, which would make the file system write it all out
    // when it is closed instead of in the background.
    FileSystem::CFile tdata;
    if (!tdata.CreateNew(tdataPath)) {
        m_sTextArg = tdataPath;
        return fail(kCannotOpen);
    }
    outputs.Add(tdataPath);
    const char* textNames[] = {"Setup", "Kanalkonfig", "Kalib", "HW_111", "FFT"};
    std::vector<CString> textPaths;
    for (const char* name : textNames)
        textPaths.push_back(m_sSetupDirectory + "/" + name);
    textPaths.push_back(out + "/MPlist");
    std::vector<FileSystem::CFile> texts(textPaths.size());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (!texts[i].Create(textPaths[i])) {
            m_sTextArg = textPaths[i];
            return fail(kCannotOpen);
        }
        outputs.Add(textPaths[i]);
    }

    SetProgress(0.05f);
    CSemaphoreHolder access(m_semAccess);

    const long spb = rate > 48000.0 ? 512 : 256;
    const long scans = ds.GetNbrOfScans();
    const long blocks = (scans + spb - 1) / spb;
    if (blocks > long(std::numeric_limits<std::int32_t>::max())) {
        m_sTextAppend = CString::Formatted("\n%s: %ld scans are more blocks than a PAK file counts", input.c_str(), scans);
        return fail(kNoChannels);
    }

    // Speed channels from the pulse sub-channels, one value per block. The
    // speed data sets are closed before they are removed (declared after the
    // records of what to remove, so destroyed first).
    CCreatedOutputs workFiles;
    struct SRemoveWorkFiles {
        CCreatedOutputs& files;
        ~SRemoveWorkFiles() { files.RemoveAll(); }
    } removeWorkFiles{workFiles};
    std::vector<SSpeedChannel> speeds;
    const double blockDuration = double(spb) / rate;
    for (int i = 0; i < ds.GetNbrOfSubChannels(); ++i) {
        CSubChannel sub = ds.GetSubChannel(i);
        if (sub.GetType() != sc__pulse)
            continue;
        if (int(list.GetCount() + speeds.size()) >= kMaxChannels) {
            m_uStringID = kSpeedNotExported;
            continue;
        }
        sub.SetDeltaTime(blockDuration);
        CTSSpeedDataManager manager(input, sub, -1);
        CString name = manager.GetSCFilename() + ".org";
        const bool existed = FileSystem::FileExists(name);
        bool made = manager.EvaluateRefFromPulses(name, false);
        SSpeedChannel sc;
        sc.sPath = name;
        if (made) {
            // A working file of this job: removed at the end, whatever the outcome.
            if (!existed)
                workFiles.Add(name);
            try {
                sc.ds = std::make_unique<CDataset>(name.c_str(), om__read_complete, 32768L, sh__deny_write);
                const CChannel c = sc.ds->GetChannel(0);
                sc.sName = c.GetName();
                sc.nQuantity = CQuantity::TRX2PAK(c.GetQuantity().GetName().c_str());
                // One value a block, of the first channel only.
                if (sc.ds->GetNbrOfChannels() < 1 || !sc.ds->CreateAccess(am__read, CChNbrList{0}, 0, 0L, -1L))
                    made = false;
            } catch (const std::exception&) {
                made = false;
            }
        }
        if (!made) {
            m_uStringID = kSpeedNotExported;
            continue;
        }
        speeds.push_back(std::move(sc));
    }
    if (!speeds.empty())
        SetProgress(0.3f);

    // Header and setup.
    std::vector<unsigned char> header(kHeaderSize), setup(kSetupSize);
    PakSetup::InitHeader(header.data());
    PakSetup::InitSetup(setup.data());
    CFields h(header.data(), kHeaderSize, false), s(setup.data(), kSetupSize, false);
    const int channelCount = int(plans.size() + speeds.size());
    h.Put<std::int32_t>(kHdrSamplesPerBlock, std::int32_t(spb));
    h.Put<std::int16_t>(kHdrBits, floatOut ? 32 : 16);
    const CDateTimeEx date = ds.GetDateOfRecording();
    h.Put<double>(kHdrStart, date.IsValid() ? date.GetUnixTime() : 0.0);
    s.Put<std::int32_t>(kSetBlocks, std::int32_t(blocks));
    s.Put<std::int16_t>(kSetChannels, std::int16_t(channelCount));
    s.Put<float>(kSetRate, float(rate));
    s.Put<std::int32_t>(PakSetup::kSetFftLines, std::int32_t(spb));
    s.Put<float>(PakSetup::kSetFftRange, float(rate * 0.390625));
    s.Put<float>(PakSetup::kSetFftHalf, float(rate * 0.390625 / 2.0));
    std::vector<std::pair<std::string, bool>> mpList;
    for (std::size_t i = 0; i < plans.size(); ++i) {
        const CChannel ch = ds.GetChannel(plans[i].iChannel);
        const std::size_t r = Record(int(i));
        h.Put<double>(kHdrScale + 8 * i, 1.0);
        s.Put<std::int16_t>(r + kRecKind, 1);
        s.Put<std::int16_t>(r + kRecQuantity, CQuantity::TRX2PAK(ch.GetQuantity().GetName().c_str()));
        s.Put<double>(r + kRecFactor, plans[i].dFactor);
        s.Put<double>(r + kRecOffset, plans[i].dOffset);
        s.Put<std::int16_t>(PakSetup::ChannelBlock(int(i)) + 2, 1);
        const CString& q = ch.GetQuantity().GetName();
        mpList.emplace_back(ch.GetName().str(), q == "pressure" || q == "level");
    }
    for (std::size_t k = 0; k < speeds.size(); ++k) {
        const int i = int(plans.size() + k);
        const std::size_t r = Record(i);
        h.Put<double>(kHdrScale + 8 * std::size_t(i), 1.0);
        h.Put<std::int32_t>(kHdrValuesPerBlock + 4 * std::size_t(i), 1);
        s.Put<std::int16_t>(r + kRecKind, 4);
        s.Put<std::int16_t>(r + kRecQuantity, speeds[k].nQuantity);
        s.Put<std::int16_t>(PakSetup::ChannelBlock(i) + 2, 1);
        mpList.emplace_back(speeds[k].sName.str(), true);
    }

    auto writeFailed = [&](const CString& path) {
        m_sTextArg = path;
        return fail(kWriteFailed);
    };
    if (!tdata.Write(header.data(), header.size()) || !tdata.Write(setup.data(), setup.size()))
        return writeFailed(tdataPath);

    // The data: each read fetches the scans of several blocks of every
    // channel at once; a block is then laid out channel after channel.
    const int nch = int(plans.size());
    const std::size_t outBytes = floatOut ? 4 : 2;
    const int readType = floatOut ? it__float : all16 ? it__int16 : it__int32;
    const std::size_t readBytes = std::size_t(CImplType::GetSize(readType));
    const std::size_t blockBytes = std::size_t(spb) * outBytes * std::size_t(nch) + 4 * speeds.size();
    // Header, setup, the blocks and the zeros after them.
    tdata.Reserve(header.size() + setup.size() + std::uint64_t(blocks) * (blockBytes + std::uint64_t(nch) * 2));
    const long blocksPerRead = long(std::max<std::size_t>(1, bufSize / blockBytes));
    const std::size_t scanBufBytes = std::size_t(blocksPerRead * spb) * std::size_t(nch) * readBytes;
    PakSamples::CBuffer scanBuf = LargeBuffer::Allocate(scanBufBytes);
    if (!scanBuf)
        return fail(kNoMemory);
    std::vector<unsigned char> piece(std::size_t(spb) * outBytes);
    std::vector<unsigned char*> runs(std::size_t(nch), nullptr);
    CAccess* acc = ds.CreateAccess(am__read, list, 0, 0L, -1L, floatOut ? mk__physical : mk__raw);
    if (!acc) {
        m_sTextAppend = "\n" + input + ": " + ds.GetLastError();
        return fail(kNoDataset);
    }
    for (const SChannelPlan& p : plans)
        if (p.bCalibrated) {
            map__dct record;
            record.m_dFactor = p.dFactor;
            acc->SetChannelMapping(CChNbrList{p.iChannel}, mk__record, &record);
        }
    // The blocks are written on a thread of their own while the next ones are
    // read and laid out; it is stopped before anything is removed.
    std::optional<CWriteBehind> queue;
    try {
        queue.emplace(bufSize);
    } catch (const std::bad_alloc&) {
        return fail(kNoMemory);
    }
    auto stop = [&](unsigned id) {
        queue.reset();
        return fail(id);
    };
    auto stopWriteFailed = [&]() {
        queue.reset();
        return writeFailed(tdataPath);
    };
    CBlockWriter writer(tdata, *queue);
    const long progressStep = blocks / (speeds.empty() ? 90 : 60);
    for (long b = 0; b < blocks; b += blocksPerRead) {
        if (Interrupted())
            return stop(TS_NO_TEXT);
        const long count = std::min(blocksPerRead, blocks - b);
        ds.SetActiveAccess(acc);
        const long want = count * spb;
        long got = 0;
        while (got < want) {
            const long n = acc->GetData(want - got, scanBuf.get() + std::size_t(got) * std::size_t(nch) * readBytes,
                                        ds__dorg_interleaved, readType);
            if (n <= 0)
                break;
            got += n;
        }
        if (got < want && b + count < blocks) {
            m_sTextAppend = CString::Formatted("\n%s: scan %ld could not be read", input.c_str(), b * spb + got);
            return stop(kWriteFailed);
        }
        // The last block is filled up with zeros.
        std::fill(scanBuf.get() + std::size_t(got) * std::size_t(nch) * readBytes, scanBuf.get() + scanBufBytes, 0);
        for (long j = 0; j < count; ++j) {
            const unsigned char* first = scanBuf.get() + std::size_t(j * spb) * std::size_t(nch) * readBytes;
            // Samples that keep their value: every channel of the block in one pass.
            unsigned char* whole = readType != it__int32 ? writer.Reserve(piece.size() * std::size_t(nch)) : nullptr;
            if (whole) {
                for (int c = 0; c < nch; ++c)
                    runs[std::size_t(c)] = whole + std::size_t(c) * piece.size();
                PakSamples::Deinterleave(first, std::size_t(nch) * readBytes, nch, spb, readBytes, runs.data());
            }
            for (int c = 0; c < nch && !whole; ++c) {
                const SChannelPlan& p = plans[std::size_t(c)];
                // Straight into the transfer buffer where it has room.
                unsigned char* room = writer.Reserve(piece.size());
                unsigned char* dst = room ? room : piece.data();
                if (readType == it__int16) {
                    auto* o = reinterpret_cast<std::int16_t*>(dst);
                    const auto* in = reinterpret_cast<const std::int16_t*>(first) + c;
                    for (long i = 0; i < spb; ++i, in += nch)
                        o[i] = *in;
                } else if (readType == it__int32) {
                    auto* o = reinterpret_cast<std::int16_t*>(dst);
                    const auto* in = reinterpret_cast<const std::int32_t*>(first) + c;
                    for (long i = 0; i < spb; ++i, in += nch)
                        o[i] = std::int16_t(std::clamp<std::int32_t>(*in >> p.iShift, -32768, 32767));
                } else {
                    auto* o = reinterpret_cast<float*>(dst);
                    const auto* in = reinterpret_cast<const float*>(first) + c;
                    for (long i = 0; i < spb; ++i, in += nch)
                        o[i] = *in;
                }
                if (!room && !writer.Append(piece.data(), piece.size()))
                    return stopWriteFailed();
            }
            for (SSpeedChannel& sc : speeds) {
                float v = sc.fLast;
                if (sc.ds->GetData(1, &v, ds__dorg_interleaved, it__float) == 1)
                    sc.fLast = v;
                if (!writer.Append(&sc.fLast, 4))
                    return stopWriteFailed();
            }
            if (progressStep > 0 && (b + j + 1) % progressStep == 0)
                AddProgress(0.01f);
        }
    }
    // Zeros after the data, 2 bytes per block and channel: through the
    // transfer buffer, so the last blocks and the first zeros go out at once.
    for (std::uint64_t left = std::uint64_t(blocks) * std::uint64_t(nch) * 2; left > 0;) {
        const std::size_t n = std::size_t(std::min<std::uint64_t>(left, bufSize));
        unsigned char* zeros = writer.Reserve(n);
        if (!zeros)
            return stopWriteFailed();
        std::memset(zeros, 0, n);
        left -= n;
    }
    // Every write is a system call of its own, which reports a full disk
    // there; no sync is waited for (none of the peers does).
    if (!writer.Finish())
        return stopWriteFailed();
    queue.reset();
    SetProgress(0.95f);
    tdata.Close();

    const std::string contents[] = {PakSetup::SetupText(setup.data()), PakSetup::KanalkonfigText(setup.data()),
                                    PakSetup::KalibText(setup.data()), PakSetup::HardwareText(setup.data()),
                                    PakSetup::FftText(setup.data()), PakSetup::MPlistText(mpList)};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (!texts[i].Write(contents[i].data(), contents[i].size()))
            return writeFailed(textPaths[i]);
        texts[i].Close();
    }
    SetProgress(1.0f);
    for (const PakSetup::STemplate& t : PakSetup::Templates()) {
        const CString path = out + "/" + t.pszFile;
        FileSystem::CFile f;
        if (!f.Create(path)) {
            m_sTextArg = path;
            return fail(kCannotOpen);
        }
        outputs.Add(path);
        if (!f.Write(t.bytes.data(), t.bytes.size()))
            return writeFailed(path);
    }

    outputs.Keep();
    for (const CString& path : textPaths)
        m_arsProduced.InsertAt(m_arsProduced.GetSize(), path);
    m_arsProduced.InsertAt(0, tdataPath);
    return true;
}
