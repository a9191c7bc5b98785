#pragma once
// The shared test pieces under the names the speed tests use.

#include "tests/common/DatasetMaker.h"
#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"
#include "tests/common/TempDir.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace speedtest {

namespace fs = std::filesystem;
using SChan = SChannelSpec;
using tessel::test::MakeScratch;
using tessel::test::MakeTrx;
using tessel::test::PulseSub;

// Every value of channel `channel` of a data set (physical, or stored with raw).
inline std::vector<double> ReadChannel(const fs::path& path, int channel, bool raw = false)
{
    return tessel::test::ReadDataset(path, CChNbrList{channel}, raw);
}

inline std::string FileBytes(const fs::path& p) { return tessel::test::ReadFile(p.string()); }

}  // namespace speedtest
