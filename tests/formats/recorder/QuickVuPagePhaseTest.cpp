// QuickVu-RD samples start at byte 512 of their file; the data set puts its
// samples at 512 modulo 64 KiB so that the kernel copies whole page-cache
// folios. numpy, reading
// from the data offset in the lead-in, and python/tessel_trx.py must find
// exactly the file's samples there.

#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"

#include "RecorderTestUtil.h"

#include <sstream>

using namespace rectest;

TEST_F(RecorderTest, QuickVuSamplesTakeTheirPagePhaseAndLieAtTheDataOffset)
{
    if (!tessel::test::HavePython("numpy"))
        TESSEL_SKIP_OR_FAIL("python3 with numpy is not installed");
    for (int channels : {1, 2, 4}) {
        QuickVuFields q;
        std::fill(std::begin(q.channel), std::end(q.channel), 0);
        std::fill(std::begin(q.range), std::end(q.range), 0);
        for (int c = 0; c < channels; ++c) {
            q.channel[c] = std::uint8_t(c + 1);
            q.range[c] = 5;
        }
        const int scans = 600000 / channels + 17;   // more than 1 MiB
        const fs::path in = dir / ("rec" + std::to_string(channels) + ".DAT");
        const fs::path out = dir / ("rec" + std::to_string(channels) + ".trx");
        WriteFile(in, QuickVuFile(q, Samples(Interleaved(channels, scans))));
        CTSInterface::SMessage msg;
        ASSERT_EQ(0u, CTSInterface().ImportTEAC(in.c_str(), 5, 6, out.c_str(), nullptr, &msg));
        ASSERT_TRUE(fs::exists(out)) << msg.sText.c_str();

        const std::string cmd = "PYTHONPATH=" + std::string(TESSEL_SOURCE_DIR) + "/python /usr/bin/python3 " +
                                TESSEL_SOURCE_DIR + "/tests/formats/wave/page_phase_tool.py raw " + in.string() +
                                " 512 " + out.string() + " " + std::to_string(channels) + " 2>&1";
        std::string text;
        tessel::test::RunCommand(cmd, &text);
        std::istringstream got(text);
        std::uint64_t source = 0, offset = 0;
        ASSERT_TRUE(got >> source >> offset) << in << ": " << text;
        EXPECT_EQ(512u, offset % 65536) << in << " data offset " << offset;
        CDataset ds(out.c_str(), om__read_complete, 32768, sh__deny_write);
        EXPECT_EQ(long(offset), ds.GetStartOfDataInFile());
        EXPECT_EQ(scans, ds.GetAbscissa(0).GetNbrOfScans());
    }
}
