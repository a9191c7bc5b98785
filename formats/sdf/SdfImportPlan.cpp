#include "formats/sdf/SdfImportPlan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <set>

namespace {

constexpr unsigned kDistribution = 36;
constexpr unsigned kWrongSize = 41;
constexpr unsigned kXAxisKinds = 42;
constexpr unsigned kPerPoint = 46;
constexpr unsigned kComplexTime = 47;
constexpr unsigned k3D = 48;
constexpr unsigned kTooManyChannels = 49;
constexpr unsigned kMappingFactor = 50;
constexpr unsigned kChannelMissing = 51;
constexpr unsigned kShortRead = 104;

using i128 = __int128;

bool IsSpeedUnit(const CString& t) { return t == "km/h" || t == "mi/h" || t == "m/s"; }

bool IsTimeLike(int kind) { return kind == dk__time || kind == dk__rpm || kind == dk__speed; }

// The window correction of one channel: the narrow-band factor unless it is
// 0 or 1, else the wide-band factor unless it is 0.
double WindowCorrection(const SDF_CHANNEL_HDR& c)
{
    if (c.narrowBandCorr != 0.0f && c.narrowBandCorr != 1.0f)
        return c.narrowBandCorr;
    if (c.wideBandCorr != 0.0f)
        return c.wideBandCorr;
    return 1.0;
}

float CalibrationOf(double fullScale, double reference)
{
    if (!(reference > 0.0))
        reference = 1.0;
    if (!(fullScale > 0.0) || !std::isfinite(fullScale))
        return 0.0f;
    double db = std::ceil(20.0 * std::log10(fullScale / (std::sqrt(2.0) * reference)));
    return float(std::clamp(db, -400.0, 400.0));
}

std::uint16_t Load16(const unsigned char* p) { return std::uint16_t(p[0] << 8 | p[1]); }
std::uint32_t Load32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
std::uint64_t Load64(const unsigned char* p) { return std::uint64_t(Load32(p)) << 32 | Load32(p + 4); }

double ValueAt(int sdfType, const unsigned char* p)
{
    switch (sdfType) {
    case it__sdf_short: return double(std::int16_t(Load16(p)));
    case it__sdf_long: return double(std::int32_t(Load32(p)));
    case it__sdf_float: { std::uint32_t u = Load32(p); float f; std::memcpy(&f, &u, 4); return f; }
    default: { std::uint64_t u = Load64(p); double d; std::memcpy(&d, &u, 8); return d; }
    }
}

// Quantity and unit of an abscissa from its domain code and unit record.
void AxisOf(int domain, const SDFSIUnit& unit, CQuantity& q, CUnit& u)
{
    q = CQuantity::SdfXAxis2Trx(domain);
    u = CUnit::Sdf2Trx(unit, 1.0);
    if (u.IsEmpty() && !q.IsVirtual() && q.GetName() != "index") {
        // A record without a unit: the unit of the domain's quantity.
        u = CUnit(q.GetDefaultUnitText(), 1);
    } else if (!u.IsVirtual() && (q.IsVirtual() || !u.CheckQuantityIsValid(q))) {
        q = u.GetDefaultQuantity();
    }
}

}  // namespace

// ================================================================ planner

CSdfImportPlanner::CSdfImportPlanner(const CSdfHeaderSet& headers, ISdfInput& in)
    : m_h(headers), m_in(in), m_uSize(in.Size()), m_llYCursor(headers.llYStart), m_llXCursor(headers.llXStart)
{
    for (int i = 0; i < int(m_h.data.size()); ++i) {
        const int raw = CDataKind::Sdf2Trx(m_h.data[std::size_t(i)].dataType);
        const int kind = ResultKind(i);
        if (raw == dk__speed || (raw == dk__time && kind != dk__time))
            m_bSpeed = true;
    }
}

int CSdfImportPlanner::VectorCount(int i) const
{
    const int first = m_h.data[std::size_t(i)].firstVectorRecord;
    if (first < 0 || first >= int(m_h.vectorTable.size()))
        return 1;
    return std::max(1, m_h.vectorTable[std::size_t(first)].iVectorsOfDataHdr);
}

int CSdfImportPlanner::ValueBytes(int i) const
{
    const SDF_DATA_HDR& d = m_h.data[std::size_t(i)];
    return CImplType::GetSize(CImplType::Sdf2Trx(d.yDataType, d.yIsComplex != 0));
}

CUnit CSdfImportPlanner::ResultUnit(int i) const
{
    const SDF_DATA_HDR& d = m_h.data[std::size_t(i)];
    if (d.yUnitValid != 0)
        return CUnit::Sdf2Trx(d.yUnit, 1.0);
    const int first = d.firstVectorRecord;
    if (first < 0 || first >= int(m_h.vectorTable.size()))
        return CUnit();
    const int a = m_h.vectorTable[std::size_t(first)].aChannel[0];
    if (a < 0 || a >= int(m_h.channels.size()))
        return CUnit();
    return CUnit::Sdf2Trx(m_h.channels[std::size_t(a)].engUnit, 1.0);
}

int CSdfImportPlanner::ResultKind(int i) const
{
    const int kind = CDataKind::Sdf2Trx(m_h.data[std::size_t(i)].dataType);
    if (kind != dk__time)
        return kind;
    const CString unit = ResultUnit(i).GetText();
    if (unit == "rpm")
        return dk__rpm;
    if (IsSpeedUnit(unit))
        return dk__speed;
    return kind;
}

// The scan-var values behind the scan-big record as a calculated abscissa of
// `scans` values: linear or logarithmic within the precision of their type.
// Values of another spacing (or too few, or of no known type) leave the
// scans on the first abscissa.
bool CSdfImportPlanner::RowAbscissa(long long scans, CAbscissa& rows) const
{
    const SDF_SCAN_VAR& v = m_h.rowVar;
    const int type = v.scanVarDataType;
    if (!m_h.bRowValues || scans < 2 || type < it__sdf_short || type > it__sdf_double)
        return false;
    const int size = CImplType::GetSize(CImplType::Sdf2Trx(type, false));
    if (size <= 0 || (long long)v.recordSize - 54 < scans * size ||
        i128(m_h.llRowValues) + i128(scans) * size > i128(m_uSize))
        return false;
    unsigned char one[8];
    auto at = [&](long long k, double& x) {
        if (m_in.ReadAt(std::uint64_t(m_h.llRowValues + k * size), one, std::size_t(size)) != size)
            return false;
        x = ValueAt(type, one);
        return std::isfinite(x);
    };
    double x0 = 0.0, xn = 0.0;
    if (!at(0, x0) || !at(scans - 1, xn) || x0 == xn)
        return false;
    const double steps = double(scans - 1);
    const double delta = (xn - x0) / steps;
    const bool logPossible = x0 > 0.0 && xn > 0.0;
    const double ratio = logPossible ? std::pow(xn / x0, 1.0 / steps) : 0.0;
    const double tol = type == it__sdf_double ? 1e-9 : 1e-6;
    bool linear = true, logarithmic = logPossible;
    std::vector<unsigned char> raw(std::size_t(8192) * std::size_t(size));
    for (long long k = 0; k < scans && (linear || logarithmic); k += 8192) {
        const long long m = std::min(8192LL, scans - k);
        const std::size_t bytes = std::size_t(m) * std::size_t(size);
        if (m_in.ReadAt(std::uint64_t(m_h.llRowValues + k * size), raw.data(), bytes) != (long long)bytes)
            return false;
        for (long long j = 0; j < m; ++j) {
            const double x = ValueAt(type, raw.data() + std::size_t(j) * std::size_t(size));
            const double lin = x0 + double(k + j) * delta;
            linear = linear && std::fabs(x - lin) <= tol * std::max({std::fabs(x0), std::fabs(xn), std::fabs(delta)});
            const double geo = x0 * std::pow(ratio, double(k + j));
            logarithmic = logarithmic && std::fabs(x - geo) <= tol * std::fabs(geo);
        }
    }
    if (!linear && !logarithmic)
        return false;
    CQuantity q;
    CUnit u;
    AxisOf(v.scanVarType, v.scanVarUnit, q, u);
    CString name = Sdf::FieldText(v.scanVarLabel, sizeof v.scanVarLabel);
    if (name.IsEmpty())
        name = q.GetName();
    rows = linear ? CAbscissa(name, q.GetAbbreviation(), q, u, x0, delta, long(scans), df__linear)
                  : CAbscissa(name, q.GetAbbreviation(), q, u, x0, ratio, long(scans), df__logarithmic);
    return true;
}

SSdfResultPlan CSdfImportPlanner::Plan(int i)
{
    SSdfResultPlan p;
    const SDF_DATA_HDR& d = m_h.data[std::size_t(i)];
    const bool rev3 = m_h.file.revision >= 3;
    auto fail = [&p](unsigned code, const CString& arg = CString()) {
        if (!p.uCode) {
            p.uCode = code;
            p.sArg = arg;
        }
    };

    p.iIndex = i;
    p.nVectors = VectorCount(i);
    p.llPoints = (long long)d.lastValidIndex + 1;
    p.iYType = d.yDataType;
    p.bComplex = d.yIsComplex != 0;
    p.bSumComplex = d.yIsPowerData != 0;
    p.iValueBytes = ValueBytes(i);
    p.iImplType = CImplType::Sdf2Trx(d.yDataType, false);
    p.llTraceBytes = (long long)p.iValueBytes * std::max(0LL, p.llPoints);

    // Scan layout.
    const bool scans = d.scanData == 1 && (m_h.bScanStruct || m_h.bScanBig);
    if (!scans) {
        p.llScans = 1;
    } else if (m_h.bScanBig && m_h.scanBig.recordType == SDF_SCAN_BIG_TYPE) {
        p.llScans = (long long)m_h.scanBig.lastScanIndex + 1;
        p.bInterleaved = m_h.scanBig.scanType == 1;
    } else {
        p.llScans = (long long)m_h.scanStruct.lastScanIndex + 1;
        p.bInterleaved = m_h.scanStruct.scanType == 1;
    }
    i128 blockOffset = 0;
    if (p.bInterleaved) {
        i128 all = 0;
        for (int r = 0; r < int(m_h.data.size()); ++r) {
            const i128 pts = std::max<long long>(0, (long long)m_h.data[std::size_t(r)].lastValidIndex + 1);
            const i128 bytes = pts * ValueBytes(r) * VectorCount(r);
            if (r < i)
                blockOffset += bytes;
            all += bytes;
        }
        p.llScanBytes = (long long)std::min<i128>(all, std::numeric_limits<long long>::max());
        p.llYBase = (long long)std::min<i128>(m_h.llYStart + blockOffset, std::numeric_limits<long long>::max());
    } else {
        p.llScanBytes = (long long)std::min<i128>(i128(p.llTraceBytes) * p.nVectors, std::numeric_limits<long long>::max());
        p.llYBase = m_llYCursor;
    }

    // Checks, in the order the refusals are reported.
    p.iKind = ResultKind(i);
    if (d.xResolutionType == 4)
        fail(kXAxisKinds);
    if (d.xPerPoint > 1 || d.yPerPoint >= 2)
        fail(kPerPoint);
    if (p.iKind == dk__time && p.bComplex) {
        fail(kComplexTime);
        return p;
    }
    const bool scanTable = m_h.llScanTable >= 0 || m_h.llScanValues >= 0;
    if (!IsTimeLike(p.iKind) && p.llScans >= 2 && scanTable) {
        fail(k3D);
        return p;
    }
    if (p.nVectors > 256)
        fail(kTooManyChannels, "256");
    const int first = std::max(0, d.firstVectorRecord);
    for (int c = 0; c < p.nVectors; ++c) {
        const int v = first + c;
        const bool known = v < int(m_h.vectorTable.size());
        const int a = known ? m_h.vectorTable[std::size_t(v)].aChannel[0] : -1;
        const int b = known ? m_h.vectorTable[std::size_t(v)].aChannel[1] : -1;
        if (a < 0 || a >= int(m_h.channels.size())) {
            fail(kChannelMissing, CString::Formatted("%d", v));
            return p;
        }
        if (b >= int(m_h.channels.size()) || b < -1) {
            fail(kChannelMissing, CString::Formatted("%d", v));
            return p;
        }
        for (int ch : {a, b})
            if (ch >= 0 && !(m_h.channels[std::size_t(ch)].int2engrUnit != 0.0f &&
                             std::isfinite(m_h.channels[std::size_t(ch)].int2engrUnit)))
                fail(kMappingFactor, CString::Formatted("%d", ch));
    }
    // Beyond the checks above: a result that the file cannot hold, or whose
    // values have no type, is refused before anything is made of it.
    if (p.iValueBytes == 0 || p.iImplType == it__none || p.llPoints < 0 || p.llScans <= 0)
        fail(kWrongSize);
    if (p.uCode)
        return p;
    const i128 yEnd = i128(p.llYBase) + i128(p.llScanBytes) * (p.llScans - 1) + i128(p.llTraceBytes) * p.nVectors;
    if (p.llYBase < 0 || yEnd > i128(m_uSize)) {
        fail(kShortRead);
        return p;
    }
    if (!p.bInterleaved)
        m_llYCursor = (long long)(i128(p.llYBase) + i128(p.llScanBytes) * p.llScans);

    // Abscissa; with a second abscissa the first counts the points of one scan.
    CQuantity q;
    CUnit u;
    AxisOf(d.domain, d.xUnit, q, u);
    const bool scanBig = scans && m_h.bScanBig && m_h.scanBig.recordType == SDF_SCAN_BIG_TYPE;
    p.bRows = scanBig && !m_bSpeed && p.iKind != dk__rpm && p.iKind != dk__speed && p.llPoints >= 1 &&
              RowAbscissa(p.llScans, p.rows);
    const long long total = p.bRows ? p.llPoints : p.llScans * p.llPoints;
    const CString aName = q.GetName();
    const CString aAbbr = q.GetAbbreviation();
    if (d.xResolutionType == 0 || d.xResolutionType == 1) {
        const double x0 = rev3 ? d.abscissaFirstX : double(d.abscissaFirstX32);
        const double dx = rev3 ? d.abscissaDeltaX : double(d.abscissaDeltaX32);
        if (!std::isfinite(x0) || !std::isfinite(dx) || (d.xResolutionType == 1 && !(x0 > 0.0 && dx > 0.0))) {
            fail(kDistribution);
            return p;
        }
        p.abscissa = CAbscissa(aName, aAbbr, q, u, x0, dx, long(total),
                               d.xResolutionType == 0 ? df__linear : df__logarithmic);
    } else if (d.xResolutionType == 2 || d.xResolutionType == 3) {
        p.iXImplType = CImplType::Sdf2Trx(d.xDataType, false);
        p.iXValueBytes = CImplType::GetSize(p.iXImplType);
        if (p.iXImplType == it__none || d.xDataType == 0) {
            fail(kDistribution);
            return p;
        }
        p.bStoredX = true;
        p.llXBase = d.xResolutionType == 2 ? m_h.llXStart : m_llXCursor;
        const i128 xEnd = i128(p.llXBase) + i128(p.llPoints) * p.iXValueBytes;
        if (!m_h.bXData || p.llXBase < 0 || xEnd > i128(m_uSize)) {
            fail(kShortRead);
            return p;
        }
        if (d.xResolutionType == 3)
            m_llXCursor = (long long)xEnd;
        p.abscissa = CAbscissa(aName, aAbbr, q, u, p.iXImplType, long(total), ac__world);
    } else {
        fail(kDistribution);
        return p;
    }

    // Channels, one per vector.
    const bool windowDomain = d.domain == sdf__x_frequency || d.domain == sdf__x_order;
    const bool integer = d.yDataType == it__sdf_short || d.yDataType == it__sdf_long;
    std::set<int> used;
    for (int c = 0; c < p.nVectors; ++c) {
        const SSdfVectorEntry& e = m_h.vectorTable[std::size_t(first + c)];
        const SDF_CHANNEL_HDR& a = m_h.channels[std::size_t(e.aChannel[0])];
        const SDF_CHANNEL_HDR* b = e.aChannel[1] >= 0 ? &m_h.channels[std::size_t(e.aChannel[1])] : nullptr;
        const double ea = e.aPower[0] / 48.0;
        const double eb = e.aPower[1] / 48.0;
        const CString title = b ? Sdf::FieldText(d.dataTitle, 16) : Sdf::FieldText(a.channelLabel, 30);
        int phys = rev3 ? a.channelNumber : e.aChannel[0];
        while (used.count(phys))
            ++phys;
        used.insert(phys);
        const CUnit unit = d.yUnitValid != 0 ? CUnit::Sdf2Trx(d.yUnit, 1.0)
                                             : CUnit::Sdf2Trx(a.engUnit, ea, b ? &b->engUnit : nullptr, eb);
        double window = std::pow(WindowCorrection(a), ea);
        if (b)
            window *= std::pow(WindowCorrection(*b), eb);
        const double I = a.int2engrUnit;
        CMapping mapping;
        if (IsTimeLike(p.iKind)) {
            if (integer)
                mapping = CMapping(a.channelScale + a.channelOffset, 2.0 * a.channelScale + a.channelOffset, tt__linear,
                                   I, 2.0 * I, tt__linear);
            else
                mapping = CMapping(1.0, 2.0, tt__linear, I, 2.0 * I, tt__linear);
        } else {
            double F = std::pow(1.0 / I, ea);
            if (b)
                F *= std::pow(1.0 / double(b->int2engrUnit), eb);
            if (d.windowApplied == 0 && windowDomain)
                F *= window;
            mapping = CMapping(F, 2.0 * F, tt__linear, 1.0, 2.0, tt__linear);
        }
        if (!mapping.IsValid() || !std::isfinite(mapping.GetFactor()) || !std::isfinite(mapping.GetOffset())) {
            fail(kMappingFactor, CString::Formatted("%d", e.aChannel[0]));
            return p;
        }
        CChannel ch(title, title, unit.GetDefaultQuantity(), unit, p.iImplType, phys, 1.0, 1.0, mapping);
        ch.SetTitle(title);
        const bool corrMode = a.windowCorrMode != 0 && (!b || b->windowCorrMode != 0);
        ch.SetDeltaAmplPowCorrFact(windowDomain ? window : 1.0, d.windowApplied != 0 || corrMode ? 1.0 : 0.0);
        if (integer) {
            const double range = p.iImplType == it__int16 ? 32768.0 : 2147483648.0;
            ch.SetCalibration(CalibrationOf(std::fabs(mapping.GetFactor()) * range, unit.GetReferenceValue()));
            ch.SetDeltaHeadroom(0.0f);
        }
        p.channels.Add(ch);
    }
    if (m_bSpeed && p.iKind == dk__time) {
        int phys = 0;
        while (used.count(phys))
            ++phys;
        CChannel pulse("Pulse Channels", "SC", CQuantity(""), CUnit("", 1), it__pulse, phys, 1.0, 2.0, nullptr);
        pulse.SetTitle("Pulse Channels");
        p.channels.Add(pulse);
        p.bPulseChannel = true;
    }
    return p;
}

// ================================================================ values

CSdfValueReader::CSdfValueReader(ISdfInput& in, const SSdfResultPlan& plan, std::size_t bufferBytes)
    : m_in(in), m_plan(plan)
{
    m_outSize = CImplType::GetSize(plan.iImplType);
    m_channelOffset = plan.bStoredX ? std::size_t(plan.iXValueBytes) : 0;
    m_scanBytes = m_channelOffset + std::size_t(plan.nVectors) * std::size_t(m_outSize) + (plan.bPulseChannel ? 1 : 0);
    // Complex values take one unit of the buffer, their converted values the rest.
    const std::size_t unit = plan.bComplex ? bufferBytes / 3 : bufferBytes;
    // Real values of every channel are read side by side and turned into
    // scans in one pass; complex values one channel at a time.
    const std::size_t traces = plan.bComplex ? 1 : std::size_t(std::max(1, plan.nVectors));
    m_blockPoints = long(std::max<std::size_t>(1, unit / (traces * std::size_t(std::max(1, plan.iValueBytes)))));
    m_rawBytes = std::size_t(m_blockPoints) * std::max(traces * std::size_t(std::max(1, plan.iValueBytes)),
                                                       std::size_t(std::max(1, plan.iXValueBytes)));
    m_peaks.assign(std::size_t(plan.nVectors), 0.0);
}

unsigned char* CSdfValueReader::Raw()
{
    // Allocated once, on first use, and never cleared: only what is read is used.
    if (!m_raw)
        m_raw.reset(new unsigned char[m_rawBytes]);
    return m_raw.get();
}

long CSdfValueReader::Next(unsigned char* out, long maxScans)
{
    const SSdfResultPlan& p = m_plan;
    if (m_uCode || m_scan >= p.llScans || p.llPoints <= 0 || maxScans <= 0)
        return 0;
    const long k = long(std::min<long long>({(long long)maxScans, p.llPoints - m_point, (long long)m_blockPoints}));
    auto readAt = [&](long long pos, std::size_t bytes) {
        long long got = m_in.ReadAt(std::uint64_t(pos), Raw(), bytes);
        if (got != (long long)bytes) {
            m_uCode = kShortRead;
            return false;
        }
        return true;
    };

    if (p.bStoredX) {
        const int xs = p.iXValueBytes;
        if (!readAt(p.llXBase + m_point * xs, std::size_t(k) * std::size_t(xs)))
            return 0;
        Sdf::SwapBytes(Raw(), xs, std::size_t(k));
        for (long j = 0; j < k; ++j)
            std::memcpy(out + std::size_t(j) * m_scanBytes, Raw() + std::size_t(j) * std::size_t(xs), std::size_t(xs));
    }

    const int vb = p.iValueBytes;
    const int os = m_outSize;
    const std::size_t trace = std::size_t(k) * std::size_t(vb);
    const long long first = p.llYBase + p.llScanBytes * m_scan + m_point * vb;   // channel 0
    if (!p.bComplex) {
        // Same width in and out: only the byte order changes. (Read, not
        // mapped: on the virtual machines the system runs on, the first touch
        // of each newly mapped page costs more than copying it into a buffer
        // that stays mapped and in the cache.)
        for (int c = 0; c < p.nVectors; ++c) {
            const long long pos = first + p.llTraceBytes * c;
            if (m_in.ReadAt(std::uint64_t(pos), Raw() + std::size_t(c) * trace, trace) != (long long)trace) {
                m_uCode = kShortRead;
                return 0;
            }
        }
        if (m_channelOffset == 0 && !p.bPulseChannel)
            Sdf::InterleaveSwapped(Raw(), trace, p.nVectors, out, vb, std::size_t(k));
        else
            for (int c = 0; c < p.nVectors; ++c)
                Sdf::CopySwapped(Raw() + std::size_t(c) * trace, std::size_t(vb),
                                 out + m_channelOffset + std::size_t(c) * std::size_t(os), m_scanBytes, vb,
                                 std::size_t(k));
    }
    for (int c = 0; c < p.nVectors; ++c) {
        unsigned char* dst = out + m_channelOffset + std::size_t(c) * std::size_t(os);
        double& peak = m_peaks[std::size_t(c)];
        if (!p.bComplex) {
            if (p.iYType == it__sdf_float) {
                const unsigned char* s = dst;
                float top = 0.0f;
                for (long j = 0; j < k; ++j, s += m_scanBytes) {
                    float f;
                    std::memcpy(&f, s, 4);
                    if (std::isfinite(f)) top = std::max(top, std::fabs(f));
                }
                peak = std::max(peak, double(top));
            } else if (p.iYType == it__sdf_double) {
                const unsigned char* s = dst;
                for (long j = 0; j < k; ++j, s += m_scanBytes) {
                    double v;
                    std::memcpy(&v, s, 8);
                    if (std::isfinite(v)) peak = std::max(peak, std::fabs(v));
                }
            }
            continue;
        }
        if (!readAt(first + p.llTraceBytes * c, trace))
            return 0;
        const unsigned char* src = Raw();
        const int half = vb / 2;
        for (long j = 0; j < k; ++j, dst += m_scanBytes, src += vb) {
            const double re = ValueAt(p.iYType, src);
            const double im = ValueAt(p.iYType, src + half);
            const double v = p.bSumComplex ? re + im : re * re + im * im;
            switch (p.iImplType) {
            case it__int16: {
                const std::int16_t s = std::int16_t(std::clamp(v, -32768.0, 32767.0));
                std::memcpy(dst, &s, 2);
                break;
            }
            case it__int32: {
                const std::int32_t s = std::int32_t(std::clamp(v, -2147483648.0, 2147483647.0));
                std::memcpy(dst, &s, 4);
                break;
            }
            case it__float: {
                const float f = float(v);
                std::memcpy(dst, &f, 4);
                if (std::isfinite(f)) peak = std::max(peak, double(std::fabs(f)));
                break;
            }
            default:
                std::memcpy(dst, &v, 8);
                if (std::isfinite(v)) peak = std::max(peak, std::fabs(v));
                break;
            }
        }
    }
    if (p.bPulseChannel)
        for (long j = 0; j < k; ++j)
            out[std::size_t(j) * m_scanBytes + m_scanBytes - 1] = 0;

    m_point += k;
    if (m_point >= p.llPoints) {
        m_point = 0;
        ++m_scan;
    }
    return k;
}
