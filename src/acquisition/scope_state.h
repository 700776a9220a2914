#pragma once
// The program's state in one object, owned by the main window and passed by
// reference: settings, the derived configuration, the requests shared with
// the acquisition thread and what the instrument told about itself.

#include <atomic>
#include <mutex>

#include "acquisition/acq_config.h"
#include "acquisition/scope_settings.h"
#include "core/guarded.h"
#include "core/manual_reset_event.h"
#include "device/ftdi_transport.h"
#include "device/link_state.h"

namespace kr40 {

// The values of the settings the acquisition thread needs besides AcqConfig.
struct WorkerSettings {
    int A1_Zero = 0, A2_Zero = 0;
    double Lev_A1 = 0, Lev_A2 = 0;
    std::int32_t TimeCal = 0;  // frequency-meter time-base calibration
    std::uint32_t F_Span = 0, F_Val = 0;
};

// The configuration as the acquisition thread sees it: a complete copy
// published under a lock, so a half-composed configuration is never sent.
struct PublishedConfig {
    AcqConfig acq;
    WorkerSettings settings;
};
using AcqConfigMailbox = Guarded<PublishedConfig>;

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

    LinkState link;
    TransportState transport;

    // Files.
    std::string LastFolder;    // folder last used by any file dialog
    std::string DataFileName;  // current waveform data file, empty when none
    bool SettingsLoaded = false;
    // Spectrum restart/recompute requests: averaging A1, averaging A2, A1, A2.
    std::array<bool, 4> SpectrumRestart{};
};

}  // namespace kr40
