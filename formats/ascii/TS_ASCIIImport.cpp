#include "formats/ascii/TS_ASCIIImport.h"
#include "frame/Cancellation.h"

#include "common/OutputPolicy.h"
#include "formats/ascii/AsciiColumnStats.h"
#include "formats/ascii/AsciiHeaderScan.h"
#include "formats/ascii/AsciiLineReader.h"
#include "frame/CreatedOutputs.h"
#include "hostlibs/basics/FileName.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cfloat>
#include <cstring>
#include <memory>
#include <vector>

// ---- import context ---------------------------------------------------------

SASCImportContext::SASCImportContext()
{
    for (int i = 0; i < g_iChannels; ++i) {
        asName[std::size_t(i)].Format("channel %02d", i + 1);
        aUnit[std::size_t(i)] = CUnit("Pa", 1);
        aQuantity[std::size_t(i)] = CQuantity("pressure");
        adFactor[std::size_t(i)] = 1.0;
    }
}

SASCImportContext SASCImportContext::FromSettings()
{
    SASCImportContext c;
    c.abscUnit = CUnit(CTSSettings::m_sAbscUnitASCImport, 1);
    c.abscQuantity = c.abscUnit.GetDefaultQuantity();
    c.bAbscFromSettings = CTSSettings::m_bAbscProvidedASCImport ? 0 : 1;
    c.dXDelta = CTSSettings::m_dAbscDeltaValASCImport;
    // The arrays hold 256 elements after a load; a host that shortened them
    // leaves the defaults in the slots they lack.
    const int names = std::min(CTSSettings::m_arsChNameASCImport.GetSize(), g_iChannels);
    const int units = std::min(CTSSettings::m_arsChUnitASCImport.GetSize(), g_iChannels);
    for (int i = 0; i < names; ++i)
        c.asName[std::size_t(i)] = CTSSettings::m_arsChNameASCImport[i].Left(g_iMaxNameLength);
    for (int i = 0; i < units; ++i) {
        c.aUnit[std::size_t(i)] = CUnit(CTSSettings::m_arsChUnitASCImport[i], 1);
        c.aQuantity[std::size_t(i)] = c.aUnit[std::size_t(i)].GetDefaultQuantity();
    }
    c.iImplType = CTSSettings::m_iChImplType;
    return c;
}

// ---- converter --------------------------------------------------------------

namespace {

// The one routine every diagnostic goes through: formatted into a 1536-byte
// buffer (longer texts are cut there), at most 1023 characters kept, one
// trailing line feed removed.
void __attribute__((format(printf, 2, 3))) Report(CString& errorText, const char* fmt, ...)
{
    char buf[1536];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    std::string s(buf, std::min<std::size_t>(std::strlen(buf), 1023));
    if (!s.empty() && s.back() == '\n') s.pop_back();
    errorText = CString(std::move(s));
}

// Failures are thrown once their text is in the error buffer.
struct SAbort {};

struct SFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// How one column becomes samples: its place in a scan, its sample type and
// the scale from value to sample.
struct SColumnCoding {
    unsigned uColumn;     // column of the line
    int iType;            // it__val of the samples
    std::size_t nOffset;  // bytes into the scan
    double dScale;        // value × scale is the stored sample
    double dFullScale;    // integer types: the largest sample
};

// Sample types the import writes as asked. Others (unsigned, complex, pulse
// bits) are stored as 32-bit floats and declared so: writing float bits into
// a channel declared otherwise would make its samples meaningless.
int StoredType(int implType)
{
    switch (implType) {
    case it__int16:
    case it__int24:
    case it__int32:
    case it__float:
    case it__double: return implType;
    default: return it__float;
    }
}

// The largest sample of an integer type; 0 for the float types, which are
// stored as the values are.
double FullScale(int type)
{
    switch (type) {
    case it__int16: return 32767.0;
    case it__int24: return 8388607.0;
    case it__int32: return 2147483647.0;
    default: return 0.0;
    }
}

// Rounds half away from zero and truncates, clamped to the full scale so that
// a value beyond the first pass's extremes cannot wrap.
inline std::int32_t ToInteger(double v, double fullScale)
{
    if (!(v == v)) return 0;
    v = v >= 0 ? v + 0.5 : v - 0.5;
    v = std::clamp(v, -fullScale, fullScale);
    return std::int32_t(v);
}

// The level of the peak in dB re 2·√2·r, rounded up to 0.1 dB. Taken apart in
// logarithms when the quotient leaves the range of a double, so that the
// level of a huge or tiny peak is still a number.
float CalibrationLevel(double peak, double r)
{
    const double q = peak / (2.0 * std::sqrt(2.0) * r);
    double level = 20.0 * std::log10(q);
    if (!std::isfinite(level) || q == 0.0)
        level = 20.0 * (std::log10(peak) - std::log10(2.0 * std::sqrt(2.0) * r));
    return float(std::ceil(10.0 * level) * 0.1);
}

} // namespace

int ConvertASCIIToTRX(const char* input, const char* output, const SASCImportContext& ctx, CString& errorText)
{
    errorText.Empty();
    if (!input || !*input || !output || !*output) {
        Report(errorText, "Empty file names.\n");
        return 1;
    }
    std::unique_ptr<std::FILE, SFileCloser> f(std::fopen(input, "rb"));
    if (!f) {
        Report(errorText, "Can't open ASCII file %s.\n", input);
        return 1;
    }
    return ConvertASCIIToTRX(f.get(), input, output, ctx, errorText);
}

int ConvertASCIIToTRX(std::FILE* f, const char* input, const char* output, const SASCImportContext& ctx,
                      CString& errorText)
{
    errorText.Empty();
    // The output is removed after a failure only when this conversion made it.
    CCreatedOutputs created;
    std::unique_ptr<CDataset> ds;
    try {
        if (!f || !input || !output || !*output) {
            Report(errorText, "Empty file names.\n");
            throw SAbort();
        }
        SAsciiDataStart start;
        if (!ScanAsciiHeader(f, start)) {
            Report(errorText, "Can't open ASCII file %s.\n", input);
            throw SAbort();
        }

        // First pass: statistics.
        std::vector<double> values(g_uAsciiMaxColumns);
        unsigned count = 0;
        auto stats = std::make_unique<CAsciiTableStats>();
        bool useScanner = false;
        {
            CAsciiLineReader reader(f, start.llOffset, start.uLine, false);
            for (bool more = true; more;) {
                if (JobCancellation::Requested()) { Report(errorText, "%s", JobCancellation::kInterruptedMessage); throw SAbort(); }
                switch (reader.Next(values.data(), count)) {
                case CAsciiLineReader::EResult::line: stats->AddLine(values.data(), count); break;
                case CAsciiLineReader::EResult::end: more = false; break;
                case CAsciiLineReader::EResult::restart: stats->Reset(); break;
                case CAsciiLineReader::EResult::error:
                    Report(errorText, "%s", reader.Error().c_str());
                    throw SAbort();
                }
            }
            useScanner = reader.UsesScanner();
        }
        stats->Finish();
        const unsigned nLines = stats->Lines();
        if (nLines < 2 || stats->Columns() == 0) {
            Report(errorText, "Found to less numbers in file (%u*%u).\n", nLines, stats->Columns());
            throw SAbort();
        }

        // The abscissa and the channels.
        const SAsciiLayout layout = DecideAsciiLayout(*stats, !ctx.bAbscFromSettings, ctx.dXDelta);
        int kind = 0;
        if (ctx.abscQuantity.GetName() == "frequency") kind = dk__spectrum;
        else if (ctx.abscQuantity.GetName() == "time") kind = dk__time;
        if (!layout.bEquidistant && kind == dk__time) kind = dk__unknown;

        CString info;
        info.Format("ASCII source file: %s\r\n", input);
        if (layout.bAbscInFile)
            info += CString::Formatted("The abscissa is %s from column 1.\r\n",
                                       layout.bEquidistant ? "calculated" : "taken");
        info += CString::Formatted("The channels are taken from columns %u to %u.\r\n",
                                   layout.uFirstChannelColumn + 1, layout.uFirstChannelColumn + layout.uChannels);

        const int implType = StoredType(ctx.iImplType);
        const CString abscName = ctx.abscQuantity.GetName();
        const CString abscAbbr = abscName.Left(1);
        // A stored abscissa keeps its values: clock times a fraction of a
        // second apart would collapse in any coding scaled to the column.
        CAbscissa stored(abscName, abscAbbr, ctx.abscQuantity, ctx.abscUnit, it__double, long(nLines), ac__world);
        CAbscissa calculated(abscName, abscAbbr, ctx.abscQuantity, ctx.abscUnit, layout.dXStart, layout.dXDelta,
                             long(nLines), df__linear);
        CAbscissa absc = layout.bEquidistant ? calculated : stored;
        absc.SetNbrOfScans(long(nLines));
        CAbscissaList abscissas;
        abscissas.AddTail(absc);

        // Columns in the order of a scan: the stored abscissa, then the channels.
        std::vector<SColumnCoding> coding;
        std::size_t scanSize = 0;
        auto codingOf = [&](unsigned column, int type, double factor) {
            const double maxAbs = stats->Column(column).dMaxAbs;
            const double fullScale = FullScale(type);
            const bool integer = fullScale > 0.0;
            const double scale = !integer || maxAbs == 0.0 ? factor : fullScale * factor / maxAbs;
            coding.push_back({column, type, scanSize, scale, fullScale});
            scanSize += std::size_t(CImplType::GetSize(type));
            if (!integer) return CMapping();
            return maxAbs == 0.0 ? CMapping(0.0, 1.0, tt__linear, 0.0, 1.0, tt__linear)
                                 : CMapping(0.0, maxAbs * factor, tt__linear, 0.0, fullScale, tt__linear);
        };
        if (!layout.bEquidistant) codingOf(0, it__double, ctx.dAbscFactor);

        CChannelList channels;
        std::vector<CMapping> channelMaps;
        for (unsigned i = 0; i < layout.uChannels; ++i) {
            const unsigned column = layout.uFirstChannelColumn + i;
            const double factor = ctx.adFactor[i];
            const double peak = stats->Column(column).dMaxAbs * factor;
            float calibration = 94.0f;
            if (peak > 0.0) calibration = CalibrationLevel(peak, ctx.aUnit[i].GetReferenceValue());
            CChannel ch(ctx.asName[i], ctx.asName[i], ctx.aQuantity[i], ctx.aUnit[i], implType, int(i), 1.0, 1.0,
                        static_cast<const map__dct*>(nullptr));
            ch.SetQuantisationFunc(1);
            ch.SetCalibration(calibration);
            ch.SetDeltaHeadroom(0.0f);
            ch.SetEmphasis(0);
            channels.AddTail(ch);
            channelMaps.push_back(codingOf(column, implType, factor));
        }

        Report(errorText, "Can't open TRX output file %s.\n", output);
        ds = std::make_unique<CDataset>(output, abscissas, channels, kind,
                                        layout.bEquidistant ? ds__dorg_interleaved : ds__dorg_with_abscissa, 0L,
                                        65536L, sh__deny_write);
        created.Add(output);
        errorText.Empty();
        // A zero byte would end the comment text early: it becomes a blank.
        std::string header = start.sHeader;
        std::replace(header.begin(), header.end(), '\0', ' ');
        ds->SetComment(header.empty() ? info.c_str() : header.c_str());
        if (!ds->SetAbscissa(0, absc)) {
            Report(errorText, "Can't write data into file. Disk full?");
            throw SAbort();
        }
        if (FullScale(implType) > 0.0) {
            for (unsigned i = 0; i < layout.uChannels; ++i) {
                CChannel ch = ds->GetChannel(int(i));
                ch.SetMapping(channelMaps[i]);
                ds->SetChannel(int(i), ch);
            }
        }

        // Second pass: the samples, whole scans at a time.
        CDataStream* stream = ds->GetPtrToFile();
        if (!stream) {
            Report(errorText, "Can't write data into file. Disk full?");
            throw SAbort();
        }
        const std::uint64_t dataStart = stream->Tell();
        const std::size_t scansPerBlock = std::max<std::size_t>(1, (1u << 16) / scanSize);
        const auto block = std::make_unique_for_overwrite<unsigned char[]>(scansPerBlock * scanSize);
        std::size_t inBlock = 0;
        unsigned written = 0;
        auto flushBlock = [&]() {
            if (inBlock == 0) return;
            if (JobCancellation::Requested()) { Report(errorText, "%s", JobCancellation::kInterruptedMessage); throw SAbort(); }
            stream->Write(block.get(), inBlock * scanSize);
            inBlock = 0;
            if (stream->Fail()) {
                Report(errorText, "Can't write data into file. Disk full?");
                throw SAbort();
            }
        };
        CAsciiLineReader reader(f, start.llOffset, start.uLine, useScanner);
        for (bool more = true; more && written < nLines;) {
            switch (reader.Next(values.data(), count)) {
            case CAsciiLineReader::EResult::line: {
                unsigned char* const p = block.get() + inBlock * scanSize;
                for (const SColumnCoding& c : coding) {
                    const double v = (c.uColumn < count ? values[c.uColumn] : 0.0) * c.dScale;
                    unsigned char* q = p + c.nOffset;
                    switch (c.iType) {
                    case it__int16: {
                        const std::int16_t s = std::int16_t(ToInteger(v, c.dFullScale));
                        std::memcpy(q, &s, 2);
                        break;
                    }
                    case it__int24: {
                        const std::int32_t s = ToInteger(v, c.dFullScale);
                        q[0] = std::uint8_t(s);
                        q[1] = std::uint8_t(s >> 8);
                        q[2] = std::uint8_t(s >> 16);
                        break;
                    }
                    case it__int32: {
                        const std::int32_t s = ToInteger(v, c.dFullScale);
                        std::memcpy(q, &s, 4);
                        break;
                    }
                    case it__double: std::memcpy(q, &v, 8); break;
                    default: {
                        const float s = float(v);
                        if (std::isinf(s) && std::isfinite(v)) {
                            Report(errorText, "Number out of range of 32-bit floats in line %u.\n", reader.Line());
                            throw SAbort();
                        }
                        std::memcpy(q, &s, 4);
                        break;
                    }
                    }
                }
                ++written;
                if (++inBlock == scansPerBlock) flushBlock();
                break;
            }
            case CAsciiLineReader::EResult::end: more = false; break;
            case CAsciiLineReader::EResult::restart:
                // The file changed under the first pass's feet; start the samples over.
                inBlock = 0;
                written = 0;
                stream->Seek(dataStart);
                break;
            case CAsciiLineReader::EResult::error:
                Report(errorText, "%s", reader.Error().c_str());
                throw SAbort();
            }
        }
        flushBlock();
        if (written < nLines) {
            // The file was cut between the passes: the data set would claim samples it lacks.
            Report(errorText, "Found to less numbers in file (%u*%u).\n", written, stats->Columns());
            throw SAbort();
        }
        if (!stream->Flush()) {
            Report(errorText, "Can't write data into file. Disk full?");
            throw SAbort();
        }

        Report(errorText, "Can't close TRX output file %s. The data file may be unreadable.\n", output);
        ds->Close();
        ds.reset();
        errorText.Empty();
        created.Keep();
        return 0;
    } catch (const SAbort&) {
    } catch (...) {
        // The guarded messages say which step failed; anything else gets a text too.
        if (errorText.IsEmpty()) Report(errorText, "Conversion has been aborted.\n");
    }
    if (ds) {
        try {
            ds->Close();
        } catch (...) {
        }
        ds.reset();
    }
    created.RemoveAll();
    return 1;
}

// ---- job --------------------------------------------------------------------

CString DeriveASCImportOutput(const char* input)
{
    if (CTSSettings::m_lStandardPathFlags & CTSSettings::bitASCImport) {
        CString dir = CFileName::FullPath(CTSSettings::m_sPathTRX);
        if (dir.IsEmpty() || dir[dir.GetLength() - 1] != '/') dir += "/";
        return dir + CFileName(input).GetName() + ".trx";
    }
    CFileName name(input);
    name.SetExtension(".trx");
    return name.GetPath();
}

CThreadASCImport::CThreadASCImport(const char* input, long id, long user, const char* output, const int* overwrite)
    : CThreadConversion(input, id, user), m_context(SASCImportContext::FromSettings())
{
    m_uState = TS_STATE_ASC_IMPORT;
    m_sOutput = output ? CFileName::FullPath(output) : DeriveASCImportOutput(input);
    m_bOverwrite = OutputPolicy::ResolveOverwrite(overwrite, CTSSettings::bitASCImport);
}

CThreadASCImport::~CThreadASCImport() { WaitForEnd(); }

int CThreadASCImport::Run()
{
    if (OutputPolicy::PrepareOutput(*this, m_sInput, m_sOutput, m_bOverwrite, true)) {
        SetFailed(TS_NO_TEXT);
        return -1;
    }
    CString errorText;
    int result;
    {
        CSemaphoreHolder slot(m_semAccess);
        result = ConvertASCIIToTRX(m_sInput, m_sOutput, m_context, errorText);
    }
    if (result != 0) {
        m_sText = errorText;
        SetFailed(TS_NO_TEXT);
        return -1;
    }
    m_arsProduced.Add(m_sOutput);
    return 0;
}
