#include "platform/Spawn.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

// A file opened once the child runs, even without close-on-exec and while
// the child is still running, is not among the child's open files: jobs
// open and lock files on other threads meanwhile, and a child holding one
// of them would keep its lock.
TEST(Spawn, FilesOpenedAfterTheStartDoNotReachTheChild)
{
    const fs::path dir = fs::temp_directory_path() / ("tessel-spawn-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path marker = dir / "opened-after-the-start";
    std::ofstream(marker) << "x";
    const fs::path listing = dir / "fds.txt";

    int fd = -1;
    std::string failure;
    const int status = Spawn::RunAndWait(
        "/bin/sh", {"sh", "-c", "exec 9>'" + listing.string() + "'; sleep 0.2; ls -l /proc/$$/fd/ >&9"}, [] { return false; },
        failure, [&] { fd = ::open(marker.c_str(), O_RDONLY); });
    ASSERT_EQ(status, 0) << failure;
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::stringstream fds;
    fds << std::ifstream(listing).rdbuf();
    EXPECT_NE(fds.str().find("fds.txt"), std::string::npos) << fds.str();   // the listing sees files at all
    EXPECT_EQ(fds.str().find("opened-after-the-start"), std::string::npos) << fds.str();
    fs::remove_all(dir);
}
