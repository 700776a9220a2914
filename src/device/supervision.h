#pragma once
// The user-interface side of the link: the Run, Single and generator-on
// buttons (re)connect the instrument when pressed, the Exit item closes the
// link, and the once-a-second tick keeps the statistics, watches the link and
// offers to recover after a lost cable, a power failure or a lost FPGA
// configuration. Everything here runs on the user-interface thread; it shares
// only atomic flags and LinkStatus with the acquisition thread. It works on
// the link's shared part and the three buttons' settings; composing the
// configuration is the caller's, through the apply and refresh hooks.

#include <functional>

#include "device/ftdi_transport.h"

namespace kr40 {

struct LinkShared;
struct ScopeSettings;

enum class LinkButton { Run, Single, GenOn };

// What the window does around the supervision; a null hook is skipped.
struct SupervisionHooks {
    std::function<void()> apply;              // ApplySettings
    std::function<void()> refresh;            // RefreshSettings
    std::function<void()> saveSettings;       // write the program's settings file
    std::function<void()> genFileWatch;       // reload the generator file when it changed on disk
    std::function<void()> clearAfgList;       // empty the generator-file list of the window
    std::function<void(bool)> genFileReload;  // true: request a reload that sends the table; false: cancel it
};

// A click on Run, Single or generator-on. The window has already stored the
// button's new state (Run_Down, Sngl_Down, GenOn_Down; Run and Single never
// both down). A button that went down makes sure the link is usable,
// reopening the instrument when it is not; when that fails the "USB Error"
// box is shown and the button comes back up.
void LinkButtonClick(LinkShared& io, ScopeSettings& s, DeviceProvider& provider, Prompts& prompts,
                     const OpenOptions& options, LinkButton button, const SupervisionHooks& hooks);

// The link part of Exit: stops the acquisition thread's traffic, closes the
// device when the link is usable and leaves LinkStatus at 1.
void MenuExit(LinkShared& io);

// The faults the supervision offers to recover from, in the order it checks them.
enum class LinkFault { UsbLost, PowerFailure, FpgaLost, NoAnswer, FpgaInitFailure, None };

// One tick of the 1 s window timer: per-second statistics, link watch and,
// when a fault shows, the recovery box (Yes reconnects, No stays
// disconnected). Returns the fault that was offered, or None. Nothing but the
// statistics and the redraw request happens while BusyEvent is set.
LinkFault Timer1Tick(LinkShared& io, ScopeSettings& s, DeviceProvider& provider, Prompts& prompts,
                     const OpenOptions& options, const SupervisionHooks& hooks);

}  // namespace kr40
