// The WAVE import copies the samples unchanged in the kernel, and the data
// set takes their position in the WAVE file modulo 64 KiB along so that the
// copy moves whole page-cache folios. Wherever they start, the samples must
// lie exactly where the
// data set's lead-in says: checked with numpy from the data offset and with
// python/tessel_trx.py against libsndfile's reading of the WAVE file.

#include "tests/common/PeerTools.h"
#include "interface/TSInterface.h"
#include "settings/TSSettings.h"

#include "WaveTestUtil.h"

#include <sstream>

using namespace wavetest;

namespace {

class WavImportPagePhase : public CWaveTest {
protected:
    static std::string Tool()
    {
        return "PYTHONPATH=" + std::string(TESSEL_SOURCE_DIR) + "/python /usr/bin/python3 " + TESSEL_SOURCE_DIR +
               "/tests/formats/wave/page_phase_tool.py";
    }
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
        std::uint64_t modulus, phase; // the data offset modulo `modulus`
    };
    const SCase cases[] = {
        {"PCM_16", 2, 300011, 0, 44, 65536, 44},
        {"PCM_24", 1, 400000, 0, 44, 65536, 44},
        {"PCM_32", 1, 300000, 0, 44, 65536, 44},
        // A chunk before the samples.
        {"PCM_16", 2, 300000, 4094, 4146, 65536, 4146},
        {"PCM_24", 2, 200000, 7, 60, 65536, 60},
        // 32-bit samples at an offset that is not a multiple of 4 start on a
        // page instead, so that they keep their alignment in the data set.
        {"PCM_32", 2, 150000, 2, 54, 4096, 0},
        // Below 1 MiB the copy gains nothing worth 64 KiB of padding.
        {"PCM_16", 2, 1000, 0, 44, 4096, 0},
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
        EXPECT_EQ(c.phase, offset % c.modulus) << wav << " data offset " << offset;

        // The data set itself agrees and is complete.
        CDataset ds(trx.c_str(), om__read_complete, 32768, sh__deny_write);
        EXPECT_EQ(long(offset), ds.GetStartOfDataInFile());
        EXPECT_EQ(c.frames, ds.GetAbscissa(0).GetNbrOfScans());
    }
}
