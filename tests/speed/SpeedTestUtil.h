#pragma once
// The shared test pieces under the names the speed tests use.

#include "tests/common/ConversionTest.h"
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
using tessel::test::MakeTrx;
using tessel::test::PulseSub;
using tessel::test::ReadDataset;
using tessel::test::ReadFile;

}  // namespace speedtest
