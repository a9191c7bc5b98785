#pragma once
// Texts of the module: the language resource module first, then the module's
// own string table.
//
// The own table is registered by the module at load (TesselModuleLoad() of
// frame/Module.h). A test of a lower layer that needs the own texts
// links tessel_jobs and calls TesselModuleLoad() first; before that LoadText
// gives empty texts for every id.

#include "platform/CString.h"

// Lookup of one id: the text, or null when the table has no such id.
using TextLookupFn = const char* (*)(unsigned id);

// Name of the lookup that every language module exports (extern "C").
inline constexpr const char* kLanguageModuleLookup = "TesselResText";

// A source of resources, like a module handle of the host's framework.
struct CResourceSource {
    const char* name;      // for diagnostics
    TextLookupFn lookup;   // may be null
};

// The current resource source of the process. The host may keep its own here;
// LoadText switches to the language module for the lookup and restores the
// previous source afterwards, so the host's own lookups are not disturbed.
const CResourceSource* GetResourceSource();
const CResourceSource* SetResourceSource(const CResourceSource* src); // returns the previous

// Own string table of the module (null to unregister).
void SetOwnStringTable(TextLookupFn lookup);

// Language module: loads "TesselRes<code>.so" from the directory of the
// module or its subfolder "tessel" (or from the directory given by
// $TESSEL_RES_DIR and its subfolder "tessel"). True when it loaded and
// exports the lookup; it then replaces any module loaded before.
bool LoadLanguageModule(const char* code);
void UnloadLanguageModule();
bool HasLanguageModule();
// Path of the loaded language module, empty when none.
CString LanguageModulePath();

// The text of `id`: from the language module when it holds the id, else from
// the own table; empty when neither has it (or memory ran out).
CString LoadText(unsigned id);

// Replaces the first "%s" of `text` by `arg`; nothing else of the text is
// interpreted, so a stray '%' in a translated text cannot do harm.
CString FormatTextArg(const CString& text, const CString& arg);
