// Values read from a settings file stay within what the screen can hold.

#include <gtest/gtest.h>

#include <string>

#include "acquisition/scope_settings.h"
#include "device/link_shared.h"
#include "files/ini_image.h"
#include "files/settings_file.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

TEST(SettingsBounds, MarkersAndLevelsFromAFileAreClampedToTheScreen)
{
    struct Case {
        const char* text;
        int ScopeSettings::*marker;
        int expected;
    };
    const Case markers[] = {
        {"[Common]\nMarker_x=2147483647\n", &ScopeSettings::Marker_x, MarkerXMax},
        {"[Common]\nMarker_y=-2147483648\n", &ScopeSettings::Marker_y, 0},
        {"[Common]\nMarker1_x=-1\n", &ScopeSettings::Marker1_x, 0},
        {"[Common]\nMarker1_y=257\n", &ScopeSettings::Marker1_y, MarkerYMax},
        {"[Common]\nMarker2_x=501\n", &ScopeSettings::Marker2_x, MarkerXMax},
        {"[Common]\nMarker2_y=128\n", &ScopeSettings::Marker2_y, 128},
    };
    for (const Case& c : markers) {
        SCOPED_TRACE(c.text);
        ScopeSettings s;
        ReadSettingsImage(s, IniImage::FromText(c.text), false);
        EXPECT_EQ(s.*c.marker, c.expected);
    }

    ScopeSettings s;
    ReadSettingsImage(s,
                      IniImage::FromText("[Trigger]\nLev_A1=2147483647\nLev_A1_fine=999999\n"
                                         "Lev_A2=-2147483648\nbgLev_A1=100\nbgLev_A1_fine=500000\n"
                                         "bgLev_A2=256\n"),
                      false);
    EXPECT_EQ(s.Lev_A1, LevelMax);
    EXPECT_EQ(s.Lev_A2, LevelMin);
    EXPECT_DOUBLE_EQ(s.bgLev_A1, 100.5);
    EXPECT_EQ(s.bgLev_A2, 256.0);
}

// A level the program moved far off the screen (a range change keeps its
// voltage) is written as it is, and reads back at the screen's edge instead
// of failing to read.
TEST(SettingsBounds, AnOffScreenLevelReadsBackAtTheEdge)
{
    test::TempDir dir;
    const std::filesystem::path file = dir / "far.krs";
    LinkShared io;
    ScopeSettings written;
    written.Lev_A1 = 1e10;
    written.Lev_A2 = -3e9;
    ASSERT_TRUE(WriteSettings(written, io, file, false));
    ScopeSettings read;
    test::ScriptedPrompts prompts;
    ASSERT_TRUE(ReadSettings(read, prompts, file, false));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(read.Lev_A1, LevelMax);
    EXPECT_EQ(read.Lev_A2, LevelMin);
}

// A file with both spectrum views checked opens the A1 view only.
TEST(SettingsBounds, BothSpectrumViewsFromAFileKeepA1)
{
    ScopeSettings s;
    ReadSettingsImage(s, IniImage::FromText("[FFT]\nView_A1=1\nView_A2=1\n"), false);
    EXPECT_TRUE(s.FFT_View_A1);
    EXPECT_FALSE(s.FFT_View_A2);
}

}  // namespace
}  // namespace kr40
