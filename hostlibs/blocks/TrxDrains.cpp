#include "hostlibs/blocks/Drains.h"
#include "hostlibs/blocks/Pulse.h"
#include "hostlibs/dataset/Dataset.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {
CChannel ChannelFor(const SStreamChannel& s, int implType, const map__dct* mapping)
{
    CChannel c;
    if (s.pOrigin) {
        c = *s.pOrigin;
    } else {
        c.SetName(s.sName.c_str());
        c.SetAbbreviation(s.sAbbreviation.c_str());
        c.SetTitle(s.sTitle.c_str());
        c.SetQuantity(CQuantity(s.sQuantity.c_str()));
        c.SetUnit(CUnit(s.sUnit.c_str(), 1));
        c.SetCalibration(s.fCalibration);
    }
    c.SetImplType(implType);
    c.SetMapping(mapping);
    return c;
}

CSubChannel SubChannelFor(const SStreamPulse& p, int parent, unsigned mask)
{
    CSubChannel s;
    if (p.pOrigin) {
        s = *p.pOrigin;
    } else {
        s = CSubChannel(p.iType, parent, mask, p.sName.c_str(), p.sAbbreviation.c_str(), CQuantity(p.sQuantity.c_str()),
                        CUnit(p.sUnit.c_str(), 1));
        s.SetID(p.iID);
        s.SetPulseFactor(p.dPulseFactor);
        s.SetDeltaTime(p.dDeltaTime);
        s.SetSmooth(p.iSmooth);
    }
    s.SetParentChannelID(parent);
    s.SetBitmask(mask);
    return s;
}

CAbscissa TimeAbscissa(double start, double delta)
{
    return CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 0), start, delta, 0, df__linear);
}

// Creates the data set, and removes it again when the run does not complete.
struct SOutput {
    std::string sPath;
    std::unique_ptr<CDataset> ds;

    bool Create(const CAbscissaList& a, const CChannelList& c, int kind, std::string& error)
    {
        try {
            ds = std::make_unique<CDataset>(sPath.c_str(), a, c, kind, ds__dorg_interleaved, 0L, 65536L, sh__deny_write);
        } catch (const std::exception& e) {
            error = std::string("cannot create ") + sPath + ": " + e.what();
            ds.reset();
            return false;
        }
        return true;
    }
    bool Close(bool keep, std::string& error)
    {
        bool ok = true;
        if (ds) {
            try {
                ds->Close();
            } catch (const std::exception& e) {
                error = e.what();
                ok = false;
            }
            ds.reset();
            if (!keep || !ok)
                ::unlink(sPath.c_str());
        }
        return ok && keep;
    }
    ~SOutput()
    {
        if (ds) {
            ds.reset();
            ::unlink(sPath.c_str());
        }
    }
};
} // namespace

// ---------------------------------------------------------------------------
struct CSPBTrxDrain::Impl {
    SOutput out;
    struct SGroup {
        int iType = it__float;
        std::vector<std::size_t> streamChannels;
        CAccess* pAccess = nullptr;
    };
    std::vector<SGroup> groups;
    CAccess* pPulses = nullptr;
    std::size_t nCh = 0;
    std::vector<float> f;
    std::vector<std::int16_t> s16;
    std::vector<std::int32_t> s32;
};

CSPBTrxDrain* CSPBTrxDrain::CreateObject(const char* path)
{
    return new CSPBTrxDrain(path);
}

CSPBTrxDrain::CSPBTrxDrain(const char* path) : m(std::make_unique<Impl>())
{
    m->out.sPath = path ? path : "";
}

CSPBTrxDrain::~CSPBTrxDrain() = default;

bool CSPBTrxDrain::OnInitialize()
{
    const SStreamFormat& fmt = Input(0)->GetFormat();
    if (m->out.sPath.empty())
        return Fail("TRX drain: no file name");
    if (fmt.channels.empty() && !fmt.HasPulses())
        return Fail("TRX drain: nothing to write");
    if (!(fmt.dRate > 0.0))
        return Fail("TRX drain: no sampling rate");
    CAbscissaList absc;
    absc.Add(TimeAbscissa(fmt.dStart, 1.0 / fmt.dRate));
    CChannelList chans;
    m->nCh = fmt.channels.size();
    for (std::size_t c = 0; c < m->nCh; ++c) {
        const SStreamChannel& s = fmt.channels[c];
        int type = s.iStreamType == 3 ? it__int16 : s.iStreamType == 5 ? it__int24 : it__float;
        map__dct rec;
        rec.m_dFactor = s.dFactor;
        rec.m_dOffset = s.dOffset;
        chans.Add(ChannelFor(s, type, type == it__float ? nullptr : &rec));
        auto g = std::find_if(m->groups.begin(), m->groups.end(), [&](const Impl::SGroup& x) { return x.iType == type; });
        if (g == m->groups.end()) {
            m->groups.push_back(Impl::SGroup{type, {}, nullptr});
            g = m->groups.end() - 1;
        }
        g->streamChannels.push_back(c);
    }
    int pulseChannel = -1;
    if (fmt.HasPulses()) {
        CChannel p("Pulse Channels", "Pulses", CQuantity(), CUnit(), it__pulse, int(m->nCh));
        p.SetTitle("Pulse Channels");
        pulseChannel = chans.Add(p);
    }
    std::string e;
    if (!m->out.Create(absc, chans, fmt.iKind, e))
        return Fail("TRX drain: " + e);
    CDataset& ds = *m->out.ds;
    ds.SetTitle(fmt.sTitle.c_str());
    ds.SetComment(fmt.sComment.c_str());
    for (std::size_t k = 0; k < fmt.pulses.size(); ++k)
        if (ds.AddSubChannel(SubChannelFor(fmt.pulses[k], pulseChannel, 1u << k)) < 0)
            return Fail("TRX drain: sub-channel cannot be added: " + ds.GetLastError().str());
    for (auto& g : m->groups) {
        CChNbrList l;
        for (auto c : g.streamChannels)
            l.Add(int(c));
        g.pAccess = ds.CreateAccess(am__readwrite, l, 0, 0L, -1L, g.iType == it__float ? mk__physical : mk__raw);
        if (!g.pAccess)
            return Fail("TRX drain: " + ds.GetLastError().str());
    }
    if (pulseChannel >= 0) {
        m->pPulses = ds.CreateAccess(am__readwrite, pulseChannel, 0, 0L, -1L, mk__raw);
        if (!m->pPulses)
            return Fail("TRX drain: " + ds.GetLastError().str());
    }
    return true;
}

bool CSPBTrxDrain::Consume(const SStreamBlock& b)
{
    const std::size_t n = b.nScans, nCh = m->nCh;
    if (n == 0)
        return true;
    for (auto& g : m->groups) {
        const std::size_t k = g.streamChannels.size();
        const void* data = nullptr;
        int type = g.iType;
        if (g.iType == it__float) {
            if (k == nCh) {
                data = b.values.data();
            } else {
                m->f.resize(n * k);
                for (std::size_t i = 0; i < n; ++i)
                    for (std::size_t j = 0; j < k; ++j)
                        m->f[i * k + j] = b.values[i * nCh + g.streamChannels[j]];
                data = m->f.data();
            }
        } else if (g.iType == it__int16) {
            m->s16.resize(n * k);
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t j = 0; j < k; ++j)
                    m->s16[i * k + j] = std::int16_t(b.values[i * nCh + g.streamChannels[j]]);
            data = m->s16.data();
        } else {
            m->s32.resize(n * k);
            for (std::size_t i = 0; i < n; ++i)
                for (std::size_t j = 0; j < k; ++j)
                    m->s32[i * k + j] = std::int32_t(b.values[i * nCh + g.streamChannels[j]]);
            data = m->s32.data();
            type = it__int32;
        }
        if (g.pAccess->SetData(long(n), data, ds__dorg_interleaved, type) != long(n))
            return Fail("TRX drain: write to " + m->out.sPath + " failed: " + g.pAccess->GetLastError().str());
    }
    if (m->pPulses && m->pPulses->SetData(long(n), b.pulses.data(), ds__dorg_interleaved, it__pulse) != long(n))
        return Fail("TRX drain: write to " + m->out.sPath + " failed: " + m->pPulses->GetLastError().str());
    return true;
}

bool CSPBTrxDrain::Finish(bool bComplete)
{
    std::string e;
    if (!m->out.Close(bComplete, e) && bComplete)
        return Fail("TRX drain: " + m->out.sPath + " could not be completed: " + e);
    return bComplete;
}

// ---------------------------------------------------------------------------
struct CSPBDrainForImpulseFile::Impl {
    SOutput out;
    CPulseEdgeDetector det{1};
    double dStart = 0.0, dRate = 1.0, dOffset = 0.0;
    double dLast = 0.0;
    std::uint64_t nPulses = 0;
    std::vector<std::uint64_t> edges;
    std::vector<double> pairs;
};

CSPBDrainForImpulseFile* CSPBDrainForImpulseFile::CreateObject(const char* path)
{
    return new CSPBDrainForImpulseFile(path);
}

CSPBDrainForImpulseFile::CSPBDrainForImpulseFile(const char* path) : m(std::make_unique<Impl>())
{
    m->out.sPath = path ? path : "";
}

CSPBDrainForImpulseFile::~CSPBDrainForImpulseFile() = default;

std::uint64_t CSPBDrainForImpulseFile::GetNbrOfPulses() const
{
    return m->nPulses;
}

bool CSPBDrainForImpulseFile::OnInitialize()
{
    const SStreamFormat& fmt = Input(0)->GetFormat();
    if (m->out.sPath.empty())
        return Fail("pulse file drain: no file name");
    if (!fmt.HasPulses())
        return Fail("pulse file drain: the stream carries no pulses");
    m->dStart = fmt.dStart;
    m->dRate = fmt.dRate;
    m->dOffset = fmt.dEdgeOffset;
    // Times are stored as doubles: a float has only a quarter of a
    // millisecond of resolution an hour into a recording.
    CAbscissaList absc;
    absc.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 0), it__double, 0, ac__world));
    CChannelList chans;
    chans.Add(CChannel("Pulse interval", "dt", CQuantity("time"), CUnit("s", 0), it__float, 0));
    std::string e;
    if (!m->out.Create(absc, chans, dk__time, e))
        return Fail("pulse file drain: " + e);
    const SStreamPulse& p = fmt.pulses[0];
    m->out.ds->SetTitle(("Pulses of " + p.sName).c_str());
    return true;
}

bool CSPBDrainForImpulseFile::Consume(const SStreamBlock& b)
{
    m->edges.clear();
    m->det.Process(b.pulses.data(), std::min(b.nScans, b.pulses.size()), m->edges);
    if (m->edges.empty())
        return true;
    m->pairs.clear();
    for (auto e : m->edges) {
        double t = m->dStart + (double(e) + m->dOffset) / m->dRate;
        m->pairs.push_back(t);
        m->pairs.push_back(m->nPulses ? t - m->dLast : 0.0);
        m->dLast = t;
        ++m->nPulses;
    }
    long n = long(m->edges.size());
    if (m->out.ds->SetData(n, m->pairs.data(), ds__dorg_with_abscissa, it__double) != n)
        return Fail("pulse file drain: write to " + m->out.sPath + " failed: " + m->out.ds->GetLastError().str());
    return true;
}

bool CSPBDrainForImpulseFile::Finish(bool bComplete)
{
    std::string e;
    if (!m->out.Close(bComplete, e) && bComplete)
        return Fail("pulse file drain: " + m->out.sPath + " could not be completed: " + e);
    return bComplete;
}

// ---------------------------------------------------------------------------
struct CSPBDrainForSpeedFile::Impl {
    SOutput out;
    CPulseEdgeDetector det{1};
    std::unique_ptr<CSpeedEvaluator> ev;
    double dStart = 0.0, dRate = 1.0, dOffset = 0.0;
    std::uint64_t nScans = 0;
    std::vector<std::uint64_t> edges;
    std::vector<double> values;
    std::vector<float> f;

    bool Write(std::string& error)
    {
        if (values.empty())
            return true;
        f.assign(values.begin(), values.end());
        long n = long(f.size());
        values.clear();
        if (out.ds->SetData(n, f.data(), ds__dorg_interleaved, it__float) != n) {
            error = out.ds->GetLastError().str();
            return false;
        }
        return true;
    }
};

CSPBDrainForSpeedFile* CSPBDrainForSpeedFile::CreateObject(const char* path)
{
    return new CSPBDrainForSpeedFile(path);
}

CSPBDrainForSpeedFile::CSPBDrainForSpeedFile(const char* path) : m(std::make_unique<Impl>())
{
    m->out.sPath = path ? path : "";
}

CSPBDrainForSpeedFile::~CSPBDrainForSpeedFile() = default;

bool CSPBDrainForSpeedFile::OnInitialize()
{
    const SStreamFormat& fmt = Input(0)->GetFormat();
    if (m->out.sPath.empty())
        return Fail("speed file drain: no file name");
    if (!fmt.HasPulses())
        return Fail("speed file drain: the stream carries no pulses");
    if (!(fmt.dRate > 0.0))
        return Fail("speed file drain: no sampling rate");
    const SStreamPulse& p = fmt.pulses[0];
    if (!(p.dPulseFactor > 0.0))
        return Fail("speed file drain: pulse factor must be above 0");
    double delta = p.dDeltaTime > 0.0 ? p.dDeltaTime : 0.01;
    m->dStart = fmt.dStart;
    m->dRate = fmt.dRate;
    m->dOffset = fmt.dEdgeOffset;
    m->ev = std::make_unique<CSpeedEvaluator>(fmt.dStart, delta, p.dPulseFactor, p.iSmooth);
    CAbscissaList absc;
    absc.Add(TimeAbscissa(fmt.dStart, delta));
    CChannelList chans;
    std::string unit = p.sUnit.empty() ? "rpm" : p.sUnit;
    CChannel c(p.sName.empty() ? "Speed" : p.sName.c_str(), p.sAbbreviation.c_str(),
               CQuantity(p.sQuantity.empty() ? "RPM" : p.sQuantity.c_str()), CUnit(unit.c_str(), 1), it__float, 0);
    chans.Add(c);
    std::string e;
    int kind = unit == "rpm" ? dk__rpm : dk__speed;
    if (!m->out.Create(absc, chans, kind, e))
        return Fail("speed file drain: " + e);
    m->out.ds->SetTitle(p.sName.c_str());
    return true;
}

bool CSPBDrainForSpeedFile::Consume(const SStreamBlock& b)
{
    m->edges.clear();
    std::size_t n = std::min(b.nScans, b.pulses.size());
    m->det.Process(b.pulses.data(), n, m->edges);
    for (auto e : m->edges)
        m->ev->AddPulse(m->dStart + (double(e) + m->dOffset) / m->dRate);
    m->nScans += b.nScans;
    m->ev->AdvanceTo(m->dStart + double(m->nScans) / m->dRate, m->values);
    std::string e;
    if (!m->Write(e))
        return Fail("speed file drain: write to " + m->out.sPath + " failed: " + e);
    return true;
}

bool CSPBDrainForSpeedFile::Finish(bool bComplete)
{
    std::string e;
    if (bComplete) {
        m->ev->Finish(m->dStart + double(m->nScans) / m->dRate, m->values);
        if (!m->Write(e)) {
            Fail("speed file drain: write to " + m->out.sPath + " failed: " + e);
            bComplete = false;
        }
    }
    if (!m->out.Close(bComplete, e) && bComplete)
        return Fail("speed file drain: " + m->out.sPath + " could not be completed: " + e);
    return bComplete;
}
