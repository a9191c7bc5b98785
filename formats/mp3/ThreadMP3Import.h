#pragma once
// MP3 import: the decoder "MP3ToWave.bat" turns a copy of the MP3 file into
// a temporary WAVE file, the WAVE import job makes the data set, and the
// side file ".MP3Plus" beside the MP3, when there is one, gives it back the
// source's description and pulse bits. One MP3 conversion runs at a time on
// the machine.

#include "frame/ThreadConversion.h"

class CThreadMP3Import : public CThreadConversion {
public:
    // output null: the input with ".dat" (replacing or appending the
    // extension), in the TRX standard directory when the settings say so.
    // overwrite null: the setting for MP3 imports; otherwise only 1 allows.
    CThreadMP3Import(const char* input, long id, long user, const char* output, const int* overwrite);
    ~CThreadMP3Import() override;

    int Run() override;

    const CString& GetOutputPath() const { return m_sOutput; }

    CString m_sOutput;

private:
    bool Convert();
};
