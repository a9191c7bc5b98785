#pragma once
// Services that move between speed information and pulse information in TRX
// data sets: a pulse file from a pulse sub-channel (WAVE export), speed data
// merged into time data as pulse patterns (SDF and PAK imports), and the
// calibration level of floating-point channels from their peak (PAK import).
// They run on the calling job's thread.

#include "hostlibs/dataset/Dataset.h"
#include "platform/CString.h"
#include "platform/MessageLoop.h"

namespace PulseServices {

// Writes the rising pulse edges of `sub` in the data set at sSource into a
// pulse file. sPulseFile in: empty for the source's directory, else a path
// whose directory is used; out: the pulse file, named after the source with
// the extension ".p<id>" (the sub-channel's id). A pulse file that is not
// older than the source is reused as it is. While working, when hProgress is
// a window, uProgressMsg is posted to it with wProgress and the percentage
// done. On failure sError tells why and no pulse file is left.
bool MakePulseFile(const char* pszSource, const CSubChannel& sub, CString& sPulseFile, CString& sError,
                   HWND hProgress, unsigned uProgressMsg, WPARAM wProgress);

// Merges the speed data sets (speed over time) into the output data sets (the
// time data of an import) as pulse patterns: each speed set k becomes bit k
// of the last pulse channel of every output, with a pulse sub-channel named
// like the speed set's channel. A speed set that cannot be merged (sampled
// faster than fs / 3, negative speeds, unreadable, or beyond the 8 bits of a
// pulse byte) becomes an output of its own: kind 1, renamed to a numbered
// ".DAT" name that is appended to arsOutputs. Reports nothing.
void MergeSpeedData(CStringArray& arsSpeedSets, CStringArray& arsOutputs);

// Gives every 32/64-bit float channel the calibration level (dB, rounded up)
// of its peak value relative to √2 × its unit's reference value, with a delta
// headroom of 0. Channels without any non-zero value keep their level.
void CalibrateFloatChannels(CDataset& dataset);

// The pulse-factor rule of the merge, exposed for its tests: pulses per speed
// unit and second for a speed set of the given kind and maximum, where
// dLimit is the highest pulse rate allowed (fs / 10, or fs / 3 for fast speed
// data); may lower dLimit to fs / 5 for slow speed data in revolutions per
// minute.
double PulsesPerSpeedUnit(int iKind, double dMaximum, double dFs, double& dLimit);

}  // namespace PulseServices
