#pragma once
// Where a job's output goes and whether it may replace an existing file.
//
// An explicit output path wins. Otherwise the output is derived from the input
// path (its extension appended or replaced, see EExtensionRule), optionally
// redirected into the job kind's standard directory. Before writing, a job
// refuses an output that is its own input (111), refuses an existing file it
// may not replace (8), and probes that the file can be created (write probe).
//
// Paths are separated by "/". A standard directory that ends with the
// separator is joined directly, and an empty one gives the root "/".

#include "common/ResultIds.h"
#include "platform/CString.h"
#include "platform/FileSystem.h"

namespace OutputPolicy {

// How a job kind puts its extension on the input path.
enum class EExtensionRule {
    // ASCII export, MP3 import/export, PAK import, SDF export, WAVE export:
    // replace the extension, or append it when the name has none.
    AppendWhenMissing,
    // SDF, SONY, TEAC, UFF and WAVE import, UFF export: replace the extension;
    // a name without one stays unchanged.
    ReplaceOnly,
};

// The texts of a failed check, with the names of the job base's fields, so
// that a job object and this struct are interchangeable for the templates
// below.
struct SResultText {
    unsigned m_uStringID = 0xFFFFFFFFu;
    CString m_sTextArg;
    CString m_sTextAppend;
};

// --- path helpers ---------------------------------------------------------

// Position of the extension's "." in the file-name part, or -1. A "." that
// starts the file name (".profile") is not an extension.
int FindExtension(const char* pszPath);
// Directory part with its trailing "/" ("" for a bare name, "/" for a file in
// the root).
CString GetDirectoryOfPath(const char* pszPath);
// File name, with its extension when bWithExtension is set.
CString GetFileNameOfPath(const char* pszPath, bool bWithExtension);
// Replaces the extension (from its "." on) by pszExtension; a path without an
// extension stays unchanged.
void ReplaceExtension(CString& sPath, const char* pszExtension);
// Replaces the extension, or appends pszExtension when there is none.
void SetExtension(CString& sPath, const char* pszExtension);
// Joins a directory and a file name: directly when the directory ends with
// "/", else with "/" between them; an empty directory gives the root.
CString JoinPath(const char* pszDirectory, const char* pszName);

// --- derivation (job constructors) ----------------------------------------

// The output path of a job whose caller gave none: the input with the job
// kind's extension, in the kind's standard directory when its bit of
// CTSSettings::m_lStandardPathFlags is set (the directory is created when
// missing; failure shows later, at the probe). lJobBit 0: no standard
// directory.
CString DeriveOutputPath(const char* pszInput, const char* pszExtension, EExtensionRule eRule, long lJobBit);
// The output directory for outputs that are directories (PAK export): the
// input without its extension, in the standard directory when the bit is set.
CString ApplyStandardDirectory(const CString& sPath, long lJobBit);
// Overwrite permission: the caller's value when given, else the job kind's
// bit of CTSSettings::m_lOverwriteFlags.
int ResolveOverwrite(const int* pbOverwrite, long lJobBit);

// --- checks before writing (job runs) -------------------------------------

// True when the output would be the input itself (same text or same file).
bool IsOutputTheInput(const char* pszInput, const char* pszOutput);

// Write probe: creates the file (create or truncate, no sharing), then
// removes it, so that a replaceable file is gone before the conversion starts.
// Returns true on FAILURE and then sets the texts:
//   access denied (5)      -> 100, arg = path
//   write protected (19)   -> 101
//   sharing violation (32) -> 9,   arg = path
//   anything else          -> 10,  arg = path, append "\n\n(system error %d)"
// A file that could not be opened is left alone.
bool WriteProbe(const char* pszPath, unsigned& uStringID, CString& sTextArg, CString& sTextAppend);
template <class TJob>
bool WriteProbe(TJob& job, const char* pszPath) {
    return WriteProbe(pszPath, job.m_uStringID, job.m_sTextArg, job.m_sTextAppend);
}

// Creates a directory and every missing parent. False for a path shorter than
// 3 characters or ending with "/", and when the last level cannot be created
// (also when it already exists: call it only for a missing directory). pError
// receives the failure of the last level.
bool CreateDirectoryTree(const char* pszPath, FileSystem::SError* pError = nullptr);

// The checks before a conversion writes: 111 when the output is the input
// (nothing probed), then (bCreateDirectory) the output's directory created
// when missing, 8 when the file exists and bOverwrite is 0, then the write
// probe. Returns true on FAILURE with the texts set.
bool PrepareOutput(const char* pszInput, const char* pszOutput, int bOverwrite, bool bCreateDirectory,
                   unsigned& uStringID, CString& sTextArg, CString& sTextAppend);
template <class TJob>
bool PrepareOutput(TJob& job, const char* pszInput, const char* pszOutput, int bOverwrite,
                   bool bCreateDirectory = false) {
    return PrepareOutput(pszInput, pszOutput, bOverwrite, bCreateDirectory, job.m_uStringID, job.m_sTextArg,
                         job.m_sTextAppend);
}

// Creating an output directory where the failure is reported (PAK export):
// 100 for access denied, 101 for write protection, else 13, each with the
// path. Returns true on FAILURE.
bool CreateOutputDirectory(const char* pszDirectory, unsigned& uStringID, CString& sTextArg);

}  // namespace OutputPolicy
