#include "state/compose.h"

#include <algorithm>

#include "acquisition/scope_tables.h"
#include "core/texts.h"
#include "generator/gen_panel.h"
#include "instruments/zero_model.h"
#include "state/scope_state.h"
#include "trigger/trigger_encoding.h"

namespace kr40 {

namespace {

constexpr TextPair kVoltsDivX1 = {" Volts/Div ", " Вольт/Дел "};
constexpr TextPair kVoltsDivProbe = {" V/Div ", " В/Дел "};

std::optional<std::uint32_t> Swatch(bool shown, std::uint32_t colour)
{
    return shown ? std::optional<std::uint32_t>(colour) : std::nullopt;
}

int ProbeIndex(const ScopeSettings& s, Group g)
{
    const int p = s.Sel(g);
    return p < 0 ? ProbeX1 : p;  // no probe item checked reads as x1
}

struct ChannelRefs {
    Group volts, probe;
    const char* name;
    std::int32_t AcqConfig::*uVx1;
    std::int32_t AcqConfig::*uV;
    std::uint8_t AcqConfig::*range;
    std::uint32_t AcqConfig::*zeroCal;
    bool ScopeSettings::*acdc;
    int ScopeSettings::*zero;
    int ScopeSettings::*bgZero;
    double ScopeSettings::*lev;
    double ScopeSettings::*bgLev;
    bool ScopeState::*rangeChanged;
};

constexpr std::array<ChannelRefs, 2> kChannels = {{
    {Group::VoltsA1, Group::ProbeA1, "A1", &AcqConfig::uV_Div_x1_A1, &AcqConfig::uV_Div_A1, &AcqConfig::Range_A1,
     &AcqConfig::Zero_Cal_A1, &ScopeSettings::A1_ACDC, &ScopeSettings::A1_Zero, &ScopeSettings::bgA1_Zero,
     &ScopeSettings::Lev_A1, &ScopeSettings::bgLev_A1, &ScopeState::RangeChangedA1},
    {Group::VoltsA2, Group::ProbeA2, "A2", &AcqConfig::uV_Div_x1_A2, &AcqConfig::uV_Div_A2, &AcqConfig::Range_A2,
     &AcqConfig::Zero_Cal_A2, &ScopeSettings::A2_ACDC, &ScopeSettings::A2_Zero, &ScopeSettings::bgA2_Zero,
     &ScopeSettings::Lev_A2, &ScopeSettings::bgLev_A2, &ScopeState::RangeChangedA2},
}};

// One analog channel: range, offset code, range bits, captions, µV/div with
// the probe, and the level kept at the same voltage.
void ComposeChannel(ScopeState& st, int ch)
{
    const ChannelRefs& c = kChannels[ch];
    ScopeSettings& s = st.settings;
    AcqConfig& a = st.acq;

    std::uint8_t code = a.*c.range & 0x07;
    const int row = s.Sel(c.volts);
    if (row >= 0) {
        a.*c.uVx1 = VoltsPerDiv[row].uV;
        code = VoltsPerDiv[row].rangeCode;
    }
    a.*c.zeroCal = OffsetDacCode(s, ch + 1, a.*c.uVx1);

    std::uint8_t range = code;
    if (ch == 0 && !s.GenOn_Down) range |= 0x08;
    if (s.*c.acdc) range |= 0x10;
    if (s.FFT_Dither && s.TDC_Clbr) range |= 0x20;  // the dither check box shows with TDC_Clbr only
    a.*c.range = range;

    const int probe = ProbeIndex(s, c.probe);
    for (int r = 0; r < VoltsCount; ++r) st.view.voltsCaptions[ch][r] = VoltsPerDiv[r].caption[probe];
    st.view.voltsHeader[ch] =
        probe == ProbeX1 ? std::string(c.name) + Tr(kVoltsDivX1, s.Russian)
                         : std::string(c.name) + Tr(kVoltsDivProbe, s.Russian) + "(" + ProbeKeySuffix[probe] + ")";

    const std::int32_t oldUv = a.*c.uV;
    a.*c.uV = a.*c.uVx1 * ProbeFactors[probe];

    if (st.*c.rangeChanged) {
        st.*c.rangeChanged = false;
        // Before the first composition there is no old range to keep the voltage of.
        if (oldUv != 0 && a.*c.uV != 0) {
            const double r = static_cast<double>(oldUv) / a.*c.uV;
            s.*c.lev = (s.*c.lev - s.*c.zero) * r + s.*c.zero;
            s.*c.bgLev = (s.*c.bgLev - s.*c.bgZero) * r + s.*c.bgZero;
        }
    }
}

std::uint64_t Divider(std::uint64_t intervalTenthNs, std::uint64_t timeDivNs)
{
    std::uint64_t d;
    if (intervalTenthNs == 125)
        d = 2;
    else if (intervalTenthNs == 250)
        d = timeDivNs / 10 == 50 ? 5 : 4;
    else if (intervalTenthNs == 1250)
        d = 20;
    else
        d = intervalTenthNs / 100;
    return d == 0 ? 1 : d;
}

std::uint8_t FrequencyMeterSource(ScopeSettings& s, WindowView& v)
{
    const bool period = s.Sel(Group::FmMode) == FmPeriod;
    if (period) {
        // The period counter has no HF inputs: fall back to the plain ones.
        if (s.Sel(Group::FmInput) == FmD1_HF) s.Sel(Group::FmInput) = FmD1;
        if (s.Sel(Group::FmInput) == FmD2_HF) s.Sel(Group::FmInput) = FmD2;
    }
    v.fmD1HfEnabled = v.fmD2HfEnabled = !period;
    v.fmResetEnabled = period;

    if (s.Sel(Group::FmMode) == FmOff) return 0;
    const int input = s.Sel(Group::FmInput);
    int src = 0;
    if (input == FmTrig)
        src = 7 + std::max(s.Sel(Group::TrigSource), 0);
    else if (input >= 0)
        src = input + 1;
    return static_cast<std::uint8_t>(src + (period ? 16 : 0));
}

}  // namespace

void ComposeAcqConfig(ScopeState& st)
{
    ScopeSettings& s = st.settings;
    AcqConfig& a = st.acq;
    WindowView& v = st.view;
    const bool running = s.Run_Down || s.Sngl_Down;
    const bool peak = s.SmplPeakDet;
    const int trigSource = s.Sel(Group::TrigSource);

    // Window style and colour swatches.
    v.stayOnTop = s.On_Top;
    v.swatchA1 = Swatch(s.CH_A1, s.Colors[ColorA1]);
    v.swatchA2 = Swatch(s.CH_A2, s.Colors[ColorA2]);
    v.swatchTrig = Swatch(s.Trig_On && trigSource >= 0, s.Colors[ColorA1 + std::max(trigSource, 0)]);

    // Time base; the last button (50 nS) is the fallback.
    const int tb = s.Sel(Group::TimeBase);
    a.Time_Div_ns = (tb >= 0 && tb < TimeBaseCount - 1) ? TimeBases[tb].ns : TimeBases[TimeBaseCount - 1].ns;

    // Channels and pair mode.
    a.Pair_Mode = !((s.CH_A1 && s.CH_A2) || (s.CH_D1 && s.CH_D2));
    a.Ch_Mask = static_cast<std::uint8_t>((running ? 0x80 : 0) | (s.CH_A1 ? 0x01 : 0) | (s.CH_A2 ? 0x02 : 0) |
                                          (s.CH_D1 ? 0x04 : 0) | (s.CH_D2 ? 0x08 : 0));
    a.Mode_Flags = static_cast<std::uint8_t>((s.CH_A2 ? 0x02 : 0) | (s.CH_D2 ? 0x04 : 0));
    if (a.Pair_Mode) {
        if (s.CH_A1 || s.CH_A2) a.Ch_Mask |= 0x03;
        if (s.CH_D1 || s.CH_D2) a.Ch_Mask |= 0x0C;
        a.Mode_Flags |= 0x01;
    }

    // Samples and divisions per frame.
    const int smpl = s.Sel(Group::SmplN);
    a.Smpl_N = (smpl >= 0 && smpl < SmplMax) ? SampleCounts[smpl].value : (a.Pair_Mode ? 20000 : 10000);
    const int div = s.Sel(Group::SigDiv);
    a.Sig_Div = div >= 0 ? DivisionChoices[div].value : DivisionChoices[0].value;
    if (a.Sig_Div == 200 && a.Smpl_N == 5000 && peak) a.Sig_Div = 250;

    // Sample interval in tenths of a nanosecond, divider, samples per division.
    const std::uint64_t perDiv = static_cast<std::uint64_t>(peak ? (a.Smpl_N / 2) / a.Sig_Div : a.Smpl_N / a.Sig_Div);
    const std::uint64_t interval = a.Time_Div_ns * 10 / perDiv;
    const std::uint64_t d = Divider(interval, a.Time_Div_ns);
    std::uint64_t samplesPerDiv = (a.Time_Div_ns / 10) / d;
    if (peak && d > 1) samplesPerDiv *= 2;
    a.Smpl_Per_Div = static_cast<int>(samplesPerDiv);
    a.Decim = static_cast<std::uint32_t>(d - 1);

    // Input ranges, offsets, captions, probe factors, level rescaling.
    ComposeChannel(st, 0);
    ComposeChannel(st, 1);

    // Frame-rate limit.
    if (const int fps = s.Sel(Group::Fps); fps >= 0)
        a.Min_Period_ms = static_cast<std::uint8_t>(FrameRateChoices[fps].value);

    // Acquisition flags.
    std::uint8_t f = 0;
    if (peak && a.Decim > 0) f |= AcqPeakDetect;
    if (trigSource == ChD1 || trigSource == ChD2) f |= AcqTrigDigital;
    if (trigSource == ChA2 || trigSource == ChD2) f |= AcqTrigSecond;
    if (s.Edge) f |= AcqEdge;
    if (s.Auto) f |= AcqAuto;
    if (!s.SchmittT_D1) f |= AcqSchmittD1Off;
    if (!s.SchmittT_D2) f |= AcqSchmittD2Off;

    // Scroll display and roll mode.
    a.Scroll = s.Lenta && s.Sel(Group::GenMode) != GenSweepMode;
    a.Roll = a.Time_Div_ns >= TimeBases[TimeBase100ms].ns && !s.Trig_On;
    a.Roll_Flags = 0;
    if (a.Roll) {
        if (!s.Sngl_Down) f |= AcqRollFree;
        a.Roll_Flags = 0x03;
    } else if (s.Trig_On) {
        a.Mode_Flags |= 0x80;
    }
    a.Acq_Flags = f;

    // Pre- and post-trigger counts. The pre-trigger part never exceeds the
    // frame, so the post-trigger count cannot wrap around.
    const std::uint64_t pre = static_cast<std::uint64_t>(std::max(s.Pre, 0)) * samplesPerDiv;
    a.Pre_N = static_cast<std::uint32_t>(std::min<std::uint64_t>(pre, static_cast<std::uint64_t>(a.Smpl_N)));
    a.Post_N = static_cast<std::uint32_t>(a.Smpl_N) - a.Pre_N;

    // Transfer rate.
    if (const int rate = s.Sel(Group::Rate); rate >= 0)
        a.Rate_Code = static_cast<std::uint8_t>(TransferRateChoices[rate].value);

    // Trigger window and advanced-trigger words.
    EncodeTrigger(s, a);

    // Frequency meter.
    a.FM_Src = FrequencyMeterSource(s, v);

    // Draw mode.
    if (const int dm = s.Sel(Group::DrawMode); dm >= 0) a.Draw_Mode = dm;

    // Generator panel and words (after Post_N and the zero levels), then its read-outs.
    st.gen.afgStart = static_cast<std::uint64_t>(SelectedMarkAddress(st.afg));
    ComposeGenerator(s, st.gen, a, st.genView);
    UpdateGenPanelTexts(st);
}

void UpdateGenPanelTexts(ScopeState& st)
{
    st.gen.afgLabel = AfgModLabel(st.afg, st.settings.AFG_File, st.link.WaveTableLoaded, st.settings.Russian);
    UpdateGenPanel(st.settings, st.gen, st.genView);
}

namespace {
// Hands AcqConfig as it stands to the acquisition thread and wakes it.
void Send(ScopeState& st, bool restart)
{
    PublishedConfig pub;
    pub.acq = st.acq;
    pub.settings.A1_Zero = st.settings.A1_Zero;
    pub.settings.A2_Zero = st.settings.A2_Zero;
    pub.settings.Lev_A1 = st.settings.Lev_A1;
    pub.settings.Lev_A2 = st.settings.Lev_A2;
    pub.settings.TimeCal = st.settings.Time;
    pub.settings.F_Span = st.gen.F_Span;
    pub.settings.F_Val = st.gen.F_Val;
    st.published.Set(pub);
    st.requests.SettingsRequest = true;
    if (restart) st.requests.AcqRestartRequest = true;
    st.requests.RedrawRequest = true;
    st.RxEvent.Set();
    st.ScreenSettingsChanged = true;
}

void Publish(ScopeState& st, bool restart)
{
    ComposeAcqConfig(st);
    Send(st, restart);
}
}  // namespace

void PublishAcqConfig(ScopeState& st)
{
    st.requests.Running = true;
    st.requests.SingleShot = false;
    Send(st, true);
}

void ApplySettings(ScopeState& st)
{
    st.requests.Running = st.settings.Run_Down || st.settings.Sngl_Down;
    st.requests.SingleShot = st.settings.Sngl_Down;
    Publish(st, true);
}

void RefreshSettings(ScopeState& st)
{
    Publish(st, false);
}

void CarrySettingsEffect(ScopeState& st, const SettingsEffect& e)
{
    if (e.rangeChangedA1) st.RangeChangedA1 = true;
    if (e.rangeChangedA2) st.RangeChangedA2 = true;
    if (e.restartSpectrum) st.SpectrumRestart.fill(true);
    if (e.rearmTrigger) st.requests.TrigChanged = true;
    if (e.resetCounter) st.link.FmResetRequest = true;
    if (e.call == SettingsCall::Apply)
        ApplySettings(st);
    else if (e.call == SettingsCall::Refresh)
        RefreshSettings(st);
}

}  // namespace kr40
