#pragma once
// The class through which the host starts every conversion. It has no data;
// instances may be created anywhere, and assigning one copies nothing.
//
// A conversion member builds its job and hands it to CThreadManager::Dispatch
// (frame/ThreadManager.h), which applies the rule shared by all of
// them. Each format defines its members in its own file
// interface/TSInterface_<FMT>.cpp; nothing else has to change to add one.

#include "hostlibs/dataset/DataKind.h"
#include "platform/CString.h"

class CTSInterface {
public:
    // Outcome record of a job.
    struct SMessage {
        unsigned uState = 0;
        CString sText;
        long lID = 0;
        long lUser = 0;
        CString sSource;
    };

    // Id of the registered message "MsgFromTessel", sent to the host's main
    // window with WPARAM = SMessage* and LPARAM = CStringArray* (produced files).
    static const unsigned g_uMsgFromTessel;

    CTSInterface() = default;
    CTSInterface(const CTSInterface&) = default;
    CTSInterface& operator=(const CTSInterface&);

    // Common arguments: input path, job id, host value, output path or null
    // (derive it). Override pointers: null takes the setting. A null SMessage*
    // starts asynchronously; a record runs synchronously (110 without output).
    unsigned ImportASC(const char* input, long id, long user, const char* output,
                       const int* overwrite, SMessage* msg);
    unsigned ExportASC(const char* input, long id, long user, const char* output,
                       const int* overwrite, const int* numberNotation, const short* nbrOfDigits,
                       const int* tabSeparator, const int* decimalComma,
                       const int* complexNotation, const int* convertTodB,
                       const char* headerText);
    unsigned ImportPAK(const char* input, long id, long user, const char* output,
                       const int* overwrite, SMessage* msg);
    unsigned ExportPAK(const char* input, long id, long user, const char* output,
                       const int* overwrite, const int* float32Samples);
    unsigned ImportSDF(const char* input, long id, long user, const char* output,
                       const int* overwrite, SMessage* msg);
    unsigned ExportSDF(const char* input, long id, long user, const char* output,
                       const int* overwrite, const int* highSamplingRate4RefQuant);
    unsigned ImportSONY(const char* input, long id, long user, const char* output,
                        const int* overwrite, SMessage* msg);
    unsigned ImportTEAC(const char* input, long id, long user, const char* output,
                        const int* overwrite, SMessage* msg);
    unsigned ImportUFF(const char* input, long id, long user, const char* output,
                       const int* overwrite, SMessage* msg);
    unsigned ExportUFF(const char* input, long id, long user, const char* output,
                       const int* overwrite, const int* binaryUFF);
    unsigned ExportUFFModal(CList<CString, CString&>& inputs, long id, long user,
                            const char* output, const int* overwrite, const int* binaryUFF);
    unsigned ImportWAV(const char* input, long id, long user, const char* output,
                       const int* overwrite, SMessage* msg);
    unsigned ExportWAV(const char* input, long id, long user, const char* output,
                       const int* overwrite, const int* convFloatToInt, const short* calibration,
                       const int* resolution24Bit, const int* includePulseChannels,
                       const double* fadeTimeSeconds, const int* loop);
    unsigned ExportWAVTachoOldHeader(const char* input, long id, long user, const char* output,
                                     const int* overwrite, const int* convFloatToInt,
                                     const short* calibration, const int* resolution24Bit);
    // dataKind: the kind of the data set to create. Null overwrite means
    // overwriting is allowed (not a setting).
    unsigned ImportExcel(const char* input, long id, long user, const char* output,
                         const int* overwrite, dk__val dataKind, SMessage* msg);
    unsigned ImportMP3(const char* input, long id, long user, const char* output,
                       const int* overwrite, SMessage* msg);
    unsigned ExportMP3(const char* input, long id, long user, const char* output,
                       const int* overwrite);
    unsigned ExportTRXMixedSR(short firstResampledChannel, short divisor, const char* input,
                              SMessage* msg, long id, long user, const char* output,
                              bool overwrite);
    bool ClipboardImport(void* clipboardText, const char* output);

    // Text of a result code, unformatted; empty for unknown codes.
    CString GetErrorText(unsigned code);
    // Progress 0.0 to 1.0 of the listed asynchronous job with that id; -1.0 when none.
    float GetProgress(long id);
};
