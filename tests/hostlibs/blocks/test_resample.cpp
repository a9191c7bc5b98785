// The resampler on known signals: pass band, stop band, counts, streaming,
// and the pulse bits that travel with the signal.
#include "BlockTestUtil.h"

#include <gtest/gtest.h>

namespace {
struct Result {
    std::vector<double> x; // channel 0
    std::vector<std::uint8_t> pulses;
    std::uint64_t scans = 0;
    SStreamFormat fmt;
};

Result Resample(double inRate, double outRate, std::uint64_t n, CTestSource::ValueFn fn, int passband = 20,
                int precision = 20, std::size_t block = 4096, CTestSource::PulseFn pulse = nullptr,
                std::size_t channels = 1)
{
    const std::size_t pulseBits = pulse ? 2 : 0;
    CTestSource src(MakeFormat(inRate, n, channels, pulseBits), std::move(fn), std::move(pulse), block);
    std::unique_ptr<CSPBResample> res(CSPBResample::CreateObject());
    EXPECT_TRUE(res->SetParameters(false, outRate, passband, precision));
    CCollectDrain d;
    src.Output(0)->ConnectInput(res->Input(0));
    res->Output(0)->ConnectInput(d.Input(0));
    EXPECT_TRUE(RunNetwork(&d)) << d.GetLastError();
    Result r;
    r.x.assign(d.values.begin(), d.values.end());
    r.pulses = d.pulses;
    r.scans = d.nScans;
    r.fmt = d.format;
    return r;
}

std::vector<double> Interior(const std::vector<double>& x, std::size_t skip, std::size_t len)
{
    return std::vector<double>(x.begin() + std::ptrdiff_t(skip), x.begin() + std::ptrdiff_t(skip + len));
}

// The part of x that a tone of freq does not explain, relative to its amplitude.
double Residual(const std::vector<double>& x, double rate, double freq, double& amp)
{
    double ph;
    ToneFit(x, rate, freq, amp, ph);
    std::vector<double> r(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        r[i] = x[i] - amp * std::cos(2 * M_PI * freq * double(i) / rate + ph);
    return Rms(r) / amp;
}
} // namespace

TEST(Resample, DownByFourKeepsAPassBandToneAndRejectsOneAboveTheNewNyquist)
{
    const double fin = 48000, fout = 12000;
    auto sine = [](double f) {
        return [f](std::size_t, std::uint64_t i) { return float(0.5 * std::sin(2 * M_PI * f * double(i) / 48000)); };
    };
    Result r = Resample(fin, fout, 96000, sine(1000));
    EXPECT_EQ(r.scans, 24000u);
    EXPECT_DOUBLE_EQ(r.fmt.dRate, 12000);
    double amp;
    double resid = Residual(Interior(r.x, 1200, 12000 * 1), fout, 1000, amp);
    EXPECT_NEAR(amp, 0.5, 0.5 * 0.001); // within 0.01 dB
    EXPECT_LT(resid, 1e-4);             // the frequency is right, nothing else is there

    // 9 kHz folds to 3 kHz if not filtered away: it must be 100 dB down.
    Result s = Resample(fin, fout, 96000, sine(9000));
    EXPECT_LT(Rms(Interior(s.x, 1200, 12000)) / (0.5 / std::sqrt(2.0)), 1e-5);

    // A tone at 95 % of the new Nyquist frequency still passes (within 0.1 dB).
    Result e = Resample(fin, fout, 96000, sine(5700));
    double phase;
    ToneFit(Interior(e.x, 1200, 12000), fout, 5700, amp, phase);
    EXPECT_NEAR(amp, 0.5, 0.5 * 0.012);
}

TEST(Resample, NonIntegerRatiosUpAndDownKeepToneAndCountWhateverTheBlocks)
{
    for (auto [fin, fout] : {std::pair{44100.0, 48000.0}, std::pair{48000.0, 44100.0}, std::pair{48000.0, 7000.0}}) {
        const double f = 997;
        std::uint64_t n = std::uint64_t(fin * 2);
        auto tone = [&](std::size_t, std::uint64_t i) { return float(0.25 * std::sin(2 * M_PI * f * double(i) / fin)); };
        Result r = Resample(fin, fout, n, tone);
        // Blocks of any size give the same result.
        Result small = Resample(fin, fout, n, tone, 20, 20, 777);
        ASSERT_EQ(small.x.size(), r.x.size());
        for (std::size_t i = 0; i < r.x.size(); ++i)
            ASSERT_NEAR(small.x[i], r.x[i], 1e-6) << i;
        EXPECT_EQ(r.scans, std::uint64_t(std::llround(double(n) * fout / fin))) << fin << "->" << fout;
        double amp;
        std::size_t len = std::size_t(fout); // one second: 997 whole cycles
        double resid = Residual(Interior(r.x, std::size_t(fout / 4), len), fout, f, amp);
        EXPECT_NEAR(amp, 0.25, 0.25 * 0.001) << fin << "->" << fout;
        EXPECT_LT(resid, 2e-4) << fin << "->" << fout;
    }
}

TEST(Resample, SlowSpeedCurveUpToTheSignalRateStaysOnItsLine)
{
    // A speed curve at 100 values per second brought up to 48000 (480 times):
    // the ramp stays a ramp away from its ends, and no block gets huge.
    const double fin = 100, fout = 48000;
    Result r = Resample(fin, fout, 1000, [](std::size_t, std::uint64_t i) { return float(1000 + 2 * double(i)); }, 2, 16,
                        64);
    ASSERT_EQ(r.scans, 480000u);
    for (std::size_t j = 48000; j < 480000 - 48000; j += 997) {
        double expect = 1000 + 2 * (double(j) / 480.0);
        ASSERT_NEAR(r.x[j], expect, 0.05) << j;
    }
}

TEST(Resample, PulseEdgesAreRetimedToTheNearestOutputScan)
{
    // Rising edges at input scans 100, 250, 251 (a collapsed pair after a one-scan
    // gap), 1003; pulses 40 scans long except the 1-scan one at 250.
    auto pulse = [](std::uint64_t i) -> std::uint8_t {
        bool p0 = (i >= 100 && i < 140) || i == 248 || (i >= 250 && i < 290) || (i >= 1003 && i < 1043);
        bool p1 = (i / 64) % 2 == 1; // bit 1: a square wave, 64 high, 64 low
        return std::uint8_t(p0 | (p1 << 1));
    };
    // With signal channels, and alone (no filter runs then).
    for (std::size_t channels : {1u, 0u}) {
        Result r = Resample(48000, 12000, 4000, [](std::size_t, std::uint64_t) { return 0.0f; }, 20, 20, 333, pulse,
                            channels);
        ASSERT_EQ(r.pulses.size(), 1000u);
        std::vector<std::size_t> rises0, rises1;
        for (std::size_t j = 1; j < r.pulses.size(); ++j) {
            if ((r.pulses[j] & 1) && !(r.pulses[j - 1] & 1))
                rises0.push_back(j);
            if ((r.pulses[j] & 2) && !(r.pulses[j - 1] & 2))
                rises1.push_back(j);
        }
        // 248 and 250 fall into neighbouring output scans 62 and 63(.5 -> 63):
        // both pulses survive, the second one scan later.
        EXPECT_EQ(rises0, (std::vector<std::size_t>{25, 62, 64, 251})) << channels;
        ASSERT_EQ(rises1.size(), 31u);
        for (std::size_t k = 0; k < rises1.size(); ++k)
            EXPECT_EQ(rises1[k], 16 + 32 * k);
    }
}
