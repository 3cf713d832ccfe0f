// The session's running: prepare, start, pause, stop and the figures the run
// window polls.
#include "CxWMEncoder.h"

bool CxWMEncoder::Prepare(bool bPrepare)
{
    if (!m_pEncoder)
        return false;
    m_hr = m_pEncoder->SetAutoStop(mce::kTrue);
    if (mce::Failed(m_hr))
        return false;
    m_hr = m_pEncoder->PrepareToEncode(bPrepare ? mce::kTrue : mce::kFalse);
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::Start()
{
    if (!m_pEncoder)
        return false;
    m_hr = m_pEncoder->Start();
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::Pause()
{
    if (!m_pEncoder)
        return false;
    m_hr = m_pEncoder->Pause();
    return mce::Succeeded(m_hr);
}

bool CxWMEncoder::Stop()
{
    if (!m_pEncoder)
        return false;
    m_hr = m_pEncoder->Stop();
    return mce::Succeeded(m_hr);
}

std::int64_t CxWMEncoder::ReadArchiveStat(bool bDuration)
{
    if (!m_pEncoder || !m_pStatistics)
        return -1;
    m_hr = m_pStatistics->GetFileArchiveStats(&m_pArchiveDisp);
    if (mce::Failed(m_hr))
        return 0;
    m_hr = mce::QueryInterface(m_pArchiveDisp, &m_pArchiveStats);
    if (mce::Failed(m_hr))
        return 0;
    std::int64_t value = 0;
    m_hr = bDuration ? m_pArchiveStats->GetFileDuration(&value) : m_pArchiveStats->GetFileSize(&value);
    if (mce::Failed(m_hr))
        return 0;
    m_pArchiveDisp.reset();
    m_pArchiveStats.reset();
    return value;
}

namespace {
std::int32_t Low32(std::int64_t value)
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(value)));
}
} // namespace

std::int32_t CxWMEncoder::GetDuration()
{
    return Low32(ReadArchiveStat(true));
}
std::int32_t CxWMEncoder::GetFileSize()
{
    return Low32(ReadArchiveStat(false));
}
std::int64_t CxWMEncoder::GetFileBytes()
{
    return ReadArchiveStat(false);
}

std::int32_t CxWMEncoder::GetSourceDuration()
{
    if (!m_pEncoder || !m_pStatistics)
        return -1;
    mce::ObjectRef disp;
    std::shared_ptr<mce::IFileArchiveStats> stats;
    std::int64_t value = 0;
    if (mce::Failed(m_pStatistics->GetFileArchiveStats(&disp)) || mce::Failed(mce::QueryInterface(disp, &stats)) ||
        mce::Failed(stats->GetSourceDuration(&value)) || value < 0)
        return 0;
    return value > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(value);
}

bool CxWMEncoder::GetSizeFit(mce::SizeFit* pFit)
{
    mce::SizeFit fit;
    mce::ObjectRef disp;
    std::shared_ptr<mce::IFileArchiveStats> stats;
    const bool bRead = m_pEncoder && m_pStatistics && mce::Succeeded(m_pStatistics->GetFileArchiveStats(&disp)) &&
                       mce::Succeeded(mce::QueryInterface(disp, &stats)) && mce::Succeeded(stats->GetSizeFit(&fit));
    if (pFit)
        *pFit = bRead ? fit : mce::SizeFit{};
    return bRead;
}

mce::RunState CxWMEncoder::GetRunState(std::int32_t* pnFailure)
{
    if (pnFailure)
        *pnFailure = 0;
    if (!m_pEncoder)
        return mce::RunState::Idle;
    mce::Result failure = mce::rc::Ok;
    const mce::RunState state = m_pEncoder->GetRunState(&failure);
    if (state == mce::RunState::Stopped && mce::Failed(failure)) {
        m_hr = failure;
        if (pnFailure)
            *pnFailure = failure;
    }
    return state;
}
