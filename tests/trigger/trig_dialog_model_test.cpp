#include "trigger/trig_dialog_model.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

#include "state/compose.h"
#include "state/scope_state.h"

namespace kr40 {
namespace {

// The dialog over a fresh program state, in English unless a test asks.
struct Dialog {
    Dialog() { s.Russian = false; }

    ScopeState st;
    ScopeSettings& s = st.settings;
    TrigDialogModel m;

    void Show() { TrigFormShow(m, s, s.Russian); }
    // A control change, with the requests of earlier steps cleared first.
    bool Change(TrigChange what)
    {
        ClearRequests();
        const SettingsEffect e = TrigDialogChanged(m, s, what);
        CarrySettingsEffect(st, e);
        return e.call != SettingsCall::None;
    }
    void ClearRequests()
    {
        st.requests.TrigChanged = false;
        st.requests.SettingsRequest = false;
    }
    bool TrigChanged() const { return st.requests.TrigChanged; }
    bool Applied() const { return st.requests.SettingsRequest; }
};

constexpr Check U = Check::Unchecked, C = Check::Checked, G = Check::Grayed;

// ---------------------------------------------------------------------------
// Loading the controls.

TEST(TrigDialogShow, LoadsControlsAndReadsThemBack)
{
    Dialog d;
    d.s.Pre = 4;
    d.s.Hyst = 6;
    d.s.T_Mode = 2;
    d.s.Tmin = 12;
    d.s.Tmax = 345;
    d.s.Tmult = 1000;
    d.s.Levels = 0b0101;  // A1's level bit without its mask bit
    d.s.Lev_Mask = 0b0110;
    d.s.Mode = 5;
    d.s.Edge = true;
    d.s.Extra_N = 77;
    d.Show();

    EXPECT_FALSE(d.m.loading);
    EXPECT_EQ(d.m.preTrig, 4);
    EXPECT_EQ(d.m.noiseReject, 6);
    EXPECT_EQ(d.m.tMode, G);
    EXPECT_EQ(d.m.tmin, 12);
    EXPECT_EQ(d.m.tmax, 345);
    EXPECT_EQ(d.m.rangeDown, (std::array<bool, 6>{false, false, false, true, false, false}));
    EXPECT_EQ(d.m.en, (std::array<Check, 4>{U, G, C, U}));
    EXPECT_EQ(d.m.modeDown, Extra_Fall);
    EXPECT_EQ(d.m.extraN, 77);
    EXPECT_EQ(d.m.extraMin, 1);
    EXPECT_EQ(d.m.extraMax, 1000);
    EXPECT_TRUE(d.m.extraEnabled);  // count mode with a T condition
    EXPECT_TRUE(d.m.timeEnabled);
    EXPECT_EQ(d.m.modeLabel, "Pulse N Trigger (T separated)");

    EXPECT_EQ(d.m.caption, "Trigger Settings");
    EXPECT_EQ(d.m.preCaption, "Pre Trigger");
    EXPECT_EQ(d.m.nrCaption, "Noise Reject / Double Level");
    EXPECT_EQ(d.m.tplusCaption, "Additional Trigger Conditions (T+)");
    EXPECT_EQ(d.m.cancelCaption, "Cancel");
    EXPECT_EQ(d.m.preItems[0], "Off");
    EXPECT_EQ(d.m.preItems[9], "9 Div");
    EXPECT_EQ(d.m.nrItems[1], "0,1 Div");
    EXPECT_EQ(d.m.nrItems[5], "1.5 Div");

    // Read back: the level bits are rebuilt from the boxes, the rest survives.
    EXPECT_EQ(d.s.Levels, 0b0100);
    EXPECT_EQ(d.s.Lev_Mask, 0b0110);
    EXPECT_EQ(d.s.Pre, 4);
    EXPECT_EQ(d.s.Hyst, 6);
    EXPECT_EQ(d.s.T_Mode, 2);
    EXPECT_EQ(d.s.Tmult, 1000);
    EXPECT_EQ(d.s.Mode, 5);
    EXPECT_TRUE(d.s.Edge);
    EXPECT_EQ(d.s.Extra_N, 77);
}

TEST(TrigDialogShow, RangeButtonOfTmult)
{
    struct Case {
        int tmult;
        int down;  // -1 = none
    };
    for (const Case& c : {Case{1, 0}, Case{10, 1}, Case{100000, 5}, Case{7, -1}}) {
        SCOPED_TRACE(c.tmult);
        Dialog d;
        d.s.Tmult = c.tmult;
        d.Show();
        for (int i = 0; i < 6; ++i) EXPECT_EQ(d.m.rangeDown[i], i == c.down) << i;
        EXPECT_EQ(d.s.Tmult, c.tmult);  // no button down leaves the multiplier
    }
}

TEST(TrigDialogShow, ModeButtonOfModeAndEdge)
{
    struct Case {
        int mode;
        bool edge;
        int button;
    };
    constexpr Case kCases[] = {
        {1, false, Rise_Pul}, {1, true, Fall_Pul},    {2, true, Fall_Per}, {3, false, Rise_Runt},
        {4, true, Fall_Slew}, {6, true, Extra2_Fall}, {10, true, Video},   {10, false, Video_Inv},
        {0, true, -1},  // no button down: the main window's edge is left as it is
        {0, false, -1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "Mode " << c.mode << " Edge " << c.edge);
        Dialog d;
        d.s.Mode = c.mode;
        d.s.Edge = c.edge;
        d.Show();
        EXPECT_EQ(d.m.modeDown, c.button);
        EXPECT_EQ(d.s.Mode, c.mode);
        EXPECT_EQ(d.s.Edge, c.edge);
    }
}

// ---------------------------------------------------------------------------
// Change handlers.

void SetPre(TrigDialogModel& m)
{
    m.preTrig = 3;
}
void SetNr(TrigDialogModel& m)
{
    m.noiseReject = 4;
}
void SetTMode(TrigDialogModel& m)
{
    m.tMode = G;
}
void SetTmin(TrigDialogModel& m)
{
    m.tmin = 100;
}
void SetTmax(TrigDialogModel& m)
{
    m.tmax = 900;
}
void SetRange(TrigDialogModel& m)
{
    m.rangeDown = {false, true, false, false, false, false};
}
void SetEn(TrigDialogModel& m)
{
    m.en[3] = C;
}
void SetPeriod(TrigDialogModel& m)
{
    m.modeDown = Fall_Per;
}
void SetVideo(TrigDialogModel& m)
{
    m.modeDown = Video;
}
void SetVideoInv(TrigDialogModel& m)
{
    m.modeDown = Video_Inv;
}
void SetExtraN(TrigDialogModel& m)
{
    m.extraN = 7;
}

TEST(TrigDialogChanges, EveryChangeIsAppliedAndTheTriggerConditionReArms)
{
    struct Case {
        const char* name;
        TrigChange what;
        void (*edit)(TrigDialogModel&);
        bool trigChanged;
    };
    const Case kCases[] = {
        {"PreTrig", TrigChange::PreTrig, SetPre, false},
        {"NoiseReject", TrigChange::NoiseReject, SetNr, false},
        {"TMode", TrigChange::TMode, SetTMode, true},
        {"Tmin", TrigChange::Tmin, SetTmin, true},
        {"Tmax", TrigChange::Tmax, SetTmax, true},
        {"Range", TrigChange::Range, SetRange, true},
        {"En", TrigChange::En, SetEn, true},
        {"ModePeriod", TrigChange::Mode, SetPeriod, true},
        {"ModeVideo", TrigChange::Mode, SetVideo, false},
        {"ModeVideoInv", TrigChange::Mode, SetVideoInv, false},
        {"ExtraN", TrigChange::ExtraN, SetExtraN, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Dialog d;
        d.Show();
        c.edit(d.m);
        EXPECT_TRUE(d.Change(c.what));
        EXPECT_EQ(d.TrigChanged(), c.trigChanged);
        EXPECT_TRUE(d.Applied());
    }
}

TEST(TrigDialogChanges, LoadingGuardSwallowsChanges)
{
    Dialog d;
    d.Show();
    d.m.loading = true;
    d.m.preTrig = 5;
    d.m.modeDown = Fall_Per;
    EXPECT_FALSE(d.Change(TrigChange::Mode));
    EXPECT_EQ(d.s.Pre, 1);
    EXPECT_EQ(d.s.Mode, 1);
    EXPECT_FALSE(d.s.Edge);
    EXPECT_FALSE(d.TrigChanged());
    EXPECT_FALSE(d.Applied());
}

TEST(TrigDialogChanges, TimeBarsPushEachOther)
{
    struct Case {
        TrigChange what;
        int tmin, tmax;  // bar positions after the user's move
        int wantTmin, wantTmax;
    };
    constexpr Case kCases[] = {
        {TrigChange::Tmin, 500, 400, 500, 501},  {TrigChange::Tmin, 400, 400, 400, 401},
        {TrigChange::Tmin, 999, 400, 999, 1000}, {TrigChange::Tmin, 200, 600, 200, 600},
        {TrigChange::Tmax, 500, 300, 299, 300},  {TrigChange::Tmax, 500, 1, 0, 1},
        {TrigChange::Tmax, 500, 501, 500, 501},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "Tmin " << c.tmin << " Tmax " << c.tmax);
        Dialog d;
        d.s.TPLUS = true;
        d.s.T_Mode = 1;
        d.Show();  // range 1 mS: Tmult 100
        d.m.tmin = c.tmin;
        d.m.tmax = c.tmax;
        d.Change(c.what);
        EXPECT_EQ(d.m.tmin, c.wantTmin);
        EXPECT_EQ(d.m.tmax, c.wantTmax);
        EXPECT_EQ(d.s.Tmin, c.wantTmin);
        EXPECT_EQ(d.s.Tmax, c.wantTmax);
        EXPECT_EQ(d.st.acq.T_Lo, static_cast<std::uint32_t>(c.wantTmin * 100));
        EXPECT_EQ(d.st.acq.T_Hi, static_cast<std::uint32_t>(c.wantTmax * 100));
    }
}

TEST(TrigDialogChanges, NoiseRejectItemSetsTheComparatorWindow)
{
    struct Case {
        double lev;
        int item;
        int lo, hi;
    };
    constexpr Case kCases[] = {
        {100.5, 1, 99, 103},   // L rounds half away to 101
        {1.0, 3, 1, 9},        // 1 - 8 would be below 1
        {250.0, 4, 234, 255},  // 250 + 16 is capped
        {120.0, 0, 120, 120},  // "Off": both thresholds at L
        {0.0, 0, 1, 1},        // ... except L = 0; the window stays within 1..255
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "Lev " << c.lev << " item " << c.item);
        Dialog d;
        d.s.Lev_A1 = c.lev;
        d.s.Hyst = c.item == 5 ? 6 : 5;  // start elsewhere so the click is a real change
        d.Show();
        d.m.noiseReject = c.item;
        d.Change(TrigChange::NoiseReject);
        EXPECT_EQ(d.s.Hyst, c.item);
        EXPECT_EQ(d.st.acq.Trig_Lo_A1, c.lo);
        EXPECT_EQ(d.st.acq.Trig_Hi_A1, c.hi);
    }
}

// ---------------------------------------------------------------------------
// Mode buttons.

TEST(TrigDialogMode, ButtonSetsModeEdgeAndLabel)
{
    struct Case {
        int button;
        int mode;
        bool edge;
        const char* label;
    };
    const Case kCases[] = {
        {Fall_Pul, 1, true, "Pulse Time Trigger"},
        {Fall_Per, 2, true, "Period Trigger"},
        {Rise_Runt, 3, false, "Runt Time Trigger"},
        {Fall_Slew, 4, true, "Slew Time Trigger"},
        {Extra_Fall, 5, true, "Pulse N Trigger (T separated)"},
        {Extra2_Rise, 6, false, "Pulse N Trigger (En separated)"},
        {Video, 10, true, "Video Line Trigger (PAL/SECAM/NTSC)"},
        {Video_Inv, 10, false, "Video Line Trigger (PAL/SECAM/NTSC)"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(TrigModeButtonNames()[c.button]);
        Dialog d;
        d.s.Edge = !c.edge;
        d.s.Mode = c.mode == 1 ? 2 : 1;
        d.Show();
        d.m.modeDown = c.button;
        d.Change(TrigChange::Mode);
        EXPECT_EQ(d.s.Mode, c.mode);
        EXPECT_EQ(d.s.Edge, c.edge);
        EXPECT_EQ((d.st.acq.Acq_Flags & AcqEdge) != 0, c.edge);
        EXPECT_EQ(d.m.modeLabel, c.label);
    }
}

TEST(TrigDialogMode, DigitalSourceDisablesRuntAndSlew)
{
    struct Case {
        int source;
        int mode;
        const char* label;
        bool labelEnabled;
        bool runtSlewEnabled;
    };
    const Case kCases[] = {
        {ChD1, 3, "Not applicable to D chanel (T = 0)", false, false},
        {ChD2, 4, "Not applicable to D chanel (T = 0)", false, false},
        {ChD1, 1, "Pulse Time Trigger", true, false},
        {ChA2, 3, "Runt Time Trigger", true, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(testing::Message() << "source " << c.source << " Mode " << c.mode);
        Dialog d;
        d.s.Sel(Group::TrigSource) = c.source;
        d.s.Mode = c.mode;
        d.Show();
        EXPECT_EQ(d.m.modeLabel, c.label);
        EXPECT_EQ(d.m.modeLabelEnabled, c.labelEnabled);
        for (int b = 0; b < TrigModeButtonCount; ++b) {
            const bool runtOrSlew = b >= Rise_Runt && b <= Fall_Slew;
            EXPECT_EQ(d.m.modeEnabled[b], runtOrSlew ? c.runtSlewEnabled : true) << TrigModeButtonNames()[b];
        }
    }
}

TEST(TrigDialogMode, TPlusUpKeepsOnlyTheModeBits)
{
    Dialog d;
    d.s.TPLUS = false;
    d.s.Levels = 0b1000;
    d.s.Lev_Mask = 0b1000;
    d.s.T_Mode = 1;
    d.Show();
    d.m.modeDown = Rise_Per;
    d.Change(TrigChange::Mode);
    EXPECT_EQ(d.s.Mode, 2);
    EXPECT_EQ(d.st.acq.Mode_Flags & 0x78, 0x20);
    EXPECT_EQ(d.st.acq.TPlus_Flags, 0);
    EXPECT_EQ(d.st.acq.Trig_Lev_Bits, 0);
}

// ---------------------------------------------------------------------------
// Video mode.

TEST(TrigDialogVideo, EnteringVideoFromPulseMode)
{
    Dialog d;
    d.s.TPLUS = true;
    d.s.Mode = 1;
    d.s.Edge = false;
    d.s.Hyst = 5;
    d.s.Levels = 0b1010;
    d.s.Lev_Mask = 0b1110;
    d.s.Extra_N = 900;
    d.Show();

    d.m.modeDown = Video;
    d.Change(TrigChange::Mode);
    EXPECT_EQ(d.m.noiseReject, 1);
    EXPECT_EQ(d.s.Hyst, 1);
    EXPECT_EQ(d.m.en, (std::array<Check, 4>{U, U, U, U}));
    EXPECT_EQ(d.s.Levels, 0);
    EXPECT_EQ(d.s.Lev_Mask, 0);
    EXPECT_EQ(d.m.extraMax, 625);
    EXPECT_EQ(d.m.extraN, 625);
    EXPECT_EQ(d.s.Extra_N, 625);
    EXPECT_TRUE(d.s.Edge);
    EXPECT_FALSE(d.m.videoEntry);
    EXPECT_FALSE(d.TrigChanged());
    EXPECT_TRUE(d.m.extraEnabled);
    EXPECT_FALSE(d.m.tModeEnabled);
    EXPECT_FALSE(d.m.timeEnabled);

    d.m.extraN = 600;
    d.Change(TrigChange::ExtraN);
    EXPECT_EQ(d.m.extraLabel, "Video Line = 600  (NTSC  75)");
    EXPECT_EQ(d.st.acq.Trig_N, 600u);
    EXPECT_EQ(d.st.acq.TPlus_Flags, 0x10);
    EXPECT_TRUE(d.TrigChanged());
}

TEST(TrigDialogVideo, ResetHappensOnlyWhenEnteringVideoMode)
{
    Dialog d;
    d.s.Mode = 10;
    d.s.Edge = true;
    d.s.Hyst = 5;
    d.s.Levels = 0b1000;
    d.s.Lev_Mask = 0b1000;
    d.Show();

    // Switching polarity inside video mode keeps the user's choices.
    d.m.modeDown = Video_Inv;
    d.Change(TrigChange::Mode);
    EXPECT_FALSE(d.s.Edge);
    EXPECT_EQ(d.s.Hyst, 5);
    EXPECT_EQ(d.s.Lev_Mask, 0b1000);

    // Nor does a later change in another mode repeat the reset.
    d.m.modeDown = Rise_Pul;
    d.Change(TrigChange::Mode);
    d.m.tmin = 10;
    d.Change(TrigChange::Tmin);
    EXPECT_EQ(d.s.Mode, 1);
    EXPECT_EQ(d.m.noiseReject, 5);
    EXPECT_EQ(d.s.Hyst, 5);
    EXPECT_EQ(d.m.en[3], C);
    EXPECT_EQ(d.s.Lev_Mask, 0b1000);
}

// ---------------------------------------------------------------------------
// Captions.

TEST(TrigDialogTexts, TimeCondition)
{
    struct Case {
        const char* name;
        int mode, tMode, tmin, tmax, tmult;
        const char* caption;
        bool tModeEnabled, timeEnabled;
    };
    const Case kCases[] = {
        {"PulseNeverTrue", 1, 1, 0, 1, 1, " T < 10.0 nS - never true", true, true},
        {"PulseAlwaysTrue", 1, 2, 0, 1, 1, " T >= 10.0 nS - always true", true, true},
        {"PeriodLowRaised", 2, 1, 1, 5, 1, "T inside   20.0 nS ... 50.0 nS", true, true},
        {"PeriodAtThreshold", 2, 1, 1, 2, 1, " T < 20.0 nS - never true", true, true},
        {"OutsideLowAtThreshold", 1, 2, 1, 5, 1, " T >= 50.0 nS", true, true},
        {"SlewFromZero", 4, 1, 0, 5, 1, " T < 50.0 nS", true, true},
        {"SlewInside", 4, 1, 1, 5, 1, "T inside   10.0 nS ... 50.0 nS", true, true},
        {"PulseOutside", 1, 2, 500, 600, 100, "T outside   500 uS ... 600 uS", true, true},
        {"SecondsRange", 3, 1, 999, 1000, 100000, "T inside   999 mS ... 1.00 S", true, true},
        {"AnyT", 1, 0, 500, 600, 100, "T = any", true, false},
        {"CountEn", 6, 1, 500, 600, 100, "T - Not applicable in this mode", false, false},
        {"Video", 10, 2, 500, 600, 100, "T - Not applicable in this mode", false, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Dialog d;
        d.s.Mode = c.mode;
        d.s.T_Mode = c.tMode;
        d.s.Tmin = c.tmin;
        d.s.Tmax = c.tmax;
        d.s.Tmult = c.tmult;
        d.Show();
        EXPECT_EQ(d.m.tModeCaption, c.caption);
        EXPECT_EQ(d.m.tModeEnabled, c.tModeEnabled);
        EXPECT_EQ(d.m.timeEnabled, c.timeEnabled);
    }
}

TEST(TrigDialogTexts, CountLabelAndCount)
{
    struct Case {
        const char* name;
        int mode, tMode, levMask, extraN;
        const char* label;
        bool enabled;
        std::uint32_t trigN;
    };
    const Case kCases[] = {
        {"CountWithoutT", 5, 0, 0, 37, "N = 1 (Always true. T should be defined)", false, 1},
        {"CountWithT", 5, 1, 0, 37, "N = 37", true, 37},
        // The source's own En box is disabled and does not count.
        {"CountEnOnlySourceBox", 6, 0, 0b0001, 12, "N = ... (Never true. En should be defined)", false, 1},
        {"CountEnD2", 6, 0, 0b1000, 12, "N = 12", true, 12},
        {"VideoPal", 10, 0, 0, 300, "Video Line = 300", true, 300},
        {"VideoNtsc", 10, 0, 0, 600, "Video Line = 600  (NTSC  75)", true, 600},
        {"VideoLimited", 10, 0, 0, 900, "Video Line = 625  (NTSC  100)", true, 625},
        {"Pulse", 1, 1, 0, 37, "N - Not applicable in this mode", false, 1},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Dialog d;
        d.s.TPLUS = true;
        d.s.Mode = c.mode;
        d.s.T_Mode = c.tMode;
        d.s.Levels = c.levMask;
        d.s.Lev_Mask = c.levMask;
        d.s.Extra_N = c.extraN;
        d.Show();
        EXPECT_EQ(d.m.extraLabel, c.label);
        EXPECT_EQ(d.m.extraEnabled, c.enabled);
        ComposeAcqConfig(d.st);
        EXPECT_EQ(d.st.acq.Trig_N, c.trigN);
    }
}

TEST(TrigDialogTexts, EnBoxesAndLevelLabel)
{
    struct Case {
        const char* name;
        int source;
        std::array<Check, 4> en;
        const char* levLabel;
        std::array<const char*, 4> captions;
        std::uint8_t levBits;
    };
    const Case kCases[] = {
        {"NotA1AndD2", ChA2, {G, U, U, C}, "En = ~A1 && D2", {"A1 = 0", "A2", "D1", "D2 = 1"}, 0x98},
        {"TermOrderA1D1A2", ChD2, {C, C, G, U}, "En = A1 && ~D1 && A2", {"A1 = 1", "A2 = 1", "D1 = 0", "D2"}, 0x73},
        {"SourceBoxLeftOut", ChA1, {C, U, U, U}, "En = 1", {"A1 = 1", "A2", "D1", "D2"}, 0x11},
        {"NoBox", ChA1, {U, U, U, U}, "En = 1", {"A1", "A2", "D1", "D2"}, 0x00},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Dialog d;
        d.s.TPLUS = true;
        d.s.Mode = 6;
        d.s.Sel(Group::TrigSource) = c.source;
        d.Show();
        d.m.en = c.en;
        d.Change(TrigChange::En);
        for (int i = 0; i < 4; ++i) {
            EXPECT_EQ(d.m.enEnabled[i], i != c.source) << i;
            EXPECT_EQ(d.m.enCaption[i], c.captions[i]) << i;
        }
        EXPECT_EQ(d.m.levLabel, c.levLabel);
        EXPECT_EQ(d.st.acq.Trig_Lev_Bits, c.levBits);
        EXPECT_TRUE(d.TrigChanged());
    }
}

TEST(TrigDialogTexts, RussianTexts)
{
    Dialog d;
    d.s.Russian = true;
    d.s.Mode = 10;
    d.s.Edge = true;
    d.s.Extra_N = 600;
    d.Show();
    EXPECT_EQ(d.m.caption, "Установки синхронизации");
    EXPECT_EQ(d.m.preCaption, "Длина предвыборки");
    EXPECT_EQ(d.m.nrCaption, "Шумоподавл. / Двойной уровень");
    EXPECT_EQ(d.m.tplusCaption, "Дополнительные режимы синхронизации (T+)");
    EXPECT_EQ(d.m.cancelCaption, "Отмена");
    EXPECT_EQ(d.m.preItems[0], "Выкл.");
    EXPECT_EQ(d.m.preItems[9], "9 дел");
    EXPECT_EQ(d.m.nrItems[1], "0,1 дел");
    EXPECT_EQ(d.m.modeLabel, "По номеру строки видео PAL/SECAM/NTSC");
    EXPECT_EQ(d.m.tModeCaption, "T - Неприменимо в данном режиме");
    EXPECT_EQ(d.m.extraLabel, "Номер строки видеосигнала = 600  (NTSC  75)");

    // A change handler takes the language from the settings.
    d.m.modeDown = Rise_Pul;
    d.m.tMode = C;
    d.m.tmin = 1;
    d.m.tmax = 5;
    d.m.rangeDown = {true, false, false, false, false, false};
    d.Change(TrigChange::Mode);
    EXPECT_EQ(d.m.modeLabel, "Синхронизация по длительности импульса");
    EXPECT_EQ(d.m.tModeCaption, "T в интервале   10.0 nS ... 50.0 nS");
    EXPECT_EQ(d.m.extraLabel, "N - Неприменимо в данном режиме");
}

// ---------------------------------------------------------------------------
// Cancel.

void EditPre(TrigDialogModel& m)
{
    m.preTrig = 7;
}
void EditPeriod(TrigDialogModel& m)
{
    m.modeDown = Fall_Per;
}
void EditRange(TrigDialogModel& m)
{
    m.rangeDown = {false, false, false, false, false, true};
}

TEST(TrigDialogCancel, RestoresTheFieldsAndTheEdge)
{
    struct Case {
        const char* name;
        TrigChange what;
        void (*edit)(TrigDialogModel&);  // nullptr: the dialog is closed untouched
        bool applied, trigChanged;
    };
    const Case kCases[] = {
        {"Untouched", TrigChange::PreTrig, nullptr, false, false},
        {"PreTrigOnly", TrigChange::PreTrig, EditPre, true, false},
        {"NoiseRejectOnly", TrigChange::NoiseReject, SetNr, true, false},
        {"ModeAndEdge", TrigChange::Mode, EditPeriod, true, true},
        {"Range", TrigChange::Range, EditRange, true, true},
        {"VideoEntry", TrigChange::Mode, SetVideo, true, true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        Dialog d;
        d.s.Hyst = 3;
        d.s.Levels = 0b0010;
        d.s.Lev_Mask = 0b0110;
        d.s.Extra_N = 800;
        ComposeAcqConfig(d.st);
        const ScopeSettings before = d.s;
        const std::uint32_t preN = d.st.acq.Pre_N;

        const TrigDialogSession session(d.s);
        d.Show();
        if (c.edit != nullptr) {
            c.edit(d.m);
            d.Change(c.what);
        }
        d.ClearRequests();
        const SettingsEffect e = session.Cancel(d.s);
        CarrySettingsEffect(d.st, e);
        EXPECT_EQ(e.call == SettingsCall::Apply, c.applied);
        EXPECT_EQ(d.Applied(), c.applied);
        EXPECT_EQ(d.TrigChanged(), c.trigChanged);

        EXPECT_EQ(d.s.Pre, before.Pre);
        EXPECT_EQ(d.s.Hyst, before.Hyst);
        EXPECT_EQ(d.s.Mode, before.Mode);
        EXPECT_EQ(d.s.T_Mode, before.T_Mode);
        EXPECT_EQ(d.s.Tmin, before.Tmin);
        EXPECT_EQ(d.s.Tmax, before.Tmax);
        EXPECT_EQ(d.s.Tmult, before.Tmult);
        EXPECT_EQ(d.s.Levels, before.Levels);
        EXPECT_EQ(d.s.Lev_Mask, before.Lev_Mask);
        EXPECT_EQ(d.s.Extra_N, before.Extra_N);
        EXPECT_EQ(d.s.Edge, before.Edge);
        EXPECT_EQ(d.st.acq.Pre_N, preN);
    }
}

}  // namespace
}  // namespace kr40
