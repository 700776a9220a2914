#pragma once
// The receive queue between the libftdi1 reader thread and FT_Read /
// FT_GetQueueStatus: the reader pushes whatever arrives, readers take bytes
// with a time-out, and the notification event is signalled on every arrival.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

#include "core/manual_reset_event.h"

namespace kr40 {

class RxQueue {
public:
    void Push(const std::uint8_t* data, std::size_t count)
    {
        if (count == 0) return;
        ManualResetEvent* event;
        {
            std::lock_guard lock(mutex_);
            bytes_.insert(bytes_.end(), data, data + count);
            event = event_;
        }
        arrived_.notify_all();
        if (event != nullptr) event->Set();
    }

    std::size_t Size() const
    {
        std::lock_guard lock(mutex_);
        return bytes_.size();
    }

    // Waits until `count` bytes are queued, the time-out passes or the queue
    // fails, then takes up to `count` bytes. Returns the number taken.
    std::size_t Read(std::uint8_t* out, std::size_t count, std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        arrived_.wait_for(lock, timeout, [&] { return bytes_.size() >= count || failed_; });
        const std::size_t n = std::min(count, bytes_.size());
        std::copy_n(bytes_.begin(), n, out);
        bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(n));
        return n;
    }

    void Clear()
    {
        std::lock_guard lock(mutex_);
        bytes_.clear();
    }

    // The event to signal when bytes arrive; nullptr for none.
    void SetNotification(ManualResetEvent* event)
    {
        std::lock_guard lock(mutex_);
        event_ = event;
    }

    // The reader has stopped for good (device gone): waiting reads return.
    void Fail()
    {
        {
            std::lock_guard lock(mutex_);
            failed_ = true;
        }
        arrived_.notify_all();
    }

    bool Failed() const
    {
        std::lock_guard lock(mutex_);
        return failed_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable arrived_;
    std::deque<std::uint8_t> bytes_;
    ManualResetEvent* event_ = nullptr;
    bool failed_ = false;
};

}  // namespace kr40
