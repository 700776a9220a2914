#include "acquisition/scope_settings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>

#include "acquisition/scope_tables.h"

namespace kr40 {
namespace {

std::string Lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

TEST(ScopeSettingsTest, KeyTableIsCompleteAndInModelOrder)
{
    const std::map<IniSection, int> expected = {
        {IniSection::System, 5},   {IniSection::Common, 65},   {IniSection::Scope, 46},
        {IniSection::Trigger, 22}, {IniSection::Calibrate, 7}, {IniSection::Generator, 28},
        {IniSection::FFT, 13},     {IniSection::Colors, 12},   {IniSection::Decoders, 15},
    };
    std::map<IniSection, int> counted;
    std::set<std::string> names;
    int lastSection = -1;
    for (const SettingKey& k : SettingKeys()) {
        ++counted[k.section];
        EXPECT_GE(static_cast<int>(k.section), lastSection) << k.name << " is out of section order";
        lastSection = static_cast<int>(k.section);
        // Names are unique in their section, also for the "_fine" half of a level.
        EXPECT_TRUE(names.insert(std::string(SectionName(k.section)) + "/" + Lower(k.name)).second) << k.name;
        if (k.type == KeyType::Real) {
            EXPECT_TRUE(names.insert(std::string(SectionName(k.section)) + "/" + Lower(k.name) + "_fine").second);
        }
        EXPECT_EQ(FindSettingKey(k.section, Lower(k.name)), &k);
    }
    EXPECT_EQ(counted, expected);

    // Every group has one key per item, in item order.
    for (int g = 0; g < GroupCount; ++g) {
        std::vector<int> items;
        for (const SettingKey& k : SettingKeys())
            if (k.type == KeyType::GroupItem && static_cast<int>(k.group) == g) items.push_back(k.item);
        ASSERT_EQ(static_cast<int>(items.size()), GroupOf(static_cast<Group>(g)).count) << g;
        for (int i = 0; i < static_cast<int>(items.size()); ++i) EXPECT_EQ(items[i], i);
    }
}

TEST(ScopeSettingsTest, DefaultsComeFromTheTable)
{
    const ScopeSettings s;
    EXPECT_EQ(s.Sel(Group::TimeBase), TimeBase1ms);
    EXPECT_STREQ(TimeBases[s.Sel(Group::TimeBase)].key, "1mS");
    EXPECT_STREQ(VoltsPerDiv[s.Sel(Group::VoltsA1)].suffix, "1V");
    EXPECT_EQ(s.Sel(Group::SmplN), Smpl5000);
    EXPECT_EQ(s.Sel(Group::DrawMode), DrawSinxx);
    EXPECT_EQ(FrameRateChoices[s.Sel(Group::Fps)].value, 40);
    EXPECT_EQ(s.Sel(Group::GenMode), -1);
    EXPECT_EQ(s.Sel(Group::FmMode), FmFreq);
    EXPECT_TRUE(s.Russian);
    EXPECT_TRUE(s.Markers_2);
    EXPECT_FALSE(s.Markers_1);
    EXPECT_EQ(s.Marker2_x, 475);
    EXPECT_EQ(s.A1_Zero, 191);
    EXPECT_EQ(s.A2_Zero, 63);
    EXPECT_EQ(s.Lev_A1, 191.0);
    EXPECT_EQ(s.Tmult, 100);
    EXPECT_EQ(s.Z_A1P1, 3357);
    EXPECT_EQ(s.Mod_Param, 700);
    EXPECT_EQ(s.FFT_Ave, 3);
    EXPECT_TRUE(s.FFT_View_Sig);
    EXPECT_EQ(s.Colors[ColorBackground], 0x2D0000u);
    EXPECT_EQ(s.Colors[ColorExtraInfo], 0xC08000u);
    EXPECT_EQ(s.Dec_Baud_Rate, 115200);
    EXPECT_EQ(s.Dec_CS, 4);
    EXPECT_FALSE(s.Debug_kr);
}

TEST(ScopeSettingsTest, GroupItemsBehaveLikeTheirControls)
{
    struct Case {
        Group group;
        int start, item;
        bool on;
        int expected;
    } cases[] = {
        {Group::TimeBase, 13, 5, true, 5},                                      // select another
        {Group::TimeBase, 13, 13, false, 13},                                   // a button group keeps its selection
        {Group::TimeBase, 13, 27, true, 13},                                    // no such item
        {Group::TimeBase, 13, -1, true, 13},  {Group::SmplN, 1, 1, false, -1},  // a radio menu item clears
        {Group::SmplN, 1, 2, false, 1},                                         // clearing another item changes nothing
        {Group::SmplN, -1, 0, true, 0},       {Group::GenMode, 2, 2, false, -1},  // buttons that may be all up
        {Group::GenShape, 0, 0, false, -1},
    };
    for (const Case& c : cases) {
        ScopeSettings s;
        s.Sel(c.group) = c.start;
        SetGroupItem(s, c.group, c.item, c.on);
        EXPECT_EQ(s.Sel(c.group), c.expected) << static_cast<int>(c.group) << " item " << c.item;
    }
}

TEST(ScopeTablesTest, TablesRunInOrder)
{
    for (int i = 1; i < TimeBaseCount; ++i) EXPECT_LT(TimeBases[i].ns, TimeBases[i - 1].ns) << i;
    EXPECT_EQ(TimeBases[TimeBase100ms].ns, 100'000'000u);
    EXPECT_EQ(TimeBases.back().ns, 50u);
    for (int i = 1; i < VoltsCount; ++i) EXPECT_LT(VoltsPerDiv[i].uV, VoltsPerDiv[i - 1].uV) << i;
}

}  // namespace
}  // namespace kr40
