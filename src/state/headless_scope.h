#pragma once
// The acquisition path without a window: device link, acquisition thread and
// a hand-off that keeps a copy of every frame. Used by the command-line tool.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <span>

#include "acquisition/frame.h"
#include "device/ftdi_transport.h"

namespace kr40 {

struct ScopeState;
class Prompts;
class DeviceLink;
class ScopeThread;

class HeadlessScope {
public:
    HeadlessScope(ScopeState& st, DeviceProvider& provider);
    ~HeadlessScope();
    HeadlessScope(const HeadlessScope&) = delete;
    HeadlessScope& operator=(const HeadlessScope&) = delete;

    // Opens the instrument, loads its FPGA and waits until it is ready. A
    // failure to open is told through `prompts`; FT_OTHER_ERROR when the
    // instrument does not become ready within `timeout`.
    FT_STATUS Open(Prompts& prompts, std::chrono::milliseconds timeout);

    // Waits for `count` complete frames (every position filled) taken after
    // the call; `progress` is called after each with the number so far.
    // False when a frame does not come within `perFrame`.
    bool WaitCompleteFrames(int count, std::chrono::milliseconds perFrame, const std::function<void(int)>& progress);

    // The last complete frame.
    FrameSet LastComplete();
    // The record of the last frame handed over, complete or not (a roll
    // frame fills up over many hand-offs).
    FrameRecord LastRecord();

    // Where the recorder's bytes go at each hand-off. The sink runs on the
    // acquisition thread; set it before Open.
    void SetRecorderSink(std::function<void(std::span<const std::uint8_t>)> sink) { sink_ = std::move(sink); }

private:
    void Handoff();

    ScopeState& st_;
    DeviceProvider& provider_;
    std::unique_ptr<TransportLink> link_;
    std::unique_ptr<DeviceLink> device_;
    std::unique_ptr<ScopeThread> thread_;
    std::mutex mutex_;
    FrameSet last_;
    FrameRecord lastRecord_{};
    int complete_ = 0;
    std::function<void(std::span<const std::uint8_t>)> sink_;
};

}  // namespace kr40
