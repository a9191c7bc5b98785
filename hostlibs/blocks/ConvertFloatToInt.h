#pragma once
// Physical values to integer codes with a mapping that keeps their physical
// meaning (code * factor + offset), and the pulse bits carried alongside.

#include "hostlibs/blocks/NetNode.h"

#include <cstdint>
#include <memory>

class CChNbrList;

// How pulse bits are carried through a conversion.
class CPulseRequirement {
public:
    // iProceeding: 0 pulses dropped; 1 bit levels as they come; 5 edges kept
    //   with the limits below.
    // dMinSpacing: seconds; a rising edge closer than this to the previous
    //   accepted one is bounce and ignored (<= 0: off).
    // nMinHigh, nMinLow: a pulse stays high (low) for at least this many
    //   scans (0: as it comes).
    // dMaxHigh: seconds; a bit stuck high longer than this falls (<= 0: off).
    bool SetParameters(int iProceeding, double dMinSpacing, int nMinHigh, int nMinLow, double dMaxHigh);

    int iProceeding = 1;
    double dMinSpacing = -1.0;
    int nMinHigh = 0;
    int nMinLow = 0;
    double dMaxHigh = -1.0;
};

class CSPBConvertMultiChnFloatToInt : public CNetNode {
public:
    static CSPBConvertMultiChnFloatToInt* CreateObject();
    ~CSPBConvertMultiChnFloatToInt() override;

    // iOutputFormat: 0 16-bit, 1 24-bit codes.
    // iPulseStorage: 0 pulses dropped; 1 pulse byte carried as its own stream.
    // bRound: round to nearest (ties to even); false truncates toward zero.
    // keepFloat: stream channels passed on unconverted (empty: none).
    // bDither: triangular dither of +-1 code before quantising.
    // bOffsetBinary: unsigned codes (0 .. 2^n - 1), the offset goes into the mapping.
    // bStopOnClip: a value outside the range fails the network (else it is clipped).
    bool SetParameters(int iOutputFormat, int iPulseStorage, bool bRound, const CChNbrList& keepFloat,
                       bool bDither, bool bOffsetBinary, bool bStopOnClip);
    // Stream channels first .. first+count-1 are signals. bOwnScale: each
    // channel's own full scale (its integer range, or the calibration of a
    // float channel); else dFullScale for all. bHeadroom: full scale doubled
    // (6 dB room for the overshoot of filtered signals).
    bool SetParametersSignalChannels(int first, int count, bool bOwnScale, double dFullScale, bool bHeadroom);
    // Pulse bits first .. first+count-1 (as far as the stream has them) are
    // carried as req asks, moved down to bit 0, 1, ...; the others are dropped.
    bool SetParametersPulseChannels(int first, int count, const CPulseRequirement& req);

    // Values that had to be clipped so far.
    std::uint64_t GetClipCount() const;

protected:
    CSPBConvertMultiChnFloatToInt();
    bool OnInitialize() override;
    bool Produce(int iOutput, SStreamBlock& block) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
