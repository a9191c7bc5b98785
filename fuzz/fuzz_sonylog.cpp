// Any bytes as a SONY LOG file: the reader must end with a verdict, keep
// within its limits (128 channels, fields cut at their widths, input ranges
// from the list or unknown), and say why it refused; the mapping texts of
// whatever channels it read must parse.

#include "FuzzSupport.h"
#include "formats/recorder/SonyLog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    SSonyLog log;
    std::string why;
    const bool ok = ReadSonyLog(reinterpret_cast<const char*>(data), size, log, why);
    fuzz::Check(ok == why.empty());
    fuzz::Check(!ok || (log.uMissing == 0 && !log.channels.empty() && log.iFormat == 0));
    fuzz::Check(log.channels.size() <= std::size_t(SSonyLog::kMaxChannels) && log.sVersion.size() <= 4 &&
                log.sDataFile.size() <= 128 && log.sFileMemo.size() <= 128 && log.sMemo.size() <= 139);
    for (const SSonyChannel& c : log.channels) {
        fuzz::Check(c.sName.size() <= 10 && c.sUnit.size() <= 8 && c.sMapping.size() <= 25 && c.bUsed);
        double factor = 0, offset = 0;
        ParseSonyMapping(c.sMapping, factor, offset);
    }
    for (std::uint16_t r : log.inputRange)
        fuzz::Check(r == 5 || r == 10 || r == 20 || r == 50 || r == 100 || r == 200 || r == SSonyLog::kRangeUnknown);
    return 0;
}
