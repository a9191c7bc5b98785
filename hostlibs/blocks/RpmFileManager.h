#pragma once
// Speed data sets from pulse sub-channels, computed only when needed.

#include "platform/CString.h"

#include <cstdint>

class CSubChannel;

class RPMFileManager {
public:
    enum EFileKind { eSpeed = 1, ePulseTimes = 2 };

    // The file that CreateRpmFile writes by default: the source path without
    // its extension, then ".rpm<ID>" (kind 1, speed over time) or ".p<ID>"
    // (kind 2, pulse times), ID the sub-channel's identifier.
    static CString GetRpmFileName(const char* source, const CSubChannel& sub, int index, int kind);
    // Writes the data set of kind iKind for the pulse sub-channel into name
    // (GetRpmFileName when empty; name holds the file used on return). The
    // sub-channel is the source's sub-channel at index, or, with index -1, the
    // one with sub's identifier. An existing file not older than the source is
    // kept unless bRecompute. *pTotal and *pDone follow the scans read.
    static bool CreateRpmFile(const char* source, CString& name, const CSubChannel& sub, int index, int iKind,
                              bool bRecompute, std::uint32_t* pTotal, std::uint32_t* pDone);
};
