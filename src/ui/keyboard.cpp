#include "ui/keyboard.h"

#include <algorithm>

#include "acquisition/scope_tables.h"
#include "acquisition/time_base_step.h"

namespace kr40 {
namespace {

constexpr int kAveInf = 6;   // choices 2, 4, 8, 16, 32, 64, Inf
constexpr int kZoomMax = 5;  // 50x
constexpr int kXPosStep = 10;

KeyOutcome Refresh()
{
    KeyOutcome o;
    o.call = SettingsCall::Refresh;
    return o;
}

KeyOutcome Actions(std::vector<KeyAction> actions)
{
    KeyOutcome o;
    o.actions = std::move(actions);
    return o;
}

// F: cycles the spectrum view through the FFT menu items. Switching from one
// channel to the other hides the shown one first, then shows the other.
KeyOutcome SpectrumKey(const ScopeSettings& s, bool ctrl, const KeyContext& ctx)
{
    if (s.FFT_View_A1) {
        if (!ctrl && ctx.fftA2Enabled) return Actions({KeyAction::FftA1Click, KeyAction::FftA2Click});
        return Actions({KeyAction::FftA1Click});
    }
    if (s.FFT_View_A2) {
        if (!ctrl && ctx.fftA1Enabled) return Actions({KeyAction::FftA2Click, KeyAction::FftA1Click});
        return Actions({KeyAction::FftA2Click});
    }
    // Ctrl+F only hides a spectrum; with none shown it does nothing.
    if (ctrl) return {};
    if (ctx.fftA1Enabled) return Actions({KeyAction::FftA1Click});
    if (ctx.fftA2Enabled) return Actions({KeyAction::FftA2Click});
    return {};
}

KeyOutcome VoltsKey(ScopeSettings& s, bool shift, bool up)
{
    KeyOutcome o;
    o.call = SettingsCall::Apply;
    const int channel = shift ? 1 : 0;
    if (VoltsStep(s, channel, up)) (channel == 0 ? o.rangeChangedA1 : o.rangeChangedA2) = true;
    return o;
}

KeyOutcome HorizontalKey(ScopeSettings& s, bool ctrl, bool shift, bool right, const KeyContext& ctx)
{
    if (ctrl && SpectrumShown(s)) {
        s.FFT_Zoom = std::clamp(s.FFT_Zoom + (right ? 1 : -1), 0, kZoomMax);
        return Refresh();
    }
    if (shift) {
        s.X_Pos = std::clamp(s.X_Pos + (right ? kXPosStep : -kXPosStep), 0, std::max(ctx.xPosMax, 0));
        return Refresh();
    }
    if (ctrl) return {};
    TimeBaseStep(s, right);  // Right = faster; at either end nothing changes
    KeyOutcome o;
    o.call = SettingsCall::Apply;
    return o;
}

}  // namespace

bool VoltsStep(ScopeSettings& s, int channel, bool up)
{
    const Group g = channel == 0 ? Group::VoltsA1 : Group::VoltsA2;
    const int from = s.Sel(g);
    if (from < 0 || from >= VoltsCount) return false;
    // The table runs from the largest (2 V) to the smallest (50 mV) range.
    const int to = up ? from - 1 : from + 1;
    if (to < 0 || to >= VoltsCount) return false;
    SetGroupItem(s, g, to, true);
    return true;
}

KeyOutcome FormKeyDown(ScopeSettings& s, Key key, bool ctrl, bool shift, const KeyContext& ctx)
{
    const bool spectrum = SpectrumShown(s);
    switch (key) {
        case Key::F:
            return SpectrumKey(s, ctrl, ctx);
        case Key::A:
            if (!spectrum) return {};
            if (!ctrl) {
                s.FFT_Ave_On = !s.FFT_Ave_On;
                KeyOutcome o = Refresh();
                o.restartSpectrum = true;
                return o;
            }
            if (!s.FFT_Ave_On) return {};
            s.FFT_Ave = s.FFT_Ave >= 0 && s.FFT_Ave < kAveInf ? s.FFT_Ave + 1 : 0;  // after Inf back to 2
            return Refresh();
        case Key::D:
            if (!spectrum || !ctrl) return {};
            s.FFT_15dB_div = !s.FFT_15dB_div;
            return Refresh();
        case Key::W:
            if (!spectrum || !ctrl) return {};
            s.FFT_Calc_Both = !s.FFT_Calc_Both;
            return Refresh();
        case Key::V:
            if (!spectrum) return {};
            s.FFT_dbv_v = !s.FFT_dbv_v;
            return Refresh();
        case Key::Left:
        case Key::Right:
            return HorizontalKey(s, ctrl, shift, key == Key::Right, ctx);
        case Key::Up:
        case Key::Down:
            return VoltsKey(s, shift, key == Key::Up);
        case Key::Space:
            return Actions({KeyAction::ToggleRun});
        case Key::Enter:
            return Actions({KeyAction::ToggleSingle});
        case Key::Other:
            break;
    }
    return {};
}

}  // namespace kr40
