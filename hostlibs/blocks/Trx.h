#pragma once
// Questions about a TRX data set that the block library answers.

class CTrx {
public:
    // The reference pulse of a data set: true when it holds a pulse
    // sub-channel (type 1); then *pdPulseFactor is the first one's pulse
    // factor, *piSubChannel its index among the sub-channels and *piCount the
    // number of pulse sub-channels. Null pointers are skipped.
    static bool ScanForBNRInfo(const char* path, double* pdPulseFactor, int* piSubChannel, int* piCount);
};
