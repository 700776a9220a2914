#include "ui/control_rules.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/scope_tables.h"

namespace kr40 {
namespace {

// Names of the stored settings and groups that differ between two records.
std::vector<std::string> Differences(const ScopeSettings& a, const ScopeSettings& b)
{
    std::vector<std::string> out;
    for (const SettingKey& k : SettingKeys()) {
        bool same = true;
        switch (k.type) {
            case KeyType::Bool:
                same = a.*k.boolField == b.*k.boolField;
                break;
            case KeyType::Int:
                same = a.*k.intField == b.*k.intField;
                break;
            case KeyType::Real:
                same = a.*k.realField == b.*k.realField;
                break;
            case KeyType::Str:
                same = a.*k.strField == b.*k.strField;
                break;
            case KeyType::Colour:
                same = a.Colors[k.colour] == b.Colors[k.colour];
                break;
            case KeyType::GroupItem:
                break;
        }
        if (!same) out.push_back(k.name);
    }
    for (int g = 0; g < GroupCount; ++g)
        if (a.group[g] != b.group[g]) out.push_back("group " + std::to_string(g));
    if (a.Run_Down != b.Run_Down || a.Sngl_Down != b.Sngl_Down || a.GenOn_Down != b.GenOn_Down || a.X_Pos != b.X_Pos)
        out.push_back("control states");
    return out;
}

using Edit = std::function<void(ScopeSettings&)>;
const Edit kNone = [](ScopeSettings&) {};

Edit Select(Group g, int item)
{
    return [g, item](ScopeSettings& s) { s.Sel(g) = item; };
}
Edit SetBool(bool ScopeSettings::*f, bool v)
{
    return [f, v](ScopeSettings& s) { s.*f = v; };
}

struct Case {
    const char* control;
    bool checked;  // the control's check state after the click
    Edit setup;    // the state before the click
    Edit change;   // the expected change of the settings
    SettingsCall call;
    bool rearm = false, rangeA1 = false, rangeA2 = false;
};

void Check(const Case& c)
{
    SCOPED_TRACE(std::string(c.control) + (c.checked ? " checked" : " unchecked"));
    ScopeSettings s;
    c.setup(s);
    ScopeSettings expected = s;
    c.change(expected);
    const ClickOutcome o = ClickControl(s, c.control, c.checked);
    EXPECT_EQ(o.command, std::nullopt);
    EXPECT_EQ(Differences(expected, s), std::vector<std::string>{});
    EXPECT_EQ(o.effect.call, c.call);
    EXPECT_EQ(o.effect.rearmTrigger, c.rearm);
    EXPECT_EQ(o.effect.rangeChangedA1, c.rangeA1);
    EXPECT_EQ(o.effect.rangeChangedA2, c.rangeA2);
    EXPECT_FALSE(o.effect.restartSpectrum);
}

TEST(ControlRules, ClicksStoreTheSettingAndAskForTheirEffect)
{
    using G = Group;
    using S = ScopeSettings;
    constexpr auto Apply = SettingsCall::Apply;
    constexpr auto Refresh = SettingsCall::Refresh;
    const int tb2ms = TimeBaseIndex("2mS"), tb1ms = TimeBaseIndex("1mS");
    const int v05 = VoltsIndex("05V"), v2 = VoltsIndex("2V");
    const Case cases[] = {
        // Time base: a plain group item; the selected button clicked again stays selected.
        {"SpeedButton_2mS", true, kNone, Select(G::TimeBase, tb2ms), Apply},
        {"SpeedButton_1mS", false, Select(G::TimeBase, tb1ms), kNone, Apply},
        // Volts/div and probe items set the channel's range flag.
        {"SpeedButton_05V_A1", true, kNone, Select(G::VoltsA1, v05), Apply, false, true},
        {"SpeedButton_2V_A2", true, kNone, Select(G::VoltsA2, v2), Apply, false, false, true},
        {"Menu_A1_x10", true, kNone, Select(G::ProbeA1, ProbeX10), Apply, false, true},
        {"Menu_A2_x100", true, kNone, Select(G::ProbeA2, ProbeX100), Apply, false, false, true},
        // A checked radio item clicked again stays checked (the group never goes empty).
        {"Menu_A1_x1", false, Select(G::ProbeA1, ProbeX1), kNone, Apply, false, true},
        {"Menu_Smpl_5000", false, Select(G::SmplN, Smpl5000), kNone, Apply},
        // The volts/div headers toggle x1 <-> x10 whatever their check state; x100 goes to x1.
        {"SpeedButton_VoltsDiv_A1", true, kNone, Select(G::ProbeA1, ProbeX10), Apply, false, true},
        {"SpeedButton_VoltsDiv_A1", false, Select(G::ProbeA1, ProbeX10), Select(G::ProbeA1, ProbeX1), Apply, false,
         true},
        {"SpeedButton_VoltsDiv_A1", true, Select(G::ProbeA1, ProbeX100), Select(G::ProbeA1, ProbeX1), Apply, false,
         true},
        {"SpeedButton_VoltsDiv_A2", false, kNone, Select(G::ProbeA2, ProbeX10), Apply, false, false, true},
        // Trigger: source, edge and T+ re-arm; ON and Auto do not.
        {"SpeedButton_TrigD1", true, kNone, Select(G::TrigSource, ChD1), Apply, true},
        {"SpeedButton_TrigA1", false, kNone, kNone, Apply, true},
        {"SpeedButton_TrigEdge", true, kNone, SetBool(&S::Edge, true), Apply, true},
        {"SpeedButton_TPLUS", true, kNone, SetBool(&S::TPLUS, true), Apply, true},
        {"SpeedButton_Trig_On", true, kNone, SetBool(&S::Trig_On, true), Apply},
        {"SpeedButton_Auto", true, kNone, SetBool(&S::Auto, true), Apply},
        // Persistence only shows its new state.
        {"Menu_Persistence", true, kNone, SetBool(&S::Persistence, true), SettingsCall::Sync},
        // Display options and the spectrum views redraw.
        {"Menu_Measure", false, kNone, SetBool(&S::Measure, false), Refresh},
        {"Menu_Grid", false, kNone, SetBool(&S::Grid, false), Refresh},
        {"Menu_TrigPosL", false, kNone, SetBool(&S::TrigPosL, false), Refresh},
        {"Menu_Extra_Info", true, kNone, SetBool(&S::Extra_Info, true), Refresh},
        {"Menu_Trig_T", true, kNone, SetBool(&S::Trig_T, true), Refresh},
        {"Menu_On_Top", true, kNone, SetBool(&S::On_Top, true), Refresh},
        {"Menu_Dots", true, kNone, Select(G::DrawMode, DrawDots), Refresh},
        {"Menu_Vectors", true, kNone, Select(G::DrawMode, DrawVectors), Refresh},
        {"Menu_Sinxx", false, kNone, Select(G::DrawMode, DrawSinxx), Refresh},
        {"Menu_FFT_A1", true, kNone, SetBool(&S::FFT_View_A1, true), Refresh},
        {"Menu_FFT_A2", true, kNone, SetBool(&S::FFT_View_A2, true), Refresh},
        // Everything else reaches the instrument.
        {"Menu_CH_A1", false, kNone, SetBool(&S::CH_A1, false), Apply},
        {"SpeedButton_ACDC_A2", true, kNone, SetBool(&S::A2_ACDC, true), Apply},
        {"Menu_Smpl_Max", true, kNone, Select(G::SmplN, SmplMax), Apply},
        {"Menu_FM_Period", true, kNone, Select(G::FmMode, FmPeriod), Apply},
        {"SpeedButton_Sin", false, kNone, Select(G::GenShape, -1), Apply},  // the shapes may all be up
        {"SpeedButton_Form", true, kNone, Select(G::GenMode, GenAfgMode), Apply},
        {"Menu_Lenta", true, kNone, SetBool(&S::Lenta, true), Apply},
    };
    for (const Case& c : cases) Check(c);
}

TEST(ControlRules, WindowCommandsStoreNothing)
{
    struct Command {
        const char* control;
        WindowCommand command;
    };
    const Command commands[] = {
        {"SpeedButton_Run", WindowCommand::Run},
        {"SpeedButton_Sngl", WindowCommand::Single},
        {"SpeedButton_GenOn", WindowCommand::GenOn},
        {"Menu_Exit", WindowCommand::Exit},
        {"Menu_Russian", WindowCommand::Russian},
        {"Menu_English", WindowCommand::English},
        {"Menu_Compact", WindowCommand::Compact},
        {"Menu_Gen_View", WindowCommand::GenView},
        {"Menu_Colors", WindowCommand::Colors},
        {"Menu_About", WindowCommand::About},
        {"Menu_Trigger", WindowCommand::Trigger},
        {"SpeedButton_Trig", WindowCommand::Trigger},
        {"Menu_Markers_1", WindowCommand::MarkersOne},
        {"Menu_Markers_2", WindowCommand::MarkersTwo},
        {"Menu_BG_View", WindowCommand::BgView},
        {"Menu_Open_Settings", WindowCommand::OpenSettings},
        {"Menu_Save_Settings_As", WindowCommand::SaveSettingsAs},
        {"Menu_FFTSet", WindowCommand::FftSet},
        {"Menu_FM_Calibrate", WindowCommand::FmCalibrate},
        {"Menu_BG_Do", WindowCommand::BgSwap},
        {"Menu_BG_Clr", WindowCommand::BgClear},
        {"Menu_Save_As", WindowCommand::SaveData},
        {"Menu_Open", WindowCommand::OpenData},
        {"Menu_Text", WindowCommand::ExportText},
        {"Menu_EBin_D2", WindowCommand::ExportBinD2},
        {"Menu_Image", WindowCommand::ExportImage},
    };
    for (const Command& c : commands) {
        for (bool checked : {false, true}) {
            SCOPED_TRACE(std::string(c.control) + (checked ? " checked" : " unchecked"));
            ScopeSettings s;
            const ScopeSettings before = s;
            const ClickOutcome o = ClickControl(s, c.control, checked);
            EXPECT_EQ(o.command, c.command);
            EXPECT_EQ(o.effect.call, SettingsCall::None);
            EXPECT_EQ(Differences(before, s), std::vector<std::string>{});
        }
    }
}

// Counter Reset holds no setting: it asks for the one-shot counter reset and
// sends it with the next settings packet.
TEST(ControlRules, CounterResetAsksForTheOneShotReset)
{
    ScopeSettings s;
    const ScopeSettings before = s;
    const ClickOutcome o = ClickControl(s, "Menu_FM_RST", false);
    EXPECT_EQ(o.command, std::nullopt);
    EXPECT_TRUE(o.effect.resetCounter);
    EXPECT_EQ(o.effect.call, SettingsCall::Apply);
    EXPECT_EQ(Differences(before, s), std::vector<std::string>{});
}

// The two spectrum views exclude each other; unchecking one leaves the other.
TEST(ControlRules, SpectrumViewsExcludeEachOther)
{
    ScopeSettings s;
    s.FFT_View_A1 = true;
    EXPECT_EQ(ClickControl(s, "Menu_FFT_A2", true).effect.call, SettingsCall::Refresh);
    EXPECT_TRUE(s.FFT_View_A2);
    EXPECT_FALSE(s.FFT_View_A1);
    ClickControl(s, "Menu_FFT_A1", true);
    EXPECT_TRUE(s.FFT_View_A1);
    EXPECT_FALSE(s.FFT_View_A2);
    s.FFT_View_A2 = true;  // as a settings file may hold them
    ClickControl(s, "Menu_FFT_A1", false);
    EXPECT_FALSE(s.FFT_View_A1);
    EXPECT_TRUE(s.FFT_View_A2);
}

// No button or menu item holding a setting falls through without a rule.
TEST(ControlRules, EveryHeldButtonAndMenuItemHasARule)
{
    int checkedControls = 0;
    for (const SettingKey& k : SettingKeys()) {
        if (k.heldBy.rfind("SpeedButton_", 0) != 0 && k.heldBy.rfind("Menu_", 0) != 0) continue;
        SCOPED_TRACE(k.heldBy);
        ++checkedControls;
        const ControlRule r = RuleOf(k.heldBy);
        ASSERT_TRUE(r.Known());
        if (r.command) continue;
        EXPECT_TRUE(r.store == ClickStore::Key || r.store == ClickStore::Exclusive);
        EXPECT_EQ(r.key, &k);
        EXPECT_NE(r.effect.call, SettingsCall::None);
    }
    EXPECT_GT(checkedControls, 100);
}

TEST(ControlRules, UnknownControlsDoNothing)
{
    for (const char* name : {"", "Menu_", "SpeedButton_", "Menu_Nothing", "speedbutton_run", "SpeedButton_VoltsDiv_A3",
                             "SpeedButton_VoltsDiv", "Menu_FFT_A3", "ScrollBar_F_fast", "ScrollBar_X_POS"}) {
        for (bool checked : {false, true}) {
            SCOPED_TRACE(std::string("\"") + name + "\"");
            EXPECT_FALSE(RuleOf(name).Known());
            ScopeSettings s;
            const ScopeSettings before = s;
            const ClickOutcome o = ClickControl(s, name, checked);
            EXPECT_EQ(o.command, std::nullopt);
            EXPECT_EQ(o.effect.call, SettingsCall::None);
            EXPECT_EQ(Differences(before, s), std::vector<std::string>{});
        }
    }
}

}  // namespace
}  // namespace kr40
