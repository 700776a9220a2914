#include "analysis/fft_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/scope_settings.h"

namespace kr40 {
namespace {

// Reads one setting straight from its field, so the tests do not lean on the
// model's own field table.
using Field = int (*)(const ScopeSettings&);
const std::array<Field, FftControlCount> kFields = {
    [](const ScopeSettings& s) { return s.FFT_Size; },
    [](const ScopeSettings& s) { return s.FFT_Win; },
    [](const ScopeSettings& s) { return s.FFT_Scale; },
    [](const ScopeSettings& s) { return s.FFT_Ave; },
    [](const ScopeSettings& s) { return s.FFT_Zoom; },
    [](const ScopeSettings& s) { return int(s.FFT_15dB_div); },
    [](const ScopeSettings& s) { return int(s.FFT_dbv_v); },
    [](const ScopeSettings& s) { return int(s.FFT_Ave_On); },
    [](const ScopeSettings& s) { return int(s.FFT_View_Sig); },
    [](const ScopeSettings& s) { return int(s.FFT_Calc_Both); },
    [](const ScopeSettings& s) { return int(s.FFT_Dither); },
};

FftValues Fields(const ScopeSettings& s)
{
    FftValues v{};
    for (std::size_t c = 0; c < v.size(); ++c) v[c] = kFields[c](s);
    return v;
}

// Settings away from every default, so a value lost on the way shows.
ScopeSettings Edited()
{
    ScopeSettings s;
    s.FFT_Size = 2;
    s.FFT_Win = 7;
    s.FFT_Scale = 3;
    s.FFT_Ave = 6;
    s.FFT_Zoom = 4;
    s.FFT_15dB_div = true;
    s.FFT_dbv_v = true;
    s.FFT_Ave_On = true;
    s.FFT_View_Sig = false;
    s.FFT_Calc_Both = true;
    s.FFT_Dither = true;
    return s;
}

TEST(FftSetModel, ShowLoadsTheElevenValues)
{
    const ScopeSettings s = Edited();
    FftSetModel m;
    m.Show(s);
    EXPECT_FALSE(m.loading);
    EXPECT_EQ(m.value, (FftValues{2, 7, 3, 6, 4, 1, 1, 1, 0, 1, 1}));
    EXPECT_EQ(m.value, Fields(s));
}

TEST(FftSetModel, DitherShownOnlyWithTheTdcServiceFlag)
{
    struct Case {
        bool tdcClbr, debugKr, shown;
    };
    for (const Case& c : {Case{false, false, false}, Case{true, false, true}, Case{false, true, false}}) {
        SCOPED_TRACE(::testing::Message() << "TDC_Clbr " << c.tdcClbr << " Debug_kr " << c.debugKr);
        ScopeSettings s;
        s.TDC_Clbr = c.tdcClbr;
        s.Debug_kr = c.debugKr;
        FftSetModel m;
        m.Show(s);
        for (int k = 0; k < FftControlCount; ++k) EXPECT_EQ(m.visible[k], k == FftDither ? c.shown : true) << k;
    }
}

TEST(FftSetModel, EveryChangeStoresItsSettingAtOnce)
{
    struct Case {
        FftControl control;
        int value;
        SettingsCall call;
        bool restart;
    };
    constexpr auto R = SettingsCall::Refresh, A = SettingsCall::Apply;
    const Case kCases[] = {
        {FftSize, 5, R, true},      {FftSize, 6, R, true},    {FftWin, 0, R, true},   {FftWin, 8, R, true},
        {FftScale, 1, R, false},    {FftAve, 0, R, false},    {FftAve, 6, R, false},  {FftZoom, 5, R, false},
        {Fft15dBDiv, 1, R, false},  {FftDbvV, 1, R, false},   {FftAveOn, 1, R, true}, {FftViewSig, 0, R, false},
        {FftCalcBoth, 1, R, false}, {FftDither, 1, A, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(::testing::Message() << "control " << c.control << " value " << c.value);
        ScopeSettings s;
        s.TDC_Clbr = true;
        s.FFT_Size = 3;
        s.FFT_Ave = 2;
        FftSetModel m;
        m.Show(s);
        FftValues expected = Fields(s);
        expected[c.control] = c.value;

        const SettingsEffect e = m.Change(s, c.control, c.value);
        EXPECT_EQ(e.call, c.call);
        EXPECT_EQ(e.restartSpectrum, c.restart);
        EXPECT_FALSE(e.rearmTrigger);
        EXPECT_EQ(Fields(s), expected);
        EXPECT_EQ(m.value, expected);
    }
}

TEST(FftSetModel, ChangesThatChangeNothingDoNothing)
{
    const ScopeSettings before = Edited();
    struct Case {
        const char* name;
        FftControl control;
        int value;
        bool loading;
    };
    const Case kCases[] = {
        {"WhileLoading", FftSize, 0, true},   {"SameItem", FftWin, 7, false},
        {"SameCheck", FftAveOn, 1, false},    {"PastTheLastItem", FftWin, 9, false},
        {"NegativeItem", FftZoom, -1, false}, {"CheckBoxNotBool", FftDither, 2, false},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ScopeSettings s = before;
        FftSetModel m;
        m.Show(s);
        m.loading = c.loading;
        EXPECT_EQ(m.Change(s, c.control, c.value).call, SettingsCall::None);
        EXPECT_EQ(Fields(s), Fields(before));
        EXPECT_EQ(m.value, Fields(before));
    }
}

TEST(FftSetModel, CancelRestoresTheElevenValues)
{
    struct Step {
        FftControl control;
        int value;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        SettingsCall call;
        bool restart;
    };
    constexpr auto R = SettingsCall::Refresh, A = SettingsCall::Apply;
    const Case kCases[] = {
        {"Untouched", {}, R, false},
        {"DisplayOnly",
         {{FftScale, 0}, {FftAve, 1}, {FftZoom, 0}, {Fft15dBDiv, 0}, {FftDbvV, 0}, {FftViewSig, 1}, {FftCalcBoth, 0}},
         R,
         false},
        {"Size", {{FftSize, 6}}, R, true},
        {"Window", {{FftWin, 1}}, R, true},
        {"AveOn", {{FftAveOn, 0}}, R, true},
        {"SizeChangedAndBack", {{FftSize, 0}, {FftSize, 2}}, R, false},
        {"Dither", {{FftDither, 0}}, A, false},
        {"DitherAndBack", {{FftDither, 0}, {FftDither, 1}}, R, false},
        {"Everything",
         {{FftSize, 0},
          {FftWin, 0},
          {FftScale, 0},
          {FftAve, 0},
          {FftZoom, 0},
          {Fft15dBDiv, 0},
          {FftDbvV, 0},
          {FftAveOn, 0},
          {FftViewSig, 1},
          {FftCalcBoth, 0},
          {FftDither, 0}},
         A,
         true},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ScopeSettings s = Edited();
        s.TDC_Clbr = true;
        const ScopeSettings before = s;
        FftSetModel m;
        m.Show(s);
        for (const Step& step : c.steps) {
            const SettingsEffect e = m.Change(s, step.control, step.value);
            ASSERT_NE(e.call, SettingsCall::None) << step.control;
        }
        const SettingsEffect e = m.Cancel(s);
        EXPECT_EQ(e.call, c.call);
        EXPECT_EQ(e.restartSpectrum, c.restart);
        EXPECT_EQ(Fields(s), Fields(before));
        EXPECT_EQ(m.value, Fields(before));
    }
}

TEST(FftSetTexts, BothLanguagesAndTheNamesOfTheControls)
{
    const FftSetTexts& t = FftSetDialogTexts();
    EXPECT_EQ(Tr(t.caption, false), "FFT Settings");
    EXPECT_EQ(Tr(t.caption, true), "Установки БПФ");
    EXPECT_EQ(Tr(t.cancel, true), "Отмена");

    const FftControlText& win = t.controls[FftWin];
    EXPECT_STREQ(win.name, "RadioGroup_FFT_Win");
    EXPECT_EQ(Tr(win.caption, true), "Весовое окно");
    EXPECT_EQ(Tr(win.items[5], false), "Blackman\u2013Harris");  // en dash
    EXPECT_EQ(Tr(win.items[5], true), "Блэкмана \u2014 Харриса");
    EXPECT_EQ(Tr(win.items[7], false), "Blackman\u2013Nuttall");
    EXPECT_EQ(Tr(t.controls[FftSize].items[6], true), "Авто");
    EXPECT_EQ(Tr(t.controls[FftAve].items[6], true), "Беск.");
    EXPECT_EQ(Tr(t.controls[FftScale].items[2], false), "dBm (75 Ohm)");
    EXPECT_EQ(Tr(t.controls[FftZoom].items[0], true), "Нет");
    EXPECT_STREQ(t.controls[FftScale].name, "RadioGroup_FFT_VScale");
    EXPECT_STREQ(t.controls[FftDither].name, "CheckBox_FFT_Dither");
    EXPECT_EQ(Tr(t.controls[FftCalcBoth].caption, true), "Просч. двух каналов");
    EXPECT_EQ(Tr(t.controls[FftDbvV].caption, false), "dBV -> Volt");
}

TEST(FftSetTexts, EveryGroupHasOneItemPerValueOfItsSetting)
{
    const std::array<const char*, 5> kKeys = {"Size", "Win", "Scale", "Ave", "Zoom"};
    for (int c = 0; c < FftControlCount; ++c) {
        const FftControlText& ct = FftSetDialogTexts().controls[static_cast<std::size_t>(c)];
        SCOPED_TRACE(ct.name);
        if (IsFftCheckBox(c)) {
            EXPECT_TRUE(ct.items.empty());
            EXPECT_EQ(std::string(ct.name).rfind("CheckBox_FFT_", 0), 0u);
            continue;
        }
        const SettingKey* key = FindSettingKey(IniSection::FFT, kKeys[static_cast<std::size_t>(c)]);
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(key->lo, 0);
        EXPECT_EQ(static_cast<int>(ct.items.size()), key->hi + 1);
        for (const TextPair& item : ct.items) {
            EXPECT_STRNE(item.en, "");
            EXPECT_STRNE(item.ru, "");
        }
    }
}

}  // namespace
}  // namespace kr40
