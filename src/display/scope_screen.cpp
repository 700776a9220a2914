#include "display/scope_screen.h"

#include <algorithm>

#include "analysis/freq_meter.h"
#include "analysis/readouts.h"
#include "analysis/spectrum.h"
#include "analysis/spectrum_texts.h"
#include "decoders/uart_decoder.h"
#include "display/compose.h"
#include "display/decoded_lane.h"
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

// The channel colour of a decoder line source (1 A1, 2 D1, 3 A2, 4 D2).
std::uint32_t LineColour(const ScopeSettings& s, int source)
{
    static constexpr int kColour[5] = {ColorA1, ColorA1, ColorD1, ColorA2, ColorD2};
    return s.Colors[static_cast<std::size_t>(kColour[std::clamp(source, 0, 4)])];
}

// The serial decoder of one redraw: the tables and the window's text follow
// the frame; the lanes are drawn in the time view.
void DecodeSerial(RenderHooks& hooks, const DisplayState& d, ScopeState& st)
{
    const ScopeSettings& s = st.settings;
    if (s.Dec_Type == 0 || st.live->rec.FrameLen == 0) return;
    if (!st.decoded) st.decoded = std::make_unique<DecodedTables>();
    DecodeFrameSerial(s, st.acq, *st.live, *st.decoded);
    st.decoderText.Update(s, *st.decoded);
    if (d.spectrumShown || st.acq.Time_Div_ns == 0) return;
    hooks.decoderOverlay = [&d, &st](QPainter& p) {
        const ScopeSettings& set = st.settings;
        const FrameRecord& rec = st.live->rec;
        LanePlacement lane;
        lane.pxPerSample =
            static_cast<double>(rec.Divider) * d.g.DivWidth * 10 / static_cast<double>(st.acq.Time_Div_ns);
        lane.firstSample = set.X_Pos;
        lane.lastValidSample = std::max(0, rec.ValidLen - 1);
        lane.display = set.Dec_Display;
        lane.baseCode = 226;
        lane.colour = LineColour(set, set.Dec_RXD);
        DrawDecodedLane(p, d.g, st.decoded->Rx(), lane);
        lane.baseCode = 210;
        lane.colour = LineColour(set, set.Dec_TXD);
        DrawDecodedLane(p, d.g, st.decoded->Tx(), lane);
    };
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
    DecodeSerial(hooks, d, st);
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
