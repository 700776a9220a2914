#pragma once
// What the user interface and the acquisition thread share: the published
// configuration, the request flags, the two events, the link's state and the
// transport. The link code takes this part alone; the program's state object
// embeds it.

#include <atomic>
#include <cstdint>
#include <mutex>

#include "acquisition/acq_config.h"
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

struct LinkShared {
    LinkRequests requests;
    AcqConfigMailbox published;
    ManualResetEvent RxEvent{false};   // wakes the acquisition thread
    ManualResetEvent BusyEvent{true};  // the user interface is inside a modal action

    LinkState link;
    TransportState transport;

    // Held by the acquisition thread while it decodes into the live frame, and
    // by a command of the window that reads or replaces the live frame outside
    // the screen hand-off (saving, opening, swapping with the reference).
    std::mutex liveMutex;
};

}  // namespace kr40
