// `tessel settings show | set NAME VALUE | reset | edit`: the conversion
// settings, kept in the per-user document storage through CTSSettings::Store /
// Load; `edit` shows them in the property sheet of the settings pages, a
// plug-in loaded only then, so that no other command pays for loading Qt.

#include "cli/CommandRegistry.h"
#include "settings/TSSettings.h"
#include "settings/pages/SettingsEditor.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <strings.h>
#include <unistd.h>
#include <variant>

namespace tessel::cli {
namespace {

using SettingRef = std::variant<long*, int*, short*, float*, double*, CString*, CStringArray*>;

struct SSetting {
    const char* name;
    SettingRef ref;
};

const SSetting kSettings[] = {
    {"m_lStandardPathFlags", &CTSSettings::m_lStandardPathFlags},
    {"m_lOverwriteFlags", &CTSSettings::m_lOverwriteFlags},
    {"m_sPathTRX", &CTSSettings::m_sPathTRX},
    {"m_sPathASC", &CTSSettings::m_sPathASC},
    {"m_sPathPAK", &CTSSettings::m_sPathPAK},
    {"m_sPathSDF", &CTSSettings::m_sPathSDF},
    {"m_sPathUFF", &CTSSettings::m_sPathUFF},
    {"m_sPathWAV", &CTSSettings::m_sPathWAV},
    {"m_sPathMP3", &CTSSettings::m_sPathMP3},
    {"m_arsChNameASCImport", &CTSSettings::m_arsChNameASCImport},
    {"m_arsChUnitASCImport", &CTSSettings::m_arsChUnitASCImport},
    {"m_iChImplType", &CTSSettings::m_iChImplType},
    {"m_bAbscProvidedASCImport", &CTSSettings::m_bAbscProvidedASCImport},
    {"m_dAbscDeltaValASCImport", &CTSSettings::m_dAbscDeltaValASCImport},
    {"m_sAbscUnitASCImport", &CTSSettings::m_sAbscUnitASCImport},
    {"m_bSeparatorASCExport", &CTSSettings::m_bSeparatorASCExport},
    {"m_iNumberNotationASCExport", &CTSSettings::m_iNumberNotationASCExport},
    {"m_iNumberNotationComplexASCExport", &CTSSettings::m_iNumberNotationComplexASCExport},
    {"m_nNbrOfDigitsASCExport", &CTSSettings::m_nNbrOfDigitsASCExport},
    {"m_bUseCommaASCExport", &CTSSettings::m_bUseCommaASCExport},
    {"m_bConvert2dBASCExport", &CTSSettings::m_bConvert2dBASCExport},
    {"m_bEnableFloat32PAKExport", &CTSSettings::m_bEnableFloat32PAKExport},
    {"m_bHighSamplingRate4RefQuantSDFExport", &CTSSettings::m_bHighSamplingRate4RefQuantSDFExport},
    {"m_sNameSETFileTEACImport", &CTSSettings::m_sNameSETFileTEACImport},
    {"m_bBinaryUFFExport", &CTSSettings::m_bBinaryUFFExport},
    {"m_fCalibrationWAVImport", &CTSSettings::m_fCalibrationWAVImport},
    {"m_fInputRangeWAVImport", &CTSSettings::m_fInputRangeWAVImport},
    {"m_bPascalWAVImport", &CTSSettings::m_bPascalWAVImport},
    {"m_sQuantityWAVImport", &CTSSettings::m_sQuantityWAVImport},
    {"m_sUnitWAVImport", &CTSSettings::m_sUnitWAVImport},
    {"m_iConvFloatToIntWAVExport", &CTSSettings::m_iConvFloatToIntWAVExport},
    {"m_nCalibrationWAVExport", &CTSSettings::m_nCalibrationWAVExport},
    {"m_b24BitResolutionWAVExport", &CTSSettings::m_b24BitResolutionWAVExport},
    {"m_bIncludePulseChWAVExport", &CTSSettings::m_bIncludePulseChWAVExport},
};

std::string Quote(const CString& s) { return "\"" + ToUtf8(s) + "\""; }

void Show(const SSetting& s)
{
    std::visit(
        [&](auto* p) {
            using T = std::remove_pointer_t<decltype(p)>;
            if constexpr (std::is_same_v<T, CStringArray>) {
                // Only the filled entries, with their index.
                for (int i = 0; i < p->GetSize(); ++i)
                    if (!p->GetAt(i).IsEmpty())
                        std::printf("%s[%d] = %s\n", s.name, i, Quote(p->GetAt(i)).c_str());
            } else if constexpr (std::is_same_v<T, CString>) {
                std::printf("%s = %s\n", s.name, Quote(*p).c_str());
            } else if constexpr (std::is_same_v<T, long>) {
                std::printf("%s = %ld (0x%lX)\n", s.name, *p, *p);
            } else if constexpr (std::is_floating_point_v<T>) {
                std::printf("%s = %.9g\n", s.name, double(*p));
            } else {
                std::printf("%s = %d\n", s.name, int(*p));
            }
        },
        s.ref);
}

bool ParseInteger(const std::string& text, long long lo, long long hi, long long& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);  // 0x... for flag sets
    if (errno || *end || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

bool ParseReal(const std::string& text, double& out)
{
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (errno || *end || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

// Sets one setting from its text; false with a message for a bad name or value.
bool Assign(const std::string& nameArg, const std::string& value, std::string& error)
{
    // NAME or NAME[index] for the array settings.
    std::string name = nameArg;
    int index = -1;
    if (auto open = name.find('['); open != std::string::npos && name.back() == ']') {
        long long i;
        if (!ParseInteger(name.substr(open + 1, name.size() - open - 2), 0, INT_MAX, i)) {
            error = "bad index in " + nameArg;
            return false;
        }
        index = int(i);
        name = name.substr(0, open);
    }
    const SSetting* found = nullptr;
    for (const SSetting& s : kSettings)
        if (strcasecmp(s.name, name.c_str()) == 0)
            found = &s;
    if (!found) {
        error = "unknown setting " + nameArg + " (see `tessel settings show`)";
        return false;
    }
    bool isArray = std::holds_alternative<CStringArray*>(found->ref);
    if (isArray != (index >= 0)) {
        error = isArray ? std::string(found->name) + " is a list: name it with an index, e.g. " + found->name + "[0]"
                        : std::string(found->name) + " takes no index";
        return false;
    }
    return std::visit(
        [&](auto* p) -> bool {
            using T = std::remove_pointer_t<decltype(p)>;
            if constexpr (std::is_same_v<T, CString> || std::is_same_v<T, CStringArray>) {
                std::string bytes;
                if (!FromUtf8(value, bytes)) {
                    error = "the value holds characters that Windows-1252 cannot hold";
                    return false;
                }
                if constexpr (std::is_same_v<T, CString>) {
                    *p = CString(bytes);
                } else {
                    if (index >= p->GetSize()) {
                        error = "index out of range: " + std::string(found->name) + " has " +
                                std::to_string(p->GetSize()) + " entries";
                        return false;
                    }
                    p->SetAt(index, CString(bytes));
                }
                return true;
            } else if constexpr (std::is_floating_point_v<T>) {
                double v;
                if (!ParseReal(value, v) ||
                    (std::is_same_v<T, float> && std::fabs(v) > 3.4e38)) {
                    error = "not a number: " + value;
                    return false;
                }
                *p = T(v);
                return true;
            } else {
                long long v;
                if (!ParseInteger(value, std::numeric_limits<T>::min(), std::numeric_limits<T>::max(), v)) {
                    error = "not an integer in range: " + value;
                    return false;
                }
                *p = T(v);
                return true;
            }
        },
        found->ref);
}

// Directory of the running command, from /proc/self/exe.
std::string CommandDirectory()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return ".";
    std::string path(buf, std::size_t(n));
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The settings dialog's entry point, or null with the reason in `error`. The
// plug-in stays loaded until the process ends: Qt does not support being
// unloaded.
TesselEditSettingsFn LoadSettingsDialog(std::string& error)
{
    const std::string dir = CommandDirectory();
    const std::string candidates[] = {
        dir + "/" + tessel::pages::kSettingsUiModule,
        dir + "/" TESSEL_PLUGIN_DIR_FROM_BIN "/" + tessel::pages::kSettingsUiModule,
    };
    for (const std::string& path : candidates) {
        if (::access(path.c_str(), F_OK) != 0)
            continue;
        void* h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!h) {
            const char* why = ::dlerror();
            error = "the settings dialog " + path + " could not be loaded: " + (why ? why : "unknown reason");
            return nullptr;
        }
        if (auto* fn = reinterpret_cast<TesselEditSettingsFn>(::dlsym(h, tessel::pages::kSettingsUiEntryPoint)))
            return fn;
        error = "the settings dialog " + path + " lacks its entry point " + tessel::pages::kSettingsUiEntryPoint;
        return nullptr;
    }
    error = std::string("the settings dialog is not installed (no ") + tessel::pages::kSettingsUiModule + " in " +
            candidates[0].substr(0, candidates[0].rfind('/')) + " or " +
            candidates[1].substr(0, candidates[1].rfind('/')) + ")";
    return nullptr;
}

int StoreForDialog(void*, char* why, std::size_t whySize)
{
    std::string error;
    if (StoreUserSettings(&error))
        return 1;
    std::snprintf(why, whySize, "%s", error.c_str());
    return 0;
}

int EditInDialog()
{
    std::string error;
    TesselEditSettingsFn edit = LoadSettingsDialog(error);
    if (!edit) {
        std::fprintf(stderr, "tessel: %s\n", error.c_str());
        return int(kExitFailed);
    }
    char why[1024] = "";
    if (edit(StoreForDialog, nullptr, why, sizeof why) == 2) {
        std::fprintf(stderr, "tessel: %s\n", why);
        return int(kExitFailed);
    }
    return int(kExitOk);
}

std::function<int()> SetupSettings(CLI::App& cmd)
{
    cmd.require_subcommand(1);
    auto chosen = std::make_shared<std::function<int()>>();

    CLI::App* show = cmd.add_subcommand("show", "Print every setting");
    show->callback([chosen] {
        *chosen = [] {
            std::printf("# stored in %s\n", SettingsStorageDirectory().c_str());
            for (const SSetting& s : kSettings)
                Show(s);
            return int(kExitOk);
        };
    });

    auto name = std::make_shared<std::string>();
    auto value = std::make_shared<std::string>();
    CLI::App* set = cmd.add_subcommand("set", "Change one setting and store it");
    set->add_option("name", *name, "Setting, e.g. m_bPascalWAVImport or m_arsChNameASCImport[0]")->required();
    set->add_option("value", *value, "New value")->required();
    set->callback([chosen, name, value] {
        *chosen = [name, value] {
            std::string error;
            if (!Assign(*name, *value, error)) {
                std::fprintf(stderr, "tessel: %s\n", error.c_str());
                return int(kExitUsage);
            }
            if (!StoreUserSettings(&error)) {
                std::fprintf(stderr, "tessel: %s\n", error.c_str());
                return int(kExitFailed);
            }
            return int(kExitOk);
        };
    });

    CLI::App* reset = cmd.add_subcommand("reset", "Return every setting to its default and store them");
    reset->callback([chosen] {
        *chosen = [] {
            CTSSettings::ResetToDefaults();
            std::string error;
            if (!StoreUserSettings(&error)) {
                std::fprintf(stderr, "tessel: %s\n", error.c_str());
                return int(kExitFailed);
            }
            return int(kExitOk);
        };
    });

    CLI::App* edit = cmd.add_subcommand("edit", "Edit the settings in a dialog; OK and Apply store them");
    edit->callback([chosen] { *chosen = EditInDialog; });

    return [chosen] { return *chosen ? (*chosen)() : int(kExitUsage); };
}

TESSEL_REGISTER_TOPLEVEL("settings", "Show, change or reset the stored conversion settings", SetupSettings)

}  // namespace
}  // namespace tessel::cli
