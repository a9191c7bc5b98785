#pragma once
// Plug-ins of the module: shared objects that only some conversions need, so
// that every other start of the module pays nothing for their libraries. A
// plug-in lies beside the module in a build tree and in the folder "tessel"
// below it in an installed tree (the language modules' place).

#include <string>

// The plug-in's symbol `entry`, loading `fileName` on the first call; later
// calls (from any thread) return what the first one found. Null with `error`
// when the plug-in or its entry cannot be found; the plug-in stays loaded.
void* FindPluginEntry(const char* fileName, const char* entry, std::string& error);
