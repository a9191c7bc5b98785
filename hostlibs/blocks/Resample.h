#pragma once
// Sample-rate conversion of every channel of a stream (libsoxr), with the
// pulse bits re-timed to the new rate.

#include "hostlibs/blocks/NetNode.h"

#include <memory>

class CSPBResample : public CNetNode {
public:
    static CSPBResample* CreateObject();
    ~CSPBResample() override;

    // bMinimumPhase: minimum-phase filter (less latency, group delay) instead
    //   of linear phase (no time shift; what measurement data want).
    // dRate: the output rate in scans per second.
    // nPassband: the pass band ends at (1 - 1/nPassband) of the lower Nyquist
    //   frequency (2: half, 20: 95 %, 32: 96.9 %); at least 2.
    // nPrecision: bits of precision of the filter (16, 20, 24, 28, 32; values
    //   in between round up); sets the stop-band rejection, about 6 dB a bit.
    bool SetParameters(bool bMinimumPhase, double dRate, int nPassband, int nPrecision);

protected:
    CSPBResample();
    bool OnInitialize() override;
    bool Produce(int iOutput, SStreamBlock& block) override;
    bool OnEndRun() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
