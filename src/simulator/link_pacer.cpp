#include "simulator/link_pacer.h"

#include <algorithm>

namespace kr40::sim {

namespace {
constexpr double kMaxIdleSeconds = 0.05;  // idle time that still counts towards a burst
}  // namespace

std::size_t LinkPacer::Release(Clock::time_point now, std::size_t waiting)
{
    if (!Paced()) return waiting;
    if (now > last_) credit_ += std::chrono::duration<double>(now - last_).count() * rate_;
    last_ = std::max(last_, now);
    credit_ = std::min(credit_, rate_ * kMaxIdleSeconds);
    const std::size_t n = std::min(waiting, static_cast<std::size_t>(credit_));
    credit_ -= static_cast<double>(n);
    return n;
}

LinkPacer::Clock::time_point LinkPacer::WriteDone(Clock::time_point now, std::size_t n)
{
    if (!Paced()) return now;
    const auto takes = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(n / rate_));
    busyUntil_ = std::max(busyUntil_, now) + takes;
    return busyUntil_;
}

}  // namespace kr40::sim
