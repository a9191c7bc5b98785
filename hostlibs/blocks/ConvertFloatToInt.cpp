#include "hostlibs/blocks/ChannelScale.h"
#include "hostlibs/blocks/ConvertFloatToInt.h"
#include "hostlibs/blocks/Quantize.h"
#include "hostlibs/dataset/Channel.h"

#include <algorithm>
#include <cmath>
#include <limits>

bool CPulseRequirement::SetParameters(int proceeding, double minSpacing, int minHigh, int minLow, double maxHigh)
{
    if ((proceeding != 0 && proceeding != 1 && proceeding != 5) || minHigh < 0 || minLow < 0 ||
        !std::isfinite(minSpacing) || !std::isfinite(maxHigh))
        return false;
    iProceeding = proceeding;
    dMinSpacing = minSpacing;
    nMinHigh = minHigh;
    nMinLow = minLow;
    dMaxHigh = maxHigh;
    return true;
}

namespace {
// One pulse bit under a requirement of kind 5. high: scans already shown
// high in the running pulse; low: scans shown low since the last pulse.
struct SPulseShaper {
    bool out = false, prevIn = false, pending = false, started = false;
    std::uint64_t high = 0, low = std::numeric_limits<std::uint32_t>::max();
    std::uint64_t sinceRise = std::numeric_limits<std::uint32_t>::max();

    bool Step(bool in, std::uint64_t spacing, std::uint64_t minHigh, std::uint64_t minLow, std::uint64_t maxHigh)
    {
        if (!started) {
            // A stream that starts high starts inside a pulse: no edge.
            started = true;
            prevIn = out = in;
            high = in ? 1 : 0;
            return out;
        }
        bool edge = in && !prevIn;
        prevIn = in;
        ++sinceRise;
        if (edge && sinceRise >= spacing)
            pending = true;
        if (out) {
            if ((!in && high >= minHigh) || (maxHigh && high >= maxHigh)) {
                out = false;
                low = 0;
            } else {
                ++high;
                return true;
            }
        }
        if (pending && low >= minLow) {
            out = true;
            pending = false;
            high = 1;
            sinceRise = 0;
        } else {
            ++low;
        }
        return out;
    }
};
} // namespace

struct CSPBConvertMultiChnFloatToInt::Impl {
    bool bSet = false;
    int iFormat = 0, iPulseStorage = 1;
    bool bRound = true, bDither = false, bSymmetric = false, bStopOnClip = false;
    std::vector<int> keepFloat;
    int sigFirst = 0, sigCount = -1;
    bool bOwnScale = true, bHeadroom = false;
    double dFullScale = 0.0;
    int pulseFirst = 0, pulseCount = -1;
    CPulseRequirement req;

    std::size_t nCh = 0;
    std::vector<int> action;           // per channel: 0 pass, 1 quantise
    std::vector<SQuantizer> quant;
    std::vector<int> pulseMap;         // output bit k <- input bit pulseMap[k]
    std::vector<SPulseShaper> shapers;
    std::uint64_t spacing = 0, minHigh = 0, minLow = 0, maxHigh = 0;
    bool bPulsesOut = false;
    SDitherNoise noise;
    std::vector<std::int32_t> codes;
    std::uint64_t nClipped = 0;
};

CSPBConvertMultiChnFloatToInt* CSPBConvertMultiChnFloatToInt::CreateObject()
{
    return new CSPBConvertMultiChnFloatToInt();
}

CSPBConvertMultiChnFloatToInt::CSPBConvertMultiChnFloatToInt() : CNetNode(1, 1), m(std::make_unique<Impl>()) {}
CSPBConvertMultiChnFloatToInt::~CSPBConvertMultiChnFloatToInt() = default;

bool CSPBConvertMultiChnFloatToInt::SetParameters(int iOutputFormat, int iPulseStorage, bool bRound,
                                                  const CChNbrList& keepFloat, bool bDither, bool bSymmetric,
                                                  bool bStopOnClip)
{
    if (m_bInitialized || (iOutputFormat != 0 && iOutputFormat != 1) || (iPulseStorage != 0 && iPulseStorage != 1))
        return false;
    m->iFormat = iOutputFormat;
    m->iPulseStorage = iPulseStorage;
    m->bRound = bRound;
    m->keepFloat = keepFloat.Get();
    m->bDither = bDither;
    m->bSymmetric = bSymmetric;
    m->bStopOnClip = bStopOnClip;
    m->bSet = true;
    return true;
}

bool CSPBConvertMultiChnFloatToInt::SetParametersSignalChannels(int first, int count, bool bOwnScale,
                                                                double dFullScale, bool bHeadroom)
{
    if (m_bInitialized || first < 0 || count < 0)
        return false;
    if (!bOwnScale && !(std::isfinite(dFullScale) && dFullScale > 0.0))
        return false;
    m->sigFirst = first;
    m->sigCount = count;
    m->bOwnScale = bOwnScale;
    m->dFullScale = dFullScale;
    m->bHeadroom = bHeadroom;
    return true;
}

bool CSPBConvertMultiChnFloatToInt::SetParametersPulseChannels(int first, int count, const CPulseRequirement& req)
{
    // A data set may hold more sub-channels than a stream carries pulse bits
    // (8): the range is cut to the bits that exist when the network starts.
    if (m_bInitialized || first < 0 || first >= 8 || count < 0)
        return false;
    m->pulseFirst = first;
    m->pulseCount = count;
    m->req = req;
    return true;
}

std::uint64_t CSPBConvertMultiChnFloatToInt::GetClipCount() const
{
    return m->nClipped;
}

bool CSPBConvertMultiChnFloatToInt::OnInitialize()
{
    Impl& s = *m;
    const SStreamFormat& fin = Input(0)->GetFormat();
    SStreamFormat fout = fin;
    s.nCh = fin.channels.size();
    int bits = s.iFormat == 1 ? 24 : 16;
    std::size_t sigEnd = s.sigCount < 0 ? s.nCh : std::min(s.nCh, std::size_t(s.sigFirst + s.sigCount));
    s.action.assign(s.nCh, 0);
    s.quant.assign(s.nCh, SQuantizer{});
    for (std::size_t c = 0; c < s.nCh; ++c) {
        bool signal = c >= std::size_t(s.sigFirst) && c < sigEnd;
        bool keep = std::find(s.keepFloat.begin(), s.keepFloat.end(), int(c)) != s.keepFloat.end();
        if (!signal || keep)
            continue;
        const SStreamChannel& ch = fin.channels[c];
        double fs = s.dFullScale, zero = 0.0;
        if (s.bOwnScale && !ChannelFullScale(ch, fs, zero))
            return Fail("conversion: channel " + std::to_string(c) + " has no usable full scale");
        if (s.bHeadroom)
            fs *= 2.0;
        double a, b;
        StreamToPhysical(ch, a, b);
        double codesPerUnit = std::ldexp(1.0, bits - 1) / fs;
        SQuantizer& q = s.quant[c];
        q.gain = a * codesPerUnit;
        q.add = (b - zero) * codesPerUnit;
        q.bits = bits;
        q.bRound = s.bRound;
        q.bDither = s.bDither;
        q.bSymmetric = s.bSymmetric;
        s.action[c] = 1;
        SStreamChannel& o = fout.channels[c];
        o.iStreamType = bits == 24 ? 5 : 3;
        o.dFactor = fs / std::ldexp(1.0, bits - 1);
        o.dOffset = zero;
    }
    // Pulses: the chosen bits move down to bit 0, 1, ...; the rest go.
    s.pulseMap.clear();
    fout.pulses.clear();
    if (s.iPulseStorage == 1 && s.req.iProceeding != 0 && fin.HasPulses()) {
        int end = s.pulseCount < 0 ? int(fin.pulses.size()) : std::min<int>(int(fin.pulses.size()), s.pulseFirst + s.pulseCount);
        for (int b = s.pulseFirst; b < end; ++b) {
            s.pulseMap.push_back(b);
            fout.pulses.push_back(fin.pulses[std::size_t(b)]);
        }
    }
    s.bPulsesOut = !s.pulseMap.empty();
    s.shapers.assign(s.pulseMap.size(), SPulseShaper{});
    auto scans = [&](double seconds) {
        return seconds > 0.0 ? std::uint64_t(std::ceil(seconds * fin.dRate - 1e-9)) : std::uint64_t(0);
    };
    s.spacing = scans(s.req.dMinSpacing);
    s.maxHigh = scans(s.req.dMaxHigh);
    s.minHigh = std::uint64_t(std::max(1, s.req.nMinHigh));
    s.minLow = std::uint64_t(std::max(1, s.req.nMinLow));
    Output(0)->Format() = fout;
    return true;
}

bool CSPBConvertMultiChnFloatToInt::Produce(int, SStreamBlock& block)
{
    Impl& s = *m;
    if (!Input(0)->Pull(block))
        return Fail("conversion: upstream failed: " + Input(0)->GetConnectedOutput()->GetNode()->GetLastError());
    const std::size_t n = block.nScans, nCh = s.nCh;
    s.codes.resize(n);
    // An empty block (the last one of a stream may be) has no values to
    // offset into.
    for (std::size_t c = 0; c < nCh && n; ++c) {
        if (!s.action[c])
            continue;
        std::size_t clipped = Quantize(block.values.data() + c, n, nCh, s.quant[c], s.noise, s.codes.data(), 1);
        s.nClipped += clipped;
        if (clipped && s.bStopOnClip)
            return Fail("conversion: channel " + std::to_string(c) + ": " + std::to_string(clipped) +
                        " values outside the integer range");
        for (std::size_t i = 0; i < n; ++i)
            block.values[i * nCh + c] = float(s.codes[i]);
    }
    if (!s.bPulsesOut) {
        block.pulses.clear();
        return true;
    }
    for (std::size_t i = 0; i < n && i < block.pulses.size(); ++i) {
        std::uint8_t in = block.pulses[i], o = 0;
        for (std::size_t k = 0; k < s.pulseMap.size(); ++k) {
            bool bit = (in >> s.pulseMap[k]) & 1;
            if (s.req.iProceeding == 5)
                bit = s.shapers[k].Step(bit, s.spacing, s.minHigh, s.minLow, s.maxHigh);
            o = std::uint8_t(o | (std::uint8_t(bit) << k));
        }
        block.pulses[i] = o;
    }
    return true;
}
