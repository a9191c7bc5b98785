// `tessel convert` and `tessel plot` run as a user runs them. Inputs are WAVE
// files written here from the published layout with literal samples, so the
// expected values are those literals.

#include <cairo.h>
#include <gtest/gtest.h>

#include "tests/cli/CommandTest.h"
#include "tests/cli/WaveFile.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const auto Slurp = [](const fs::path& p) { return tessel::test::ReadFile(p); };

using tessel::test::MakeWave;

// The bytes of a WAVE file's data chunk.
std::string DataChunk(const fs::path& p)
{
    const std::string s = Slurp(p);
    std::size_t pos = 12;
    while (pos + 8 <= s.size()) {
        const std::uint32_t size = std::uint8_t(s[pos + 4]) | std::uint8_t(s[pos + 5]) << 8 |
                                   std::uint8_t(s[pos + 6]) << 16 | std::uint32_t(std::uint8_t(s[pos + 7])) << 24;
        if (s.compare(pos, 4, "data") == 0)
            return s.substr(pos + 8, size);
        pos += 8 + size + (size & 1);
    }
    return {};
}

class Tools : public CCommandTest {
protected:
    int Tessel(const std::string& args)
    {
        const SResult r = CCommandTest::Tessel(args);
        out = r.out;
        err = r.err;
        return r.status;
    }

    bool TmpEmpty() const { return fs::is_empty(dir / "tmp"); }

    std::string out, err;
};

}  // namespace

TEST_F(Tools, ConvertRunsBothStepsAndLeavesNoTemporary)
{
    MakeWave(dir / "in.wav", 2, 3000, [](int f, int c) { return c == 0 ? 11 * f - 16000 : 32767 - 5 * f; });

    // WAVE -> TRX -> WAVE: the 16-bit samples come back unchanged.
    ASSERT_EQ(Tessel("convert in.wav back.wav --conversion original --16bit"), 0) << err;
    EXPECT_EQ(out, "in.wav -> back.wav\n") << "reported under the user's name, not the temporary's";
    EXPECT_EQ(DataChunk(dir / "back.wav"), DataChunk(dir / "in.wav"));
    EXPECT_TRUE(TmpEmpty());

    // Extensions choose the steps, case aside; --from/--to override them.
    fs::copy_file(dir / "in.wav", dir / "in.bin");
    EXPECT_EQ(Tessel("convert in.bin x.WAVE --from wav --conversion original --16bit -q"), 0) << err;
    EXPECT_EQ(out, "") << "quiet";
    EXPECT_EQ(DataChunk(dir / "x.WAVE"), DataChunk(dir / "in.wav"));
    EXPECT_EQ(Tessel("convert in.bin x.out"), 2);
    EXPECT_NE(err.find("--from"), std::string::npos) << err;
    EXPECT_EQ(Tessel("convert in.wav x.out"), 2);
    EXPECT_NE(err.find("--to"), std::string::npos) << err;
    EXPECT_EQ(Tessel("convert in.wav x.wav --from mp9"), 2);

    // An option goes to the step that has it; one that neither has is refused.
    EXPECT_EQ(Tessel("convert in.wav t.asc --digits 3 --tab"), 0) << err;
    const std::string table = Slurp(dir / "t.asc");
    EXPECT_NE(table.find("\t"), std::string::npos);
    EXPECT_EQ(Tessel("convert in.wav t2.asc --binary"), 2);
    EXPECT_NE(err.find("--binary is no option of import wav or export asc"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(dir / "t2.asc"));
    // The step's own rules hold: --loop needs --fade in the WAVE export.
    EXPECT_EQ(Tessel("convert t.asc t.wav --loop"), 2);

    // A failing export: its text, exit 1, and still no temporary.
    EXPECT_EQ(Tessel("convert in.wav no/such/folder/x.asc"), 1);
    EXPECT_FALSE(err.empty());
    EXPECT_TRUE(TmpEmpty());
    // A failing import: no output and no temporary either.
    std::ofstream(dir / "bad.wav") << "RIFF and nothing else";
    EXPECT_EQ(Tessel("convert bad.wav bad.asc"), 1);
    EXPECT_FALSE(fs::exists(dir / "bad.asc"));
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(Tools, ConvertTakesTrxOnEitherSideDirectly)
{
    MakeWave(dir / "in.wav", 1, 500, [](int f, int) { return 60 * f - 15000; });
    ASSERT_EQ(Tessel("convert in.wav data.dat"), 0) << err;
    // A TRX data set is known by its content, whatever its name.
    fs::copy_file(dir / "data.dat", dir / "data.measurement");
    ASSERT_EQ(Tessel("convert data.measurement out.wav --conversion original --16bit"), 0) << err;
    EXPECT_EQ(DataChunk(dir / "out.wav"), DataChunk(dir / "in.wav"));
    // TRX to TRX is a copy, which does not replace an output unasked.
    ASSERT_EQ(Tessel("convert data.dat copy.trx"), 0) << err;
    EXPECT_EQ(Slurp(dir / "copy.trx"), Slurp(dir / "data.dat"));
    EXPECT_EQ(Tessel("convert data.dat copy.trx"), 1);
    EXPECT_EQ(Tessel("convert data.dat copy.trx --overwrite"), 0) << err;
    EXPECT_TRUE(TmpEmpty());
}

TEST_F(Tools, InterruptedConvertRemovesTheTemporaryAndItsPartialOutput)
{
    // Long enough that the text export is still running when the signal comes.
    MakeWave(dir / "big.wav", 2, 1500000, [](int f, int c) { return (f * (c + 3)) % 30011 - 15000; });
    const pid_t pid = Start("convert big.wav big.asc -q");
    ASSERT_GT(pid, 0);
    // Wait until the export writes its output, then interrupt.
    for (int i = 0; i < 30000 && FileSize(dir / "big.asc") <= 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    ASSERT_GT(FileSize(dir / "big.asc"), 0) << "the export never began";
    ASSERT_FALSE(TmpEmpty()) << "the temporary data set exists while the export reads it";
    ::kill(pid, SIGINT);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
        GTEST_SKIP() << "the conversion ended before the signal";
    // Either the jobs stopped and the command reported 128 + SIGINT, or the
    // command's own watcher ended the process by the signal itself.
    const bool stoppedBySignal = (WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGINT) ||
                                 (WIFSIGNALED(status) && WTERMSIG(status) == SIGINT);
    EXPECT_TRUE(stoppedBySignal) << "status " << status;
    EXPECT_TRUE(TmpEmpty()) << "the temporary data set is gone";
    EXPECT_FALSE(fs::exists(dir / "big.asc")) << "no partial output";
    EXPECT_TRUE(fs::exists(dir / "big.wav")) << "the input stays";
}

namespace {

struct SImage {
    int width = 0, height = 0;
    std::vector<std::uint32_t> px;  // 0xRRGGBB
    std::uint32_t At(int x, int y) const { return px[std::size_t(y * width + x)]; }
};

SImage ReadPng(const fs::path& p)
{
    SImage img;
    cairo_surface_t* s = cairo_image_surface_create_from_png(p.c_str());
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(s);
        img.width = cairo_image_surface_get_width(s);
        img.height = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        for (int y = 0; y < img.height; ++y)
            for (int x = 0; x < img.width; ++x)
                img.px.push_back(reinterpret_cast<const std::uint32_t*>(data + y * stride)[x] & 0xFFFFFF);
    }
    cairo_surface_destroy(s);
    return img;
}

constexpr std::uint32_t kBlack = 0x000000, kEnvelope = 0x1F4E9A;

}  // namespace

TEST_F(Tools, PlotPutsTheEnvelopeOnItsRows)
{
    // Channel 0: +1000 in the first quarter, -1000 in the second, 0 after.
    // Channel 1: +3000 and -3000 alternating, so every column holds both.
    const int frames = 40000;
    MakeWave(dir / "sig.wav", 2, frames, [&](int f, int c) {
        if (c == 1)
            return f % 2 ? -3000 : 3000;
        return f < frames / 4 ? 1000 : f < frames / 2 ? -1000 : 0;
    });
    ASSERT_EQ(Tessel("import wav sig.wav -o sig.dat"), 0) << err;
    ASSERT_EQ(Tessel("plot sig.dat -o sig.png --width 800 --height 500 --title Synthetic"), 0) << err;
    const SImage img = ReadPng(dir / "sig.png");
    ASSERT_EQ(img.width, 800);
    ASSERT_EQ(img.height, 500);

    // The frames: rows that are black over the middle half of the width,
    // columns black over a frame's height.
    std::vector<int> lines;
    for (int y = 0; y < img.height; ++y) {
        bool all = true;
        for (int x = img.width / 4; x < 3 * img.width / 4 && all; ++x)
            all = img.At(x, y) == kBlack;
        if (all)
            lines.push_back(y);
    }
    ASSERT_EQ(lines.size(), 4u) << "top and bottom line of two strips";
    auto column = [&](int from, int step) {
        for (int x = from; x >= 0 && x < img.width; x += step) {
            bool all = true;
            for (int y = lines[0]; y <= lines[1] && all; ++y)
                all = img.At(x, y) == kBlack;
            if (all)
                return x;
        }
        return -1;
    };
    const int left = column(img.width / 2, -1), right = column(img.width / 2, 1);
    ASSERT_GT(left, 0);
    ASSERT_GT(right, left);
    const int first = left + 1, last = right - 1;  // columns of the first and last scan

    // Rows of the envelope in a column of a strip (top line, bottom line).
    auto envelopeRows = [&](int x, int top, int bottom) {
        std::vector<int> rows;
        for (int y = top; y <= bottom; ++y)
            if (img.At(x, y) == kEnvelope)
                rows.push_back(y);
        return rows;
    };
    // The extremes lie 4 rows inside the frame lines; 0 of channel 0 halfway.
    const int hi0 = lines[0] + 5, lo0 = lines[1] - 5, hi1 = lines[2] + 5, lo1 = lines[3] - 5;
    const double mid0 = (hi0 + lo0) / 2.0;
    const double quarter = first + (last - first) * 0.25, half = first + (last - first) * 0.5;
    int checked = 0;
    for (int x = first; x <= last; ++x) {
        const std::vector<int> r0 = envelopeRows(x, lines[0], lines[1]);
        ASSERT_FALSE(r0.empty()) << "column " << x << " of channel 0 has no envelope";
        if (x < quarter - 1) {
            EXPECT_EQ(r0, std::vector<int>{hi0}) << "column " << x;
        } else if (x > quarter + 1 && x < half - 1) {
            EXPECT_EQ(r0, std::vector<int>{lo0}) << "column " << x;
        } else if (x > half + 1) {
            ASSERT_EQ(r0.size(), 1u) << "column " << x;
            EXPECT_LE(std::abs(r0[0] - mid0), 0.5) << "column " << x;
        } else {
            continue;  // a column where the value steps holds both rows
        }
        // Channel 1 fills every column from its highest to its lowest row.
        const std::vector<int> r1 = envelopeRows(x, lines[2], lines[3]);
        ASSERT_FALSE(r1.empty());
        EXPECT_EQ(r1.front(), hi1) << "column " << x;
        EXPECT_EQ(r1.back(), lo1) << "column " << x;
        EXPECT_EQ(int(r1.size()), lo1 - hi1 + 1) << "column " << x;
        ++checked;
    }
    EXPECT_GT(checked, (last - first) * 9 / 10);
    // Nothing of the envelope outside the frames' insides.
    for (int y = 0; y < img.height; ++y)
        for (int x : {left - 1, left, right, right + 1})
            EXPECT_NE(img.At(x, y), kEnvelope) << x << "," << y;

    EXPECT_EQ(Tessel("plot missing.dat -o m.png"), 1);
    EXPECT_FALSE(fs::exists(dir / "m.png"));
    EXPECT_EQ(Tessel("plot sig.dat -o m.png --width 10"), 2);
}
