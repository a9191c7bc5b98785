#pragma once
// Synthetic sources and a collecting drain, so that blocks can be tested on
// known signals without any file.

#include "hostlibs/blocks/Blocks.h"
#include "tests/common/TempDir.h"

#include <cmath>
#include <functional>
#include <string>
#include <vector>

// Delivers nScans scans of value(channel, scan) and pulse(scan) in blocks of
// blockScans. Counts its destructions in *pDestroyed when given.
class CTestSource : public CNetNode {
public:
    using ValueFn = std::function<float(std::size_t, std::uint64_t)>;
    using PulseFn = std::function<std::uint8_t(std::uint64_t)>;

    CTestSource(SStreamFormat fmt, ValueFn value, PulseFn pulse = nullptr, std::size_t blockScans = 4096)
        : CNetNode(0, 1), m_fmt(std::move(fmt)), m_value(std::move(value)), m_pulse(std::move(pulse)),
          m_nBlock(blockScans)
    {
    }
    ~CTestSource() override
    {
        if (pDestroyed)
            ++*pDestroyed;
    }

    bool bRefuseInit = false;
    std::uint64_t nFailAtScan = ~std::uint64_t(0); // a pull reaching this scan fails
    int* pDestroyed = nullptr;
    std::uint64_t nPulled = 0;
    bool bEnded = false;

protected:
    bool OnInitialize() override
    {
        if (bRefuseInit)
            return Fail("test source refuses");
        Output(0)->Format() = m_fmt;
        return true;
    }
    bool Produce(int, SStreamBlock& b) override
    {
        std::uint64_t left = m_fmt.nScans - nPulled;
        std::size_t n = std::size_t(std::min<std::uint64_t>(left, m_nBlock));
        if (nPulled + n > nFailAtScan)
            return Fail("test source: read error");
        std::size_t nCh = m_fmt.channels.size();
        b.Reset(n, nCh, m_fmt.HasPulses());
        for (std::size_t i = 0; i < n; ++i) {
            for (std::size_t c = 0; c < nCh; ++c)
                b.values[i * nCh + c] = m_value ? m_value(c, nPulled + i) : 0.0f;
            if (m_fmt.HasPulses())
                b.pulses[i] = m_pulse ? m_pulse(nPulled + i) : 0;
        }
        nPulled += n;
        b.bEnd = nPulled >= m_fmt.nScans;
        return true;
    }
    bool OnEndRun() override
    {
        bEnded = true;
        return true;
    }

private:
    SStreamFormat m_fmt;
    ValueFn m_value;
    PulseFn m_pulse;
    std::size_t m_nBlock;
};

// Keeps everything that arrives (tests only use short signals).
class CCollectDrain : public CDrainNode {
public:
    CCollectDrain() = default;
    ~CCollectDrain() override
    {
        if (pDestroyed)
            ++*pDestroyed;
    }
    std::vector<float> values;
    std::vector<std::uint8_t> pulses;
    std::uint64_t nScans = 0;
    SStreamFormat format;
    bool bFinishedComplete = false;
    int* pDestroyed = nullptr;

protected:
    bool OnInitialize() override
    {
        format = Input(0)->GetFormat();
        return true;
    }
    bool Consume(const SStreamBlock& b) override
    {
        values.insert(values.end(), b.values.begin(), b.values.begin() + std::ptrdiff_t(b.nScans * format.channels.size()));
        pulses.insert(pulses.end(), b.pulses.begin(), b.pulses.end());
        nScans += b.nScans;
        return true;
    }
    bool Finish(bool complete) override
    {
        bFinishedComplete = complete;
        return true;
    }
};

// Files of this process go to one folder, removed when it exits.
inline std::string TempPath(const std::string& name)
{
    static CTempDir dir;
    return dir / name;
}

inline SStreamFormat MakeFormat(double rate, std::uint64_t scans, std::size_t channels, std::size_t pulses = 0)
{
    SStreamFormat f;
    f.dRate = rate;
    f.nScans = scans;
    for (std::size_t c = 0; c < channels; ++c) {
        SStreamChannel ch;
        ch.sName = "ch" + std::to_string(c);
        ch.sUnit.append("Pa");
        f.channels.push_back(ch);
    }
    for (std::size_t k = 0; k < pulses; ++k) {
        SStreamPulse p;
        p.sName = "tacho" + std::to_string(k);
        p.iID = int(k);
        f.pulses.push_back(p);
    }
    return f;
}

// Runs a network through its drain as the jobs do; false when it did not
// initialise or a step failed or the end of the run failed.
inline bool RunNetwork(CNetNode* drain)
{
    bool ok = drain->Initialize();
    while (ok && !drain->IsFinished())
        ok = drain->DoOneStepOfProcessing();
    bool ended = drain->EndRun();
    return ok && ended;
}

// Amplitude and phase of one frequency in x (least squares against cos/sin).
inline void ToneFit(const std::vector<double>& x, double rate, double freq, double& amp, double& phase)
{
    double c = 0, s = 0;
    for (std::size_t i = 0; i < x.size(); ++i) {
        double w = 2 * M_PI * freq * double(i) / rate;
        c += x[i] * std::cos(w);
        s += x[i] * std::sin(w);
    }
    c *= 2.0 / double(x.size());
    s *= 2.0 / double(x.size());
    amp = std::hypot(c, s);
    phase = std::atan2(-s, c);
}

inline double Rms(const std::vector<double>& x)
{
    double e = 0;
    for (double v : x)
        e += v * v;
    return x.empty() ? 0.0 : std::sqrt(e / double(x.size()));
}
