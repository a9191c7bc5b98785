#include "hostlibs/dataset/Access.h"

#include "hostlibs/dataset/DatasetCore.h"
#include "hostlibs/dataset/SampleCodec.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

using trx::SValue;

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Phase difference brought into (−π, π].
double Wrap(double d)
{
    d = std::remainder(d, kTwoPi);
    return d <= -std::numbers::pi ? d + kTwoPi : d;
}

// Physical value of a stored sample by the channel's mapping. A complex
// value s stands for s × factor + offset under a linear mapping, that is
// (re × factor + offset, im × factor). A non-linear (logarithmic) mapping
// has no meaning for a signed part, so it maps the magnitude and keeps the
// phase: |p| = M(|s|), arg p = arg s (and s = 0 gives M(0)).
SValue Polar(double (CMapping::*map)(double) const, const CMapping& m, SValue v)
{
    double mag = std::hypot(v.re, v.im);
    double to = (m.*map)(mag);
    if (mag == 0.0) return {to, 0.0};
    return {to * v.re / mag, to * v.im / mag};
}

SValue ToPhysical(const CMapping& m, SValue v, bool complex)
{
    if (m.IsIdentity()) return v;
    if (!complex) return {m.ToPhysical(v.re), 0.0};
    if (m.IsLinear()) return {v.re * m.GetFactor() + m.GetOffset(), v.im * m.GetFactor()};
    return Polar(&CMapping::ToPhysical, m, v);
}

SValue FromPhysical(const CMapping& m, SValue v, bool complex)
{
    if (m.IsIdentity()) return v;
    if (!complex) return {m.FromPhysical(v.re), 0.0};
    if (m.IsLinear()) return {(v.re - m.GetOffset()) / m.GetFactor(), v.im / m.GetFactor()};
    return Polar(&CMapping::FromPhysical, m, v);
}

} // namespace

CAccess::CAccess(CDatasetCore* core, int mode) : m_core(core), m_iMode(mode) {}

bool CAccess::Bind(const CChNbrList& channels)
{
    const trx::SLayout& l = m_core->layout;
    int m = 0;
    std::vector<std::vector<unsigned long long>> offsets;
    for (int c : channels) {
        if (c < 0 || std::size_t(c) >= m_core->desc.channels.size())
            return Fail(CString::Formatted("TRX data set %s: channel %d does not exist", m_core->sPath.c_str(), c));
        int occ = int(l.channelOffsets[std::size_t(c)].size());
        if (occ == 0)
            return Fail(CString::Formatted("TRX data set %s: channel %d has no samples in the sampling pattern",
                                           m_core->sPath.c_str(), c));
        if (m == 0) m = occ;
        else if (occ != m)
            return Fail(CString::Formatted("TRX data set %s: channels %d and %d run at different rates; one access "
                                           "reads channels of one rate", m_core->sPath.c_str(), channels.GetAt(0), c));
        offsets.emplace_back(l.channelOffsets[std::size_t(c)].begin(), l.channelOffsets[std::size_t(c)].end());
    }
    m_perScan = m == 0 ? 1 : m;
    m_offsets = std::move(offsets);
    if (m_channels != channels || m_maps.size() != std::size_t(channels.GetCount())) {
        m_channels = channels;
        m_maps.assign(std::size_t(channels.GetCount()), SChannelMap());
    }
    return true;
}

long CAccess::DeclaredScans() const { return long(m_core->DeclaredScans()) * m_perScan; }

long CAccess::RangeEnd() const { return m_lCount < 0 ? DeclaredScans() : m_lFirst + m_lCount; }

long CAccess::ReadableEnd() const
{
    return std::min(RangeEnd(), long(m_core->AvailableScans()) * m_perScan);
}

long CAccess::GetNbrOfScans() const { return std::max(0L, RangeEnd() - m_lFirst); }
long CAccess::GetEndIndex() const { return RangeEnd() - 1; }
bool CAccess::Finished() const { return m_lPos >= RangeEnd(); }

bool CAccess::SpecifyScans(long firstScan, long nbrOfScans)
{
    if (firstScan < 0) return Fail("TRX access: negative first scan");
    m_lFirst = firstScan;
    m_lCount = nbrOfScans < 0 ? -1 : nbrOfScans;
    m_lPos = m_lFirst;
    return true;
}

double CAccess::Value(long scan) const
{
    const trx::SDescription& d = m_core->desc;
    const CAbscissa& a = d.abscissas[0];
    long s = scan;
    if (d.abscissas.size() == 2 && a.GetNbrOfScans() > 0) s = scan % a.GetNbrOfScans();
    if (a.IsCalc()) return a.GetValue(double(s) / m_perScan);
    double v[3];
    if (!m_core->StoredAbscissa(std::uint64_t(s / m_perScan), v)) return std::numeric_limits<double>::quiet_NaN();
    return m_core->layout.iAbscValues == 3 ? v[1] : v[0];
}

double CAccess::GetAbscissaValue(long scan) const { return Value(scan); }

double CAccess::GetWorldFixAbsc(int abscissa, long index) const
{
    const trx::SDescription& d = m_core->desc;
    if (abscissa < 0 || std::size_t(abscissa) >= d.abscissas.size() || index < 0)
        return std::numeric_limits<double>::quiet_NaN();
    const CAbscissa& a = d.abscissas[std::size_t(abscissa)];
    if (a.IsCalc()) return a.GetValue(double(index));
    return Value(index * m_perScan);
}

bool CAccess::Specify(const CChNbrList& channels, int abscissa, double from, double to, double tolerance, int bounds,
                      int selection, int reserved, bool byIndex)
{
    const trx::SDescription& d = m_core->desc;
    if (reserved != 0) return Fail("TRX access: the eighth argument of Specify is reserved and must be 0");
    if (abscissa < 0 || std::size_t(abscissa) >= d.abscissas.size())
        return Fail(CString::Formatted("TRX data set %s: abscissa %d does not exist", m_core->sPath.c_str(), abscissa));
    if (!std::isfinite(from) || std::isnan(to) || !(tolerance >= 0.0) || bounds < 0 || bounds > 3 || selection < 0 ||
        selection > 2)
        return Fail("TRX access: bad range arguments");
    if (!Bind(channels)) return false;
    m_iAbscissa = abscissa;
    long total = DeclaredScans();
    long rowLen = 1;   // access scans per index of the chosen abscissa
    long rows = total;
    if (abscissa == 1) {
        rowLen = std::max(1L, d.abscissas[0].GetNbrOfScans());
        rows = d.abscissas[1].GetNbrOfScans();
    }
    long first, last;
    if (byIndex) {
        // Indices beyond any data set are cut before they become integers.
        const double limit = double(trx::kMaxScans);
        if (from < 0) from = 0;
        from = std::min(from, limit);
        if (to > limit) to = limit;
        first = long(std::floor(from));
        last = (to < 0 || !std::isfinite(to)) ? rows - 1 : long(std::floor(to));
        // A writer may name scans beyond the data it is about to write.
        if (m_iMode == am__read || to < 0 || abscissa == 1) last = std::min(last, rows - 1);
    } else {
        if (abscissa == 0 && d.abscissas.size() == 2)
            return Fail("TRX access: abscissa 0 of a data set with two abscissas is selected by scan index");
        auto value = [&](long i) {
            return abscissa == 1 ? d.abscissas[1].GetValue(double(i)) : Value(i);
        };
        // first index in [0, rows) for which pred holds (rows when none); pred is monotonic false→true.
        auto firstTrue = [&](auto pred) {
            long lo = 0, hi = rows;
            while (lo < hi) {
                long mid = lo + (hi - lo) / 2;
                if (pred(mid)) hi = mid;
                else lo = mid + 1;
            }
            return lo;
        };
        auto atOrAbove = [&](double b, bool include) {
            return firstTrue([&](long i) { double v = value(i); return include ? v >= b - tolerance : v > b + tolerance; });
        };
        if (selection == 2) {
            first = atOrAbove(from, bounds & 1);
            last = atOrAbove(to, !(bounds & 2)) - 1;   // last whose value is below (or at) `to`
        } else if (selection == 1) {
            first = std::max(0L, atOrAbove(from, false) - 1);
            last = std::min(rows - 1, atOrAbove(to, true));
        } else {
            auto nearest = [&](double b) {
                long i = atOrAbove(b, true);
                if (i >= rows) return rows - 1;
                if (i > 0 && std::fabs(value(i - 1) - b) <= std::fabs(value(i) - b)) return i - 1;
                return i;
            };
            first = nearest(from);
            last = nearest(to);
        }
    }
    first = std::max(0L, first);
    m_lFirst = first * rowLen;
    m_lCount = last < first ? 0 : (last - first + 1) * rowLen;
    m_lPos = m_lFirst;
    return true;
}

bool CAccess::SetChannelMapping(const CChNbrList& channels, int kind, const map__dct* record)
{
    if (kind == mk__record) {
        if (!record) return Fail("TRX access: destination mapping kind 2 needs a mapping record");
        return SetChannelMapping(channels, kind, CMapping(*record));
    }
    return SetChannelMapping(channels, kind, CMapping());
}

bool CAccess::SetChannelMapping(const CChNbrList& channels, int kind, const CMapping& mapping)
{
    if (kind != mk__raw && kind != mk__physical && kind != mk__record)
        return Fail(CString::Formatted("TRX access: unknown destination mapping kind %d", kind));
    if (kind == mk__record && !mapping.IsValid()) return Fail("TRX access: invalid destination mapping");
    bool all = true;
    for (int c : channels) {
        bool found = false;
        for (std::size_t i = 0; i < std::size_t(m_channels.GetCount()); ++i)
            if (m_channels.GetAt(int(i)) == c) {
                m_maps[i].kind = kind;
                m_maps[i].mapping = kind == mk__record ? mapping : CMapping();
                found = true;
            }
        all = all && found;
    }
    if (!all) return Fail("TRX access: a channel of the mapping list is not part of the access");
    return true;
}

bool CAccess::SetAbscissaCoord(int coordinate)
{
    if (coordinate != ac__index && coordinate != ac__world && coordinate != ac__band)
        return Fail(CString::Formatted("TRX access: unknown abscissa coordinate %d", coordinate));
    m_iCoord = coordinate;
    return true;
}

bool CAccess::SetAccessModeToComplexData(int kind)
{
    if (kind < ca__default || kind > ca__group_delay)
        return Fail(CString::Formatted("TRX access: unknown complex access kind %d", kind));
    m_iComplex = kind;
    return true;
}

long CAccess::GetScanBytes(int organisation, int implType) const
{
    long size = CImplType::GetSize(implType);
    long abs = organisation == ds__dorg_with_abscissa ? (m_iCoord == ac__band ? 3 : 1) : 0;
    return size * (abs + m_channels.GetCount());
}

bool CAccess::FastPath(int organisation, int implType) const
{
    const trx::SDescription& d = m_core->desc;
    const trx::SLayout& l = m_core->layout;
    if (organisation != ds__dorg_interleaved || l.iAbscValues != 0 || d.iScanMode != sm__single_rate)
        return false;
    if (std::size_t(m_channels.GetCount()) != d.channels.size() || d.channels.empty()) return false;
    if (CImplType::IsComplex(implType) ? m_iComplex != ca__default : false) return false;
    for (int i = 0; i < m_channels.GetCount(); ++i) {
        const CChannel& c = d.channels[std::size_t(i)];
        if (m_channels.GetAt(i) != i || c.GetImplType() != implType) return false;
        if (c.IsComplex() && m_iComplex != ca__default) return false;
        const SChannelMap& m = m_maps[std::size_t(i)];
        if (m.kind == mk__raw) continue;
        if (!c.GetMapping().IsIdentity()) return false;
        if (m.kind == mk__record && !m.mapping.IsIdentity()) return false;
    }
    return true;
}

// Abscissa values of an access scan in the access's coordinate.
bool CAccess::AbscissaValues(long scan, const unsigned char* fileScan, double* v, int count) const
{
    const trx::SDescription& d = m_core->desc;
    const trx::SLayout& l = m_core->layout;
    const CAbscissa& a = d.abscissas[0];
    if (m_iCoord == ac__index) {
        v[0] = double(scan);
        return true;
    }
    if (!a.IsCalc()) {
        if ((count == 3) != (l.iAbscValues == 3))
            return Fail(CString::Formatted("TRX data set %s: abscissa 0 holds %d value(s) per scan, the access asks for %d",
                                           m_core->sPath.c_str(), l.iAbscValues, count));
        int size = CImplType::GetSize(l.iAbscType);
        for (int k = 0; k < count; ++k)
            v[k] = a.GetMapping().ToPhysical(trx::Decode(l.iAbscType, fileScan + k * size).re);
        return true;
    }
    long s = scan;
    if (d.abscissas.size() == 2 && a.GetNbrOfScans() > 0) s = scan % a.GetNbrOfScans();
    double x = a.GetValue(double(s) / m_perScan);
    if (count == 1) {
        v[0] = x;
        return true;
    }
    double half = 0.5 / m_perScan;
    v[0] = a.GetValue(double(s) / m_perScan - half);
    v[1] = x;
    v[2] = a.GetValue(double(s) / m_perScan + half);
    return true;
}

long CAccess::GetData(long nbrOfScans, void* buffer, int organisation, int implType)
{
    CDatasetCore& core = *m_core;
    if (core.fd < 0) return Fail("TRX data set is closed"), 0;
    if (!buffer || nbrOfScans <= 0) return Fail("TRX access: no buffer or no scans asked for"), 0;
    if (organisation != ds__dorg_interleaved && organisation != ds__dorg_with_abscissa)
        return Fail(CString::Formatted("TRX access: unknown organisation %d", organisation)), 0;
    if (!CImplType::IsSupported(implType))
        return Fail(CString::Formatted("TRX access: unsupported implementation type %d", implType)), 0;
    if (!core.FlushStream()) return Fail(CString::Formatted("TRX data set %s: pending samples could not be written", core.sPath.c_str())), 0;
    if (m_lPos >= RangeEnd()) return Fail("TRX access: finished"), 0;
    nbrOfScans = std::min<long>(nbrOfScans, long(trx::kMaxScans));
    long end = ReadableEnd();
    if (m_lPos >= end)
        return Fail(CString::Formatted("TRX data set %s: the file holds %llu of %llu scans", core.sPath.c_str(),
                                       (unsigned long long)core.ScansInFile(), (unsigned long long)core.DeclaredScans())), 0;
    long k = std::min(nbrOfScans, end - m_lPos);
    const std::uint64_t scanBytes = core.layout.uScanBytes;
    auto* out = static_cast<unsigned char*>(buffer);

    if (FastPath(organisation, implType)) {
        std::size_t n = std::size_t(k) * scanBytes;
        if (!core.ReadAt(core.uDataOffset + std::uint64_t(m_lPos) * scanBytes, out, n))
            return Fail(CString::Formatted("TRX data set %s: read at scan %ld failed", core.sPath.c_str(), m_lPos)), 0;
        m_lPos += k;
        return k;
    }

    const int size = CImplType::GetSize(implType);
    const bool destComplex = CImplType::IsComplex(implType);
    const int absCount = organisation == ds__dorg_with_abscissa ? (m_iCoord == ac__band ? 3 : 1) : 0;
    const int nch = m_channels.GetCount();
    struct SCh { int type; bool complex; const CMapping* map; int kind; const CMapping* dest; };
    std::vector<SCh> ch(static_cast<std::size_t>(nch));
    for (int i = 0; i < nch; ++i) {
        const CChannel& c = core.desc.channels[std::size_t(m_channels.GetAt(i))];
        ch[std::size_t(i)] = {c.GetImplType(), c.IsComplex(), &c.GetMapping(), m_maps[std::size_t(i)].kind,
                              &m_maps[std::size_t(i)].mapping};
    }
    // One sample: stored → physical (unless raw) → complex part → destination representation.
    auto convert = [&](int i, SValue v, long scan) -> SValue {
        const SCh& c = ch[std::size_t(i)];
        if (c.kind != mk__raw) v = ToPhysical(*c.map, v, c.complex);
        bool pair = c.complex && destComplex && m_iComplex == ca__default;
        if (c.complex && !pair) {
            double r = v.re, im = v.im;
            switch (m_iComplex) {
            case ca__real: v = {r, 0}; break;
            case ca__imaginary: v = {im, 0}; break;
            case ca__phase_rad: v = {std::atan2(im, r), 0}; break;
            case ca__phase_deg: v = {std::atan2(im, r) * 180.0 / std::numbers::pi, 0}; break;
            case ca__phase_circle: v = {std::atan2(im, r) / kTwoPi, 0}; break;
            case ca__group_delay: {
                // −dφ/dω from the neighbours (one-sided at the ends of the data).
                auto phaseAt = [&](long a, double& phase) {
                    if (a < 0 || a >= long(core.AvailableScans()) * m_perScan) return false;
                    unsigned char raw[16];
                    std::uint64_t pos = core.uDataOffset + std::uint64_t(a / m_perScan) * scanBytes +
                                        m_offsets[std::size_t(i)][std::size_t(a % m_perScan)];
                    if (!core.ReadAt(pos, raw, std::size_t(CImplType::GetSize(c.type)))) return false;
                    SValue p = trx::Decode(c.type, raw);
                    if (c.kind != mk__raw) p = ToPhysical(*c.map, p, true);
                    phase = std::atan2(p.im, p.re);
                    return true;
                };
                double p0, p1;
                long a0 = scan - 1, a1 = scan + 1;
                if (!phaseAt(a0, p0)) { a0 = scan; p0 = std::atan2(im, r); }
                if (!phaseAt(a1, p1)) { a1 = scan; p1 = std::atan2(im, r); }
                double dx = Value(a1) - Value(a0);
                v = {a1 == a0 || dx == 0.0 ? 0.0 : -Wrap(p1 - p0) / (kTwoPi * dx), 0};
                break;
            }
            default: v = {std::hypot(r, im), 0}; break;
            }
        }
        if (c.kind == mk__record) {
            if (pair) v = FromPhysical(*c.dest, v, true);
            else v = {c.dest->FromPhysical(v.re), 0.0};
        }
        if (!destComplex) v.im = 0.0;
        return v;
    };

    const std::size_t chunkScans = std::max<std::size_t>(1, core.nBuffer / std::max<std::uint64_t>(scanBytes, 1));
    long a = m_lPos, stop = m_lPos + k;
    double absv[3];
    while (a < stop) {
        std::uint64_t s0 = std::uint64_t(a / m_perScan);
        std::uint64_t s1 = std::min<std::uint64_t>(std::uint64_t((stop - 1) / m_perScan), s0 + chunkScans - 1);
        std::size_t bytes = std::size_t((s1 - s0 + 1) * scanBytes);
        unsigned char* buf = core.Chunk(std::max<std::size_t>(bytes, 1));
        if (bytes > 0 && !core.ReadAt(core.uDataOffset + s0 * scanBytes, buf, bytes))
            return Fail(CString::Formatted("TRX data set %s: read at scan %llu failed", core.sPath.c_str(),
                                           (unsigned long long)s0)), 0;
        long chunkStop = std::min<long>(stop, long(s1 + 1) * m_perScan);
        for (; a < chunkStop; ++a) {
            const unsigned char* scan = buf + (std::uint64_t(a / m_perScan) - s0) * scanBytes;
            int j = int(a % m_perScan);
            if (absCount > 0) {
                if (!AbscissaValues(a, scan, absv, absCount)) return 0;
                for (int q = 0; q < absCount; ++q, out += size) trx::Encode(implType, {absv[q], 0.0}, out);
            }
            for (int i = 0; i < nch; ++i, out += size) {
                const SCh& c = ch[std::size_t(i)];
                SValue v = trx::Decode(c.type, scan + m_offsets[std::size_t(i)][std::size_t(j)]);
                trx::Encode(implType, convert(i, v, a), out);
            }
        }
    }
    m_lPos += k;
    return k;
}

long CAccess::SetData(long nbrOfScans, const void* buffer, int organisation, int implType)
{
    CDatasetCore& core = *m_core;
    if (core.fd < 0) return Fail("TRX data set is closed"), 0;
    if (m_iMode != am__readwrite || !core.bWritable) return Fail("TRX access: not made for writing"), 0;
    if (!buffer || nbrOfScans <= 0) return Fail("TRX access: no buffer or no scans given"), 0;
    if (organisation != ds__dorg_interleaved && organisation != ds__dorg_with_abscissa)
        return Fail(CString::Formatted("TRX access: unknown organisation %d", organisation)), 0;
    if (!CImplType::IsSupported(implType))
        return Fail(CString::Formatted("TRX access: unsupported implementation type %d", implType)), 0;
    if (m_iComplex != ca__default) return Fail("TRX access: complex parts can be read, not written"), 0;
    if (!core.FlushStream()) return Fail(CString::Formatted("TRX data set %s: pending samples could not be written", core.sPath.c_str())), 0;
    // An access to the end of the data fills the announced scans first (so
    // that a loop until Finished stops there); once at the end it extends.
    long k = std::min<long>(nbrOfScans, long(trx::kMaxScans));
    if (m_lCount >= 0 || m_lPos < RangeEnd()) k = std::min(k, RangeEnd() - m_lPos);
    // Far beyond any disk; keeps the scan arithmetic below from overflowing.
    const long cap = 1L << 46;
    if (m_lPos >= cap) return Fail("TRX access: no room beyond this scan"), 0;
    k = std::min(k, cap - m_lPos);
    if (k <= 0) return Fail("TRX access: finished"), 0;
    const std::uint64_t scanBytes = core.layout.uScanBytes;
    // Writing past the announced scans extends the data set up to its maximum.
    std::uint64_t needScans = std::uint64_t((m_lPos + k - 1) / m_perScan) + 1;
    if (!core.Grow(needScans)) {
        long limit = long(core.DeclaredScans()) * m_perScan;
        const CAbscissa& a0 = core.desc.abscissas[0];
        if (core.desc.abscissas.size() == 1 && a0.GetMaxNbrOfScans() > 0) {
            core.Grow(std::uint64_t(a0.GetMaxNbrOfScans()));
            limit = a0.GetMaxNbrOfScans() * long(m_perScan);
        }
        k = std::min(k, limit - m_lPos);
        if (k <= 0) return Fail(CString::Formatted("TRX data set %s: no room beyond scan %ld", core.sPath.c_str(), limit)), 0;
    }
    auto* in = static_cast<const unsigned char*>(buffer);

    if (FastPath(organisation, implType)) {
        if (!core.WriteAt(core.uDataOffset + std::uint64_t(m_lPos) * scanBytes, in, std::size_t(k) * scanBytes))
            return Fail(core.sError), 0;
        m_lPos += k;
        return k;
    }

    const int size = CImplType::GetSize(implType);
    const bool srcComplex = CImplType::IsComplex(implType);
    const int absCount = organisation == ds__dorg_with_abscissa ? (m_iCoord == ac__band ? 3 : 1) : 0;
    const trx::SLayout& l = core.layout;
    const CAbscissa& a0 = core.desc.abscissas[0];
    const bool writeAbs = absCount > 0 && !a0.IsCalc() && m_iCoord != ac__index;
    if (writeAbs && (absCount == 3) != (l.iAbscValues == 3))
        return Fail(CString::Formatted("TRX data set %s: abscissa 0 holds %d value(s) per scan, the access gives %d",
                                       core.sPath.c_str(), l.iAbscValues, absCount)), 0;
    const int absSize = CImplType::GetSize(l.iAbscType);
    const int nch = m_channels.GetCount();

    const std::size_t chunkScans = std::max<std::size_t>(1, core.nBuffer / std::max<std::uint64_t>(scanBytes, 1));
    long a = m_lPos, stop = m_lPos + k;
    const std::uint64_t fileSize = core.FileSize();
    while (a < stop) {
        std::uint64_t s0 = std::uint64_t(a / m_perScan);
        std::uint64_t s1 = std::min<std::uint64_t>(std::uint64_t((stop - 1) / m_perScan), s0 + chunkScans - 1);
        std::size_t bytes = std::size_t((s1 - s0 + 1) * scanBytes);
        unsigned char* buf = core.Chunk(std::max<std::size_t>(bytes, 1));
        // Keep what other channels and the abscissa hold in these scans.
        std::uint64_t pos = core.uDataOffset + s0 * scanBytes;
        std::size_t have = pos < fileSize ? std::size_t(std::min<std::uint64_t>(bytes, fileSize - pos)) : 0;
        std::size_t got = 0;
        if (have > 0) core.ReadAt(pos, buf, have, &got);
        std::fill(buf + got, buf + bytes, 0);
        long chunkStop = std::min<long>(stop, long(s1 + 1) * m_perScan);
        for (; a < chunkStop; ++a) {
            unsigned char* scan = buf + (std::uint64_t(a / m_perScan) - s0) * scanBytes;
            int j = int(a % m_perScan);
            if (absCount > 0) {
                if (writeAbs)
                    for (int q = 0; q < absCount; ++q) {
                        double x = trx::Decode(implType, in + q * size).re;
                        trx::Encode(l.iAbscType, {a0.GetMapping().FromPhysical(x), 0.0}, scan + q * absSize);
                    }
                in += absCount * size;
            }
            for (int i = 0; i < nch; ++i, in += size) {
                const CChannel& c = core.desc.channels[std::size_t(m_channels.GetAt(i))];
                const SChannelMap& m = m_maps[std::size_t(i)];
                SValue v = trx::Decode(implType, in);
                if (!srcComplex) v.im = 0.0;
                bool complex = c.IsComplex();
                if (m.kind == mk__record) v = ToPhysical(m.mapping, v, srcComplex);
                // A real channel keeps the magnitude of a complex value, taken
                // before its own mapping (which may be non-linear).
                if (!complex && srcComplex) v = {std::hypot(v.re, v.im), 0.0};
                if (m.kind != mk__raw) v = FromPhysical(c.GetMapping(), v, complex);
                trx::Encode(c.GetImplType(), v, scan + m_offsets[std::size_t(i)][std::size_t(j)]);
            }
        }
        if (!core.WriteAt(pos, buf, bytes)) return Fail(core.sError), 0;
    }
    m_lPos += k;
    return k;
}
