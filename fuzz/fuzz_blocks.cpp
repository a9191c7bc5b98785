// Any bytes as pulse bytes and samples through the pulse evaluation and a
// resampling network. The first bytes choose the parameters.
#include "FuzzSupport.h"
#include "hostlibs/blocks/Blocks.h"

#include <cmath>

namespace {
// The body's bytes, over and over, as the samples of every channel and as
// pulse bytes.
struct CBytesSource : CNetNode {
    CBytesSource(SStreamFormat f, const std::uint8_t* d, std::size_t n, std::size_t b)
        : CNetNode(0, 1), fmt(std::move(f)), data(d), size(n), block(b) {}
    bool OnInitialize() override
    {
        Output(0)->Format() = fmt;
        return true;
    }
    bool Produce(int, SStreamBlock& b) override
    {
        const std::size_t nCh = fmt.channels.size();
        const std::size_t n = std::size_t(std::min<std::uint64_t>(block, fmt.nScans - pos));
        b.Reset(n, nCh, true);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t byte = size ? data[(pos + i) % size] : 0;
            for (std::size_t c = 0; c < nCh; ++c)
                b.values[i * nCh + c] = float(int(byte) - 128 + int(c)) / 64.0f;
            b.pulses[i] = byte;
        }
        pos += n;
        b.bEnd = pos >= fmt.nScans;
        return true;
    }
    SStreamFormat fmt;
    const std::uint8_t* data;
    std::size_t size, block;
    std::uint64_t pos = 0;
};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 6)
        return 0;
    const double rates[] = {100, 1000, 8000, 44100, 48000};
    const double inRate = rates[data[0] % 5];
    const double outRate = inRate * (double(data[1] % 64) + 1) / 16.0;
    const double factor = (double(data[2]) + 1) / 16.0;
    const double delta = (double(data[3] % 20) + 1) / 1000.0;
    const int smooth = data[4] % 4;
    // The resampler's filter design and flush dominate a run and grow with
    // the channels and the steepness of the pass band; no branch of ours
    // tells a third channel from a second or a pass band of 1/17 from 1/5.
    const std::size_t nCh = data[5] % 3;
    const std::uint8_t* body = data + 6;
    // What a run costs grows with its scans, what it reaches does not.
    const std::size_t n = std::min<std::size_t>(size - 6, 2048);

    // Pulse evaluation straight from the bytes, bit 0 and bit 7.
    for (std::uint8_t mask : {std::uint8_t(1), std::uint8_t(0x80)}) {
        CPulseEdgeDetector det(mask);
        std::vector<std::uint64_t> edges;
        det.Process(body, n, edges);
        CSpeedEvaluator ev(0.0, delta, factor, smooth);
        std::vector<double> curve;
        for (auto e : edges)
            ev.AddPulse(double(e) / inRate);
        ev.AdvanceTo(double(n) / (2 * inRate), curve);
        ev.Finish(double(n) / inRate, curve);
        std::size_t want = std::size_t(std::ceil(double(n) / inRate / delta - 1e-9));
        fuzz::Check(curve.size() + 1 >= want && curve.size() <= want + 1);
        for (double v : curve)
            fuzz::Check(std::isfinite(v) && v >= 0);
    }

    // A network: bytes -> resampler -> 16-bit conversion -> WAVE file.
    SStreamFormat f;
    f.dRate = inRate;
    f.nScans = n * 3;
    f.channels.resize(nCh);
    f.pulses.resize(nCh == 0 ? 2 : 1);
    CBytesSource src(f, body, n, 1 + data[1] % 200);
    std::unique_ptr<CSPBResample> res(CSPBResample::CreateObject());
    std::unique_ptr<CSPBConvertMultiChnFloatToInt> cv(CSPBConvertMultiChnFloatToInt::CreateObject());
    static const std::string path = fuzz::Scratch() + "/out.wav";
    std::unique_ptr<CSPMWaveDrain> drain(CSPMWaveDrain::CreateObject(path.c_str()));
    res->SetParameters(data[4] & 0x80, outRate, 2 + data[3] % 4, 16 + data[2] % 17);
    cv->SetParameters(0, 1, true, CChNbrList{}, data[4] & 0x40, false, false);
    cv->SetParametersSignalChannels(0, int(nCh), false, 1.5, false);
    CPulseRequirement req;
    req.SetParameters(5, 0.001 * (data[5] >> 4), data[5] & 3, 0, -1);
    cv->SetParametersPulseChannels(0, 2, req);
    drain->SetParameters(false, false, true, 0.0, 1, data[5] & 0x80);
    src.Output(0)->ConnectInput(res->Input(0));
    res->Output(0)->ConnectInput(cv->Input(0));
    cv->Output(0)->ConnectInput(drain->Input(0));
    bool ok = drain->Initialize();
    std::uint64_t steps = 0;
    while (ok && !drain->IsFinished()) {
        ok = drain->DoOneStepOfProcessing();
        fuzz::Check(++steps <= 10 * (n * 3 + 10) + 100000);  // a run that does not end
    }
    drain->EndRun();
    fuzz::Check(nCh == 0 || !ok || drain->GetErrorCode() == 0);
    ::unlink(path.c_str());
    return 0;
}
