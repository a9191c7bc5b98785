#include "hostlibs/blocks/TrxReader.h"

#include <algorithm>
#include <cmath>

namespace {
bool IsPulseChannel(const CChannel& c)
{
    return c.GetImplType() == it__pulse || c.GetTitle() == "Pulse Channels";
}
} // namespace

bool CTrxReader::Open(const char* path, std::string& error)
{
    Close();
    m_sPath = path ? path : "";
    try {
        m_ds = std::make_unique<CDataset>(m_sPath.c_str(), om__read_complete, 32768, sh__deny_write);
    } catch (const std::exception& e) {
        error = std::string("cannot open ") + m_sPath + ": " + e.what();
        m_ds.reset();
        return false;
    }
    CAbscissa a = m_ds->GetAbscissa(0);
    if (m_ds->GetNbrOfAbscissas() != 1 || !a.IsCalc() || a.GetDistribution() != df__linear || !(a.GetDeltaValue() > 0)) {
        error = m_sPath + ": not equidistant data over one abscissa";
        m_ds.reset();
        return false;
    }
    return true;
}

bool CTrxReader::SetChannels(const CChNbrList& channels, std::string& error)
{
    if (!m_ds) {
        error = "no data set open";
        return false;
    }
    const int n = m_ds->GetNbrOfChannels();
    double rate = 0.0;
    for (int c : channels) {
        if (c < 0 || c >= n) {
            error = m_sPath + ": no channel " + std::to_string(c);
            return false;
        }
        CChannel ch = m_ds->GetChannel(c);
        if (ch.GetImplType() == it__pulse || ch.IsComplex()) {
            error = m_sPath + ": channel " + std::to_string(c) + " holds no real signal";
            return false;
        }
        double r = m_ds->GetSamplingRate(c);
        if (rate != 0.0 && r != rate) {
            error = m_sPath + ": channel " + std::to_string(c) + " has another sampling rate";
            return false;
        }
        rate = r;
    }
    m_channels = channels;
    m_bChannelsSet = true;
    return true;
}

bool CTrxReader::AddPulseSubChannel(const CSubChannel& sub, std::string& error)
{
    if (m_subs.size() >= 8) {
        error = "at most 8 pulse sub-channels travel in one stream";
        return false;
    }
    if (sub.GetBitmask() == 0) {
        error = "pulse sub-channel without bit";
        return false;
    }
    m_subs.push_back(sub);
    return true;
}

bool CTrxReader::Prepare(bool withSignals, bool withPulses, bool tolerate, SStreamFormat& fmt, std::string& error)
{
    if (!m_ds) {
        error = "no data set open";
        return false;
    }
    m_bTolerate = tolerate;
    CDataset& ds = *m_ds;
    CChNbrList list;
    if (withSignals) {
        if (m_bChannelsSet) {
            list = m_channels;
        } else {
            for (int c = 0; c < ds.GetNbrOfChannels(); ++c) {
                CChannel ch = ds.GetChannel(c);
                if (!IsPulseChannel(ch) && !ch.IsComplex())
                    list.Add(c);
            }
        }
    }
    if (list.IsEmpty() && (!withPulses || m_subs.empty())) {
        error = m_sPath + ": no channel to deliver";
        return false;
    }
    CAbscissa absc = ds.GetAbscissa(0);
    fmt = SStreamFormat{};
    m_codeMaps.clear();
    m_bRawMapped = false;
    m_bAllCodes = false;
    m_bAllInt16 = false;
    fmt.dStart = absc.GetFirstValue();
    fmt.iKind = ds.GetKind();
    fmt.sTitle = ds.GetTitle().str();
    fmt.sComment = ds.GetComment().str();
    double rate = 0.0;
    if (!list.IsEmpty()) {
        rate = ds.GetSamplingRate(list.GetAt(0));
        m_pSignals = ds.CreateAccess(am__read, list, 0, 0L, -1L, mk__physical);
        if (!m_pSignals) {
            error = m_sPath + ": channels cannot be read: " + ds.GetLastError().str();
            return false;
        }
        m_nTotal = std::uint64_t(std::max(0L, m_pSignals->GetNbrOfScans()));
        for (int c : list) {
            CChannel ch = ds.GetChannel(c);
            SStreamChannel s;
            s.sName = ch.GetName().str();
            s.sAbbreviation = ch.GetAbbreviation().str();
            s.sTitle = ch.GetTitle().str();
            s.sQuantity = ch.GetQuantity().GetName().str();
            s.sUnit = ch.GetUnit().GetText().str();
            s.iStreamType = it__float;
            s.iOriginType = ch.GetImplType();
            if (ch.GetMapping().IsLinear()) {
                s.dOriginFactor = ch.GetMapping().GetFactor();
                s.dOriginOffset = ch.GetMapping().GetOffset();
            }
            s.fCalibration = ch.GetCalibration();
            const int t = ch.GetImplType();
            const bool code = (t == it__int8 || t == it__int16 || t == it__int24 || t == it__int32) &&
                              ch.GetMapping().IsLinear();
            m_codeMaps.emplace_back(code ? ch.GetMapping().GetFactor() : 0.0, code ? ch.GetMapping().GetOffset() : 0.0);
            s.iSourceIndex = c;
            s.pOrigin = std::make_shared<CChannel>(ch);
            fmt.channels.push_back(std::move(s));
        }
        m_bAllCodes = m_bAllInt16 = true;
        for (std::size_t c = 0; c < m_codeMaps.size(); ++c) {
            m_bAllCodes = m_bAllCodes && m_codeMaps[c].first != 0.0;
            m_bAllInt16 = m_bAllInt16 && fmt.channels[c].iOriginType == it__int16;
        }
        m_bAllInt16 = m_bAllInt16 && m_bAllCodes;
    }
    m_nCh = fmt.channels.size();
    if (withPulses) {
        for (const CSubChannel& sub : m_subs) {
            int parent = sub.GetParentChannelID();
            if (parent < 0 || parent >= ds.GetNbrOfChannels()) {
                error = m_sPath + ": pulse sub-channel " + std::to_string(sub.GetID()) + " has no parent channel " +
                        std::to_string(parent);
                return false;
            }
            double r = ds.GetSamplingRate(parent);
            if (rate != 0.0 && std::fabs(r - rate) > 1e-9 * rate) {
                error = m_sPath + ": pulse channel " + std::to_string(parent) + " runs at another rate than the signals";
                return false;
            }
            rate = r;
            std::size_t reader = 0;
            while (reader < m_readers.size() && m_readers[reader].iParent != parent)
                ++reader;
            if (reader == m_readers.size()) {
                SPulseReader pr;
                pr.iParent = parent;
                int t = ds.GetChannel(parent).GetImplType();
                pr.iType = t == it__pulse ? it__pulse : it__int32;
                pr.pAccess = ds.CreateAccess(am__read, parent, 0, 0L, -1L, mk__raw);
                if (!pr.pAccess) {
                    error = m_sPath + ": pulse channel " + std::to_string(parent) + " cannot be read: " +
                            ds.GetLastError().str();
                    return false;
                }
                std::uint64_t n = std::uint64_t(std::max(0L, pr.pAccess->GetNbrOfScans()));
                if (m_pSignals && n != m_nTotal) {
                    error = m_sPath + ": pulse channel " + std::to_string(parent) + " has another length";
                    return false;
                }
                m_nTotal = n;
                m_readers.push_back(pr);
            }
            m_bits.emplace_back(reader, sub.GetBitmask());
            SStreamPulse p;
            p.sName = sub.GetName().str();
            p.sAbbreviation = sub.GetAbbreviation().str();
            p.sQuantity = sub.GetQuantity().GetName().str();
            p.sUnit = sub.GetUnit().GetText().str();
            p.iID = sub.GetID();
            p.iType = sub.GetType();
            p.dPulseFactor = sub.GetPulseFactor();
            p.dDeltaTime = sub.GetDeltaTime();
            p.iSmooth = sub.GetSmooth();
            p.pOrigin = std::make_shared<CSubChannel>(sub);
            fmt.pulses.push_back(std::move(p));
        }
    }
    if (!(rate > 0.0)) {
        error = m_sPath + ": no sampling rate";
        return false;
    }
    fmt.dRate = rate;
    fmt.nScans = m_nTotal;
    // Blocks of about 256 KiB of samples.
    m_nBlock = std::clamp<std::size_t>(65536 / std::max<std::size_t>(1, m_nCh), 256, 16384);
    return true;
}

bool CTrxReader::Read(SStreamBlock& block, std::string& error)
{
    std::uint64_t left = m_nTotal - m_nDone;
    std::size_t n = std::size_t(std::min<std::uint64_t>(left, m_nBlock));
    block.Reset(n, m_nCh, !m_bits.empty());
    if (n && m_pSignals && m_bCodesWanted && !m_bValuesWanted && m_bAllCodes) {
        if (!ReadCodesOnly(block, n, error))
            return false;
    } else if (n && m_pSignals && m_bCodesWanted) {
        if (!ReadWithCodes(block, n, error))
            return false;
    } else if (n && m_pSignals) {
        long got = m_pSignals->GetData(long(n), block.values.data(), ds__dorg_interleaved, it__float);
        if (got != long(n)) {
            error = m_sPath + ": read at scan " + std::to_string(m_nDone) + " failed: " +
                    m_pSignals->GetLastError().str();
            return false;
        }
    }
    if (n && !m_bits.empty()) {
        std::vector<std::vector<unsigned>> raw(m_readers.size());
        for (std::size_t r = 0; r < m_readers.size(); ++r) {
            SPulseReader& pr = m_readers[r];
            raw[r].assign(n, 0u);
            if (pr.bFailed)
                continue;
            long got = 0;
            if (pr.iType == it__pulse) {
                m_bytes.resize(n);
                got = pr.pAccess->GetData(long(n), m_bytes.data(), ds__dorg_interleaved, it__pulse);
                for (long i = 0; i < got; ++i)
                    raw[r][std::size_t(i)] = m_bytes[std::size_t(i)];
            } else {
                m_words.resize(n);
                got = pr.pAccess->GetData(long(n), m_words.data(), ds__dorg_interleaved, it__int32);
                for (long i = 0; i < got; ++i)
                    raw[r][std::size_t(i)] = unsigned(m_words[std::size_t(i)]);
            }
            if (got != long(n)) {
                if (!m_bTolerate) {
                    error = m_sPath + ": pulse channel " + std::to_string(pr.iParent) + ": read at scan " +
                            std::to_string(m_nDone) + " failed: " + pr.pAccess->GetLastError().str();
                    return false;
                }
                // Tolerated: the pulses of this channel read as 0 from here on.
                pr.bFailed = true;
                std::fill(raw[r].begin(), raw[r].end(), 0u);
            }
        }
        for (std::size_t k = 0; k < m_bits.size(); ++k) {
            const auto& src = raw[m_bits[k].first];
            const unsigned mask = m_bits[k].second;
            for (std::size_t i = 0; i < n; ++i)
                block.pulses[i] = std::uint8_t(block.pulses[i] | (std::uint8_t((src[i] & mask) != 0) << k));
        }
    }
    m_nDone += n;
    block.bEnd = m_nDone >= m_nTotal;
    return true;
}

bool CTrxReader::MapRaw(std::string& error)
{
    if (m_bRawMapped)
        return true;
    // Integer channels come raw from here on; where values are made too,
    // they are made from the same code, so both views agree.
    CChNbrList raw;
    CChNbrList list = m_pSignals->GetChannels();
    for (std::size_t c = 0; c < m_codeMaps.size(); ++c)
        if (m_codeMaps[c].first != 0.0)
            raw.Add(list.GetAt(int(c)));
    if (!raw.IsEmpty() && !m_pSignals->SetChannelMapping(raw, mk__raw, nullptr)) {
        error = m_sPath + ": integer channels cannot be read raw: " + m_pSignals->GetLastError().str();
        return false;
    }
    m_bRawMapped = true;
    return true;
}

bool CTrxReader::ReadCodesOnly(SStreamBlock& block, std::size_t n, std::string& error)
{
    if (!MapRaw(error))
        return false;
    const std::size_t total = n * m_nCh;
    block.codes.resize(total);
    long got;
    if (m_bAllInt16) {
        // 16-bit samples as they lie in the file: for a data set of nothing
        // else the access copies them without looking at each one.
        m_narrow.resize(total);
        got = m_pSignals->GetData(long(n), m_narrow.data(), ds__dorg_interleaved, it__int16);
        if (got == long(n))
            std::copy(m_narrow.begin(), m_narrow.end(), block.codes.begin());
    } else {
        got = m_pSignals->GetData(long(n), block.codes.data(), ds__dorg_interleaved, it__int32);
    }
    if (got != long(n)) {
        error = m_sPath + ": read at scan " + std::to_string(m_nDone) + " failed: " + m_pSignals->GetLastError().str();
        return false;
    }
    return true;
}

bool CTrxReader::ReadWithCodes(SStreamBlock& block, std::size_t n, std::string& error)
{
    if (!MapRaw(error))
        return false;
    m_wide.resize(n * m_nCh);
    long got = m_pSignals->GetData(long(n), m_wide.data(), ds__dorg_interleaved, it__double);
    if (got != long(n)) {
        error = m_sPath + ": read at scan " + std::to_string(m_nDone) + " failed: " + m_pSignals->GetLastError().str();
        return false;
    }
    block.codes.assign(n * m_nCh, 0);
    for (std::size_t j = 0; j < n; ++j) {
        for (std::size_t c = 0; c < m_nCh; ++c) {
            const std::size_t i = j * m_nCh + c;
            const auto& [factor, offset] = m_codeMaps[c];
            const double v = m_wide[i];
            if (factor != 0.0) {
                block.codes[i] = std::int32_t(v);
                block.values[i] = float(v * factor + offset);
            } else {
                block.values[i] = float(v);
            }
        }
    }
    return true;
}

void CTrxReader::GetProgress(std::uint32_t& total, std::uint32_t& done) const
{
    std::uint64_t t = m_nTotal, d = m_nDone;
    while (t > 0xFFFFFFFFull) {
        t >>= 1;
        d >>= 1;
    }
    total = std::uint32_t(t);
    done = std::uint32_t(d);
}

void CTrxReader::Close()
{
    if (m_ds) {
        if (m_pSignals)
            m_ds->DeleteAccess(m_pSignals);
        for (auto& r : m_readers)
            if (r.pAccess)
                m_ds->DeleteAccess(r.pAccess);
    }
    m_pSignals = nullptr;
    m_readers.clear();
    m_bits.clear();
    m_codeMaps.clear();
    m_bRawMapped = false;
    m_bAllCodes = m_bAllInt16 = false;
    m_ds.reset();
}
