// The WAVE import copies the samples unchanged in the kernel, and the data
// set takes their page phase in the WAVE file along so that the copy runs
// page onto page. Whatever the phase, the samples must lie exactly where the
// data set's lead-in says: checked with numpy from the data offset and with
// python/tessel_trx.py against libsndfile's reading of the WAVE file.

#include "tests/common/PeerTools.h"
#include "interface/TSInterface.h"
#include "settings/TSSettings.h"

#include "WaveTestUtil.h"

#include <sstream>

using namespace wavetest;

namespace {

class WavImportPagePhase : public ::testing::Test {
protected:
    void SetUp() override
    {
        CTSSettings::ResetToDefaults();
        CTSSettings::m_lStandardPathFlags = 0;
        CTSSettings::m_lOverwriteFlags = 0;
        dir = MakeScratch("wavphase");
    }
    void TearDown() override
    {
        CTSSettings::ResetToDefaults();
        fs::remove_all(dir);
    }
    static std::string Tool()
    {
        return "PYTHONPATH=" + std::string(TESSEL_SOURCE_DIR) + "/python /usr/bin/python3 " + TESSEL_SOURCE_DIR +
               "/tests/formats/wave/page_phase_tool.py";
    }
    fs::path dir;
};

}  // namespace

TEST_F(WavImportPagePhase, SamplesLieAtTheDataOffsetWhateverTheirPhaseInTheSource)
{
    if (!HaveSoundfile())
        TESSEL_SKIP_OR_FAIL("python3 with soundfile and numpy is not installed");
    struct SCase {
        const char* subtype;
        int channels, frames, junk;
        std::uint64_t sourceOffset;   // of the samples in the WAVE file
        std::uint64_t phase;          // the data offset modulo 4096
    };
    const SCase cases[] = {
        {"PCM_16", 2, 30011, 0, 44, 44},
        {"PCM_24", 1, 20000, 0, 44, 44},
        {"PCM_32", 1, 9000, 0, 44, 44},
        // A chunk before the samples: their phase is the offset modulo 4096.
        {"PCM_16", 2, 5000, 4094, 4146, 50},
        {"PCM_24", 2, 4000, 7, 60, 60},
        // 32-bit samples at an offset that is not a multiple of 4 start on a
        // page instead, so that they keep their alignment in the data set.
        {"PCM_32", 2, 5000, 2, 54, 0},
    };
    int n = 0;
    for (const SCase& c : cases) {
        const fs::path wav = dir / ("in" + std::to_string(n) + ".wav");
        const fs::path trx = dir / ("out" + std::to_string(n++) + ".trx");
        std::ostringstream make;
        make << Tool() << " make " << wav << ' ' << c.subtype << ' ' << c.channels << ' ' << c.frames << ' ' << c.junk;
        ASSERT_EQ(0, Shell(make.str())) << make.str();

        CTSInterface::SMessage msg;
        ASSERT_EQ(0u, CTSInterface().ImportWAV(wav.c_str(), 7, 8, trx.c_str(), nullptr, &msg));
        ASSERT_TRUE(fs::exists(trx)) << wav << ": " << msg.sText.c_str();

        std::istringstream got(Capture(Tool() + " check " + wav.string() + " " + trx.string() + " 2>&1"));
        std::uint64_t source = 0, offset = 0;
        ASSERT_TRUE(got >> source >> offset) << wav << ": " << got.str();
        EXPECT_EQ(c.sourceOffset, source) << wav;
        EXPECT_EQ(c.phase, offset % 4096) << wav << " data offset " << offset;

        // The data set itself agrees and is complete.
        CDataset ds(trx.c_str(), om__read_complete, 32768, sh__deny_write);
        EXPECT_EQ(long(offset), ds.GetStartOfDataInFile());
        EXPECT_EQ(c.frames, ds.GetAbscissa(0).GetNbrOfScans());
    }
}
