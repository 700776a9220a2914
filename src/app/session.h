#pragma once
// The session: what one running program owns besides its windows — the state
// object (settings, frames, recorder), the screen's bitmaps, the device
// provider, the link to the instrument and the acquisition thread with its
// gate onto the user-interface thread.

#include <functional>
#include <memory>
#include <string>

#include "device/ftdi_transport.h"

class QObject;

namespace kr40 {

struct ScopeState;
struct DisplayState;
class DeviceLink;
class ScopeThread;
class TransportLink;
class UiCallGate;

class Session {
public:
    // `provider` null: the session makes one from `providerName` ("d2xx",
    // "ftdi", "sim", wired by `simInputs`); a name no provider answers to gives one that loads
    // nothing, so every open reports the missing library. `handoff` is the
    // screen hand-off the acquisition thread runs on the user-interface
    // thread, through a gate owned by `uiContext`.
    Session(QObject* uiContext, DeviceProvider* provider, const std::string& providerName, const std::string& simInputs,
            std::function<void()> handoff);
    // Stops the thread, then closes the device: nothing may signal or read
    // the state once it is gone.
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ScopeState& State() { return *st_; }
    DisplayState& Display() { return *d_; }
    DeviceProvider& Provider() { return *provider_; }

    void StartThread();
    // Releases a hand-off the worker waits for and joins the thread; idempotent.
    void StopThread();

    // The options every open of the instrument uses, from the settings.
    OpenOptions LinkOptions(const std::string& caption) const;
    // Opens the instrument and, on success, asks the thread to load the FPGA.
    FT_STATUS OpenDevice(Prompts& prompts, const std::string& caption);

private:
    std::unique_ptr<ScopeState> st_;
    std::unique_ptr<DisplayState> d_;
    std::unique_ptr<DeviceProvider> ownProvider_;
    DeviceProvider* provider_ = nullptr;
    std::unique_ptr<TransportLink> link_;
    std::unique_ptr<DeviceLink> device_;
    std::shared_ptr<UiCallGate> gate_;
    std::unique_ptr<ScopeThread> thread_;
};

}  // namespace kr40
