// ExportTRXMixedSR: the checks before any job, the output read independently
// (NumPy with the documented reader, SciPy's resample_poly as the reference
// of the reduced channels), pulse sub-channels, the last-frame rule, and
// what a failed or refused export leaves behind.

#include "frame/ThreadManager.h"
#include "interface/TSInterface.h"
#include "platform/MessageLoop.h"
#include "tests/common/AsyncRun.h"

#include "SpeedTestUtil.h"

#include <cmath>

using namespace speedtest;

namespace {

constexpr double kRate = 8000.0;
// Deviation of a reduced channel from resample_poly, relative to the peak,
// away from the ends: both filters are flat far beyond the tones, so what
// remains is the 16-bit quantisation of input and output (about 0.4 of a
// code, 3.5e-5 of a 12000-code peak; measured at most 5.7e-5).
constexpr const char* kTolerance = "1e-4";

class MixedRate : public tessel::test::CConversionTest {
protected:
    MixedRate() : CConversionTest("mixedsr") {}
    void SetUp() override
    {
        CConversionTest::SetUp();
        out = dir / "out.trx";
    }

    // Four 16-bit sine channels (50, 100, 150, 200 Hz; 0.001 Pa a code) and a
    // pulse channel with one sub-channel (a pulse every 80 scans).
    fs::path FourSines(long scans, const char* name = "in.trx")
    {
        std::vector<double> v;
        for (long i = 0; i < scans; ++i) {
            for (int c = 0; c < 4; ++c)
                v.push_back(std::round(12000.0 * std::sin(2 * M_PI * 50.0 * (c + 1) * double(i) / kRate)));
            v.push_back(i % 80 < 40 ? 1.0 : 0.0);
        }
        const fs::path p = dir / name;
        MakeTrx(p,
                {{"a", it__int16, 0.001}, {"b", it__int16, 0.001}, {"c", it__int16, 0.001}, {"d", it__int16, 0.001},
                 {"Pulses", it__pulse, 1.0, "Pulse Channels"}},
                kRate, v, {PulseSub(4, 1)});
        return p;
    }

    CTSInterface::SMessage Export(const fs::path& in, const fs::path& out, short first, short divisor,
                                  bool overwrite = false, unsigned* result = nullptr)
    {
        CTSInterface::SMessage msg;
        unsigned r = CTSInterface().ExportTRXMixedSR(first, divisor, in.c_str(), &msg, 5, 6, out.c_str(), overwrite);
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, 0u);
        return msg;
    }

    // A synchronous export that must succeed; its output opened for reading.
    std::unique_ptr<CDataset> Reduced(const fs::path& in, short first, short divisor, const fs::path& to)
    {
        const CTSInterface::SMessage msg = Export(in, to, first, divisor);
        EXPECT_EQ(msg.uState, 29u) << msg.sText.c_str();
        if (msg.uState != 29u)
            return nullptr;
        return std::make_unique<CDataset>(to.c_str(), om__read_complete, 32768, sh__deny_none);
    }

    // The independent check; empty when it holds, else what it printed.
    // outputs and divisors: comma-separated, one divisor per output.
    std::string Check(const fs::path& in, const std::string& outputs, int first, const std::string& divisors,
                      const char* signals)
    {
        const std::string cmd = tessel::test::kPython + " " + std::string(TESSEL_SOURCE_DIR) + "/tests/speed/mixed_check.py '" +
                                in.string() + "' '" + outputs + "' " + std::to_string(first) + " " + divisors + " " +
                                signals + " " + kTolerance + " " +
                                std::string(TESSEL_SOURCE_DIR) + "/docs/trx-format.md 2>&1";
        std::string text;
        const int status = tessel::test::RunCommand(cmd, &text);
        ::testing::Test::RecordProperty("figures", text);
        std::printf("%s", text.c_str());
        return status == 0 ? std::string() : text;
    }

    std::vector<std::string> Files() const
    {
        std::vector<std::string> f;
        for (const auto& e : fs::directory_iterator(dir))
            f.push_back(e.path().filename().string());
        std::sort(f.begin(), f.end());
        return f;
    }

    fs::path out;
};

}  // namespace

TEST_F(MixedRate, ChecksBeforeAnyJob)
{
    const fs::path in = FourSines(400);
    // Five channels: 5 is none of them (the pulse channel counts here).
    const struct {
        fs::path from, to;
        short first, divisor;
        unsigned result;
    } refused[] = {{in, out, 2, 0, 90},  {in, out, 2, 1, 90},  {in, out, 2, 3, 90},
                   {in, out, 2, 64, 90}, {in, out, 2, -2, 90}, {in, in, 2, 4, 111},
                   {in, out, 5, 4, 91},  {in, out, -1, 4, 91}, {dir / "missing.trx", out, 0, 4, 91}};
    for (const auto& c : refused) {
        unsigned r = 0;
        Export(c.from, c.to, c.first, c.divisor, true, &r);
        EXPECT_EQ(r, c.result) << c.from << " " << c.first << " " << c.divisor;
    }
    // Synchronous without an output: nothing is built.
    CTSInterface::SMessage msg;
    EXPECT_EQ(CTSInterface().ExportTRXMixedSR(0, 2, in.c_str(), &msg, 1, 2, nullptr, true), 110u);
    EXPECT_EQ(Files(), std::vector<std::string>{"in.trx"});
}

// From channel 2 at a quarter: two channels kept, two reduced; then every
// channel reduced, with the pulses through the resampler.
TEST_F(MixedRate, KeptChannelsExactReducedOnesMatchResamplePoly)
{
    if (!tessel::test::HavePython("numpy, scipy.signal"))
        TESSEL_SKIP_OR_FAIL("python3-scipy is not installed");
    const fs::path in = FourSines(16000);
    const std::string before = ReadFile(in);
    auto ds = Reduced(in, 2, 4, out);
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetNbrOfScans(), 4000);
    EXPECT_DOUBLE_EQ(ds->GetSamplingRate(0), 8000.0);
    EXPECT_DOUBLE_EQ(ds->GetSamplingRate(2), 2000.0);
    EXPECT_EQ(Check(in, out.string(), 2, "4", "0,1,2,3"), "");

    for (short divisor : {2, 8, 32}) {
        ds = Reduced(in, 0, divisor, dir / ("out" + std::to_string(divisor) + ".trx"));
        ASSERT_TRUE(ds);
        EXPECT_EQ(ds->GetNbrOfScans(), 16000 / divisor);
        EXPECT_DOUBLE_EQ(ds->GetSamplingRate(0), 8000.0 / divisor);
    }
    // A pulse every 80 input scans is 2.5 output scans apart at 32: closer
    // than two scans' spacing is not promised, so the pulses count up to 8.
    EXPECT_EQ(Check(in, (dir / "out2.trx").string() + "," + (dir / "out8.trx").string(), 0, "2,8", "0,1,2,3"), "");
    EXPECT_EQ(ReadFile(in), before);
    EXPECT_EQ(Files(), (std::vector<std::string>{"in.trx", "out.trx", "out2.trx", "out32.trx", "out8.trx"}));
}

TEST_F(MixedRate, LastGroupLosesAFrameThatWouldOverrun)
{
    // 11 scans at 1/4: the reduced group has round(2.75) = 3 scans, which
    // would need 12 scans of the kept group; the output keeps 2.
    const auto ds = Reduced(FourSines(11), 2, 4, out);
    ASSERT_TRUE(ds);
    EXPECT_EQ(ds->GetNbrOfScans(), 2);
    EXPECT_EQ(ReadDataset(out, {0}, true).size(), 8u);
    EXPECT_EQ(ReadDataset(out, {2}, true).size(), 2u);
}

TEST_F(MixedRate, PulseChannelsAreNoSignals)
{
    // A channel titled "Pulse Channels" that is not of the pulse type, and no
    // sub-channel: neither it nor any pulse channel reaches the output.
    std::vector<double> v;
    for (int i = 0; i < 800; ++i)
        v.insert(v.end(), {double(i % 7), double(i % 3), double(i % 2)});
    const fs::path in = dir / "in.trx";
    MakeTrx(in, {{"a", it__int16}, {"p", it__int32, 1.0, "Pulse Channels"}, {"b", it__float}}, kRate, v);
    const auto ds = Reduced(in, 1, 2, out);
    ASSERT_TRUE(ds);
    ASSERT_EQ(ds->GetNbrOfChannels(), 2);
    EXPECT_EQ(ds->GetChannel(0).GetName().str(), "a");
    EXPECT_EQ(ds->GetChannel(1).GetName().str(), "b");
    // The float channel stays a float channel.
    EXPECT_EQ(ds->GetChannel(1).GetImplType(), int(it__float));
    EXPECT_EQ(ds->GetNbrOfSubChannels(), 0);
}

// Asynchronously, to an output whose name differs from the input's only in
// case: another file here, not the input.
TEST_F(MixedRate, AsynchronousThroughTheInterface)
{
    const fs::path in = FourSines(4000, "Run.trx");
    const fs::path async = dir / "run.trx";
    std::vector<std::string> produced;
    const CTSInterface::SMessage got = tessel::test::RunAsync(
        [&] { return CTSInterface().ExportTRXMixedSR(1, 16, in.c_str(), nullptr, 21, 22, async.c_str(), false); },
        &produced);
    EXPECT_EQ(got.uState, 29u) << got.sText.c_str();
    EXPECT_EQ(got.lID, 21);
    EXPECT_EQ(got.sSource.str(), in.string());
    EXPECT_EQ(produced, std::vector<std::string>{async.string()});
    EXPECT_EQ(Files(), (std::vector<std::string>{"Run.trx", "run.trx"}));
}

TEST_F(MixedRate, RefusedAndFailedRunsLeaveNoOutput)
{
    const fs::path in = FourSines(400);
    // An existing output that may not be replaced stays as it was.
    std::ofstream(out) << "keep me";
    CTSInterface::SMessage msg = Export(in, out, 2, 2, false);
    EXPECT_EQ(msg.uState, 30u);
    EXPECT_EQ(msg.sText.str(), CTSInterface().GetErrorText(8).str());
    EXPECT_EQ(ReadFile(out), "keep me");

    // A file named like a temporary set is the user's: it survives.
    fs::remove(out);
    std::ofstream(dir / "outTmp0.dat") << "mine";
    msg = Export(in, out, 2, 2, false);
    EXPECT_EQ(msg.uState, 29u) << msg.sText.c_str();
    EXPECT_EQ(ReadFile(dir / "outTmp0.dat"), "mine");
    fs::remove(dir / "outTmp0.dat");
    fs::remove(out);

    // Not time data; a data set that does not hold its announced scans; an
    // output directory that does not exist.
    const fs::path spectrum = dir / "spectrum.trx";
    MakeTrx(spectrum, {{"a", it__float}}, 1.0, {1, 2, 3}, {}, dk__spectrum);
    const fs::path cut = FourSines(400, "cut.trx");
    fs::resize_file(cut, fs::file_size(cut) - 100);
    for (const auto& [from, to, text] : {std::tuple{spectrum, out, 21u}, {cut, out, 15u}, {in, dir / "no" / "out.trx", 0u}}) {
        msg = Export(from, to, 0, 2);
        EXPECT_EQ(msg.uState, 30u) << from;
        if (text)
            EXPECT_EQ(msg.sText.str(), CTSInterface().GetErrorText(text).str()) << from;
    }
    EXPECT_EQ(Files(), (std::vector<std::string>{"cut.trx", "in.trx", "spectrum.trx"}));
}

namespace {
int RisingEdges(const std::vector<double>& bytes, unsigned mask)
{
    int n = 0;
    for (std::size_t i = 1; i < bytes.size(); ++i)
        n += ((unsigned(bytes[i]) & mask) && !(unsigned(bytes[i - 1]) & mask)) ? 1 : 0;
    return n;
}
}  // namespace

TEST_F(MixedRate, KeptChannelsOfEveryTypeStayAsStored)
{
    // 24-bit, 32-bit and 64-bit float channels keep every bit where the rate
    // is kept; the reduced 16-bit channel is resampled.
    std::vector<double> v;
    for (int i = 0; i < 4000; ++i)
        v.insert(v.end(), {double(8000000 - 4001 * i), double(2000000000 - 977 * i), 1.0 / (i + 3),
                           std::round(9000 * std::sin(i * 0.05)), i % 50 < 10 ? 1.0 : 0.0});
    const fs::path in = dir / "types.trx";
    MakeTrx(in,
            {{"i24", it__int24, 1e-6}, {"i32", it__int32, 1e-9}, {"f64", it__double}, {"i16", it__int16, 0.001},
             {"Pulses", it__pulse, 1.0, "Pulse Channels"}},
            kRate, v, {PulseSub(4, 1)});
    const auto ds = Reduced(in, 3, 8, out);
    ASSERT_TRUE(ds);
    ASSERT_EQ(ds->GetNbrOfChannels(), 5);
    const int types[] = {it__int24, it__int32, it__double};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(ds->GetChannel(c).GetImplType(), types[c]);
        EXPECT_EQ(ReadDataset(out, {c}, true), ReadDataset(in, {c}, true)) << c;
    }
    EXPECT_EQ(ds->GetNbrOfScans(), 500);
    ASSERT_EQ(ds->GetNbrOfSubChannels(), 1);
    const CSubChannel sub = ds->GetSubChannel(0);
    EXPECT_EQ(ds->GetChannel(sub.GetParentChannelID()).GetImplType(), int(it__pulse));
    EXPECT_EQ(RisingEdges(ReadDataset(out, {sub.GetParentChannelID()}, true), sub.GetBitmask()),
              RisingEdges(ReadDataset(in, {4}, true), 1));
}

TEST_F(MixedRate, PulsesOnAnIntegerPulseChannelGoThroughTheNetwork)
{
    // Pulse bits on a 32-bit channel titled "Pulse Channels": the kept group
    // runs through its network, which writes them as pulse bits.
    std::vector<double> v;
    for (int i = 0; i < 4000; ++i)
        v.insert(v.end(), {std::round(5000 * std::sin(i * 0.01)), std::round(7000 * std::cos(i * 0.02)),
                           i % 40 < 20 ? 2.0 : 0.0});
    const fs::path in = dir / "intpulse.trx";
    MakeTrx(in, {{"a", it__int16, 0.01}, {"b", it__int16, 0.01}, {"p", it__int32, 1.0, "Pulse Channels"}}, kRate, v,
            {PulseSub(2, 2)});
    const auto ds = Reduced(in, 1, 2, out);
    ASSERT_TRUE(ds);
    EXPECT_EQ(ReadDataset(out, {0}, true), ReadDataset(in, {0}, true));
    ASSERT_EQ(ds->GetNbrOfChannels(), 3);
    ASSERT_EQ(ds->GetNbrOfSubChannels(), 1);
    const CSubChannel sub = ds->GetSubChannel(0);
    ASSERT_EQ(sub.GetParentChannelID(), 2);
    EXPECT_EQ(ds->GetChannel(2).GetImplType(), int(it__pulse));
    // A pulse every 40 scans, high from scan 0: 99 rising edges after it.
    EXPECT_EQ(RisingEdges(ReadDataset(out, {2}, true), sub.GetBitmask()), 99);
    EXPECT_EQ(Files(), (std::vector<std::string>{"intpulse.trx", "out.trx"}));
}
