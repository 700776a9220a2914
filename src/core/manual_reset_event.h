#pragma once
// A manual-reset event: stays signalled until Reset(). Used to wake the
// acquisition thread (the receive event) and to mark the user interface busy.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace kr40 {

class ManualResetEvent {
public:
    explicit ManualResetEvent(bool initiallySet = false) : set_(initiallySet) {}
    ManualResetEvent(const ManualResetEvent&) = delete;
    ManualResetEvent& operator=(const ManualResetEvent&) = delete;

    void Set()
    {
        {
            std::lock_guard lock(mutex_);
            set_ = true;
        }
        cv_.notify_all();
    }
    void Reset()
    {
        std::lock_guard lock(mutex_);
        set_ = false;
    }
    bool IsSet() const
    {
        std::lock_guard lock(mutex_);
        return set_;
    }
    // Waits until the event is set or the timeout passes; true when set.
    bool WaitFor(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex_);
        return cv_.wait_for(lock, timeout, [this] { return set_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    bool set_;
};

// Sets an event for the lifetime of a scope: a modal action marks the user
// interface busy and clears the mark on every way out.
class EventSetter {
public:
    explicit EventSetter(ManualResetEvent& e) : e_(e) { e_.Set(); }
    ~EventSetter() { e_.Reset(); }
    EventSetter(const EventSetter&) = delete;
    EventSetter& operator=(const EventSetter&) = delete;

private:
    ManualResetEvent& e_;
};

}  // namespace kr40
