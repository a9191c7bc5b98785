#pragma once
// Helpers of the WAVE tests: hand-made WAVE images and the independent tools.

#include "hostlibs/dataset/Dataset.h"
#include "interface/TSInterface.h"
#include "settings/TSSettings.h"
#include "tests/common/ConversionTest.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/PeerTools.h"
#include "tests/common/Python.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace wavetest {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

using tessel::test::MakeScratch;
using tessel::test::ReadDataset;
using tessel::test::HaveProgram;
using tessel::test::kPython;

class CWaveTest : public tessel::test::CConversionTest {
protected:
    CWaveTest() : CConversionTest("wave") {}
};

inline std::string ToolPath() { return std::string(TESSEL_SOURCE_DIR) + "/tests/formats/wave/wav_tool.py"; }

inline bool HaveSoundfile() { return tessel::test::HavePython("soundfile, numpy"); }

inline int Shell(const std::string& cmd) { return tessel::test::RunCommand(cmd + " >/dev/null 2>&1"); }

inline std::string Capture(const std::string& cmd)
{
    std::string out;
    tessel::test::RunCommand(cmd, &out);
    return out;
}

inline Bytes ReadFile(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}

inline void WriteFile(const fs::path& p, const Bytes& b)
{
    std::ofstream f(p, std::ios::binary);
    f.write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
}

inline void Put16(Bytes& b, std::uint16_t v)
{
    b.push_back(std::uint8_t(v));
    b.push_back(std::uint8_t(v >> 8));
}
inline void Put32(Bytes& b, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(v >> (8 * i)));
}
inline void PutId(Bytes& b, const char* id) { b.insert(b.end(), id, id + 4); }
// A chunk with its pad byte; sizeField >= 0 writes that size instead of the real one.
inline void PutChunk(Bytes& b, const char* id, const Bytes& body, std::int64_t sizeField = -1)
{
    PutId(b, id);
    Put32(b, sizeField < 0 ? std::uint32_t(body.size()) : std::uint32_t(sizeField));
    b.insert(b.end(), body.begin(), body.end());
    if (body.size() & 1)
        b.push_back(0);
}

// A WAVE image from the published layout. Fields are free so that tests can
// write impossible records.
struct WaveSpec {
    std::uint16_t tag = 1;
    std::uint16_t channels = 1;
    std::uint32_t rate = 8000;
    std::uint16_t blockAlign = 2;
    std::uint16_t bits = 16;
    std::uint32_t fmtSize = 16;        // bytes of the fmt chunk (>= 16 writes a PCM record)
    Bytes data;                        // sample bytes
    std::int64_t dataSizeField = -1;   // -1: the real size
    bool dataBeforeFmt = false;
    bool listBetween = false;
    bool junkFirst = false;
};

inline Bytes MakeWave(const WaveSpec& s)
{
    Bytes fmt;
    Put16(fmt, s.tag);
    Put16(fmt, s.channels);
    Put32(fmt, s.rate);
    Put32(fmt, s.rate * s.blockAlign);
    Put16(fmt, s.blockAlign);
    Put16(fmt, s.bits);
    fmt.resize(s.fmtSize, 0);
    Bytes inner;
    PutId(inner, "WAVE");
    if (s.junkFirst)
        PutChunk(inner, "JUNK", Bytes(27, 0x55));
    if (s.dataBeforeFmt)
        PutChunk(inner, "data", s.data, s.dataSizeField);
    PutChunk(inner, "fmt ", fmt);
    if (s.listBetween)
        PutChunk(inner, "LIST", Bytes{'I', 'N', 'F', 'O', 'I', 'C', 'M', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0});
    if (!s.dataBeforeFmt) {
        // The data chunk last, without pad byte, so a lying size is the end.
        PutId(inner, "data");
        Put32(inner, s.dataSizeField < 0 ? std::uint32_t(s.data.size()) : std::uint32_t(s.dataSizeField));
        inner.insert(inner.end(), s.data.begin(), s.data.end());
    }
    Bytes out;
    PutId(out, "RIFF");
    Put32(out, std::uint32_t(inner.size()));
    out.insert(out.end(), inner.begin(), inner.end());
    return out;
}

inline std::vector<std::int32_t> ReadInts(const fs::path& p)
{
    Bytes b = ReadFile(p);
    std::vector<std::int32_t> v(b.size() / 4);
    for (std::size_t i = 0; i < v.size(); ++i)
        v[i] = std::int32_t(std::uint32_t(b[4 * i]) | std::uint32_t(b[4 * i + 1]) << 8 |
                            std::uint32_t(b[4 * i + 2]) << 16 | std::uint32_t(b[4 * i + 3]) << 24);
    return v;
}

}  // namespace wavetest
