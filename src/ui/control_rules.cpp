#include "ui/control_rules.h"

#include <array>

namespace kr40 {

namespace {

// How a row of the table picks its controls.
enum class Match {
    Name,     // exactly this control
    Prefix,   // every control that holds a key and whose name starts so
    InGroup,  // every control holding an item of this group
    AnyKey,   // every control holding a Bool or group-item key
};

struct RuleRow {
    Match match;
    std::string_view name;  // Name, Prefix
    Group group;            // InGroup; for a ProbeToggle row the probe group
    std::optional<WindowCommand> command;
    ClickStore store;
    SettingsEffect effect;
    std::string_view partner = {};  // Exclusive: the other control
};

constexpr SettingsEffect Effect(SettingsCall call, bool rearm = false, bool rangeA1 = false, bool rangeA2 = false)
{
    SettingsEffect e;
    e.call = call;
    e.rearmTrigger = rearm;
    e.rangeChangedA1 = rangeA1;
    e.rangeChangedA2 = rangeA2;
    return e;
}

constexpr RuleRow Command(std::string_view name, WindowCommand c)
{
    return {Match::Name, name, Group::Count, c, ClickStore::None, {}};
}
constexpr RuleRow Named(std::string_view name, SettingsEffect e)
{
    return {Match::Name, name, Group::Count, std::nullopt, ClickStore::Key, e};
}
constexpr RuleRow Prefixed(std::string_view prefix, SettingsEffect e)
{
    return {Match::Prefix, prefix, Group::Count, std::nullopt, ClickStore::Key, e};
}
constexpr RuleRow Grouped(Group g, SettingsEffect e)
{
    return {Match::InGroup, {}, g, std::nullopt, ClickStore::Key, e};
}
// A control that holds no setting but asks for an effect.
constexpr RuleRow Act(std::string_view name, SettingsEffect e)
{
    return {Match::Name, name, Group::Count, std::nullopt, ClickStore::None, e};
}
// Two check items of which at most one is checked.
constexpr RuleRow Exclusive(std::string_view name, std::string_view partner, SettingsEffect e)
{
    return {Match::Name, name, Group::Count, std::nullopt, ClickStore::Exclusive, e, partner};
}
constexpr RuleRow ProbeHeader(std::string_view name, Group probe, SettingsEffect e)
{
    return {Match::Name, name, probe, std::nullopt, ClickStore::ProbeToggle, e};
}

constexpr SettingsEffect kApply = Effect(SettingsCall::Apply);
constexpr SettingsEffect kRefresh = Effect(SettingsCall::Refresh);
constexpr SettingsEffect kRearm = Effect(SettingsCall::Apply, true);
constexpr SettingsEffect kRangeA1 = Effect(SettingsCall::Apply, false, true);
constexpr SettingsEffect kRangeA2 = Effect(SettingsCall::Apply, false, false, true);
constexpr SettingsEffect kCounterReset = [] {
    SettingsEffect e = Effect(SettingsCall::Apply);
    e.resetCounter = true;
    return e;
}();

// The rules, first match wins. Window commands come first: some of them
// (markers, language, generator view) are held by a key the window's handler
// sets itself.
constexpr std::array kRules = {
    Command("SpeedButton_Run", WindowCommand::Run),
    Command("SpeedButton_Sngl", WindowCommand::Single),
    Command("SpeedButton_GenOn", WindowCommand::GenOn),
    Command("Menu_Exit", WindowCommand::Exit),
    Command("Menu_Russian", WindowCommand::Russian),
    Command("Menu_English", WindowCommand::English),
    Command("Menu_Compact", WindowCommand::Compact),
    Command("Menu_Gen_View", WindowCommand::GenView),
    Command("Menu_Colors", WindowCommand::Colors),
    Command("Menu_About", WindowCommand::About),
    Command("Menu_Trigger", WindowCommand::Trigger),
    Command("SpeedButton_Trig", WindowCommand::Trigger),
    Command("Menu_Markers_1", WindowCommand::MarkersOne),
    Command("Menu_Markers_2", WindowCommand::MarkersTwo),
    Command("Menu_BG_View", WindowCommand::BgView),
    Command("Menu_Open_Settings", WindowCommand::OpenSettings),
    Command("Menu_Save_Settings_As", WindowCommand::SaveSettingsAs),
    Command("Menu_FFTSet", WindowCommand::FftSet),
    Command("Menu_FM_Calibrate", WindowCommand::FmCalibrate),
    Command("Menu_GeneratorSet", WindowCommand::GeneratorSet),
    Command("Menu_Open_Gen_Form", WindowCommand::OpenGenForm),
    Command("SpeedButton_GenRun", WindowCommand::GenRun),
    Command("Menu_SerialDecoders", WindowCommand::SerialDecoders),
    Command("Menu_Recorder", WindowCommand::Recorder),
    Command("Menu_ZeroCalibrate", WindowCommand::ZeroCalibrate),
    Command("Menu_TDCCalibrate", WindowCommand::TdcCalibrate),
    Command("Menu_LCMeter", WindowCommand::LcMeter),
    Command("Menu_Help_Contents", WindowCommand::HelpContents),
    Command("Menu_BG_Do", WindowCommand::BgSwap),
    Command("Menu_BG_Clr", WindowCommand::BgClear),
    Command("Menu_Save_As", WindowCommand::SaveData),
    Command("Menu_Open", WindowCommand::OpenData),
    Command("Menu_Text", WindowCommand::ExportText),
    Command("Menu_EBin_A1", WindowCommand::ExportBinA1),
    Command("Menu_EBin_A2", WindowCommand::ExportBinA2),
    Command("Menu_EBin_D1", WindowCommand::ExportBinD1),
    Command("Menu_EBin_D2", WindowCommand::ExportBinD2),
    Command("Menu_Image", WindowCommand::ExportImage),

    // Counter Reset restarts the frequency meter's counter once.
    Act("Menu_FM_RST", kCounterReset),

    // The volts/div headers switch the channel's probe, which rescales its range.
    ProbeHeader("SpeedButton_VoltsDiv_A1", Group::ProbeA1, kRangeA1),
    ProbeHeader("SpeedButton_VoltsDiv_A2", Group::ProbeA2, kRangeA2),

    // The source, edge and T+ buttons change the trigger condition: the
    // instrument re-arms once; ON and Auto do not.
    Grouped(Group::TrigSource, kRearm),
    Named("SpeedButton_TrigEdge", kRearm),
    Named("SpeedButton_TPLUS", kRearm),

    Grouped(Group::VoltsA1, kRangeA1),
    Grouped(Group::ProbeA1, kRangeA1),
    Grouped(Group::VoltsA2, kRangeA2),
    Grouped(Group::ProbeA2, kRangeA2),

    // Persistence only changes its state (the next frame picks it up); display
    // options and the spectrum views redraw.
    Named("Menu_Persistence", Effect(SettingsCall::Sync)),
    Named("Menu_Measure", kRefresh),
    Named("Menu_Grid", kRefresh),
    Named("Menu_TrigPosL", kRefresh),
    Named("Menu_Extra_Info", kRefresh),
    Named("Menu_Trig_T", kRefresh),
    Named("Menu_Dots", kRefresh),
    Named("Menu_Vectors", kRefresh),
    Named("Menu_Sinxx", kRefresh),
    Named("Menu_On_Top", kRefresh),
    // One spectrum view at a time.
    Exclusive("Menu_FFT_A1", "Menu_FFT_A2", kRefresh),
    Exclusive("Menu_FFT_A2", "Menu_FFT_A1", kRefresh),

    // Every other setting reaches the instrument.
    RuleRow{Match::AnyKey, {}, Group::Count, std::nullopt, ClickStore::Key, kApply},
};

// The Bool or group-item key a button or menu item holds, or nullptr. Keys
// held by no control have an empty "held by"; an empty name matches none.
const SettingKey* ClickableKey(std::string_view control)
{
    if (control.empty()) return nullptr;
    for (const SettingKey& k : SettingKeys())
        if (k.heldBy == control && (k.type == KeyType::Bool || k.type == KeyType::GroupItem)) return &k;
    return nullptr;
}

bool Matches(const RuleRow& r, std::string_view control, const SettingKey* key)
{
    switch (r.match) {
        case Match::Name:
            return control == r.name;
        case Match::Prefix:
            return key && control.substr(0, r.name.size()) == r.name;
        case Match::InGroup:
            return key && key->type == KeyType::GroupItem && key->group == r.group;
        case Match::AnyKey:
            return key != nullptr;
    }
    return false;
}

}  // namespace

ControlRule RuleOf(std::string_view control)
{
    const SettingKey* key = ClickableKey(control);
    for (const RuleRow& r : kRules) {
        if (!Matches(r, control, key)) continue;
        ControlRule rule;
        rule.command = r.command;
        rule.store = r.store;
        if (r.store == ClickStore::Key || r.store == ClickStore::Exclusive) {
            if (!key) return {};  // a named row whose control holds no setting stores nothing
            rule.key = key;
            if (r.store == ClickStore::Exclusive) rule.partner = ClickableKey(r.partner);
        } else if (r.store == ClickStore::ProbeToggle) {
            rule.probe = r.group;
        }
        rule.effect = r.effect;
        return rule;
    }
    return {};
}

ClickOutcome ClickControl(ScopeSettings& s, std::string_view control, bool checked)
{
    const ControlRule rule = RuleOf(control);
    ClickOutcome out;
    out.command = rule.command;
    switch (rule.store) {
        case ClickStore::None:
            break;
        case ClickStore::Key:
            if (rule.key->type == KeyType::Bool)
                s.*rule.key->boolField = checked;
            else  // a radio menu item clicked again stays checked
                SetGroupItem(s, rule.key->group, rule.key->item,
                             checked || GroupOf(rule.key->group).kind == GroupKind::MenuRadio);
            break;
        case ClickStore::Exclusive:
            s.*rule.key->boolField = checked;
            if (checked && rule.partner) s.*rule.partner->boolField = false;
            break;
        case ClickStore::ProbeToggle: {
            int& probe = s.Sel(rule.probe);
            probe = probe == ProbeX1 ? ProbeX10 : ProbeX1;
            break;
        }
    }
    out.effect = rule.effect;
    return out;
}

}  // namespace kr40
