#include "formats/recorder/ThreadTEACImport.h"

#include "common/OutputPolicy.h"
#include "common/PieceCopy.h"
#include "formats/recorder/RecorderJob.h"
#include "formats/recorder/RecorderText.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

using namespace RecorderResult;
using RecorderText::Atol;

// A TAFFmat header is a few dozen lines.
constexpr std::size_t kMaxHeaderBytes = 4u << 20;

class CFileDescriptor {
public:
    explicit CFileDescriptor(int fd) : m_fd(fd) {}
    ~CFileDescriptor() { if (m_fd >= 0) ::close(m_fd); }
    CFileDescriptor(const CFileDescriptor&) = delete;
    CFileDescriptor& operator=(const CFileDescriptor&) = delete;
    int Get() const { return m_fd; }

private:
    int m_fd;
};

CAbscissaList TimeAbscissa(double delta, long scans)
{
    CUnit seconds("s", 1);
    CAbscissaList list;
    list.AddTail(CAbscissa("Time", "t", seconds.GetDefaultQuantity(), seconds, 0.0, delta, scans, df__linear));
    return list;
}

std::string Slice(const std::string& s, std::size_t first, std::size_t n)
{
    return first < s.size() ? s.substr(first, n) : std::string();
}

// TIME "hh:mm:ss.ss" (seconds rounded up; any other length is midnight) and
// DATE "mm-dd-yyyy"; nothing when the month or the day is out of range.
CDateTimeEx TaffDate(const std::string& date, const std::string& time)
{
    int hour = 0, minute = 0;
    double second = 0.0;
    if (time.size() == 11) {
        hour = int(Atol(time.substr(0, 2)));
        minute = int(Atol(time.substr(3, 2)));
        second = std::ceil(RecorderText::Atof(time.substr(6)));
        if (!std::isfinite(second))
            second = 0.0;
    }
    const int month = int(Atol(Slice(date, 0, 2)));
    const int day = int(Atol(Slice(date, 3, 2)));
    const int year = int(Atol(date.size() > 4 ? date.substr(date.size() - 4) : date));
    if (month < 1 || month > 12 || day < 1 || day > 31)
        return CDateTimeEx();
    return CDateTimeEx(year, month, day, hour, minute, second);
}

// A SERIES entry "CH01:Front_FL": the name after the first blank, tab or
// colon, the title before it; the abbreviation the two characters after the
// last underscore.
void SeriesNames(const std::string& entry, CString& name, CString& title, CString& abbreviation)
{
    const std::size_t p = entry.find_first_of(" \t:");
    if (p != std::string::npos && p > 1) {
        name = entry.substr(p + 1);
        title = entry.substr(0, p);
    } else {
        name = entry.size() > 128 ? entry.substr(entry.size() - 128) : entry;
        title.Empty();
    }
    const std::size_t u = entry.rfind('_');
    abbreviation = u == std::string::npos ? entry.substr(0, 2) : entry.substr(u + 1, 2);
}

const std::string& Entry(const std::vector<std::string>& list, int i)
{
    static const std::string empty;
    return i < int(list.size()) ? list[std::size_t(i)] : empty;
}

}  // namespace

CString DeriveTEACImportOutput(const char* input)
{
    return OutputPolicy::DeriveOutputPath(input ? input : "", ".trx", OutputPolicy::EExtensionRule::ReplaceOnly,
                                          CTSSettings::bitTEACImport);
}

CThreadTEACImport::CThreadTEACImport(const char* input, long id, long user, const char* output,
                                     const int* overwrite)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_TEAC_IMPORT;
    const char* in = input ? input : "";
    m_sOutput = output ? CString(output) : DeriveTEACImportOutput(in);
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitTEACImport);
    m_sHeaderPath = in;
    OutputPolicy::SetExtension(m_sHeaderPath, ".hdr");
    m_sSetPath = OutputPolicy::GetDirectoryOfPath(in) + CTSSettings::m_sNameSETFileTEACImport;
}

CThreadTEACImport::~CThreadTEACImport() = default;

int CThreadTEACImport::Run()
{
    // Names are case-sensitive here: a header written as ".HDR" counts too.
    CString header = m_sHeaderPath;
    if (!FileSystem::FileExists(header)) {
        CString upper = m_sInput;
        OutputPolicy::SetExtension(upper, ".HDR");
        if (FileSystem::FileExists(upper))
            header = upper;
    }
    const bool ok = FileSystem::FileExists(header) ? ConvertTaffmat(header) : ConvertQuickVu();
    if (ok) {
        m_uState = TS_STATE_TEAC_IMPORT;
        m_arsProduced.Add(m_sOutput);
        return 0;
    }
    m_uState = FailedState(TS_STATE_TEAC_IMPORT);
    return -1;
}

bool CThreadTEACImport::CopySamples(CDataset& ds, int fd, std::uint64_t offset, std::uint64_t length,
                                    CCreatedOutputs& outputs)
{
    CDataStream* stream = ds.GetPtrToFile();
    bool stopped = false;
    const std::uint64_t copied =
        stream ? PieceCopy::Copy(*stream, fd, offset, length, [this] { return Interrupted(); }, stopped) : 0;
    if (stopped) {
        m_uStringID = kBytesMismatch;
        return false;
    }
    if (!stream || stream->Fail() || !stream->Flush()) {
        m_uStringID = kWriteFailed;
        m_sTextArg = m_sOutput;
        return false;
    }
    if (copied != length) {
        m_uStringID = kBytesMismatch;
        m_sTextAppend = CString::Formatted("\n%llu of %llu bytes copied from %s.", (unsigned long long)copied,
                                           (unsigned long long)length, m_sInput.c_str());
        return false;
    }
    return true;
}

bool CThreadTEACImport::Finish(std::unique_ptr<CDataset>& ds, CCreatedOutputs& outputs, unsigned resultId)
{
    try {
        ds->Close();
    } catch (const CDatasetException& e) {
        ds.reset();
        m_sTextAppend = "\n" + e.GetText();
        m_uStringID = kTrxNotClosed;
        outputs.RemoveAll();
        return false;
    }
    ds.reset();
    outputs.Keep();
    m_uStringID = resultId;
    return true;
}

bool CThreadTEACImport::ConvertTaffmat(const CString& headerPath)
{
    const CString input = m_sInput;
    const CString output = m_sOutput;

    std::size_t bufSize = 0;
    std::unique_ptr<unsigned char[]> buffer = RecorderJob::AllocateWorkBuffer(bufSize);
    if (!buffer) {
        m_uStringID = kNoMemory;
        return false;
    }
    if (OutputPolicy::PrepareOutput(*this, input, output, m_bOverwrite))
        return false;
    std::uint64_t length = 0;
    CFileDescriptor data(RecorderJob::OpenDataFile(input, length));
    if (data.Get() < 0) {
        m_uStringID = kCannotOpen;
        m_sTextArg = input;
        return false;
    }

    std::string bytes, detail;
    switch (RecorderText::ReadSmallFile(headerPath, kMaxHeaderBytes, bytes, detail)) {
    case RecorderText::EReadResult::Ok:
        break;
    case RecorderText::EReadResult::CannotOpen:
        m_uStringID = kCannotOpen;
        m_sTextArg = headerPath;
        return false;
    case RecorderText::EReadResult::TooLarge:
        m_uStringID = kHdrNotRead;
        m_sTextAppend = "\n" + CString(detail);
        return false;
    }
    STaffHeader h;
    if (unsigned rc = ReadTaffHeader(bytes.data(), bytes.size(), h, detail)) {
        m_uStringID = rc;
        if (rc == kHdrParameterMissing)
            m_sTextArg = detail;
        else
            m_sTextAppend = "\n" + headerPath + ": " + CString(detail);
        return false;
    }

    if (h.iVersion != 1) {
        m_uStringID = kTaffVersion;
        return false;
    }
    if (h.sStorageMode.find("INTERLACED") == std::string::npos) {
        m_uStringID = kStorageMode;
        return false;
    }
    if (h.iNumSeries < 1) {
        m_uStringID = kNoChannels;
        return false;
    }
    if (h.lRate == 1) {
        m_uStringID = kExternalSampling;
        return false;
    }
    // What the header must hold beyond that for a time axis and a size.
    if (h.lRate <= 0 || h.lNumSamps < 0) {
        m_uStringID = kHdrNotRead;
        m_sTextAppend = "\n" + headerPath + (h.lRate <= 0 ? ": RATE is no sampling rate" : ": NUM_SAMPS is negative");
        return false;
    }

    CSemaphoreHolder access(m_semAccess);

    bool unknownUnit = false;
    CChannelList channels;
    for (int i = 0; i < h.iNumSeries; ++i) {
        const std::string& unitText = Entry(h.vertUnits, i);
        CUnit unit;
        if (CUnit::Check(unitText.c_str(), false) == 1) {
            unit = CUnit(unitText.c_str(), 1);
        } else {
            unknownUnit = true;
            m_sTextArg = unitText;
        }
        map__dct mapping;
        mapping.m_dFactor = RecorderText::Atof(Entry(h.slopes, i));
        mapping.m_dOffset = RecorderText::Atof(Entry(h.yOffsets, i));
        CString name, title, abbreviation;
        SeriesNames(Entry(h.series, i), name, title, abbreviation);
        CChannel ch(name, abbreviation, unit.GetDefaultQuantity(), unit, it__int16, i, 1.0, 1.0, &mapping);
        ch.SetTitle(title);
        channels.AddTail(ch);
    }

    // Channels at multiples of the base rate: one scan holds series i's
    // CH_SLOT channels RATE_MULTI / RATE times, series after series.
    CChNbrList pattern;
    const bool multiRate = !h.rateMulti.empty() && !h.rateMulti[0].empty();
    if (multiRate) {
        long long b = 0, entries = 0;
        for (int i = 0; i < h.iNumSeries; ++i) {
            const std::string& slot = Entry(h.chSlots, i);
            if (slot.empty())
                continue;
            const long long s = Atol(slot);
            const long long m = Atol(Entry(h.rateMulti, i)) / h.lRate;
            if (s > 0 && m > 0) {
                entries += s * m;
                if (entries > 65536) {
                    m_uStringID = kHdrNotRead;
                    m_sTextAppend = "\n" + headerPath + ": CH_SLOT and RATE_MULTI give more than 65536 samples per scan";
                    return false;
                }
                for (long long k = 0; k < m; ++k)
                    pattern.AddGroup(int(b), int(b + s - 1));
            }
            b += s;
        }
    }

    CCreatedOutputs outputs;
    auto fail = [&](unsigned id) {
        if (id)
            m_uStringID = id;
        outputs.RemoveAll();
        return false;
    };
    CString error;
    std::unique_ptr<CDataset> ds =
        RecorderJob::CreateDataset(output, TimeAbscissa(1.0 / double(h.lRate), long(h.lNumSamps)), channels, outputs,
                                   error, 0, length);
    if (!ds) {
        m_sTextAppend = "\n" + error;
        return fail(kTrxNotCreated);
    }
    // The pattern decides the layout of the samples, so it is in place
    // before the first of them.
    if (multiRate && !ds->SpecifySamplingParameter(sm__pattern, pattern)) {
        m_sTextAppend = "\n" + headerPath + ": CH_SLOT and RATE_MULTI give no sampling pattern of these series (" +
                        ds->GetLastError() + ")";
        ds.reset();
        return fail(kHdrNotRead);
    }
    const std::uint64_t announced = std::uint64_t(h.lNumSamps) * std::uint64_t(ds->GetScanSize());
    if (length < announced) {
        m_sTextAppend = CString::Formatted("\n%s holds %llu bytes; the header announces %llu.", input.c_str(),
                                           (unsigned long long)length, (unsigned long long)announced);
        ds.reset();
        return fail(kBytesMismatch);
    }
    if (!CopySamples(*ds, data.Get(), 0, length, outputs)) {
        ds.reset();
        return fail(0);
    }

    CAbscissa a = ds->GetAbscissa(0);
    a.SetNbrOfScans(long(h.lNumSamps));
    ds->SetAbscissa(0, a);
    CDateTimeEx date = TaffDate(h.sDate, h.sTime);
    if (date.IsValid())
        ds->SetDateOfRecording(date);
    ds->SetComment(("Imported from TAFFmat (TEAC data Acquisition File Format).\r\n" + h.sComment).c_str());
    return Finish(ds, outputs, unknownUnit ? kUnitNotConverted : kSuccess);
}

bool CThreadTEACImport::ConvertQuickVu()
{
    const CString input = m_sInput;
    const CString output = m_sOutput;

    std::size_t bufSize = 0;
    std::unique_ptr<unsigned char[]> buffer = RecorderJob::AllocateWorkBuffer(bufSize);
    if (!buffer) {
        m_uStringID = kNoMemory;
        return false;
    }
    if (OutputPolicy::PrepareOutput(*this, input, output, m_bOverwrite))
        return false;
    std::uint64_t length = 0;
    CFileDescriptor data(RecorderJob::OpenDataFile(input, length));
    if (data.Get() < 0) {
        m_uStringID = kCannotOpen;
        m_sTextArg = input;
        return false;
    }

    if (length < SQuickVuHeader::kSize ||
        ::pread(data.Get(), buffer.get(), SQuickVuHeader::kSize, 0) != ssize_t(SQuickVuHeader::kSize)) {
        m_uStringID = kHeaderNotRead;
        return false;
    }
    const SQuickVuHeader h = SQuickVuHeader::Parse(buffer.get());
    if (unsigned rc = CheckQuickVuHeader(h, length)) {
        m_uStringID = rc;
        return false;
    }

    CSemaphoreHolder access(m_semAccess);

    std::size_t setBytes = 0;
    {
        CFileDescriptor set(::open(m_sSetPath, O_RDONLY | O_CLOEXEC));
        while (set.Get() >= 0 && setBytes < SQuickVuSet::kSize && setBytes < bufSize) {
            ssize_t n = ::read(set.Get(), buffer.get() + setBytes, std::min(SQuickVuSet::kSize, bufSize) - setBytes);
            if (n <= 0)
                break;
            setBytes += std::size_t(n);
        }
    }
    const SQuickVuSet set = ParseQuickVuSet(buffer.get(), setBytes, h);

    const int used = h.UsedSlots();
    bool unknownUnit = false;
    CChannelList channels;
    for (int s = 0; s < SQuickVuHeader::kSlots; ++s) {
        const int number = h.channel[std::size_t(s)];
        if (!number)
            continue;
        const double volts = QuickVuVoltsPerCount(h.range[std::size_t(s)]);
        map__dct mapping;
        CUnit unit;
        CString name, abbreviation;
        if (set.bValid) {
            const SQuickVuSetRecord& r = set.slots[std::size_t(s)];
            if (CUnit::Check(r.sUnit.c_str(), false) == 1) {
                unit = CUnit(r.sUnit.c_str(), 1);
            } else {
                unknownUnit = true;
                m_sTextArg = r.sUnit;
            }
            mapping.m_dFactor = double(r.fFactor) * volts;
            mapping.m_dOffset = double(r.fOffset);
            name = r.sName;
            abbreviation = r.sName.substr(0, 2);
        } else {
            unit = CUnit("V", 1);
            mapping.m_dFactor = volts;
            mapping.m_dOffset = 0.0;
            name = CString::Formatted("Channel %d", number);
            abbreviation = CString::Formatted("%d", number);
        }
        CChannel ch(name, abbreviation, unit.GetDefaultQuantity(), unit, it__int16, number, 1.0, 1.0, &mapping);
        ch.SetCalibration(RecorderJob::Calibration(mapping.m_dFactor, unit.GetReferenceValue()));
        ch.SetDeltaHeadroom(0.0f);
        channels.AddTail(ch);
    }
    const long scans = long(h.uTotalSamples / std::uint32_t(used));

    CCreatedOutputs outputs;
    CString error;
    std::unique_ptr<CDataset> ds =
        RecorderJob::CreateDataset(output, TimeAbscissa(1.0 / double(h.fRate), scans), channels, outputs, error,
                                   SQuickVuHeader::kSize, 2 * std::uint64_t(h.uTotalSamples));
    if (!ds) {
        m_sTextAppend = "\n" + error;
        m_uStringID = kTrxNotCreated;
        return false;
    }
    if (!CopySamples(*ds, data.Get(), SQuickVuHeader::kSize, 2 * std::uint64_t(h.uTotalSamples), outputs)) {
        ds.reset();
        outputs.RemoveAll();
        return false;
    }
    CAbscissa a = ds->GetAbscissa(0);
    a.SetNbrOfScans(scans);
    ds->SetAbscissa(0, a);
    if (h.uMonth >= 1 && h.uMonth <= 12 && h.uDay >= 1 && h.uDay <= 31) {
        CDateTimeEx date(h.Year(), h.uMonth, h.uDay, h.uHour, h.uMinute, h.uSecond);
        if (date.IsValid())
            ds->SetDateOfRecording(date);
    }
    ds->SetComment(("Imported from QuickVu-RD/Windows data file format.\r\n" + h.sComment).c_str());
    const unsigned result = !set.bValid ? kVoltageValues : unknownUnit ? kUnitNotConverted : kSuccess;
    return Finish(ds, outputs, result);
}
