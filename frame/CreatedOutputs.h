#pragma once
// The files and directories a job has made itself. A failed job removes
// exactly these and nothing else: by the time it fails, an output path may
// name another job's file (on this system a file someone holds open can still
// be unlinked) or a file the user put there, and neither is ours to delete.
//
// A path is recorded with the identity (device and inode) it had when the job
// made it; removal checks that the path still names that same object.

#include <string>
#include <sys/types.h>
#include <vector>

class CCreatedOutputs {
public:
    // Records pszPath, which this job has just created, with its present
    // identity. False when it does not exist (nothing recorded).
    bool Add(const char* pszPath);
    // Removes what was recorded, newest first, where the path still names the
    // object recorded; directories only when empty. Forgets everything.
    void RemoveAll();
    // The job succeeded: keep everything, forget the records.
    void Keep() { m_entries.clear(); }
    bool Empty() const { return m_entries.empty(); }

private:
    struct SEntry {
        std::string sPath;
        dev_t dev;
        ino_t ino;
        bool bDirectory;
    };
    std::vector<SEntry> m_entries;
};
