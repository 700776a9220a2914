#include "decoders/decoder_dialog_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "acquisition/scope_settings.h"

namespace kr40 {
namespace {

// Settings away from every default, with RS232 on.
ScopeSettings Edited()
{
    ScopeSettings s;
    s.Russian = false;
    s.Dec_Type = 1;
    s.Dec_PRTY = 2;
    s.Dec_MSB_First = 1;
    s.Dec_RXD = 4;
    s.Dec_TXD = 3;
    s.Dec_CLK = 1;
    s.Dec_CS = 0;
    s.Dec_RXD_Inv = 1;
    s.Dec_TXD_Inv = 0;
    s.Dec_CLK_Inv = 1;
    s.Dec_CS_Inv = 1;
    s.Dec_Display = 2;
    s.Dec_Baud_Rate = 19200;
    s.Dec_Data_Bits = 7;
    s.Dec_Stop_Bits = 2;
    return s;
}

// The fifteen fields read straight from the settings, in the model's order.
std::vector<int> Fields(const ScopeSettings& s)
{
    return {s.Dec_Type,   s.Dec_PRTY,    s.Dec_MSB_First, s.Dec_RXD,       s.Dec_TXD,
            s.Dec_CLK,    s.Dec_CS,      s.Dec_RXD_Inv,   s.Dec_TXD_Inv,   s.Dec_CLK_Inv,
            s.Dec_CS_Inv, s.Dec_Display, s.Dec_Baud_Rate, s.Dec_Data_Bits, s.Dec_Stop_Bits};
}

TEST(DecoderDialogModel, ShowLoadsTheControlsAndTheirTextsInTheLanguage)
{
    struct Case {
        bool russian;
        const char* caption;
        std::vector<std::string> decoders, channels, cs;
        const char *inv, *decoderLabel, *displayLabel;
    };
    const Case cases[] = {
        {false,
         "Serial Decoders",
         {"OFF", "RS232"},
         {"OFF", "CH A1", "CH D1", "CH A2", "CH D2"},
         {"ACTIVE", "CH A1", "CH D1", "CH A2", "CH D2"},
         "Inv",
         "Decoder -",
         "Data Display Format -"},
        {true,
         "Декодер протоколов",
         {"Выкл.", "RS232"},
         {"Выкл.", "Канал A1", "Канал D1", "Канал A2", "Канал D2"},
         {"Активн.", "Канал A1", "Канал D1", "Канал A2", "Канал D2"},
         "Инв.",
         "Декодер -",
         "Формат отображения -"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.russian ? "Russian" : "English");
        ScopeSettings s = Edited();
        s.Russian = c.russian;
        DecoderDialogModel m;
        EXPECT_EQ(m.Show(s).call, SettingsCall::None);
        EXPECT_FALSE(m.loading);
        EXPECT_EQ(m.caption, c.caption);
        EXPECT_EQ(m.items[DecType], c.decoders);
        for (DecControl list : {DecRxd, DecTxd, DecClk}) EXPECT_EQ(m.items[list], c.channels) << list;
        EXPECT_EQ(m.items[DecCs], c.cs);
        for (DecControl box : {DecRxdInv, DecTxdInv, DecClkInv, DecCsInv}) EXPECT_EQ(m.label[box], c.inv) << box;
        EXPECT_EQ(m.label[DecType], c.decoderLabel);
        EXPECT_EQ(m.label[DecDisplay], c.displayLabel);
        EXPECT_EQ(m.items[DecPrty], (std::vector<std::string>{"NONE", "EVEN", "ODD", "IGNORE"}));
        EXPECT_EQ(m.items[DecMsbFirst], (std::vector<std::string>{"LSB First", "MSB First"}));
        EXPECT_EQ(m.items[DecDisplay], (std::vector<std::string>{"HEX", "DECIMAL", "ASCII"}));
        EXPECT_EQ(m.cancel, c.russian ? "Отмена" : "Cancel");
        for (const std::string& l : m.editLabel) EXPECT_FALSE(l.empty());

        EXPECT_EQ(m.value, (std::array<int, DecControlCount>{1, 2, 1, 4, 3, 1, 0, 1, 0, 1, 1, 2}));
        EXPECT_EQ(m.editText, (std::array<std::string, DecEditCount>{"19200", "7", "2"}));
        EXPECT_EQ(m.magenta, (std::array<bool, DecEditCount>{}));
        // Only RS232 is offered: the CLK and CS rows are hidden.
        for (int k = 0; k < DecControlCount; ++k)
            EXPECT_EQ(m.visible[k], k != DecClk && k != DecCs && k != DecClkInv && k != DecCsInv) << k;
    }
}

TEST(DecoderDialogModel, ChannelRolesAndEnablingFollowTheType)
{
    struct Case {
        int type;
        std::array<std::string, 4> roles;
    };
    const Case cases[] = {
        {0, {"", "", "", ""}},           {1, {"RXD -", "TXD -", "", ""}}, {2, {"MOSI -", "MISO -", "CLK -", "CS -"}},
        {3, {"SDA -", "", "SCL -", ""}}, {4, {"DATA -", "", "", ""}},     {7, {"", "", "", ""}},
    };
    for (const Case& c : cases) {
        const auto roles = DecoderRoles(c.type);
        for (int k = 0; k < 4; ++k) EXPECT_EQ(roles[k], c.roles[k]) << "type " << c.type << " list " << k;
    }

    for (int type : {0, 1}) {
        SCOPED_TRACE(type);
        ScopeSettings s = Edited();
        s.Dec_Type = type;
        DecoderDialogModel m;
        m.Show(s);
        const bool rs232 = type == 1;
        EXPECT_EQ(m.label[DecRxd], rs232 ? "RXD -" : "");
        EXPECT_EQ(m.label[DecTxd], rs232 ? "TXD -" : "");
        for (DecControl c : {DecRxd, DecTxd, DecRxdInv, DecTxdInv, DecPrty}) EXPECT_EQ(m.enabled[c], rs232) << c;
        for (DecControl c : {DecClk, DecCs, DecClkInv, DecCsInv}) EXPECT_FALSE(m.enabled[c]) << c;
        for (DecControl c : {DecType, DecMsbFirst, DecDisplay}) EXPECT_TRUE(m.enabled[c]) << c;
        EXPECT_EQ(m.editEnabled, (std::array<bool, DecEditCount>{rs232, true, rs232}));
    }
}

TEST(DecoderDialogModel, StoredTypeAboveRs232IsShownAndStoredAsRs232)
{
    for (int type : {2, 3, 4}) {
        SCOPED_TRACE(type);
        ScopeSettings s = Edited();
        s.Dec_Type = type;
        DecoderDialogModel m;
        EXPECT_EQ(m.Show(s).call, SettingsCall::Refresh);
        EXPECT_EQ(s.Dec_Type, 1);
        EXPECT_EQ(m.value[DecType], 1);
        EXPECT_EQ(m.label[DecRxd], "RXD -");
        // Cancel puts back what was stored when the dialog opened.
        EXPECT_EQ(m.Cancel(s).call, SettingsCall::Refresh);
        EXPECT_EQ(s.Dec_Type, type);
    }
}

TEST(DecoderDialogModel, EachChangeStoresItsFieldAtOnce)
{
    struct Case {
        DecControl control;
        int value;
        int ScopeSettings::*field;
        int items;
    };
    const Case cases[] = {
        {DecType, 0, &ScopeSettings::Dec_Type, 2},
        {DecPrty, 3, &ScopeSettings::Dec_PRTY, 4},
        {DecMsbFirst, 0, &ScopeSettings::Dec_MSB_First, 2},
        {DecRxd, 2, &ScopeSettings::Dec_RXD, 5},
        {DecTxd, 0, &ScopeSettings::Dec_TXD, 5},
        {DecClk, 4, &ScopeSettings::Dec_CLK, 5},
        {DecCs, 3, &ScopeSettings::Dec_CS, 5},
        {DecRxdInv, 0, &ScopeSettings::Dec_RXD_Inv, 2},
        {DecTxdInv, 1, &ScopeSettings::Dec_TXD_Inv, 2},
        {DecClkInv, 0, &ScopeSettings::Dec_CLK_Inv, 2},
        {DecCsInv, 0, &ScopeSettings::Dec_CS_Inv, 2},
        {DecDisplay, 1, &ScopeSettings::Dec_Display, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        ScopeSettings s = Edited();
        DecoderDialogModel m;
        m.Show(s);
        const int before = s.*c.field;

        m.loading = true;
        EXPECT_EQ(m.Change(s, c.control, c.value).call, SettingsCall::None);
        EXPECT_EQ(s.*c.field, before);
        m.loading = false;

        for (int refused : {-1, c.items}) {
            EXPECT_EQ(m.Change(s, c.control, refused).call, SettingsCall::None) << refused;
            EXPECT_EQ(s.*c.field, before);
        }
        EXPECT_EQ(m.Change(s, c.control, before).call, SettingsCall::None);

        EXPECT_EQ(m.Change(s, c.control, c.value).call, SettingsCall::Refresh);
        EXPECT_EQ(s.*c.field, c.value);
        EXPECT_EQ(m.value[c.control], c.value);
    }
}

TEST(DecoderDialogModel, TurningTheDecoderOffClearsTheTextWindow)
{
    ScopeSettings s = Edited();
    DecoderDialogModel m;
    m.Show(s);
    EXPECT_EQ(m.Change(s, DecType, 0).call, SettingsCall::Refresh);
    EXPECT_TRUE(m.clearText);
    EXPECT_EQ(m.label[DecRxd], "");
    EXPECT_FALSE(m.enabled[DecRxd]);
    EXPECT_FALSE(m.editEnabled[DecBaudRate]);
    EXPECT_EQ(m.Change(s, DecType, 1).call, SettingsCall::Refresh);
    EXPECT_FALSE(m.clearText);
    EXPECT_EQ(m.label[DecRxd], "RXD -");
    EXPECT_TRUE(m.enabled[DecTxd]);
}

TEST(DecoderDialogModel, EditsTakeOnlyWholeIntegersInRange)
{
    struct Case {
        DecEdit edit;
        const char* text;
        bool taken;
        int stored;  // the field afterwards
    };
    // Edited(): 19200 bit/s, 7 data bits, 2 stop bits.
    const Case cases[] = {
        {DecBaudRate, "9600", true, 9600},
        {DecBaudRate, "2", true, 2},
        {DecBaudRate, "25000000", true, 25000000},
        {DecBaudRate, " 12", false, 19200},
        {DecBaudRate, "12 ", false, 19200},
        {DecBaudRate, "12x", false, 19200},
        {DecBaudRate, "1e3", false, 19200},
        {DecBaudRate, "", false, 19200},
        {DecBaudRate, "25000001", false, 19200},
        {DecBaudRate, "1", false, 19200},
        {DecBaudRate, "+9600", false, 19200},
        {DecBaudRate, "-9600", false, 19200},
        {DecBaudRate, "99999999999999999999", false, 19200},
        {DecDataBits, "32", true, 32},
        {DecDataBits, "2", true, 2},
        {DecDataBits, "33", false, 7},
        {DecDataBits, "1", false, 7},
        {DecDataBits, "8.0", false, 7},
        {DecStopBits, "1", true, 1},
        {DecStopBits, "0", false, 2},
        {DecStopBits, "3", false, 2},
    };
    const std::array<int ScopeSettings::*, DecEditCount> fields = {
        &ScopeSettings::Dec_Baud_Rate, &ScopeSettings::Dec_Data_Bits, &ScopeSettings::Dec_Stop_Bits};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "edit " << c.edit << " \"" << c.text << "\"");
        ScopeSettings s = Edited();
        DecoderDialogModel m;
        m.Show(s);
        const SettingsEffect e = m.EditChange(s, c.edit, c.text);
        EXPECT_EQ(e.call, c.taken ? SettingsCall::Refresh : SettingsCall::None);
        EXPECT_EQ(s.*fields[c.edit], c.stored);
        EXPECT_EQ(m.magenta[c.edit], !c.taken);
        EXPECT_EQ(m.editText[c.edit], c.text);  // the edit keeps what was typed
        for (int other = 0; other < DecEditCount; ++other) {
            if (other == c.edit) continue;
            EXPECT_FALSE(m.magenta[other]) << other;
        }
    }

    // A refused text turns magenta; a good one, even the stored value, turns it back.
    ScopeSettings s = Edited();
    DecoderDialogModel m;
    m.Show(s);
    m.EditChange(s, DecBaudRate, "96OO");
    ASSERT_TRUE(m.magenta[DecBaudRate]);
    EXPECT_EQ(m.EditChange(s, DecBaudRate, "19200").call, SettingsCall::None);
    EXPECT_FALSE(m.magenta[DecBaudRate]);

    m.loading = true;
    EXPECT_EQ(m.EditChange(s, DecBaudRate, "9600").call, SettingsCall::None);
    EXPECT_EQ(s.Dec_Baud_Rate, 19200);
    EXPECT_FALSE(m.magenta[DecBaudRate]);
}

TEST(DecoderDialogModel, CancelRestoresAllFifteenFields)
{
    ScopeSettings s = Edited();
    const std::vector<int> opened = Fields(s);
    DecoderDialogModel m;
    m.Show(s);
    m.Change(s, DecType, 0);
    m.Change(s, DecPrty, 1);
    m.Change(s, DecMsbFirst, 0);
    m.Change(s, DecRxd, 1);
    m.Change(s, DecTxd, 2);
    m.Change(s, DecClk, 3);
    m.Change(s, DecCs, 4);
    m.Change(s, DecRxdInv, 0);
    m.Change(s, DecTxdInv, 1);
    m.Change(s, DecClkInv, 0);
    m.Change(s, DecCsInv, 0);
    m.Change(s, DecDisplay, 0);
    m.EditChange(s, DecBaudRate, "9600");
    m.EditChange(s, DecDataBits, "9");
    m.EditChange(s, DecStopBits, "x");
    for (std::size_t i = 0; i + 1 < opened.size(); ++i) ASSERT_NE(Fields(s)[i], opened[i]) << i;

    EXPECT_EQ(m.Cancel(s).call, SettingsCall::Refresh);
    EXPECT_EQ(Fields(s), opened);
    EXPECT_EQ(m.value[DecType], 1);
    EXPECT_EQ(m.editText[DecBaudRate], "19200");
    EXPECT_FALSE(m.magenta[DecStopBits]);

    // Nothing changed: nothing to refresh.
    DecoderDialogModel again;
    again.Show(s);
    EXPECT_EQ(again.Cancel(s).call, SettingsCall::None);
    EXPECT_EQ(Fields(s), opened);
}

}  // namespace
}  // namespace kr40
