#include "ui/appearance.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace kr40 {
namespace {

TEST(AppearanceTest, DefaultsComeFromTheKeyTable)
{
    const ColourTable defaults = DefaultColours();
    std::set<int> seen;
    for (const SettingKey& k : SettingKeys()) {
        if (k.type != KeyType::Colour) continue;
        EXPECT_EQ(k.section, IniSection::Colors) << k.name;
        EXPECT_EQ(defaults[k.colour], static_cast<std::uint32_t>(k.defValue)) << k.name;
        seen.insert(k.colour);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(ColorCount));

    ScopeSettings s;
    s.Colors.fill(0x123456);
    LoadDefaultColours(s);
    EXPECT_EQ(s.Colors, defaults);
    EXPECT_EQ(s.Colors[ColorA1], 0x0000FF00u);  // green, red in the low byte
    EXPECT_EQ(s.Colors[ColorBackground], 0x002D0000u);
}

TEST(AppearanceTest, CancelRestoresEveryColour)
{
    ScopeSettings s;
    const ColourTable opened = s.Colors;
    const ColourSession session(s);
    for (int i = 0; i < ColorCount; ++i) s.Colors[i] = 0x010101u * static_cast<std::uint32_t>(i + 1);
    LoadDefaultColours(s);
    s.Colors[ColorFFT] = 0x00ABCDEF;
    EXPECT_FALSE(session.Finish(s, true));
    EXPECT_EQ(s.Colors, opened);
}

TEST(AppearanceTest, OtherCloseKeepsColoursAndWritesTheFile)
{
    ScopeSettings s;
    const ColourSession session(s);
    EXPECT_TRUE(session.Finish(s, false));  // even when nothing changed
    s.Colors[ColorGrid] = 0x00112233;
    EXPECT_TRUE(session.Finish(s, false));
    EXPECT_EQ(s.Colors[ColorGrid], 0x00112233u);
    EXPECT_NE(session.Saved()[ColorGrid], 0x00112233u);
}

TEST(AppearanceTest, DialogTextsFollowTheRoles)
{
    const ColourDialogTexts& t = ColourDialogCaptions();
    EXPECT_STREQ(t.caption.en, "Color Settings");
    EXPECT_STREQ(t.rows[ColorA1].en, "Signal A1");
    EXPECT_STREQ(t.rows[ColorBackground].ru, "Фон сетки");
    EXPECT_STREQ(t.rows[ColorBorder].ru, "Фон полей");
    EXPECT_STREQ(t.rows[ColorTrigPos].en, "Trig. position");
    EXPECT_STREQ(t.rows[ColorExtraInfo].ru, "Доп. информ.");
    EXPECT_STREQ(t.defaults.ru, "По умолч.");
    std::set<std::string> buttons(ColourRoleButtons().begin(), ColourRoleButtons().end());
    EXPECT_EQ(buttons.size(), static_cast<std::size_t>(ColorCount));
    EXPECT_STREQ(ColourRoleButtons()[ColorExtraInfo], "Button_Extra_Info");
}

TEST(AppearanceTest, VersionText)
{
    EXPECT_EQ(VersionText(227), "2.27");
    EXPECT_EQ(VersionText(105), "1.05");
    EXPECT_EQ(VersionText(7), "0.07");
    EXPECT_EQ(VersionText(1230), "12.30");
    EXPECT_EQ(VersionText(-1), "...");
}

TEST(AppearanceTest, AboutBeforeIdentification)
{
    const DeviceIdentity unknown;
    const AboutTexts en = MakeAboutTexts(false, unknown, 0, true);
    EXPECT_EQ(en.caption, "About");
    EXPECT_EQ(en.product, "KR40");
    EXPECT_EQ(en.software, "Software Version  2.27");
    EXPECT_EQ(en.firmware, "Firmware Version  ...");
    EXPECT_EQ(en.fpga, "FPGA Version  ...");
    EXPECT_TRUE(en.serialVisible);
    EXPECT_EQ(en.serial, "Serial Number  ...");

    const AboutTexts ru = MakeAboutTexts(true, unknown, 0, false);
    EXPECT_EQ(ru.caption, "О программе");
    EXPECT_EQ(ru.software, "Версия программы  2.27");
    EXPECT_EQ(ru.firmware, "Версия ПО устройства  ...");
    EXPECT_EQ(ru.fpga, "Версия FPGA устройства  ...");
    EXPECT_FALSE(ru.serialVisible);
}

TEST(AppearanceTest, AboutAfterIdentification)
{
    DeviceIdentity id;
    id.FirmVer = 213;
    id.FpgaVer = 105;
    id.FpgaVerValid = true;
    id.SerialValid = true;
    id.SerialHigh = 0x00C0FFEE;
    id.SerialLow = 0x0A2B;
    const AboutTexts en = MakeAboutTexts(false, id, 0x0001ABCD, true);
    EXPECT_EQ(en.firmware, "Firmware Version  2.13");
    EXPECT_EQ(en.fpga, "FPGA Version  1.05");
    EXPECT_EQ(en.serial, "Serial Number  0001ABCD, 0A2B - 00C0FFEE");
    const AboutTexts ru = MakeAboutTexts(true, id, 0xFFFFFFFF, true);
    EXPECT_EQ(ru.serial, "Серийный номер  FFFFFFFF, 0A2B - 00C0FFEE");
}

}  // namespace
}  // namespace kr40
