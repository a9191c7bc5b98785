// Float to integer: rounding, clipping, the mappings that keep physical
// values, and the pulse requirements.
#include "BlockTestUtil.h"
#include "hostlibs/blocks/Quantize.h"
#include "hostlibs/dataset/Channel.h"

#include <gtest/gtest.h>

#include <limits>

namespace {
std::vector<std::int32_t> Q(const std::vector<float>& x, SQuantizer q, std::size_t* clipped = nullptr)
{
    std::vector<std::int32_t> out(x.size());
    SDitherNoise noise;
    std::size_t c = Quantize(x.data(), x.size(), 1, q, noise, out.data(), 1);
    if (clipped)
        *clipped = c;
    return out;
}
} // namespace

TEST(Quantize, RoundsToNearestWithTiesToEvenAndClipsAtBothLimits)
{
    const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
    std::vector<float> x{0.5f, 1.5f, 2.5f, -0.5f, -1.5f, 0.49f, -0.51f, 32766.5f, 32767.4f, 32767.6f, -32768.4f,
                         -32768.6f, 1e9f, -1e9f, nan, inf, -inf};
    std::size_t clipped = 0;
    SQuantizer q;
    auto r = Q(x, q, &clipped);
    EXPECT_EQ(r, (std::vector<std::int32_t>{0, 2, 2, 0, -2, 0, -1, 32766, 32767, 32767, -32768, -32768, 32767,
                                            -32768, 0, 32767, -32768}));
    EXPECT_EQ(clipped, 6u); // 32767.6, -32768.6, +-1e9, +-inf

    q.bRound = false; // truncation toward zero
    EXPECT_EQ(Q({1.9f, -1.9f, 32767.9f, -32768.9f}, q), (std::vector<std::int32_t>{1, -1, 32767, -32768}));

    q = SQuantizer{};
    q.bits = 24;
    q.bSymmetric = true;
    EXPECT_EQ(Q({8388606.5f, 8388607.0f, 8388608.0f, -8388608.0f}, q),
              (std::vector<std::int32_t>{8388606, 8388607, 8388607, -8388607}));

    q = SQuantizer{};
    q.gain = 0.5;
    q.add = 10.0;
    EXPECT_EQ(Q({4.0f, -4.0f}, q), (std::vector<std::int32_t>{12, 8}));
}

TEST(Quantize, DitherIsUnbiasedAndStaysWithinOneCode)
{
    std::vector<float> x(200000, 0.25f);
    SQuantizer q;
    q.bDither = true;
    auto r = Q(x, q);
    double mean = 0;
    for (auto v : r) {
        ASSERT_GE(v, -1);
        ASSERT_LE(v, 1);
        mean += v;
    }
    EXPECT_NEAR(mean / double(r.size()), 0.25, 0.01);
}

namespace {
struct ConvResult {
    CCollectDrain d;
    std::uint64_t clipped = 0;
    bool ok = false;
};

void Convert(ConvResult& out, SStreamFormat fmt, CTestSource::ValueFn fn, CTestSource::PulseFn pulse,
             std::function<void(CSPBConvertMultiChnFloatToInt&)> setup)
{
    CTestSource src(std::move(fmt), std::move(fn), std::move(pulse), 100);
    std::unique_ptr<CSPBConvertMultiChnFloatToInt> cv(CSPBConvertMultiChnFloatToInt::CreateObject());
    setup(*cv);
    src.Output(0)->ConnectInput(cv->Input(0));
    cv->Output(0)->ConnectInput(out.d.Input(0));
    out.ok = RunNetwork(&out.d);
    out.clipped = cv->GetClipCount();
}
} // namespace

TEST(ConvertFloatToInt, OwnScaleKeepsPhysicalValuesOfFloatAndIntegerChannels)
{
    SStreamFormat fmt = MakeFormat(1000, 1000, 2);
    fmt.channels[0].iOriginType = 10; // float, calibration 94 dB re 1: full scale 141757.16
    fmt.channels[0].fCalibration = 94.0f;
    fmt.channels[1].iOriginType = 3;  // 16-bit with factor 0.001, offset 2
    fmt.channels[1].dOriginFactor = 0.001;
    fmt.channels[1].dOriginOffset = 2.0;
    const double fs0 = 141757.15661678836;
    auto value = [&](std::size_t c, std::uint64_t i) {
        return c == 0 ? float(fs0 * 0.9 * std::sin(0.01 * double(i))) : float(2.0 + 0.001 * (double(i % 200) - 100.0));
    };
    auto ownScale = [](CSPBConvertMultiChnFloatToInt& cv) {
        ASSERT_TRUE(cv.SetParameters(0, 1, true, CChNbrList{}, false, false, false));
        ASSERT_TRUE(cv.SetParametersSignalChannels(0, 2, true, 0.0, false));
    };
    ConvResult r;
    Convert(r, fmt, value, nullptr, ownScale);
    ASSERT_TRUE(r.ok) << r.d.GetLastError();
    const SStreamChannel& c0 = r.d.format.channels[0];
    const SStreamChannel& c1 = r.d.format.channels[1];
    EXPECT_EQ(c0.iStreamType, 3);
    EXPECT_NEAR(c0.dFactor, fs0 / 32768, 1e-12);
    EXPECT_EQ(c1.iStreamType, 3);
    EXPECT_NEAR(c1.dFactor, 0.001, 1e-15);
    EXPECT_DOUBLE_EQ(c1.dOffset, 2.0);
    for (std::uint64_t i = 0; i < 1000; ++i) {
        float code0 = r.d.values[i * 2], code1 = r.d.values[i * 2 + 1];
        ASSERT_EQ(code0, std::round(code0));
        ASSERT_NEAR(code0 * c0.dFactor + c0.dOffset, value(0, i), c0.dFactor * 0.5001) << i;
        // The integer channel comes back as its own codes, exactly.
        ASSERT_EQ(code1, float(double(i % 200) - 100.0)) << i;
    }
    EXPECT_EQ(r.clipped, 0u);

    // An empty stream of several channels: its one block has no values.
    fmt.nScans = 0;
    ConvResult empty;
    Convert(empty, fmt, value, nullptr, ownScale);
    EXPECT_TRUE(empty.ok) << empty.d.GetLastError();
    EXPECT_EQ(empty.d.nScans, 0u);
}

TEST(ConvertFloatToInt, CommonFullScaleClipsOrStopsAndKeepsListedChannelsFloat)
{
    SStreamFormat fmt = MakeFormat(1000, 300, 2);
    auto value = [](std::size_t c, std::uint64_t i) { return float((double(i) - 150.0) / 100.0); }; // -1.5 .. 1.49
    ConvResult r;
    Convert(r, fmt, value, nullptr, [](CSPBConvertMultiChnFloatToInt& cv) {
        ASSERT_TRUE(cv.SetParameters(1, 0, true, CChNbrList{1}, false, false, false));
        ASSERT_TRUE(cv.SetParametersSignalChannels(0, 2, false, 1.0, false));
    });
    ASSERT_TRUE(r.ok);
    EXPECT_EQ(r.d.format.channels[0].iStreamType, 5);
    EXPECT_EQ(r.d.format.channels[1].iStreamType, 10);
    EXPECT_EQ(r.d.values[0], -8388608.0f);                // -1.5 clipped
    EXPECT_EQ(r.d.values[2 * 299], 8388607.0f);           // 1.49 clipped
    EXPECT_EQ(r.d.values[2 * 200], 4194304.0f);           // 0.5
    EXPECT_EQ(r.d.values[2 * 200 + 1], 0.5f);             // kept as it was
    EXPECT_EQ(r.clipped, 100u); // below -1.0 and from 1.0 on (full scale itself is one code too many)

    // Stopping on a clip: with headroom (2.0 full scale) nothing clips.
    for (bool headroom : {true, false}) {
        ConvResult stop;
        Convert(stop, fmt, value, nullptr, [&](CSPBConvertMultiChnFloatToInt& cv) {
            ASSERT_TRUE(cv.SetParameters(0, 0, true, CChNbrList{}, false, false, true));
            ASSERT_TRUE(cv.SetParametersSignalChannels(0, 2, false, 1.0, headroom));
        });
        EXPECT_EQ(stop.ok, headroom);
        if (!headroom)
            EXPECT_NE(stop.d.GetLastError().find("outside the integer range"), std::string::npos);
    }

    std::unique_ptr<CSPBConvertMultiChnFloatToInt> cv(CSPBConvertMultiChnFloatToInt::CreateObject());
    EXPECT_FALSE(cv->SetParameters(2, 0, true, CChNbrList{}, false, false, false));
    EXPECT_FALSE(cv->SetParametersSignalChannels(0, 1, false, 0.0, false));
    EXPECT_FALSE(cv->SetParametersPulseChannels(8, 1, CPulseRequirement{}));
    EXPECT_TRUE(cv->SetParametersPulseChannels(0, 12, CPulseRequirement{}));
}

TEST(ConvertFloatToInt, PulseRequirementsDropCarryDebounceAndStretch)
{
    SStreamFormat fmt = MakeFormat(1000, 60, 1, 3);
    // bit 0: pulses at 10 (3 scans), a bounce at 15, a 1-scan pulse at 40;
    // bit 1: stuck high from 20 on; bit 2: anything (dropped by the range).
    auto pulse = [](std::uint64_t i) -> std::uint8_t {
        bool b0 = (i >= 10 && i < 13) || i == 15 || i == 40;
        bool b1 = i >= 20;
        return std::uint8_t(b0 | (b1 << 1) | ((i & 1) << 2));
    };
    ConvResult r;
    Convert(r, fmt, [](std::size_t, std::uint64_t) { return 0.0f; }, pulse, [](CSPBConvertMultiChnFloatToInt& cv) {
        CPulseRequirement req;
        // bounce: edges within 0.01 s after an accepted one; pulses at least 4
        // scans high; nothing high longer than 0.015 s (15 scans).
        ASSERT_TRUE(req.SetParameters(5, 0.01, 4, 0, 0.015));
        ASSERT_TRUE(cv.SetParameters(0, 1, true, CChNbrList{}, false, false, false));
        ASSERT_TRUE(cv.SetParametersPulseChannels(0, 2, req));
    });
    ASSERT_TRUE(r.ok) << r.d.GetLastError();
    ASSERT_EQ(r.d.format.pulses.size(), 2u);
    std::string b0, b1;
    for (auto p : r.d.pulses) {
        b0 += (p & 1) ? '1' : '0';
        b1 += (p & 2) ? '1' : '0';
        ASSERT_EQ(p & 4, 0);
    }
    EXPECT_EQ(b0, std::string(10, '0') + "1111" + std::string(26, '0') + "1111" + std::string(16, '0'));
    EXPECT_EQ(b1, std::string(20, '0') + std::string(15, '1') + std::string(25, '0'));

    ConvResult dropped;
    Convert(dropped, fmt, [](std::size_t, std::uint64_t) { return 0.0f; }, pulse,
            [](CSPBConvertMultiChnFloatToInt& cv) {
                CPulseRequirement req;
                ASSERT_TRUE(req.SetParameters(0, -1000.0, 0, 0, -1.0));
                ASSERT_TRUE(cv.SetParameters(0, 1, true, CChNbrList{}, false, false, false));
                ASSERT_TRUE(cv.SetParametersPulseChannels(0, 3, req));
            });
    ASSERT_TRUE(dropped.ok);
    EXPECT_FALSE(dropped.d.format.HasPulses());
    EXPECT_TRUE(dropped.d.pulses.empty());
    CPulseRequirement bad;
    EXPECT_FALSE(bad.SetParameters(3, 0, 0, 0, 0));
    EXPECT_FALSE(bad.SetParameters(5, 0, -1, 0, 0));
}
