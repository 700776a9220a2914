#include "ui/keyboard.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "acquisition/scope_tables.h"

namespace kr40 {
namespace {

// The fields the keyboard may touch; everything else must stay as it was.
auto Snapshot(const ScopeSettings& s)
{
    return std::make_tuple(s.group, s.FFT_View_A1, s.FFT_View_A2, s.FFT_Ave_On, s.FFT_Ave, s.FFT_15dB_div,
                           s.FFT_Calc_Both, s.FFT_dbv_v, s.FFT_Zoom, s.X_Pos, s.Run_Down, s.Sngl_Down);
}

void Spectrum(ScopeSettings& s)
{
    s.FFT_View_A1 = true;
}

struct Case {
    const char* name;
    std::function<void(ScopeSettings&)> setup;
    Key key;
    bool ctrl, shift;
    std::function<void(ScopeSettings&)> change;  // expected change of the settings
    SettingsCall call;
    bool restart = false, rangeA1 = false, rangeA2 = false;
    int xPosMax = 3000;
};

const auto kNone = [](ScopeSettings&) {};

TEST(KeyboardTest, KeyTable)
{
    const int tb1ms = TimeBaseIndex("1mS");
    const int v2 = VoltsIndex("2V"), v1 = VoltsIndex("1V"), v05 = VoltsIndex("05V"), v50m = VoltsIndex("50mV");
    const Case cases[] = {
        // Time base: Right = faster, Left = slower; at the ends nothing changes but the settings are applied.
        {"Right at 50 nS", [](ScopeSettings& s) { s.Sel(Group::TimeBase) = TimeBaseCount - 1; }, Key::Right, false,
         false, kNone, SettingsCall::Apply},
        {"Left at 20 S", [](ScopeSettings& s) { s.Sel(Group::TimeBase) = 0; }, Key::Left, false, false, kNone,
         SettingsCall::Apply},
        {"Left at 1 mS", [&](ScopeSettings& s) { s.Sel(Group::TimeBase) = tb1ms; }, Key::Left, false, false,
         [&](ScopeSettings& s) { s.Sel(Group::TimeBase) = TimeBaseIndex("2mS"); }, SettingsCall::Apply},
        {"Ctrl+Right without spectrum", kNone, Key::Right, true, false, kNone, SettingsCall::None},

        // Volts/div: Up/Down for A1, Shift for A2.
        {"Up at 2 V", [&](ScopeSettings& s) { s.Sel(Group::VoltsA1) = v2; }, Key::Up, false, false, kNone,
         SettingsCall::Apply},
        {"Up at 1 V", [&](ScopeSettings& s) { s.Sel(Group::VoltsA1) = v1; }, Key::Up, false, false,
         [&](ScopeSettings& s) { s.Sel(Group::VoltsA1) = v2; }, SettingsCall::Apply, false, true},
        {"Down at 1 V", [&](ScopeSettings& s) { s.Sel(Group::VoltsA1) = v1; }, Key::Down, false, false,
         [&](ScopeSettings& s) { s.Sel(Group::VoltsA1) = v05; }, SettingsCall::Apply, false, true},
        {"Shift+Down at 1 V", [&](ScopeSettings& s) { s.Sel(Group::VoltsA2) = v1; }, Key::Down, false, true,
         [&](ScopeSettings& s) { s.Sel(Group::VoltsA2) = v05; }, SettingsCall::Apply, false, false, true},
        {"Shift+Down at 50 mV", [&](ScopeSettings& s) { s.Sel(Group::VoltsA2) = v50m; }, Key::Down, false, true, kNone,
         SettingsCall::Apply},

        // Horizontal position.
        {"Shift+Left clamps at 0", [](ScopeSettings& s) { s.X_Pos = 5; }, Key::Left, false, true,
         [](ScopeSettings& s) { s.X_Pos = 0; }, SettingsCall::Refresh},
        {"Shift+Right clamps at 3000", [](ScopeSettings& s) { s.X_Pos = 2995; }, Key::Right, false, true,
         [](ScopeSettings& s) { s.X_Pos = 3000; }, SettingsCall::Refresh},
        {"Shift+Right clamps at the spectrum range", [](ScopeSettings& s) { s.X_Pos = 508; }, Key::Right, false, true,
         [](ScopeSettings& s) { s.X_Pos = 512; }, SettingsCall::Refresh, false, false, false, 512},
        {"Shift+Right", [](ScopeSettings& s) { s.X_Pos = 100; }, Key::Right, false, true,
         [](ScopeSettings& s) { s.X_Pos = 110; }, SettingsCall::Refresh},

        // Spectrum keys.
        {"A toggles averaging", Spectrum, Key::A, false, false, [](ScopeSettings& s) { s.FFT_Ave_On = true; },
         SettingsCall::Refresh, true},
        {"A without spectrum", kNone, Key::A, false, false, kNone, SettingsCall::None},
        {"Ctrl+A with averaging off", Spectrum, Key::A, true, false, kNone, SettingsCall::None},
        {"Ctrl+A steps the count",
         [](ScopeSettings& s) {
             Spectrum(s);
             s.FFT_Ave_On = true;
             s.FFT_Ave = 5;
         },
         Key::A, true, false, [](ScopeSettings& s) { s.FFT_Ave = 6; }, SettingsCall::Refresh},
        {"Ctrl+A wraps after Inf",
         [](ScopeSettings& s) {
             s.FFT_View_A2 = true;
             s.FFT_Ave_On = true;
             s.FFT_Ave = 6;
         },
         Key::A, true, false, [](ScopeSettings& s) { s.FFT_Ave = 0; }, SettingsCall::Refresh},
        {"Ctrl+D", Spectrum, Key::D, true, false, [](ScopeSettings& s) { s.FFT_15dB_div = true; },
         SettingsCall::Refresh},
        {"D alone", Spectrum, Key::D, false, false, kNone, SettingsCall::None},
        {"Ctrl+W", Spectrum, Key::W, true, false, [](ScopeSettings& s) { s.FFT_Calc_Both = true; },
         SettingsCall::Refresh},
        {"V", Spectrum, Key::V, false, false, [](ScopeSettings& s) { s.FFT_dbv_v = true; }, SettingsCall::Refresh},
        {"V without spectrum", kNone, Key::V, false, false, kNone, SettingsCall::None},
        {"Ctrl+Right zooms",
         [](ScopeSettings& s) {
             Spectrum(s);
             s.FFT_Zoom = 2;
         },
         Key::Right, true, false, [](ScopeSettings& s) { s.FFT_Zoom = 3; }, SettingsCall::Refresh},
        {"Ctrl+Right at 50x",
         [](ScopeSettings& s) {
             Spectrum(s);
             s.FFT_Zoom = 5;
         },
         Key::Right, true, false, kNone, SettingsCall::Refresh},
        {"Ctrl+Left at none",
         [](ScopeSettings& s) {
             Spectrum(s);
             s.FFT_Zoom = 0;
         },
         Key::Left, true, false, kNone, SettingsCall::Refresh},

        {"Other key", Spectrum, Key::Other, true, true, kNone, SettingsCall::None},
    };

    for (const Case& c : cases) {
        ScopeSettings s;
        c.setup(s);
        ScopeSettings expected = s;
        c.change(expected);
        KeyContext ctx;
        ctx.xPosMax = c.xPosMax;
        const KeyOutcome o = FormKeyDown(s, c.key, c.ctrl, c.shift, ctx);
        EXPECT_TRUE(Snapshot(s) == Snapshot(expected)) << c.name;
        EXPECT_EQ(o.call, c.call) << c.name;
        EXPECT_TRUE(o.actions.empty()) << c.name;
        EXPECT_EQ(o.restartSpectrum, c.restart) << c.name;
        EXPECT_EQ(o.rangeChangedA1, c.rangeA1) << c.name;
        EXPECT_EQ(o.rangeChangedA2, c.rangeA2) << c.name;
    }
}

TEST(KeyboardTest, SpaceAndEnterToggleRunAndSingle)
{
    ScopeSettings s;
    const ScopeSettings before = s;
    const KeyOutcome run = FormKeyDown(s, Key::Space, false, false, {});
    EXPECT_EQ(run.actions, std::vector<KeyAction>{KeyAction::ToggleRun});
    EXPECT_EQ(run.call, SettingsCall::None);  // the button's click applies the settings
    const KeyOutcome single = FormKeyDown(s, Key::Enter, false, false, {});
    EXPECT_EQ(single.actions, std::vector<KeyAction>{KeyAction::ToggleSingle});
    EXPECT_TRUE(Snapshot(s) == Snapshot(before));
}

TEST(KeyboardTest, FChoosesTheSpectrumClicks)
{
    using A = KeyAction;
    struct FCase {
        bool a1Shown, a2Shown, ctrl, a1Enabled, a2Enabled;
        std::vector<KeyAction> actions;
    };
    const FCase cases[] = {
        {false, false, false, true, true, {A::FftA1Click}},
        {false, false, false, false, true, {A::FftA2Click}},
        {false, false, false, false, false, {}},
        {false, false, true, true, true, {}},  // Ctrl+F only hides
        {true, false, false, true, true, {A::FftA1Click, A::FftA2Click}},
        {true, false, false, true, false, {A::FftA1Click}},
        {true, false, true, true, true, {A::FftA1Click}},
        {false, true, false, true, true, {A::FftA2Click, A::FftA1Click}},
        {false, true, false, false, true, {A::FftA2Click}},
        {false, true, true, true, true, {A::FftA2Click}},
    };
    for (const FCase& c : cases) {
        ScopeSettings s;
        s.FFT_View_A1 = c.a1Shown;
        s.FFT_View_A2 = c.a2Shown;
        const KeyOutcome o = FormKeyDown(s, Key::F, c.ctrl, false, {c.a1Enabled, c.a2Enabled});
        EXPECT_EQ(o.actions, c.actions) << c.a1Shown << c.a2Shown << c.ctrl << c.a1Enabled << c.a2Enabled;
        EXPECT_EQ(o.call, SettingsCall::None);
        EXPECT_EQ(s.FFT_View_A1, c.a1Shown);  // the menu clicks switch the view, not the key
        EXPECT_EQ(s.FFT_View_A2, c.a2Shown);
    }
}

// Repeated F presses against menu items that toggle and uncheck each other.
TEST(KeyboardTest, FCyclesThroughTheSpectra)
{
    ScopeSettings s;
    const auto press = [&](bool ctrl) {
        for (KeyAction a : FormKeyDown(s, Key::F, ctrl, false, {}).actions) {
            bool& mine = a == KeyAction::FftA1Click ? s.FFT_View_A1 : s.FFT_View_A2;
            bool& other = a == KeyAction::FftA1Click ? s.FFT_View_A2 : s.FFT_View_A1;
            mine = !mine;
            if (mine) other = false;
        }
        return std::make_pair(s.FFT_View_A1, s.FFT_View_A2);
    };
    EXPECT_EQ(press(false), std::make_pair(true, false));
    EXPECT_EQ(press(false), std::make_pair(false, true));
    EXPECT_EQ(press(false), std::make_pair(true, false));
    EXPECT_EQ(press(true), std::make_pair(false, false));
    EXPECT_EQ(press(true), std::make_pair(false, false));
}

TEST(KeyboardTest, VoltsStepWalksTheRanges)
{
    ScopeSettings s;
    s.Sel(Group::VoltsA1) = VoltsCount - 1;  // 50 mV
    int steps = 0;
    while (VoltsStep(s, 0, true)) ++steps;
    EXPECT_EQ(steps, VoltsCount - 1);
    EXPECT_EQ(s.Sel(Group::VoltsA1), VoltsIndex("2V"));
    while (VoltsStep(s, 0, false)) --steps;
    EXPECT_EQ(steps, 0);
    EXPECT_EQ(s.Sel(Group::VoltsA1), VoltsIndex("50mV"));
    EXPECT_EQ(s.Sel(Group::VoltsA2), Volts1V);  // the other channel untouched
}

}  // namespace
}  // namespace kr40
