#include "state/data_commands.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "analysis/spectrum_texts.h"
#include "state/compose.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

void SwapFrames(FrameSet& a, FrameSet& b)
{
    std::swap(a.rec, b.rec);
    FrameBuffers& x = a.buf;
    FrameBuffers& y = b.buf;
    // The vectors keep their FrameCapacity entries; swapping them moves no sample.
    std::swap(x.A1_First, y.A1_First);
    std::swap(x.A1_Second, y.A1_Second);
    std::swap(x.A2_First, y.A2_First);
    std::swap(x.A2_Second, y.A2_Second);
    std::swap(x.D1_First, y.D1_First);
    std::swap(x.D1_Second, y.D1_Second);
    std::swap(x.D2_First, y.D2_First);
    std::swap(x.D2_Second, y.D2_Second);
    std::swap(x.filled, y.filled);
}

}  // namespace

bool Menu_BG_DoClick(ScopeState& st)
{
    ScopeSettings& s = st.settings;
    {
        std::lock_guard lock(st.liveMutex);
        if (!st.LiveExists && !st.RefExists) return false;
        if (!st.RefExists) {
            s.bgLev_A1 = s.Lev_A1;
            s.bgLev_A2 = s.Lev_A2;
            s.bgA1_Zero = s.A1_Zero;
            s.bgA2_Zero = s.A2_Zero;
            st.RefName = st.LiveName;
        }
        if (!st.LiveExists) {
            s.Lev_A1 = s.bgLev_A1;
            s.Lev_A2 = s.bgLev_A2;
            s.A1_Zero = s.bgA1_Zero;
            s.A2_Zero = s.bgA2_Zero;
            st.LiveName = st.RefName;
        }
        SwapFrames(*st.live, *st.ref);
        std::swap(s.Lev_A1, s.bgLev_A1);
        std::swap(s.Lev_A2, s.bgLev_A2);
        std::swap(s.A1_Zero, s.bgA1_Zero);
        std::swap(s.A2_Zero, s.bgA2_Zero);
        std::swap(st.LiveName, st.RefName);
        std::swap(st.LiveExists, st.RefExists);
        st.lastRec = st.live->rec;
        // In the spectrum view the position is a bin and stays.
        if (ShownSpectrumChannel(s) < 0) s.X_Pos = std::clamp(s.X_Pos, 0, std::max(0, st.live->rec.ValidLen));
    }
    s.bgD_Zero = s.bgD_Zero == 0 ? 1 : 0;
    st.SpectrumRestart.fill(true);
    ApplySettings(st);
    return true;
}

void Menu_BG_ClrClick(ScopeState& st)
{
    st.ref->buf.Clear();
    st.ref->rec = FrameRecord{};
    st.RefExists = false;
    st.RefName.clear();
    st.settings.bgD_Zero = 0;
    RefreshSettings(st);
}

}  // namespace kr40
