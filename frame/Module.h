#pragma once
// Load and unload of the conversion module. The shared module calls these from
// its load and unload hooks; tests (of any layer) call them directly.
//
// Load: registers "MsgFromTessel" (already done during static initialisation),
// registers the own string table, reads "Language" under "Software\Orvano\"
// into 4 bytes and loads the language module "TesselRes<code>" when there is
// one. Unload: destroys every listed job and unloads the language module.

void TesselModuleLoad();
void TesselModuleUnload();
bool TesselModuleIsLoaded();
