#pragma once
// Form_S_Decoders as a plain model: the fifteen decoder settings the dialog
// edits, what its controls show in the current language, every change stored
// at once, the Cancel roll-back, and the decoder window's text. The Qt dialog
// copies the model into its widgets and forwards their changes here.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "acquisition/settings_effect.h"
#include "core/texts.h"
#include "decoders/uart_decoder.h"

namespace kr40 {

struct ScopeSettings;

// The choice controls, value = item index (check boxes 0 / 1).
enum DecControl : int {
    DecType,      // ComboBox_Decoder:      Dec_Type, offered 0 "OFF", 1 "RS232"
    DecPrty,      // ComboBox_PRTY:         Dec_PRTY 0..3
    DecMsbFirst,  // RadioGroup_MSB_First:  Dec_MSB_First 0..1
    DecRxd,       // ComboBox_RXD:          Dec_RXD 0 off, 1 A1, 2 D1, 3 A2, 4 D2
    DecTxd,       // ComboBox_TXD
    DecClk,       // ComboBox_CLK
    DecCs,        // ComboBox_CS (item 0 "ACTIVE")
    DecRxdInv,    // CheckBox_RXD_Inv
    DecTxdInv,    // CheckBox_TXD_Inv
    DecClkInv,    // CheckBox_CLK_Inv
    DecCsInv,     // CheckBox_CS_Inv
    DecDisplay,   // ComboBox_Display:      Dec_Display 0 HEX, 1 DECIMAL, 2 ASCII
    DecControlCount
};

// The number edits.
enum DecEdit : int {
    DecBaudRate,  // Edit_Baud_Rate:  Dec_Baud_Rate 2..25000000
    DecDataBits,  // Edit_Data_Bits:  Dec_Data_Bits 2..32
    DecStopBits,  // Edit_Stop_Bits:  Dec_Stop_Bits 1..2
    DecEditCount
};

struct DecEditRange {
    int min, max;
};
extern const std::array<DecEditRange, DecEditCount> DecEditRanges;

// Background of an edit that refused its text (0x00BBGGRR).
inline constexpr std::uint32_t kRefusedEditColour = 0xFF00FF;

struct DecControlText {
    const char* name;             // "ComboBox_PRTY", "CheckBox_RXD_Inv", ...
    TextPair caption;             // label beside it, check-box text or group title; "" for the channel lists
    std::vector<TextPair> items;  // list or radio items; empty for a check box
};

struct DecEditText {
    const char* name;  // "Edit_Baud_Rate", ...
    TextPair label;
};

// Every fixed text of the dialog, English and Russian. The channel lists'
// labels name the line's role and follow the decoder type (DecoderRoles).
struct DecoderDialogTexts {
    TextPair caption;
    std::array<DecControlText, DecControlCount> controls;
    std::array<DecEditText, DecEditCount> edits;
    TextPair ok, cancel;
};
const DecoderDialogTexts& DecoderDialogTextTable();

// The role labels beside the four channel lists for a decoder type
// (RS232: "RXD -", "TXD -", "", ""); "" leaves the list disabled.
std::array<const char*, 4> DecoderRoles(int type);

// The fifteen fields in the order of the controls and then the edits.
inline constexpr int DecFieldCount = static_cast<int>(DecControlCount) + static_cast<int>(DecEditCount);
using DecFields = std::array<int, DecFieldCount>;
DecFields ReadDecFields(const ScopeSettings& s);
void WriteDecFields(ScopeSettings& s, const DecFields& f);

struct DecoderDialogModel {
    // What the controls show.
    std::array<int, DecControlCount> value{};
    std::array<std::string, DecEditCount> editText;
    std::array<bool, DecEditCount> magenta{};  // refused text: kRefusedEditColour, else the window colour

    // Texts in the language of the last Show.
    std::string caption;
    std::array<std::string, DecControlCount> label;  // channel lists: their role
    std::array<std::vector<std::string>, DecControlCount> items;
    std::array<std::string, DecEditCount> editLabel;
    std::string ok, cancel;

    std::array<bool, DecControlCount> enabled{};
    std::array<bool, DecControlCount> visible{};  // the CLK and CS rows are hidden
    std::array<bool, DecEditCount> editEnabled{};

    bool clearText = false;  // the last change turned the decoder off: the text window empties
    bool loading = false;    // loading guard: changes do nothing

    // FormShow: keeps the fifteen fields for Cancel, builds the texts in the
    // settings' language and loads every control. A stored type above 1
    // (SPI, I2C, 1-Wire) is not offered and becomes RS232 (Refresh).
    SettingsEffect Show(ScopeSettings& s);

    // A list, radio group or check box changed: stores its field (Refresh).
    // Nothing while loading, for a value outside the control's items, or for
    // the value already shown. A type of 0 sets clearText (the window's text is the
    // screen pass's, kept in the program state).
    SettingsEffect Change(ScopeSettings& s, DecControl control, int newValue);

    // An edit's text changed. The whole text must be a decimal integer within
    // the edit's range: the field is stored (Refresh when it differs) and the
    // edit turns normal; otherwise the field keeps its value and the edit
    // turns magenta. Nothing while loading.
    SettingsEffect EditChange(ScopeSettings& s, DecEdit edit, std::string_view text);

    // Cancel: the fifteen fields as they were when the dialog opened
    // (Refresh when any differed).
    SettingsEffect Cancel(ScopeSettings& s);

private:
    void UpdateRoles();
    DecFields opened_{};
};

}  // namespace kr40
