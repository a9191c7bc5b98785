#include "hostlibs/blocks/Resample.h"

#include <soxr.h>

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <string>
#include <type_traits>

namespace {
// Output scans per step at most, whatever the ratio (an upsampling by 480
// must not turn one input block into a huge one).
constexpr std::size_t kMaxOutScans = 32768;

// libsoxr (and through it an OpenMP runtime) is loaded when the first
// resampler starts, not at every start of every program that links the
// blocks: only resampling needs it.
struct SSoxr {
    decltype(&::soxr_quality_spec) quality_spec = nullptr;
    decltype(&::soxr_io_spec) io_spec = nullptr;
    decltype(&::soxr_create) create = nullptr;
    decltype(&::soxr_process) process = nullptr;
    decltype(&::soxr_delete) destroy = nullptr;
    std::string error; // empty when every entry was found
};

constexpr const char* kSoxrLibrary = "libsoxr.so.0";

SSoxr LoadSoxr()
{
    SSoxr s;
    void* h = ::dlopen(kSoxrLibrary, RTLD_NOW | RTLD_LOCAL);
    if (!h) {
        const char* why = ::dlerror();
        s.error = std::string("resampler: the resampling library ") + kSoxrLibrary + " cannot be loaded" +
                  (why ? std::string(" (") + why + ")" : std::string());
        return s;
    }
    auto find = [&](auto& fn, const char* name) {
        fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(::dlsym(h, name));
        if (!fn && s.error.empty())
            s.error = std::string("resampler: ") + kSoxrLibrary + " has no " + name;
    };
    find(s.quality_spec, "soxr_quality_spec");
    find(s.io_spec, "soxr_io_spec");
    find(s.create, "soxr_create");
    find(s.process, "soxr_process");
    find(s.destroy, "soxr_delete");
    return s;
}

const SSoxr& Soxr()
{
    static const SSoxr s = LoadSoxr();
    return s;
}
} // namespace

struct CSPBResample::Impl {
    bool bSet = false;
    bool bMinimumPhase = false;
    double dRate = 0.0;
    int nPassband = 20;
    int nPrecision = 20;

    bool bPassThrough = false;
    double r = 1.0; // output per input scan
    soxr_t soxr = nullptr;
    std::size_t nCh = 0;
    bool bPulses = false;
    std::uint64_t nExpected = 0; // output scans in total
    std::uint64_t nEmitted = 0;

    std::vector<float> hold;  // output scans not yet handed on
    std::size_t holdScans = 0;
    SStreamBlock in;          // current input block
    std::size_t inPos = 0;    // scans of it already fed
    bool bInputEnded = false;
    bool bFlushed = false;

    // Pulse re-timing (bitwise over the 8 bits at once).
    std::deque<std::uint8_t> pulseFifo;
    std::uint64_t nInScans = 0;    // input scans seen
    std::uint64_t nOutPulse = 0;   // output pulse scans finished
    std::uint8_t inLevel = 0, rose = 0, pending = 0, prevOut = 0;
    bool bFirstIn = true;

    void FinishPulseScan()
    {
        std::uint8_t o = std::uint8_t((rose & ~prevOut) | (~rose & pending) | (~rose & ~pending & inLevel));
        pending = std::uint8_t(rose & prevOut);
        prevOut = o;
        rose = 0;
        pulseFifo.push_back(o);
        ++nOutPulse;
    }

    void FeedPulses(const std::uint8_t* p, std::size_t n)
    {
        for (std::size_t k = 0; k < n; ++k, ++nInScans) {
            std::uint64_t j = std::uint64_t(std::floor(double(nInScans) * r + 0.5));
            while (nOutPulse < j)
                FinishPulseScan();
            if (bFirstIn) {
                inLevel = p[k];
                bFirstIn = false;
            }
            rose |= std::uint8_t(p[k] & ~inLevel);
            inLevel = p[k];
        }
    }

    ~Impl()
    {
        if (soxr)
            Soxr().destroy(soxr);
    }
};

CSPBResample* CSPBResample::CreateObject()
{
    return new CSPBResample();
}

CSPBResample::CSPBResample() : CNetNode(1, 1), m(std::make_unique<Impl>()) {}
CSPBResample::~CSPBResample() = default;

bool CSPBResample::SetParameters(bool bMinimumPhase, double dRate, int nPassband, int nPrecision)
{
    if (m_bInitialized || !(dRate > 0.0) || !std::isfinite(dRate) || nPassband < 2 || nPrecision < 1 ||
        nPrecision > 32)
        return false;
    m->bMinimumPhase = bMinimumPhase;
    m->dRate = dRate;
    m->nPassband = nPassband;
    m->nPrecision = nPrecision;
    m->bSet = true;
    return true;
}

bool CSPBResample::OnInitialize()
{
    if (!m->bSet)
        return Fail("resampler: no output rate set");
    const SStreamFormat& fin = Input(0)->GetFormat();
    if (!(fin.dRate > 0.0))
        return Fail("resampler: input has no sampling rate");
    SStreamFormat fout = fin;
    m->r = m->dRate / fin.dRate;
    m->nCh = fin.channels.size();
    m->bPulses = fin.HasPulses();
    fout.dRate = m->dRate;
    m->nExpected = std::uint64_t(std::llround(double(fin.nScans) * m->r));
    fout.nScans = m->nExpected;
    // Integer codes become fractional: the stream carries physical values.
    for (auto& c : fout.channels) {
        c.iStreamType = 10;
        c.dFactor = 1.0;
        c.dOffset = 0.0;
    }
    Output(0)->Format() = fout;
    m->bPassThrough = std::fabs(m->r - 1.0) < 1e-12;
    if (m->bPassThrough || m->nCh == 0)
        return true;

    unsigned long recipe = m->nPrecision <= 16 ? SOXR_16_BITQ
                           : m->nPrecision <= 20 ? SOXR_20_BITQ
                           : m->nPrecision <= 24 ? SOXR_24_BITQ
                           : m->nPrecision <= 28 ? SOXR_28_BITQ
                                                 : SOXR_32_BITQ;
    if (m->bMinimumPhase)
        recipe |= SOXR_MINIMUM_PHASE;
    const SSoxr& lib = Soxr();
    if (!lib.error.empty())
        return Fail(lib.error);
    soxr_quality_spec_t q = lib.quality_spec(recipe, 0);
    q.passband_end = 1.0 - 1.0 / double(m->nPassband);
    q.stopband_begin = 1.0;
    soxr_io_spec_t io = lib.io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    soxr_error_t err = nullptr;
    m->soxr = lib.create(fin.dRate, m->dRate, unsigned(m->nCh), &err, &io, &q, nullptr);
    if (!m->soxr || err)
        return Fail(std::string("resampler: ") + (err ? err : "cannot be created"));
    return true;
}

bool CSPBResample::Produce(int, SStreamBlock& block)
{
    Impl& s = *m;
    if (s.bPassThrough)
        return Input(0)->Pull(block);

    const std::size_t nCh = s.nCh;
    if (s.bFlushed && s.holdScans == 0 && s.pulseFifo.empty()) {
        block.Reset(0, nCh, s.bPulses);
        block.bEnd = true;
        return true;
    }
    // Fetch the next input block when the current one is used up.
    while (!s.bFlushed && s.inPos >= s.in.nScans && !s.bInputEnded) {
        if (!Input(0)->Pull(s.in))
            return Fail("resampler: upstream failed: " + Input(0)->GetConnectedOutput()->GetNode()->GetLastError());
        s.inPos = 0;
        if (s.in.bEnd)
            s.bInputEnded = true;
        if (s.in.nScans)
            break;
    }

    auto room = [&](std::size_t extra) { s.hold.resize((s.holdScans + extra) * nCh); };
    if (!s.bFlushed && s.inPos < s.in.nScans) {
        std::size_t maxIn = std::max<std::size_t>(1, std::size_t(double(kMaxOutScans) / std::max(s.r, 1e-9)));
        std::size_t fed = std::min(s.in.nScans - s.inPos, maxIn);
        if (s.bPulses)
            s.FeedPulses(s.in.pulses.data() + s.inPos, fed);
        if (nCh) {
            std::size_t done = 0;
            while (done < fed) {
                std::size_t cap = std::size_t(std::ceil(double(fed - done) * s.r)) + 256;
                room(cap);
                std::size_t idone = 0, odone = 0;
                soxr_error_t err = Soxr().process(s.soxr, s.in.values.data() + (s.inPos + done) * nCh, fed - done,
                                                &idone, s.hold.data() + s.holdScans * nCh, cap, &odone);
                if (err)
                    return Fail(std::string("resampler: ") + err);
                done += idone;
                s.holdScans += odone;
                if (!idone && !odone)
                    break;
            }
        }
        s.inPos += fed;
    }
    if (!s.bFlushed && s.bInputEnded && s.inPos >= s.in.nScans) {
        // Drain the filter's tail, then finish the pulse scans up to the total.
        if (nCh) {
            for (;;) {
                std::size_t cap = 4096;
                room(cap);
                std::size_t odone = 0;
                soxr_error_t err =
                    Soxr().process(s.soxr, nullptr, 0, nullptr, s.hold.data() + s.holdScans * nCh, cap, &odone);
                if (err)
                    return Fail(std::string("resampler: ") + err);
                s.holdScans += odone;
                if (odone == 0 || s.nEmitted + s.holdScans >= s.nExpected)
                    break;
            }
            // Exactly the expected number of scans: trim the tail or pad it.
            std::uint64_t want = s.nExpected - std::min(s.nExpected, s.nEmitted);
            if (s.holdScans < want) {
                std::size_t old = s.holdScans;
                s.holdScans = std::size_t(want);
                s.hold.resize(s.holdScans * nCh);
                std::fill(s.hold.begin() + std::ptrdiff_t(old * nCh), s.hold.end(), 0.0f);
            }
            s.holdScans = std::size_t(std::min<std::uint64_t>(s.holdScans, want));
        }
        if (s.bPulses) {
            while (s.nOutPulse < s.nExpected)
                s.FinishPulseScan();
            while (s.nOutPulse > s.nExpected && !s.pulseFifo.empty()) {
                s.pulseFifo.pop_back();
                --s.nOutPulse;
            }
        }
        s.bFlushed = true;
    }

    // Signal and pulses leave together: as many scans as both have.
    std::size_t n = nCh ? s.holdScans : s.pulseFifo.size();
    if (nCh && s.bPulses)
        n = std::min(n, s.pulseFifo.size());
    n = std::size_t(std::min<std::uint64_t>(n, s.nExpected - std::min(s.nExpected, s.nEmitted)));
    block.Reset(n, nCh, s.bPulses);
    if (nCh) {
        std::copy_n(s.hold.begin(), n * nCh, block.values.begin());
        s.hold.erase(s.hold.begin(), s.hold.begin() + std::ptrdiff_t(n * nCh));
        s.holdScans -= n;
    }
    for (std::size_t i = 0; i < n && s.bPulses; ++i) {
        block.pulses[i] = s.pulseFifo.front();
        s.pulseFifo.pop_front();
    }
    s.nEmitted += n;
    if (s.bFlushed && (s.nEmitted >= s.nExpected)) {
        s.holdScans = 0;
        s.pulseFifo.clear();
        block.bEnd = true;
    }
    return true;
}

bool CSPBResample::OnEndRun()
{
    if (m->soxr) {
        Soxr().destroy(m->soxr);
        m->soxr = nullptr;
    }
    return true;
}
