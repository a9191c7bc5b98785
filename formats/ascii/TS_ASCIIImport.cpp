#include "formats/ascii/TS_ASCIIImport.h"
#include "frame/Cancellation.h"

#include "common/OutputPolicy.h"
#include "formats/ascii/AsciiColumnStats.h"
#include "formats/ascii/AsciiHeaderScan.h"
#include "formats/ascii/AsciiLineReader.h"
#include "hostlibs/basics/FileName.h"
#include "hostlibs/dataset/Dataset.h"
#include "platform/FileSystem.h"
#include "settings/TSSettings.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
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

// How one column becomes samples of the implementation type.
struct SColumnCoding {
    unsigned uColumn;     // column of the line
    double dScale;        // value × scale is the stored sample
    double dFullScale;
};

// Sample types the import writes. Types other than 16-bit, 24-bit and float
// are stored as float: writing float bits into a channel declared as, say,
// 32-bit integer or double would make its samples meaningless.
int StoredType(int implType)
{
    return implType == it__int16 || implType == it__int24 ? implType : int(it__float);
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

} // namespace

int ConvertASCIIToTRX(const char* input, const char* output, const SASCImportContext& ctx, CString& errorText)
{
    errorText.Empty();
    std::unique_ptr<CDataset> ds;
    try {
        if (!input || !*input || !output || !*output) {
            Report(errorText, "Empty file names.\n");
            throw SAbort();
        }
        std::unique_ptr<std::FILE, SFileCloser> f(std::fopen(input, "rb"));
        if (!f) {
            Report(errorText, "Can't open ASCII file %s.\n", input);
            throw SAbort();
        }
        SAsciiDataStart start;
        if (!ScanAsciiHeader(f.get(), start)) {
            Report(errorText, "Can't open ASCII file %s.\n", input);
            throw SAbort();
        }

        // First pass: statistics.
        std::vector<double> values(g_uAsciiMaxColumns);
        unsigned count = 0;
        auto stats = std::make_unique<CAsciiTableStats>();
        bool useScanner = false;
        {
            CAsciiLineReader reader(f.get(), start.llOffset, start.uLine, false);
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
        CAbscissa stored(abscName, abscAbbr, ctx.abscQuantity, ctx.abscUnit, implType, long(nLines), ac__world);
        CAbscissa calculated(abscName, abscAbbr, ctx.abscQuantity, ctx.abscUnit, layout.dXStart, layout.dXDelta,
                             long(nLines), df__linear);
        CAbscissa absc = layout.bEquidistant ? calculated : stored;
        absc.SetNbrOfScans(long(nLines));
        CAbscissaList abscissas;
        abscissas.AddTail(absc);

        // Columns in the order of a scan: the stored abscissa, then the channels.
        std::vector<SColumnCoding> coding;
        auto codingOf = [&](unsigned column, double factor) {
            const double maxAbs = stats->Column(column).dMaxAbs;
            const double fullScale = implType == it__int16 ? 32767.0 : implType == it__int24 ? 8388607.0 : maxAbs;
            const double scale = maxAbs == 0.0 ? factor : fullScale * factor / maxAbs;
            coding.push_back({column, scale, fullScale});
            if (implType == it__float) return CMapping();
            return maxAbs == 0.0 ? CMapping(0.0, 1.0, tt__linear, 0.0, 1.0, tt__linear)
                                 : CMapping(0.0, maxAbs * factor, tt__linear, 0.0, fullScale, tt__linear);
        };
        if (!layout.bEquidistant) absc.SetMapping(codingOf(0, ctx.dAbscFactor));

        CChannelList channels;
        std::vector<CMapping> channelMaps;
        for (unsigned i = 0; i < layout.uChannels; ++i) {
            const unsigned column = layout.uFirstChannelColumn + i;
            const double factor = ctx.adFactor[i];
            const double peak = stats->Column(column).dMaxAbs * factor;
            float calibration = 94.0f;
            if (peak > 0.0) {
                const double r = ctx.aUnit[i].GetReferenceValue();
                calibration = float(std::ceil(10.0 * 20.0 * std::log10(peak / (2.0 * std::sqrt(2.0) * r))) * 0.1);
            }
            CChannel ch(ctx.asName[i], ctx.asName[i], ctx.aQuantity[i], ctx.aUnit[i], implType, int(i), 1.0, 1.0,
                        static_cast<const map__dct*>(nullptr));
            ch.SetQuantisationFunc(1);
            ch.SetCalibration(calibration);
            ch.SetDeltaHeadroom(0.0f);
            ch.SetEmphasis(0);
            channels.AddTail(ch);
            channelMaps.push_back(codingOf(column, factor));
        }

        Report(errorText, "Can't open TRX output file %s.\n", output);
        ds = std::make_unique<CDataset>(output, abscissas, channels, kind,
                                        layout.bEquidistant ? ds__dorg_interleaved : ds__dorg_with_abscissa, 0L,
                                        65536L, sh__deny_write);
        errorText.Empty();
        ds->SetComment(start.sHeader.empty() ? info.c_str() : start.sHeader.c_str());
        if (!ds->SetAbscissa(0, absc)) {
            Report(errorText, "Can't write data into file. Disk full?");
            throw SAbort();
        }
        for (unsigned i = 0; i < layout.uChannels; ++i) {
            if (implType == it__float) break;
            CChannel ch = ds->GetChannel(int(i));
            ch.SetMapping(channelMaps[i]);
            ds->SetChannel(int(i), ch);
        }

        // Second pass: the samples, whole scans at a time.
        CDataStream* stream = ds->GetPtrToFile();
        if (!stream) {
            Report(errorText, "Can't write data into file. Disk full?");
            throw SAbort();
        }
        const std::uint64_t dataStart = stream->Tell();
        const std::size_t sampleSize = std::size_t(CImplType::GetSize(implType));
        const std::size_t scanSize = sampleSize * coding.size();
        const std::size_t scansPerBlock = std::max<std::size_t>(1, (1u << 16) / scanSize);
        std::vector<unsigned char> block(scansPerBlock * scanSize);
        std::size_t inBlock = 0;
        unsigned written = 0;
        auto flushBlock = [&]() {
            if (inBlock == 0) return;
            if (JobCancellation::Requested()) { Report(errorText, "%s", JobCancellation::kInterruptedMessage); throw SAbort(); }
            stream->Write(block.data(), inBlock * scanSize);
            inBlock = 0;
            if (stream->Fail()) {
                Report(errorText, "Can't write data into file. Disk full?");
                throw SAbort();
            }
        };
        CAsciiLineReader reader(f.get(), start.llOffset, start.uLine, useScanner);
        for (bool more = true; more && written < nLines;) {
            switch (reader.Next(values.data(), count)) {
            case CAsciiLineReader::EResult::line: {
                unsigned char* p = block.data() + inBlock * scanSize;
                for (const SColumnCoding& c : coding) {
                    const double v = (c.uColumn < count ? values[c.uColumn] : 0.0) * c.dScale;
                    if (implType == it__int16) {
                        const std::int16_t s = std::int16_t(ToInteger(v, c.dFullScale));
                        std::memcpy(p, &s, 2);
                    } else if (implType == it__int24) {
                        const std::int32_t s = ToInteger(v, c.dFullScale);
                        p[0] = std::uint8_t(s);
                        p[1] = std::uint8_t(s >> 8);
                        p[2] = std::uint8_t(s >> 16);
                    } else {
                        const float s = float(v);
                        std::memcpy(p, &s, 4);
                    }
                    p += sampleSize;
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
        FileSystem::RemoveFile(m_sOutput);
        return -1;
    }
    m_arsProduced.Add(m_sOutput);
    return 0;
}
