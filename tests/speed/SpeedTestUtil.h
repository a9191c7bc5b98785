#pragma once
// Scratch directories, private semaphore and configuration folders, and
// small TRX data sets for the speed tests.

#include "hostlibs/dataset/Dataset.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace speedtest {

namespace fs = std::filesystem;

inline fs::path MakeScratch(const char* tag)
{
    const char* tmp = std::getenv("TMPDIR");
    fs::path base = (tmp && *tmp) ? tmp : "/tmp";
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "x";
    for (char& c : name)
        if (c == '/')
            c = '_';
    fs::path dir = base / (std::string("tessel_") + tag + "_" + std::to_string(::getpid()) + "_" + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// Every test process takes its semaphore units and reads its configuration
// in folders of its own, never the user's.
inline void PrivateMachineState()
{
    static const bool done = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string t = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessel-speed-state-XXXXXX";
        if (::mkdtemp(t.data())) {
            fs::create_directories(fs::path(t) / "sem");
            fs::create_directories(fs::path(t) / "config");
            ::setenv("TESSEL_SEM_DIR", (t + "/sem").c_str(), 1);
            ::setenv("TESSEL_CONFIG_DIR", (t + "/config").c_str(), 1);
            static std::string folder;
            folder = t;
            std::atexit([] {
                std::error_code e;
                fs::remove_all(folder, e);
            });
        }
        return true;
    }();
    (void)done;
}

struct SChan {
    std::string name;
    int implType = it__int16;
    double factor = 1.0;
    std::string title = {};
};

// A data set of the given channels at one rate; values are stored values,
// scan after scan.
inline void MakeTrx(const fs::path& path, const std::vector<SChan>& chans, double rate,
                    const std::vector<double>& values, const std::vector<CSubChannel>& subs = {},
                    int kind = dk__time)
{
    CAbscissaList abscissas;
    abscissas.Add(CAbscissa("Time", "t", CQuantity("time"), CUnit("s", 1), 0.0, 1.0 / rate, 0, df__linear));
    CChannelList channels;
    for (std::size_t i = 0; i < chans.size(); ++i) {
        map__dct m;
        m.m_dFactor = chans[i].factor;
        CChannel c(chans[i].name.c_str(), chans[i].name.c_str(), CQuantity("pressure"), CUnit("Pa", 1),
                   chans[i].implType, int(i), 1.0, 1.0, &m);
        if (!chans[i].title.empty())
            c.SetTitle(chans[i].title.c_str());
        channels.Add(c);
    }
    CDataset ds(path.c_str(), abscissas, channels, kind, ds__dorg_interleaved, 0, 65536, sh__deny_write);
    CChNbrList all;
    all.AddGroup(0, int(chans.size()) - 1);
    if (!values.empty()) {
        CAccess* a = ds.CreateAccess(am__readwrite, all, 0, 0L, -1L, mk__raw);
        ASSERT_NE(a, nullptr);
        const long scans = long(values.size() / chans.size());
        ASSERT_EQ(a->SetData(scans, values.data(), ds__dorg_interleaved, it__double), scans);
    }
    for (const CSubChannel& s : subs)
        ds.AddSubChannel(s);
    ds.Close();
}

inline CSubChannel PulseSub(int parent, unsigned mask, double factor = 60.0, const char* name = "speed")
{
    CSubChannel s(sc__pulse, parent, mask, name, "n", CQuantity("RPM"), CUnit("rpm", 1));
    s.SetPulseFactor(factor);
    s.SetDeltaTime(0.01);
    return s;
}

// Every value of channel `channel` of a data set (physical, or stored with raw).
inline std::vector<double> ReadChannel(const fs::path& path, int channel, bool raw = false)
{
    CDataset ds(path.c_str(), om__read, 32768, sh__deny_none);
    CAccess* acc = ds.CreateAccess(am__read, CChNbrList{channel}, 0, 0L, -1L, raw ? mk__raw : mk__physical);
    std::vector<double> v;
    if (!acc)
        return v;
    std::vector<double> buf(4096);
    while (!acc->Finished()) {
        long n = acc->GetData(long(buf.size()), buf.data(), ds__dorg_interleaved, it__double);
        if (n <= 0)
            break;
        v.insert(v.end(), buf.begin(), buf.begin() + n);
    }
    return v;
}

inline std::string FileBytes(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

inline bool Have(const std::string& check) { return std::system((check + " >/dev/null 2>&1").c_str()) == 0; }

// A peer tool that is missing skips a test, except in CI, where it fails.
#define SPEED_REQUIRE_TOOL(ok, what)                                      \
    do {                                                                   \
        if (!(ok)) {                                                       \
            if (std::getenv("CI"))                                         \
                FAIL() << what << " is missing (CI is set)";               \
            GTEST_SKIP() << what << " is missing";                         \
        }                                                                  \
    } while (0)

}  // namespace speedtest
