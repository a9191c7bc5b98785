#pragma once
// PAK export: the time data of a TRX data set become a PAK measurement
// directory: "TDATA" (throughput header, setup, data blocks), "MPlist", the
// four template files, and in "SETUP" the text files that list header,
// setup, channel configuration and calibration. Pulse sub-channels become
// speed channels (kind 4, one value per block) through the speed data
// manager. Always asynchronous.

#include "frame/ThreadConversion.h"

#include <cstddef>
#include <memory>

class CDataset;

class CThreadPAKExport : public CThreadConversion {
public:
    // output null: see DeriveOutput. overwrite null: the setting for PAK
    // exports; float32 null: CTSSettings::m_bEnableFloat32PAKExport.
    CThreadPAKExport(const char* input, long id, long user, const char* output, const int* overwrite,
                     const int* float32);
    ~CThreadPAKExport() override;

    int Run() override;

    // The input without its extension (the path up to its first "." of the
    // file name), or the PAK standard directory joined with the input's file
    // name without extension when the settings say so.
    static CString DeriveOutput(const char* input);

    // Tests: transfer buffers above this size fail to allocate (0: no limit).
    static void SetBufferLimitForTests(std::size_t bytes);

    CString m_sOutput;
    CString m_sSetupDirectory;
    int m_bFloat32 = 0;

private:
    bool Convert();
    std::unique_ptr<CDataset> m_dataset;
};
