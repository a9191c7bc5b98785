#include "formats/sdf/ThreadSDFImport.h"

#include "formats/sdf/SdfJob.h"

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "common/PulseServices.h"
#include "common/WriteBehind.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <new>

namespace {

constexpr unsigned kConversionFailed = 3;
constexpr unsigned kAllocFailed = 6;
constexpr unsigned kNoChannels = 7;
constexpr unsigned kOutputExists = 8;
constexpr unsigned kAccessDenied = 9;
constexpr unsigned kNotOpened = 10;
constexpr unsigned kBytesWritten = 12;
constexpr unsigned kNotClosed = 16;
constexpr unsigned kSubChannelsTruncated = 33;
constexpr unsigned kBytesRead = 104;
constexpr unsigned kNotCreated = 112;
constexpr unsigned kWriteFailed = 115;

constexpr int kMaxSubChannelFiles = 8;
constexpr std::size_t kBlockBytes = 256u << 10;

// Reading and writing the results is most of the work; combining the data
// sets and merging the speed data share the rest of the job's fraction.
constexpr float kTransferShare = 0.9f;
constexpr float kCombinedShare = 0.95f;

using Sdf::Throw;

// The reading buffer: 786432 bytes wanted, halved down to 3072 when memory is short.
std::size_t ReadingBufferBytes()
{
    for (std::size_t n = 786432; n >= 3072; n /= 2) {
        std::unique_ptr<unsigned char[]> probe(new (std::nothrow) unsigned char[n]);
        if (probe)
            return n;
    }
    return 0;
}

float CalibrationOf(double peak, double reference)
{
    if (!(reference > 0.0))
        reference = 1.0;
    return float(std::clamp(std::ceil(20.0 * std::log10(peak / (std::sqrt(2.0) * reference))), -400.0, 400.0));
}

// A data-set failure: locked by another process or denied (9), else not created (112).
[[noreturn]] void ThrowDataset(const CDatasetException& e, const CString& path)
{
    if (e.GetErrorCode() == 5 || e.GetErrorCode() == 32)
        Throw(kAccessDenied, path);
    Throw(kNotCreated, path, "\n" + e.GetText());
}

}  // namespace

CThreadSDFImport::CThreadSDFImport(const char* input, long id, long user, const char* output, const int* overwrite)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_SDF_IMPORT;
    if (output)
        m_arsOutput.Add(output);
    else
        m_arsOutput.Add(OutputPolicy::DeriveOutputPath(input ? input : "", ".dat",
                                                       OutputPolicy::EExtensionRule::ReplaceOnly,
                                                       CTSSettings::bitSDFImport));
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitSDFImport);
}

int CThreadSDFImport::Run()
{
    ReportProgress(0.0f);
    if (!Sdf::RunConversion(*this, m_created, kNotClosed, kAllocFailed, [this] { Convert(); }))
        return -1;
    for (const CString& path : m_arsOutput)
        m_arsProduced.Add(path);
    ReportProgress(1.0f);
    return 0;
}

void CThreadSDFImport::Convert()
{
    const CString first = m_arsOutput[0];
    if (OutputPolicy::IsOutputTheInput(m_sInput, first))
        Throw(111);

    FileSystem::CFile file;
    if (!file.Open(m_sInput, false, FileSystem::EShare::Read))
        Throw(kNotOpened, m_sInput);
    CSdfFileInput in(file.Handle());
    CSdfHeaderSet headers;
    headers.Read(in);
    if (headers.data.empty())
        Throw(kNoChannels);

    CStringArray outputs;
    bool truncated = false;
    int totalSubFiles = 0;
    bool speed = false;
    {
        CSemaphoreHolder access(m_semAccess);
        CSdfImportPlanner planner(headers, in);
        speed = planner.SpeedFlag();
        for (int i = 0; i < int(headers.data.size()); ++i) {
            if (Interrupted())
                Throw(kConversionFailed);
            SSdfResultPlan plan = planner.Plan(i);
            if (plan.uCode)
                Throw(plan.uCode, plan.sArg);
            CString path = first;
            const bool sub = plan.iKind == dk__rpm || plan.iKind == dk__speed;
            if (sub) {
                OutputPolicy::SetExtension(path, CString::Formatted(".sc%d", totalSubFiles));
            } else if (outputs.GetSize() > 0) {
                ChannelHelpers::NumberFileName(path, short(outputs.GetSize() + 1));
            }
            if (OutputPolicy::PrepareOutput(*this, m_sInput, path, m_bOverwrite))
                throw CSdfError{m_uStringID, m_sTextArg, m_sTextAppend};
            ImportResult(in, headers, plan, path, i, int(headers.data.size()));
            if (sub) {
                ++totalSubFiles;
                // A pulse byte holds eight speed patterns; what lies beyond is left out.
                if (m_arsSubChannelFiles.GetSize() < kMaxSubChannelFiles) {
                    m_arsSubChannelFiles.Add(path);
                } else {
                    FileSystem::RemoveFile(path);
                    truncated = true;
                }
            } else {
                outputs.Add(path);
            }
        }

        // Several data sets: the first carries the number 1 as the others carry theirs.
        if (outputs.GetSize() >= 2) {
            CString numbered = first;
            ChannelHelpers::NumberFileName(numbered, 1);
            if (FileSystem::FileExists(numbered)) {
                if (!m_bOverwrite)
                    Throw(kOutputExists);
                FileSystem::RemoveFile(numbered);
            }
            if (FileSystem::RenameFile(outputs[0], numbered).Failed())
                Throw(kNotOpened, numbered);
            m_created.Add(numbered);
            outputs[0] = numbered;
        }
    }

    ReportProgress(kTransferShare);

    if (outputs.GetSize() >= 2) {
        CSemaphoreHolder single(m_semSingleAccess);
        Combine(outputs);
    }
    ReportProgress(kCombinedShare);

    if (speed && m_arsSubChannelFiles.GetSize() > 0) {
        CSemaphoreHolder access(m_semAccess);
        const int before = outputs.GetSize();
        PulseServices::MergeSpeedData(m_arsSubChannelFiles, outputs);
        for (int k = before; k < outputs.GetSize(); ++k)
            m_created.Add(outputs[k]);
        // A speed set that went into the pulse channels has done its work.
        for (const CString& s : m_arsSubChannelFiles)
            if (FileSystem::FileExists(s))
                FileSystem::RemoveFile(s);
    }

    m_arsOutput.RemoveAll();
    for (const CString& s : outputs)
        m_arsOutput.Add(s);
    m_uStringID = 2;
    if (truncated) {
        m_uStringID = kSubChannelsTruncated;
        m_sTextArg = CString::Formatted("%d->%d", totalSubFiles, kMaxSubChannelFiles);
    }
}

void CThreadSDFImport::ImportResult(ISdfInput& in, const CSdfHeaderSet& headers, const SSdfResultPlan& plan,
                                    const CString& path, int index, int count)
{
    CAbscissaList abscissas;
    abscissas.Add(plan.abscissa);
    if (plan.bRows)
        abscissas.Add(plan.rows);
    CChannelList channels;
    for (const CChannel& c : plan.channels)
        channels.Add(c);
    const long long total = plan.llScans * plan.llPoints;

    std::unique_ptr<CDataset> ds;
    try {
        ds = std::make_unique<CDataset>(path, abscissas, channels, plan.iKind,
                                        plan.bStoredX ? ds__dorg_with_abscissa : ds__dorg_interleaved, long(total),
                                        65536, m_bOverwrite ? sh__deny_write : sh__create_new);
    } catch (const CDatasetException& e) {
        if (FileSystem::FileExists(path) && !m_bOverwrite)
            Throw(kOutputExists);
        ThrowDataset(e, path);
    }
    m_created.Add(path);

    const SDF_FILE_HDR& f = headers.file;
    const int year = f.yearStamp, month = f.monthDayStamp / 100, day = f.monthDayStamp % 100;
    if (day >= 1 && day <= 31 && month >= 1 && month <= 12 && year >= 1970) {
        CDateTimeEx date(year, month, day, f.hourMinuteStamp / 100, f.hourMinuteStamp % 100, 0.0);
        if (date.IsValid())
            ds->SetDateOfRecording(date);
    }

    const std::size_t bufferBytes = ReadingBufferBytes();
    if (!bufferBytes)
        Throw(kAllocFailed);
    CSdfValueReader reader(in, plan, bufferBytes);
    const std::size_t scanBytes = reader.ScanBytes();
    // A block small enough to stay in the processor's cache between being
    // filled and being written, and no smaller than the stream's buffer, so
    // that it goes out in one system call without another copy.
    const long blockScans = long((kBlockBytes + scanBytes - 1) / scanBytes);

    CDataStream* stream = ds->GetPtrToFile();
    if (!stream)
        Throw(kWriteFailed);
    // Blocks go to the data set on a second thread: the kernel's copy of one
    // block into the output's pages runs beside the reading and turning of
    // the next. Nothing else touches the stream until Finish. Four blocks, so
    // that the job, faster than the writes, sleeps once per two of them.
    if (total > 0)
        stream->Reserve(stream->Tell() + std::uint64_t(total) * scanBytes);
    long long written = 0;
    {
        CWriteBehind behind(std::size_t(blockScans) * scanBytes, 4);
        for (;;) {
            if (Interrupted())
                Throw(kConversionFailed);
            unsigned char* block = behind.Acquire();
            if (!block)
                break;
            const long k = reader.Next(block, blockScans);
            if (k <= 0)
                break;
            const std::size_t bytes = std::size_t(k) * scanBytes;
            behind.Submit([stream, bytes](const unsigned char* b) { return stream->Write(b, bytes) == bytes; });
            written += k;
            // The same expression at the end of one result and the start of the
            // next, so the fraction cannot step back between them.
            if (total > 0)
                ReportProgress(float(double(kTransferShare) *
                                     (double(index) + double(std::min(written, total)) / double(total)) /
                                     double(count)));
        }
        if (!behind.Finish())
            Throw(kWriteFailed);
    }
    if (!stream->Flush() || stream->Fail())
        Throw(kWriteFailed);
    if (written != total)
        Throw(reader.Failed() ? kBytesRead : kBytesWritten);

    CAbscissa a = ds->GetAbscissa(0);
    a.SetNbrOfScans(long(plan.bRows ? plan.llPoints : total));
    ds->SetAbscissa(0, a);
    // Float values: the calibration level of their largest physical value.
    if (plan.iImplType == it__float || plan.iImplType == it__double) {
        for (int c = 0; c < plan.nVectors; ++c) {
            const double peak = reader.Peaks()[std::size_t(c)];
            CChannel ch = ds->GetChannel(c);
            const double physical = peak * std::fabs(ch.GetMapping().GetFactor());
            if (!(physical > 0.0) || !std::isfinite(physical))
                continue;
            ch.SetCalibration(CalibrationOf(physical, ch.GetUnit().GetReferenceValue()));
            ch.SetDeltaHeadroom(0.0f);
            ds->SetChannel(c, ch);
        }
    }
    if (headers.bComment && headers.comment.dataHdrIndex == plan.iIndex)
        ds->SetComment(headers.sComment);
    try {
        ds->Close();
    } catch (const CDatasetException& e) {
        Throw(kNotClosed, CString(), "\n" + e.GetText());
    }
}

// Data sets of equal abscissa and kind become one: their channels side by
// side in the order of the files, their sub-channels kept.
void CThreadSDFImport::Combine(CStringArray& outputs)
{
    struct SMember {
        CString sTemp;
        CAbscissa abscissa;
        int iKind;
        CAbscissa rows;   // the second abscissa; default: none
        bool bRows;
    };
    std::vector<SMember> members;
    for (const CString& path : outputs) {
        CString temp = path;
        ChannelHelpers::NumberFileName(temp, 999);
        if (FileSystem::FileExists(temp))
            FileSystem::RemoveFile(temp);
        if (FileSystem::RenameFile(path, temp).Failed())
            Throw(kNotOpened, temp);
        m_created.Add(temp);
        CDataset ds(temp, om__read, 32768, sh__deny_write);
        const bool rows = ds.GetNbrOfAbscissas() == 2;
        members.push_back({temp, ds.GetAbscissa(0), ds.GetKind(), rows ? ds.GetAbscissa(1) : CAbscissa(), rows});
    }

    std::vector<std::vector<std::size_t>> groups;
    std::multimap<long, std::size_t> byScans;   // group leaders by their number of scans
    for (std::size_t m = 0; m < members.size(); ++m) {
        bool placed = false;
        auto range = byScans.equal_range(members[m].abscissa.GetNbrOfScans());
        for (auto it = range.first; it != range.second && !placed; ++it) {
            std::vector<std::size_t>& g = groups[it->second];
            const SMember& lead = members[g.front()];
            if (lead.abscissa == members[m].abscissa && lead.iKind == members[m].iKind &&
                lead.bRows == members[m].bRows && (!lead.bRows || lead.rows == members[m].rows)) {
                g.push_back(m);
                placed = true;
            }
        }
        if (!placed) {
            byScans.emplace(members[m].abscissa.GetNbrOfScans(), groups.size());
            groups.push_back({m});
        }
    }

    CString plain = m_arsOutput[0];
    CStringArray result;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        CString target = plain;
        if (groups.size() > 1)
            ChannelHelpers::NumberFileName(target, short(g + 1));
        if (FileSystem::FileExists(target)) {
            if (!m_bOverwrite)
                Throw(kOutputExists);
            FileSystem::RemoveFile(target);
        }
        const std::vector<std::size_t>& group = groups[g];
        if (group.size() == 1) {
            if (FileSystem::RenameFile(members[group[0]].sTemp, target).Failed())
                Throw(kNotOpened, target);
            m_created.Add(target);
            result.Add(target);
            continue;
        }
        // Channels of every member, in order; the first member gives the description.
        std::vector<std::unique_ptr<CDataset>> sources;
        CChannelList channels;
        CSubChannelList subs;
        for (std::size_t m : group) {
            sources.push_back(std::make_unique<CDataset>(members[m].sTemp, om__read, 32768, sh__deny_write));
            const int offset = channels.GetCount();
            for (int c = 0; c < sources.back()->GetNbrOfChannels(); ++c)
                channels.Add(sources.back()->GetChannel(c));
            for (CSubChannel s : sources.back()->GetSubChannels()) {
                s.SetParentChannelID(s.GetParentChannelID() + offset);
                s.SetID(-1);
                subs.Add(s);
            }
        }
        CDataset& lead = *sources.front();
        CAbscissaList abscissas;
        abscissas.Add(lead.GetAbscissa(0));
        std::unique_ptr<CDataset> out;
        try {
            out = std::make_unique<CDataset>(target, abscissas, channels, lead.GetKind(), lead.GetOrganisation(),
                                             lead.GetNbrOfScans(), 65536, sh__deny_write);
        } catch (const CDatasetException& e) {
            ThrowDataset(e, target);
        }
        m_created.Add(target);
        out->SetDateOfRecording(lead.GetDateOfRecording());
        out->SetComment(lead.GetComment());
        if (subs.GetCount() > 0)
            out->SetSubChannels(subs);

        // Stored values move unchanged, one member's channels at a time (with
        // the abscissa values when they are stored: equal in every member).
        const int organisation = lead.GetAbscissa(0).IsCalc() ? ds__dorg_interleaved : ds__dorg_with_abscissa;
        int offset = 0;
        for (auto& src : sources) {
            const int n = src->GetNbrOfChannels();
            CChNbrList from, to;
            from.AddGroup(0, n - 1);
            to.AddGroup(offset, offset + n - 1);
            CAccess* r = src->CreateAccess(am__read, from, 0, 0L, -1L, mk__raw);
            CAccess* w = out->CreateAccess(am__readwrite, to, 0, 0L, -1L, mk__raw);
            if (!r || !w)
                Throw(kWriteFailed);
            const long blockScans = std::max(1L, 65536L / n);
            std::vector<double> values(std::size_t(blockScans) * std::size_t(n + 1));
            while (!r->Finished()) {
                if (Interrupted())
                    Throw(kConversionFailed);
                const long got = r->GetData(blockScans, values.data(), organisation, it__double);
                if (got <= 0)
                    Throw(kBytesRead);
                if (w->SetData(got, values.data(), organisation, it__double) != got)
                    Throw(kWriteFailed);
            }
            offset += n;
        }
        try {
            out->Close();
        } catch (const CDatasetException& e) {
            Throw(kNotClosed, CString(), "\n" + e.GetText());
        }
        sources.clear();
        for (std::size_t m : group)
            FileSystem::RemoveFile(members[m].sTemp);
        result.Add(target);
    }
    outputs = result;
}
