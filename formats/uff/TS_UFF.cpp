#include "formats/uff/TS_UFF.h"

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr unsigned kConversionFailed = 3;
constexpr unsigned kAllocFailed = 6;
constexpr unsigned kOutputExists = 8;
constexpr unsigned kNotOpened = 10;
constexpr unsigned kWriteFailed = 11;
constexpr unsigned kDofNote = 120;
constexpr unsigned kNothingFound = 123;
constexpr unsigned kTagsFailed = 126;

const char* const kAbortExport = "Conversion aborted in CThreadUFFExport::uff_conv_trx2uff.";
const char* const kAbortFtoa = "Conversion aborted in CThreadUFFExport::uff_ftoa.";

[[noreturn]] void Throw(unsigned code, const CString& arg = CString(), const CString& append = CString(),
                        const char* abort = "")
{
    CUffError e;
    e.uStringID = code;
    e.sTextArg = arg;
    e.sTextAppend = append;
    e.sAbort = abort;
    throw e;
}

// The input file, read through its descriptor under the no-sharing lock.
class CFileByteSource : public IUffByteSource {
public:
    explicit CFileByteSource(FileSystem::CFile& f) : m_f(f)
    {
        long long size = f.GetSize();
        m_size = size > 0 ? std::uint64_t(size) : 0;
    }
    std::size_t Read(void* dst, std::size_t n) override
    {
        long long got = m_f.Read(dst, n);
        return got > 0 ? std::size_t(got) : 0;
    }
    bool Seek(std::uint64_t pos) override { return pos <= m_size && m_f.Seek((long long)pos); }
    std::uint64_t Size() const override { return m_size; }

private:
    FileSystem::CFile& m_f;
    std::uint64_t m_size = 0;
};

// Transfer buffers: the wanted size, halved down to 4096 bytes when memory is short.
std::unique_ptr<unsigned char[]> AllocateBuffer(std::size_t wanted, std::size_t& got)
{
    for (std::size_t n = wanted; n >= 4096; n /= 2) {
        std::unique_ptr<unsigned char[]> p(new (std::nothrow) unsigned char[n]);
        if (p) {
            got = n;
            return p;
        }
    }
    got = 0;
    return nullptr;
}

float Calibration(double peak, double reference)
{
    if (!(peak > 0.0))
        return -200.0f;
    if (!(reference > 0.0))
        reference = 1.0;
    double db = std::ceil(20.0 * std::log10(peak / (2.0 * std::sqrt(2.0) * reference)));
    return float(std::clamp(db, -200.0, 200.0));
}

}  // namespace

// ======================================================================================
// Import
// ======================================================================================

CString DeriveUFFImportOutput(const char* input)
{
    return OutputPolicy::DeriveOutputPath(input ? input : "", ".trx", OutputPolicy::EExtensionRule::ReplaceOnly,
                                          CTSSettings::bitUFFImport);
}

CString DeriveUFFExportOutput(const char* input)
{
    return OutputPolicy::DeriveOutputPath(CMark(input ? input : "").GetPath(), ".UFF",
                                          OutputPolicy::EExtensionRule::ReplaceOnly, CTSSettings::bitUFFExport);
}

CThreadUFFImport::CThreadUFFImport(const char* input, long id, long user, const char* output,
                                   const int* overwrite)
    : CThreadConversion(input, id, user)
{
    m_uState = TS_STATE_UFF_IMPORT;
    if (output)
        m_arsOutput.Add(output);
    else
        m_arsOutput.Add(DeriveUFFImportOutput(input));
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitUFFImport);
}

int CThreadUFFImport::Run()
{
    bool ok = false;
    try {
        Convert();
        ok = true;
    } catch (const CUffError& e) {
        if (!e.sAbort.IsEmpty())
            m_trace.Printf("%s\n", e.sAbort.c_str());
        m_uStringID = e.uStringID;
        m_sTextArg = e.sTextArg;
        m_sTextAppend = e.sTextAppend;
        Interrupted();  // a stop inside the reader: say so
    } catch (const std::bad_alloc&) {
        m_uStringID = kAllocFailed;
    } catch (const std::exception& e) {
        m_trace.Printf("%s\n", e.what());
        m_uStringID = kConversionFailed;
    }
    if (!ok) {
        SetFailed(TS_NO_TEXT);
        m_created.RemoveAll();
        return -1;
    }
    m_created.Keep();
    for (const CString& path : m_arsOutput)
        m_arsProduced.Add(path);
    return 0;
}

void CThreadUFFImport::Convert()
{
    CUffError check;
    const CString first = m_arsOutput[0];
    if (OutputPolicy::PrepareOutput(m_sInput, first, m_bOverwrite, false, check.uStringID, check.sTextArg,
                                    check.sTextAppend))
        throw check;

    FileSystem::CFile file;
    if (!file.Open(m_sInput, false, FileSystem::EShare::None)) {
        m_trace.Printf("Can't open UFF file %s.\n", m_sInput.c_str());
        Throw(kNotOpened, m_sInput);
    }
    CFileByteSource source(file);

    CSemaphoreHolder access(m_semAccess);
    CUffReader reader(source, m_trace, m_sInput);
    reader.Scan();
    if (reader.DataSets().empty())
        Throw(kNothingFound, m_sInput);

    const std::vector<SUffGroup> groups = reader.Groups();
    if (groups.size() > 1) {
        m_arsOutput.RemoveAll();
        for (std::size_t i = 0; i < groups.size(); ++i) {
            CString path = first;
            ChannelHelpers::NumberFileName(path, short(i + 1));
            // Each numbered file obeys the same overwrite rule as the first.
            if (OutputPolicy::PrepareOutput(m_sInput, path, m_bOverwrite, false, check.uStringID, check.sTextArg,
                                            check.sTextAppend))
                throw check;
            m_arsOutput.Add(path);
        }
    }
    for (std::size_t i = 0; i < groups.size(); ++i)
        WriteGroup(reader, groups[i], m_arsOutput[int(i)]);
}

namespace {

CUnit MakeUnit(const CString& text) { return CUnit(text, 1); }

CChannel MakeChannel(const SUffDataSet& ds, int physChannel)
{
    CUnit unit = MakeUnit(ds.sChUnit);
    CQuantity quantity(ds.sChQuantity);
    if (!ds.sChDenUnit.IsEmpty()) {
        unit = CUnit::Divide(unit, MakeUnit(ds.sChDenUnit), false);
        quantity = unit.GetDefaultQuantity();
    } else if (quantity.IsVirtual() && !ds.sChUnit.IsEmpty()) {
        // The unit came from the units label: let it choose its quantity.
        quantity = unit.GetDefaultQuantity();
    }
    CChannel ch(ds.sChName, ds.sChAbbr, quantity, unit, ds.iImplType, physChannel, 1.0, 1.0, nullptr);
    ch.SetQuantisationFunc(1);
    return ch;
}

CAbscissa MakeAbscissa(const SUffDataSet& ds)
{
    const CQuantity quantity(ds.sAbscQuantity);
    const CUnit unit = MakeUnit(ds.sAbscUnit);
    if (ds.bEven)
        return CAbscissa(ds.sAbscName, ds.sAbscAbbr, quantity, unit, ds.dFirst, ds.dDelta, long(ds.llScans),
                         df__linear);
    const int type = ds.iImplType == it__double || ds.iImplType == it__cdouble ? it__double : it__float;
    return CAbscissa(ds.sAbscName, ds.sAbscAbbr, quantity, unit, type, long(ds.llScans), ac__world);
}

}  // namespace

void CThreadUFFImport::WriteGroup(CUffReader& reader, const SUffGroup& group, const CString& path)
{
    const std::vector<SUffDataSet>& sets = reader.DataSets();
    const SUffDataSet& lead = sets[group.aMembers.front()];
    m_trace.Printf("Try to open CDataset-File %s.\n", path.c_str());

    CAbscissaList abscissas;
    abscissas.Add(MakeAbscissa(lead));
    CChannelList channels;
    for (std::size_t i = 0; i < group.aMembers.size(); ++i)
        channels.Add(MakeChannel(sets[group.aMembers[i]], int(i)));
    const bool complex = CImplType::IsComplex(lead.iImplType);
    if (lead.llScans > 0x7FFFFFFF)
        Throw(kWriteFailed, "*.trx");

    std::unique_ptr<CDataset> trx;
    try {
        trx = std::make_unique<CDataset>(path, abscissas, channels, lead.iKind,
                                         complex ? ds__dorg_with_abscissa : ds__dorg_interleaved, 0, 65536,
                                         sh__deny_write);
    } catch (const CDatasetException& e) {
        m_trace.Printf("%s\n", e.GetText().c_str());
        Throw(kNotOpened, path);
    }
    m_created.Add(path);
    trx->SetComment(CString("Import from UFF:\n") + lead.sComment);
    trx->SetAbscissa(0, abscissas[0]);
    if (lead.date.bValid) {
        CDateTimeEx date(lead.date.iYear, lead.date.iMonth, lead.date.iDay, lead.date.iHour, lead.date.iMinute,
                         double(lead.date.iSecond));
        if (date.IsValid())
            trx->SetDateOfRecording(date);
    }

    const std::size_t nch = group.aMembers.size();
    for (std::size_t i = 0; i < nch; ++i) {
        const SUffDataSet& ds = sets[group.aMembers[i]];
        if (ds.sDOF.IsEmpty())
            continue;
        const CString name = CString::Formatted("Channel%d", int(i));
        std::unique_ptr<CTags> tags = trx->GetTags(name);
        if (!tags)
            Throw(kTagsFailed);
        tags->SetValue("DOF", ds.sDOF);
        if (!trx->SetTags(name, *tags))
            Throw(kTagsFailed);
    }

    // The channels of the group are read side by side, each through its own
    // reader, and the data set is written scan block after scan block: each
    // scan once for up to kSideBySide channels, so that memory stays bounded
    // however many channels a group has (larger groups take one pass per
    // batch). A data set with uneven spacing is alone in its group; its scans
    // lead with the abscissa value, in a slot as wide as one value of the
    // channel's type.
    constexpr std::size_t kSideBySide = 1024;
    const bool uneven = !lead.bEven;
    const bool dbl = lead.iImplType == it__double || lead.iImplType == it__cdouble;
    const std::size_t partBytes = dbl ? 8 : 4;
    const std::size_t parts = complex ? 2 : 1;
    const std::size_t slotBytes = partBytes * parts;
    auto put = [&](unsigned char* p, double v) {
        if (dbl) {
            std::memcpy(p, &v, 8);
        } else {
            const float f = float(v);
            std::memcpy(p, &f, 4);
        }
    };
    const int organisation = uneven ? ds__dorg_with_abscissa : ds__dorg_interleaved;

    for (std::size_t first = 0; first < nch; first += kSideBySide) {
        const std::size_t count = std::min(kSideBySide, nch - first);
        std::vector<std::unique_ptr<CUffValueReader>> readers;
        const std::size_t readBuffer = count == 1 ? 0 : std::clamp<std::size_t>((8u << 20) / count, 4096, 1u << 20);
        for (std::size_t i = 0; i < count; ++i)
            readers.push_back(std::make_unique<CUffValueReader>(reader, sets[group.aMembers[first + i]], readBuffer));
        const std::size_t slots = count + (uneven ? 1 : 0);
        const std::size_t scanBytes = slotBytes * slots;
        std::size_t bufBytes = 0;
        std::unique_ptr<unsigned char[]> buf =
            AllocateBuffer(std::max<std::size_t>(complex ? (2u << 20) : (1u << 20), scanBytes), bufBytes);
        if (!buf || bufBytes < scanBytes)
            Throw(kAllocFailed);
        const std::size_t blockScans = bufBytes / scanBytes;
        const int perPoint = readers.front()->NumbersPerPoint();
        std::vector<double> numbers(blockScans * std::size_t(perPoint));

        CChNbrList batch;
        batch.AddGroup(int(first), int(first + count) - 1);
        CAccess* access = trx->CreateAccess(am__readwrite, batch, 0, 0L, long(lead.llScans), mk__raw);
        if (!access)
            Throw(kWriteFailed, "*.trx");
        for (long long done = 0; done < lead.llScans;) {
            if (Interrupted()) Throw(kConversionFailed);
            const std::size_t want = std::size_t(std::min<long long>(lead.llScans - done, (long long)blockScans));
            std::memset(buf.get(), 0, want * scanBytes);
            for (std::size_t c = 0; c < count; ++c) {
                if (readers[c]->Read(numbers.data(), want) != want)
                    Throw(kWriteFailed, "*.trx");
                for (std::size_t k = 0; k < want; ++k) {
                    const double* v = numbers.data() + k * std::size_t(perPoint);
                    unsigned char* scan = buf.get() + k * scanBytes;
                    if (uneven)
                        put(scan, *v++);   // the imaginary part of the abscissa slot stays 0
                    unsigned char* slot = scan + (c + (uneven ? 1 : 0)) * slotBytes;
                    for (std::size_t q = 0; q < parts; ++q)
                        put(slot + q * partBytes, v[q]);
                }
            }
            if (access->SetData(long(want), buf.get(), organisation, lead.iImplType) != long(want)) {
                m_trace.Printf("Can't write data into file. Disk full?\n");
                Throw(kWriteFailed, "*.trx");
            }
            done += (long long)want;
        }
        trx->DeleteAccess(access);

        for (std::size_t i = 0; i < count; ++i) {
            const int phys = int(first + i);
            CChannel ch = trx->GetChannel(phys);
            ch.SetCalibration(Calibration(readers[i]->Peak(), ch.GetUnit().GetReferenceValue()));
            ch.SetDeltaHeadroom(0.0f);
            ch.SetEmphasis(0);
            if (!trx->SetChannel(phys, ch))
                Throw(kWriteFailed, "*.trx");
        }
    }

    try {
        trx->Close();
    } catch (const CDatasetException& e) {
        m_trace.Printf("%s\n", e.GetText().c_str());
        Throw(kWriteFailed, path);
    }
}

// ======================================================================================
// Export
// ======================================================================================

// The output file: buffered writes, and the one step back that the binary form
// needs to fill in its byte count.
class CThreadUFFExport::COutput {
public:
    bool Create(const char* path)
    {
        m_sPath = path;
        return m_file.Create(path, FileSystem::EShare::None);
    }
    bool IsOpen() const { return m_file.IsOpen(); }
    void Write(const char* p, std::size_t n)
    {
        if (m_buf.size() + n > kBuffer)
            Flush();
        if (n > kBuffer) {
            if (!m_file.Write(p, n))
                WriteFailed();
        } else {
            m_buf.append(p, n);
        }
        m_pos += n;
    }
    void Write(const std::string& s) { Write(s.data(), s.size()); }
    void Line(const std::string& s, const char* eol)
    {
        Write(s);
        Write(eol, std::strlen(eol));
    }
    void Flush()
    {
        if (!m_buf.empty() && !m_file.Write(m_buf.data(), m_buf.size()))
            WriteFailed();
        m_buf.clear();
    }
    std::uint64_t Tell() const { return m_pos; }
    // Rewrites bytes already written at pos.
    void Overwrite(std::uint64_t pos, const std::string& s)
    {
        Flush();
        if (!m_file.Seek((long long)pos) || !m_file.Write(s.data(), s.size()) || !m_file.Seek((long long)m_pos))
            WriteFailed();
    }
    void Close()
    {
        Flush();
        m_file.Close();
    }

private:
    [[noreturn]] void WriteFailed()
    {
        m_buf.clear();
        Throw(kWriteFailed, m_sPath);
    }

    static constexpr std::size_t kBuffer = 1u << 20;
    CString m_sPath;
    FileSystem::CFile m_file;
    std::string m_buf;
    std::uint64_t m_pos = 0;
};

CThreadUFFExport::CThreadUFFExport(const CList<CString, CString&>& inputs, long id, long user, const char* output,
                                   const int* overwrite, const int* binary, bool bList)
    : CThreadConversion(inputs.IsEmpty() ? "" : CMark(inputs.begin()->c_str()).GetPath().c_str(), id, user),
      m_lsInputs(inputs.begin(), inputs.end()), m_bList(bList ? 1 : 0)
{
    m_uState = TS_STATE_UFF_EXPORT;
    if (output)
        m_sOutput = output;
    else if (!m_lsInputs.empty())
        m_sOutput = DeriveUFFExportOutput(m_lsInputs.front());
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitUFFExport);
    m_bBinary = binary ? *binary : CTSSettings::m_bBinaryUFFExport;
}

int CThreadUFFExport::Run()
{
    try {
        if (m_sOutput.IsEmpty() || m_lsInputs.empty() ||
            std::any_of(m_lsInputs.begin(), m_lsInputs.end(), [](const CString& s) { return s.IsEmpty(); })) {
            m_trace.Printf("Empty file names.\n");
            Throw(kConversionFailed, CString(), CString("\n\n") + kAbortExport, kAbortExport);
        }
        if (!m_bOverwrite && FileSystem::FileExists(m_sOutput))
            Throw(kOutputExists);
        CUffError check;
        for (const CString& in : m_lsInputs)
            if (OutputPolicy::IsOutputTheInput(CMark(in).GetPath(), m_sOutput))
                Throw(ResultId::kInputIsOutput);
        if (OutputPolicy::PrepareOutput(m_sInput, m_sOutput, m_bOverwrite, false, check.uStringID, check.sTextArg,
                                        check.sTextAppend))
            throw check;

        CSemaphoreHolder access(m_semAccess);
        COutput out;
        if (!out.Create(m_sOutput)) {
            m_trace.Printf("Can't create UFF file %s.\n", m_sOutput.c_str());
            Throw(kConversionFailed, CString(), CString("\n\n") + kAbortExport, kAbortExport);
        }
        m_created.Add(m_sOutput);
        uff_conv_trx2uff(out);
        out.Close();
    } catch (const CUffError& e) {
        if (!e.sAbort.IsEmpty())
            m_trace.Printf("%s\n", e.sAbort.c_str());
        m_uStringID = e.uStringID;
        m_sTextArg = e.sTextArg;
        m_sTextAppend = e.sTextAppend;
        SetFailed(TS_NO_TEXT);
        m_created.RemoveAll();
        return -1;
    } catch (const std::exception& e) {
        m_trace.Printf("%s\n", e.what());
        m_uStringID = dynamic_cast<const std::bad_alloc*>(&e) ? kAllocFailed : kConversionFailed;
        SetFailed(TS_NO_TEXT);
        m_created.RemoveAll();
        return -1;
    }
    m_created.Keep();
    if (m_bDofUnreadable)
        m_uStringID = kDofNote;
    m_arsProduced.Add(m_sOutput);
    return 0;
}

void CThreadUFFExport::uff_conv_trx2uff(COutput& out)
{
    for (const CString& path : m_lsInputs)
        ExportDataset(out, path);
}

namespace {

// The text says why the data set cannot be exported, after the abort line.
[[noreturn]] void AbortExport(const CString& reason = CString())
{
    CString append = CString("\n\n") + kAbortExport;
    if (!reason.IsEmpty())
        append += CString("\n") + reason;
    Throw(kConversionFailed, CString(), append, kAbortExport);
}

// Implementation type in which a channel's values are read for its ordinate data type.
int ReadTypeOf(int ordinateType)
{
    switch (ordinateType) {
    case 4: return it__double;
    case 5: return it__cfloat;
    case 6: return it__cdouble;
    default: return it__float;
    }
}

template <class T>
void PutLE(std::string& out, T v)
{
    if constexpr (std::endian::native == std::endian::big) {
        unsigned char b[sizeof(T)];
        std::memcpy(b, &v, sizeof(T));
        std::reverse(b, b + sizeof(T));
        out.append(reinterpret_cast<const char*>(b), sizeof(T));
    } else {
        out.append(reinterpret_cast<const char*>(&v), sizeof(T));
    }
}

}  // namespace

void CThreadUFFExport::ExportDataset(COutput& out, const CString& input)
{
    // The input may carry a channel selection: "run.trx|0,2".
    const CMark mark(input);
    const CString& path = mark.GetPath();
    const char* const eol = m_bBinary ? "\n" : "\r\n";
    m_trace.Printf("Try to convert %s (TRX) in %s (UFF).\n", path.c_str(), m_sOutput.c_str());
    m_trace.Printf("Try to open data set file %s.\n", path.c_str());
    std::unique_ptr<CDataset> trx;
    try {
        trx = std::make_unique<CDataset>(path, om__read_complete, 32768, sh__deny_write);
    } catch (const std::exception& e) {
        m_trace.Printf("Can't create data set on file %s.\n", path.c_str());
        AbortExport(CString::Formatted("Can't create data set on file %s: %s", path.c_str(), e.what()));
    }
    CChNbrList list;
    if (mark.HasSelection()) {
        for (int c : mark.GetChannelList())
            if (c >= 0 && c < trx->GetNbrOfChannels())
                list.Add(c);
    } else {
        list.AddGroup(0, trx->GetNbrOfChannels() - 1);
    }
    ChannelHelpers::RemovePulseChannels(*trx, list);
    if (list.IsEmpty()) {
        m_trace.Printf("The TRX data set contains no exportable channels.\n");
        AbortExport("The TRX data set contains no exportable channels.");
    }
    if (trx->GetNbrOfAbscissas() != 1) {
        const CString why =
            CString::Formatted("The number of abscissas (%u) has to be 1 for UFF.", unsigned(trx->GetNbrOfAbscissas()));
        m_trace.Printf("%s\n", why.c_str());
        AbortExport(why);
    }

    const CAbscissa absc = trx->GetAbscissa(0);
    const bool even = absc.IsCalc() && absc.GetDistribution() == df__linear;
    const int kind = trx->GetKind();
    const CString kindName = CDataKind::GetName(kind);
    const CString abscUnit = absc.GetUnit().GetText();
    const CString abscQuantity = absc.GetQuantity().GetName();
    CString date = "NONE";
    const CDateTimeEx rec = trx->GetDateOfRecording();
    if (rec.IsValid()) {
        CDateTimeEx::SParts p = rec.GetParts(true);
        date = uff_format_date(p.iYear, p.iMonth, p.iDay, p.iHour, p.iMinute, int(std::floor(p.dSecond)));
    }

    for (int li = 0; li < list.GetCount(); ++li) {
        const int ch = list[li];
        const CChannel channel = trx->GetChannel(ch);

        CAccess* access = trx->CreateAccess(am__read, ch, 0, 0, -1, mk__physical);
        if (!access)
            AbortExport(trx->GetLastError());
        const long long points = access->GetNbrOfScans();

        SUffHeader h;
        h.bBinary = m_bBinary != 0;
        h.arsID[0] = CString("Source file: ") + path.Left(67);
        h.arsID[1] = kind == dk__unknown ? trx->GetMoniker() : kindName;
        h.arsID[2] = date;
        h.arsID[3] = list.GetCount() == 1 ? CString("NONE") : CString::Formatted("Channel %2u", unsigned(ch));
        h.arsID[4] = "NONE";
        h.iFunctionType = uff_function_type_from_kind(kind, kindName, abscUnit, abscQuantity);

        SUffDofResult dof;
        if (m_bList) {
            dof = uff_dof_from_channel_name(channel.GetName(), channel.GetTitle());
            if (dof.bUnreadable)
                m_bDofUnreadable = true;
        } else {
            dof = uff_entities_single_export(kind, channel.GetName());
        }
        h.sRespEntity = dof.sRespEntity;
        h.lRespNode = dof.lRespNode;
        h.iRespDir = dof.iRespDir;
        h.sRefEntity = dof.sRefEntity;
        h.lRefNode = dof.lRefNode;
        h.iRefDir = dof.iRefDir;

        h.iOrdinateType = uff_ordinate_from_impl_type(channel.GetImplType());
        h.llPoints = points;
        h.iSpacing = even ? 1 : 0;
        if (even) {
            h.dAbscMin = absc.GetValue(0.0);
            const double rate = trx->GetSamplingRate(ch);
            h.dAbscInc = rate > 0.0 ? 1.0 / rate : absc.GetDeltaValue();
        }

        uff_axis_from_unit(abscUnit, h.aAxis[0]);
        h.aAxis[0].sLabel = abscQuantity;
        h.aAxis[0].sUnits = abscUnit;
        const CString unit = channel.GetUnit().GetText();
        uff_axis_from_unit(unit, h.aAxis[1]);
        h.aAxis[1].sLabel = dof.bSplit ? channel.GetName()
                            : !channel.GetTitle().IsEmpty() ? channel.GetTitle()
                                                            : channel.GetQuantity().GetName();
        h.aAxis[1].sUnits = unit;
        for (int r = 2; r < 4; ++r) {
            h.aAxis[r] = SUffAxis();
            h.aAxis[r].sLabel = "NONE";
            h.aAxis[r].sUnits = "NONE";
        }
        if (m_bList)
            uff_ratio_axes_from_unit(unit, h.aAxis[1], h.aAxis[2]);

        std::string record7;
        if (!uff_record7(h, record7)) {
            m_trace.Printf("Data value conversion: value out of range.\n");
            Throw(kConversionFailed, CString(), CString("\n\n") + kAbortFtoa, kAbortFtoa);
        }
        out.Line(uff_start_stop_line(), eol);
        const std::uint64_t typePos = out.Tell();
        out.Line(uff_type_line(h), eol);
        for (const CString& id : h.arsID)
            out.Line(uff_id_line(id), eol);
        out.Line(uff_record6(h), eol);
        out.Line(record7, eol);
        for (const SUffAxis& a : h.aAxis)
            out.Line(uff_axis_record(a), eol);

        // Values
        const SUffValueLayout lay = uff_value_layout(h.iOrdinateType, !even);
        const int readType = ReadTypeOf(h.iOrdinateType);
        const bool storedAbsc = !even && !absc.IsCalc();
        const int organisation = storedAbsc ? ds__dorg_with_abscissa : ds__dorg_interleaved;
        const int valuesPerPoint = lay.bComplex ? 2 : 1;
        // The abscissa slot of a transfer is as wide as one value of its type;
        // bands give three (lower edge, centre, upper edge), of which the
        // centre is written.
        const bool bands = storedAbsc && absc.GetCoordinate() == ac__band;
        if (bands && !access->SetAbscissaCoord(ac__band))
            AbortExport(access->GetLastError());
        const int abscSlot = storedAbsc ? valuesPerPoint * (bands ? 3 : 1) : 0;
        const int abscAt = bands ? valuesPerPoint : 0;
        const int perScan = valuesPerPoint + abscSlot;
        const bool dbl = readType == it__double || readType == it__cdouble;
        const std::size_t blockPoints = 65536 / (std::size_t(perScan) * (dbl ? 8 : 4));
        std::vector<unsigned char> buf(blockPoints * std::size_t(perScan) * (dbl ? 8 : 4));
        std::vector<double> point(static_cast<std::size_t>(perScan));
        std::string chunk;
        chunk.reserve(1u << 17);
        char line[96];
        int fieldInLine = 0, lineLen = 0;
        std::uint64_t dataBytes = 0;
        long long done = 0;

        auto flushLine = [&]() {
            std::memset(line + lineLen, ' ', std::size_t(80 - std::min(lineLen, 80)));
            int len = std::max(lineLen, 80);
            chunk.append(line, std::size_t(len));
            chunk.append(eol);
            lineLen = 0;
            fieldInLine = 0;
        };
        auto field = [&](double v, bool wide) {
            if (!uff_ftoa(line + lineLen, v, wide)) {
                m_trace.Printf("Data value conversion: value out of range.\n");
                Throw(kConversionFailed, CString(), CString("\n\n") + kAbortFtoa, kAbortFtoa);
            }
            lineLen += wide ? g_iUffFieldDouble : g_iUffFieldSingle;
            if (++fieldInLine == lay.iNumbersPerLine)
                flushLine();
        };

        while (done < points) {
            if (Interrupted()) Throw(kConversionFailed);
            const long want = long(std::min<long long>(points - done, (long long)blockPoints));
            const long got = access->GetData(want, buf.data(), organisation, readType);
            m_trace.Printf("Could get %i pairs of %i remaining.\n", int(got), int(points - done));
            if (got <= 0)
                AbortExport(access->GetLastError());
            for (long i = 0; i < got; ++i) {
                int k = 0;
                const unsigned char* p = buf.data() + std::size_t(i) * std::size_t(perScan) * (dbl ? 8 : 4);
                for (int j = 0; j < perScan; ++j) {
                    double v;
                    if (dbl) {
                        std::memcpy(&v, p + 8 * j, 8);
                    } else {
                        float f;
                        std::memcpy(&f, p + 4 * j, 4);
                        v = f;
                    }
                    point[std::size_t(k++)] = v;
                }
                double x = 0.0;
                const double* y = point.data();
                if (storedAbsc) {
                    x = point[std::size_t(abscAt)];
                    y = point.data() + abscSlot;
                } else if (!even) {
                    x = absc.GetValue(double(done + i));
                }
                if (m_bBinary) {
                    if (!even)
                        PutLE<float>(chunk, float(x));
                    for (int j = 0; j < valuesPerPoint; ++j) {
                        if (dbl)
                            PutLE<double>(chunk, y[j]);
                        else
                            PutLE<float>(chunk, float(y[j]));
                    }
                } else {
                    if (!even)
                        field(x, false);
                    for (int j = 0; j < valuesPerPoint; ++j)
                        field(y[j], dbl);
                }
            }
            done += got;
            if (m_bBinary)
                dataBytes += chunk.size();
            out.Write(chunk);
            chunk.clear();
        }
        if (!m_bBinary && fieldInLine > 0)
            flushLine();
        out.Write(chunk);
        chunk.clear();
        trx->DeleteAccess(access);

        if (m_bBinary) {
            out.Write("    -1\n", 7);
            h.allBinary[3] = (long long)dataBytes;
            out.Overwrite(typePos, uff_type_line(h));
        } else {
            out.Line(uff_start_stop_line(), eol);
        }
    }
}
