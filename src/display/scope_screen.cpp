#include "display/scope_screen.h"

#include "analysis/readouts.h"
#include "display/compose.h"
#include "display/markers.h"
#include "display/screen.h"
#include "display/trace.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

std::vector<LabelText> ReadoutTexts(const DisplayInputs& in, const DisplayState& d)
{
    std::vector<LabelText> texts = MarkerReadouts(in, d);
    std::vector<LabelText> m = Measurements(in, d);
    texts.insert(texts.end(), m.begin(), m.end());
    return texts;
}

}  // namespace

void DrawFrameScreen(DisplayState& d, ScopeState& st, bool bgView)
{
    // Settings changed since the last picture: the persistence restarts.
    if (st.ScreenSettingsChanged) {
        RequestPersistenceReset(d);
        st.ScreenSettingsChanged = false;
    }
    const DisplayInputs in = InputsOf(st);
    const ScopeSettings& s = in.s;
    RenderHooks hooks;
    hooks.grid = [&](QPainter& p) { DrawGrid(p, d, s); };
    hooks.trigPosLine = [&](QPainter& p) { DrawTrigPosLine(p, in, d); };
    hooks.triggerFlag = [&](QPainter& p) { DrawTriggerConditionFlag(p, in, d); };
    hooks.markers = [&](QPainter& p) { DrawMarkers(p, d, s); };
    hooks.linkStats = [&](QPainter& p) { DrawLinkStatistics(p, in, d); };
    RenderFrame(d, in, hooks, bgView);
    ComposeScreen(d, in, ReadoutTexts(in, d), bgView);
}

void DrawServiceScreen(DisplayState& d, ScopeState& st, bool bgView)
{
    const DisplayInputs in = InputsOf(st);
    ComposeScreen(d, in, ReadoutTexts(in, d), bgView);
}

}  // namespace kr40
