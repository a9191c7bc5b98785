#pragma once
// Per-user configuration values, the stand-in for the registry under the
// current user. One INI-like file, "<dir>/tessel.conf":
//
//   [Software\Orvano\]
//   Language=DEU
//
// The directory is $TESSEL_CONFIG_DIR when set (tests relocate it), otherwise
// $XDG_CONFIG_HOME/tessel, otherwise ~/.config/tessel. Section names are the
// key paths; a trailing backslash does not matter.

#include "platform/CString.h"

#include <cstddef>

class CUserConfigKey {
public:
    // Opens the key; false when the file or the section does not exist.
    bool Open(const char* keyPath);
    bool IsOpen() const { return m_bOpen; }
    void Close();

    // Reads a text value into buf of bufSize bytes, terminating zero included.
    // False, and buf left untouched, when the value is missing or does not fit
    // (as a registry query that reports more data).
    bool QueryValue(const char* name, char* buf, std::size_t bufSize) const;

    static CString FilePath();
    // Writes (or replaces) a value; creates file and section as needed.
    static bool SetValue(const char* keyPath, const char* name, const char* value);

private:
    bool m_bOpen = false;
    CString m_section;
};
