#pragma once
// Sources that read a TRX data set block by block.

#include "hostlibs/blocks/NetNode.h"

#include <cstdint>
#include <memory>
#include <vector>

class CChNbrList;
class CDataset;
class CAccess;

// Time data: the chosen channels as physical values and, with pulse
// evaluation 2, one pulse byte per scan whose bit k carries the k-th pulse
// sub-channel set with SetPulseSubChannel.
class CSPBTrxSourceTimeData : public CNetNode {
public:
    static CSPBTrxSourceTimeData* CreateObject();
    ~CSPBTrxSourceTimeData() override;

    bool Open(const char* path);
    // Channels by number; without a call every channel that is not a pulse
    // channel is delivered.
    bool SetChannels(const CChNbrList& channels);
    // Adds a pulse sub-channel (at most 8); takes effect with evaluation 2.
    bool SetPulseSubChannel(const CSubChannel& sub);
    // 1: no pulses in the stream; 2: pulse bits of the set sub-channels.
    bool SetPulseEvaluation(int mode);
    // 0: a pulse channel that cannot be read fails the network;
    // 1: its pulses read as 0 and the signal goes on.
    bool SetPulseDataErrorHandling(int mode);
    // Scans in total and scans delivered so far.
    void GetProgress(std::uint32_t& total, std::uint32_t& done) const;
    void Close();

protected:
    CSPBTrxSourceTimeData();
    bool OnInitialize() override;
    bool Produce(int iOutput, SStreamBlock& block) override;
    bool OnEndRun() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// Pulses only: the stream carries no signal channel, just the pulse byte of
// the set sub-channel(s).
class CSPBTrxSource : public CNetNode {
public:
    static CSPBTrxSource* CreateObject();
    ~CSPBTrxSource() override;

    bool Open(const char* path);
    bool SetPulseSubChannel(const CSubChannel& sub);
    // true: a pulse edge is dated midway between the scan that first shows it
    // and the scan before, instead of at the first scan.
    void SetPulseChannelDeltaTimeCorrection(bool on);
    void GetProgress(std::uint32_t& total, std::uint32_t& done) const;
    void Close();

protected:
    CSPBTrxSource();
    bool OnInitialize() override;
    bool Produce(int iOutput, SStreamBlock& block) override;
    bool OnEndRun() override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
