#include "analysis/fft_set.h"

#include "acquisition/scope_settings.h"

namespace kr40 {

namespace {

const FftSetTexts kTexts = {
    {"FFT Settings", "Установки БПФ"},
    {{
        {"RadioGroup_FFT_Size",
         {"Size", "Размер"},
         {{"1024", "1024"},
          {"2048", "2048"},
          {"4096", "4096"},
          {"8192", "8192"},
          {"16384", "16384"},
          {"32768", "32768"},
          {"Auto", "Авто"}}},
        {"RadioGroup_FFT_Win",
         {"Window", "Весовое окно"},
         {{"Rectangular", "Прямоугольное"},
          {"Hann", "Ханна"},
          {"Flat top", "Плоское"},
          {"Hamming", "Хемминга"},
          {"Blackman", "Блэкмана"},
          {"Blackman–Harris", "Блэкмана — Харриса"},
          {"Nuttall", "Наталла"},
          {"Blackman–Nuttall", "Блэкмана — Наталла"},
          {"Triangular", "Треугольное"}}},
        {"RadioGroup_FFT_VScale",
         {"Scale", "По вертикали"},
         {{"dBV", "дБВ"},
          {"dBm (50 Ohm)", "дБм (50 Ом)"},
          {"dBm (75 Ohm)", "дБм (75 Ом)"},
          {"dBm (600 Ohm)", "дБм (600 Ом)"}}},
        // No title of its own: the averaging check box heads the group.
        {"RadioGroup_FFT_Ave",
         {"", ""},
         {{"2", "2"}, {"4", "4"}, {"8", "8"}, {"16", "16"}, {"32", "32"}, {"64", "64"}, {"Inf", "Беск."}}},
        {"RadioGroup_FFT_Zoom",
         {"Zoom", "Растяжка"},
         {{"None", "Нет"}, {"2x", "2x"}, {"5x", "5x"}, {"10x", "10x"}, {"20x", "20x"}, {"50x", "50x"}}},
        {"CheckBox_FFT_15dB_div", {"15 dB/Div", "15 дБ/Дел"}, {}},
        {"CheckBox_FFT_dbv_v", {"dBV -> Volt", "дБВ -> Вольты"}, {}},
        {"CheckBox_FFT_Ave_On", {"Averaging", "Усреднение"}, {}},
        {"CheckBox_FFT_View_Sig", {"View Signal", "Отображ. сигнал"}, {}},
        {"CheckBox_FFT_Calc_Both", {"Calc. Both Ch.", "Просч. двух каналов"}, {}},
        {"CheckBox_FFT_Dither", {"Dither", "Dither сигнал"}, {}},
    }},
    {"OK", "OK"},
    kCancelText,
};

using S = ScopeSettings;
constexpr std::array<int S::*, Fft15dBDiv> kIntFields = {&S::FFT_Size, &S::FFT_Win, &S::FFT_Scale, &S::FFT_Ave,
                                                         &S::FFT_Zoom};
constexpr std::array<bool S::*, FftControlCount - Fft15dBDiv> kBoolFields = {
    &S::FFT_15dB_div, &S::FFT_dbv_v, &S::FFT_Ave_On, &S::FFT_View_Sig, &S::FFT_Calc_Both, &S::FFT_Dither};

// Changes that invalidate the averaged powers.
bool RestartsSpectrum(int control)
{
    return control == FftSize || control == FftWin || control == FftAveOn;
}

int ItemCount(int control)
{
    return IsFftCheckBox(control) ? 2
                                  : static_cast<int>(kTexts.controls[static_cast<std::size_t>(control)].items.size());
}

}  // namespace

const FftSetTexts& FftSetDialogTexts()
{
    return kTexts;
}

FftValues ReadFftValues(const ScopeSettings& s)
{
    FftValues v{};
    for (int c = 0; c < FftControlCount; ++c) {
        const auto i = static_cast<std::size_t>(c);
        v[i] = IsFftCheckBox(c) ? static_cast<int>(s.*kBoolFields[i - Fft15dBDiv]) : s.*kIntFields[i];
    }
    return v;
}

void WriteFftValues(ScopeSettings& s, const FftValues& v)
{
    for (int c = 0; c < FftControlCount; ++c) {
        const auto i = static_cast<std::size_t>(c);
        if (IsFftCheckBox(c))
            s.*kBoolFields[i - Fft15dBDiv] = v[i] != 0;
        else
            s.*kIntFields[i] = v[i];
    }
}

void FftSetModel::Show(const ScopeSettings& s)
{
    loading = true;
    value = ReadFftValues(s);
    opened_ = value;
    visible.fill(true);
    visible[FftDither] = s.TDC_Clbr;
    loading = false;
}

SettingsEffect FftSetModel::Change(ScopeSettings& s, FftControl control, int newValue)
{
    SettingsEffect e;
    const auto i = static_cast<std::size_t>(control);
    if (loading || control < 0 || control >= FftControlCount) return e;
    if (newValue < 0 || newValue >= ItemCount(control) || newValue == value[i]) return e;
    value[i] = newValue;
    FftValues stored = ReadFftValues(s);
    stored[i] = newValue;
    WriteFftValues(s, stored);
    e.call = control == FftDither ? SettingsCall::Apply : SettingsCall::Refresh;
    e.restartSpectrum = RestartsSpectrum(control);
    return e;
}

SettingsEffect FftSetModel::Cancel(ScopeSettings& s)
{
    const FftValues now = ReadFftValues(s);
    SettingsEffect e;
    for (int c : {FftSize, FftWin, FftAveOn})
        if (now[static_cast<std::size_t>(c)] != opened_[static_cast<std::size_t>(c)]) e.restartSpectrum = true;
    e.call = now[FftDither] != opened_[FftDither] ? SettingsCall::Apply : SettingsCall::Refresh;
    WriteFftValues(s, opened_);
    value = opened_;
    return e;
}

}  // namespace kr40
