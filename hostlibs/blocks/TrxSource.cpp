#include "hostlibs/blocks/TrxReader.h"
#include "hostlibs/blocks/TrxSource.h"

struct CSPBTrxSourceTimeData::Impl {
    CTrxReader reader;
    int iEvaluation = 1;
    int iErrorHandling = 0;
};

CSPBTrxSourceTimeData* CSPBTrxSourceTimeData::CreateObject()
{
    return new CSPBTrxSourceTimeData();
}

CSPBTrxSourceTimeData::CSPBTrxSourceTimeData() : CNetNode(0, 1), m(std::make_unique<Impl>()) {}
CSPBTrxSourceTimeData::~CSPBTrxSourceTimeData() = default;

bool CSPBTrxSourceTimeData::Open(const char* path)
{
    std::string e;
    if (m_bInitialized || !m->reader.Open(path, e))
        return Fail(e.empty() ? "source already running" : e);
    return true;
}

bool CSPBTrxSourceTimeData::SetChannels(const CChNbrList& channels)
{
    std::string e;
    if (m_bInitialized || channels.IsEmpty() || !m->reader.SetChannels(channels, e))
        return Fail(e.empty() ? "no channels" : e);
    return true;
}

bool CSPBTrxSourceTimeData::SetPulseSubChannel(const CSubChannel& sub)
{
    std::string e;
    if (m_bInitialized || !m->reader.AddPulseSubChannel(sub, e))
        return Fail(e);
    return true;
}

bool CSPBTrxSourceTimeData::SetPulseEvaluation(int mode)
{
    if (m_bInitialized || (mode != 1 && mode != 2))
        return false;
    m->iEvaluation = mode;
    return true;
}

bool CSPBTrxSourceTimeData::SetPulseDataErrorHandling(int mode)
{
    if (m_bInitialized || (mode != 0 && mode != 1))
        return false;
    m->iErrorHandling = mode;
    return true;
}

void CSPBTrxSourceTimeData::GetProgress(std::uint32_t& total, std::uint32_t& done) const
{
    m->reader.GetProgress(total, done);
}

void CSPBTrxSourceTimeData::Close()
{
    m->reader.Close();
}

bool CSPBTrxSourceTimeData::OnInitialize()
{
    std::string e;
    if (!m->reader.IsOpen())
        return Fail("TRX source: no data set open");
    if (!m->reader.Prepare(true, m->iEvaluation == 2, m->iErrorHandling == 1, Output(0)->Format(), e))
        return Fail("TRX source: " + e);
    return true;
}

bool CSPBTrxSourceTimeData::Produce(int, SStreamBlock& block)
{
    std::string e;
    if (!m->reader.IsOpen())
        return Fail("TRX source: closed");
    m->reader.SetCodesWanted(Output(0)->CodesWanted(), Output(0)->ValuesWanted());
    if (!m->reader.Read(block, e))
        return Fail("TRX source: " + e);
    return true;
}

bool CSPBTrxSourceTimeData::OnEndRun()
{
    m->reader.Close();
    return true;
}

struct CSPBTrxSource::Impl {
    CTrxReader reader;
    bool bCorrection = false;
};

CSPBTrxSource* CSPBTrxSource::CreateObject()
{
    return new CSPBTrxSource();
}

CSPBTrxSource::CSPBTrxSource() : CNetNode(0, 1), m(std::make_unique<Impl>()) {}
CSPBTrxSource::~CSPBTrxSource() = default;

bool CSPBTrxSource::Open(const char* path)
{
    std::string e;
    if (m_bInitialized || !m->reader.Open(path, e))
        return Fail(e.empty() ? "source already running" : e);
    return true;
}

bool CSPBTrxSource::SetPulseSubChannel(const CSubChannel& sub)
{
    std::string e;
    if (m_bInitialized || !m->reader.AddPulseSubChannel(sub, e))
        return Fail(e);
    return true;
}

void CSPBTrxSource::SetPulseChannelDeltaTimeCorrection(bool on)
{
    m->bCorrection = on;
}

void CSPBTrxSource::GetProgress(std::uint32_t& total, std::uint32_t& done) const
{
    m->reader.GetProgress(total, done);
}

void CSPBTrxSource::Close()
{
    m->reader.Close();
}

bool CSPBTrxSource::OnInitialize()
{
    std::string e;
    if (!m->reader.IsOpen())
        return Fail("TRX pulse source: no data set open");
    SStreamFormat& f = Output(0)->Format();
    if (!m->reader.Prepare(false, true, false, f, e))
        return Fail("TRX pulse source: " + e);
    f.dEdgeOffset = m->bCorrection ? -0.5 : 0.0;
    return true;
}

bool CSPBTrxSource::Produce(int, SStreamBlock& block)
{
    std::string e;
    if (!m->reader.IsOpen())
        return Fail("TRX pulse source: closed");
    if (!m->reader.Read(block, e))
        return Fail("TRX pulse source: " + e);
    return true;
}

bool CSPBTrxSource::OnEndRun()
{
    m->reader.Close();
    return true;
}
