#include "RunProgress.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace {

// No estimate before this much running time: until then the rate says more
// about opening files than about converting them.
constexpr std::int64_t kWarmUpMs = 2000;
// Weight of a poll's fresh estimate against the running one.
constexpr double kSmoothing = 0.25;

std::int64_t SteadyMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

RunProgress::RunProgress(Clock clock)
{
    SetClock(std::move(clock));
}

void RunProgress::SetClock(Clock clock)
{
    m_clock = clock ? std::move(clock) : Clock(&SteadyMs);
}

std::int64_t RunProgress::Now() const
{
    return m_clock();
}

std::int64_t RunProgress::ActiveMs() const
{
    if (!m_bRunning || m_bPaused)
        return m_nActiveBefore;
    return m_nActiveBefore + std::max<std::int64_t>(0, Now() - m_nResumedAt);
}

void RunProgress::Begin()
{
    m_bRunning = true;
    m_bPaused = false;
    m_nActiveBefore = 0;
    m_nResumedAt = Now();
    m_nLastActive = 0;
    m_nPercent = 0;
    m_fFraction = 0;
    m_fLeftMs = -1;
}

void RunProgress::Pause()
{
    if (!m_bRunning || m_bPaused)
        return;
    m_nActiveBefore = ActiveMs();
    m_bPaused = true;
}

void RunProgress::Resume()
{
    if (!m_bRunning || !m_bPaused)
        return;
    m_bPaused = false;
    m_nResumedAt = Now();
}

void RunProgress::Update(std::int64_t convertedMs, std::int64_t sourceMs)
{
    if (!m_bRunning)
        return;
    if (sourceMs <= 0) {
        m_nPercent = -1;
        m_fLeftMs = -1;
        return;
    }
    m_fFraction = std::clamp(static_cast<double>(convertedMs) / static_cast<double>(sourceMs), 0.0, 1.0);
    // Full only when the run has really ended: the engine's last packets and
    // the file's index are still to come.
    m_nPercent = std::min(99, static_cast<int>(m_fFraction * 100));

    const std::int64_t active = ActiveMs();
    if (m_fFraction <= 0 || active < kWarmUpMs) {
        m_fLeftMs = -1;
        m_nLastActive = active;
        return;
    }
    const double fresh = static_cast<double>(active) * (1 - m_fFraction) / m_fFraction;
    if (m_fLeftMs < 0) {
        m_fLeftMs = fresh;
    } else {
        // The running estimate first counts down by the time that passed.
        const double carried = std::max(0.0, m_fLeftMs - static_cast<double>(active - m_nLastActive));
        m_fLeftMs = carried + kSmoothing * (fresh - carried);
    }
    m_nLastActive = active;
}

void RunProgress::Finish()
{
    m_nActiveBefore = ActiveMs();
    m_bRunning = false;
    m_bPaused = false;
    m_nPercent = 100;
    m_fFraction = 1;
    m_fLeftMs = -1;
}

void RunProgress::Halt()
{
    m_nActiveBefore = ActiveMs();
    m_bRunning = false;
    m_bPaused = false;
    m_fLeftMs = -1;
}

std::int64_t RunProgress::SecondsLeft() const
{
    if (!m_bRunning || m_fLeftMs < 0)
        return -1;
    return static_cast<std::int64_t>(std::ceil(m_fLeftMs / 1000.0));
}

bool RunProgress::Estimating() const
{
    return m_bRunning && m_nPercent >= 0 && m_fLeftMs < 0;
}
