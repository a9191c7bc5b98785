// Universal files whose values could land in the wrong place: complex values
// over a stored abscissa, data sets whose values do not fit their header,
// large groups, which must be written in one pass over the data; data sets the
// export must take or refuse with a reason; and failures, which leave only
// other jobs' files behind.

#include "tests/formats/uff/Uff58Reference.h"
#include "tests/common/BandDataset.h"
#include "tests/common/WriteFailure.h"
#include "tests/formats/uff/UffJobTestUtil.h"

#include "platform/FileSystem.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

using namespace ufftest;

using UffIntegrity = CUffJobTest;

using uffref::Ramp;

// Bytes this process has handed to write calls so far.
long long BytesWritten()
{
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "wchar:")
            return value;
    return -1;
}

}  // namespace

TEST_F(UffIntegrity, ComplexValuesOverAStoredAbscissaKeepTheirPlaces)
{
    const std::vector<double> x = {0.0, 0.5, 1.5, 3.5, 7.5};
    const std::vector<double> re = {1, 2, 3, 4, 5};
    const std::vector<double> im = {-1, 0.5, 0.25, 8, -2};
    for (int ordType : {5, 6}) {
        uffref::DataSet d = Ramp(0, 0);
        d.binary = true;
        d.ordType = ordType;
        d.spacing = 0;
        d.axis[0] = {18, 0, 0, 0, "Frequency", "Hz"};
        d.x = x;
        d.re = re;
        d.im = im;
        std::string file;
        uffref::write(file, d);
        WriteText(dir / "c.uff", file);
        CTSInterface::SMessage msg = Import(dir / "c.uff", dir / "c.trx");
        ASSERT_EQ(msg.uState, 17u) << msg.sText.c_str();
        {
            CDataset ds((dir / "c.trx").c_str(), om__read, 32768, sh__deny_write);
            EXPECT_EQ(ds.GetChannel(0).GetImplType(), ordType == 5 ? it__cfloat : it__cdouble);
            ASSERT_FALSE(ds.GetAbscissa(0).IsCalc());
            for (std::size_t i = 0; i < x.size(); ++i)
                EXPECT_EQ(ds.GetWorldFixAbsc(0, long(i)), x[i]) << ordType << " " << i;
        }
        const std::vector<double> v = ReadChannel(dir / "c.trx", 0);
        ASSERT_EQ(v.size(), 10u);
        for (std::size_t i = 0; i < re.size(); ++i) {
            EXPECT_EQ(v[2 * i], re[i]) << ordType << " " << i;
            EXPECT_EQ(v[2 * i + 1], im[i]) << ordType << " " << i;
        }
    }

    // The export writes each point as x, re, im.
    Channel c{"c", "", "Pa", "pressure", it__cfloat, {}};
    for (std::size_t i = 0; i < re.size(); ++i) {
        c.values.push_back(re[i]);
        c.values.push_back(im[i]);
    }
    MakeTrx(dir / "s.trx", dk__spectrum, {c}, 0, 0, "Hz", "frequency", &x);
    ASSERT_EQ(Export({dir / "s.trx"}, dir / "s.uff", false, false).uState, 19u);
    std::vector<uffref::Read> sets = ReadBack(dir / "s.uff", true);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(uffref::icol(sets[0].lines[7], 1, 10), 5);
    ASSERT_EQ(sets[0].dataLines.size(), 3u);   // two triples per line
    for (std::size_t i = 0; i < re.size(); ++i) {
        const std::string& line = sets[0].dataLines[i / 2];
        const std::size_t col = 1 + 39 * (i % 2);
        EXPECT_EQ(uffref::dcol(line, col, col + 12), x[i]) << i;
        EXPECT_EQ(uffref::dcol(line, col + 13, col + 25), re[i]) << i;
        EXPECT_EQ(uffref::dcol(line, col + 26, col + 38), im[i]) << i;
    }
    ASSERT_EQ(Export({dir / "s.trx"}, dir / "sb.uff", true, false).uState, 19u);
    sets = ReadBack(dir / "sb.uff", false);
    ASSERT_EQ(sets[0].raw.size(), 60u);
    for (std::size_t i = 0; i < re.size(); ++i) {
        float f[3];
        std::memcpy(f, sets[0].raw.data() + 12 * i, 12);
        EXPECT_EQ(f[0], x[i]);
        EXPECT_EQ(f[1], re[i]);
        EXPECT_EQ(f[2], im[i]);
    }
}

TEST_F(UffIntegrity, ValuesThatDoNotFitTheHeaderAreRefused)
{
    struct Case {
        const char* what;
        std::string file;
        std::string textStart;
    };
    std::vector<Case> cases;

    // One value too many on the first data line: every later value would move by one.
    std::string f;
    uffref::write(f, Ramp(12, 0.1));
    std::size_t p = 0;
    for (int i = 0; i < 14; ++i)
        p = f.find('\n', p) + 1;
    f.insert(p - 1, uffref::E(9.0, 13, 5));
    cases.push_back({"extra value", f, "Conversion failed at line number 15 of the UFF file."});

    // A 58b byte count beyond the points: the header and the data disagree.
    uffref::DataSet b = Ramp(10, 0.1);
    b.binary = true;
    b.pointsOverride = 8;
    f.clear();
    uffref::write(f, b);
    cases.push_back({"byte count", f,
                     "The number of bytes read from the input file doesn't match the number expected (header "
                     "information)."});

    // An abscissa increment that is not a number.
    f.clear();
    uffref::write(f, Ramp(6, 0.1));
    p = 0;
    for (int i = 0; i < 8; ++i)
        p = f.find('\n', p) + 1;
    f.replace(p, f.find('\n', p) - p, "         2         6         1  0.00000E+00          nan  0.00000E+00");
    cases.push_back({"nan increment", f, "Invalid UFF data set found in " + (dir / "in.uff").string() + "\n."});

    for (const Case& c : cases) {
        WriteText(dir / "in.uff", c.file);
        CTSInterface::SMessage msg = Import(dir / "in.uff", dir / "out.trx");
        EXPECT_EQ(msg.uState, 18u) << c.what;
        EXPECT_EQ(msg.sText.str().substr(0, c.textStart.size()), c.textStart) << c.what << ": " << msg.sText.c_str();
        EXPECT_FALSE(fs::exists(dir / "out.trx")) << c.what;
    }
}

TEST_F(UffIntegrity, AGroupOfManyChannelsIsWrittenInOnePass)
{
    const int channels = 120, points = 3000;
    std::string file;
    for (int c = 0; c < channels; ++c) {
        uffref::DataSet d = Ramp(0, 0.001);
        d.binary = true;
        for (int i = 0; i < points; ++i)
            d.re.push_back(c + 0.001 * i);
        uffref::write(file, d);
    }
    WriteText(dir / "many.uff", file);
    const long long before = BytesWritten();
    ASSERT_GE(before, 0);
    CTSInterface::SMessage msg = Import(dir / "many.uff", dir / "many.trx");
    ASSERT_EQ(msg.uState, 17u) << msg.sText.c_str();
    const long long written = BytesWritten() - before;
    const long long size = (long long)fs::file_size(dir / "many.trx");
    EXPECT_LT(written, 3 * size) << "the samples were written " << double(written) / double(size) << " times";

    {
        CDataset ds((dir / "many.trx").c_str(), om__read, 32768, sh__deny_write);
        ASSERT_EQ(ds.GetNbrOfChannels(), channels);
    }
    for (int c : {0, 57, channels - 1}) {
        const std::vector<double> v = ReadChannel(dir / "many.trx", c);
        ASSERT_EQ(v.size(), std::size_t(points));
        for (int i : {0, 1, points / 2, points - 1})
            EXPECT_EQ(v[std::size_t(i)], double(float(c + 0.001 * i))) << c << " " << i;
    }

    // More channels than are read side by side: several passes, same values.
    file.clear();
    for (int c = 0; c < 1100; ++c) {
        uffref::DataSet d = Ramp(0, 0.001);
        d.binary = true;
        for (int i = 0; i < 4; ++i)
            d.re.push_back(c + 0.25 * i);
        uffref::write(file, d);
    }
    WriteText(dir / "wide.uff", file);
    msg = Import(dir / "wide.uff", dir / "wide.trx");
    ASSERT_EQ(msg.uState, 17u) << msg.sText.c_str();
    for (int c : {0, 1023, 1024, 1099})
        EXPECT_EQ(ReadChannel(dir / "wide.trx", c), (std::vector<double>{c + 0.0, c + 0.25, c + 0.5, c + 0.75})) << c;
}

TEST_F(UffIntegrity, ExportTakesBandsAndChannelSelectionsOrSaysWhyNot)
{
    // Bands: uneven spacing, the centres as abscissa values.
    tessel::test::MakeBandTrx(dir / "band.trx");
    CTSInterface::SMessage msg = Export({dir / "band.trx"}, dir / "band.uff", false, false);
    ASSERT_EQ(msg.uState, 19u) << msg.sText.c_str();
    std::vector<uffref::Read> sets = ReadBack(dir / "band.uff", true);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(uffref::icol(sets[0].lines[7], 21, 30), 0);
    ASSERT_EQ(sets[0].dataLines.size(), 1u);
    const double expect[] = {100, 0.5, 125, 1.5, 160, 2.5};
    for (int k = 0; k < 6; ++k)
        EXPECT_EQ(uffref::dcol(sets[0].dataLines[0], std::size_t(1 + 13 * k), std::size_t(13 + 13 * k)), expect[k]);

    // A selection: channel 2 alone.
    Channel a{"a", "", "Pa", "pressure", it__float, {1, 2}};
    Channel b{"b", "", "Pa", "pressure", it__float, {3, 4}};
    Channel c{"c", "", "Pa", "pressure", it__float, {5, 6}};
    MakeTrx(dir / "t.trx", dk__time, {a, b, c}, 0.0, 0.5);
    msg = Export({dir.string() + "/t.trx|2"}, dir / "sel.uff", false, false);
    ASSERT_EQ(msg.uState, 19u) << msg.sText.c_str();
    sets = ReadBack(dir / "sel.uff", true);
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(uffref::dcol(sets[0].dataLines[0], 1, 13), 5.0);
    EXPECT_EQ(uffref::dcol(sets[0].dataLines[0], 14, 26), 6.0);

    // A file cut short, and two abscissas: refused with the reason.
    fs::copy_file(dir / "t.trx", dir / "cut.trx");
    fs::resize_file(dir / "cut.trx", fs::file_size(dir / "cut.trx") - 3);
    msg = Export({dir / "cut.trx"}, dir / "cut.uff", false, false);
    EXPECT_EQ(msg.uState, 20u);
    const std::string lead = "Conversion failed.\n\nConversion aborted in CThreadUFFExport::uff_conv_trx2uff.\n"
                             "Can't create data set on file " + (dir / "cut.trx").string() + ": ";
    EXPECT_EQ(msg.sText.str().substr(0, lead.size()), lead) << msg.sText.c_str();
    EXPECT_GT(msg.sText.str().size(), lead.size() + 10) << msg.sText.c_str();
    EXPECT_FALSE(fs::exists(dir / "cut.uff"));
}

TEST_F(UffIntegrity, WriteFailuresSayWhereAndLeaveNoFile)
{
    Channel a{"a", "", "Pa", "pressure", it__float, std::vector<double>(5000, 0.5)};
    MakeTrx(dir / "a.trx", dk__time, {a}, 0.0, 0.5);
    for (bool binary : {false, true}) {
        CTSInterface::SMessage msg;
        {
            tessel::test::CFileSizeLimit full(16 * 1024);
            msg = Export({dir / "a.trx"}, dir / "w.uff", binary, false);
        }
        EXPECT_EQ(msg.uState, 20u) << binary;
        EXPECT_EQ(msg.sText.str(), "Write to file " + (dir / "w.uff").string() + " failed. Disk might be full!")
            << binary;
        EXPECT_FALSE(fs::exists(dir / "w.uff")) << binary;
    }
}

TEST_F(UffIntegrity, AFailedImportRemovesOnlyTheFilesItMade)
{
    // Two groups: out1.trx and out2.trx. Once the job has checked both names
    // and begins to write out1.trx, another job's data set appears as out2.trx
    // and stays open: this job cannot write its second file and fails.
    std::string file;
    uffref::write(file, Ramp(6, 0.1));
    uffref::write(file, Ramp(6, 0.2));
    WriteText(dir / "in.uff", file);
    const std::string out1 = (dir / "out1.trx").string();
    std::unique_ptr<CDataset> other;
    int creates = 0;
    CTSInterface::SMessage msg;
    {
        FileSystem::CScopedFileFault hook([&](FileSystem::EOp op, const std::string& p) {
            if (op == FileSystem::EOp::Create && p == out1 && ++creates == 2) {
                Channel x{"x", "", "Pa", "pressure", it__float, {7, 8, 9}};
                MakeTrx(dir / "out2.trx", dk__time, {x}, 0.0, 1.0);
                other = std::make_unique<CDataset>((dir / "out2.trx").c_str(), om__read, 32768, sh__deny_write);
            }
            return 0;
        });
        msg = Import(dir / "in.uff", dir / "out.trx");
    }
    EXPECT_EQ(msg.uState, 18u) << msg.sText.c_str();
    EXPECT_FALSE(fs::exists(dir / "out1.trx"));
    ASSERT_TRUE(fs::exists(dir / "out2.trx"));
    other.reset();
    EXPECT_EQ(ReadChannel(dir / "out2.trx", 0), (std::vector<double>{7, 8, 9}));
}
