#include "hostlibs/blocks/NetNode.h"

#include <utility>

void SStreamBlock::Reset(std::size_t scans, std::size_t channels, bool withPulses)
{
    nScans = scans;
    values.resize(scans * channels);
    if (withPulses)
        pulses.assign(scans, 0);
    else
        pulses.clear();
    codes.clear();
    bEnd = false;
}

bool COutput::ConnectInput(CInput* input)
{
    if (!input)
        return false;
    if (input->m_pOutput)
        input->m_pOutput->m_pInput = nullptr;
    if (m_pInput)
        m_pInput->m_pOutput = nullptr;
    m_pInput = input;
    input->m_pOutput = this;
    return true;
}

void COutput::Disconnect()
{
    if (m_pInput)
        m_pInput->m_pOutput = nullptr;
    m_pInput = nullptr;
}

bool COutput::Pull(SStreamBlock& block)
{
    return m_pOwner->ProduceBlock(m_iIndex, block);
}

void CInput::Disconnect()
{
    if (m_pOutput)
        m_pOutput->m_pInput = nullptr;
    m_pOutput = nullptr;
}

const SStreamFormat& CInput::GetFormat() const
{
    static const SStreamFormat none;
    return m_pOutput ? m_pOutput->GetFormat() : none;
}

bool CInput::Pull(SStreamBlock& block)
{
    return m_pOutput && m_pOutput->Pull(block);
}

CNetNode::CNetNode(int nInputs, int nOutputs)
{
    for (int i = 0; i < nInputs; ++i)
        m_inputs.push_back(std::make_unique<CInput>(this, i));
    for (int i = 0; i < nOutputs; ++i)
        m_outputs.push_back(std::make_unique<COutput>(this, i));
}

CNetNode::~CNetNode()
{
    // Peers may be destroyed in any order: leave no pointer to us behind.
    for (auto& in : m_inputs)
        in->Disconnect();
    for (auto& out : m_outputs)
        out->Disconnect();
}

CInput* CNetNode::Input(int i)
{
    return i >= 0 && i < int(m_inputs.size()) ? m_inputs[std::size_t(i)].get() : nullptr;
}

COutput* CNetNode::Output(int i)
{
    return i >= 0 && i < int(m_outputs.size()) ? m_outputs[std::size_t(i)].get() : nullptr;
}

bool CNetNode::Fail(std::string text)
{
    m_sError = std::move(text);
    return false;
}

bool CNetNode::Initialize()
{
    if (m_bInitialized)
        return true;
    if (m_bInitFailed)
        return false;
    m_sError.clear();
    for (auto& in : m_inputs) {
        if (!in->IsConnected()) {
            m_bInitFailed = true;
            return Fail("input " + std::to_string(in->GetIndex()) + " is not connected");
        }
        CNetNode* up = in->GetConnectedOutput()->GetNode();
        if (!up->Initialize()) {
            m_bInitFailed = true;
            return Fail("upstream block failed to initialise: " + up->GetLastError());
        }
    }
    if (!OnInitialize()) {
        m_bInitFailed = true;
        if (m_sError.empty())
            m_sError = "block refused its parameters";
        return false;
    }
    m_bInitialized = true;
    return true;
}

bool CNetNode::DoOneStepOfProcessing()
{
    return Fail("only a drain can be stepped");
}

bool CNetNode::IsFinished()
{
    return true;
}

bool CNetNode::EndRun()
{
    if (m_bEnded)
        return true;
    m_bEnded = true;
    bool ok = OnEndRun();
    for (auto& in : m_inputs)
        if (in->IsConnected())
            ok = in->GetConnectedOutput()->GetNode()->EndRun() && ok;
    return ok;
}

void CNetNode::Destroy(bool bDelete)
{
    for (auto& in : m_inputs)
        in->Disconnect();
    for (auto& out : m_outputs)
        out->Disconnect();
    if (bDelete)
        delete this;
}

bool CNetNode::ProduceBlock(int iOutput, SStreamBlock& block)
{
    if (!m_bInitialized)
        return Fail("block pulled before it was initialised");
    if (iOutput < 0 || iOutput >= int(m_outputs.size()))
        return Fail("no output " + std::to_string(iOutput));
    return Produce(iOutput, block);
}

bool CNetNode::Produce(int, SStreamBlock&)
{
    return Fail("block has no data to give");
}

bool CDrainNode::DoOneStepOfProcessing()
{
    if (m_bFinished)
        return true;
    if (!m_bInitialized) {
        m_bFinished = m_bFailed = true;
        return Fail("drain stepped before it was initialised");
    }
    CInput* in = Input(0);
    if (!in->Pull(m_block)) {
        m_bFinished = m_bFailed = true;
        CNetNode* up = in->IsConnected() ? in->GetConnectedOutput()->GetNode() : nullptr;
        return Fail(up ? "upstream block failed: " + up->GetLastError() : "input not connected");
    }
    if (!Consume(m_block)) {
        m_bFinished = m_bFailed = true;
        return false;
    }
    if (m_block.bEnd)
        m_bFinished = true;
    return true;
}

bool CDrainNode::IsFinished()
{
    // A failed drain counts as finished so that a driver's loop ends.
    return m_bFinished || m_bInitFailed;
}

bool CDrainNode::EndRun()
{
    if (m_bEnded)
        return true;
    if (!m_bInitialized)
        return CNetNode::EndRun();
    // A run that stopped early keeps nothing: Finish(false) removes the output.
    bool complete = m_bFinished && !m_bFailed;
    bool ok = Finish(complete);
    return CNetNode::EndRun() && ok && complete;
}
