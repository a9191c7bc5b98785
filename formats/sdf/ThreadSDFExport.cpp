#include "formats/sdf/ThreadSDFExport.h"

#include "formats/sdf/SdfJob.h"

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "common/WriteBehind.h"
#include "hostlibs/blocks/Drains.h"
#include "hostlibs/blocks/Resample.h"
#include "hostlibs/blocks/TrxSource.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"
#include "speed/TSSpeedDataManager.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <unistd.h>

namespace {

constexpr unsigned kSuccess = 2;
constexpr unsigned kConversionFailed = 3;
constexpr unsigned kNotOpened = 10;
constexpr unsigned kWriteFailed = 11;
constexpr unsigned kNotRead = 15;
constexpr unsigned kNoChannels = 17;
constexpr unsigned kNotTimeData = 21;
constexpr unsigned kSwapSize = 37;
constexpr unsigned kHeaderAlloc = 39;
constexpr unsigned kNoSdfType = 40;
constexpr unsigned kUnitNotConverted = 44;
constexpr unsigned kOtherRates = 53;
constexpr unsigned kReadFailed = 19;
constexpr unsigned kSpeedFailed = 108;

using Sdf::Throw;

struct SNodeDeleter {
    void operator()(CNetNode* node) const
    {
        if (node)
            node->Destroy(true);
    }
};
template <class T>
using NodePtr = std::unique_ptr<T, SNodeDeleter>;

// How the values of one TRX channel type go into the file: the SDF value
// type, whether the stored values move unchanged (integers, with the mapping
// in int2engrUnit and channelOffset) or as physical values (floats), and the
// transfer type of the reading.
struct SExportType {
    int iSdf = 0;
    bool bComplex = false;
    bool bRaw = false;
    int iTransfer = it__none;
};

SExportType ExportType(int implType)
{
    switch (implType) {
    case it__int16: return {it__sdf_short, false, true, it__int16};
    case it__int8: case it__uint16: case it__int24: case it__uint24: case it__int32:
        // Narrower and 24-bit integers fit 32-bit integers unchanged.
        return {it__sdf_long, false, true, it__int32};
    case it__uint32: return {it__sdf_double, false, false, it__double};
    case it__float: return {it__sdf_float, false, false, it__float};
    case it__double: return {it__sdf_double, false, false, it__double};
    case it__cint16: return {it__sdf_short, true, true, it__cint16};
    case it__cint32: return {it__sdf_long, true, true, it__cint32};
    case it__cfloat: return {it__sdf_float, true, false, it__cfloat};
    case it__cdouble: return {it__sdf_double, true, false, it__cdouble};
    default: return {};
    }
}

bool WriteAt(int fd, long long offset, const void* data, std::size_t n)
{
    return FileSystem::WriteAt(fd, std::uint64_t(offset), data, n);
}

std::int16_t Clamp16(long long v) { return std::int16_t(std::clamp<long long>(v, -32768, 32767)); }

}  // namespace

struct CThreadSDFExport::SSource {
    std::unique_ptr<CDataset> ds;
    CChNbrList channels;
    long long llScans = 0;         // all scans: points × rows
    long long llPoints = 0;        // scans of the first abscissa, one SDF trace
    long long llRows = 1;          // scans of the second abscissa, SDF scans
    bool bTime = false;
    CString sPath;
};

// Channels of one source that share one data header: equal quantity and
// equal export type, side by side in the Y data.
struct CThreadSDFExport::SRun {
    int iSource = 0;
    CChNbrList channels;
    SExportType type;
    int iValueBytes = 0;
    long long llYStart = 0;        // file position of the run's first trace
    long long llXStart = -1;       // file position of the source's abscissa values, -1: calculated
    int iXSdfType = 0;
};

CThreadSDFExport::CThreadSDFExport(const char* input, long id, long user, const char* output, const int* overwrite,
                                   const int* highRate)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_SDF_EXPORT;
    m_sOutput = output ? CString(output)
                       : OutputPolicy::DeriveOutputPath(input ? input : "", ".SDF",
                                                        OutputPolicy::EExtensionRule::AppendWhenMissing,
                                                        CTSSettings::bitSDFExport);
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitSDFExport);
    m_bHighRate = highRate ? *highRate : CTSSettings::m_bHighSamplingRate4RefQuantSDFExport;
}

CThreadSDFExport::~CThreadSDFExport() = default;

int CThreadSDFExport::Run()
{
    ReportProgress(0.0f);
    const auto cleanup = [this] {
        m_sources.clear();
        for (const CString& t : m_arsTemporary)
            FileSystem::RemoveFile(t);
    };
    if (!Sdf::RunConversion(*this, m_created, kNotRead, kHeaderAlloc, [this] { Convert(); }, cleanup))
        return -1;
    m_arsProduced.Add(m_sOutput);
    ReportProgress(1.0f);
    return 0;
}

void CThreadSDFExport::Convert()
{
    if (OutputPolicy::PrepareOutput(*this, m_sInput, m_sOutput, m_bOverwrite))
        throw CSdfError{m_uStringID, m_sTextArg, m_sTextAppend};

    auto input = std::make_unique<SSource>();
    try {
        input->ds = std::make_unique<CDataset>(m_sInput, om__read_complete, 32768, sh__deny_write);
    } catch (const CDatasetException& e) {
        Throw(kNotRead, CString(), "\n" + e.GetText());
    }
    input->sPath = m_sInput;
    CDataset& ds = *input->ds;
    if (ds.GetKind() != dk__time)
        Throw(kNotTimeData);
    input->channels.AddGroup(0, ds.GetNbrOfChannels() - 1);
    ChannelHelpers::RemovePulseChannels(ds, input->channels);
    if (input->channels.IsEmpty())
        Throw(kNoChannels);
    bool otherRates = false;
    if (ds.GetNbrOfAbscissas() == 1)
        otherRates = ChannelHelpers::RemoveChannelsOfOtherRate(ds, input->channels);
    input->bTime = true;
    m_sources.push_back(std::move(input));

    FileSystem::CFile out;
    if (!out.CreateNew(m_sOutput, FileSystem::EShare::None))
        Throw(kNotOpened, m_sOutput);
    m_created.Add(m_sOutput);

    AddSpeedSources();
    BuildHeaders();
    out.Reserve(std::uint64_t(m_llFileEnd));
    {
        CSemaphoreHolder access(m_semAccess);
        WriteBody(out.Handle());
        unsigned code = 0;
        const std::vector<unsigned char> headers = m_h.Serialize(code);
        if (!WriteAt(out.Handle(), 0, headers.data(), headers.size()))
            Throw(kWriteFailed, m_sOutput);
        if (code)
            Throw(kSwapSize);
    }
    out.Close();

    m_uStringID = kSuccess;
    if (m_bUnitWarning) {
        m_uStringID = kUnitNotConverted;
        m_sTextArg = m_sUnitWarning;
    } else if (otherRates) {
        m_uStringID = kOtherRates;
    }
}

void CThreadSDFExport::AddSpeedSources()
{
    CDataset& ds = *m_sources.front()->ds;
    const double rate = ds.GetSamplingRate(m_sources.front()->channels.GetAt(0));
    for (int i = 0; i < ds.GetNbrOfSubChannels(); ++i) {
        const CSubChannel sub = ds.GetSubChannel(i);
        if (sub.GetType() != sc__pulse)
            continue;
        if (Interrupted())
            Throw(kConversionFailed);
        CTSSpeedDataManager manager(m_sInput, sub, -1);
        CString ref;
        if (m_bHighRate)
            ref = manager.GetSCFilename() + ".fast";
        if (!manager.EvaluateRefFromPulses(ref, false))
            Throw(kSpeedFailed);
        if (m_bHighRate) {
            // The speed curve at the input's sampling rate, in place of the evaluated one.
            const CString temp = ref + ".tmp";
            m_arsTemporary.Add(temp);
            NodePtr<CSPBTrxSourceTimeData> source(CSPBTrxSourceTimeData::CreateObject());
            NodePtr<CSPBResample> resample(CSPBResample::CreateObject());
            NodePtr<CSPBTrxDrain> drain(CSPBTrxDrain::CreateObject(temp));
            if (!source->Open(ref) || !source->SetPulseEvaluation(1) ||
                !resample->SetParameters(false, rate, 2, 16))
                Throw(kSpeedFailed);
            source->Output(0)->ConnectInput(resample->Input(0));
            resample->Output(0)->ConnectInput(drain->Input(0));
            bool ok = drain->Initialize();
            while (ok && !drain->IsFinished())
                if (!drain->DoOneStepOfProcessing() || Interrupted())
                    ok = false;
            ok = drain->EndRun() && ok && !drain->HasFailed() && drain->IsFinished();
            source->Close();
            if (!ok || FileSystem::RenameFile(temp, ref).Failed())
                Throw(kSpeedFailed);
        }
        auto speed = std::make_unique<SSource>();
        try {
            speed->ds = std::make_unique<CDataset>(ref, om__read_complete, 32768, sh__deny_write);
        } catch (const CDatasetException& e) {
            Throw(kSpeedFailed, CString(), "\n" + e.GetText());
        }
        speed->sPath = ref;
        speed->channels.AddGroup(0, speed->ds->GetNbrOfChannels() - 1);
        if (speed->channels.IsEmpty())
            Throw(kNoChannels);
        speed->bTime = speed->ds->GetKind() == dk__time;
        m_sources.push_back(std::move(speed));
    }
}

void CThreadSDFExport::BuildHeaders()
{
    CDataset& input = *m_sources.front()->ds;
    m_runs.clear();
    int nChannels = 0, nUnique = 0;
    for (int s = 0; s < int(m_sources.size()); ++s) {
        SSource& src = *m_sources[std::size_t(s)];
        CAccess* probe = src.ds->CreateAccess(am__read, src.channels, 0, 0L, -1L, mk__raw);
        if (!probe)
            Throw(kReadFailed);
        src.llScans = probe->GetNbrOfScans();
        src.ds->DeleteAccess(probe);
        src.llPoints = src.llScans;
        src.llRows = 1;
        // Only the data set itself may carry a second abscissa: its rows become
        // the scans of the file's one scan-big record.
        if (s == 0 && src.ds->GetNbrOfAbscissas() == 2) {
            src.llRows = src.ds->GetAbscissa(1).GetNbrOfScans();
            src.llPoints = src.llRows > 0 ? src.llScans / src.llRows : 0;
            if (src.llRows < 1 || src.llPoints * src.llRows != src.llScans)
                Throw(kReadFailed);
        }
        for (int k = 0; k < src.channels.GetCount(); ++k) {
            const CChannel ch = src.ds->GetChannel(src.channels.GetAt(k));
            const SExportType t = ExportType(ch.GetImplType());
            if (t.iSdf == 0)
                Throw(kNoSdfType, CImplType::GetName(ch.GetImplType()));
            const bool split = m_runs.empty() || m_runs.back().iSource != s ||
                               m_runs.back().type.iSdf != t.iSdf || m_runs.back().type.bComplex != t.bComplex ||
                               m_runs.back().type.bRaw != t.bRaw ||
                               src.ds->GetChannel(m_runs.back().channels.GetAt(0)).GetQuantity() != ch.GetQuantity();
            if (split) {
                SRun run;
                run.iSource = s;
                run.type = t;
                run.iValueBytes = CImplType::GetSize(CImplType::Sdf2Trx(t.iSdf, t.bComplex));
                m_runs.push_back(run);
            }
            m_runs.back().channels.Add(src.channels.GetAt(k));
            ++nChannels;
            if (src.bTime)
                ++nUnique;
        }
    }
    if (m_runs.size() > std::size_t(CSdfHeaderSet::kMaxDataHdr) || nChannels > CSdfHeaderSet::kMaxChannelHdr)
        Throw(kHeaderAlloc);

    // Offsets in writing order.
    const int D = int(m_runs.size());
    long long pos = 2 + 80 + 156;
    const long long offData = pos;
    pos += 148LL * D;
    const long long offVector = nChannels ? pos : -1;
    pos += 18LL * nChannels;
    const long long offChannel = nChannels ? pos : -1;
    pos += 212LL * nChannels;
    const long long offUnique = nUnique ? pos : -1;
    pos += 10LL * nUnique;
    // A second abscissa: a scan-big record with the number of rows and,
    // behind it, a scan-var record with the value of every row (f64).
    const SSource& first = *m_sources.front();
    const bool rows = first.llRows > 1 || first.ds->GetNbrOfAbscissas() == 2;
    const long long offScanBig = rows ? pos : -1;
    if (rows)
        pos += 20 + 54 + 8LL * first.llRows;
    const CString comment = input.GetComment();
    const long long offComment = comment.IsEmpty() ? -1 : pos;
    if (!comment.IsEmpty())
        pos += 24 + comment.GetLength() + 1;

    // Abscissa values of sources that are not equidistant, one after another in one X record.
    long long offX = -1, xBytes = 0;
    std::vector<long long> xStart(m_sources.size(), -1);
    std::vector<int> xType(m_sources.size(), 0);
    for (std::size_t s = 0; s < m_sources.size(); ++s) {
        const CAbscissa a = m_sources[s]->ds->GetAbscissa(0);
        if (a.IsCalc())
            continue;
        const int t = CImplType::GetTrx2Sdf(a.GetImplType());
        if (t == 0 || CImplType::IsComplex(a.GetImplType()))
            Throw(kNoSdfType, CImplType::GetName(a.GetImplType()));
        if (offX < 0)
            offX = pos;
        xStart[s] = offX + 6 + xBytes;
        xType[s] = t;
        xBytes += m_sources[s]->llPoints * CImplType::GetSize(CImplType::Sdf2Trx(t, false));
    }
    if (offX >= 0)
        pos = offX + 6 + xBytes;
    const long long offY = pos;
    long long y = offY + 6;
    for (SRun& run : m_runs) {
        run.llYStart = y;
        run.llXStart = xStart[std::size_t(run.iSource)];
        run.iXSdfType = xType[std::size_t(run.iSource)];
        y += (long long)run.iValueBytes * m_sources[std::size_t(run.iSource)]->llScans * run.channels.GetCount();
    }
    const long long end = y;
    m_llFileEnd = end;
    if (end > std::numeric_limits<std::int32_t>::max() && offY > std::numeric_limits<std::int32_t>::max())
        Throw(kHeaderAlloc);
    auto off32 = [](long long v) { return std::int32_t(v); };

    SDF_FILE_HDR& f = m_h.file;
    f = SDF_FILE_HDR{};
    f.recordType = SDF_FILE_HDR_TYPE;
    f.recordSize = 80;
    f.revision = 3;
    f.applic = 27;
    const CDateTimeEx date = input.GetDateOfRecording();
    if (date.IsValid()) {
        const CDateTimeEx::SParts p = date.GetParts(true);
        f.yearStamp = std::int16_t(p.iYear);
        f.monthDayStamp = std::int16_t(p.iMonth * 100 + p.iDay);
        f.hourMinuteStamp = std::int16_t(p.iHour * 100 + p.iMinute);
    }
    Sdf::SetFieldText(f.applicVer, sizeof f.applicVer, "3.2");
    f.numDataHdr = std::int16_t(D);
    f.numVectorHdr = std::int16_t(nChannels);
    f.numChannelHdr = std::int16_t(nChannels);
    f.numUnique = std::int16_t(nUnique);
    f.numScanStruct = 0;
    f.numXData = offX >= 0 ? 1 : 0;
    f.offsetDataHdr = off32(offData);
    f.offsetVectorHdr = off32(offVector);
    f.offsetChannelHdr = off32(offChannel);
    f.offsetUnique = off32(offUnique);
    f.offsetScanStruct = -1;
    f.offsetXData = off32(offX);
    f.offsetYData = off32(offY);
    f.numScanBig = rows ? 2 : 0;
    f.numComment = comment.IsEmpty() ? 0 : 1;
    f.offsetScanBig = off32(offScanBig);
    f.offsetComment = off32(offComment);
    f.offsetNextFile = -1;

    m_h.data.assign(std::size_t(D), SDF_DATA_HDR{});
    m_h.vectors.assign(std::size_t(nChannels), SDF_VECTOR_HDR{});
    m_h.channels.assign(std::size_t(nChannels), SDF_CHANNEL_HDR{});
    m_h.uniques.assign(std::size_t(nUnique), SDF_UNIQUE{});
    m_h.bComment = !comment.IsEmpty();
    m_h.sComment = comment;
    m_h.comment = SDF_COMMENT_HDR{};
    if (m_h.bComment) {
        m_h.comment.recordType = SDF_COMMENT_HDR_TYPE;
        m_h.comment.recordSize = 24 + comment.GetLength() + 1;
        m_h.comment.uniqueRecord = -1;
        m_h.comment.textOffset = 24;
        m_h.comment.numBytes = -1;
        m_h.comment.commentType = 0;
        m_h.comment.scope = 1;
        m_h.comment.dataHdrIndex = 0;
    }
    m_h.bScanBig = rows;
    m_h.scanBig = SDF_SCAN_BIG{};
    m_h.scanVar = SDF_SCAN_VAR{};
    if (rows) {
        const CAbscissa a1 = first.ds->GetAbscissa(1);
        m_h.scanBig = {SDF_SCAN_BIG_TYPE, 20, -1, std::int32_t(first.llRows), std::int32_t(first.llRows - 1), 2};
        SDF_SCAN_VAR& v = m_h.scanVar;
        v.recordType = SDF_SCAN_VAR_TYPE;
        v.recordSize = std::int32_t(std::min<long long>(54 + 8LL * first.llRows, std::numeric_limits<std::int32_t>::max()));
        v.uniqueRecord = -1;
        v.headerSize = 54;
        v.scanBigIndex = 0;
        v.scanVarType = std::int16_t(Sdf::DomainOf(a1.GetQuantity()));
        v.scanVarDataType = it__sdf_double;
        Sdf::SetFieldText(v.scanVarLabel, sizeof v.scanVarLabel, a1.GetName());
        v.scanVarOrder = 0;
        if (!CUnit::Trx2Sdf(a1.GetUnit(), v.scanVarUnit))
            CUnit::Trx2Sdf(CUnit("", 1), v.scanVarUnit);
    }
    m_h.bXData = offX >= 0;
    m_h.xData = {SDF_X_DATA_TYPE, off32(std::min<long long>(6 + xBytes, std::numeric_limits<std::int32_t>::max()))};
    m_h.yData = {SDF_Y_DATA_TYPE,
                 off32(std::min<long long>(end - offY, std::numeric_limits<std::int32_t>::max()))};

    int ch = 0, unique = 0;
    for (int d = 0; d < D; ++d) {
        const SRun& run = m_runs[std::size_t(d)];
        SSource& src = *m_sources[std::size_t(run.iSource)];
        const CAbscissa a = src.ds->GetAbscissa(0);
        SDF_DATA_HDR& h = m_h.data[std::size_t(d)];
        h.recordType = SDF_DATA_HDR_TYPE;
        h.recordSize = 148;
        h.uniqueRecord = -1;
        Sdf::SetFieldText(h.dataTitle, sizeof h.dataTitle, CDataKind::GetName(src.ds->GetKind()));
        h.domain = sdf__x_time;
        h.dataType = std::int16_t(CDataKind::GetTrx2Sdf(src.ds->GetKind()));
        const long long last = std::max(0LL, src.llPoints - 1);
        h.numPoints16 = Clamp16(src.llPoints);
        h.lastValidIndex16 = Clamp16(last);
        h.numPoints = std::int32_t(std::min<long long>(src.llPoints, std::numeric_limits<std::int32_t>::max()));
        h.lastValidIndex = std::int32_t(std::min<long long>(last, std::numeric_limits<std::int32_t>::max()));
        h.abscissaFirstX = a.IsCalc() ? a.GetFirstValue() : 0.0;
        h.abscissaDeltaX = a.IsCalc() ? a.GetDeltaValue() : 0.0;
        h.abscissaFirstX32 = float(h.abscissaFirstX);
        h.abscissaDeltaX32 = float(h.abscissaDeltaX);
        h.xResolutionType = std::int16_t(!a.IsCalc() ? 3 : a.GetDistribution() == df__logarithmic ? 1 : 0);
        h.xDataType = std::int16_t(run.iXSdfType);
        h.xPerPoint = a.IsCalc() ? 0 : 1;
        h.yDataType = std::int16_t(run.type.iSdf);
        h.yPerPoint = 1;
        h.yIsComplex = run.type.bComplex ? 1 : 0;
        h.yIsValid = 1;
        h.scanData = run.iSource == 0 && rows ? 1 : 0;
        h.firstVectorRecord = ch;
        h.totalRows = std::int16_t(run.channels.GetCount());
        h.totalCols = 1;
        if (!CUnit::Trx2Sdf(a.GetUnit(), h.xUnit))
            CUnit::Trx2Sdf(CUnit("", 1), h.xUnit);
        h.yUnitValid = 0;
        h.yUnit.factor = 1.0f;
        double ampl = 1.0, pow = 1.0;
        src.ds->GetChannel(run.channels.GetAt(0)).GetDeltaAmplPowCorrFact(ampl, pow);
        h.windowApplied = pow == 1.0 ? 1 : 0;
        h.overSampleFactor = 1;

        for (int k = 0; k < run.channels.GetCount(); ++k, ++ch) {
            const CChannel c = src.ds->GetChannel(run.channels.GetAt(k));
            SDF_VECTOR_HDR& v = m_h.vectors[std::size_t(ch)];
            v = {SDF_VECTOR_HDR_TYPE, 18, -1, {std::int16_t(ch), -1}, {48, 0}};
            SDF_CHANNEL_HDR& r = m_h.channels[std::size_t(ch)];
            r.recordType = SDF_CHANNEL_HDR_TYPE;
            r.recordSize = 212;
            r.uniqueRecord = src.bTime ? std::int32_t(offUnique + 10LL * unique) : -1;
            Sdf::SetFieldText(r.channelLabel, sizeof r.channelLabel, c.GetName());
            r.windowType = 3;
            r.windowCorrMode = 0;
            r.windowBandwidth = r.windowTimeConst = r.windowTrunc = r.wideBandCorr = 1.0f;
            c.GetDeltaAmplPowCorrFact(ampl, pow);
            r.narrowBandCorr = float(std::sqrt(ampl));
            r.weight = 0;
            r.inputImpedance = 1000000.0f;
            r.channelScale = 1.0;
            r.channelOffset = 0.0;
            r.channelNumber = std::int16_t(ch);

            CUnit unit = c.GetUnit();
            r.int2engrUnit = 1.0f;
            if (run.type.bRaw) {
                if (unit.GetText() == "%") {
                    // Per cent of full scale: pascals at the channel's calibration level.
                    unit = CUnit("Pa", 0);
                    const double level = c.GetCalibration() + c.GetDeltaHeadroom() + 6.02059991285;
                    r.int2engrUnit = float(32767.0 / (std::sqrt(2.0) * std::pow(10.0, 0.05 * level) *
                                                      CUnit("Pa", 0).GetReferenceValue()));
                } else {
                    const double factor = c.GetMapping().GetFactor();
                    r.int2engrUnit = factor != 0.0 ? float(1.0 / factor) : 1.0f;
                    // The offset of the mapping travels in channelOffset, which readers add.
                    r.channelOffset = c.GetMapping().GetOffset();
                }
            }
            if (c.GetQuantity().GetName() == "level")
                unit = CUnit("Pa", 0);
            if (!CUnit::Trx2Sdf(unit, r.engUnit) || r.engUnit.factor == 0.0f) {
                if (!CUnit::Trx2Sdf(unit, r.engUnit))
                    Sdf::SetFieldText(r.engUnit.label, sizeof r.engUnit.label, unit.GetText());
                r.engUnit.factor = 1.0f;
                if (!m_bUnitWarning) {
                    m_bUnitWarning = true;
                    m_sUnitWarning = unit.GetText();
                }
            }
            if (src.bTime) {
                m_h.uniques[std::size_t(unique)] = {SDF_UNIQUE_TYPE, 10, c.GetEmphasis()};
                ++unique;
            }
        }
    }
    m_h.BuildVectorTable();

    SDF_MEAS_HDR& m = m_h.meas;
    m = SDF_MEAS_HDR{};
    m.recordType = SDF_MEAS_HDR_TYPE;
    m.recordSize = 156;
    m.uniqueRecord = -1;
    m.startFreqIndexOld = 0;
    m.stopFreqIndexOld = m_h.data.empty() ? 0 : m_h.data[0].lastValidIndex16;
    m.startFreqIndex = 0;
    m.stopFreqIndex = m_h.data.empty() ? 0 : m_h.data[0].lastValidIndex;
    m.detection = -99;
    const int firstType = m_h.data.empty() ? 0 : m_h.data[0].dataType;
    m.measType = firstType > 0 ? -99 : 6;
    m.realTime = firstType == 0 ? 1 : 0;
}

void CThreadSDFExport::WriteBody(int fd)
{
    // Comment record and text.
    if (m_h.bComment) {
        SDF_COMMENT_HDR c = m_h.comment;
        Sdf::Swap(c);
        std::vector<unsigned char> rec(sizeof c + std::size_t(m_h.sComment.GetLength()) + 1, 0);
        std::memcpy(rec.data(), &c, sizeof c);
        std::memcpy(rec.data() + sizeof c, m_h.sComment.c_str(), std::size_t(m_h.sComment.GetLength()));
        if (!WriteAt(fd, m_h.file.offsetComment, rec.data(), rec.size()))
            Throw(kWriteFailed, m_sOutput);
    }
    auto writePrefix = [&](SDF_DATA_PREFIX p, long long at) {
        Sdf::Swap(p);
        if (!WriteAt(fd, at, &p, sizeof p))
            Throw(kWriteFailed, m_sOutput);
    };
    if (m_h.bXData)
        writePrefix(m_h.xData, m_h.file.offsetXData);
    if (m_h.bScanBig) {
        // The row values behind the scan-var record, in pieces.
        const CAbscissa rows = m_sources.front()->ds->GetAbscissa(1);
        const long long count = m_sources.front()->llRows;
        std::vector<double> values;
        for (long long i = 0; i < count; i += 8192) {
            values.resize(std::size_t(std::min(8192LL, count - i)));
            for (std::size_t j = 0; j < values.size(); ++j)
                values[j] = rows.GetValue(double(i + (long long)j));
            Sdf::SwapBytes(values.data(), 8, values.size());
            if (!WriteAt(fd, m_h.file.offsetScanBig + 74 + 8 * i, values.data(), values.size() * 8))
                Throw(kWriteFailed, m_sOutput);
        }
    }
    writePrefix(m_h.yData, m_h.file.offsetYData);

    // The values are nearly all of the work; the headers written after them
    // take the rest of the fraction.
    constexpr double kValuesShare = 0.95;
    long long totalBytes = 0, movedBytes = 0;
    for (const SRun& run : m_runs)
        totalBytes += m_sources[std::size_t(run.iSource)]->llScans * run.channels.GetCount() * run.iValueBytes;

    // Scans split per block; each block goes out in one write per trace
    // piece, so the blocks are large and the reads into them small.
    const std::size_t blockBytes = 512u << 10;
    // Reused for every run and never cleared: only what is read is used.
    std::unique_ptr<unsigned char[]> in, out;
    std::size_t inBytes = 0, outBytes = 0;
    auto reserve = [](std::unique_ptr<unsigned char[]>& b, std::size_t& have, std::size_t want) {
        if (want > have) {
            b.reset(new unsigned char[want]);
            have = want;
        }
    };
    std::vector<double> xs;
    int lastXSource = -1;
    for (const SRun& run : m_runs) {
        SSource& src = *m_sources[std::size_t(run.iSource)];
        // Abscissa values, once per source.
        if (run.llXStart >= 0 && lastXSource != run.iSource) {
            lastXSource = run.iSource;
            CAccess* a = src.ds->CreateAccess(am__read, CChNbrList{src.channels.GetAt(0)}, 0, 0L, -1L, mk__raw);
            if (!a || !a->SetAbscissaCoord(ac__world))
                Throw(kReadFailed);
            const int xs8 = CImplType::GetSize(CImplType::Sdf2Trx(run.iXSdfType, false));
            const long block = 8192;
            xs.resize(std::size_t(block) * 2);
            reserve(out, outBytes, std::size_t(block) * std::size_t(xs8));
            long long at = run.llXStart;
            long long left = src.llPoints;
            while (left > 0 && !a->Finished()) {
                const long got = a->GetData(long(std::min<long long>(block, left)), xs.data(), ds__dorg_with_abscissa,
                                            it__double);
                if (got <= 0)
                    Throw(kReadFailed);
                for (long j = 0; j < got; ++j) {
                    const double x = xs[std::size_t(2 * j)];
                    unsigned char* p = out.get() + std::size_t(j) * std::size_t(xs8);
                    switch (run.iXSdfType) {
                    case it__sdf_short: { std::int16_t v = std::int16_t(std::lround(x)); std::memcpy(p, &v, 2); break; }
                    case it__sdf_long: { std::int32_t v = std::int32_t(std::llround(x)); std::memcpy(p, &v, 4); break; }
                    case it__sdf_float: { float v = float(x); std::memcpy(p, &v, 4); break; }
                    default: std::memcpy(p, &x, 8); break;
                    }
                }
                Sdf::SwapBytes(out.get(), xs8, std::size_t(got));
                if (!WriteAt(fd, at, out.get(), std::size_t(got) * std::size_t(xs8)))
                    Throw(kWriteFailed, m_sOutput);
                at += (long long)got * xs8;
                left -= got;
            }
            src.ds->DeleteAccess(a);
        }

        // Values: row after row (one row without a second abscissa), in each
        // row every channel's trace in one piece; read scan block by scan block.
        const int n = run.channels.GetCount();
        const int vb = run.iValueBytes;
        const int part = run.type.bComplex ? vb / 2 : vb;
        CAccess* a = src.ds->CreateAccess(am__read, run.channels, 0, 0L, -1L, run.type.bRaw ? mk__raw : mk__physical);
        if (!a)
            Throw(kReadFailed);
        const long long points = std::max(1LL, src.llPoints);
        const long long rowBytes = points * n * vb;
        long blockScans = long(std::max<std::size_t>(1, blockBytes / (std::size_t(n) * std::size_t(vb))));
        // Whole rows per block where they fit: one contiguous piece of the file.
        if (src.llRows > 1 && points <= blockScans)
            blockScans = long(blockScans / points * points);
        const std::size_t scanBytes = std::size_t(n) * std::size_t(vb);
        // Read in pieces of about 64 KiB: the buffer the kernel copies into
        // stays in the nearest caches, which made reading and splitting a
        // third cheaper here than one read per block.
        const long readScans = long(std::clamp<std::size_t>((64u << 10) / scanBytes, 1, std::size_t(blockScans)));
        reserve(in, inBytes, std::size_t(readScans) * scanBytes);
        // Scans [g, g + len) of one row into traces of len values at out.
        auto split = [&](const unsigned char* s, long long len, std::size_t traceStride, unsigned char* d) {
            if (part == vb) {
                Sdf::DeinterleaveSwapped(s, n, d, traceStride, vb, std::size_t(len));
                return;
            }
            // Complex values: real and imaginary part each turned on their own.
            for (int c = 0; c < n; ++c)
                for (int h = 0; h < 2; ++h)
                    Sdf::CopySwapped(s + std::size_t(c) * std::size_t(vb) + std::size_t(h * part),
                                     std::size_t(n) * std::size_t(vb),
                                     d + std::size_t(c) * traceStride + std::size_t(h * part), std::size_t(vb), part,
                                     std::size_t(len));
        };
        // Split blocks are written on a second thread, so that the kernel's
        // copy of one block into the file runs beside the reading and
        // splitting of the next; four blocks, so that the job sleeps once per
        // two of them rather than once per block.
        struct SPiece {
            long long llAt;        // file position
            std::size_t uFrom;     // position in the block
            std::size_t uBytes;
        };
        CWriteBehind behind(std::size_t(blockScans) * scanBytes, 4);
        long long done = 0;
        while (done < src.llScans) {
            if (Interrupted())
                Throw(kConversionFailed);
            unsigned char* out = behind.Acquire();
            if (!out)
                Throw(kWriteFailed, m_sOutput);
            // Scans [done, done + want) as they lie in the file: the part of
            // each row in the block, channel after channel.
            const long long want = std::min<long long>(blockScans, src.llScans - done);
            for (long long g = done; g < done + want;) {
                const long got = a->GetData(long(std::min<long long>(readScans, done + want - g)), in.get(),
                                            ds__dorg_interleaved, run.type.iTransfer);
                if (got <= 0 || g + got > done + want)
                    Throw(kReadFailed);
                const unsigned char* from = in.get();
                for (const long long end = g + got; g < end;) {
                    const long long row = g / points;
                    const long long first = std::max(done, row * points);
                    const long long last = std::min((row + 1) * points, done + want);
                    const long long k = std::min(end, last) - g;
                    split(from, k, std::size_t(last - first) * std::size_t(vb),
                          out + std::size_t(first - done) * scanBytes + std::size_t(g - first) * std::size_t(vb));
                    from += std::size_t(k) * scanBytes;
                    g += k;
                }
            }
            std::vector<SPiece> pieces;
            if (done % points == 0 && want % points == 0) {
                pieces.push_back({run.llYStart + done / points * rowBytes, 0, std::size_t(want) * scanBytes});
            } else {
                for (long long g = done; g < done + want;) {
                    const long long row = g / points, at = g % points;
                    const long long len = std::min(points - at, done + want - g);
                    const std::size_t from = std::size_t(g - done) * scanBytes;
                    for (int c = 0; c < n; ++c)
                        pieces.push_back({run.llYStart + row * rowBytes + (c * points + at) * vb,
                                          from + std::size_t(c) * std::size_t(len) * std::size_t(vb),
                                          std::size_t(len) * std::size_t(vb)});
                    g += len;
                }
            }
            behind.Submit([fd, pieces = std::move(pieces)](const unsigned char* block) {
                for (const SPiece& p : pieces)
                    if (!WriteAt(fd, p.llAt, block + p.uFrom, p.uBytes))
                        return false;
                return true;
            });
            done += want;
            movedBytes += want * n * vb;
            if (totalBytes > 0)
                ReportProgress(float(kValuesShare * double(std::min(movedBytes, totalBytes)) / double(totalBytes)));
        }
        if (!behind.Finish())
            Throw(kWriteFailed, m_sOutput);
        src.ds->DeleteAccess(a);
    }
}
