#pragma once
// Helpers of the recorder tests: scratch folders, recorder files written from
// their layouts (LOG text, TAFFmat header, QuickVu 512-byte header, SET
// file), and reading a data set back. (The module is loaded once per test
// binary, and every test process has semaphore and configuration folders of
// its own: tests/support/PrivateFolders.cpp.)

#include "frame/ThreadConversion.h"
#include "hostlibs/dataset/Dataset.h"
#include "interface/TSInterface.h"
#include "settings/TSSettings.h"
#include "tests/common/AsyncRun.h"
#include "tests/common/ConversionTest.h"
#include "tests/common/DatasetMaker.h"
#include "tests/common/ModuleEnvironment.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace rectest {

namespace fs = std::filesystem;
using Bytes = std::string;   // a file's bytes
using tessel::test::ReadFile;
using tessel::test::WriteFile;
using tessel::test::RunAsync;

// Every value of a data set, scan by scan: ReadDataset(path, {}, raw).
using tessel::test::ReadDataset;

inline const unsigned char* Raw(const Bytes& b) { return reinterpret_cast<const unsigned char*>(b.data()); }

// 16-bit samples as a file holds them (little-endian, as the test machine).
inline Bytes Samples(const std::vector<std::int16_t>& v)
{
    return Bytes(reinterpret_cast<const char*>(v.data()), v.size() * 2);
}

// What a channel of an imported data set must say.
struct SChannelWant {
    const char *name, *abbreviation, *unit;
    int physical;
    double factor, offset;
};
inline void ExpectChannels(CDataset& ds, const std::vector<SChannelWant>& want)
{
    ASSERT_EQ(ds.GetNbrOfChannels(), int(want.size()));
    for (std::size_t c = 0; c < want.size(); ++c) {
        SCOPED_TRACE("channel " + std::to_string(c));
        const CChannel ch = ds.GetChannel(int(c));
        EXPECT_EQ(ch.GetName(), want[c].name);
        EXPECT_EQ(ch.GetAbbreviation(), want[c].abbreviation);
        EXPECT_EQ(ch.GetUnit().GetText(), want[c].unit);
        EXPECT_EQ(ch.GetPhysChannel(), want[c].physical);
        EXPECT_EQ(ch.GetMapping().GetFactor(), want[c].factor);
        EXPECT_EQ(ch.GetMapping().GetOffset(), want[c].offset);
    }
}

// The values of a data set: its samples, raw × factor + offset of their channel.
inline void ExpectValues(const fs::path& path, const std::vector<std::int16_t>& samples,
                         const std::vector<double>& factor, const std::vector<double>& offset)
{
    const std::vector<double> values = ReadDataset(path, {}, false);
    ASSERT_EQ(values.size(), samples.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        ASSERT_DOUBLE_EQ(values[i], samples[i] * factor[i % factor.size()] + offset[i % offset.size()]) << "value " << i;
}

// The samples lie unchanged where the data set says they start.
inline void ExpectSamplesAtDataOffset(const fs::path& path, const std::vector<std::int16_t>& samples)
{
    const Bytes file = ReadFile(path), raw = Samples(samples);
    const std::size_t start = std::size_t(CDataset(path.c_str(), om__read, 32768, sh__deny_none).GetStartOfDataInFile());
    ASSERT_GE(file.size(), start + raw.size());
    EXPECT_EQ(file.substr(start, raw.size()), raw);
}

// The recording's date: year, month, day, hour, minute.
inline void ExpectDate(CDataset& ds, const std::vector<int>& want)
{
    const CDateTimeEx::SParts d = ds.GetDateOfRecording().GetParts();
    EXPECT_EQ((std::vector<int>{d.iYear, d.iMonth, d.iDay, d.iHour, d.iMinute}), want);
}

// A ramp with both ends of the 16-bit range in it: sample i of channel c.
inline std::vector<std::int16_t> Interleaved(int channels, int scans)
{
    std::vector<std::int16_t> v;
    for (int i = 0; i < scans; ++i)
        for (int c = 0; c < channels; ++c)
            v.push_back(std::int16_t(i == 0 ? -32768 : i == 1 ? 32767 : (i * 97 + c * 1000) % 30000 - 15000));
    return v;
}

class RecorderTest : public tessel::test::CConversionTest {
protected:
    RecorderTest() : CConversionTest("recorder") {}
    // ImportTEAC into "out.trx", synchronously; the output exists exactly when it succeeded.
    CTSInterface::SMessage ImportTeac(const fs::path& in)
    {
        CTSInterface::SMessage msg;
        EXPECT_EQ(CTSInterface().ImportTEAC(in.c_str(), 5, 6, (dir / "out.trx").c_str(), nullptr, &msg), 0u);
        EXPECT_EQ(fs::exists(dir / "out.trx"), IsSucceededState(msg.uState)) << msg.sText.c_str();
        return msg;
    }
    // A ramp of `channels` × `scans` samples (kept in `samples`) as a file holds them.
    Bytes Ramp(int channels, int scans)
    {
        samples = Interleaved(channels, scans);
        return Samples(samples);
    }
    std::vector<std::int16_t> samples;
};

// A LOG file as the MK II/III software writes it: keyword, blank, value;
// CHANNEL lines "CHANNEL  n, "name", unit, mapping".
struct SonyChannelLine {
    int number;
    std::string name, unit, mapping, range;   // range: "" for no INPUT_RANGE line
};

inline std::string SonyLog(const std::vector<SonyChannelLine>& channels, long samples, const std::string& interval,
                           const std::vector<std::string>& skip = {}, const std::string& format = "0")
{
    std::vector<std::pair<std::string, std::string>> lines = {
        {"VERSION", "1.02"},       {"DATA_FILE", "REC001.BIN"},   {"FORMAT", format},
        {"VOLUME_CH", std::to_string(samples)}, {"FILE_INTVL_CH", interval}, {"FILE_MEMO", "bench run 4"},
        {"TAPE_BC_MODE", "1"},     {"TAPE_SRATE_CH", "48000"},    {"DECIMATION", "4"},
        {"TAPE_SPEED", "2"},       {"ID", "042"},                 {"DATE_TIME", "990312 101500"},
        {"CNT_ADDRESS", "+12345"}, {"MEMO", "free text"},         {"TRIG_MODE", "0"},
    };
    std::string s;
    for (const auto& [k, v] : lines) {
        bool skipped = false;
        for (const std::string& x : skip)
            skipped = skipped || x == k;
        if (!skipped)
            s += k + " " + v + "\r\n";
    }
    for (const SonyChannelLine& c : channels)
        s += "CHANNEL  " + std::to_string(c.number) + ", \"" + c.name + "\", " + c.unit + ", " + c.mapping + "\r\n";
    for (const SonyChannelLine& c : channels)
        if (!c.range.empty())
            s += "INPUT_RANGE  " + std::to_string(c.number) + ", " + c.range + "\r\n";
    return s;
}

// A TAFFmat header: the sixteen lines in their order, then the optional ones.
struct TaffFields {
    std::string version = "1", series = "CH1,CH2", date = "03-12-1999", time = "12:34:56.70", rate = "1000";
    std::string vertUnits = "V,V", horzUnits = "Sec", comment = "road test", numSeries = "2";
    std::string storage = "INTERLACED", slopes = "0.5,0.25", yOffsets = "0,1", numSamps = "4";
    std::string chSlot, rateMulti;   // empty: no line
    std::string eol = "\r\n";
};

inline std::string TaffHeader(const TaffFields& t)
{
    const std::pair<const char*, std::string> lines[] = {
        {"DATASET", "REC001"},      {"VERSION", t.version},     {"SERIES", t.series},
        {"DATE", t.date},           {"TIME", t.time},           {"RATE", t.rate},
        {"VERT_UNITS", t.vertUnits}, {"HORZ_UNITS", t.horzUnits}, {"COMMENT", t.comment},
        {"NUM_SERIES", t.numSeries}, {"STORAGE_MODE", t.storage}, {"FILE_TYPE", "INTEGER"},
        {"SLOPE", t.slopes},        {"X_OFFSET", "0.0"},        {"Y_OFFSET", t.yOffsets},
        {"NUM_SAMPS", t.numSamps},
    };
    std::string s;
    for (const auto& [k, v] : lines)
        s += std::string(k) + " " + v + t.eol;
    s += "DATA_TYPE SHORT" + t.eol;
    if (!t.chSlot.empty())
        s += "CH_SLOT " + t.chSlot + t.eol;
    if (!t.rateMulti.empty())
        s += "RATE_MULTI " + t.rateMulti + t.eol;
    return s;
}

// The QuickVu-RD/Windows header, offsets as published.
struct QuickVuFields {
    std::string comment = "pump 3, run A";
    std::uint8_t version = 1, year = 99, month = 3, day = 12, hour = 10, minute = 15, second = 0;
    std::uint8_t channel[16] = {1, 2};
    std::uint8_t range[16] = {5, 1};
    std::int64_t totalSamples = -1;   // -1: what the samples hold
    float rate = 2000.0f;
    std::uint8_t byteOrder = 0;
};

inline Bytes QuickVuFile(const QuickVuFields& q, const Bytes& samples)
{
    Bytes b(512 + samples.size(), 0);
    std::memcpy(b.data(), q.comment.data(), std::min<std::size_t>(q.comment.size(), 401));
    const std::uint8_t stamp[] = {q.version, q.year, q.month, q.day, q.hour, q.minute, q.second};
    std::memcpy(b.data() + 401, stamp, sizeof stamp);
    std::memcpy(b.data() + 413, q.channel, 16);
    const std::uint32_t total = q.totalSamples < 0 ? std::uint32_t(samples.size() / 2) : std::uint32_t(q.totalSamples);
    std::memcpy(b.data() + 433, &total, 4);   // the test machine is little-endian, as the layout
    std::memcpy(b.data() + 437, &q.rate, 4);
    std::memcpy(b.data() + 441, q.range, 16);
    b[457] = q.byteOrder;
    if (!samples.empty())
        std::memcpy(b.data() + 512, samples.data(), samples.size());
    return b;
}

struct SetRecord {
    std::string name, unit;
    float factor = 0.0f, offset = 0.0f;
};

inline Bytes SetFile(const std::vector<SetRecord>& slots, std::size_t size = 665)
{
    Bytes b(665, 0);
    for (std::size_t s = 0; s < slots.size(); ++s) {
        char* r = b.data() + 41 + 28 * s;
        std::memcpy(r, slots[s].name.data(), std::min<std::size_t>(slots[s].name.size(), 10));
        std::memcpy(r + 10, slots[s].unit.data(), std::min<std::size_t>(slots[s].unit.size(), 10));
        std::memcpy(r + 20, &slots[s].factor, 4);
        std::memcpy(r + 24, &slots[s].offset, 4);
    }
    b.resize(size);
    return b;
}

}  // namespace rectest
