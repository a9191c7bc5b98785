#include "platform/Plugin.h"

#include <dlfcn.h>
#include <map>
#include <mutex>
#include <unistd.h>

namespace {

// The folder of the module itself (or of the program it is linked into), not
// of the language modules' override: a plug-in belongs to its build.
std::string OwnDirectory()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&FindPluginEntry), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        if (path.find('/') == std::string::npos) {
            char buf[4096];
            const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
            if (n > 0) path.assign(buf, std::size_t(n));
        }
        if (const auto slash = path.rfind('/'); slash != std::string::npos) return path.substr(0, slash);
    }
    return ".";
}

struct SFound {
    void* entry = nullptr;
    std::string error;
};

} // namespace

void* FindPluginEntry(const char* fileName, const char* entry, std::string& error)
{
    static std::mutex mutex;
    static std::map<std::string, SFound> found;
    std::lock_guard<std::mutex> lock(mutex);
    const std::string key = std::string(fileName) + '\0' + entry;
    auto it = found.find(key);
    if (it == found.end()) {
        SFound f;
        const std::string dir = OwnDirectory();
        void* h = nullptr;
        for (const char* sub : {"/", "/tessel/"}) {
            const std::string path = dir + sub + fileName;
            if ((h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))) break;
            // The first place's reason, unless the file is there and fails.
            if (f.error.empty() || ::access(path.c_str(), F_OK) == 0) f.error = ::dlerror();
        }
        if (h) f.error = (f.entry = ::dlsym(h, entry)) ? "" : std::string(fileName) + " has no " + entry;
        it = found.emplace(key, f).first;
    }
    error = it->second.error;
    return it->second.entry;
}
