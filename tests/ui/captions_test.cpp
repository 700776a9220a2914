#include "ui/captions.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace kr40 {
namespace {

TEST(CaptionsTest, TableHasOneRowPerControl)
{
    const auto rows = MainCaptions();
    ASSERT_EQ(rows.size(), 96u);
    std::set<std::string> controls;
    for (const CaptionRow& r : rows) {
        EXPECT_TRUE(controls.insert(r.control).second) << "duplicate " << r.control;
        ASSERT_NE(r.text.en, nullptr);
        EXPECT_STRNE(r.text.en, "") << r.control;
        if (std::string(r.control) == "Menu_Language") {
            EXPECT_EQ(r.text.ru, nullptr);
        } else {
            ASSERT_NE(r.text.ru, nullptr) << r.control;
            EXPECT_STRNE(r.text.ru, "") << r.control;
        }
    }
    EXPECT_STREQ(rows.front().control, "GroupBox1");
    EXPECT_STREQ(rows.back().control, "Menu_Language");
}

TEST(CaptionsTest, SetLanguageWritesInTableOrderAndSkipsLanguageMenuInRussian)
{
    for (bool russian : {false, true}) {
        std::vector<std::string> written;
        SetLanguage(russian, [&](std::string_view control, const std::string& caption) {
            written.emplace_back(control);
            EXPECT_FALSE(caption.empty()) << control;
            EXPECT_NE(caption.front(), '\'') << control;
        });
        const auto rows = MainCaptions();
        ASSERT_EQ(written.size(), russian ? 95u : 96u);
        for (std::size_t i = 0; i < written.size(); ++i) EXPECT_EQ(written[i], rows[i].control);
    }
}

// The window as a map of captions, started with the designed English ones.
TEST(CaptionsTest, RussianAndBackGivesTheDesignedCaptions)
{
    const std::map<std::string, std::string> designed = {
        {"GroupBox1", "Scope"},
        {"SpeedButton_Sngl", "SINGLE"},
        {"Menu_EBin_A1", "CH A1..."},
        {"Menu_EBin_D2", "CH D2..."},
        {"Menu_Smpl_Max", "20000 (A or A+D)"},
        {"Menu_Probe_A1", "Probe A1"},
        {"Menu_SchmittT_D1", "Schmitt Trigger D1"},
        {"Menu_FM_Period", "Period && Counter"},
        {"Menu_FM_D1_HF", "CH D1 (HF)"},
        {"Menu_CH_A1", "CH A1"},
        {"Menu_BG_Do", "Main <-> B.G. Oscillogram"},
        {"Menu_FFT_A1", "FFT A1"},
        {"Menu_Lenta", "Scroll (0.1 .. 20 S/Div)"},
        {"Menu_English", "English"},
        {"Menu_Language", "Language"},
        {"Menu_Recorder", "Recorder..."},
        {"Menu_Transfer_Rate", "Transfer Rate"},
    };
    std::map<std::string, std::string> window = designed;
    const auto set = [&](std::string_view control, const std::string& caption) {
        auto it = window.find(std::string(control));
        if (it != window.end()) it->second = caption;
    };

    SetLanguage(true, set);
    EXPECT_EQ(window["Menu_EBin_A1"], "Канал A1...");
    EXPECT_EQ(window["Menu_FM_Period"], "Период и счёт");
    EXPECT_EQ(window["Menu_Recorder"], "Двоичный самописец (канал A1)...");
    EXPECT_EQ(window["Menu_English"], "English");
    EXPECT_EQ(window["Menu_Language"], "Language");  // never written in Russian

    SetLanguage(false, set);
    for (const auto& [control, caption] : designed) {
        if (control == "Menu_Recorder" || control == "Menu_Transfer_Rate") continue;
        EXPECT_EQ(window[control], caption) << control;
    }
    EXPECT_EQ(window["Menu_Recorder"], "Binary Recorder (CH A1)...");
    EXPECT_EQ(window["Menu_Transfer_Rate"], "Transfer Rate (Mbps)");
}

TEST(CaptionsTest, LookupByControl)
{
    EXPECT_EQ(MainCaption("Menu_Smpl_Max", false), "20000 (A or A+D)");
    EXPECT_EQ(MainCaption("Menu_Smpl_Max", true), "20000 (A или A+D)");
    EXPECT_EQ(MainCaption("Menu_EBin_A2", true), "Канал A2...");
    EXPECT_EQ(MainCaption("Menu_Language", true), "Language");
    EXPECT_EQ(MainCaption("Menu_Nothing", false), "");
    EXPECT_EQ(MainCaption("", true), "");
}

}  // namespace
}  // namespace kr40
