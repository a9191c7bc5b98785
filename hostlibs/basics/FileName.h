#pragma once
// A file path taken apart into directory, base name and extension.
//
// Paths stored by Windows hosts use "\" and paths of this system
// "/": both separate directories when a path is taken apart; paths that are
// put together use "/". The extension is the part of the last path component
// from its last "." on, when that "." is not the component's first character
// (".profile" has no extension, "a.b.trx" has ".trx").

#include "platform/CString.h"

class CFileName {
public:
    CFileName() = default;
    CFileName(const char* path) { SetPath(path); }
    CFileName(const CString& path) { SetPath(path.c_str()); }

    void SetPath(const char* path);
    // Directory (with its trailing separator) + name + extension.
    CString GetPath() const { return m_sDir + m_sName + m_sExt; }
    operator CString() const { return GetPath(); }

    // "" when the path has no directory part; else it ends with a separator.
    const CString& GetDirectory() const { return m_sDir; }
    const CString& GetName() const { return m_sName; }           // without extension
    const CString& GetExtension() const { return m_sExt; }       // with its ".", or ""
    CString GetNameWithExtension() const { return m_sName + m_sExt; }

    // A directory without trailing separator gets "/".
    void SetDirectory(const char* dir);
    void SetName(const char* name) { m_sName = name ? name : ""; }
    // "trx" and ".trx" both give ".trx"; "" removes the extension.
    void SetExtension(const char* ext);

    // Absolute, lexically normalised path ("." and ".." resolved, repeated
    // separators removed), made from the current directory for a relative
    // path. Symbolic links are not followed and the file need not exist.
    CString GetFullPath() const { return FullPath(GetPath().c_str()); }
    static CString FullPath(const char* path);

    bool Exists() const;              // a file or directory of this path exists
    bool DirectoryExists() const;     // the directory part exists (the current directory when empty)

    static bool IsSeparator(char c) { return c == '/' || c == '\\'; }

private:
    CString m_sDir, m_sName, m_sExt;
};
