// The entry point of the plug-in tessel_settings_ui.so (see SettingsEditor.h).

#include "settings/pages/SettingsEditor.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <type_traits>

namespace {

void CopyOut(const std::string& text, char* out, std::size_t size)
{
    if (!out || size == 0)
        return;
    const std::size_t n = std::min(text.size(), size - 1);
    std::memcpy(out, text.data(), n);
    out[n] = '\0';
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int TesselEditSettings(TesselStoreSettingsFn store, void* context,
                                                                        char* error, std::size_t errorSize)
{
    // Nothing may leave a C entry point as an exception.
    try {
        std::string why;
        const int rc = tessel::pages::EditSettings(
            [&](std::string& storeError) {
                char buf[1024] = "";
                if (store(context, buf, sizeof buf))
                    return true;
                storeError = buf;
                return false;
            },
            why);
        CopyOut(why, error, errorSize);
        return rc;
    } catch (const std::exception& e) {
        CopyOut(std::string("the settings dialog failed: ") + e.what(), error, errorSize);
        return 2;
    } catch (...) {
        CopyOut("the settings dialog failed", error, errorSize);
        return 2;
    }
}

static_assert(std::is_same_v<decltype(&TesselEditSettings), TesselEditSettingsFn>,
              "the entry point and the type its callers cast to must agree");
