// Qt is loaded by `tessel settings edit` alone: the command links no Qt
// library, the edit command loads the dialog plug-in from beside the
// command, and without the plug-in it fails with a message instead of a
// crash or a hang.

#include <gtest/gtest.h>

#include "tests/cli/CommandTest.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using tessel::test::RunCommand;

const auto Slurp = [](const fs::path& p) { return tessel::test::ReadFile(p); };

class SettingsDialog : public CCommandTest {};

}  // namespace

TEST_F(SettingsDialog, CommandLinksNoQt)
{
    // ldd lists what the loader maps at start, dependencies of dependencies
    // included.
    std::string libs;
    ASSERT_EQ(RunCommand("ldd '" + Exe() + "'", &libs), 0) << libs;
    ASSERT_NE(libs.find("libtessel.so.0 =>"), std::string::npos) << libs;
    std::istringstream lines(libs);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string soname;
        words >> soname;
        EXPECT_NE(soname.rfind("libQt", 0), 0u) << "tessel loads " << soname << " at every start";
    }
}

TEST_F(SettingsDialog, EditLoadsTheDialogPlugin)
{
    // Under the offscreen platform the sheet opens and waits for the user;
    // the dialog is there once the plug-in and Qt are mapped.
    ScopedEnv offscreen("QT_QPA_PLATFORM", "offscreen");
    const pid_t pid = Start("settings edit");
    ASSERT_GT(pid, 0);
    const std::string maps = "/proc/" + std::to_string(pid) + "/maps";
    const std::string plugin = std::string(TESSEL_BINARY_DIR) + "/tessel_settings_ui.so";
    bool loaded = false, exited = false;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!loaded && !exited && std::chrono::steady_clock::now() < deadline) {
        const std::string m = Slurp(maps);
        loaded = m.find(plugin) != std::string::npos && m.find("libQt6Widgets") != std::string::npos;
        exited = ::waitpid(pid, &status, WNOHANG) == pid;
        if (!loaded && !exited)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!exited) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    EXPECT_TRUE(loaded) << (exited ? "tessel settings edit ended early" : "no dialog within 60 s");
}

TEST_F(SettingsDialog, EditWithoutThePluginFailsCleanly)
{
    // A copy of the command in a folder of its own has no plug-in beside it
    // nor an installed tree above it; its libraries it is shown (it looks for
    // them beside itself only).
    fs::create_directories(dir / "bin");
    fs::copy_file(Exe(), dir / "bin" / "tessel");
    std::string err;
    EXPECT_EQ(RunCommand("cd '" + dir.string() + "' && LD_LIBRARY_PATH='" + fs::path(Exe()).parent_path().string() +
                             "' TESSEL_CONFIG_DIR='" + (dir / "config").string() +
                             "' QT_QPA_PLATFORM=offscreen '" + (dir / "bin" / "tessel").string() +
                             "' settings edit 2>&1 >/dev/null",
                         &err),
              1);
    EXPECT_NE(err.find("settings dialog is not installed"), std::string::npos) << err;
    EXPECT_NE(err.find("tessel_settings_ui.so"), std::string::npos) << err;
    EXPECT_NE(err.find((dir / "bin").string()), std::string::npos) << err;
}
