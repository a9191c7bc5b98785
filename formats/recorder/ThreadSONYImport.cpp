#include "formats/recorder/ThreadSONYImport.h"

#include "common/OutputPolicy.h"
#include "common/PieceCopy.h"
#include "formats/recorder/RecorderJob.h"
#include "formats/recorder/RecorderText.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"
#include "settings/TSSettings.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace {

// A LOG is a page of text; a file many times that size is something else.
constexpr std::size_t kMaxLogBytes = 1u << 20;

// Channels whose unit the LOG gives in no form the data sets know: stored
// as "%" with this factor.
constexpr double kUnknownUnitFactor = 1.0030518509475996;

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

}  // namespace

CString DeriveSONYImportOutput(const char* input)
{
    return OutputPolicy::DeriveOutputPath(input ? input : "", ".dat", OutputPolicy::EExtensionRule::ReplaceOnly,
                                          CTSSettings::bitSONYImport);
}

CThreadSONYImport::CThreadSONYImport(const char* input, long id, long user, const char* output,
                                     const int* overwrite)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_SONY_IMPORT;
    m_sOutput = output ? CString(output) : DeriveSONYImportOutput(input);
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitSONYImport);
}

CThreadSONYImport::~CThreadSONYImport() = default;

int CThreadSONYImport::Run()
{
    if (Convert()) {
        m_uState = TS_STATE_SONY_IMPORT;
        m_arsProduced.Add(m_sOutput);
        return 0;
    }
    m_uState = FailedState(TS_STATE_SONY_IMPORT);
    return -1;
}

bool CThreadSONYImport::ReadLog(const char* input, SSonyLog& log, std::string& failure)
{
    const std::string path = SonyLogPath(input);
    std::string bytes;
    if (RecorderText::ReadSmallFile(path.c_str(), kMaxLogBytes, bytes, failure) != RecorderText::EReadResult::Ok)
        return false;
    if (ReadSonyLog(bytes.data(), bytes.size(), log, failure))
        return true;
    failure = path + ": " + failure;
    return false;
}

bool CThreadSONYImport::Convert()
{
    using namespace RecorderResult;
    const CString input = m_sInput;
    const CString output = m_sOutput;

    std::size_t bufSize = 0;
    std::unique_ptr<unsigned char[]> buffer = RecorderJob::AllocateWorkBuffer(bufSize);
    if (!buffer) {
        m_uStringID = kNoMemory;
        return false;
    }
    // An output that exists and may not be replaced (8), or that is the
    // input itself (111), is never touched.
    if (OutputPolicy::PrepareOutput(*this, input, output, m_bOverwrite))
        return false;

    SSonyLog log;
    std::string why;
    if (!ReadLog(input, log, why)) {
        m_uStringID = kLogNotRead;
        m_sTextAppend = "\n" + CString(why);
        return false;
    }
    // A sampling interval that is no positive number gives no time axis, a
    // negative count no data.
    const char* badValue = !(log.dInterval > 0.0) || !std::isfinite(log.dInterval) ? "FILE_INTVL_CH"
                           : log.lSamplesPerChannel < 0                          ? "VOLUME_CH"
                                                                                 : nullptr;
    if (badValue) {
        m_uStringID = kLogNotRead;
        m_sTextAppend = "\n" + CString(SonyLogPath(input)) + ": " + badValue + " is not a valid value";
        return false;
    }

    std::uint64_t length = 0;
    CFileDescriptor data(RecorderJob::OpenDataFile(input, length));
    if (data.Get() < 0) {
        m_uStringID = kCannotOpen;
        m_sTextArg = input;
        return false;
    }

    CSemaphoreHolder access(m_semAccess);

    CUnit seconds("s", 1);
    CAbscissaList abscissas;
    abscissas.AddTail(CAbscissa("Time", "t", seconds.GetDefaultQuantity(), seconds, 0.0, log.dInterval,
                                long(log.lSamplesPerChannel < 0 ? 0 : log.lSamplesPerChannel), df__linear));

    bool unknownUnits = false;
    CChannelList channels;
    for (const SSonyChannel& c : log.channels) {
        map__dct mapping;
        CUnit unit;
        if (CUnit::Check(c.sUnit.c_str(), false) == 1) {
            unit = CUnit(c.sUnit.c_str(), 1);
            ParseSonyMapping(c.sMapping, mapping.m_dFactor, mapping.m_dOffset);
        } else {
            unit = CUnit("%", 1);
            mapping.m_dFactor = kUnknownUnitFactor;
            mapping.m_dOffset = 0.0;
            unknownUnits = true;
        }
        const CString abbreviation = c.sName.empty() ? CString() : CString(c.sName.substr(0, 1));
        CChannel ch(c.sName.c_str(), abbreviation, unit.GetDefaultQuantity(), unit, it__int16, c.iNumber + 1, 1.0,
                    1.0, &mapping);
        ch.SetCalibration(RecorderJob::Calibration(mapping.m_dFactor, 1.0));
        ch.SetDeltaHeadroom(0.0f);
        channels.AddTail(ch);
    }

    CCreatedOutputs outputs;
    auto fail = [&](unsigned id) {
        m_uStringID = id;
        outputs.RemoveAll();
        return false;
    };
    // The samples as they are: 16-bit, interleaved, in the file's byte order,
    // file to file in the kernel where it can.
    const std::uint64_t expected = std::uint64_t(log.channels.size()) * std::uint64_t(log.lSamplesPerChannel) * 2;
    CString error;
    std::unique_ptr<CDataset> ds = RecorderJob::CreateDataset(output, abscissas, channels, outputs, error, 0, expected);
    if (!ds) {
        m_sTextAppend = "\n" + error;
        return fail(kTrxNotCreated);
    }

    CDataStream* stream = ds->GetPtrToFile();
    bool stopped = false;
    const std::uint64_t copied =
        stream ? PieceCopy::Copy(*stream, data.Get(), 0, expected, [this] { return Interrupted(); }, stopped) : 0;
    if (stopped) {
        ds.reset();
        return fail(kBytesMismatch);
    }
    if (!stream || stream->Fail() || !stream->Flush()) {
        ds.reset();
        m_sTextArg = output;
        return fail(kWriteFailed);
    }
    if (copied != expected) {
        ds.reset();
        m_sTextAppend = CString::Formatted("\n%s holds %llu bytes of samples; the LOG announces %llu.", input.c_str(),
                                           (unsigned long long)copied, (unsigned long long)expected);
        return fail(kBytesMismatch);
    }

    CAbscissa a = ds->GetAbscissa(0);
    a.SetNbrOfScans(long(log.lSamplesPerChannel));
    ds->SetAbscissa(0, a);
    ds->SetComment("Imported from SONY MK II/III data file format.\r\n");
    try {
        ds->Close();
    } catch (const CDatasetException& e) {
        ds.reset();
        m_sTextAppend = "\n" + e.GetText();
        return fail(kTrxNotClosed);
    }
    ds.reset();
    outputs.Keep();
    m_uStringID = unknownUnits ? kUnknownUnitsInLog : kSuccess;
    return true;
}
