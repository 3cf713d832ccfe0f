#include "CapForecast.h"

namespace mce::ff {

namespace {
// Pictures further apart than this are on either side of a clock restart,
// after which the scale stage starts a new slot: they never share one.
constexpr std::int64_t kNearUs = 1000000;
} // namespace

bool CapForecast::Dropped(std::int64_t us) const
{
    if (m_rate.num <= 0 || m_rate.den <= 0)
        return false;
    const std::int64_t slot = OutputSlot(us, m_rate, m_shift);
    for (std::size_t i = 0; i < m_count; ++i) {
        const std::int64_t other = m_recent[i];
        if (other < us && us - other <= kNearUs && OutputSlot(other, m_rate, m_shift) == slot)
            return true;
    }
    return false;
}

void CapForecast::Sent(std::int64_t us)
{
    m_recent[m_next] = us;
    m_next = (m_next + 1) % kRecent;
    if (m_count < kRecent)
        ++m_count;
}

} // namespace mce::ff
