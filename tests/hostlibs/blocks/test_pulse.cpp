// Pulses and speed on plain buffers: edges, the generator, and speed curves
// evaluated from the pulses of known speed curves.
#include "hostlibs/blocks/Pulse.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

TEST(PulseEdges, RisingEdgesOfTheMaskedBitAreFoundExactlyAcrossBlocks)
{
    std::vector<std::uint8_t> bytes(1000, 0);
    std::vector<std::uint64_t> want;
    // Bit 2 carries pulses, bit 0 noise that must not count.
    std::uint64_t starts[] = {3, 17, 255, 256 + 40, 511, 997};
    for (auto s : starts) {
        for (std::uint64_t i = s; i < std::min<std::uint64_t>(s + 3, 1000); ++i)
            bytes[i] |= 4;
        want.push_back(s);
    }
    for (std::size_t i = 0; i < bytes.size(); i += 3)
        bytes[i] |= 1;
    for (std::size_t block : {1000u, 256u, 7u, 1u}) {
        CPulseEdgeDetector det(4);
        std::vector<std::uint64_t> got;
        for (std::size_t i = 0; i < bytes.size(); i += block)
            det.Process(bytes.data() + i, std::min(block, bytes.size() - i), got);
        EXPECT_EQ(got, want) << "block " << block;
        EXPECT_EQ(det.GetScans(), 1000u);
    }
    // A stream that starts high: its first byte is no edge unless asked.
    std::uint8_t high[3] = {4, 0, 4};
    std::vector<std::uint64_t> a, b;
    CPulseEdgeDetector(4).Process(high, 3, a);
    CPulseEdgeDetector(4, true).Process(high, 3, b);
    EXPECT_EQ(a, (std::vector<std::uint64_t>{2}));
    EXPECT_EQ(b, (std::vector<std::uint64_t>{0, 2}));
}

TEST(PulseGenerator, WritesOnlyItsBitAndPulsesAtSpeedOverPulseFactor)
{
    CPulseGeneratorEx gen;
    EXPECT_FALSE(gen.Init(0.0, 1, 1.0, 0.0));
    EXPECT_FALSE(gen.Init(1e-3, 0, 1.0, 0.0));
    EXPECT_FALSE(gen.Init(1e-3, 1, 0.0, 0.0));
    double duty = 1.0;
    EXPECT_FALSE(gen.Init(1e-3, 1, 1.0, 0.0, &duty));
    EXPECT_FALSE(gen.DoOneStepOfProcessing(nullptr, 0, 1.0)); // not initialised

    // 1000 bytes per second, factor 60 (rpm with one pulse a revolution):
    // 600 rpm is 10 pulses a second, a period of 100 bytes, 50 high.
    ASSERT_TRUE(gen.Init(1e-3, 2, 60.0, 600.0));
    std::vector<std::uint8_t> b(1000, 0xF5);
    ASSERT_TRUE(gen.DoOneStepOfProcessing(b.data(), b.size(), 600.0));
    std::vector<std::uint64_t> rises;
    CPulseEdgeDetector(2, true).Process(b.data(), b.size(), rises);
    ASSERT_EQ(rises.size(), 10u);
    int high = 0;
    for (std::size_t i = 0; i < b.size(); ++i) {
        ASSERT_EQ(b[i] & ~2, 0xF5 & ~2) << i;
        high += (b[i] >> 1) & 1;
    }
    // Each period starts high; a boundary that falls exactly on a byte may
    // go either way by rounding.
    EXPECT_NEAR(high, 500, 10);
    for (std::size_t k = 0; k < rises.size(); ++k)
        EXPECT_NEAR(double(rises[k]), 100.0 * double(k), 1.0);
    EXPECT_NEAR(gen.GetPhase(), 10.0, 1e-9);
    // Negative speed counts as standing still: the bit keeps its level.
    std::vector<std::uint8_t> c(500, 0);
    ASSERT_TRUE(gen.DoOneStepOfProcessing(c.data(), c.size(), -100.0));
    EXPECT_NEAR(gen.GetPhase(), 12.5, 1e-9); // the ramp from 10 pulses a second to 0 over 0.5 s still turns
}

namespace {
// Pulse times (seconds) of a speed curve sampled with the generator at rate fs
// in steps of `step` bytes, found again by the edge detector.
std::vector<double> PulsesOf(const std::function<double(double)>& speed, double factor, double fs, double seconds,
                             std::size_t step, double edgeOffset)
{
    CPulseGeneratorEx gen;
    EXPECT_TRUE(gen.Init(1.0 / fs, 1, factor, speed(0.0)));
    CPulseEdgeDetector det(1, true);
    std::vector<std::uint8_t> buf(step);
    std::vector<std::uint64_t> edges;
    std::uint64_t total = std::uint64_t(seconds * fs), done = 0;
    while (done < total) {
        std::size_t n = std::size_t(std::min<std::uint64_t>(step, total - done));
        std::fill(buf.begin(), buf.end(), 0);
        gen.DoOneStepOfProcessing(buf.data(), n, speed(double(done + n) / fs));
        det.Process(buf.data(), n, edges);
        done += n;
    }
    std::vector<double> t;
    for (auto e : edges)
        t.push_back((double(e) + edgeOffset) / fs);
    return t;
}

std::vector<double> Evaluate(const std::vector<double>& pulses, double delta, double factor, int smooth, double end,
                             std::size_t chunk = 0)
{
    CSpeedEvaluator ev(0.0, delta, factor, smooth);
    std::vector<double> out;
    for (std::size_t i = 0; i < pulses.size(); ++i) {
        ev.AddPulse(pulses[i]);
        if (chunk && i % chunk == 0)
            ev.AdvanceTo(pulses[i], out);
    }
    ev.Finish(end, out);
    return out;
}
} // namespace

TEST(SpeedFromPulses, SpeedCurvesComeBackFromTheirOwnPulses)
{
    const double fs = 48000;
    struct Case {
        const char* name;
        std::function<double(double)> f;
        double factor; // and 0.625: 96 pulses a revolution
    } cases[] = {
        {"600", [](double) { return 600.0; }, 60.0},
        {"2345.6", [](double) { return 2345.6; }, 60.0},
        {"6000", [](double) { return 6000.0; }, 60.0},
        {"up 300..3000", [](double t) { return 300 + 900 * t; }, 6.0},
        {"down 6000..600", [](double t) { return 6000 - 1800 * t; }, 6.0},
        {"up and down", [](double t) { return t < 1.5 ? 1000 + 1000 * t : 2500 - 1000 * (t - 1.5); }, 6.0},
    };
    for (const auto& c : cases) {
        for (double factor : {0.625, c.factor}) {
            auto p = PulsesOf(c.f, factor, fs, 3.0, 480, -0.5);
            auto v = Evaluate(p, 0.01, factor, 0, 3.0, 17);
            ASSERT_EQ(v.size(), 300u);
            // How the pulses arrive does not matter.
            EXPECT_EQ(v, Evaluate(p, 0.01, factor, 0, 3.0, 0)) << c.name;
            for (std::size_t k = 5; k < v.size() - 5; ++k) {
                double t = double(k) * 0.01, want = c.f(t);
                double period = factor / want;
                if (t < period || t > 3.0 - 2 * period)
                    continue; // the ends know only one side
                // Tolerance: the byte grid (one byte in a period), and the
                // kink of "up and down" averaged over the pulse around it.
                double tol = want * (1.5 / (fs * period)) + (std::fabs(t - 1.5) < 2 * period ? 1000 * period : 0.0);
                ASSERT_NEAR(v[k], want, tol) << c.name << " factor " << factor << " t=" << t;
            }
        }
    }
}

TEST(SpeedFromPulses, StoppingFallsTowardZeroAndTooFewPulsesGiveZero)
{
    // 10 pulses a second for 2 s, then nothing for 3 s.
    std::vector<double> p;
    for (int i = 1; i <= 20; ++i)
        p.push_back(0.1 * i);
    auto v = Evaluate(p, 0.1, 60.0, 0, 5.0);
    ASSERT_EQ(v.size(), 50u);
    EXPECT_NEAR(v[10], 600.0, 1e-6);
    EXPECT_NEAR(v[20], 600.0, 1e-6);                 // at the last pulse
    EXPECT_NEAR(v[30], 60.0 / (3.0 - 2.0), 1e-6);    // a second after it: at most one pulse a second
    EXPECT_NEAR(v[49], 60.0 / (4.9 - 2.0), 1e-6);
    for (std::size_t k = 21; k < 50; ++k)
        EXPECT_LE(v[k], v[k - 1] + 1e-9);

    auto none = Evaluate({}, 0.1, 60.0, 0, 1.0);
    auto one = Evaluate({0.5}, 0.1, 60.0, 2, 1.0);
    EXPECT_EQ(none, std::vector<double>(10, 0.0));
    EXPECT_EQ(one, std::vector<double>(10, 0.0));
}

TEST(SpeedFromPulses, SmoothingAveragesNeighboursAndLeavesARampAlone)
{
    std::vector<double> p;
    double t = 0.0;
    for (;;) { // a speed step from 600 to 1200 rpm at 2 s
        t += t < 2.0 - 1e-9 ? 0.1 : 0.05;
        if (t > 6.0)
            break;
        p.push_back(t);
    }
    auto raw = Evaluate(p, 0.05, 60.0, 0, 6.0);
    auto smooth = Evaluate(p, 0.05, 60.0, 2, 6.0, 3);
    ASSERT_EQ(raw.size(), smooth.size());
    for (std::size_t k = 2; k + 2 < raw.size(); ++k) {
        double mean = (raw[k - 2] + raw[k - 1] + raw[k] + raw[k + 1] + raw[k + 2]) / 5;
        ASSERT_NEAR(smooth[k], mean, 1e-9) << k;
    }
    EXPECT_NEAR(smooth[0], (raw[0] + raw[1] + raw[2]) / 3, 1e-9); // fewer neighbours at the ends
    EXPECT_NEAR(smooth.back(), (raw[raw.size() - 1] + raw[raw.size() - 2] + raw[raw.size() - 3]) / 3, 1e-9);
}
