#pragma once
// A value shared between threads and always read or written whole, under a
// lock: readers take a copy, writers change it in one step.

#include <mutex>

namespace kr40 {

template <class T>
class Guarded {
public:
    T Get() const
    {
        std::lock_guard lock(mutex_);
        return value_;
    }
    void Set(const T& v)
    {
        std::lock_guard lock(mutex_);
        value_ = v;
    }
    template <class F>
    void Update(F&& change)
    {
        std::lock_guard lock(mutex_);
        change(value_);
    }

private:
    mutable std::mutex mutex_;
    T value_{};
};

}  // namespace kr40
