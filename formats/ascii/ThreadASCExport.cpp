#include "formats/ascii/ThreadASCExport.h"

#include "common/ChannelHelpers.h"
#include "common/OutputPolicy.h"
#include "formats/ascii/AsciiNumberFormat.h"
#include "formats/ascii/AsciiTextWriter.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"

#include <cmath>
#include <vector>

namespace {

constexpr unsigned g_uDatasetNotCreated = 15;
constexpr unsigned g_uNoExportableChannels = 17;
constexpr unsigned g_uDatasetNotRead = 19;
constexpr unsigned g_uNoExportableAbscissas = 20;
constexpr unsigned g_uWriteFailed = 11;

// Access kinds of the two columns of a complex channel, by complex notation;
// notation 0 (and any unknown one) writes the magnitude in one column.
struct SComplexColumns {
    int iFirst;
    int iSecond; // ca__default: no second column
};
SComplexColumns ComplexColumns(int notation)
{
    switch (notation) {
    case 1: return {ca__real, ca__imaginary};
    case 2: return {ca__magnitude, ca__phase_deg};
    case 3: return {ca__magnitude, ca__phase_rad};
    case 4: return {ca__magnitude, ca__phase_circle};
    case 5: return {ca__magnitude, ca__group_delay};
    default: return {ca__default, ca__default};
    }
}

// Values delivered as k·log10(value / r), r and k from the channel's unit. A
// channel whose values are levels already (dB) is written as it is.
bool SetdBMapping(CDataset& ds, CAccess* access, int channel)
{
    double r = 1.0, k = 20.0;
    if (!ds.GetChannel(channel).GetUnit().LogdB(r, k)) return true;
    CChNbrList one{channel};
    return access->SetChannelMapping(one, mk__record,
                                     CMapping(r, 2.0 * r, tt__log10, 0.0, k * std::log10(2.0), tt__linear));
}

// Deletes the accesses a table made, on every path.
struct SAccessSet {
    CDataset& ds;
    std::vector<CAccess*> list;
    ~SAccessSet()
    {
        for (CAccess* a : list)
            if (a) ds.DeleteAccess(a);
    }
    CAccess* Add(CAccess* a)
    {
        list.push_back(a);
        return a;
    }
};

// The values travel as doubles: a 32-bit float cannot hold the times of a
// long recording to the step, nor the values of 64-bit channels.
constexpr int g_iTransferType = it__double;

} // namespace

CString DeriveASCExportOutput(const char* input)
{
    return OutputPolicy::DeriveOutputPath(CMark(input ? input : "").GetPath(), ".asc",
                                          OutputPolicy::EExtensionRule::AppendWhenMissing, CTSSettings::bitASCExport);
}

CThreadASCExport::CThreadASCExport(const char* input, long id, long user, const char* output, const int* overwrite,
                                   const int* numberNotation, const short* nbrOfDigits, const int* tabSeparator,
                                   const int* decimalComma, const int* complexNotation, const int* convertTodB,
                                   const char* headerText)
    : CThreadConversion(CMark(input).GetPath(), id, user)
{
    const CMark mark(input);
    m_bSelection = mark.HasSelection();
    if (m_bSelection) m_selection = mark.GetChannelList();
    m_uState = TS_STATE_ASC_EXPORT;
    m_sOutput = output ? CString(output) : DeriveASCExportOutput(mark.GetPath());
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitASCExport);
    m_iNumberNotation = numberNotation ? *numberNotation : CTSSettings::m_iNumberNotationASCExport;
    m_nNbrOfDigits = nbrOfDigits ? *nbrOfDigits : CTSSettings::m_nNbrOfDigitsASCExport;
    m_bTabSeparator = tabSeparator ? *tabSeparator : CTSSettings::m_bSeparatorASCExport;
    m_bDecimalComma = decimalComma ? *decimalComma : CTSSettings::m_bUseCommaASCExport;
    m_iComplexNotation = complexNotation ? *complexNotation : CTSSettings::m_iNumberNotationComplexASCExport;
    m_bConvertTodB = convertTodB ? *convertTodB : CTSSettings::m_bConvert2dBASCExport;
    m_sHeaderText = headerText ? headerText : "";
    try {
        m_pDataset = std::make_unique<CDataset>(mark.GetPath(), om__read_complete, 32768L, sh__deny_write);
    } catch (const CDatasetException& e) {
        m_pDataset.reset();
        m_uStringID = g_uDatasetNotCreated;
        m_sDatasetError = e.GetText();
    } catch (...) {
        m_pDataset.reset();
        m_uStringID = g_uDatasetNotCreated;
    }
}

CThreadASCExport::~CThreadASCExport()
{
    WaitForEnd();
}

int CThreadASCExport::Run()
{
    if (OutputPolicy::PrepareOutput(*this, m_sInput, m_sOutput, m_bOverwrite, false)) {
        SetFailed(TS_NO_TEXT);
        return -1;
    }
    if (!m_pDataset) {
        // Say why: a file cut short, not a TRX file, no permission...
        if (!m_sDatasetError.IsEmpty()) m_sTextAppend = CString("\n") + m_sDatasetError;
        SetFailed(g_uDatasetNotCreated);
        return -1;
    }
    CDataset& ds = *m_pDataset;
    const int nChannels = ds.GetNbrOfChannels();
    if (nChannels < 1) {
        SetFailed(g_uNoExportableChannels);
        return -1;
    }
    CChNbrList channels;
    if (m_bSelection) {
        for (int c : m_selection)
            if (c >= 0 && c < nChannels) channels.Add(c);
    } else {
        channels.AddGroup(0, nChannels - 1);
    }
    ChannelHelpers::RemovePulseChannels(ds, channels);
    if (channels.IsEmpty()) {
        SetFailed(g_uNoExportableChannels);
        return -1;
    }
    const int nAbscissas = ds.GetNbrOfAbscissas();
    if (nAbscissas == 1) {
        // One line per abscissa value: channels of another rate have no place in it.
        const double rate = ds.GetSamplingRate(channels[0]);
        for (int i = channels.GetCount() - 1; i > 0; --i)
            if (ds.GetSamplingRate(channels[i]) != rate) channels.RemoveAt(i);
    }

    FileSystem::CFile file;
    if (!file.Create(m_sOutput, FileSystem::EShare::None)) {
        m_sTextArg = m_sOutput;
        SetFailed(ResultId::kFileNotOpened);
        return -1;
    }
    CCreatedOutputs created;
    created.Add(m_sOutput);
    unsigned result = 0;
    {
        CAsciiTextWriter out(file.Handle());
        if (!m_sHeaderText.IsEmpty()) {
            out.Text(m_sHeaderText.str());
            out.Text("\n\n");
        }
        const CAsciiNumberFormat fmt(m_iNumberNotation, m_nNbrOfDigits, m_bTabSeparator != 0, m_bDecimalComma != 0);
        try {
            if (nAbscissas == 1) result = WriteCurves(out, fmt, channels);
            else if (nAbscissas == 2) result = WriteMatrices(out, fmt, channels);
            else result = g_uNoExportableAbscissas;
        } catch (...) {
            result = g_uDatasetNotRead;
        }
        if (!out.Flush() && result == 0) result = g_uWriteFailed;
    }
    if (result == 0 && !file.Flush()) result = g_uWriteFailed;
    file.Close();
    if (result != 0) {
        if (result == g_uWriteFailed) m_sTextArg = m_sOutput;
        SetFailed(result);
        created.RemoveAll();
        return -1;
    }
    created.Keep();
    m_arsProduced.Add(m_sOutput);
    return 0;
}

unsigned CThreadASCExport::WriteCurves(CAsciiTextWriter& out, const CAsciiNumberFormat& fmt,
                                       const CChNbrList& channels)
{
    CDataset& ds = *m_pDataset;
    SAccessSet accesses{ds, {}};
    // The abscissa values. With a sampling pattern they are taken along the
    // first channel, so that they match that channel's own samples.
    CChNbrList abscChannels;
    if (ds.GetScanMode() != sm__single_rate) abscChannels.Add(channels[0]);
    CAccess* absc = accesses.Add(ds.CreateAccess(am__read, abscChannels, 0, 0L, -1L));
    // A band abscissa holds lower edge, centre and upper edge per scan: the
    // column shows the centre.
    const CAbscissa& a0 = ds.GetAbscissa(0);
    const bool bands = !a0.IsCalc() && a0.GetCoordinate() == ac__band;
    if (!absc || !absc->SetAbscissaCoord(bands ? ac__band : ac__world)) return g_uDatasetNotRead;
    const int abscStride = (bands ? 3 : 1) + abscChannels.GetCount();
    const int abscAt = bands ? 1 : 0;

    std::vector<CAccess*> columns;
    const SComplexColumns complexKinds = ComplexColumns(m_iComplexNotation);
    for (int ch : channels) {
        const bool complex = ds.GetChannel(ch).IsComplex() && complexKinds.iSecond != ca__default;
        for (int part = 0; part < (complex ? 2 : 1); ++part) {
            CChNbrList one{ch};
            CAccess* a = accesses.Add(ds.CreateAccess(am__read, one, 0, 0L, -1L));
            if (!a) return g_uDatasetNotRead;
            if (complex && !a->SetAccessModeToComplexData(part == 0 ? complexKinds.iFirst : complexKinds.iSecond))
                return g_uDatasetNotRead;
            // dB applies to the first column; with real and imaginary parts to both.
            if (m_bConvertTodB && (part == 0 || m_iComplexNotation == 1) && !SetdBMapping(ds, a, ch))
                return g_uDatasetNotRead;
            columns.push_back(a);
        }
    }

    const long block = g_lBlockValues / abscStride;
    std::vector<double> abscValues(std::size_t(block * abscStride));
    std::vector<std::vector<double>> values(columns.size(), std::vector<double>(std::size_t(block)));
    const std::size_t lineBytes = (columns.size() + 1) * CAsciiNumberFormat::g_nMaxText + 2;
    while (!absc->Finished()) {
        if (Interrupted()) return 3;
        const long n = absc->GetData(block, abscValues.data(), ds__dorg_with_abscissa, g_iTransferType);
        if (n <= 0) return g_uDatasetNotRead;
        for (std::size_t c = 0; c < columns.size(); ++c)
            if (columns[c]->GetData(n, values[c].data(), ds__dorg_interleaved, g_iTransferType) != n)
                return g_uDatasetNotRead;
        for (long i = 0; i < n; ++i) {
            char* p = out.Reserve(lineBytes);
            p = fmt.Append(abscValues[std::size_t(i * abscStride + abscAt)], p);
            for (const auto& v : values) p = fmt.Append(v[std::size_t(i)], p);
            *p++ = '\r';
            *p++ = '\n';
            out.Commit(p);
        }
        if (out.Failed()) return g_uWriteFailed;
    }
    return 0;
}

unsigned CThreadASCExport::WriteMatrices(CAsciiTextWriter& out, const CAsciiNumberFormat& fmt,
                                         const CChNbrList& channels)
{
    CDataset& ds = *m_pDataset;
    const long n0 = ds.GetAbscissa(0).GetNbrOfScans();
    const char corner[2] = {' ', fmt.Separator()};
    std::vector<double> values(static_cast<std::size_t>(g_lBlockValues));
    for (int ch : channels) {
        out.Raw(std::string_view(corner, 2));
        for (long i = 0; i < n0; ++i) out.Commit(fmt.Append(ds.GetWorldFixAbsc(0, i), out.Reserve(CAsciiNumberFormat::g_nMaxText)));
        out.EndLine();

        SAccessSet accesses{ds, {}};
        CChNbrList one{ch};
        CAccess* a = accesses.Add(ds.CreateAccess(am__read, one, 0, 0L, -1L));
        if (!a) return g_uDatasetNotRead;
        if (m_bConvertTodB && !SetdBMapping(ds, a, ch)) return g_uDatasetNotRead;
        long row = 0, col = 0;
        while (!a->Finished()) {
            if (Interrupted()) return 3;
            const long n = a->GetData(g_lBlockValues, values.data(), ds__dorg_interleaved, g_iTransferType);
            if (n <= 0) return g_uDatasetNotRead;
            for (long i = 0; i < n; ++i) {
                char* p = out.Reserve(2 * CAsciiNumberFormat::g_nMaxText + 2);
                if (col == 0) p = fmt.Append(ds.GetWorldFixAbsc(1, row), p);
                p = fmt.Append(values[std::size_t(i)], p);
                if (++col == n0) {
                    *p++ = '\r';
                    *p++ = '\n';
                    col = 0;
                    ++row;
                }
                out.Commit(p);
            }
            if (out.Failed()) return g_uWriteFailed;
        }
        if (col != 0) out.EndLine();
        out.Text("\n\n\n");
    }
    return 0;
}
