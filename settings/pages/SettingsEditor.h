#pragma once
// `tessel settings edit`: the fourteen settings pages in a property sheet of
// their own, without Qt in the caller's headers.
//
// The sheet also comes as a plug-in of its own, tessel_settings_ui.so, with
// one C entry point, so that a program can show it without linking Qt:
// loading Qt costs every start of a program that links it, and only this one
// command needs it. The plug-in resolves CTSSettings and the page objects in
// the module libtessel that the program has already loaded.

#include <cstddef>
#include <functional>
#include <string>

namespace tessel::pages {

// Shows the sheet over the pages of CTSSettings::GetPPage and returns when it
// closes: 0 after "OK", 1 after "Cancel", 2 when no display could be opened
// (`error` says why). `store` runs after every successful apply ("OK" or
// "Apply") and returns false with a message when the settings could not be
// stored; the message is shown and the sheet stays open.
int EditSettings(const std::function<bool(std::string& error)>& store, std::string& error);

// File name of the plug-in and name of its entry point.
inline constexpr const char* kSettingsUiModule = "tessel_settings_ui.so";
inline constexpr const char* kSettingsUiEntryPoint = "TesselEditSettings";

}  // namespace tessel::pages

extern "C" {
// Stores the settings; nonzero on success, else 0 with a message of at most
// `whySize` bytes (terminated) in `why`.
typedef int (*TesselStoreSettingsFn)(void* context, char* why, std::size_t whySize);

// The plug-in's entry point: EditSettings with plain C types. Returns as
// EditSettings does; `error` receives the reason of a 2, terminated and cut
// to `errorSize` bytes.
typedef int (*TesselEditSettingsFn)(TesselStoreSettingsFn store, void* context, char* error,
                                    std::size_t errorSize);
}
