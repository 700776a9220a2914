#pragma once
// The timing of one direction of the simulated USB link at a set byte rate.
// The caller passes the time, so the arithmetic runs without a clock in tests.
//
// Towards the host (Release): bytes cross as the rate allows; time the link
// stood idle saves up at most 50 ms of it, so a pause gives no long burst.
// From the host (WriteDone): a write of n bytes takes n / rate seconds and
// queues behind the writes before it; the caller blocks until it is done.

#include <chrono>
#include <cstddef>

namespace kr40::sim {

// The instrument's 2 Mbaud link: 10 bits a byte.
inline constexpr double LinkBytesPerSecond = 200000;

class LinkPacer {
public:
    using Clock = std::chrono::steady_clock;

    // bytesPerSecond 0: unthrottled.
    LinkPacer(double bytesPerSecond, Clock::time_point start) : rate_(bytesPerSecond), last_(start), busyUntil_(start)
    {
    }

    bool Paced() const { return rate_ > 0; }

    // How many of `waiting` bytes have crossed towards the host by `now`.
    std::size_t Release(Clock::time_point now, std::size_t waiting);
    // When a write of `n` bytes issued at `now` has crossed to the instrument.
    Clock::time_point WriteDone(Clock::time_point now, std::size_t n);

private:
    double rate_;
    Clock::time_point last_;       // Release: time of the last call
    double credit_ = 0;            // Release: bytes the link could have carried since
    Clock::time_point busyUntil_;  // WriteDone: end of the last write
};

}  // namespace kr40::sim
