#include "formats/mp3/Mp3SideFile.h"

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "formats/mp3/PulseBitCode.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

namespace Mp3SideFile {
namespace {

constexpr unsigned char kTrxMagic[8] = {0x89, 'T', 'R', 'X', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kCopyPiece = 8192;

// Removes a file of ours when it goes out of scope, unless kept.
class CTempFile {
public:
    explicit CTempFile(CString path) : m_sPath(std::move(path)) {}
    ~CTempFile()
    {
        if (!m_sPath.IsEmpty()) FileSystem::RemoveFile(m_sPath);
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(CTempFile&& o) noexcept
    {
        std::swap(m_sPath, o.m_sPath);
        return *this;
    }
    const CString& Path() const { return m_sPath; }
    void Release() { m_sPath.Empty(); }

private:
    CString m_sPath;
};

std::string Reason(const FileSystem::SError& e) { return std::strerror(e.iErrno ? e.iErrno : EIO); }

// The pulse sub-channels' code positions read from a file, a piece at a time.
class CFileSource : public PulseBitCode::CByteSource {
public:
    explicit CFileSource(FileSystem::CFile& file) : m_file(file) {}
    bool Next(unsigned char& byte) override
    {
        if (m_pos == m_end) {
            const long long n = m_file.Read(m_buf, sizeof m_buf);
            if (n <= 0) {
                m_bFailed = n < 0;
                return false;
            }
            m_pos = 0;
            m_end = std::size_t(n);
        }
        byte = m_buf[m_pos++];
        return true;
    }
    bool Failed() const { return m_bFailed; }

private:
    FileSystem::CFile& m_file;
    unsigned char m_buf[1 << 16];
    std::size_t m_pos = 0, m_end = 0;
    bool m_bFailed = false;
};

// The full scale of a sample type and the mapping factor that a channel of
// the given unit and calibration gets when its samples changed type on the
// way through the WAVE file.
double RecomputedFactor(int implType, const CString& unit, float calibration)
{
    double fullScale = 1.0;
    if (implType == it__int16)
        fullScale = 32768.0 - 0.5;
    else if (implType == it__int24)
        fullScale = 8388608.0 - 0.5;
    if (unit == "%") return 100.0 / fullScale;
    const double reference = unit == "Pa" ? 2e-05 : 1.0;
    return std::pow(10.0, calibration * 0.05) * std::sqrt(2.0) * reference / (fullScale * 0.5);
}

// The data set at `path` again, with the stored channels `carriers`
// appended: pulse channels, which no WAVE file holds but whose sub-channels'
// bits the side file does. Their samples are 0 until those bits are written
// into them. The new file is written aside and renamed over the old one, so
// that a failure leaves the WAVE import's data set as it was.
std::unique_ptr<CDataset> WithCarriers(std::unique_ptr<CDataset> target, const CDataset& description,
                                       const std::vector<int>& carriers, std::vector<int>& newOf, const char* path,
                                       std::string& error, const std::function<bool()>& stop)
{
    const int channels = target->GetNbrOfChannels();
    std::size_t oldScan = 0;
    for (int c = 0; c < channels; ++c) oldScan += std::size_t(CImplType::GetSize(target->GetChannel(c).GetImplType()));
    if (target->GetScanMode() != sm__single_rate || target->GetOrganisation() != ds__dorg_interleaved ||
        target->GetNbrOfAbscissas() != 1 || std::size_t(target->GetScanSize()) != oldScan) {
        error = std::string(path) + ": the decoded data set has no room for pulse channels (not one scan of samples)";
        return nullptr;
    }
    CAbscissaList abscissas;
    abscissas.Add(target->GetAbscissa(0));
    CChannelList list;
    for (int c = 0; c < channels; ++c) list.Add(target->GetChannel(c));
    std::size_t added = 0;
    for (int p : carriers) {
        newOf[std::size_t(p)] = list.GetCount();
        const CChannel ch = description.GetChannel(p);
        list.Add(ch);
        added += std::size_t(CImplType::GetSize(ch.GetImplType()));
    }
    const long scans = target->GetNbrOfScans();

    std::unique_ptr<CDataset> wider;
    CTempFile aside{CString()};
    std::random_device random;
    for (int attempt = 0; attempt < 16 && !wider; ++attempt) {
        const CString name = CString(path) + CString::Formatted(".%08x", unsigned(random()));
        // A file of the name is someone else's: another name is tried.
        if (FileSystem::FileExists(name)) continue;
        try {
            wider = std::make_unique<CDataset>(name.c_str(), abscissas, list, target->GetKind(), ds__dorg_interleaved,
                                               scans, 65536L, sh__create_new);
            aside = CTempFile(name);
        } catch (const std::exception& e) {
            // Whatever the failed create left is ours.
            CTempFile left(name);
            error = std::string(path) + ": " + e.what();
            return nullptr;
        }
    }
    CDataStream* in = target->GetPtrToFile();
    CDataStream* out = wider ? wider->GetPtrToFile() : nullptr;
    if (!in || !out || !in->Seek(std::uint64_t(target->GetStartOfDataInFile()))) {
        error = std::string(path) + ": cannot be widened by its pulse channels";
        return nullptr;
    }
    constexpr long kScansPerPiece = 8192;
    std::vector<unsigned char> from(std::size_t(kScansPerPiece) * oldScan);
    std::vector<unsigned char> to(std::size_t(kScansPerPiece) * (oldScan + added), 0);
    for (long done = 0; done < scans;) {
        if (stop && stop()) {
            error = "interrupted";
            return nullptr;
        }
        const long n = std::min(kScansPerPiece, scans - done);
        if (in->Read(from.data(), std::size_t(n) * oldScan) != std::size_t(n) * oldScan) {
            error = std::string(path) + ": scan " + std::to_string(done) + " cannot be read";
            return nullptr;
        }
        for (long i = 0; i < n; ++i)
            std::memcpy(to.data() + std::size_t(i) * (oldScan + added), from.data() + std::size_t(i) * oldScan, oldScan);
        const std::size_t bytes = std::size_t(n) * (oldScan + added);
        if (out->Write(to.data(), bytes) != bytes) {
            error = aside.Path().str() + ": cannot be written";
            return nullptr;
        }
        done += n;
    }
    if (!out->Flush() || out->Fail()) {
        error = aside.Path().str() + ": cannot be written";
        return nullptr;
    }
    try {
        wider->Close();
        target->Close();
    } catch (const std::exception& e) {
        error = std::string(path) + ": " + e.what();
        return nullptr;
    }
    wider.reset();
    target.reset();
    const FileSystem::SError renamed = FileSystem::RenameFile(aside.Path(), path);
    if (renamed.Failed()) {
        error = std::string(path) + ": " + Reason(renamed);
        return nullptr;
    }
    aside.Release();
    try {
        return std::make_unique<CDataset>(path, om__readwrite, 32768, sh__deny_write);
    } catch (const std::exception& e) {
        error = std::string(path) + ": " + e.what();
        return nullptr;
    }
}

}  // namespace

CString PathFor(const char* mp3Path)
{
    CString s(mp3Path);
    OutputPolicy::SetExtension(s, kExtension);
    return s;
}

std::size_t BannerLength(const unsigned char* data, std::size_t size)
{
    const std::size_t start = std::strlen(kBannerStart);
    if (size < start || std::memcmp(data, kBannerStart, start) != 0) return 0;
    const std::size_t limit = std::min(size, kBannerMax);
    for (std::size_t i = start; i + 1 < limit; ++i) {
        if (data[i] != '\r' || data[i + 1] != '\n') continue;
        const std::size_t next = i + 2;
        if (size - next >= sizeof kTrxMagic && std::memcmp(data + next, kTrxMagic, sizeof kTrxMagic) == 0)
            return next;
    }
    return 0;
}

bool Write(const char* sourceTrx, const char* mp3Path, const char* sidePath, std::string& error,
           const std::function<bool()>& stop)
{
    CAside aside;
    return aside.Write(sourceTrx, mp3Path, sidePath, error, stop) && aside.Commit(error);
}

void CAside::Discard()
{
    if (!m_sAside.IsEmpty()) FileSystem::RemoveFile(m_sAside);
    m_sAside.Empty();
}

bool CAside::Commit(std::string& error)
{
    if (m_sAside.IsEmpty()) {
        error = m_sSide.str() + ": nothing written";
        return false;
    }
    const FileSystem::SError renamed = FileSystem::RenameFile(m_sAside, m_sSide);
    if (renamed.Failed()) {
        error = m_sSide.str() + ": " + Reason(renamed);
        return false;
    }
    m_sAside.Empty();
    return true;
}

bool CAside::Write(const char* sourceTrx, const char* mp3Path, const char* sidePath, std::string& error,
                   const std::function<bool()>& stop)
{
    Discard();
    m_sSide = sidePath;
    std::unique_ptr<CDataset> source;
    try {
        source = std::make_unique<CDataset>(sourceTrx, om__read, 32768, sh__deny_write);
    } catch (const std::exception& e) {
        error = std::string(sourceTrx) + ": " + e.what();
        return false;
    }
    FileSystem::CFile in;
    if (!in.Open(sourceTrx)) {
        error = std::string(sourceTrx) + ": " + Reason(in.GetError());
        return false;
    }

    // Written aside and renamed into place: a side file that stood there
    // stays whole until the new one is complete. The name aside is new, so
    // that nothing of anyone else's is replaced.
    CTempFile aside{CString()};
    FileSystem::CFile out;
    std::random_device random;
    for (int attempt = 0; attempt < 16 && !out.IsOpen(); ++attempt) {
        const CString name = CString(sidePath) + CString::Formatted(".%08x", unsigned(random()));
        if (out.CreateNew(name)) aside = CTempFile(name);
    }
    if (!out.IsOpen()) {
        error = std::string(sidePath) + ": " + Reason(out.GetError());
        return false;
    }
    auto writeFailed = [&] {
        error = std::string(sidePath) + ": " + Reason(out.GetError());
        return false;
    };

    const std::string banner = std::string(kBannerStart) + mp3Path + "\r\n";
    if (!out.Write(banner.data(), banner.size())) return writeFailed();

    const long long header = source->GetStartOfDataInFile();
    std::vector<unsigned char> piece(kCopyPiece);
    for (long long left = header; left > 0;) {
        const long long n = in.Read(piece.data(), std::size_t(std::min<long long>(left, kCopyPiece)));
        if (n <= 0) {
            error = std::string(sourceTrx) + ": the description ends before the first sample";
            return false;
        }
        if (!out.Write(piece.data(), std::size_t(n))) return writeFailed();
        left -= n;
    }

    const int subCount = source->GetNbrOfSubChannels();
    if (subCount > 0) {
        const int channels = source->GetNbrOfChannels();
        std::vector<PulseBitCode::SPulseBit> subs;
        for (int s = 0; s < subCount; ++s) {
            const CSubChannel sub = source->GetSubChannel(s);
            if (sub.GetParentChannelID() < 0 || sub.GetParentChannelID() >= channels) {
                error = std::string(sourceTrx) + ": sub-channel " + std::to_string(s) + " names channel " +
                        std::to_string(sub.GetParentChannelID()) + ", which the data set does not have";
                return false;
            }
            subs.push_back(PulseBitCode::MakePulseBit(sub.GetParentChannelID(), sub.GetBitmask()));
        }
        // 16-bit channels at one rate lie in the file exactly as the code
        // reads them (docs/trx-format.md): taken straight from the stream,
        // without an access's conversion. Any other layout goes through one.
        bool direct = std::endian::native == std::endian::little && source->GetScanMode() == sm__single_rate &&
                      source->GetNbrOfAbscissas() == 1 && source->GetScanSize() == 2L * channels;
        for (int c = 0; c < channels && direct; ++c) direct = source->GetChannel(c).GetImplType() == it__int16;
        CDataStream* stream = direct ? source->GetPtrToFile() : nullptr;
        CAccess* access = nullptr;
        if (!stream) {
            CChNbrList all;
            all.AddGroup(0, channels - 1);
            access = source->CreateAccess(am__read, all, 0, 0, -1, mk__raw);
            if (!access) {
                error = std::string(sourceTrx) + ": " + source->GetLastError().str();
                return false;
            }
        } else if (!stream->Seek(std::uint64_t(header))) {
            error = std::string(sourceTrx) + ": cannot reach the first sample";
            return false;
        }
        const long total = long(std::min<long long>(source->GetNbrOfScans(), source->GetNbrOfScansInFile()));
        std::vector<std::int16_t> samples(std::size_t(PulseBitCode::kChunkScans) * std::size_t(channels));
        std::vector<unsigned char> code;
        long done = 0;
        for (;;) {
            if (stop && stop()) {
                error = "interrupted";
                return false;
            }
            long n;
            if (stream) {
                n = std::min(PulseBitCode::kChunkScans, total - done);
                if (n <= 0) break;
                const std::size_t bytes = std::size_t(n) * std::size_t(channels) * 2;
                if (stream->Read(samples.data(), bytes) != bytes) {
                    error = std::string(sourceTrx) + ": scan " + std::to_string(done) + ": cannot be read";
                    return false;
                }
            } else {
                n = access->GetData(PulseBitCode::kChunkScans, samples.data(), ds__dorg_interleaved, it__int16);
                if (n <= 0) {
                    if (!access->Finished() && !access->GetLastError().IsEmpty()) {
                        error = std::string(sourceTrx) + ": scan " + std::to_string(done) + ": " +
                                access->GetLastError().str();
                        return false;
                    }
                    break;
                }
            }
            code.clear();
            PulseBitCode::EncodeChunk(subs, samples.data(), channels, n, code);
            if (!out.Write(code.data(), code.size())) return writeFailed();
            done += n;
        }
        if (access) source->DeleteAccess(access);
    }
    if (!out.Flush()) return writeFailed();
    out.Close();
    m_sAside = aside.Path();
    aside.Release();
    return true;
}

namespace {

// The WAVE file held the stored channels that an export writes, in their
// order; pulse channels stayed behind. Channel i of the new data set is the
// i-th of those.
std::vector<int> NewChannelOf(const CDataset& description, int decodedChannels)
{
    std::vector<int> newOf(std::size_t(description.GetNbrOfChannels()), -1);
    int next = 0;
    for (int c = 0; c < description.GetNbrOfChannels(); ++c)
        if (ChannelHelpers::IsExportable(description.GetChannel(c)) && next < decodedChannels)
            newOf[std::size_t(c)] = next++;
    return newOf;
}

// A pulse channel stays out of the MP3, but the bits of its sub-channels are
// in the side file: it comes back as a channel of its own after the decoded
// ones, holding those bits (a bit that no sub-channel names is 0).
std::vector<int> CarriersOf(const CDataset& description, const std::vector<int>& newOf)
{
    std::vector<int> carriers;
    for (int s = 0; s < description.GetNbrOfSubChannels(); ++s) {
        const int p = description.GetSubChannel(s).GetParentChannelID();
        if (p >= 0 && p < int(newOf.size()) && newOf[std::size_t(p)] < 0 &&
            !ChannelHelpers::IsExportable(description.GetChannel(p)) &&
            std::find(carriers.begin(), carriers.end(), p) == carriers.end())
            carriers.push_back(p);
    }
    std::sort(carriers.begin(), carriers.end());
    return carriers;
}

// The sub-channels' bits with their parents in the new data set (-1: not
// there, the bits are read past).
std::vector<PulseBitCode::SPulseBit> PlacedBits(const CDataset& description, const std::vector<int>& newOf)
{
    std::vector<PulseBitCode::SPulseBit> placed;
    for (int s = 0; s < description.GetNbrOfSubChannels(); ++s) {
        const CSubChannel sub = description.GetSubChannel(s);
        const int parent = sub.GetParentChannelID();
        const int i = parent >= 0 && parent < int(newOf.size()) ? newOf[std::size_t(parent)] : -1;
        placed.push_back(PulseBitCode::MakePulseBit(i, sub.GetBitmask()));
    }
    return placed;
}

}  // namespace

struct CRestore::SState {
    CString sidePath;
    bool present = false;
    std::string openError;
    CTempFile stored{CString()};
    std::unique_ptr<CDataset> description;
    long storedScans = 0;
    // Every stored sub-channel takes part in the code's schedule.
    std::vector<PulseBitCode::SPulseBit> subs;

    // The code, decoded a chunk at a time: [chunkStart, chunkStart +
    // chunkLen) is the chunk in `bits`.
    FileSystem::CFile code;
    std::unique_ptr<CFileSource> source;
    long chunkStart = 0, chunkLen = 0;
    std::vector<std::vector<std::uint8_t>> bits;

    // The bits as the WAVE import's filter applied them.
    std::vector<PulseBitCode::SPulseBit> filterPlaced;
    bool filtered = false;
    std::string filterError;

    bool StartCode(std::string& error)
    {
        code.Close();
        if (!code.Open(stored.Path()) || !code.Seek(description->GetStartOfDataInFile())) {
            error = stored.Path().str() + ": " + Reason(code.GetError());
            return false;
        }
        source = std::make_unique<CFileSource>(code);
        chunkStart = chunkLen = 0;
        return true;
    }
    bool NextChunk(std::string& error)
    {
        chunkStart += chunkLen;
        chunkLen = std::min(PulseBitCode::kChunkScans, storedScans - chunkStart);
        const PulseBitCode::EDecode r = PulseBitCode::DecodeChunk(subs, chunkLen, *source, bits);
        if (r == PulseBitCode::EDecode::Ok) return true;
        if (source->Failed())
            error = sidePath.str() + ": " + Reason(code.GetError());
        else
            error = sidePath.str() + ": the pulse-bit code " +
                    (r == PulseBitCode::EDecode::Invalid ? "is damaged" : "ends") + " in the chunk at scan " +
                    std::to_string(chunkStart);
        return false;
    }
};

CRestore::CRestore() : m(std::make_unique<SState>()) {}
CRestore::~CRestore() = default;

bool CRestore::Open(const char* mp3Input)
{
    // It may run on a thread of its own, where nothing may escape.
    try {
        return OpenSide(mp3Input);
    } catch (const std::exception& e) {
        m->present = true;
        m->description.reset();
        m->openError = m->sidePath.str() + ": " + e.what();
        return false;
    }
}

bool CRestore::OpenSide(const char* mp3Input)
{
    m->sidePath = PathFor(mp3Input);
    FileSystem::CFile side;
    if (!side.Open(m->sidePath)) return true;
    m->present = true;
    auto fail = [&](const std::string& why) {
        m->openError = why;
        return false;
    };

    // The banner, then the rest of the file as a data set of its own: its
    // description is the source's, its "samples" the pulse code. It goes to
    // the temporary folder, not beside the MP3: that folder may be read-only,
    // and a file of the name there may be the user's.
    unsigned char head[kBannerMax + 8];
    long long got = 0;
    while (got < static_cast<long long>(sizeof head)) {
        const long long n = side.Read(head + got, std::size_t(sizeof head - std::size_t(got)));
        if (n <= 0) break;
        got += n;
    }
    const std::size_t banner = BannerLength(head, std::size_t(got));
    if (banner == 0) return fail(m->sidePath.str() + ": no banner line followed by a TRX description");

    m->stored = CTempFile(FileSystem::MakeTempFile(
        nullptr, (OutputPolicy::GetFileNameOfPath(m->sidePath, false) + ".PlusTmp").c_str()));
    const CString& stored = m->stored.Path();
    if (stored.IsEmpty()) return fail(std::string("temporary file: ") + std::strerror(errno));
    {
        FileSystem::CFile copy;
        if (!copy.Create(stored)) return fail(stored.str() + ": " + Reason(copy.GetError()));
        if (!copy.Write(head + banner, std::size_t(got) - banner))
            return fail(stored.str() + ": " + Reason(copy.GetError()));
        std::vector<unsigned char> piece(kCopyPiece);
        for (;;) {
            const long long n = side.Read(piece.data(), piece.size());
            if (n < 0) return fail(m->sidePath.str() + ": " + Reason(side.GetError()));
            if (n == 0) break;
            if (!copy.Write(piece.data(), std::size_t(n)))
                return fail(stored.str() + ": " + Reason(copy.GetError()));
        }
        // Not synced to the disk: the copy is read back at once and removed,
        // and a copy that came out short reads as a damaged side file.
    }
    side.Close();

    try {
        m->description = std::make_unique<CDataset>(stored, om__read, 32768, sh__deny_write);
    } catch (const std::exception& e) {
        return fail(m->sidePath.str() + ": the stored description cannot be read: " + e.what());
    }
    m->storedScans = m->description->GetNbrOfScans();
    for (int s = 0; s < m->description->GetNbrOfSubChannels(); ++s) {
        const CSubChannel sub = m->description->GetSubChannel(s);
        m->subs.push_back(PulseBitCode::MakePulseBit(sub.GetParentChannelID(), sub.GetBitmask()));
    }
    return true;
}

bool CRestore::Accepts(int channels)
{
    // Only bits whose parents the decoder gives: pulse channels make the
    // data set anew after the import, and the bits go in then.
    if (!m->description || m->subs.empty()) return false;
    const std::vector<int> newOf = NewChannelOf(*m->description, channels);
    if (!CarriersOf(*m->description, newOf).empty()) return false;
    std::string error;
    if (!m->StartCode(error)) return false;
    m->filterPlaced = PlacedBits(*m->description, newOf);
    m->filtered = true;
    return true;
}

bool CRestore::Filter(std::int16_t* samples, int channels, long first, long scans)
{
    // Samples past the source's length get no bits: they are cut off.
    for (long i = 0; i < scans && first + i < m->storedScans;) {
        const long at = first + i;
        while (at >= m->chunkStart + m->chunkLen)
            if (!m->NextChunk(m->filterError)) return false;
        const long from = at - m->chunkStart;
        const long n = std::min(scans - i, m->chunkLen - from);
        PulseBitCode::ApplyChunk(m->filterPlaced, m->bits, samples + std::size_t(i) * std::size_t(channels), channels,
                                 n, from);
        i += n;
    }
    return true;
}

const std::string& CRestore::FilterError() const { return m->filterError; }

bool CRestore::Apply(const char* datasetPath, std::string& error, std::string& warning,
                     const std::function<bool()>& stop)
{
    if (!m->present) return true;
    auto fail = [&](const std::string& why) {
        error = why;
        return false;
    };
    if (!m->description) return fail(m->openError);
    const CDataset& description = *m->description;

    std::unique_ptr<CDataset> target;
    try {
        target = std::make_unique<CDataset>(datasetPath, om__readwrite, 32768, sh__deny_write);
    } catch (const std::exception& e) {
        return fail(std::string(datasetPath) + ": " + e.what());
    }

    std::vector<int> newOf = NewChannelOf(description, target->GetNbrOfChannels());
    const std::vector<int> carriers = CarriersOf(description, newOf);
    if (!carriers.empty()) {
        target = WithCarriers(std::move(target), description, carriers, newOf, datasetPath, error, stop);
        if (!target) return false;
    }

    target->SetTitle(description.GetTitle());
    for (int c = 0; c < description.GetNbrOfChannels(); ++c) {
        const int i = newOf[std::size_t(c)];
        if (i < 0) continue;
        CChannel ch = description.GetChannel(c);
        const int ownType = target->GetChannel(i).GetImplType();
        if (ch.GetImplType() != ownType) {
            map__dct mapping;
            mapping.m_dFactor = RecomputedFactor(ownType, ch.GetUnit().GetText(), ch.GetCalibration());
            ch.SetMapping(mapping);
            ch.SetImplType(ownType);
        }
        if (!target->SetChannel(i, ch))
            return fail(std::string(datasetPath) + ": channel " + std::to_string(i) + " cannot take its description");
    }

    // Sub-channels whose parent reached the new data set are added and get
    // their bits.
    const std::vector<PulseBitCode::SPulseBit> placed = PlacedBits(description, newOf);
    for (int s = 0; s < description.GetNbrOfSubChannels(); ++s) {
        CSubChannel sub = description.GetSubChannel(s);
        if (placed[std::size_t(s)].parent >= 0) {
            sub.SetParentChannelID(placed[std::size_t(s)].parent);
            if (target->AddSubChannel(sub) < 0)
                return fail(std::string(datasetPath) + ": sub-channel " + std::to_string(s) + " cannot be added");
        } else {
            if (!warning.empty()) warning += "\n";
            warning += "Sub-channel " + std::to_string(s) + " (\"" + sub.GetName().str() + "\") left out: its channel " +
                       std::to_string(sub.GetParentChannelID()) + " is not in the MP3 file.";
        }
    }
    target->SetComment(description.GetComment());
    target->SetDateOfRecording(description.GetDateOfRecording());

    const long storedScans = m->storedScans;
    if (m->filtered) {
        // The bits of the decoded scans went in with the samples; the rest
        // of the code is read to its end, so that damage there shows too.
        while (m->chunkStart + m->chunkLen < storedScans) {
            if (stop && stop()) return fail("interrupted");
            if (!m->NextChunk(error)) return false;
        }
    } else if (!m->subs.empty()) {
        if (!m->StartCode(error)) return false;
        const int channels = target->GetNbrOfChannels();
        const long newScans = target->GetNbrOfScans();
        // The bits of 8-bit samples widened by the import, or of a data set
        // made anew for pulse channels, go in through an access.
        CChNbrList all;
        all.AddGroup(0, channels - 1);
        CAccess* access = target->CreateAccess(am__readwrite, all, 0, 0, -1, mk__raw);
        if (!access) return fail(std::string(datasetPath) + ": " + target->GetLastError().str());
        std::vector<std::int16_t> samples(std::size_t(PulseBitCode::kChunkScans) * std::size_t(channels));
        auto samplesFailed = [&](const std::string& why) {
            target->DeleteAccess(access);
            return fail(why);
        };
        while (m->chunkStart + m->chunkLen < storedScans) {
            if (stop && stop()) return samplesFailed("interrupted");
            std::string why;
            if (!m->NextChunk(why)) return samplesFailed(why);
            const long done = m->chunkStart;
            // A decoded file shorter than the source has no samples for the
            // last bits; they are read past.
            const long here = std::min(m->chunkLen, newScans - done);
            if (here <= 0) continue;
            if (!access->SpecifyScans(done, here) ||
                access->GetData(here, samples.data(), ds__dorg_interleaved, it__int16) != here)
                return samplesFailed(std::string(datasetPath) + ": scan " + std::to_string(done) + ": " +
                                     access->GetLastError().str());
            PulseBitCode::ApplyChunk(placed, m->bits, samples.data(), channels, here);
            if (!access->SpecifyScans(done, here) ||
                access->SetData(here, samples.data(), ds__dorg_interleaved, it__int16) != here)
                return samplesFailed(std::string(datasetPath) + ": scan " + std::to_string(done) + ": " +
                                     access->GetLastError().str());
        }
        target->DeleteAccess(access);
    }

    // The decoder may give more samples than went in (frame padding); the
    // source's count is the true one. A shorter file is not extended.
    target->SetMaxNbrOfScans(storedScans);
    if (CDataStream* stream = target->GetPtrToFile()) {
        const std::uint64_t end = std::uint64_t(target->GetStartOfDataInFile()) +
                                  std::uint64_t(target->GetNbrOfScans()) * std::uint64_t(target->GetScanSize());
        if (stream->GetLength() > end && !stream->SetLength(end))
            return fail(std::string(datasetPath) + ": cannot be cut to " + std::to_string(end) + " bytes");
    }
    try {
        target->Close();
    } catch (const std::exception& e) {
        return fail(std::string(datasetPath) + ": " + e.what());
    }
    return true;
}

}  // namespace Mp3SideFile
