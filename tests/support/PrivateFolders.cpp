// Linked into every test binary: before any test runs, the process gets a
// private semaphore folder and configuration folder of its own, so that the
// processes `ctest -j` runs at once cannot take each other's units of the
// named semaphores, nor read a user's settings. A test that sets the
// variables itself keeps its own; spawned children inherit the folders.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

struct CPrivateFolders {
    CPrivateFolders()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessel-test-XXXXXX";
        if (!::mkdtemp(pattern.data())) return;
        root = pattern;
        owner = ::getpid();
        Give("TESSEL_SEM_DIR", "sem");
        Give("TESSEL_CONFIG_DIR", "config");
    }
    ~CPrivateFolders()
    {
        // A forked child that exits must not take its parent's folders along.
        if (root.empty() || ::getpid() != owner) return;
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }
    void Give(const char* variable, const char* name)
    {
        if (const char* set = std::getenv(variable); set && *set) return;
        const std::string dir = root + "/" + name;
        if (::mkdir(dir.c_str(), 0700) == 0) ::setenv(variable, dir.c_str(), 1);
    }
    std::string root;
    pid_t owner = 0;
};

CPrivateFolders g_folders;

} // namespace
