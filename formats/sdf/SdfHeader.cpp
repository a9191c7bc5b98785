#include "formats/sdf/SdfHeader.h"

#include "hostlibs/dataset/Unit.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned kInvalidHeader = 30;
constexpr unsigned kRevision = 31;
constexpr unsigned kRecordType = 32;
constexpr unsigned kSwapSize = 37;
constexpr unsigned kTooManyHeaders = 43;
constexpr unsigned kScanStruct = 45;
constexpr unsigned kScanBig = 52;

const char* const kSystemError = "\nSystem error produced by accessing the SDF file:\n";

[[noreturn]] void Throw(unsigned code, const CString& append = CString())
{
    CSdfError e;
    e.uCode = code;
    e.sAppend = append;
    throw e;
}

// Reads one record at an absolute offset; a short read or a system failure is
// an I/O failure of the header reading (30 with the description appended).
template <class T>
void ReadRecord(ISdfInput& in, long long offset, T& record, std::size_t bytes = sizeof(T))
{
    std::memset(&record, 0, sizeof record);
    if (offset < 0)
        Throw(kInvalidHeader, CString(kSystemError) + CString::Formatted("record offset %lld is negative", offset));
    long long got = in.ReadAt(std::uint64_t(offset), &record, bytes);
    if (got < 0)
        Throw(kInvalidHeader, CString(kSystemError) + in.Error());
    if (std::size_t(got) != bytes)
        Throw(kInvalidHeader, CString(kSystemError) +
                                  CString::Formatted("the file ends inside the %zu-byte record at offset %lld",
                                                     bytes, offset));
}

template <class T>
void Append(std::vector<unsigned char>& out, T record, int expected, unsigned& code)
{
    if (Sdf::Swap(record) != expected)
        code = kSwapSize;
    const auto* p = reinterpret_cast<const unsigned char*>(&record);
    out.insert(out.end(), p, p + sizeof record);
}

}  // namespace

// ---------------------------------------------------------------- inputs

long long CSdfMemoryInput::ReadAt(std::uint64_t offset, void* dst, std::size_t n)
{
    if (offset >= m_n)
        return 0;
    std::size_t k = std::min<std::uint64_t>(n, m_n - offset);
    std::memcpy(dst, m_p + offset, k);
    return (long long)k;
}

CSdfFileInput::CSdfFileInput(int fd) : m_fd(fd)
{
    struct stat st {};
    if (fstat(fd, &st) == 0 && st.st_size > 0)
        m_size = std::uint64_t(st.st_size);
}

long long CSdfFileInput::ReadAt(std::uint64_t offset, void* dst, std::size_t n)
{
    auto* p = static_cast<unsigned char*>(dst);
    std::size_t done = 0;
    while (done < n) {
        ssize_t k = pread(m_fd, p + done, n - done, off_t(offset + done));
        if (k < 0) {
            if (errno == EINTR)
                continue;
            m_sError = std::strerror(errno);
            return -1;
        }
        if (k == 0)
            break;
        done += std::size_t(k);
    }
    return (long long)done;
}

// ---------------------------------------------------------------- texts

namespace Sdf {

CString FieldText(const char* field, std::size_t width)
{
    std::size_t n = 0;
    while (n < width && field[n] != '\0')
        ++n;
    return CString(std::string(field, n));
}

void SetFieldText(char* field, std::size_t width, const char* text)
{
    std::memset(field, 0, width);
    if (text)
        std::memcpy(field, text, std::min(width, std::strlen(text)));
}

}  // namespace Sdf

// ---------------------------------------------------------------- reading

void CSdfHeaderSet::Read(ISdfInput& in)
{
    unsigned char id[2] = {0xFF, 0xFF};
    if (in.ReadAt(0, id, 2) != 2 || id[0] != 'B' || id[1] != 0)
        Throw(kInvalidHeader);

    ReadRecord(in, 2, file);
    Sdf::Swap(file);
    if (file.numDataHdr > kMaxDataHdr || file.numVectorHdr > kMaxVectorHdr || file.numChannelHdr > kMaxChannelHdr ||
        file.numDataHdr < 0 || file.numVectorHdr < 0 || file.numChannelHdr < 0)
        Throw(kTooManyHeaders);

    data.assign(std::size_t(file.numDataHdr), SDF_DATA_HDR{});
    vectors.assign(std::size_t(file.numVectorHdr), SDF_VECTOR_HDR{});
    channels.assign(std::size_t(file.numChannelHdr), SDF_CHANNEL_HDR{});
    uniques.clear();

    ReadRecord(in, (long long)file.recordSize + 2, meas);
    Sdf::Swap(meas);

    // Records of one kind lie back to back, each record's size leading to the next.
    auto readRun = [&](auto& list, long long offset) {
        for (auto& r : list) {
            ReadRecord(in, offset, r);
            Sdf::Swap(r);
            offset += r.recordSize;
        }
    };
    readRun(data, file.offsetDataHdr);
    readRun(vectors, file.offsetVectorHdr);
    readRun(channels, file.offsetChannelHdr);

    if (file.numUnique > 0 && file.numUnique < kMaxUnique) {
        SDF_UNIQUE u;
        ReadRecord(in, file.offsetUnique, u);
        Sdf::Swap(u);
        uniques.push_back(u);
        if (u.recordType == SDF_UNIQUE_TYPE && u.recordSize == 10) {
            for (int i = 1; i < file.numUnique; ++i) {
                ReadRecord(in, (long long)file.offsetUnique + 10LL * i, u);
                Sdf::Swap(u);
                uniques.push_back(u);
            }
        }
    }

    unsigned deferred = 0;
    bScanStruct = file.numScanStruct != 0;
    const bool bScanBigAnnounced = file.revision >= 3 && file.numScanBig != 0;
    llScanTable = -1;
    if (bScanStruct) {
        ReadRecord(in, file.offsetScanStruct, scanStruct);
        Sdf::Swap(scanStruct);
        if (scanStruct.recordSize <= 36) {
            if (!bScanBigAnnounced)
                deferred = kScanStruct;
        } else {
            llScanTable = (long long)file.offsetScanStruct + 36;
        }
    }

    bScanBig = bScanBigAnnounced;
    llScanValues = -1;
    if (bScanBig) {
        ReadRecord(in, file.offsetScanBig, scanBig);
        Sdf::Swap(scanBig);
        if (scanBig.recordType == SDF_SCAN_VAR_TYPE) {
            ReadRecord(in, file.offsetScanBig, scanVar);
            Sdf::Swap(scanVar);
            if (scanVar.recordSize > 54)
                llScanValues = (long long)file.offsetScanBig + 54;
        } else if (scanBig.recordType != SDF_SCAN_BIG_TYPE && !deferred) {
            deferred = kScanBig;
        }
    }
    // A scan-var record right behind a scan-big record names the variable
    // of the scans and holds its value per scan (the second abscissa). It is
    // optional: a missing or foreign record there leaves the scans as they are.
    bRowValues = false;
    llRowValues = -1;
    rowVar = SDF_SCAN_VAR{};
    if (bScanBig && scanBig.recordType == SDF_SCAN_BIG_TYPE && file.numScanBig >= 2 && scanBig.recordSize >= 20) {
        const long long at = (long long)file.offsetScanBig + scanBig.recordSize;
        SDF_SCAN_VAR v{};
        if (in.ReadAt(std::uint64_t(at), &v, sizeof v) == (long long)sizeof v) {
            Sdf::Swap(v);
            if (v.recordType == SDF_SCAN_VAR_TYPE && v.recordSize > 54) {
                rowVar = v;
                bRowValues = true;
                llRowValues = at + 54;
            }
        }
    }

    bComment = file.revision >= 3 && file.applic == 27 && file.numComment != 0;
    sComment.Empty();
    if (bComment) {
        ReadRecord(in, file.offsetComment, comment);
        Sdf::Swap(comment);
        // The text is what the record holds behind its text offset, up to a zero byte.
        long long length = (long long)comment.recordSize - comment.textOffset;
        long long at = (long long)file.offsetComment + comment.textOffset;
        if (length > 0 && at >= 0 && std::uint64_t(at) < in.Size()) {
            length = std::min<long long>(length, (long long)(in.Size() - std::uint64_t(at)));
            std::string text(std::size_t(length), '\0');
            long long got = in.ReadAt(std::uint64_t(at), text.data(), text.size());
            if (got > 0) {
                text.resize(std::size_t(got));
                text.resize(std::strlen(text.c_str()));
                sComment = CString(text);
            }
        }
    }

    bXData = file.numXData != 0;
    if (bXData) {
        ReadRecord(in, file.offsetXData, xData);
        Sdf::Swap(xData);
    }
    ReadRecord(in, file.offsetYData, yData);
    Sdf::Swap(yData);

    if (file.revision < 2)
        Throw(kRevision);

    BuildVectorTable();
    llXStart = (long long)file.offsetXData + 6;
    llYStart = (long long)file.offsetYData + 6;

    for (auto& d : data) {
        if (file.revision == 2) {
            d.numPoints = d.numPoints16;
            d.lastValidIndex = d.lastValidIndex16;
        }
        // A negative count stays negative, for the plan to refuse, without
        // overflowing at the smallest one.
        if (d.lastValidIndex >= d.numPoints || d.lastValidIndex == 0)
            d.lastValidIndex = d.numPoints > INT32_MIN ? d.numPoints - 1 : d.numPoints;
    }

    bool typesOk = file.recordType == SDF_FILE_HDR_TYPE && meas.recordType == SDF_MEAS_HDR_TYPE;
    for (const auto& r : data) typesOk = typesOk && r.recordType == SDF_DATA_HDR_TYPE;
    for (const auto& r : vectors) typesOk = typesOk && r.recordType == SDF_VECTOR_HDR_TYPE;
    for (const auto& r : channels) typesOk = typesOk && r.recordType == SDF_CHANNEL_HDR_TYPE;
    for (const auto& r : uniques) typesOk = typesOk && r.recordType == SDF_UNIQUE_TYPE;
    if (!typesOk)
        Throw(kRecordType);
    if (bScanStruct && scanStruct.recordType != SDF_SCAN_STRUCT_TYPE)
        Throw(kScanStruct);
    if ((bXData && xData.recordType != SDF_X_DATA_TYPE) || yData.recordType != SDF_Y_DATA_TYPE)
        Throw(kRecordType);
    if (bScanBig && scanBig.recordType != SDF_SCAN_BIG_TYPE && scanBig.recordType != SDF_SCAN_VAR_TYPE)
        Throw(kRecordType);
    if (deferred)
        Throw(deferred);
}

void CSdfHeaderSet::BuildVectorTable()
{
    vectorTable.clear();
    const int nv = int(vectors.size());
    if (nv == 0) {
        vectorTable.push_back(SSdfVectorEntry{});
        return;
    }
    // A data header's vectors run from its first vector record up to the
    // next data header's first vector record (or the last vector).
    std::vector<int> firsts;
    for (const auto& d : data)
        if (d.firstVectorRecord >= 0 && d.firstVectorRecord < nv)
            firsts.push_back(d.firstVectorRecord);
    std::sort(firsts.begin(), firsts.end());
    firsts.erase(std::unique(firsts.begin(), firsts.end()), firsts.end());
    for (int v = 0; v < nv; ++v) {
        SSdfVectorEntry e;
        e.aChannel[0] = vectors[std::size_t(v)].channelRecord[0];
        e.aChannel[1] = vectors[std::size_t(v)].channelRecord[1];
        e.aPower[0] = vectors[std::size_t(v)].powerOfChannel[0];
        e.aPower[1] = vectors[std::size_t(v)].powerOfChannel[1];
        // A cross vector whose first channel is missing stands for its second channel alone.
        if (e.aChannel[0] == -1 && e.aChannel[1] != -1) {
            std::swap(e.aChannel[0], e.aChannel[1]);
            e.aChannel[1] = -1;
        }
        auto it = std::upper_bound(firsts.begin(), firsts.end(), v);
        int first = it == firsts.begin() ? 0 : *(it - 1);
        int next = it == firsts.end() ? nv : *it;
        e.iVectorsOfDataHdr = next - first;
        e.iDataHdr = 0;
        for (std::size_t d = 0; d < data.size(); ++d)
            if (data[d].firstVectorRecord == first) {
                e.iDataHdr = int(d);
                break;
            }
        vectorTable.push_back(e);
    }
}

// ---------------------------------------------------------------- writing

std::vector<unsigned char> CSdfHeaderSet::Serialize(unsigned& uCode) const
{
    uCode = 0;
    std::vector<unsigned char> out{'B', 0};
    Append(out, file, 80, uCode);
    Append(out, meas, 156, uCode);
    for (const auto& r : data) Append(out, r, 148, uCode);
    for (const auto& r : vectors) Append(out, r, 18, uCode);
    for (const auto& r : channels) Append(out, r, 212, uCode);
    for (const auto& r : uniques) Append(out, r, 10, uCode);
    if (file.numScanBig != 0) {
        Append(out, scanBig, 20, uCode);
        Append(out, scanVar, 54, uCode);
    }
    return out;
}

int Sdf::DomainOf(const CQuantity& q)
{
    for (int d : {sdf__x_frequency, sdf__x_time, sdf__x_rpm, sdf__x_order, sdf__x_channel})
        if (CQuantity::SdfXAxis2Trx(d) == q)
            return d;
    return sdf__x_unknown;
}
