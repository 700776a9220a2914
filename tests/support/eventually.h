#pragma once
// Waiting for another thread: polls an observable condition until it holds or
// a generous deadline passes. The deadline only ends a hang; no test asserts
// how long anything took.

#include <chrono>
#include <thread>

namespace kr40::test {

template <class F>
bool Eventually(F condition, std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::yield();
    }
    return true;
}

}  // namespace kr40::test
