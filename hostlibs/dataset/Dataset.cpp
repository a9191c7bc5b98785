#include "hostlibs/dataset/Dataset.h"

#include "hostlibs/dataset/DatasetCore.h"
#include "hostlibs/dataset/SampleCodec.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int NoIntr(auto f)
{
    int r;
    do r = f();
    while (r < 0 && errno == EINTR);
    return r;
}

[[noreturn]] void ThrowSys(const CString& path, const char* what, int err)
{
    unsigned code = FileSystem::MapErrno(err);
    if (code == FileSystem::kErrorOther) code = unsigned(err);
    throw CDatasetException(CString::Formatted("TRX data set %s: %s (%s)", path.c_str(), what, std::strerror(err)), code);
}

// Opens (or creates) the file and takes the lock the sharing type asks for.
// The lock comes before truncation, so a file another program holds keeps
// its contents.
int OpenLocked(const CString& path, int flags, bool exclusive, int sharing, bool truncate)
{
    FileSystem::EOp op = (flags & O_CREAT) ? FileSystem::EOp::Create : FileSystem::EOp::Open;
    if (int e = FileSystem::InjectedFault(op, path.str())) ThrowSys(path, "cannot be opened", e);
    int fd = NoIntr([&] { return ::open(path.c_str(), flags | O_CLOEXEC, 0666); });
    if (fd < 0) ThrowSys(path, (flags & O_CREAT) ? "cannot be created" : "cannot be opened", errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw CDatasetException(CString::Formatted("TRX data set %s: not a regular file", path.c_str()), 5);
    }
    if (sharing != sh__deny_none) {
        if (NoIntr([&] { return ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB); }) != 0) {
            int e = errno;
            ::close(fd);
            if (e == EWOULDBLOCK)
                throw CDatasetException(
                    CString::Formatted("TRX data set %s is in use by another program", path.c_str()),
                    FileSystem::kErrorSharingViolation);
            ThrowSys(path, "cannot be locked", e);
        }
    }
    // Only a file that holds something is emptied: truncating an empty one
    // would make some file systems (ext4's replace-by-truncate heuristic)
    // write all the new samples out synchronously when it is closed.
    if (truncate && st.st_size > 0 && NoIntr([&] { return ::ftruncate(fd, 0); }) != 0) {
        int e = errno;
        ::close(fd);
        ThrowSys(path, "cannot be emptied", e);
    }
    return fd;
}

bool ParseChannelTagName(const char* name, int nChannels, int& index)
{
    if (!name || std::strncmp(name, "Channel", 7) != 0) return false;
    const char* p = name + 7;
    if (!*p || std::strlen(p) > 6) return false;
    long v = 0;
    for (; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + (*p - '0');
    }
    if (v >= nChannels) return false;
    index = int(v);
    return true;
}

std::size_t BufferFor(long bufferSize)
{
    // The callers' sizes are hints for a transfer buffer; below 64 KiB the
    // system calls would dominate, above 16 MiB memory would.
    std::size_t n = bufferSize > 0 ? std::size_t(bufferSize) : 0;
    return std::clamp<std::size_t>(n * 16, 1u << 16, 1u << 22);
}

} // namespace

// ---------------------------------------------------------------------------
// CDatasetCore

CDatasetCore::~CDatasetCore()
{
    try {
        CloseFile();
    } catch (...) {
    }
}

bool CDatasetCore::FlushStream()
{
    if (!stream) return true;
    return stream->Flush();
}

std::uint64_t CDatasetCore::FileSize() const
{
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return 0;
    return std::uint64_t(st.st_size);
}

std::uint64_t CDatasetCore::ScansInFile() const
{
    std::uint64_t size = FileSize();
    if (layout.uScanBytes == 0) return DeclaredScans();
    if (size <= uDataOffset) return 0;
    return (size - uDataOffset) / layout.uScanBytes;
}

std::uint64_t CDatasetCore::AvailableScans() const
{
    return std::min(DeclaredScans(), uScansHeld ? uScansHeld : ScansInFile());
}

bool CDatasetCore::ReadAt(std::uint64_t pos, void* p, std::size_t n, std::size_t* got) const
{
    std::size_t done = 0;
    auto* q = static_cast<unsigned char*>(p);
    while (done < n) {
        ssize_t r = ::pread(fd, q + done, n - done, off_t(pos + done));
        if (r < 0) {
            if (errno == EINTR) continue;
            if (got) *got = done;
            return false;
        }
        if (r == 0) break;
        done += std::size_t(r);
    }
    if (got) *got = done;
    return done == n;
}

bool CDatasetCore::WriteAt(std::uint64_t pos, const void* p, std::size_t n)
{
    auto* q = static_cast<const unsigned char*>(p);
    while (n > 0) {
        ssize_t w = ::pwrite(fd, q, n, off_t(pos));
        if (w < 0) {
            if (errno == EINTR) continue;
            SetError(CString::Formatted("TRX data set %s: write at offset %llu failed (%s)", sPath.c_str(),
                                        (unsigned long long)pos, std::strerror(errno)));
            return false;
        }
        if (w == 0) {
            SetError(CString::Formatted("TRX data set %s: write at offset %llu failed (disk full)", sPath.c_str(),
                                        (unsigned long long)pos));
            return false;
        }
        q += w;
        n -= std::size_t(w);
        pos += std::uint64_t(w);
    }
    return true;
}

unsigned char* CDatasetCore::Chunk(std::size_t n)
{
    if (chunk.size() < n) chunk.resize(n);
    return chunk.data();
}

bool CDatasetCore::StoredAbscissa(std::uint64_t scan, double* values) const
{
    int size = CImplType::GetSize(layout.iAbscType);
    unsigned char raw[3 * 8];
    if (layout.iAbscValues <= 0 || size <= 0) return false;
    std::size_t n = std::size_t(size) * std::size_t(layout.iAbscValues);
    if (!ReadAt(uDataOffset + scan * layout.uScanBytes, raw, n)) return false;
    const CMapping& m = desc.abscissas[0].GetMapping();
    for (int k = 0; k < layout.iAbscValues; ++k)
        values[k] = m.ToPhysical(trx::Decode(layout.iAbscType, raw + std::size_t(k) * std::size_t(size)).re);
    return true;
}

bool CDatasetCore::Grow(std::uint64_t scans)
{
    if (desc.abscissas.size() != 1) return scans <= DeclaredScans();
    CAbscissa& a = desc.abscissas[0];
    if (scans <= std::uint64_t(a.GetNbrOfScans())) return true;
    if (a.GetMaxNbrOfScans() > 0 && scans > std::uint64_t(a.GetMaxNbrOfScans())) return false;
    if (scans > trx::kMaxScans) return false;
    a.SetNbrOfScans(long(scans));
    bDirty = true;
    return true;
}

void CDatasetCore::WriteDescription()
{
    std::string header = trx::WriteHeader(desc, layout);
    if (trx::kLeadIn + header.size() <= uDataOffset) {
        // One write of the whole region before the samples: a crash of this
        // process cannot leave half a description behind.
        std::string lead = trx::BuildLeadIn(header, uDataOffset);
        if (!WriteAt(0, lead.data(), lead.size())) throw CDatasetException(sError);
        return;
    }
    // The description outgrew its room: the samples must move. Write the new
    // file beside the old one and rename it into place.
    // The samples keep their page phase, and with it their alignment.
    std::uint64_t newOffset = trx::DataOffsetFor(header.size(), uDataOffset % 4096);
    CString tmp = sPath + ".rewrite-XXXXXX";
    int tfd = ::mkstemp(tmp.str().data());
    if (tfd < 0) ThrowSys(sPath, "cannot write its description aside", errno);
    auto fail = [&](const char* what, int err) {
        ::close(tfd);
        ::unlink(tmp.c_str());
        ThrowSys(sPath, what, err);
    };
    std::string lead = trx::BuildLeadIn(header, newOffset);
    if (::pwrite(tfd, lead.data(), lead.size(), 0) != ssize_t(lead.size())) fail("cannot write its description aside", errno);
    std::uint64_t size = FileSize(), from = uDataOffset, to = newOffset;
    // No bigger a transfer buffer than the samples to move.
    const std::size_t step = std::size_t(std::min<std::uint64_t>(nBuffer, size > from ? size - from : 0));
    unsigned char* buf = Chunk(step);
    while (from < size) {
        std::size_t n = std::size_t(std::min<std::uint64_t>(step, size - from));
        std::size_t got = 0;
        if (!ReadAt(from, buf, n, &got) || got != n) fail("cannot be copied", errno ? errno : EIO);
        if (::pwrite(tfd, buf, n, off_t(to)) != ssize_t(n)) fail("cannot be copied", errno);
        from += n;
        to += n;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0) ::fchmod(tfd, st.st_mode & 07777);
    if (::fsync(tfd) != 0) fail("cannot be copied", errno);
    FileSystem::SError e = FileSystem::RenameFile(tmp.c_str(), sPath.c_str());
    if (e.Failed()) fail("cannot be replaced by its rewritten copy", e.iErrno ? e.iErrno : EIO);
    // Go on with the new file: the lock moves with it.
    if (fd >= 0) ::close(fd);
    fd = tfd;
    ::flock(fd, LOCK_EX | LOCK_NB);
    uDataOffset = newOffset;
    if (stream) stream.reset();
}

void CDatasetCore::CloseFile()
{
    if (fd < 0) return;
    CString failure;
    if (stream) {
        if (!stream->Flush() && bWritable)
            failure = CString::Formatted("TRX data set %s: samples could not be written (%s)", sPath.c_str(),
                                         std::strerror(stream->GetErrno()));
        stream.reset();
    }
    accesses.clear();
    pActive = nullptr;
    if (bWritable && bDirty && failure.IsEmpty()) {
        desc.bOpenForWriting = false;
        try {
            WriteDescription();
            bDirty = false;
        } catch (const CDatasetException& e) {
            failure = e.GetText();
        }
    }
    ::close(fd);
    fd = -1;
    if (!sTempPath.IsEmpty()) {
        ::unlink(sTempPath.c_str());
        sTempPath.Empty();
    }
    if (!failure.IsEmpty()) throw CDatasetException(failure);
}

// ---------------------------------------------------------------------------
// CDataset: open, create, close

CDataset::CDataset(const char* path, int openMode, long bufferSize, int sharing) : m_core(new CDatasetCore)
{
    CDatasetCore& c = *m_core;
    c.sPath = path ? path : "";
    if (c.sPath.IsEmpty()) throw CDatasetException("TRX data set: no path given", 2);
    if (!(openMode & om__read) || (openMode & ~(om__read | om__write | om__complete)))
        throw CDatasetException(CString::Formatted("TRX data set %s: unknown open mode %d", c.sPath.c_str(), openMode));
    if (sharing < sh__deny_write || sharing > sh__deny_none)
        throw CDatasetException(CString::Formatted("TRX data set %s: unknown sharing type %d", c.sPath.c_str(), sharing));
    c.bWritable = (openMode & om__write) != 0;
    c.nBuffer = BufferFor(bufferSize);
    c.fd = OpenLocked(c.sPath, c.bWritable ? O_RDWR : O_RDONLY, c.bWritable, sharing, false);
    // Transfers mostly run from the first scan to the last.
    ::posix_fadvise(c.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // Everything is checked against the file before anything is allocated.
    std::uint64_t size = c.FileSize();
    unsigned char lead[trx::kLeadIn];
    if (size < trx::kLeadIn || !c.ReadAt(0, lead, trx::kLeadIn))
        throw CDatasetException(CString::Formatted("TRX data set %s: file too short for a TRX header (%llu bytes)",
                                                   c.sPath.c_str(), (unsigned long long)size));
    if (std::memcmp(lead, trx::kMagic, 8) != 0)
        throw CDatasetException(CString::Formatted("TRX data set %s: not a TRX file (no magic at offset 0)", c.sPath.c_str()));
    if (lead[8] != trx::kVersionMajor)
        throw CDatasetException(CString::Formatted("TRX data set %s: format version %d.%d is not supported",
                                                   c.sPath.c_str(), lead[8], lead[9]));
    std::uint32_t hlen;
    std::uint64_t data;
    std::memcpy(&hlen, lead + 12, 4);
    std::memcpy(&data, lead + 16, 8);
    if (hlen == 0 || hlen > trx::kMaxHeader || hlen > size - trx::kLeadIn)
        throw CDatasetException(CString::Formatted("TRX data set %s: header length %u at offset 12 does not fit the file",
                                                   c.sPath.c_str(), hlen));
    if (data < trx::kLeadIn + hlen || data > (std::uint64_t(1) << 40))
        throw CDatasetException(CString::Formatted("TRX data set %s: data offset %llu at offset 16 is impossible",
                                                   c.sPath.c_str(), (unsigned long long)data));
    std::string text(hlen, '\0');
    if (!c.ReadAt(trx::kLeadIn, text.data(), hlen))
        throw CDatasetException(CString::Formatted("TRX data set %s: header cannot be read", c.sPath.c_str()));
    c.desc = trx::ReadHeader(text, c.sPath);
    c.Relayout();
    if (data % trx::SampleAlignment(c.desc, c.layout) != 0)
        throw CDatasetException(CString::Formatted("TRX data set %s: data offset %llu at offset 16 does not keep the "
                                                   "samples' alignment of %u bytes",
                                                   c.sPath.c_str(), (unsigned long long)data,
                                                   trx::SampleAlignment(c.desc, c.layout)));
    c.uDataOffset = data;
    c.bLeftOpen = c.desc.bOpenForWriting;
    if (c.bLeftOpen && (openMode & (om__write | om__complete)))
        throw CDatasetException(CString::Formatted(
            "TRX data set %s: was left open for writing (the program writing it ended before closing it), so its "
            "samples may be incomplete", c.sPath.c_str()));
    if ((openMode & om__complete) && c.layout.uScanBytes > 0) {
        std::uint64_t need = c.DeclaredScans() * c.layout.uScanBytes;
        if (size < data || size - data < need)
            throw CDatasetException(CString::Formatted(
                "TRX data set %s: file ends at %llu, but its %llu scans need %llu bytes from offset %llu",
                c.sPath.c_str(), (unsigned long long)size, (unsigned long long)c.DeclaredScans(),
                (unsigned long long)need, (unsigned long long)data));
        if (!c.bWritable && sharing == sh__deny_write)
            c.uScansHeld = c.ScansInFile();
    }
    if (c.bWritable) {
        // Until the clean close the file says that it is being written, so
        // that a writer killed half-way leaves a file recognisably incomplete.
        c.desc.bOpenForWriting = true;
        c.WriteDescription();
        c.bDirty = true;
    }
}

CDataset::CDataset(const char* path, const CAbscissaList& abscissas, const CChannelList& channels, int kind,
                   int organisation, long expectedScans, long bufferSize, int sharing, long dataPhase)
    : m_core(new CDatasetCore)
{
    CDatasetCore& c = *m_core;
    c.sPath = path ? path : "";
    if (c.sPath.IsEmpty()) throw CDatasetException("TRX data set: no path given", 2);
    if (sharing < sh__deny_write || sharing > sh__deny_none)
        throw CDatasetException(CString::Formatted("TRX data set %s: unknown sharing type %d", c.sPath.c_str(), sharing));
    c.desc.abscissas = abscissas;
    c.desc.channels = channels;
    c.desc.channelTags.assign(channels.size(), CTags());
    c.desc.iKind = kind;
    c.desc.iOrganisation = organisation;
    trx::Validate(c.desc, c.sPath);
    c.Relayout();
    c.desc.bOpenForWriting = true;
    c.bDirty = true;
    c.bWritable = true;
    c.nBuffer = BufferFor(bufferSize);
    (void)expectedScans;

    int flags = O_RDWR | O_CREAT | (sharing == sh__create_new ? O_EXCL : 0);
    c.fd = OpenLocked(c.sPath, flags, true, sharing, true);
    std::string header = trx::WriteHeader(c.desc, c.layout);
    const std::uint64_t phase = dataPhase < 0 ? 0 : std::uint64_t(dataPhase) % trx::kCopyGranule;
    if (dataPhase >= 0 && phase % trx::SampleAlignment(c.desc, c.layout) == 0)
        c.uDataOffset = trx::DataOffsetFor(header.size(), phase, trx::kCopyGranule);
    else
        c.uDataOffset = trx::DataOffsetFor(header.size());
    std::string lead = trx::BuildLeadIn(header, c.uDataOffset);
    if (!c.WriteAt(0, lead.data(), lead.size())) {
        CString text = c.sError;
        ::close(c.fd);
        c.fd = -1;
        ::unlink(c.sPath.c_str());
        throw CDatasetException(text);
    }
}

CDataset::~CDataset() = default;

long CDataset::DataPhaseForCopy(std::uint64_t sourceOffset, std::uint64_t bytes)
{
    return bytes >= (std::uint64_t(1) << 20) ? long(sourceOffset % trx::kCopyGranule) : -1;
}

void CDataset::Close() { m_core->CloseFile(); }
bool CDataset::IsOpen() const { return m_core->fd >= 0; }
bool CDataset::IsWritable() const { return m_core->bWritable; }
const CString& CDataset::GetPath() const { return m_core->sPath; }
const CString& CDataset::GetLastError() const { return m_core->sError; }

CString CDataset::GetMoniker() const
{
    CString name = m_core->sPath;
    int slash = name.ReverseFind('/');
    if (slash >= 0) name = name.Mid(slash + 1);
    if (m_core->desc.sTitle.IsEmpty()) return name;
    return m_core->desc.sTitle + " (" + name + ")";
}

// ---------------------------------------------------------------------------
// Description

const CString& CDataset::GetTitle() const { return m_core->desc.sTitle; }
void CDataset::SetTitle(const char* t) { m_core->desc.sTitle = t ? t : ""; m_core->bDirty = true; }
const CString& CDataset::GetComment() const { return m_core->desc.sComment; }
void CDataset::SetComment(const char* t) { m_core->desc.sComment = t ? t : ""; m_core->bDirty = true; }
CDateTimeEx CDataset::GetDateOfRecording() const { return m_core->desc.date; }
void CDataset::SetDateOfRecording(const CDateTimeEx& d) { m_core->desc.date = d; m_core->bDirty = true; }
int CDataset::GetKind() const { return m_core->desc.iKind; }
void CDataset::SetKind(int k) { m_core->desc.iKind = k; m_core->bDirty = true; }
int CDataset::GetOrganisation() const { return m_core->desc.iOrganisation; }
int CDataset::GetScanMode() const { return m_core->desc.iScanMode; }

int CDataset::GetNbrOfAbscissas() const { return int(m_core->desc.abscissas.size()); }

CAbscissa CDataset::GetAbscissa(int i) const
{
    if (i < 0 || i >= GetNbrOfAbscissas()) return CAbscissa();
    return m_core->desc.abscissas[std::size_t(i)];
}

bool CDataset::SetAbscissa(int i, const CAbscissa& a)
{
    CDatasetCore& c = *m_core;
    if (!c.bWritable || i < 0 || i >= GetNbrOfAbscissas()) return false;
    const CAbscissa& old = c.desc.abscissas[std::size_t(i)];
    if (old.IsCalc() != a.IsCalc() ||
        (!a.IsCalc() && (old.GetImplType() != a.GetImplType() || old.GetCoordinate() != a.GetCoordinate()))) {
        c.SetError(CString::Formatted("TRX data set %s: abscissa %d cannot change how its values are kept", c.sPath.c_str(), i));
        return false;
    }
    trx::SDescription d = c.desc;
    d.abscissas[std::size_t(i)] = a;
    try {
        trx::Validate(d, c.sPath);
    } catch (const CDatasetException& e) {
        c.SetError(e.GetText());
        return false;
    }
    c.desc.abscissas[std::size_t(i)] = a;
    c.bDirty = true;
    return true;
}

long CDataset::GetNbrOfScans() const
{
    return m_core->desc.abscissas.empty() ? 0 : m_core->desc.abscissas[0].GetNbrOfScans();
}

bool CDataset::SetMaxNbrOfScans(long n)
{
    CDatasetCore& c = *m_core;
    if (!c.bWritable || n < 0 || c.desc.abscissas.empty()) return false;
    CAbscissa& a = c.desc.abscissas[0];
    a.SetMaxNbrOfScans(n);
    if (a.GetNbrOfScans() > n) a.SetNbrOfScans(n);
    c.bDirty = true;
    return true;
}

int CDataset::GetNbrOfChannels() const { return int(m_core->desc.channels.size()); }

CChannel CDataset::GetChannel(int i) const
{
    if (i < 0 || i >= GetNbrOfChannels()) return CChannel();
    return m_core->desc.channels[std::size_t(i)];
}

bool CDataset::SetChannel(int i, const CChannel& ch)
{
    CDatasetCore& c = *m_core;
    if (!c.bWritable || i < 0 || i >= GetNbrOfChannels()) return false;
    if (ch.GetImplType() != c.desc.channels[std::size_t(i)].GetImplType()) {
        c.SetError(CString::Formatted("TRX data set %s: channel %d keeps its implementation type", c.sPath.c_str(), i));
        return false;
    }
    if (!ch.GetMapping().IsValid()) {
        c.SetError(CString::Formatted("TRX data set %s: channel %d: invalid mapping", c.sPath.c_str(), i));
        return false;
    }
    c.desc.channels[std::size_t(i)] = ch;
    c.bDirty = true;
    return true;
}

double CDataset::GetSamplingRate(int ch) const
{
    const CDatasetCore& c = *m_core;
    if (ch < 0 || ch >= GetNbrOfChannels() || c.desc.abscissas.empty()) return 0.0;
    const CAbscissa& a = c.desc.abscissas[0];
    if (!a.IsCalc() || a.GetDistribution() != df__linear || a.GetDeltaValue() == 0.0) return 0.0;
    return double(c.layout.channelOffsets[std::size_t(ch)].size()) / a.GetDeltaValue();
}

int CDataset::GetNbrOfSubChannels() const { return int(m_core->desc.subChannels.size()); }

CSubChannel CDataset::GetSubChannel(int i) const
{
    if (i < 0 || i >= GetNbrOfSubChannels()) return CSubChannel();
    return m_core->desc.subChannels[std::size_t(i)];
}

CSubChannelList CDataset::GetSubChannels() const { return m_core->desc.subChannels; }

bool CDataset::SetSubChannels(const CSubChannelList& list)
{
    CDatasetCore& c = *m_core;
    if (!c.bWritable) return false;
    for (const CSubChannel& s : list)
        if (s.GetParentChannelID() < 0 || s.GetParentChannelID() >= GetNbrOfChannels()) {
            c.SetError(CString::Formatted("TRX data set %s: sub-channel names the parent channel %d, which does not exist",
                                          c.sPath.c_str(), s.GetParentChannelID()));
            return false;
        }
    c.desc.subChannels = list;
    c.bDirty = true;
    return true;
}

int CDataset::AddSubChannel(const CSubChannel& sub)
{
    CDatasetCore& c = *m_core;
    if (!c.bWritable || sub.GetParentChannelID() < 0 || sub.GetParentChannelID() >= GetNbrOfChannels()) return -1;
    CSubChannel s = sub;
    if (s.GetID() < 0) {
        int id = 0;
        for (const CSubChannel& o : c.desc.subChannels) id = std::max(id, o.GetID() + 1);
        s.SetID(id);
    }
    c.desc.subChannels.push_back(s);
    c.bDirty = true;
    return int(c.desc.subChannels.size()) - 1;
}

bool CDataset::SpecifySamplingParameter(int scanMode, const CChNbrList& pattern)
{
    CDatasetCore& c = *m_core;
    if (!c.bWritable) return false;
    trx::SDescription d = c.desc;
    d.iScanMode = scanMode;
    d.pattern = scanMode == sm__pattern ? pattern.Get() : std::vector<int>();
    try {
        trx::Validate(d, c.sPath);
    } catch (const CDatasetException& e) {
        c.SetError(e.GetText());
        return false;
    }
    // Accesses were made for the old layout.
    c.accesses.clear();
    c.pActive = nullptr;
    c.desc = std::move(d);
    c.Relayout();
    c.bDirty = true;
    return true;
}

CChNbrList CDataset::GetSamplingPattern() const
{
    CChNbrList l;
    for (int e : m_core->layout.entries) l.Add(e);
    return l;
}

int CDataset::GetSamplesPerScan(int ch) const
{
    if (ch < 0 || ch >= GetNbrOfChannels()) return 0;
    return int(m_core->layout.channelOffsets[std::size_t(ch)].size());
}

long CDataset::GetScanSize() const { return long(m_core->layout.uScanBytes); }

bool CDataset::IsComplete() const
{
    const CDatasetCore& c = *m_core;
    return !c.bLeftOpen && c.ScansInFile() >= c.DeclaredScans();
}

long long CDataset::GetNbrOfScansInFile() const { return (long long)m_core->ScansInFile(); }

std::string CDataset::GetDescriptionJson() const
{
    CDatasetCore& c = *m_core;
    trx::SDescription d = c.desc;
    d.bOpenForWriting = c.bWritable || c.bLeftOpen;
    return trx::WriteHeader(d, c.layout);
}
long CDataset::GetStartOfDataInFile() const { return long(m_core->uDataOffset); }

CDataStream* CDataset::GetPtrToFile()
{
    CDatasetCore& c = *m_core;
    if (c.fd < 0) return nullptr;
    if (!c.stream) c.stream = std::make_unique<CDataStream>(c.fd, c.uDataOffset, c.bWritable);
    return c.stream.get();
}

// ---------------------------------------------------------------------------
// Accesses

CAccess* CDataset::CreateAccess(int mode, const CChNbrList& channels, int abscissa, long firstScan, long nbrOfScans,
                                int mappingKind)
{
    CDatasetCore& c = *m_core;
    if (c.fd < 0) return nullptr;
    if (mode != am__read && mode != am__readwrite) {
        c.SetError(CString::Formatted("TRX data set %s: unknown access mode %d", c.sPath.c_str(), mode));
        return nullptr;
    }
    if (mode == am__readwrite && !c.bWritable) {
        c.SetError(CString::Formatted("TRX data set %s: opened for reading only", c.sPath.c_str()));
        return nullptr;
    }
    std::unique_ptr<CAccess> a(new CAccess(&c, mode));
    firstScan = std::clamp(firstScan, 0L, 1L << 50);
    long last = nbrOfScans < 0 ? -1 : firstScan + std::min(nbrOfScans, 1L << 50) - 1;
    if (!a->Specify(channels, abscissa, double(firstScan), double(last), 0.0, 3, 2, 0, true)) {
        c.SetError(a->GetLastError());
        return nullptr;
    }
    if (nbrOfScans < 0) a->m_lCount = -1;
    if (mappingKind != mk__physical && !a->SetChannelMapping(channels, mappingKind, nullptr)) {
        c.SetError(a->GetLastError());
        return nullptr;
    }
    c.accesses.push_back(std::move(a));
    c.pActive = c.accesses.back().get();
    return c.pActive;
}

CAccess* CDataset::CreateAccess(int mode, int channel, int abscissa, long firstScan, long nbrOfScans, int mappingKind)
{
    CChNbrList l;
    l.Add(channel);
    return CreateAccess(mode, l, abscissa, firstScan, nbrOfScans, mappingKind);
}

CAccess* CDataset::CreateAccess(int mode, const CChNbrList& channels, int abscissa, double from, double to,
                                double tolerance)
{
    CAccess* a = CreateAccess(mode, channels, abscissa, 0L, -1L, mk__physical);
    if (!a) return nullptr;
    if (!a->Specify(channels, abscissa, from, to, tolerance)) {
        m_core->SetError(a->GetLastError());
        DeleteAccess(a);
        return nullptr;
    }
    return a;
}

bool CDataset::DeleteAccess(CAccess* access)
{
    CDatasetCore& c = *m_core;
    for (auto it = c.accesses.begin(); it != c.accesses.end(); ++it)
        if (it->get() == access) {
            if (c.pActive == access) c.pActive = nullptr;
            c.accesses.erase(it);
            return true;
        }
    return false;
}

bool CDataset::SetActiveAccess(CAccess* access)
{
    CDatasetCore& c = *m_core;
    if (!access) {
        c.pActive = nullptr;
        return true;
    }
    for (auto& a : c.accesses)
        if (a.get() == access) {
            c.pActive = access;
            return true;
        }
    return false;
}

CAccess* CDataset::GetActiveAccess() const { return m_core->pActive; }

long CDataset::GetData(long nbrOfScans, void* buffer, int organisation, int implType)
{
    CDatasetCore& c = *m_core;
    if (!c.pActive) {
        CChNbrList all;
        all.AddGroup(0, GetNbrOfChannels() - 1);
        if (!CreateAccess(c.bWritable ? am__readwrite : am__read, all)) return 0;
    }
    long n = c.pActive->GetData(nbrOfScans, buffer, organisation, implType);
    if (n == 0) c.sError = c.pActive->GetLastError();
    return n;
}

long CDataset::SetData(long nbrOfScans, const void* buffer, int organisation, int implType)
{
    CDatasetCore& c = *m_core;
    if (!c.pActive) {
        CChNbrList all;
        all.AddGroup(0, GetNbrOfChannels() - 1);
        if (!CreateAccess(am__readwrite, all)) return 0;
    }
    long n = c.pActive->SetData(nbrOfScans, buffer, organisation, implType);
    if (n == 0) c.sError = c.pActive->GetLastError();
    return n;
}

double CDataset::GetWorldFixAbsc(int abscissa, long index) const
{
    const CDatasetCore& c = *m_core;
    if (abscissa < 0 || abscissa >= GetNbrOfAbscissas() || index < 0) return std::nan("");
    const CAbscissa& a = c.desc.abscissas[std::size_t(abscissa)];
    if (a.IsCalc()) return a.GetValue(double(index));
    double v[3];
    if (std::uint64_t(index) >= c.ScansInFile() || !c.StoredAbscissa(std::uint64_t(index), v)) return std::nan("");
    return c.layout.iAbscValues == 3 ? v[1] : v[0];
}

// ---------------------------------------------------------------------------
// Tags

std::unique_ptr<CTags> CDataset::GetTags(const char* name) const
{
    int i;
    if (!ParseChannelTagName(name, GetNbrOfChannels(), i)) return nullptr;
    return std::make_unique<CTags>(m_core->desc.channelTags[std::size_t(i)]);
}

bool CDataset::SetTags(const char* name, const CTags& tags)
{
    CDatasetCore& c = *m_core;
    int i;
    if (!c.bWritable || !ParseChannelTagName(name, GetNbrOfChannels(), i)) return false;
    c.desc.channelTags[std::size_t(i)] = tags;
    c.bDirty = true;
    return true;
}

// ---------------------------------------------------------------------------
// Derived sets

CDataset* CDataset::CreateSubSet(long nbrOfScans, int organisation, int implType)
{
    CDatasetCore& c = *m_core;
    CAccess* src = c.pActive;
    if (!src) {
        c.SetError(CString::Formatted("TRX data set %s: no access selects the subset", c.sPath.c_str()));
        return nullptr;
    }
    if (c.desc.abscissas.size() != 1 || !CImplType::IsSupported(implType) || nbrOfScans < 0) {
        c.SetError(CString::Formatted("TRX data set %s: no subset of this data set in type %d", c.sPath.c_str(), implType));
        return nullptr;
    }
    long first = src->GetStartIndex();
    long avail = std::max(0L, src->ReadableEnd() - first);
    long n = std::min(nbrOfScans, avail);
    const CAbscissa& a0 = c.desc.abscissas[0];
    CAbscissa a = a0;
    int m = std::max(1, src->m_perScan);
    if (a0.IsCalc()) {
        if (a0.GetDistribution() == df__linear) {
            a.SetFirstValue(a0.GetValue(double(first) / m));
            a.SetDeltaValue(a0.GetDeltaValue() / m);
        } else {
            a.SetFirstValue(a0.GetValue(double(first) / m));
            a.SetDeltaValue(std::pow(a0.GetDeltaValue(), 1.0 / m));
        }
    }
    a.SetNbrOfScans(n);
    a.SetMaxNbrOfScans(0);
    CAbscissaList al;
    al.push_back(a);
    CChannelList cl;
    std::vector<int> newIndex(c.desc.channels.size(), -1);
    std::vector<CTags> tags;
    for (int ch : src->GetChannels()) {
        CChannel k = c.desc.channels[std::size_t(ch)];
        k.SetImplType(implType);
        k.SetMapping(CMapping());
        newIndex[std::size_t(ch)] = int(cl.size());
        cl.push_back(k);
        tags.push_back(c.desc.channelTags[std::size_t(ch)]);
    }
    CString tmp = FileSystem::MakeTempFile(nullptr, "tessel-subset-");
    if (tmp.IsEmpty()) {
        c.SetError("TRX subset: no temporary file");
        return nullptr;
    }
    std::unique_ptr<CDataset> sub;
    try {
        sub = std::make_unique<CDataset>(tmp.c_str(), al, cl, c.desc.iKind, organisation, n, 0, sh__deny_write);
    } catch (const CDatasetException& e) {
        ::unlink(tmp.c_str());
        c.SetError(e.GetText());
        return nullptr;
    }
    CDatasetCore& s = *sub->m_core;
    s.sTempPath = tmp;
    s.desc.sTitle = c.desc.sTitle;
    s.desc.sComment = c.desc.sComment;
    s.desc.date = c.desc.date;
    s.desc.channelTags = tags;
    for (const CSubChannel& sc : c.desc.subChannels) {
        int p = newIndex[std::size_t(sc.GetParentChannelID())];
        if (p < 0) continue;
        CSubChannel copy = sc;
        copy.SetParentChannelID(p);
        s.desc.subChannels.push_back(copy);
    }
    s.bDirty = true;

    // Copy the values through a reading access of our own, so that the
    // caller's access keeps its position and mapping.
    CAccess* reader = CreateAccess(am__read, src->GetChannels(), 0, first, n, mk__physical);
    if (!reader) return nullptr;
    int org = a.IsCalc() ? ds__dorg_interleaved : ds__dorg_with_abscissa;
    int coord = a.IsCalc() ? ac__world : a.GetCoordinate();
    reader->SetAbscissaCoord(coord);
    CChNbrList all;
    all.AddGroup(0, int(cl.size()) - 1);
    CAccess* writer = sub->CreateAccess(am__readwrite, all, 0, 0L, n, mk__physical);
    bool ok = writer != nullptr;
    if (ok) writer->SetAbscissaCoord(coord);
    long scanBytes = reader->GetScanBytes(org, it__double);
    long block = std::max<long>(1, long((1u << 20) / std::size_t(std::max<long>(scanBytes, 1))));
    std::vector<unsigned char> buf(std::size_t(block) * std::size_t(std::max<long>(scanBytes, 1)));
    long done = 0;
    while (ok && done < n) {
        long k = reader->GetData(std::min(block, n - done), buf.data(), org, it__double);
        if (k <= 0) {
            ok = false;
            c.SetError(reader->GetLastError());
            break;
        }
        if (writer->SetData(k, buf.data(), org, it__double) != k) {
            ok = false;
            c.SetError(writer->GetLastError());
        }
        done += k;
    }
    DeleteAccess(reader);
    c.pActive = src;
    if (!ok) return nullptr;
    sub->DeleteAccess(writer);
    return sub.release();
}

bool CDataset::SaveAs(const char* path, long expectedScans, long bufferSize)
{
    CDatasetCore& c = *m_core;
    (void)expectedScans;
    (void)bufferSize;
    if (c.fd < 0 || !path || !*path) return false;
    if (!c.FlushStream()) {
        c.SetError(CString::Formatted("TRX data set %s: samples could not be written", c.sPath.c_str()));
        return false;
    }
    CString target = path;
    trx::SDescription copy = c.desc;
    copy.bOpenForWriting = false;   // the copy is complete when it is renamed into place
    std::string header = trx::WriteHeader(copy, c.layout);
    std::uint64_t offset = trx::DataOffsetFor(header.size());
    CString dir = ".";
    int slash = target.ReverseFind('/');
    if (slash >= 0) dir = slash == 0 ? CString("/") : target.Left(slash);
    CString tmp = FileSystem::MakeTempFile(dir.c_str(), ".tessel-save-");
    if (tmp.IsEmpty()) {
        c.SetError(CString::Formatted("TRX data set %s: cannot write beside %s", c.sPath.c_str(), path));
        return false;
    }
    int tfd = ::open(tmp.c_str(), O_WRONLY | O_CLOEXEC);
    bool ok = tfd >= 0;
    std::string lead = trx::BuildLeadIn(header, offset);
    ok = ok && ::pwrite(tfd, lead.data(), lead.size(), 0) == ssize_t(lead.size());
    std::uint64_t bytes = c.AvailableScans() * c.layout.uScanBytes, from = 0;
    const std::size_t step = std::size_t(std::min<std::uint64_t>(c.nBuffer, bytes));
    unsigned char* buf = c.Chunk(step);
    while (ok && from < bytes) {
        std::size_t n = std::size_t(std::min<std::uint64_t>(step, bytes - from));
        ok = c.ReadAt(c.uDataOffset + from, buf, n) && ::pwrite(tfd, buf, n, off_t(offset + from)) == ssize_t(n);
        from += n;
    }
    ok = ok && ::fsync(tfd) == 0;
    if (tfd >= 0) ::close(tfd);
    if (ok) ok = !FileSystem::RenameFile(tmp.c_str(), path).Failed();
    if (!ok) {
        ::unlink(tmp.c_str());
        c.SetError(CString::Formatted("TRX data set %s: could not be saved as %s", c.sPath.c_str(), path));
    }
    return ok;
}

// ---------------------------------------------------------------------------
// CMark

namespace {
bool ParseSelection(const char* text, CChNbrList& out)
{
    const char* p = text;
    bool any = false;
    while (*p) {
        if (*p == ',' || *p == ' ' || *p == '\t') {
            ++p;
            continue;
        }
        char* end;
        errno = 0;
        long a = std::strtol(p, &end, 10);
        if (end == p || a < 0 || a > 65535 || errno) return false;
        long b = a;
        p = end;
        if (*p == '-') {
            ++p;
            b = std::strtol(p, &end, 10);
            if (end == p || b < a || b > 65535) return false;
            p = end;
        }
        if (*p && *p != ',' && *p != ' ' && *p != '\t') return false;
        out.AddGroup(int(a), int(b));
        any = true;
    }
    return any;
}
} // namespace

CMark::CMark(const char* text, const char* selection)
{
    CString t = text ? text : "";
    int bar = t.ReverseFind('|');
    if (bar >= 0 && !FileSystem::FileExists(t.c_str())) {
        m_sPath = t.Left(bar);
        m_bSelection = true;
        m_bValid = ParseSelection(t.Mid(bar + 1).c_str(), m_channels);
    } else {
        m_sPath = t;
    }
    if (selection) {
        m_channels.RemoveAll();
        m_bSelection = true;
        m_bValid = ParseSelection(selection, m_channels);
    }
}

CChNbrList CMark::GetChannelList() const
{
    if (m_bSelection) return m_channels;
    CChNbrList all;
    try {
        CDataset ds(m_sPath.c_str(), om__read, 0, sh__deny_write);
        all.AddGroup(0, ds.GetNbrOfChannels() - 1);
    } catch (const CDatasetException&) {
    }
    return all;
}
