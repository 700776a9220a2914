#include "acquisition/scope_settings.h"

#include <algorithm>
#include <utility>

#include "acquisition/scope_tables.h"

namespace kr40 {

namespace {

using S = ScopeSettings;

constexpr std::array<GroupInfo, GroupCount> kGroups = {{
    {Group::DrawMode, GroupKind::MenuRadio, DrawSinxx, 3},
    {Group::SmplN, GroupKind::MenuRadio, Smpl5000, 4},
    {Group::SigDiv, GroupKind::MenuRadio, 0, 5},
    {Group::Fps, GroupKind::MenuRadio, 2, 5},
    {Group::Rate, GroupKind::MenuRadio, 0, 7},
    {Group::ProbeA1, GroupKind::MenuRadio, ProbeX1, 3},
    {Group::ProbeA2, GroupKind::MenuRadio, ProbeX1, 3},
    {Group::FmMode, GroupKind::MenuRadio, FmFreq, 3},
    {Group::FmInput, GroupKind::MenuRadio, FmA1, 7},
    {Group::TimeBase, GroupKind::ExactlyOne, TimeBase1ms, TimeBaseCount},
    {Group::VoltsA1, GroupKind::ExactlyOne, Volts1V, VoltsCount},
    {Group::VoltsA2, GroupKind::ExactlyOne, Volts1V, VoltsCount},
    {Group::TrigSource, GroupKind::ExactlyOne, ChA1, 4},
    {Group::GenRange, GroupKind::ExactlyOne, Gen10K_1S, 6},
    // The shapes may all be up: the noise range releases the sine button.
    {Group::GenShape, GroupKind::AtMostOne, ShapeSin, 5},
    {Group::GenMode, GroupKind::AtMostOne, -1, 4},
}};

using KeyControl = std::pair<std::string, std::string>;

class TableBuilder {
public:
    explicit TableBuilder(std::vector<SettingKey>& out) : out_(out) {}
    void Section(IniSection s, unsigned flags = 0)
    {
        section_ = s;
        sectionFlags_ = flags;
    }

    void Bool(const std::string& name, bool S::*f, bool def, const std::string& heldBy = {}, unsigned flags = 0)
    {
        SettingKey& k = Add(name, KeyType::Bool, heldBy, flags);
        k.boolField = f;
        k.defValue = def ? 1 : 0;
    }
    void Int(const std::string& name, int S::*f, int def, int lo, int hi, const std::string& heldBy = {},
             unsigned flags = 0)
    {
        SettingKey& k = Add(name, KeyType::Int, heldBy, flags);
        k.intField = f;
        k.defValue = def;
        k.lo = lo;
        k.hi = hi;
    }
    void IntOneOf(const std::string& name, int S::*f, int def, std::vector<int> allowed)
    {
        SettingKey& k = Add(name, KeyType::Int, {}, 0);
        k.intField = f;
        k.defValue = def;
        k.allowed = std::move(allowed);
        k.policy = OutOfRange::Keep;
    }
    void Real(const std::string& name, double S::*f, double def, int lo, int hi)
    {
        SettingKey& k = Add(name, KeyType::Real, {}, 0);
        k.realField = f;
        k.defValue = def;
        k.lo = lo;
        k.hi = hi;
    }
    void Str(const std::string& name, std::string S::*f, unsigned flags)
    {
        SettingKey& k = Add(name, KeyType::Str, {}, flags);
        k.strField = f;
    }
    void Colour(const std::string& name, int index, std::uint32_t def)
    {
        SettingKey& k = Add(name, KeyType::Colour, {}, 0);
        k.colour = index;
        k.defValue = def;
        k.lo = 0;
        k.hi = 0xFFFFFF;
        k.policy = OutOfRange::Keep;  // a colour outside 24 bits is not a colour
    }
    void Items(Group g, const std::vector<KeyControl>& items, unsigned flags = 0)
    {
        for (std::size_t i = 0; i < items.size(); ++i) {
            SettingKey& k = Add(items[i].first, KeyType::GroupItem, items[i].second, flags);
            k.group = g;
            k.item = static_cast<int>(i);
        }
    }

private:
    SettingKey& Add(const std::string& name, KeyType t, const std::string& heldBy, unsigned flags)
    {
        SettingKey k;
        k.section = section_;
        k.name = name;
        k.type = t;
        k.heldBy = heldBy;
        k.flags = flags | sectionFlags_;
        out_.push_back(std::move(k));
        return out_.back();
    }

    std::vector<SettingKey>& out_;
    IniSection section_ = IniSection::Common;
    unsigned sectionFlags_ = 0;
};

template <std::size_t N>
std::vector<KeyControl> MenuItems(const std::array<MenuChoiceRow, N>& rows)
{
    std::vector<KeyControl> v;
    for (const MenuChoiceRow& r : rows) v.emplace_back(r.key, r.control);
    return v;
}

std::vector<KeyControl> ProbeItems(const char* ch)
{
    std::vector<KeyControl> v;
    for (const char* x : ProbeKeySuffix) v.emplace_back(std::string(ch) + "_" + x, std::string("Menu_") + ch + "_" + x);
    return v;
}

std::vector<KeyControl> VoltsItems(const char* ch)
{
    std::vector<KeyControl> v;
    for (const VoltsRow& r : VoltsPerDiv)
        v.emplace_back(std::string(ch) + "_" + r.suffix, std::string("SpeedButton_") + r.suffix + "_" + ch);
    return v;
}

std::vector<KeyControl> ButtonItems(std::initializer_list<const char*> keys, const char* prefix = "SpeedButton_")
{
    std::vector<KeyControl> v;
    for (const char* k : keys) v.emplace_back(k, std::string(prefix) + k);
    return v;
}

std::vector<SettingKey> BuildTable()
{
    std::vector<SettingKey> t;
    TableBuilder b(t);
    constexpr int kMin = INT32_MIN, kMax = INT32_MAX;

    b.Section(IniSection::System, IniOnly | StartupOnly | NeverWritten);
    b.Bool("Debug_kr", &S::Debug_kr, false);
    b.Bool("TDC_Clbr", &S::TDC_Clbr, false);
    b.Bool("No_Excuse", &S::No_Excuse, false);
    b.Bool("USB_VIEW", &S::USB_VIEW, false);
    b.Bool("FLOW_CTRL_OFF", &S::FLOW_CTRL_OFF, false);

    b.Section(IniSection::Common);
    b.Bool("Markers_1", &S::Markers_1, false, "Menu_Markers_1");
    b.Bool("Markers_2", &S::Markers_2, true, "Menu_Markers_2");
    // Markers stay on the grid: x in marker units across it, y in ADC steps down from its top.
    b.Int("Marker_x", &S::Marker_x, 25, 0, MarkerXMax, {}, KrsOnlyWrite);
    b.Int("Marker_y", &S::Marker_y, 240, 0, MarkerYMax, {}, KrsOnlyWrite);
    b.Int("Marker1_x", &S::Marker1_x, 25, 0, MarkerXMax, {}, KrsOnlyWrite);
    b.Int("Marker1_y", &S::Marker1_y, 240, 0, MarkerYMax, {}, KrsOnlyWrite);
    b.Int("Marker2_x", &S::Marker2_x, 475, 0, MarkerXMax, {}, KrsOnlyWrite);
    b.Int("Marker2_y", &S::Marker2_y, 16, 0, MarkerYMax, {}, KrsOnlyWrite);
    b.Bool("CH_A1", &S::CH_A1, true, "Menu_CH_A1");
    b.Bool("CH_A2", &S::CH_A2, true, "Menu_CH_A2");
    b.Bool("CH_D1", &S::CH_D1, true, "Menu_CH_D1");
    b.Bool("CH_D2", &S::CH_D2, true, "Menu_CH_D2");
    b.Bool("Measure", &S::Measure, true, "Menu_Measure");
    b.Bool("Grid", &S::Grid, true, "Menu_Grid");
    b.Bool("TrigPosL", &S::TrigPosL, true, "Menu_TrigPosL");
    b.Bool("Extra_Info", &S::Extra_Info, false, "Menu_Extra_Info");
    b.Bool("Trig_T", &S::Trig_T, false, "Menu_Trig_T");
    b.Bool("Generator", &S::Gen_View, true, "Menu_Gen_View");
    b.Items(Group::DrawMode, ButtonItems({"Dots", "Vectors", "Sinxx"}, "Menu_"));
    b.Bool("Persistence", &S::Persistence, false, "Menu_Persistence", IniOnly);
    b.Bool("On_Top", &S::On_Top, false, "Menu_On_Top", IniOnly);
    b.Bool("SmplPeakDet", &S::SmplPeakDet, false, "Menu_SmplPeakDet");
    b.Items(Group::SmplN, MenuItems(SampleCounts));
    b.Items(Group::SigDiv, MenuItems(DivisionChoices));
    b.Items(Group::Fps, MenuItems(FrameRateChoices), IniOnly);
    b.Items(Group::Rate, MenuItems(TransferRateChoices), IniOnly);
    b.Items(Group::ProbeA1, ProbeItems("A1"));
    b.Items(Group::ProbeA2, ProbeItems("A2"));
    b.Bool("SchmittT_D1", &S::SchmittT_D1, true, "Menu_SchmittT_D1");
    b.Bool("SchmittT_D2", &S::SchmittT_D2, true, "Menu_SchmittT_D2");
    b.Items(Group::FmMode, ButtonItems({"FM_Off", "FM_Freq", "FM_Period"}, "Menu_"));
    b.Items(Group::FmInput,
            ButtonItems({"FM_A1", "FM_A2", "FM_D1", "FM_D2", "FM_D1_HF", "FM_D2_HF", "FM_TRIG"}, "Menu_"));
    b.Bool("Russian", &S::Russian, true, "Menu_Russian", IniOnly);
    b.Bool("Lenta", &S::Lenta, false, "Menu_Lenta");

    b.Section(IniSection::Scope);
    {
        std::vector<KeyControl> tb;
        for (const TimeBaseRow& r : TimeBases) tb.emplace_back(r.key, std::string("SpeedButton_") + r.key);
        b.Items(Group::TimeBase, tb);
    }
    b.Items(Group::VoltsA1, VoltsItems("A1"));
    b.Bool("A1_ACDC", &S::A1_ACDC, false, "SpeedButton_ACDC_A1");
    b.Int("A1_Zero", &S::A1_Zero, 191, 0, 255);
    b.Int("bgA1_Zero", &S::bgA1_Zero, 0, 0, 255);
    b.Items(Group::VoltsA2, VoltsItems("A2"));
    b.Bool("A2_ACDC", &S::A2_ACDC, false, "SpeedButton_ACDC_A2");
    b.Int("A2_Zero", &S::A2_Zero, 63, 0, 255);
    b.Int("bgA2_Zero", &S::bgA2_Zero, 0, 0, 255);
    b.Int("bgD_Zero", &S::bgD_Zero, 0, 0, 1);

    b.Section(IniSection::Trigger);
    b.Bool("On", &S::Trig_On, false, "SpeedButton_Trig_On");
    b.Items(Group::TrigSource, {{"CH_A1", "SpeedButton_TrigA1"},
                                {"CH_A2", "SpeedButton_TrigA2"},
                                {"CH_D1", "SpeedButton_TrigD1"},
                                {"CH_D2", "SpeedButton_TrigD2"}});
    b.Bool("Edge", &S::Edge, false, "SpeedButton_TrigEdge");
    b.Bool("Auto", &S::Auto, false, "SpeedButton_Auto");
    b.Bool("TPLUS", &S::TPLUS, false, "SpeedButton_TPLUS");
    // Trigger levels in ADC steps: the screen's 0..255 and one screen height
    // beyond either edge, where their pointers point out of the grid.
    b.Real("Lev_A1", &S::Lev_A1, 191.0, LevelMin, LevelMax);
    b.Real("Lev_A2", &S::Lev_A2, 63.0, LevelMin, LevelMax);
    b.Real("bgLev_A1", &S::bgLev_A1, 0.0, LevelMin, LevelMax);
    b.Real("bgLev_A2", &S::bgLev_A2, 0.0, LevelMin, LevelMax);
    b.Int("Pre", &S::Pre, 1, 0, 9);
    b.Int("Hyst", &S::Hyst, 1, 0, 9);
    b.Int("Tmin", &S::Tmin, 500, 0, 999);
    b.Int("Tmax", &S::Tmax, 600, 1, 1000);
    b.IntOneOf("Tmult", &S::Tmult, 100, {1, 10, 100, 1000, 10000, 100000});
    b.Int("T_Mode", &S::T_Mode, 0, 0, 2);
    b.Int("Levels", &S::Levels, 0, 0, 15);
    b.Int("Lev_Mask", &S::Lev_Mask, 0, 0, 15);
    b.Int("Extra_N", &S::Extra_N, 1, 1, 1000);
    b.IntOneOf("Mode", &S::Mode, 1, {0, 1, 2, 3, 4, 5, 6, 10});

    b.Section(IniSection::Calibrate, IniOnly);
    b.Int("Time", &S::Time, 0, -250, 250);
    b.Int("Z_A1P1", &S::Z_A1P1, 3357, kMin, kMax);
    b.Int("Z_A1P2", &S::Z_A1P2, 725, kMin, kMax);
    b.Int("Z_A1SH", &S::Z_A1SH, 0, kMin, kMax);
    b.Int("Z_A2P1", &S::Z_A2P1, 3357, kMin, kMax);
    b.Int("Z_A2P2", &S::Z_A2P2, 725, kMin, kMax);
    b.Int("Z_A2SH", &S::Z_A2SH, 0, kMin, kMax);

    b.Section(IniSection::Generator);
    // The noise button's key starts with two underscores and its name has
    // only two in all ("SpeedButton__10uS_Noise").
    std::vector<KeyControl> ranges = ButtonItems({"10K_1S", "100K_100mS", "1M_10mS", "10M_1mS", "50M_100uS"});
    ranges.emplace_back("__10uS_Noise", "SpeedButton__10uS_Noise");
    b.Items(Group::GenRange, ranges);
    b.Items(Group::GenShape, ButtonItems({"Sin", "Rect", "Trian", "Up_Trian", "Dn_Trian"}));
    b.Items(Group::GenMode, {{"Mod", "SpeedButton_Mod"},
                             {"Pulse", "SpeedButton_Pulse"},
                             {"F_Sweep", "SpeedButton_Sweep"},
                             {"AFG", "SpeedButton_Form"}});
    b.Int("F_fast", &S::F_fast, 100, 0, 1000, "ScrollBar_F_fast");
    b.Int("F_slow", &S::F_slow, 0, 0, 1000, "ScrollBar_F_slow");
    b.Int("Ampl", &S::Ampl, 0, 0, 2047, "ScrollBar_Amplitude");
    b.Int("Mod_Type", &S::Mod_Type, 0, 0, 2);
    b.Int("Mod_Src", &S::Mod_Src, 0, 0, 4);
    b.Int("Inv", &S::Inv, 0, 0, 1);
    b.Int("Mod_Freq_Fast", &S::Mod_Freq_Fast, 10, 0, 1000);
    b.Int("Mod_Freq_Slow", &S::Mod_Freq_Slow, 0, 0, 1000);
    b.IntOneOf("MF_Mult", &S::MF_Mult, 1, {1, 10, 100, 1000, 5000});
    b.IntOneOf("MF_Shape", &S::MF_Shape, 0, {0, 1, 2, 3, 4, 7});
    b.Int("Mod_Param", &S::Mod_Param, 700, 0, 1000);
    b.IntOneOf("DF_Mult", &S::DF_Mult, 1, {1, 10});
    b.Str("AFG_File", &S::AFG_File, IniOnly | WhileAfgLoaded);

    b.Section(IniSection::FFT);
    b.Bool("View_A1", &S::FFT_View_A1, false, "Menu_FFT_A1");
    b.Bool("View_A2", &S::FFT_View_A2, false, "Menu_FFT_A2");
    b.Int("Size", &S::FFT_Size, 6, 0, 6);
    b.Int("Win", &S::FFT_Win, 2, 0, 8);
    b.Int("Scale", &S::FFT_Scale, 0, 0, 3);
    b.Int("Ave", &S::FFT_Ave, 3, 0, 6);
    b.Int("Zoom", &S::FFT_Zoom, 0, 0, 5);
    b.Bool("15dB_div", &S::FFT_15dB_div, false);
    b.Bool("dbv_v", &S::FFT_dbv_v, false);
    b.Bool("Ave_On", &S::FFT_Ave_On, false);
    b.Bool("View_Sig", &S::FFT_View_Sig, true);
    b.Bool("Calc_Both", &S::FFT_Calc_Both, false);
    b.Bool("Dither", &S::FFT_Dither, false);

    b.Section(IniSection::Colors, IniOnly);
    b.Colour("CH_A1", ColorA1, 0x00FF00);
    b.Colour("CH_A2", ColorA2, 0x00FFFF);
    b.Colour("CH_D1", ColorD1, 0xFFFF00);
    b.Colour("CH_D2", ColorD2, 0xFF00FF);
    b.Colour("Background", ColorBackground, 0x2D0000);
    b.Colour("Border", ColorBorder, 0x000000);
    b.Colour("Markers", ColorMarkers, 0x808080);
    b.Colour("Grid", ColorGrid, 0x800000);
    b.Colour("Grid_Frame", ColorGridFrame, 0xC08000);
    b.Colour("Trig_Pos", ColorTrigPos, 0x808000);
    b.Colour("FFT", ColorFFT, 0xFF00FF);
    b.Colour("Extra_Info", ColorExtraInfo, 0xC08000);

    b.Section(IniSection::Decoders, IniOnly | StartupOnly | NeverWritten);
    b.Int("Type", &S::Dec_Type, 0, 0, 4);
    b.Int("Baud_Rate", &S::Dec_Baud_Rate, 115200, 2, 25000000);
    b.Int("PRTY", &S::Dec_PRTY, 0, 0, 3);
    b.Int("Data_Bits", &S::Dec_Data_Bits, 8, 2, 32);
    b.Int("Stop_Bits", &S::Dec_Stop_Bits, 1, 1, 2);
    b.Int("MSB_First", &S::Dec_MSB_First, 0, 0, 1);
    b.Int("RXD", &S::Dec_RXD, 1, 0, 4);
    b.Int("TXD", &S::Dec_TXD, 2, 0, 4);
    b.Int("CLK", &S::Dec_CLK, 3, 0, 4);
    b.Int("CS", &S::Dec_CS, 4, 0, 4);
    b.Int("RXD_Inv", &S::Dec_RXD_Inv, 0, 0, 1);
    b.Int("TXD_Inv", &S::Dec_TXD_Inv, 0, 0, 1);
    b.Int("CLK_Inv", &S::Dec_CLK_Inv, 0, 0, 1);
    b.Int("CS_Inv", &S::Dec_CS_Inv, 0, 0, 1);
    b.Int("Display", &S::Dec_Display, 0, 0, 2);
    return t;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace

const char* SectionName(IniSection s)
{
    static constexpr const char* names[] = {"System",    "Common", "Scope",  "Trigger", "Calibrate",
                                            "Generator", "FFT",    "Colors", "Decoders"};
    return names[static_cast<int>(s)];
}

const GroupInfo& GroupOf(Group g)
{
    return kGroups[static_cast<int>(g)];
}

const std::vector<SettingKey>& SettingKeys()
{
    static const std::vector<SettingKey> table = BuildTable();
    return table;
}

const SettingKey* FindSettingKey(IniSection section, std::string_view name)
{
    for (const SettingKey& k : SettingKeys())
        if (k.section == section && EqualNoCase(k.name, name)) return &k;
    return nullptr;
}

ScopeSettings::ScopeSettings()
{
    for (const GroupInfo& g : kGroups) group[static_cast<int>(g.id)] = g.defaultItem;
    for (const SettingKey& k : SettingKeys()) {
        switch (k.type) {
            case KeyType::Bool:
                this->*k.boolField = k.defValue != 0;
                break;
            case KeyType::Int:
                this->*k.intField = static_cast<int>(k.defValue);
                break;
            case KeyType::Real:
                this->*k.realField = k.defValue;
                break;
            case KeyType::Str:
                this->*k.strField = k.defStr;
                break;
            case KeyType::Colour:
                Colors[k.colour] = static_cast<std::uint32_t>(k.defValue);
                break;
            case KeyType::GroupItem:
                break;
        }
    }
}

void SetGroupItem(ScopeSettings& s, Group g, int item, bool on)
{
    const GroupInfo& info = GroupOf(g);
    if (item < 0 || item >= info.count) return;
    int& sel = s.Sel(g);
    if (on)
        sel = item;
    else if (sel == item && info.kind != GroupKind::ExactlyOne)
        sel = -1;
}

int ApplyRangeRule(const SettingKey& k, std::int64_t value, int current)
{
    if (!k.allowed.empty())
        return std::find(k.allowed.begin(), k.allowed.end(), value) != k.allowed.end() ? static_cast<int>(value)
                                                                                       : current;
    if (value >= k.lo && value <= k.hi) return static_cast<int>(value);
    if (k.policy == OutOfRange::Keep) return current;
    return static_cast<int>(std::clamp<std::int64_t>(value, k.lo, k.hi));
}

void NormalizeSettings(ScopeSettings& s)
{
    if (s.Tmin >= s.Tmax) s.Tmax = s.Tmin + 1;  // Tmin <= 999, so Tmax stays within 1000
    if (s.FFT_View_A1) s.FFT_View_A2 = false;   // one spectrum view at a time
    for (const SettingKey& k : SettingKeys())
        if (k.type == KeyType::Real) s.*k.realField = std::clamp<double>(s.*k.realField, k.lo, k.hi);
}

}  // namespace kr40
