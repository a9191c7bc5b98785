#include "formats/pak/ThreadPAKImport.h"

#include "formats/pak/PakJob.h"
#include "formats/pak/PakSamples.h"

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "common/PulseServices.h"
#include "common/WriteBehind.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"
#include "settings/TSSettings.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <fcntl.h>
#include <memory>
#include <new>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace PakResult;
constexpr unsigned kTrxNotCreated = 15;
constexpr unsigned kTrxNotClosed = 16;
constexpr unsigned kPulseTruncated = 33;
constexpr unsigned kHeaderNotRead = 70;
constexpr unsigned kBytesMismatch = 104;

// Side files are a page or two of text; anything beyond this is not read.
constexpr std::size_t kMaxSideFile = 4u << 20;

std::atomic<std::size_t> g_bufferLimit{0};

class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() { if (m_fd >= 0) ::close(m_fd); }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

// Reads exactly n bytes at offset; false when the file has fewer.
bool ReadAt(int fd, std::uint64_t offset, unsigned char* p, std::size_t n)
{
    while (n > 0) {
        const ssize_t r = ::pread(fd, p, n, off_t(offset));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        p += r;
        n -= std::size_t(r);
        offset += std::uint64_t(r);
    }
    return true;
}

std::string ReadSideFile(const std::string& path)
{
    std::string text;
    CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.Get() < 0 || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode))
        return text;
    text.resize(std::min<std::size_t>(std::size_t(st.st_size), kMaxSideFile));
    std::size_t got = 0;
    while (got < text.size()) {
        const ssize_t r = ::read(fd.Get(), text.data() + got, text.size() - got);
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;
        got += std::size_t(r);
    }
    text.resize(got);
    return text;
}

std::unique_ptr<CDataset> Create(const CString& path, const CAbscissaList& abscissas, const CChannelList& channels,
                                 int kind, long expectedScans, CCreatedOutputs& outputs, CString& error)
{
    try {
        auto ds = std::make_unique<CDataset>(path.c_str(), abscissas, channels, kind, ds__dorg_interleaved,
                                             expectedScans, 65536L, sh__create_new);
        outputs.Add(path.c_str());
        return ds;
    } catch (const CDatasetException& e) {
        error = path + ": " + e.GetText();
    } catch (const std::exception& e) {
        error = path + ": " + e.what();
    }
    return nullptr;
}

}  // namespace

void CThreadPAKImport::SetBufferLimitForTests(std::size_t bytes) { g_bufferLimit = bytes; }

CThreadPAKImport::CThreadPAKImport(const char* input, long id, long user, const char* output, const int* overwrite)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_PAK_IMPORT;
    m_sOutput = output ? CString(output) : DeriveOutput(input ? input : "");
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitPAKImport);
}

CThreadPAKImport::~CThreadPAKImport() = default;

CString CThreadPAKImport::DeriveOutput(const char* input)
{
    CString directory = OutputPolicy::GetDirectoryOfPath(input);
    CString bare = directory;
    while (bare.GetLength() > 0 && bare[bare.GetLength() - 1] == '/')
        bare = bare.Left(bare.GetLength() - 1);
    CString name = OutputPolicy::GetFileNameOfPath(bare, true);
    const std::size_t n = std::strlen(input);
    if (n > 0 && input[n - 1] >= '1' && input[n - 1] <= '9')
        name += input[n - 1];
    name += ".dat";
    const CString path = directory.IsEmpty() ? name : OutputPolicy::JoinPath(directory, name);
    return OutputPolicy::ApplyStandardDirectory(path, CTSSettings::bitPAKImport);
}

void CThreadPAKImport::ReadNames(const char* input, PakNames& names)
{
    for (std::string& n : names)
        n.clear();
    const std::string directory = OutputPolicy::GetDirectoryOfPath(input).str();
    const std::string chanPos = ReadSideFile(directory + "MeasSetup/ChanPos");
    ReadChanPosNames(chanPos.data(), chanPos.size(), names);
    const std::string mpList = ReadSideFile(directory + "MPlist");
    ReadMPlistNames(mpList.data(), mpList.size(), names);
}

int CThreadPAKImport::Run() { return PakRunResult(*this, Convert(), TS_STATE_PAK_IMPORT); }

bool CThreadPAKImport::Convert()
{
    const CString input = m_sInput;
    const CString output = m_sOutput;

    std::size_t bufSize = 0;
    PakSamples::CBuffer buffer = PakSamples::AllocateTransferBuffer(1u << 20, g_bufferLimit.load(), bufSize);
    if (!buffer) {
        m_uStringID = kNoMemory;
        return false;
    }
    if (OutputPolicy::PrepareOutput(*this, input, output, m_bOverwrite))
        return false;

    CFd file(::open(input.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || S_ISDIR(st.st_mode)) {
        m_uStringID = kCannotOpen;
        m_sTextArg = input;
        return false;
    }
    const std::uint64_t fileSize = std::uint64_t(st.st_size);

    std::vector<unsigned char> header(PakLayout::kHeaderSize), setup(PakLayout::kSetupSize);
    if (!ReadAt(file.Get(), 0, header.data(), header.size()) ||
        !ReadAt(file.Get(), header.size(), setup.data(), setup.size())) {
        m_uStringID = kHeaderNotRead;
        m_sTextAppend = "\n" + input + CString::Formatted(": %llu bytes, header and setup take %zu",
                                                          (unsigned long long)fileSize,
                                                          PakLayout::kHeaderSize + PakLayout::kSetupSize);
        return false;
    }
    SPakThroughput t;
    std::string detail;
    if (const unsigned rc = ReadPakThroughput(header.data(), setup.data(), t, detail)) {
        m_uStringID = rc;
        m_sTextAppend = "\n" + input + ": " + CString(detail);
        return false;
    }
    const bool truncatedPulse = t.iPulseFound > PakLayout::kMaxPulseChannels;

    // The blocks the setup announces must be in the file: checked before
    // anything is made, so that a cut-off file leaves nothing behind.
    const std::uint64_t dataStart = PakLayout::kHeaderSize + PakLayout::kSetupSize;
    const std::uint64_t blocks = std::uint64_t(t.lBlocks);
    if (blocks > 0 && t.uBlockBytes > (fileSize - dataStart) / blocks) {
        m_uStringID = kBytesMismatch;
        m_sTextAppend = CString::Formatted("\n%s: %llu blocks of %llu bytes announced, %llu bytes of data present",
                                           input.c_str(), (unsigned long long)blocks,
                                           (unsigned long long)t.uBlockBytes,
                                           (unsigned long long)(fileSize - dataStart));
        return false;
    }

    CSemaphoreHolder access(m_semAccess);

    PakNames names;
    ReadNames(input, names);

    const long spb = long(t.lSamplesPerBlock);
    const long scans = long(blocks) * spb;
    const int sampleType = t.IsFloat() ? it__float : it__int16;
    const int sampleBytes = t.SampleBytes();
    const CUnit seconds("s", 1);

    CAbscissaList abscissas;
    abscissas.AddTail(CAbscissa("Time", "t", seconds.GetDefaultQuantity(), seconds, 0.0, 1.0 / double(t.fRate),
                                scans, df__linear));
    CChannelList channels;
    for (const SPakChannel& c : t.analog) {
        const CQuantity quantity = CQuantity::PAK2TRX(c.nQuantity);
        const CUnit unit(ChannelHelpers::GetUnitForQuantity(quantity.GetName().c_str()), 1);
        CString name = names[std::size_t(c.iIndex)].c_str();
        if (name.IsEmpty())
            name = CString::Formatted("Channel %02d", c.iIndex + 1);
        map__dct mapping;
        mapping.m_dOffset = c.dOffset;
        mapping.m_dFactor = c.dScale * c.dFactor;
        CChannel ch(name, name.Left(2), quantity, unit, sampleType, c.iIndex, 1.0, 1.0, &mapping);
        if (sampleType == it__int16) {
            const double fullScale = mapping.m_dFactor * 32768.0 / (std::sqrt(2.0) * unit.GetReferenceValue());
            ch.SetCalibration(fullScale > 0.0 && std::isfinite(fullScale) ? float(20.0 * std::log10(fullScale)) : 0.0f);
            ch.SetDeltaHeadroom(0.0f);
        }
        channels.AddTail(ch);
    }
    const bool hasPulse = !t.pulse.empty();
    if (hasPulse) {
        CChannel pc(ChannelHelpers::kPulseChannelTitle, "SC", CQuantity(""), CUnit("", 1), it__pulse,
                    int(t.analog.size()), 1.0, 1.0);
        pc.SetTitle(ChannelHelpers::kPulseChannelTitle);
        channels.AddTail(pc);
    }

    CCreatedOutputs outputs;
    auto fail = [&](unsigned id) {
        m_uStringID = id;
        outputs.RemoveAll();
        return false;
    };
    CString error;
    std::unique_ptr<CDataset> main = Create(output, abscissas, channels, dk__time, scans, outputs, error);
    if (!main) {
        m_sTextAppend = "\n" + error;
        return fail(kTrxNotCreated);
    }

    struct SPulseSet {
        CString sPath;
        std::unique_ptr<CDataset> ds;
        CDataStream* stream = nullptr;
    };
    std::vector<SPulseSet> pulseSets;
    for (std::size_t k = 0; k < t.pulse.size(); ++k) {
        const SPakChannel& c = t.pulse[k];
        const CQuantity quantity = CQuantity::PAK2TRX(c.nQuantity);
        const CUnit unit(ChannelHelpers::GetUnitForQuantity(quantity.GetName().c_str()), 1);
        CString name = names[std::size_t(c.iIndex)].c_str();
        if (name.IsEmpty())
            name = "SubCh " + quantity.GetName();
        const long n = long(blocks) * long(c.lValues);
        CAbscissaList a;
        a.AddTail(CAbscissa("Time", "t", seconds.GetDefaultQuantity(), seconds, 0.0,
                            double(spb) / (double(c.lValues) * double(t.fRate)), n, df__linear));
        CChannelList l;
        l.AddTail(CChannel(name, quantity.GetAbbreviation(), quantity, unit, it__float, 0, 1.0, 1.0));
        SPulseSet p;
        p.sPath = output + CString::Formatted(".SC%d", int(k));
        p.ds = Create(p.sPath, a, l, quantity.GetName() == "RPM" ? dk__rpm : dk__speed, n, outputs, error);
        if (!p.ds) {
            m_sTextAppend = "\n" + error;
            return fail(kTrxNotCreated);
        }
        p.stream = p.ds->GetPtrToFile();
        pulseSets.push_back(std::move(p));
    }

    CDataStream* stream = main->GetPtrToFile();
    if (!stream) {
        m_sTextArg = output;
        return fail(kWriteFailed);
    }

    // One scan of the main data set: the analog samples in channel order,
    // then the pulse byte (zero: the merge writes the pulses later).
    const std::size_t scanBytes = t.analog.size() * std::size_t(sampleBytes) + (hasPulse ? 1 : 0);
    const bool swap = t.bBigEndian;
    const bool resident = t.uBlockBytes <= bufSize;
    const std::uint64_t blocksPerRead = resident ? std::max<std::uint64_t>(1, bufSize / t.uBlockBytes) : 1;
    // The scans of one read in one piece: written at once, straight to the
    // file (a block larger than the buffer goes in pieces of 64 KiB).
    const std::size_t scansOutBytes = resident ? std::size_t(blocksPerRead) * std::size_t(spb) * scanBytes
                                               : std::max<std::size_t>(scanBytes, 64u << 10);
    stream->Reserve(stream->Tell() + std::uint64_t(scans) * scanBytes);
    // Those pieces are written on a thread of their own while the next ones
    // are read and interleaved; it is stopped before anything is removed.
    std::optional<CWriteBehind> queue;
    try {
        queue.emplace(scansOutBytes);
    } catch (const std::bad_alloc&) {
        return fail(kNoMemory);
    }
    auto stop = [&](unsigned id) {
        queue.reset();
        return fail(id);
    };
    const std::size_t scansPerChunk = scansOutBytes / scanBytes;
    auto writeFailed = [&](const CString& path) {
        m_sTextArg = path;
        return stop(kWriteFailed);
    };

    // Interleaves n scans into `out`; `at(c)` gives where the first of the
    // samples of analog channel c lie (swapped in place first for "MSB").
    std::vector<unsigned char*> runs(t.analog.size());
    auto interleave = [&](unsigned char* out, long n, auto at) {
        for (std::size_t c = 0; c < t.analog.size(); ++c) {
            runs[c] = at(c);
            if (swap)
                PakSamples::SwapBytes(runs[c], std::size_t(n), std::size_t(sampleBytes));
        }
        PakSamples::Interleave(runs.data(), int(runs.size()), n, std::size_t(sampleBytes), out, scanBytes);
    };
    // Queues the piece filled since the last one; a failed write shows at
    // the next Acquire or at Finish.
    auto write = [&](std::size_t bytes) {
        queue->Submit([stream, bytes](const unsigned char* p) { return stream->Write(p, bytes) == bytes; });
    };
    auto emitPulse = [&](std::size_t k, unsigned char* values, std::size_t count) {
        if (swap)
            for (std::size_t i = 0; i < count; ++i)
                std::reverse(values + 4 * i, values + 4 * i + 4);
        return pulseSets[k].stream->Write(values, 4 * count) == 4 * count;
    };

    for (std::uint64_t b = 0; b < blocks;) {
        if (Interrupted())
            return stop(kWriteFailed);
        const std::uint64_t blockStart = dataStart + b * t.uBlockBytes;
        if (resident) {
            const std::uint64_t count = std::min<std::uint64_t>(blocksPerRead, blocks - b);
            if (!ReadAt(file.Get(), blockStart, buffer.get(), std::size_t(count * t.uBlockBytes))) {
                m_sTextAppend = CString::Formatted("\n%s: block %llu at offset %llu", input.c_str(),
                                                   (unsigned long long)b, (unsigned long long)blockStart);
                return stop(kBytesMismatch);
            }
            unsigned char* scansOut = queue->Acquire();
            if (!scansOut)
                return writeFailed(output);
            for (std::uint64_t i = 0; i < count; ++i) {
                unsigned char* block = buffer.get() + i * t.uBlockBytes;
                interleave(scansOut + std::size_t(i) * std::size_t(spb) * scanBytes, spb,
                           [&](std::size_t c) { return block + t.analog[c].uBlockOffset; });
                for (std::size_t k = 0; k < t.pulse.size(); ++k)
                    if (!emitPulse(k, block + t.pulse[k].uBlockOffset, std::size_t(t.pulse[k].lValues)))
                        return writeFailed(pulseSets[k].sPath);
            }
            write(std::size_t(count) * std::size_t(spb) * scanBytes);
            b += count;
            continue;
        }
        // A block larger than the buffer: each channel's stretch read apart.
        const std::size_t perChannel = bufSize / t.analog.size() / std::size_t(sampleBytes);
        const long chunk = long(std::min<std::size_t>(scansPerChunk, std::max<std::size_t>(perChannel, 1)));
        for (long s0 = 0; s0 < spb; s0 += chunk) {
            const long n = std::min<long>(chunk, spb - s0);
            bool readOk = true;
            for (std::size_t c = 0; c < t.analog.size() && readOk; ++c)
                readOk = ReadAt(file.Get(),
                                blockStart + t.analog[c].uBlockOffset + std::uint64_t(s0) * std::uint64_t(sampleBytes),
                                buffer.get() + c * std::size_t(n) * std::size_t(sampleBytes),
                                std::size_t(n) * std::size_t(sampleBytes));
            if (!readOk) {
                m_sTextAppend = CString::Formatted("\n%s: block %llu", input.c_str(), (unsigned long long)b);
                return stop(kBytesMismatch);
            }
            unsigned char* scansOut = queue->Acquire();
            if (!scansOut)
                return writeFailed(output);
            interleave(scansOut, n,
                       [&](std::size_t c) { return buffer.get() + c * std::size_t(n) * std::size_t(sampleBytes); });
            write(std::size_t(n) * scanBytes);
        }
        for (std::size_t k = 0; k < t.pulse.size(); ++k) {
            const std::size_t perRead = bufSize / 4;
            for (std::size_t v = 0; v < std::size_t(t.pulse[k].lValues); v += perRead) {
                const std::size_t n = std::min<std::size_t>(perRead, std::size_t(t.pulse[k].lValues) - v);
                if (!ReadAt(file.Get(), blockStart + t.pulse[k].uBlockOffset + 4 * v, buffer.get(), 4 * n)) {
                    m_sTextAppend = CString::Formatted("\n%s: block %llu", input.c_str(), (unsigned long long)b);
                    return stop(kBytesMismatch);
                }
                if (!emitPulse(k, buffer.get(), n))
                    return writeFailed(pulseSets[k].sPath);
            }
        }
        ++b;
    }
    if (!queue->Finish() || !stream->Flush() || stream->Fail())
        return writeFailed(output);
    queue.reset();
    for (SPulseSet& p : pulseSets)
        if (!p.stream->Flush() || p.stream->Fail())
            return writeFailed(p.sPath);

    const CDateTimeEx date(t.dStart - double(t.nTimeZone) * 3600.0);
    auto finish = [&](CDataset& ds, const CString& path) {
        ds.SetDateOfRecording(date);
        ds.SetComment("Data imported from PAK throughput file (TDATA).\r\n");
        try {
            ds.Close();
        } catch (const CDatasetException& e) {
            m_sTextAppend = "\n" + path + ": " + e.GetText();
            return false;
        }
        return true;
    };
    for (SPulseSet& p : pulseSets) {
        const bool ok = finish(*p.ds, p.sPath);
        p.ds.reset();
        if (!ok)
            return fail(kTrxNotClosed);
    }
    if (t.IsFloat())
        PulseServices::CalibrateFloatChannels(*main);
    const bool closed = finish(*main, output);
    main.reset();
    if (!closed)
        return fail(kTrxNotClosed);

    CStringArray produced;
    produced.Add(output);
    if (!pulseSets.empty()) {
        CStringArray speedSets;
        for (const SPulseSet& p : pulseSets)
            speedSets.Add(p.sPath);
        PulseServices::MergeSpeedData(speedSets, produced);
    }
    outputs.Keep();
    for (int i = 0; i < produced.GetSize(); ++i)
        m_arsProduced.Add(produced[i]);
    if (truncatedPulse) {
        m_uStringID = kPulseTruncated;
        m_sTextArg = CString::Formatted("%d->%d", t.iPulseFound, PakLayout::kMaxPulseChannels);
    } else {
        m_uStringID = 2;
    }
    return true;
}
