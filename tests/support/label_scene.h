#pragma once
// The scene the label, read-out and screen tests start from: a 540 x 400
// paint box (GridLeft 31, GridTop 27, GridWidth 480, GridHeight 288,
// divisions 48 x 36, 1.125 pixels per ADC step), every colour different so
// every item can be found, A1 alone on at 200 mV/div and 1 mS/div, and a live
// A1 frame of 5000 positions with 500 before the trigger.

#include <cstdint>

#include "acquisition/frame.h"
#include "state/scope_state.h"

namespace kr40::test {

// Settings colours (0x00BBGGRR).
constexpr std::uint32_t kA1 = 0x0000FF, kA2 = 0x00FF00, kD1 = 0xFF0000, kD2 = 0x00FFFF;
constexpr std::uint32_t kBackground = 0x000000, kBorder = 0x404040, kMarkers = 0xFF00FF;
constexpr std::uint32_t kGrid = 0x808080, kGridFrame = 0xC0C0C0, kTrigPos = 0x0080FF;
constexpr std::uint32_t kFft = 0x20A020, kExtraInfo = 0xFFFF00;

inline constexpr int kSceneWidth = 540, kSceneHeight = 400;

// Resets the state and both frames to the scene.
inline void SetUpLabelScene(ScopeState& st, FrameSet& live, FrameSet& ref)
{
    st.settings = ScopeSettings();
    st.acq = AcqConfig();
    live.rec = FrameRecord{};
    ref.rec = FrameRecord{};
    ScopeSettings& s = st.settings;
    s.Colors = {kA1, kA2, kD1, kD2, kBackground, kBorder, kMarkers, kGrid, kGridFrame, kTrigPos, kFft, kExtraInfo};
    s.CH_A1 = true;
    s.CH_A2 = s.CH_D1 = s.CH_D2 = false;
    s.Grid = s.TrigPosL = s.Extra_Info = s.Trig_T = s.TPLUS = false;
    s.Debug_kr = s.No_Excuse = s.USB_VIEW = s.TDC_Clbr = false;
    s.A1_Zero = s.A2_Zero = 128;
    s.Lev_A1 = s.Lev_A2 = 128;
    s.X_Pos = 0;
    s.Sel(Group::TrigSource) = ChA1;
    s.Sel(Group::FmMode) = FmOff;
    s.Sel(Group::GenMode) = -1;
    st.acq.Time_Div_ns = 1'000'000;
    st.acq.uV_Div_A1 = st.acq.uV_Div_A2 = 200'000;
    st.acq.Mode_Flags = 0x80;  // trigger on

    FrameRecord& r = live.rec;
    r.Divider = 10;
    r.FrameLen = 5000;
    r.PreLen = 500;
    r.ValidLen = 3333;
    r.A1_Zero = r.A2_Zero = 128;
    r.uV_Div_A1 = r.uV_Div_A2 = 200'000;
}

}  // namespace kr40::test
