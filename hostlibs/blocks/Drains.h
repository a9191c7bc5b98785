#pragma once
// Drains: the end of a network, where the data go to a file.

#include "hostlibs/blocks/NetNode.h"

#include <memory>

// Writes the stream as a new TRX data set: the channels in their stream type
// (floats as 32-bit floats, codes as 16 or 24-bit integers with their
// mapping), the pulse byte as a pulse channel with its sub-channels.
class CSPBTrxDrain : public CDrainNode {
public:
    static CSPBTrxDrain* CreateObject(const char* path);
    ~CSPBTrxDrain() override;

protected:
    explicit CSPBTrxDrain(const char* path);
    bool OnInitialize() override;
    bool Consume(const SStreamBlock& block) override;
    bool Finish(bool bComplete) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// Writes a RIFF/WAVE file of 16 or 24-bit PCM: "RIFF" size at byte 4, an
// 18-byte "fmt " chunk, the "data" size at byte 42, the samples from byte 46.
class CSPMWaveDrain : public CDrainNode {
public:
    enum EError { eOK = 0, eOpen = 1, eWrite = 2, eClose = 3, eInit = 4, eRun = 5 };

    static CSPMWaveDrain* CreateObject(const char* path);
    ~CSPMWaveDrain() override;

    // bDither: triangular dither of +-1 LSB before quantising.
    // bTruncate: truncate toward zero instead of rounding to nearest.
    // b1to1: every channel's own full scale (its integer range, or the
    //   calibration of a float channel); else dFullScale (the physical value
    //   that maps to full scale, > 0) for all.
    // nSubChannels: pulse bits expected; bit k of the pulse byte goes into the
    //   least significant bit of channel k's 16-bit word (bit 0 of 16-bit
    //   samples, bit 8 of 24-bit ones) for k below the channel count.
    // b24Bit: 24-bit samples, else 16-bit.
    bool SetParameters(bool bDither, bool bTruncate, bool b1to1, double dFullScale, int nSubChannels, bool b24Bit);
    // The reference pulse (pulse bit iSubChannel of nSubChannels) is also
    // written into every channel that has no pulse bit of its own. dLevel is
    // the calibration level in dB the export scales to (kept for GetBNRLevel).
    bool SetParametersBNRSubChannel(int iSubChannel, int nSubChannels, double dLevel);
    double GetBNRLevel() const;
    // 0 fine, 1 file could not be created, 2 write failed, 3 closing failed,
    // 4 initialisation failed, 5 the network upstream failed during the run.
    int GetErrorCode() const;
    // Samples that had to be clipped.
    std::uint64_t GetClipCount() const;

protected:
    explicit CSPMWaveDrain(const char* path);
    bool OnInitialize() override;
    bool Consume(const SStreamBlock& block) override;
    bool Finish(bool bComplete) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// Writes the times of the rising pulse edges of pulse bit 0 as a TRX data set,
// one scan per pulse: the time (seconds on the source's abscissa) as a stored
// 64-bit float abscissa value, and the interval to the pulse before as a
// 32-bit float channel.
class CSPBDrainForImpulseFile : public CDrainNode {
public:
    static CSPBDrainForImpulseFile* CreateObject(const char* path);
    ~CSPBDrainForImpulseFile() override;
    std::uint64_t GetNbrOfPulses() const;

protected:
    explicit CSPBDrainForImpulseFile(const char* path);
    bool OnInitialize() override;
    bool Consume(const SStreamBlock& block) override;
    bool Finish(bool bComplete) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};

// Writes the speed curve of pulse bit 0 as a TRX data set (see SpeedEvaluator).
class CSPBDrainForSpeedFile : public CDrainNode {
public:
    static CSPBDrainForSpeedFile* CreateObject(const char* path);
    ~CSPBDrainForSpeedFile() override;

protected:
    explicit CSPBDrainForSpeedFile(const char* path);
    bool OnInitialize() override;
    bool Consume(const SStreamBlock& block) override;
    bool Finish(bool bComplete) override;

private:
    struct Impl;
    std::unique_ptr<Impl> m;
};
