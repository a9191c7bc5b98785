#pragma once
// `tessel settings edit`: the fourteen settings pages in a property sheet of
// their own, without Qt in the caller's headers.

#include <functional>
#include <string>

namespace tessel::pages {

// Shows the sheet over the pages of CTSSettings::GetPPage and returns when it
// closes: 0 after "OK", 1 after "Cancel", 2 when no display could be opened
// (`error` says why). `store` runs after every successful apply ("OK" or
// "Apply") and returns false with a message when the settings could not be
// stored; the message is shown and the sheet stays open.
int EditSettings(const std::function<bool(std::string& error)>& store, std::string& error);

}  // namespace tessel::pages
