#pragma once
// The old-header WAVE export: a 16-bit PCM file written chunk by chunk, with
// one synthesized tacho track after the channels when the data set has a
// pulse sub-channel. Each interval between two pulses carries 16383 in its
// first half and 0 in its second; the frames before the first pulse carry 0.
//
// The samples are always fetched and written as 16-bit values, so the file
// always announces 16 bits, also when the 24-bit flag is set: a record
// announcing 24 bits over 16-bit frames would be read as noise.

#include "frame/CreatedOutputs.h"
#include "hostlibs/dataset/Dataset.h"

#include <functional>

struct STachoExport {
    CString input;
    CString output;
    CDataset* dataset = nullptr;
    CChNbrList channels;       // exportable channels of one rate
    int convMode = 1;          // 0 autoscale, 2 scale to level, else 1:1
    short calibration = 0;     // level in dB for mode 2
    double peak = 1.0;         // largest magnitude for mode 0
    // Makes the pulse file of a sub-channel (a data set of pulse times);
    // false with a message when it cannot. Null: no tacho track.
    std::function<bool(const CSubChannel& sub, CString& pulsePath, CString& error)> makePulseFile;
    // Where the output file is recorded once this export has made it.
    CCreatedOutputs* created = nullptr;
};

struct STachoResult {
    bool ok = false;
    unsigned stringId = 2;
    CString textArg;
    CString textAppend;
};

STachoResult WriteTachoWave(const STachoExport& job);

// Tacho value of frame `pos` of an interval of `count` frames.
inline short TachoSample(long long pos, long long count) { return pos < count / 2 ? short(16383) : short(0); }
