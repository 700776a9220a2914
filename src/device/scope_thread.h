#pragma once
// Scope_Thread: the one thread that talks to the instrument. It waits for
// RxEvent (bytes arrived or the user interface asked for something) for at
// most 40 ms, runs the screen hand-off on the user-interface thread when a
// redraw is due, loads the FPGA, sends the generator table or the settings
// packet when asked, and otherwise reads the stream.

#include <atomic>
#include <functional>
#include <span>
#include <thread>

namespace kr40 {

struct LinkShared;
struct ScopeSettings;
struct AcqConfig;
struct RecorderStream;
class DeviceLink;

class ScopeThread {
public:
    // Runs a function on the user-interface thread and returns when it has
    // finished (the window: a blocking queued call; tests: a direct call).
    using RunOnUi = std::function<void(const std::function<void()>&)>;

    ScopeThread(LinkShared& st, DeviceLink& link, RunOnUi runOnUiAndWait, std::function<void()> frameHandoff);
    ~ScopeThread();
    ScopeThread(const ScopeThread&) = delete;
    ScopeThread& operator=(const ScopeThread&) = delete;

    void Start();
    // Asks the loop to end, wakes it and joins it.
    void Stop();
    bool Terminated() const { return terminate_; }

    // One pass of the loop (the thread runs it until stopped).
    void Pass();

    static constexpr int WaitMs = 40;

private:
    void Execute();

    LinkShared& st_;
    DeviceLink& link_;
    RunOnUi runOnUi_;
    std::function<void()> handoff_;
    std::atomic<bool> terminate_{false};
    std::thread thread_;
};

// The screen hand-off, on the user-interface thread while the worker waits.
struct HandoffHooks {
    std::function<void()> drawFrame;    // process and draw the frame, labels and measurements
    std::function<void()> drawService;  // redraw without new data
    std::function<void(std::span<const std::uint8_t>)> writeRecorder;  // append to the recorder file
};
// A single shot the worker ended releases the Single button in `s` and `acq`.
void FrameHandoff(LinkShared& st, ScopeSettings& s, AcqConfig& acq, RecorderStream& recorder,
                  const HandoffHooks& hooks);

}  // namespace kr40
