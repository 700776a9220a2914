#include "trigger/trig_dialog_model.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "acquisition/scope_settings.h"
#include "core/texts.h"
#include "core/value_format.h"
#include "trigger/trigger_tables.h"

namespace kr40 {

namespace {

struct ModeName {
    int mode;
    TextPair name;
};

// Every text of the dialog, English and Russian.
struct TrigDialogTexts {
    TextPair caption, preGroup, nrGroup, tplusGroup, cancel;
    std::array<TextPair, 10> preItems;
    std::array<ModeName, 7> modes;
    TextPair notForDigital;
    TextPair tNotApplicable, tAny, neverTrue, alwaysTrue, tInside, tOutside;
    TextPair nNotApplicable, tShouldBeDefined, enShouldBeDefined, videoLine;
};

const TrigDialogTexts kTexts = {
    {"Trigger Settings", "Установки синхронизации"},
    {"Pre Trigger", "Длина предвыборки"},
    {"Noise Reject / Double Level", "Шумоподавл. / Двойной уровень"},
    {"Additional Trigger Conditions (T+)", "Дополнительные режимы синхронизации (T+)"},
    kCancelText,
    {{
        {"Off", "Выкл."},
        {"1 Div", "1 дел"},
        {"2 Div", "2 дел"},
        {"3 Div", "3 дел"},
        {"4 Div", "4 дел"},
        {"5 Div", "5 дел"},
        {"6 Div", "6 дел"},
        {"7 Div", "7 дел"},
        {"8 Div", "8 дел"},
        {"9 Div", "9 дел"},
    }},
    {{
        {1, {"Pulse Time Trigger", "Синхронизация по длительности импульса"}},
        {2, {"Period Trigger", "Синхронизация по периоду"}},
        {3, {"Runt Time Trigger", "Синхронизация по длительности ранта"}},
        {4, {"Slew Time Trigger", "Синхронизация по длительности перепада"}},
        {5, {"Pulse N Trigger (T separated)", "По номеру импульса с разделением временем T"}},
        {6, {"Pulse N Trigger (En separated)", "По номеру импульса с разделением сигналом En"}},
        {10, {"Video Line Trigger (PAL/SECAM/NTSC)", "По номеру строки видео PAL/SECAM/NTSC"}},
    }},
    {"Not applicable to D chanel (T = 0)", "Неприменимо к цифровому каналу (T = 0)"},
    {"T - Not applicable in this mode", "T - Неприменимо в данном режиме"},
    {"T = any", "T не учитывается"},
    {" - never true", " - невыполнимо"},
    {" - always true", " - всегда верно"},
    {"T inside   ", "T в интервале   "},
    {"T outside   ", "T вне интервала   "},
    {"N - Not applicable in this mode", "N - Неприменимо в данном режиме"},
    {"(Always true. T should be defined)", "(Всегда верно. T должно быть задано)"},
    {"(Never true. En should be defined)", "(Невыполнимо. En должен быть задан)"},
    {"Video Line = ", "Номер строки видеосигнала = "},
};

constexpr std::array<const char*, 4> kChannelNames = {"A1", "A2", "D1", "D2"};
// The order of the terms of the "En = " text.
constexpr std::array<int, 4> kEnTermOrder = {ChA1, ChD1, ChA2, ChD2};

constexpr int kVideoMode = 10;
constexpr int kMaxCount = 1000;
constexpr int kMaxVideoLine = 625;
constexpr int kNtscLines = 525;

// The fields a Cancel restores, in the order of TrigDialogSession::saved_.
constexpr std::array<int ScopeSettings::*, 10> kSavedFields = {
    &ScopeSettings::Pre,      &ScopeSettings::Hyst,    &ScopeSettings::Mode,  &ScopeSettings::T_Mode,
    &ScopeSettings::Tmin,     &ScopeSettings::Tmax,    &ScopeSettings::Tmult, &ScopeSettings::Levels,
    &ScopeSettings::Lev_Mask, &ScopeSettings::Extra_N,
};
constexpr int kFirstTriggerField = 2;  // Pre and Hyst do not change the trigger condition

bool IsDigitalSource(int source)
{
    return source == ChD1 || source == ChD2;
}

bool IsRuntOrSlewButton(int button)
{
    return button >= Rise_Runt && button <= Fall_Slew;
}

int ButtonOfMode(int mode, bool edgeDown)
{
    if (mode >= 1 && mode <= 6) return (mode - 1) * 2 + (edgeDown ? 1 : 0);
    if (mode == kVideoMode) return edgeDown ? Video : Video_Inv;
    return -1;
}

std::string TimeText(double ns)
{
    return FormatValue(ns, UnitKind::Time, -3);
}

std::string TimeCaption(const ScopeSettings& s, bool ru)
{
    if (s.Mode == 6 || s.Mode == kVideoMode) return Tr(kTexts.tNotApplicable, ru);
    if (s.T_Mode == 0) return Tr(kTexts.tAny, ru);

    const bool inside = s.T_Mode == 1;
    const double thr = s.Mode == 2 ? 20.0 : s.Mode == 4 ? 0.0 : 10.0;
    double tLo = static_cast<double>(s.Tmin) * s.Tmult * 10.0;
    const double tHi = static_cast<double>(s.Tmax) * s.Tmult * 10.0;

    std::string suffix;
    if (tHi <= thr) suffix = Tr(inside ? kTexts.neverTrue : kTexts.alwaysTrue, ru);
    if (tHi <= thr || (tLo <= thr && (!inside || s.Mode == 4)))
        return (inside ? " T < " : " T >= ") + TimeText(tHi) + suffix;

    tLo = std::max(tLo, thr);
    return Tr(inside ? kTexts.tInside : kTexts.tOutside, ru) + TimeText(tLo) + " ... " + TimeText(tHi);
}

}  // namespace

const std::array<const char*, TrigModeButtonCount>& TrigModeButtonNames()
{
    static const std::array<const char*, TrigModeButtonCount> names = {
        "SpeedButton_Rise_Pul",   "SpeedButton_Fall_Pul",   "SpeedButton_Rise_Per",    "SpeedButton_Fall_Per",
        "SpeedButton_Rise_Runt",  "SpeedButton_Fall_Runt",  "SpeedButton_Rise_Slew",   "SpeedButton_Fall_Slew",
        "SpeedButton_Extra_Rise", "SpeedButton_Extra_Fall", "SpeedButton_Extra2_Rise", "SpeedButton_Extra2_Fall",
        "SpeedButton_Video_Inv",  "SpeedButton_Video",
    };
    return names;
}

int ModeOfButton(int button)
{
    if (button >= Rise_Pul && button <= Extra2_Fall) return button / 2 + 1;
    if (button == Video_Inv || button == Video) return kVideoMode;
    return 0;
}

bool IsFallingButton(int button)
{
    if (button >= Rise_Pul && button <= Extra2_Fall) return button % 2 == 1;
    return button == Video;
}

void TrigFormShow(TrigDialogModel& m, ScopeSettings& s, bool russian)
{
    m.videoEntry = false;
    m.loading = true;

    m.preTrig = std::clamp(s.Pre, 0, 9);
    m.noiseReject = std::clamp(s.Hyst, 0, 9);
    m.tMode = s.T_Mode == 0 ? Check::Unchecked : s.T_Mode == 1 ? Check::Checked : Check::Grayed;
    m.tmin = std::clamp(s.Tmin, 0, 999);
    m.tmax = std::clamp(s.Tmax, 1, 1000);
    for (std::size_t i = 0; i < TimeRanges.size(); ++i) m.rangeDown[i] = TimeRanges[i].tmult == s.Tmult;
    for (int i = 0; i < 4; ++i) {
        m.en[i] = ((s.Levels >> i) & 1) ? Check::Checked : Check::Grayed;
        if (!((s.Lev_Mask >> i) & 1)) m.en[i] = Check::Unchecked;
    }
    m.modeDown = ButtonOfMode(s.Mode, s.Edge);
    m.extraMin = 1;
    m.extraMax = kMaxCount;
    m.extraN = std::clamp(s.Extra_N, 1, kMaxCount);

    m.caption = Tr(kTexts.caption, russian);
    m.preCaption = Tr(kTexts.preGroup, russian);
    m.nrCaption = Tr(kTexts.nrGroup, russian);
    m.tplusCaption = Tr(kTexts.tplusGroup, russian);
    m.cancelCaption = Tr(kTexts.cancel, russian);
    for (std::size_t i = 0; i < m.preItems.size(); ++i) {
        m.preItems[i] = Tr(kTexts.preItems[i], russian);
        m.nrItems[i] = Tr(HystSteps[i].item, russian);
    }

    m.loading = false;
    ReadTrigDialog(m, s);
    UpdateTrigTexts(m, s, russian);
}

void ReadTrigDialog(TrigDialogModel& m, ScopeSettings& s)
{
    const bool wasLoading = m.loading;
    m.loading = true;

    // Enable rules that follow the trigger source.
    const int source = s.Sel(Group::TrigSource);
    const bool digital = IsDigitalSource(source);
    m.modeLabelEnabled = !(IsRuntOrSlewButton(m.modeDown) && digital);
    for (int b = 0; b < TrigModeButtonCount; ++b) m.modeEnabled[b] = !(IsRuntOrSlewButton(b) && digital);
    for (int i = 0; i < 4; ++i) m.enEnabled[i] = i != source;

    // Entering video mode starts from the smallest noise-reject step and no
    // En qualifier. The flag is consumed here whatever the previous mode, so
    // a later change never repeats the reset.
    if (m.videoEntry && s.Mode != kVideoMode) {
        m.noiseReject = 1;
        m.en.fill(Check::Unchecked);
    }
    m.videoEntry = false;

    s.Pre = m.preTrig;
    s.Hyst = m.noiseReject;
    s.T_Mode = m.tMode == Check::Unchecked ? 0 : m.tMode == Check::Checked ? 1 : 2;
    s.Tmin = m.tmin;
    s.Tmax = m.tmax;
    for (std::size_t i = 0; i < TimeRanges.size(); ++i) {
        if (m.rangeDown[i]) {
            s.Tmult = TimeRanges[i].tmult;
            break;
        }
    }

    s.Levels = 0;
    s.Lev_Mask = 0;
    bool anyEn = false;
    for (int i = 0; i < 4; ++i) {
        if (m.en[i] == Check::Unchecked) continue;
        s.Lev_Mask |= 1 << i;
        if (m.en[i] == Check::Checked) s.Levels |= 1 << i;
        if (m.enEnabled[i]) anyEn = true;
    }

    s.Mode = ModeOfButton(m.modeDown);
    const int nmax = s.Mode == kVideoMode ? kMaxVideoLine : kMaxCount;
    // With no mode button down the buttons say nothing about the polarity;
    // the main window's edge then stays as it is.
    if (m.modeDown >= 0) s.Edge = IsFallingButton(m.modeDown);

    s.Extra_N = std::clamp(m.extraN, 1, nmax);
    m.extraN = s.Extra_N;
    m.extraMin = 1;
    m.extraMax = nmax;

    m.tModeEnabled = s.Mode != 6 && s.Mode != kVideoMode;
    m.timeEnabled = m.tModeEnabled && m.tMode != Check::Unchecked;
    m.extraEnabled = (s.Mode == 5 && s.T_Mode != 0) || (s.Mode == 6 && anyEn) || s.Mode == kVideoMode;

    m.loading = wasLoading;
}

void UpdateTrigTexts(TrigDialogModel& m, const ScopeSettings& s, bool russian)
{
    const bool digital = IsDigitalSource(s.Sel(Group::TrigSource));
    if ((s.Mode == 3 || s.Mode == 4) && digital) {
        m.modeLabel = Tr(kTexts.notForDigital, russian);
    } else {
        for (const ModeName& mn : kTexts.modes)
            if (mn.mode == s.Mode) m.modeLabel = Tr(mn.name, russian);
    }

    m.tModeCaption = TimeCaption(s, russian);

    for (int i = 0; i < 4; ++i) {
        m.enCaption[i] = kChannelNames[i];
        if (m.en[i] == Check::Grayed) m.enCaption[i] += " = 0";
        if (m.en[i] == Check::Checked) m.enCaption[i] += " = 1";
    }

    std::string terms;
    for (int ch : kEnTermOrder) {
        if (!((s.Lev_Mask >> ch) & 1) || !m.enEnabled[ch]) continue;
        if (!terms.empty()) terms += " && ";
        if (!((s.Levels >> ch) & 1)) terms += "~";
        terms += kChannelNames[ch];
    }
    const bool anyTerm = !terms.empty();
    m.levLabel = "En = " + (anyTerm ? terms : std::string("1"));

    switch (s.Mode) {
        case 5:
            m.extraLabel =
                s.T_Mode != 0 ? "N = " + std::to_string(s.Extra_N) : "N = 1 " + Tr(kTexts.tShouldBeDefined, russian);
            break;
        case 6:
            m.extraLabel =
                anyTerm ? "N = " + std::to_string(s.Extra_N) : "N = ... " + Tr(kTexts.enShouldBeDefined, russian);
            break;
        case kVideoMode:
            m.extraLabel = Tr(kTexts.videoLine, russian) + std::to_string(s.Extra_N);
            if (s.Extra_N > kNtscLines) m.extraLabel += "  (NTSC  " + std::to_string(s.Extra_N - kNtscLines) + ")";
            break;
        default:
            m.extraLabel = Tr(kTexts.nNotApplicable, russian);
            break;
    }
}

SettingsEffect TrigDialogChanged(TrigDialogModel& m, ScopeSettings& s, TrigChange what)
{
    if (m.loading) return {};

    bool raise = true;
    switch (what) {
        case TrigChange::PreTrig:
        case TrigChange::NoiseReject:
            raise = false;
            break;
        case TrigChange::Tmin:
            m.tmin = std::clamp(m.tmin, 0, 999);
            if (m.tmin >= m.tmax) m.tmax = m.tmin + 1;
            break;
        case TrigChange::Tmax:
            m.tmax = std::clamp(m.tmax, 1, 1000);
            if (m.tmax <= m.tmin) m.tmin = m.tmax - 1;
            break;
        case TrigChange::Mode:
            if (m.modeDown == Video || m.modeDown == Video_Inv) {
                m.videoEntry = true;
                raise = false;
            }
            break;
        default:
            break;
    }

    ReadTrigDialog(m, s);
    UpdateTrigTexts(m, s, s.Russian);
    SettingsEffect e;
    e.call = SettingsCall::Apply;
    e.rearmTrigger = raise;
    return e;
}

TrigDialogSession::TrigDialogSession(const ScopeSettings& s) : edge_(s.Edge)
{
    for (std::size_t i = 0; i < kSavedFields.size(); ++i) saved_[i] = s.*kSavedFields[i];
}

SettingsEffect TrigDialogSession::Cancel(ScopeSettings& s) const
{
    bool trigDiffers = s.Edge != edge_;
    bool anyDiffers = trigDiffers;
    for (std::size_t i = 0; i < kSavedFields.size(); ++i) {
        int& field = s.*kSavedFields[i];
        if (field == saved_[i]) continue;
        anyDiffers = true;
        if (i >= kFirstTriggerField) trigDiffers = true;
        field = saved_[i];
    }
    s.Edge = edge_;

    SettingsEffect e;
    e.rearmTrigger = trigDiffers;
    if (anyDiffers) e.call = SettingsCall::Apply;
    return e;
}

}  // namespace kr40
