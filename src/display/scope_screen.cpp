#include "display/scope_screen.h"

#include "state/scope_state.h"
#include "display/compose.h"
#include "display/markers.h"
#include "display/screen.h"
#include "display/trace.h"

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

void DrawFrameScreen(DisplayState& d, const DisplayInputs& in, bool bgView)
{
    const ScopeSettings& s = in.st.settings;
    RenderHooks hooks;
    hooks.grid = [&](QPainter& p) { DrawGrid(p, d, s); };
    hooks.trigPosLine = [&](QPainter& p) { DrawTrigPosLine(p, in, d); };
    hooks.triggerFlag = [&](QPainter& p) { DrawTriggerConditionFlag(p, in, d); };
    hooks.markers = [&](QPainter& p) { DrawMarkers(p, d, s); };
    hooks.linkStats = [&](QPainter& p) { DrawLinkStatistics(p, in, d); };
    RenderFrame(d, in, hooks, bgView);
    ComposeScreen(d, in, ReadoutTexts(in, d), bgView);
}

void DrawServiceScreen(DisplayState& d, const DisplayInputs& in, bool bgView)
{
    ComposeScreen(d, in, ReadoutTexts(in, d), bgView);
}

}  // namespace kr40
