// The SDF import job on files laid out byte by byte from the record tables:
// layouts of results and scans, value conversions, speed results, refusals,
// and the CTSInterface member synchronously and asynchronously.

#include "tests/common/WriteFailure.h"
#include "tests/formats/sdf/SdfJobTestUtil.h"

#include <gmock/gmock.h>

#include <cmath>

using namespace sdftest;
using ::testing::DoubleEq;
using ::testing::ElementsAre;

namespace {

using SdfImport = CSdfJobTest;

TEST_F(SdfImport, TimeResultsOfOtherAbscissasBecomeNumberedDataSets)
{
    // Different abscissas: two data sets, the first renamed to carry the number 1.
    ASSERT_TRUE(Imported(Build(TimeFile(2, 4, 16, false)), "two"));
    EXPECT_EQ((std::vector<std::string>{"two.sdf", "two1.dat", "two2.dat"}), Listing(dir));
    {
        CDataset ds((dir / "two2.dat").c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ("r1c2", ds.GetChannel(2).GetName());
        EXPECT_EQ("V", ds.GetChannel(2).GetUnit().GetText());
        EXPECT_EQ(6, ds.GetChannel(2).GetPhysChannel());
        EXPECT_DOUBLE_EQ(0.002, ds.GetAbscissa(0).GetDeltaValue());
        EXPECT_EQ("s", ds.GetAbscissa(0).GetUnit().GetText());
        EXPECT_EQ("time", ds.GetAbscissa(0).GetQuantity().GetName());
        const CDateTimeEx::SParts when = ds.GetDateOfRecording().GetParts();
        EXPECT_EQ(2024, when.iYear); EXPECT_EQ(3, when.iMonth); EXPECT_EQ(15, when.iDay);
        EXPECT_EQ(10, when.iHour); EXPECT_EQ(42, when.iMinute);
    }
    // Its last channel ends with its sixteenth value.
    EXPECT_EQ(1315.0, Values(dir / "two2.dat", 3).back());
    // Results of equal abscissa are combined: see the export tests' round trips.
}

TEST_F(SdfImport, IntegerValuesMappingAndCalibrationThroughTheInterface)
{
    // 16-bit values, imported asynchronously without an output name: the
    // input's name with ".dat", which the report names.
    File f{.results = {{.points = 4, .yType = 1}}, .vectors = {{}}, .channels = {{.int2engr = 2.0f, .offset = 0.5}},
           .comment = "bench run"};
    for (int v : {100, -100, 32767, -32768}) Add<std::int16_t>(f.yData, std::int16_t(v));
    WriteBytes(dir / "int.sdf", Build(f));
    CTSInterface::SMessage msg;
    EXPECT_EQ(110u, CTSInterface().ImportSDF((dir / "int.sdf").c_str(), 1, 2, nullptr, nullptr, &msg));
    std::vector<std::string> produced;
    msg = tessel::test::RunAsync(
        [&] { return CTSInterface().ImportSDF((dir / "int.sdf").c_str(), 42, 7, nullptr, nullptr, nullptr); }, &produced);
    ASSERT_TRUE(Succeeded(msg, 9));
    EXPECT_EQ(7, msg.lUser);
    EXPECT_EQ((std::vector<std::string>{(dir / "int.dat").string()}), produced);
    EXPECT_THAT(Values(dir / "int.dat", 0), ElementsAre(DoubleEq(50.5), DoubleEq(-49.5), DoubleEq(16384.0), DoubleEq(-16383.5)));
    CDataset ds((dir / "int.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(it__int16, ds.GetChannel(0).GetImplType());
    // Full scale 0.5 V × 32768 against √2 V: ceil(81.28) dB.
    EXPECT_FLOAT_EQ(82.0f, ds.GetChannel(0).GetCalibration());
    EXPECT_EQ("bench run", ds.GetComment());
}

TEST_F(SdfImport, ComplexSpectraAndStoredAbscissa)
{
    // An auto power spectrum of complex floats over a frequency abscissa.
    File f{.results = {{.title = "Power", .domain = 0, .dataType = 2, .points = 3, .dx = 12.5, .yComplex = 1,
                        .xUnit = Hertz()}},
           .vectors = {{0, -1, 96, 0}}, .channels = {{.unit = Pa()}}};
    for (float v : {3.f, 4.f, 1.f, 1.f, 0.f, 2.f}) Add<float>(f.yData, v);
    ASSERT_TRUE(Imported(Build(f), "spectrum"));
    EXPECT_EQ((std::vector<double>{25.0, 2.0, 4.0}), Values(dir / "spectrum.dat", 0));
    {
        CDataset ds((dir / "spectrum.dat").c_str(), om__read, 32768, sh__deny_write);
        EXPECT_EQ(dk__spectrum, ds.GetKind());
        EXPECT_EQ("frequency", ds.GetAbscissa(0).GetQuantity().GetName());
        EXPECT_TRUE(ds.GetChannel(0).GetUnit().IsEquivalent(CUnit("Pa^2", 0)));
    }
    // The field at 56 set: real and imaginary parts add up. The window not
    // applied yet (field at 132): a power takes the narrow-band correction squared.
    f.results[0].field56 = 1;
    f.results[0].windowApplied = 0;
    f.channels[0].narrowBand = 2.0f;
    ASSERT_TRUE(Imported(Build(f), "sum"));
    EXPECT_EQ((std::vector<double>{28.0, 8.0, 8.0}), Values(dir / "sum.dat", 0));

    // Complex time data is refused.
    f.results[0].dataType = 0;
    f.results[0].domain = 1;
    auto msg = ImportBytes(Build(f), "ctime");
    EXPECT_EQ(10u, msg.uState);
    EXPECT_EQ("Complex time data is not accepted.", msg.sText);
    EXPECT_FALSE(fs::exists(dir / "ctime.dat"));

    // Abscissa values of their own (resolution type 2, 64-bit).
    File x{.results = {{.domain = 0, .dataType = 2, .points = 3, .xRes = 2, .xType = 4, .xUnit = Hertz()}},
           .vectors = {{}}, .channels = {{}}, .writeXData = true};
    for (double v : {10.0, 31.5, 100.0}) Add<double>(x.xData, v);
    for (float v : {1.f, 2.f, 3.f}) Add<float>(x.yData, v);
    ASSERT_TRUE(Imported(Build(x), "x"));
    CDataset ds((dir / "x.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_DOUBLE_EQ(31.5, ds.GetWorldFixAbsc(0, 1));
    EXPECT_EQ((std::vector<double>{1.0, 2.0, 3.0}), Values(dir / "x.dat", 0));
}

TEST_F(SdfImport, ScansOneAfterAnotherOrInterleaved)
{
    // Three scans of one result, stored scan after scan (scan table present).
    File f = TimeFile(1, 2, 4);
    f.results[0].scanData = 1;
    f.scanStruct = 1;
    f.scanStructTableBytes = 12;
    f.numScans = 3;
    f.yData.clear();
    for (int s = 0; s < 3; ++s)
        for (int c = 0; c < 2; ++c)
            for (int p = 0; p < 4; ++p) Add<float>(f.yData, float(10 * s + 100 * c + p));
    ASSERT_TRUE(Imported(Build(f), "scans"));
    EXPECT_EQ((std::vector<double>{100, 101, 102, 103, 110, 111, 112, 113, 120, 121, 122, 123}),
              Values(dir / "scans.dat", 1));

    // Two results whose scans interleave (scan-big record, scan type 1): a
    // scan holds result 0's traces, then result 1's.
    File g = TimeFile(2, 1, 2, false);
    for (auto& r : g.results) r.scanData = 1;
    g.scanBig = 18;
    g.scanType = 1;
    g.numScans = 2;
    g.yData.clear();
    for (int s = 0; s < 2; ++s)
        for (int r = 0; r < 2; ++r)
            for (int p = 0; p < 2; ++p) Add<float>(g.yData, float(1000 * r + 10 * s + p));
    ASSERT_TRUE(Imported(Build(g), "inter"));
    EXPECT_EQ((std::vector<double>{0, 1, 10, 11}), Values(dir / "inter1.dat", 0));
    EXPECT_EQ((std::vector<double>{1000, 1001, 1010, 1011}), Values(dir / "inter2.dat", 0));

    // The same scans with a scan variable of even steps: a second abscissa,
    // which keeps the result apart from one of equal first abscissa without scans.
    g.scanType = 2;
    g.results[1].scanData = 0;
    g.results[1].dx = g.results[0].dx;
    g.yData.resize(std::size_t(4 * 2 * 3));
    for (double v : {2.0, 2.5}) Add<double>(g.rowValues, v);
    ASSERT_TRUE(Imported(Build(g), "rows"));
    {
        CDataset ds((dir / "rows1.dat").c_str(), om__read, 32768, sh__deny_write);
        ASSERT_EQ(2, ds.GetNbrOfAbscissas());
        EXPECT_EQ("Block", ds.GetAbscissa(1).GetName());
        EXPECT_DOUBLE_EQ(0.5, ds.GetAbscissa(1).GetDeltaValue());
    }
    EXPECT_EQ(1, CDataset((dir / "rows2.dat").c_str(), om__read, 32768, sh__deny_write).GetNbrOfAbscissas());

    // Revision 2: 16-bit point counts, 32-bit abscissa, channel numbers from the index.
    File old = TimeFile(1, 2, 5);
    old.revision = 2;
    old.results[0].dx = 0.5;
    ASSERT_TRUE(Imported(Build(old), "rev2"));
    CDataset ds((dir / "rev2.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_DOUBLE_EQ(0.5, ds.GetAbscissa(0).GetDeltaValue());
    EXPECT_EQ(1, ds.GetChannel(1).GetPhysChannel());
    EXPECT_EQ((std::vector<double>{100, 101, 102, 103, 104}), Values(dir / "rev2.dat", 1));
}

TEST_F(SdfImport, SpeedResultsGoIntoThePulseChannel)
{
    // Time data (1 kHz, 2000 points) and a speed result in rpm at 100 Hz over the same time.
    const Result s{.title = "Speed", .points = 200, .dx = 0.01, .firstVector = 1};
    File f{.results = {{.points = 2000}, s}, .vectors = {{0}, {1}}, .channels = {{"mic"}, {"tacho", Rpm()}}};
    for (int p = 0; p < 2000; ++p) Add<float>(f.yData, float(std::sin(p * 0.01)));
    for (int p = 0; p < 200; ++p) Add<float>(f.yData, 600.0f);
    ASSERT_TRUE(Imported(Build(f), "run"));
    EXPECT_EQ((std::vector<std::string>{"run.dat", "run.sdf"}), Listing(dir)) << "the speed set went into the pulses";
    CDataset ds((dir / "run.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ("Pulse Channels", ds.GetChannel(1).GetTitle());
    ASSERT_EQ(1, ds.GetNbrOfSubChannels());
    // 600 rpm over two seconds: pulses on bit 0.
    const std::vector<double> pulses = Values(dir / "run.dat", 1);
    EXPECT_GT(std::count_if(pulses.begin(), pulses.end(), [](double v) { return int(v) & 1; }), 0);

    // Nine speed results: eight pass on, the note says so.
    File nine = f;
    nine.results.resize(1);
    nine.vectors.resize(1);
    nine.yData.resize(2000 * 4);
    for (int k = 0; k < 9; ++k) {
        Result sk = s;
        sk.firstVector = 1 + k;
        nine.results.push_back(sk);
        nine.vectors.push_back(Vector{1});
        for (int p = 0; p < 200; ++p) Add<float>(nine.yData, 300.0f + 60.0f * float(k));
    }
    auto msg = ImportBytes(Build(nine), "nine");
    EXPECT_EQ(9u, msg.uState);
    EXPECT_EQ("Number of subchannels truncated (9->8).", msg.sText);
    CDataset n((dir / "nine.dat").c_str(), om__read, 32768, sh__deny_write);
    EXPECT_EQ(8, n.GetNbrOfSubChannels());
    for (const auto& name : Listing(dir)) EXPECT_EQ(std::string::npos, name.find(".sc")) << name;
}

TEST_F(SdfImport, RefusalsLeaveNoOutput)
{
    auto refused = [&](const File& f, const std::string& text) {
        auto msg = ImportBytes(Build(f), "bad");
        EXPECT_EQ(10u, msg.uState);
        EXPECT_EQ(text, msg.sText);
        EXPECT_EQ((std::vector<std::string>{"bad.sdf"}), Listing(dir));
    };
    File f = TimeFile(2, 2, 4, false);
    f.vectors[3] = Vector{-1, -1};
    refused(f, "SDF_CHANNEL_HDR of SDF_VECTOR_HDR[3] is missing.");
    f = TimeFile(2, 2, 4, false);
    f.channels[3].int2engr = 0.0f;
    refused(f, "Invalid mapping factor.\nsdf__channel_hdr[ 3 ].int2engrUnit = 0.");
    f = TimeFile(1, 1, 4);
    f.results[0].xPerPoint = 2;
    refused(f, "Not supported: xPerPoint or yPerPoint > 1");
    f.results[0].xPerPoint = 0;
    f.results[0].xRes = 4;
    refused(f, "Several kinds of X-axis cannot be kept in one TRX file");
    // A spectrum with scans and a scan table is three-dimensional.
    f = File{.results = {{.domain = 0, .dataType = 2, .points = 4, .scanData = 1}}, .vectors = {{}}, .channels = {{}},
             .scanStruct = 1, .scanStructTableBytes = 4, .numScans = 2, .yData = Bytes(4 * 4 * 2)};
    refused(f, "3-D data set not yet supported.");
    // Fewer values than the headers announce.
    Bytes b = Build(TimeFile(1, 2, 64));
    b.resize(b.size() - 8);
    auto msg = ImportBytes(b, "bad");
    EXPECT_EQ(10u, msg.uState);
    EXPECT_EQ(0u, msg.sText.Find("The number of bytes read from the input file"));
    EXPECT_EQ((std::vector<std::string>{"bad.sdf"}), Listing(dir));

    // A full disk while later blocks wait for their turn: the partial data set goes.
    WriteBytes(dir / "big.sdf", Build(TimeFile(1, 4, 1 << 18)));
    {
        tessel::test::CFileSizeLimit full(1u << 20);
        EXPECT_EQ("Writing to the TRX data set failed.", ImportSdf(dir / "big.sdf", dir / "big.dat").sText);
    }
    EXPECT_EQ((std::vector<std::string>{"bad.sdf", "big.sdf"}), Listing(dir));

    // An existing output that may not be replaced stays as it was.
    WriteBytes(dir / "good.dat", Bytes{'x'});
    msg = ImportBytes(Build(TimeFile(1, 1, 4)), "good", 0);
    EXPECT_EQ(10u, msg.uState);
    EXPECT_EQ(Bytes{'x'}, ReadBytes(dir / "good.dat"));
    // A header failure names the code of the header reader.
    b = Build(TimeFile(1, 1, 4));
    b[1] = 1;
    EXPECT_EQ("Invalid SDF file header.", ImportBytes(b, "bad").sText);
}

}  // namespace
