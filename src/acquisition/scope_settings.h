#pragma once
// ScopeSettings: the one record of user settings. Choices shown by a group of
// buttons or radio menu items are held as the index of the item that is set
// (-1 = none); toggles and dialog values are plain fields. One table of keys
// (SettingKeys) gives every stored setting its section, INI name, type,
// default, owning control and storage flags; the defaults, the settings
// reader and the settings writer all walk it, in the model's order.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kr40 {

// One-of-N choices.
enum class Group : int {
    DrawMode,
    SmplN,
    SigDiv,
    Fps,
    Rate,
    ProbeA1,
    ProbeA2,
    FmMode,
    FmInput,
    TimeBase,
    VoltsA1,
    VoltsA2,
    TrigSource,
    GenRange,
    GenShape,
    GenMode,
    Count
};
inline constexpr int GroupCount = static_cast<int>(Group::Count);

// How a group answers when one of its items is cleared:
//  ExactlyOne - a button group: clearing the selected button leaves it selected;
//  AtMostOne  - a button group that may be all up: clearing the selected button clears it;
//  MenuRadio  - radio menu items: clearing the checked item clears it (none checked).
// Setting any item selects it and clears the others in all three kinds.
enum class GroupKind { ExactlyOne, AtMostOne, MenuRadio };

enum DrawModeItem { DrawDots = 0, DrawVectors = 1, DrawSinxx = 2 };
enum FmModeItem { FmOff = 0, FmFreq = 1, FmPeriod = 2 };
enum FmInputItem { FmA1 = 0, FmA2, FmD1, FmD2, FmD1_HF, FmD2_HF, FmTrig };
enum ChannelItem { ChA1 = 0, ChA2 = 1, ChD1 = 2, ChD2 = 3 };
enum GenRangeItem { Gen10K_1S = 0, Gen100K_100mS, Gen1M_10mS, Gen10M_1mS, Gen50M_100uS, GenNoise_10uS };
enum GenShapeItem { ShapeSin = 0, ShapeRect, ShapeTrian, ShapeUpTrian, ShapeDnTrian };
enum GenModeItem { GenModMode = 0, GenPulseMode, GenSweepMode, GenAfgMode };
enum SmplNItem { Smpl2000 = 0, Smpl5000, Smpl10000, SmplMax };
enum ProbeItem { ProbeX1 = 0, ProbeX10, ProbeX100 };

enum ColorIndex : int {
    ColorA1 = 0,
    ColorA2,
    ColorD1,
    ColorD2,
    ColorBackground,
    ColorBorder,
    ColorMarkers,
    ColorGrid,
    ColorGridFrame,
    ColorTrigPos,
    ColorFFT,
    ColorExtraInfo,
    ColorCount
};

struct ScopeSettings {
    std::array<int, GroupCount> group{};  // selected item of each group, -1 = none

    int& Sel(Group g) { return group[static_cast<int>(g)]; }
    int Sel(Group g) const { return group[static_cast<int>(g)]; }

    // Stored settings; their defaults live in the key table (SettingKeys).
    // [Common]
    bool Markers_1, Markers_2;
    int Marker_x, Marker_y, Marker1_x, Marker1_y, Marker2_x, Marker2_y;
    bool CH_A1, CH_A2, CH_D1, CH_D2;
    bool Measure, Grid, TrigPosL, Extra_Info, Trig_T;
    bool Gen_View;  // key "Generator"
    bool Persistence, On_Top, SmplPeakDet;
    bool SchmittT_D1, SchmittT_D2;
    bool Russian, Lenta;

    // [Scope]
    bool A1_ACDC, A2_ACDC;  // true = AC coupling
    int A1_Zero, bgA1_Zero, A2_Zero, bgA2_Zero, bgD_Zero;

    // [Trigger]
    bool Trig_On, Edge, Auto, TPLUS;  // keys On, Edge, Auto, TPLUS
    double Lev_A1, Lev_A2, bgLev_A1, bgLev_A2;
    int Pre, Hyst, Tmin, Tmax, Tmult, T_Mode;
    int Levels, Lev_Mask, Extra_N, Mode;

    // [Calibrate]
    int Time;
    int Z_A1P1, Z_A1P2, Z_A1SH, Z_A2P1, Z_A2P2, Z_A2SH;

    // [Generator]
    int F_fast, F_slow, Ampl;
    int Mod_Type, Mod_Src, Inv;
    int Mod_Freq_Fast, Mod_Freq_Slow, MF_Mult, MF_Shape, Mod_Param, DF_Mult;
    std::string AFG_File;

    // [FFT]
    bool FFT_View_A1, FFT_View_A2;
    int FFT_Size, FFT_Win, FFT_Scale, FFT_Ave, FFT_Zoom;
    bool FFT_15dB_div, FFT_dbv_v, FFT_Ave_On, FFT_View_Sig;
    bool FFT_Calc_Both, FFT_Dither;

    // [Colors], 0x00BBGGRR
    std::array<std::uint32_t, ColorCount> Colors;

    // [Decoders], read at start-up only
    int Dec_Type, Dec_Baud_Rate, Dec_PRTY, Dec_Data_Bits, Dec_Stop_Bits;
    int Dec_MSB_First, Dec_RXD, Dec_TXD, Dec_CLK, Dec_CS;
    int Dec_RXD_Inv, Dec_TXD_Inv, Dec_CLK_Inv, Dec_CS_Inv, Dec_Display;

    // [System] service flags, read at start-up only and never written
    bool Debug_kr, TDC_Clbr, No_Excuse, USB_VIEW, FLOW_CTRL_OFF;

    // Control states that are not stored in any file.
    bool Run_Down = false, Sngl_Down = false, GenOn_Down = false;
    int X_Pos = 0;  // ScrollBar_X_POS

    ScopeSettings();  // every stored setting at its table default
};

enum class IniSection { System, Common, Scope, Trigger, Calibrate, Generator, FFT, Colors, Decoders };
const char* SectionName(IniSection s);

enum class KeyType { Bool, GroupItem, Int, Real, Colour, Str };

enum KeyFlag : unsigned {
    IniOnly = 1u,          // stored in and read from the program's own settings file only
    KrsOnlyWrite = 2u,     // written to .krs files only (read from both kinds)
    StartupOnly = 4u,      // read at start-up only
    NeverWritten = 8u,     // read only; the writer leaves the file's value alone
    WhileAfgLoaded = 16u,  // written only while a generator script is loaded
};

// What the reader does with an integer outside the key's valid values.
enum class OutOfRange { Clamp, Keep };

struct SettingKey {
    IniSection section;
    std::string name;
    KeyType type;
    std::string heldBy;  // control holding the state, empty for a plain field
    unsigned flags = 0;

    bool ScopeSettings::*boolField = nullptr;        // Bool
    int ScopeSettings::*intField = nullptr;          // Int
    double ScopeSettings::*realField = nullptr;      // Real
    std::string ScopeSettings::*strField = nullptr;  // Str
    int colour = -1;                                 // Colour: index into Colors
    Group group = Group::Count;                      // GroupItem
    int item = -1;

    double defValue = 0;  // Bool/Int/Real/Colour default; GroupItem defaults come from the group
    std::string defStr;

    int lo = INT32_MIN, hi = INT32_MAX;  // valid values of Int/Colour keys
    OutOfRange policy = OutOfRange::Clamp;
    std::vector<int> allowed;  // when not empty: the only valid values (others Keep)
};

struct GroupInfo {
    Group id;
    GroupKind kind;
    int defaultItem;
    int count;
};
const GroupInfo& GroupOf(Group g);

// Every stored key, in the order of the model (System flags first, then
// Common, Scope, Trigger, Calibrate, Generator, FFT, Colors, Decoders).
const std::vector<SettingKey>& SettingKeys();
// The key of a given section and name (case-insensitive), or nullptr.
const SettingKey* FindSettingKey(IniSection section, std::string_view name);

// Sets or clears one item of a group the way setting the control's state
// directly does (no click handler runs).
void SetGroupItem(ScopeSettings& s, Group g, int item, bool on);
inline bool GroupItemOn(const ScopeSettings& s, Group g, int item)
{
    return s.Sel(g) == item;
}

// Integer value of a key after its range rule: the clamped value, or `current`
// when the value is not one of the key's valid values and must be kept out.
int ApplyRangeRule(const SettingKey& k, std::int64_t value, int current);

// Marker positions: x in marker units across the grid, y in ADC steps down from its top.
inline constexpr int MarkerXMax = 500, MarkerYMax = 256;
// Trigger levels as a file may hold them, in ADC steps.
inline constexpr int LevelMin = -256, LevelMax = 511;

// Rules a file may break: Tmin < Tmax, one spectrum view, and real values
// within their key's bounds.
void NormalizeSettings(ScopeSettings& s);

}  // namespace kr40
