#pragma once
// The network of processing blocks: nodes with numbered inputs and outputs,
// connected output i -> input j, driven through the drain at the end of the
// chain. Data are pulled block by block from the drain's side, so no node ever
// holds more than one block of a signal.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CChannel;
class CSubChannel;
class CNetNode;
class CInput;

// One channel as it travels through a network.
struct SStreamChannel {
    std::string sName;
    std::string sAbbreviation;
    std::string sTitle;
    std::string sQuantity;
    std::string sUnit;
    // What the stream values are: 10 physical values; 3 or 5 integer codes
    // (16 or 24 bits) whose physical value is code * dFactor + dOffset.
    int iStreamType = 10;
    double dFactor = 1.0;
    double dOffset = 0.0;
    // Where the channel came from: its implementation type, mapping and
    // calibration decide the "1:1" full scale of a drain.
    int iOriginType = 10;
    double dOriginFactor = 1.0;
    double dOriginOffset = 0.0;
    float fCalibration = 0.0f;
    int iSourceIndex = -1;
    std::shared_ptr<const CChannel> pOrigin; // null for synthetic streams
};

// One pulse sub-channel: bit k of the stream's pulse byte is pulses[k].
struct SStreamPulse {
    std::string sName;
    std::string sAbbreviation;
    std::string sQuantity;
    std::string sUnit;
    int iID = 0;
    int iType = 1;
    double dPulseFactor = 1.0; // speed = pulse factor / pulse interval
    double dDeltaTime = 0.01;  // sample interval of a speed curve
    int iSmooth = 0;           // moving average half-width of a speed curve
    std::shared_ptr<const CSubChannel> pOrigin;
};

struct SStreamFormat {
    double dRate = 0.0;           // scans per second
    double dStart = 0.0;          // abscissa value of scan 0
    std::uint64_t nScans = 0;     // scans the stream will deliver in total
    std::vector<SStreamChannel> channels;
    std::vector<SStreamPulse> pulses; // at most 8
    // Pulse edges are placed this many samples after the scan that first
    // shows them (-0.5: midway between that scan and the one before).
    double dEdgeOffset = 0.0;
    int iKind = 1;
    std::string sTitle;
    std::string sComment;

    std::size_t NbrOfChannels() const { return channels.size(); }
    bool HasPulses() const { return !pulses.empty(); }
};

// One block: nScans scans, values interleaved by channel, one pulse byte per
// scan when the format has pulses. bEnd marks the last block (it may be empty).
struct SStreamBlock {
    std::size_t nScans = 0;
    std::vector<float> values;
    std::vector<std::uint8_t> pulses;
    // The stored codes of channels whose origin is an integer type, laid out
    // like `values`: a float cannot hold a 24 or 32-bit code exactly, and a
    // 1:1 conversion must not lose it. Filled only when the consumer asked
    // for them (COutput::WantCodes) and the producer reads stored codes;
    // empty otherwise. Slots of other channels hold 0. A consumer that wants
    // the codes alone may get a block whose codes are complete (every
    // channel has one) and whose values are left as they were.
    std::vector<std::int32_t> codes;
    bool bEnd = false;

    void Reset(std::size_t scans, std::size_t channels, bool withPulses);
};

class COutput {
public:
    COutput(CNetNode* owner, int index) : m_pOwner(owner), m_iIndex(index) {}
    // One output feeds one input; connecting again moves the link.
    bool ConnectInput(CInput* input);
    void Disconnect();
    CInput* GetConnectedInput() const { return m_pInput; }
    CNetNode* GetNode() const { return m_pOwner; }
    int GetIndex() const { return m_iIndex; }

    const SStreamFormat& GetFormat() const { return m_format; }
    SStreamFormat& Format() { return m_format; }
    // Asks the owning node for the next block of this output.
    bool Pull(SStreamBlock& block);
    // The consumer would like exact integer codes beside the values (see
    // SStreamBlock::codes). A producer that cannot give them ignores it.
    // Without the values, a producer whose channels all have codes may skip
    // making the values (a 1:1 copy of integers needs none of them).
    void WantCodes(bool bOn, bool bValuesToo = true)
    {
        m_bWantCodes = bOn;
        m_bWantValues = !bOn || bValuesToo;
    }
    bool CodesWanted() const { return m_bWantCodes; }
    bool ValuesWanted() const { return m_bWantValues; }

private:
    friend class CInput;
    CNetNode* m_pOwner;
    int m_iIndex;
    CInput* m_pInput = nullptr;
    SStreamFormat m_format;
    bool m_bWantCodes = false;
    bool m_bWantValues = true;
};

class CInput {
public:
    CInput(CNetNode* owner, int index) : m_pOwner(owner), m_iIndex(index) {}
    bool IsConnected() const { return m_pOutput != nullptr; }
    COutput* GetConnectedOutput() const { return m_pOutput; }
    CNetNode* GetNode() const { return m_pOwner; }
    int GetIndex() const { return m_iIndex; }
    void Disconnect();
    const SStreamFormat& GetFormat() const;
    bool Pull(SStreamBlock& block);

private:
    friend class COutput;
    CNetNode* m_pOwner;
    int m_iIndex;
    COutput* m_pOutput = nullptr;
};

class CNetNode {
public:
    virtual ~CNetNode();
    CNetNode(const CNetNode&) = delete;
    CNetNode& operator=(const CNetNode&) = delete;

    // The driving slots, in this order. A network is driven through its drain:
    // initialise (initialises everything upstream first), step until
    // finished, end the run (always, also after a failure), destroy.
    virtual bool Initialize();
    virtual bool DoOneStepOfProcessing();
    virtual bool IsFinished();
    virtual bool EndRun();
    virtual void Destroy(bool bDelete);

    CInput* Input(int i);
    COutput* Output(int i);
    int GetNbrOfInputs() const { return int(m_inputs.size()); }
    int GetNbrOfOutputs() const { return int(m_outputs.size()); }
    bool IsInitialized() const { return m_bInitialized; }
    // Why the last operation of this node failed ("" when nothing failed).
    const std::string& GetLastError() const { return m_sError; }

    // Upstream side of the pull protocol, called through COutput::Pull.
    bool ProduceBlock(int iOutput, SStreamBlock& block);

protected:
    CNetNode(int nInputs, int nOutputs);
    // Sets the output formats from the input formats once the inputs are
    // initialised; false refuses the network.
    virtual bool OnInitialize() = 0;
    virtual bool Produce(int iOutput, SStreamBlock& block);
    virtual bool OnEndRun() { return true; }
    bool Fail(std::string text);

    std::vector<std::unique_ptr<CInput>> m_inputs;
    std::vector<std::unique_ptr<COutput>> m_outputs;
    bool m_bInitialized = false;
    bool m_bInitFailed = false;
    bool m_bEnded = false;
    std::string m_sError;
};

// Common behaviour of drains: one input, stepping pulls one block and hands
// it to Consume.
class CDrainNode : public CNetNode {
public:
    bool DoOneStepOfProcessing() override;
    bool IsFinished() override;
    bool EndRun() override;
    bool HasFailed() const { return m_bFailed; }

protected:
    CDrainNode() : CNetNode(1, 0) {}
    virtual bool Consume(const SStreamBlock& block) = 0;
    // Called once by EndRun; bComplete tells whether all data passed.
    virtual bool Finish(bool bComplete) = 0;
    bool m_bFinished = false;
    bool m_bFailed = false;
    SStreamBlock m_block;
};
