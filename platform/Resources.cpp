#include "platform/Resources.h"

#include <cstdlib>
#include <dlfcn.h>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <unistd.h>
#include <string>

namespace {

// Guards the language module against an unload while a lookup reads from it.
// Never destroyed: the module's unload hook may run after static destructors.
// Function statics, as the load hook may also run before this file's initialisers.
std::shared_mutex& ResMutex()
{
    static auto* m = new std::shared_mutex;
    return *m;
}
std::string& LangPath()
{
    static auto* p = new std::string;
    return *p;
}
void* g_langHandle = nullptr;
CResourceSource g_langSource{"language module", nullptr};
CResourceSource g_ownSource{"own string table", nullptr};

// Per thread, as a lookup on a job's thread must not disturb the host's.
thread_local const CResourceSource* t_current = nullptr;

std::string ModuleDirectory()
{
    if (const char* d = std::getenv("TESSEL_RES_DIR"); d && *d) return d;
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&LoadText), &info) && info.dli_fname) {
        std::string path = info.dli_fname;
        if (path.find('/') == std::string::npos) {
            // The main program: its path comes from /proc.
            char buf[4096];
            ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
            if (n > 0) path.assign(buf, std::size_t(n));
        }
        auto slash = path.rfind('/');
        if (slash != std::string::npos) return path.substr(0, slash);
    }
    return ".";
}

// Looks `id` up in the current source of this thread.
const char* LookupCurrent(unsigned id)
{
    const CResourceSource* src = t_current;
    return (src && src->lookup) ? src->lookup(id) : nullptr;
}

} // namespace

const CResourceSource* GetResourceSource() { return t_current; }

const CResourceSource* SetResourceSource(const CResourceSource* src)
{
    const CResourceSource* prev = t_current;
    t_current = src;
    return prev;
}

void SetOwnStringTable(TextLookupFn lookup)
{
    std::unique_lock<std::shared_mutex> g(ResMutex());
    g_ownSource.lookup = lookup;
}

bool LoadLanguageModule(const char* code)
{
    if (!code || !*code) return false;
    // The code comes from a user-editable file: it names a module, never a path.
    for (const char* c = code; *c; ++c) {
        const bool ok = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') || (*c >= '0' && *c <= '9') ||
                        *c == '_' || *c == '-';
        if (!ok) return false;
    }
    // Beside the module in a build tree; in an installed tree the language
    // modules keep to a folder of their own below the library directory, so
    // that plug-ins do not sit among the system's shared libraries.
    const std::string dir = ModuleDirectory();
    std::string path;
    void* h = nullptr;
    for (const char* sub : {"/", "/tessel/"}) {
        path = dir + sub + "TesselRes" + code + ".so";
        if ((h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL))) break;
    }
    if (!h) return false;
    auto fn = reinterpret_cast<TextLookupFn>(::dlsym(h, kLanguageModuleLookup));
    if (!fn) {
        ::dlclose(h);
        return false;
    }
    std::unique_lock<std::shared_mutex> g(ResMutex());
    if (g_langHandle) ::dlclose(g_langHandle);
    g_langHandle = h;
    LangPath() = path;
    g_langSource.lookup = fn;
    return true;
}

void UnloadLanguageModule()
{
    std::unique_lock<std::shared_mutex> g(ResMutex());
    if (g_langHandle) ::dlclose(g_langHandle);
    g_langHandle = nullptr;
    LangPath().clear();
    g_langSource.lookup = nullptr;
}

bool HasLanguageModule()
{
    std::shared_lock<std::shared_mutex> g(ResMutex());
    return g_langHandle != nullptr;
}

CString LanguageModulePath()
{
    std::shared_lock<std::shared_mutex> g(ResMutex());
    return CString(LangPath());
}

CString LoadText(unsigned id)
{
    try {
        std::shared_lock<std::shared_mutex> g(ResMutex());
        const char* text = nullptr;
        if (g_langHandle) {
            const CResourceSource* prev = SetResourceSource(&g_langSource);
            text = LookupCurrent(id);
            SetResourceSource(prev);
        }
        if (!text) {
            const CResourceSource* prev = SetResourceSource(&g_ownSource);
            text = LookupCurrent(id);
            SetResourceSource(prev);
        }
        return CString(text ? text : "");
    } catch (const std::bad_alloc&) {
        return CString();
    }
}

CString FormatTextArg(const CString& text, const CString& arg)
{
    const std::string& s = text.str();
    auto pos = s.find("%s");
    if (pos == std::string::npos) return text;
    std::string out;
    out.reserve(s.size() + arg.str().size());
    out.append(s, 0, pos);
    out += arg.str();
    out.append(s, pos + 2, std::string::npos);
    return CString(std::move(out));
}
