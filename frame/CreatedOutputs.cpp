#include "frame/CreatedOutputs.h"

#include <sys/stat.h>
#include <unistd.h>

bool CCreatedOutputs::Add(const char* pszPath) {
    struct stat st {};
    if (!pszPath || ::lstat(pszPath, &st) != 0) return false;
    m_entries.push_back({pszPath, st.st_dev, st.st_ino, S_ISDIR(st.st_mode)});
    return true;
}

void CCreatedOutputs::RemoveAll() {
    for (auto it = m_entries.rbegin(); it != m_entries.rend(); ++it) {
        struct stat st {};
        if (::lstat(it->sPath.c_str(), &st) != 0) continue;
        if (st.st_dev != it->dev || st.st_ino != it->ino) continue;
        if (it->bDirectory)
            ::rmdir(it->sPath.c_str());
        else
            ::unlink(it->sPath.c_str());
    }
    m_entries.clear();
}
