// How far one conversion has got, for the run window's progress bar: the
// share of the source's length converted and an estimate of the time left.
// Time is read from a monotonic clock and paused time does not count, so a
// pause neither inflates the estimate nor lets it run down. The first
// seconds of a run (files opening, encoders starting) are slow and would
// give wild estimates; none is given before a short warm-up, and later
// estimates are smoothed so the figure does not jump from poll to poll.
#pragma once

#include <cstdint>
#include <functional>

class RunProgress {
public:
    // Milliseconds on a monotonic clock; the default is std::chrono::steady_clock.
    using Clock = std::function<std::int64_t()>;

    explicit RunProgress(Clock clock = {});

    void SetClock(Clock clock);

    // A conversion (or the next batch item) starts: nothing converted yet.
    void Begin();
    void Pause();
    void Resume();
    // One poll. convertedMs is the engine's converted time, in which a
    // two-pass run counts both passes, each as half the source; sourceMs is
    // the source's length, 0 or less when the engine cannot tell.
    void Update(std::int64_t convertedMs, std::int64_t sourceMs);
    // The run ended: the whole source is converted, no time is left.
    void Finish();
    // The run stopped or failed: the share reached stays, no time is left.
    void Halt();

    // 0 to 100; 100 only after Finish. -1 while the source's length is unknown.
    int Percent() const { return m_nPercent; }
    // Whole seconds left, rounded up; -1 while there is no estimate.
    std::int64_t SecondsLeft() const;
    // Running, with a known length, but still warming up.
    bool Estimating() const;
    bool Running() const { return m_bRunning; }
    std::int64_t ActiveMs() const;

private:
    std::int64_t Now() const;

    Clock m_clock;
    bool m_bRunning = false;
    bool m_bPaused = false;
    std::int64_t m_nActiveBefore = 0; // active time up to the latest resume
    std::int64_t m_nResumedAt = 0;    // clock at the latest begin or resume
    std::int64_t m_nLastActive = 0;   // active time at the latest estimate
    int m_nPercent = 0;
    double m_fFraction = 0;
    double m_fLeftMs = -1; // smoothed estimate, -1 none
};
