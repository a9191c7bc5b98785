#include "common/OutputPolicy.h"

#include <cerrno>

#include "settings/TSSettings.h"

namespace OutputPolicy {

namespace {

// Position after the last separator: where the file name starts.
int NameStart(const CString& s) {
    return s.ReverseFind('/') + 1;
}

}  // namespace

int FindExtension(const char* pszPath) {
    CString s(pszPath);
    int name = NameStart(s);
    int dot = s.ReverseFind('.');
    // Only a "." inside the file name counts: a dotted directory name is no
    // extension of the file. A "." that starts the name marks a hidden file.
    return dot > name ? dot : -1;
}

CString GetDirectoryOfPath(const char* pszPath) {
    CString s(pszPath);
    return s.Left(NameStart(s));
}

CString GetFileNameOfPath(const char* pszPath, bool bWithExtension) {
    CString s(pszPath);
    int name = NameStart(s);
    if (bWithExtension)
        return s.Mid(name);
    int dot = FindExtension(pszPath);
    return dot < 0 ? s.Mid(name) : s.Mid(name, dot - name);
}

void ReplaceExtension(CString& sPath, const char* pszExtension) {
    int dot = FindExtension(sPath);
    if (dot >= 0)
        sPath = sPath.Left(dot) + pszExtension;
}

void SetExtension(CString& sPath, const char* pszExtension) {
    if (FindExtension(sPath) >= 0)
        ReplaceExtension(sPath, pszExtension);
    else
        sPath += pszExtension;
}

CString JoinPath(const char* pszDirectory, const char* pszName) {
    CString dir(pszDirectory);
    // "%s/%s" unless the directory already ends with the separator; an empty
    // directory thus gives the root.
    if (dir.GetLength() > 0 && dir[dir.GetLength() - 1] == '/')
        return dir + pszName;
    return dir + "/" + pszName;
}

CString ApplyStandardDirectory(const CString& sPath, long lJobBit) {
    if (lJobBit == 0 || (CTSSettings::m_lStandardPathFlags & lJobBit) == 0)
        return sPath;
    const CString* pDir = CTSSettings::StandardPathOf(lJobBit);
    if (!pDir)
        return sPath;
    CString dir = *pDir;
    // The directory is created when missing (without a trailing separator,
    // which the tree routine refuses); failure is not reported here: the probe
    // or the conversion meets it on the output path.
    CString bare = dir;
    while (bare.GetLength() > 1 && bare[bare.GetLength() - 1] == '/')
        bare = bare.Left(bare.GetLength() - 1);
    if (!bare.IsEmpty() && !FileSystem::DirectoryExists(bare))
        CreateDirectoryTree(bare);
    return JoinPath(dir, GetFileNameOfPath(sPath, true));
}

CString DeriveOutputPath(const char* pszInput, const char* pszExtension, EExtensionRule eRule, long lJobBit) {
    CString path(pszInput);
    if (eRule == EExtensionRule::AppendWhenMissing)
        SetExtension(path, pszExtension);
    else
        ReplaceExtension(path, pszExtension);
    return ApplyStandardDirectory(path, lJobBit);
}

int ResolveOverwrite(const int* pbOverwrite, long lJobBit) {
    if (pbOverwrite)
        return *pbOverwrite;
    return (CTSSettings::m_lOverwriteFlags & lJobBit) != 0 ? 1 : 0;
}

bool IsOutputTheInput(const char* pszInput, const char* pszOutput) {
    if (!pszInput || !pszOutput)
        return false;
    return CString(pszInput) == pszOutput || FileSystem::IsSameFile(pszInput, pszOutput);
}

bool WriteProbe(const char* pszPath, unsigned& uStringID, CString& sTextArg, CString& sTextAppend) {
    FileSystem::CFile file;
    if (file.Create(pszPath, FileSystem::EShare::None)) {
        // Nothing was written: removing it leaves no trace, and a file that
        // may be replaced is gone before the conversion starts. It is removed
        // while our lock still holds it, so that what goes is the file we
        // probed, never one another job has just made under the same name.
        FileSystem::RemoveFile(pszPath);
        file.Close();
        return false;
    }
    // A file that another of our jobs holds (exclusive lock) gives a sharing
    // violation below and stays as it is.
    // A file that we could not open is not ours to remove: it is protected,
    // or another process holds it.
    const FileSystem::SError& e = file.GetError();
    switch (e.uCode) {
    case FileSystem::kErrorAccessDenied:
        uStringID = ResultId::kWriteAccessDenied;
        sTextArg = pszPath;
        break;
    case FileSystem::kErrorWriteProtect:
        uStringID = ResultId::kWriteProtected;
        break;
    case FileSystem::kErrorSharingViolation:
        uStringID = ResultId::kSharingViolation;
        sTextArg = pszPath;
        break;
    default:
        uStringID = ResultId::kFileNotOpened;
        sTextArg = pszPath;
        sTextAppend.Format("\n\n(system error %d)", e.iErrno);
        break;
    }
    return true;
}

bool CreateDirectoryTree(const char* pszPath, FileSystem::SError* pError) {
    CString path(pszPath);
    auto fail = [&](int err) {
        if (pError)
            *pError = FileSystem::ErrorFromErrno(err);
        return false;
    };
    // A folder below the working directory may well be called "o2": only an
    // empty path or one that names no last level is refused.
    if (path.IsEmpty() || path[path.GetLength() - 1] == '/')
        return fail(EINVAL);
    CString dir = GetDirectoryOfPath(path);
    // Below the root there is nothing to create
    // first; elsewhere the parents come first, whatever their outcome: the
    // last level decides.
    if (dir != "/" && dir.GetLength() > 1)
        CreateDirectoryTree(dir.Left(dir.GetLength() - 1));
    FileSystem::SError e = FileSystem::MakeDirectory(path);
    if (e.Failed()) {
        if (pError)
            *pError = e;
        return false;
    }
    if (pError)
        *pError = FileSystem::SError{};
    return true;
}

bool PrepareOutput(const char* pszInput, const char* pszOutput, int bOverwrite, bool bCreateDirectory,
                   unsigned& uStringID, CString& sTextArg, CString& sTextAppend) {
    // The output must never be the input: refused before anything touches it.
    if (IsOutputTheInput(pszInput, pszOutput)) {
        uStringID = ResultId::kInputIsOutput;
        return true;
    }
    if (bCreateDirectory) {
        CString dir = GetDirectoryOfPath(pszOutput);
        if (dir.GetLength() > 1 && !FileSystem::DirectoryExists(dir))
            CreateDirectoryTree(dir.Left(dir.GetLength() - 1));
    }
    if (!bOverwrite && FileSystem::FileExists(pszOutput)) {
        uStringID = ResultId::kOutputExists;
        return true;
    }
    return WriteProbe(pszOutput, uStringID, sTextArg, sTextAppend);
}

bool CreateOutputDirectory(const char* pszDirectory, unsigned& uStringID, CString& sTextArg) {
    FileSystem::SError e;
    if (CreateDirectoryTree(pszDirectory, &e))
        return false;
    sTextArg = pszDirectory;
    if (e.uCode == FileSystem::kErrorAccessDenied)
        uStringID = ResultId::kWriteAccessDenied;
    else if (e.uCode == FileSystem::kErrorWriteProtect)
        uStringID = ResultId::kWriteProtected;
    else
        uStringID = ResultId::kDirectoryNotCreated;
    return true;
}

}  // namespace OutputPolicy
