#pragma once
// The program's state in one object, owned by the main window and passed by
// reference: settings, the derived configuration, the requests shared with
// the acquisition thread and what the instrument told about itself.

#include <atomic>
#include <mutex>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "core/manual_reset_event.h"

namespace kr40 {

// The configuration as the acquisition thread sees it: a complete copy
// published under a lock, so a half-composed configuration is never sent.
class AcqConfigMailbox {
public:
    void Publish(const AcqConfig& c)
    {
        std::lock_guard lock(mutex_);
        config_ = c;
    }
    AcqConfig Snapshot() const
    {
        std::lock_guard lock(mutex_);
        return config_;
    }

private:
    mutable std::mutex mutex_;
    AcqConfig config_;
};

// Requests and status shared between the user interface and the acquisition
// thread; each is written by one side and read by the other.
struct LinkRequests {
    std::atomic<bool> Running{false};
    std::atomic<bool> SingleShot{false};
    std::atomic<bool> SettingsRequest{false};    // configuration changed: send the settings packet
    std::atomic<bool> AcqRestartRequest{false};  // restart the acquisition with the new settings
    std::atomic<bool> RedrawRequest{false};
    std::atomic<bool> TrigChanged{false};  // one-shot: re-arm the trigger logic once
};

// Identity of the connected instrument as reported in its service packets.
struct DeviceIdentity {
    int FirmVer = -1;  // -1 = not yet reported
    int FpgaVer = -1;
    int Vcc = -1;  // supply voltage in 10 mV units
    bool SerialValid = false;
    std::uint32_t SerialHigh = 0;
    std::uint16_t SerialLow = 0;
    bool TdcFresh = false;
    std::array<std::uint8_t, 4> Tdc{};  // rise A1, fall A1, rise A2, fall A2
    int TransferMode = 0;               // 0 not set up, 1 no flow control, 2 RTS/CTS
};

inline constexpr int SoftwareVersion = 227;

struct ScopeState {
    ScopeSettings settings;
    AcqConfig acq;
    WindowView view;

    // One-shot flags set by the volts/div controls and probe items, consumed
    // by ComposeAcqConfig to rescale the trigger level.
    bool RangeChangedA1 = false, RangeChangedA2 = false;
    // Settings changed since the screen last drew; restarts persistence.
    bool ScreenSettingsChanged = false;

    LinkRequests requests;
    AcqConfigMailbox published;
    ManualResetEvent RxEvent{false};   // wakes the acquisition thread
    ManualResetEvent BusyEvent{true};  // the user interface is inside a modal action

    DeviceIdentity identity;

    // Files.
    std::string LastFolder;    // folder last used by any file dialog
    std::string DataFileName;  // current waveform data file, empty when none
    bool SettingsLoaded = false;
    bool WaveTableLoaded = false;  // a generator script is loaded
    // Spectrum restart/recompute requests: averaging A1, averaging A2, A1, A2.
    std::array<bool, 4> SpectrumRestart{};
};

}  // namespace kr40
