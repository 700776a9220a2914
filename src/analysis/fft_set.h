#pragma once
// Form_FFTSet as a plain model: the eleven spectrum settings the dialog edits,
// its texts as one table, every change stored at once, and the Cancel
// roll-back. The Qt dialog walks the table and forwards widget clicks here.

#include <array>
#include <vector>

#include "acquisition/settings_effect.h"
#include "core/texts.h"

namespace kr40 {

struct ScopeSettings;

// The dialog's controls, in the order of the eleven values: five radio groups
// (value = item index), then six check boxes (value 0 or 1).
enum FftControl : int {
    FftSize,      // RadioGroup_FFT_Size:   FFT_Size, 0..5 = 1024..32768, 6 = Auto
    FftWin,       // RadioGroup_FFT_Win:    FFT_Win, 0..8
    FftScale,     // RadioGroup_FFT_VScale: FFT_Scale, 0..3
    FftAve,       // RadioGroup_FFT_Ave:    FFT_Ave, 0..5 = 2..64, 6 = Inf
    FftZoom,      // RadioGroup_FFT_Zoom:   FFT_Zoom, 0..5
    Fft15dBDiv,   // CheckBox_FFT_15dB_div
    FftDbvV,      // CheckBox_FFT_dbv_v
    FftAveOn,     // CheckBox_FFT_Ave_On
    FftViewSig,   // CheckBox_FFT_View_Sig
    FftCalcBoth,  // CheckBox_FFT_Calc_Both
    FftDither,    // CheckBox_FFT_Dither
    FftControlCount
};

struct FftControlText {
    const char* name;             // the control's name ("RadioGroup_FFT_Size", "CheckBox_FFT_Dither", ...)
    TextPair caption;             // group title or check-box text
    std::vector<TextPair> items;  // a group's radio items; empty for a check box
};

// Every text of the dialog, English and Russian.
struct FftSetTexts {
    TextPair caption;
    std::array<FftControlText, FftControlCount> controls;
    TextPair ok, cancel;
};
const FftSetTexts& FftSetDialogTexts();

inline bool IsFftCheckBox(int control)
{
    return control >= Fft15dBDiv;
}

using FftValues = std::array<int, FftControlCount>;

// The setting behind a control, as the control's value (a bool as 0 / 1).
FftValues ReadFftValues(const ScopeSettings& s);
void WriteFftValues(ScopeSettings& s, const FftValues& v);

struct FftSetModel {
    FftValues value{};  // what the controls show
    std::array<bool, FftControlCount> visible{};
    bool loading = false;  // loading guard: changes do nothing

    // FormShow: loads the controls from the settings and keeps the values for
    // Cancel. Dither is shown only with the service flag TDC_Clbr.
    void Show(const ScopeSettings& s);

    // A click on a control: stores the value in its setting at once. Every
    // change redraws; size, window and averaging on/off also restart the
    // spectrum; Dither sends the settings to the instrument instead. The call
    // is None while loading, when the value is the one already held, or when
    // it is outside the control's range.
    SettingsEffect Change(ScopeSettings& s, FftControl control, int newValue);

    // Cancel: puts back the eleven values held on opening. The spectrum
    // restarts when size, window or averaging on/off differed; Apply when
    // Dither differed, else Refresh.
    SettingsEffect Cancel(ScopeSettings& s);

private:
    FftValues opened_{};
};

}  // namespace kr40
