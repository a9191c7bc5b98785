#pragma once
// MP3 export: the data set becomes a temporary WAVE file (the WAVE export
// job), the encoder "WaveToMP3.bat" turns that into MP3, and the side file
// ".MP3Plus" beside the MP3 keeps the description and the pulse bits that
// MP3 cannot carry. One MP3 conversion runs at a time on the machine.

#include "frame/ThreadConversion.h"

class CThreadMP3Export : public CThreadConversion {
public:
    // output null: the input with ".MP3" (replacing or appending the
    // extension), in the MP3 standard directory when the settings say so.
    // overwrite null: the setting for MP3 exports.
    CThreadMP3Export(const char* input, long id, long user, const char* output, const int* overwrite);
    ~CThreadMP3Export() override;

    int Run() override;

    const CString& GetOutputPath() const { return m_sOutput; }

    CString m_sOutput;

private:
    bool Convert();
};
