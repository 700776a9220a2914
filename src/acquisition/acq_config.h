#pragma once
// AcqConfig: the numeric acquisition configuration derived from the settings
// by ComposeAcqConfig. It is sent to the instrument in the settings packet and
// read by the display and analysis code. Only ComposeAcqConfig (and the zero
// calibration run) write it.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kr40 {

struct AcqConfig {
    std::uint64_t Time_Div_ns = 0;
    std::uint8_t Ch_Mask = 0;     // bits 0-3 A1 A2 D1 D2 acquired; bit 7 running
    std::uint8_t Mode_Flags = 0;  // bit 0 pair; 1 A2 shown; 2 D2 shown; 3-6 trigger time/advanced mode; 7 trigger on
    bool Pair_Mode = false;
    int Smpl_N = 0;
    int Sig_Div = 0;
    std::uint32_t Decim = 0;  // sample-clock divider minus one
    int Smpl_Per_Div = 0;
    std::uint8_t Range_A1 = 0, Range_A2 = 0;          // bits 0-2 range code; 3 generator off (A1); 4 AC; 5 dither
    std::int32_t uV_Div_x1_A1 = 0, uV_Div_x1_A2 = 0;  // µV/div of the range before the probe factor
    std::int32_t uV_Div_A1 = 0, uV_Div_A2 = 0;        // including the probe factor
    std::uint32_t Zero_Cal_A1 = 0, Zero_Cal_A2 = 0;   // offset DAC codes
    std::uint8_t Min_Period_ms = 40;
    std::uint8_t Acq_Flags = 0;
    std::uint8_t Roll_Flags = 0;
    bool Roll = false;
    bool Scroll = false;
    std::uint32_t Pre_N = 0, Post_N = 0;
    std::uint8_t Rate_Code = 0;
    int Draw_Mode = 2;  // 0 dots, 1 vectors, 2 sin(x)/x
    std::uint8_t FM_Src = 0;

    // Trigger words.
    std::uint8_t Trig_Lo_A1 = 0, Trig_Hi_A1 = 0, Trig_Lo_A2 = 0, Trig_Hi_A2 = 0;
    std::uint8_t TPlus_Flags = 0;
    std::uint32_t Trig_N = 1;
    std::uint8_t Trig_Lev_Bits = 0;
    std::uint32_t T_Lo = 0, T_Hi = 0;

    // Generator words (filled by the generator panel code; zero until then).
    std::uint8_t Gen_Mode = 0, Gen_Shape = 0;
    std::uint64_t Gen_Word_A = 0, Gen_Word_B = 0, Gen_Mod_Inc = 0;
    std::uint16_t Gen_Ampl = 0;
    std::uint8_t Gen_Zero_A1 = 0, Gen_Zero_A2 = 0;
};

// Acq_Flags bits.
enum : std::uint8_t {
    AcqPeakDetect = 0x01,
    AcqTrigDigital = 0x02,
    AcqTrigSecond = 0x04,
    AcqRollFree = 0x08,
    AcqEdge = 0x10,
    AcqAuto = 0x20,
    AcqSchmittD1Off = 0x40,
    AcqSchmittD2Off = 0x80,
};

// What the main window shows as a consequence of the settings; written by
// ComposeAcqConfig next to AcqConfig and copied into the widgets by the window.
struct WindowView {
    bool stayOnTop = false;
    // Colour swatches beside the channel headers and the trigger button;
    // nothing = the system's button-face colour.
    std::optional<std::uint32_t> swatchA1, swatchA2, swatchTrig;
    std::array<std::array<std::string, 6>, 2> voltsCaptions;  // [channel][row of the volts table]
    std::array<std::string, 2> voltsHeader;                   // "A1 Volts/Div ", "A2 V/Div (x10)", ...
    bool fmD1HfEnabled = true, fmD2HfEnabled = true, fmResetEnabled = false;
};

}  // namespace kr40
