#include "display/scope_screen.h"

#include "analysis/freq_meter.h"
#include "analysis/readouts.h"
#include "analysis/spectrum.h"
#include "analysis/spectrum_texts.h"
#include "display/compose.h"
#include "display/markers.h"
#include "display/screen.h"
#include "display/spectrum_view.h"
#include "display/trace.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

std::vector<LabelText> ReadoutTexts(const DisplayInputs& in, const DisplayState& d, const Spectrum* sp)
{
    std::vector<LabelText> texts = MarkerReadouts(in, d);
    const auto add = [&](const std::vector<LabelText>& more) { texts.insert(texts.end(), more.begin(), more.end()); };
    add(Measurements(in, d));
    add(FreqMeterLabels(in.s, MeterValuesOf(in.io.link.freqMeter.Get())));
    if (sp && d.spectrumShown) {
        add(SpectrumLabels(in, *sp));
        add(SpectrumMarkerReadouts(in, *sp));
    }
    return texts;
}

// The spectrum work of one redraw: made on first request and kept; the
// status of both channels goes to the screen state.
void UpdateSpectrum(DisplayState& d, ScopeState& st)
{
    ScopeSettings& s = st.settings;
    d.spectrumShown = ShownSpectrumChannel(s) >= 0;
    if (!st.spectrum && (SpectrumRequested(s, 0) || SpectrumRequested(s, 1)))
        st.spectrum = std::make_unique<Spectrum>();
    if (!st.spectrum) {
        d.fftStatus = {};
        return;
    }
    Spectrum& sp = *st.spectrum;
    SpectrumPass(sp, s, *st.live, {static_cast<double>(st.acq.uV_Div_A1), static_cast<double>(st.acq.uV_Div_A2)},
                 st.SpectrumRestart);
    d.fftStatus = {sp.ch[0].status, sp.ch[1].status};
    // In the spectrum view the scroll position is a bin: back to 0 beyond B.
    const int shown = ShownSpectrumChannel(s);
    if (shown >= 0 && sp.ch[static_cast<std::size_t>(shown)].status == FftComputed &&
        s.X_Pos > sp.ch[static_cast<std::size_t>(shown)].Bins())
        s.X_Pos = 0;
}

}  // namespace

void DrawFrameScreen(DisplayState& d, ScopeState& st, bool bgView)
{
    // Settings changed since the last picture: the persistence restarts.
    if (st.ScreenSettingsChanged) {
        RequestPersistenceReset(d);
        st.ScreenSettingsChanged = false;
    }
    UpdateSpectrum(d, st);
    const DisplayInputs in = InputsOf(st);
    const ScopeSettings& s = in.s;
    const Spectrum* sp = st.spectrum.get();
    RenderHooks hooks;
    hooks.grid = [&](QPainter& p) { DrawGrid(p, d, s); };
    hooks.trigPosLine = [&](QPainter& p) { DrawTrigPosLine(p, in, d); };
    hooks.triggerFlag = [&](QPainter& p) { DrawTriggerConditionFlag(p, in, d); };
    hooks.markers = [&](QPainter& p) { DrawMarkers(p, d, s); };
    hooks.linkStats = [&](QPainter& p) { DrawLinkStatistics(p, in, d); };
    if (sp && d.spectrumShown) {
        hooks.spectrum = [&](QImage& screen) { DrawSpectrumTrace(screen, d, s, *sp); };
        hooks.spectrumBanner = [&](QPainter& p) { DrawSpectrumBanner(p, d, s, *sp); };
    }
    RenderFrame(d, in, hooks, bgView);
    ComposeScreen(d, in, ReadoutTexts(in, d, sp), bgView);
}

void DrawServiceScreen(DisplayState& d, ScopeState& st, bool bgView)
{
    const DisplayInputs in = InputsOf(st);
    ComposeScreen(d, in, ReadoutTexts(in, d, st.spectrum.get()), bgView);
}

}  // namespace kr40
