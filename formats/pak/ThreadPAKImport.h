#pragma once
// PAK throughput import: the file "TDATA" of a PAK measurement directory
// becomes one TRX time data set with every analog channel (and a "Pulse
// Channels" channel when the recording has pulse channels), plus one data set
// "<output>.SC<k>" per pulse channel whose speed is then merged into the
// pulse channel as pulse patterns. Channel names come from the side files
// "MeasSetup/ChanPos" and "MPlist" beside the input.

#include "formats/pak/PakLayout.h"
#include "frame/ThreadConversion.h"

#include <cstddef>

class CThreadPAKImport : public CThreadConversion {
public:
    // output null: "<directory name>[digit].dat" (see DeriveOutput). overwrite
    // null: the setting for PAK imports.
    CThreadPAKImport(const char* input, long id, long user, const char* output, const int* overwrite);
    ~CThreadPAKImport() override;

    int Run() override;

    // The name of the directory that holds the input, the input's last
    // character when that is a digit 1..9, and ".dat"; in the input's
    // directory, or in the TRX standard directory when the settings say so.
    static CString DeriveOutput(const char* input);
    // The channel names from the side files beside the input.
    static void ReadNames(const char* input, PakNames& names);

    // Tests: transfer buffers above this size fail to allocate (0: no limit).
    static void SetBufferLimitForTests(std::size_t bytes);

    CString m_sOutput;

private:
    bool Convert();
};
