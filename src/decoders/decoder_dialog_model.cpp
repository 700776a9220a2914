#include "decoders/decoder_dialog_model.h"

#include <algorithm>
#include <charconv>

#include "acquisition/scope_settings.h"

namespace kr40 {

namespace {

const std::vector<TextPair> kChannelItems = {
    {"OFF", "Выкл."}, {"CH A1", "Канал A1"}, {"CH D1", "Канал D1"}, {"CH A2", "Канал A2"}, {"CH D2", "Канал D2"}};
const std::vector<TextPair> kCsItems = {
    {"ACTIVE", "Активн."}, {"CH A1", "Канал A1"}, {"CH D1", "Канал D1"}, {"CH A2", "Канал A2"}, {"CH D2", "Канал D2"}};
constexpr TextPair kInv = {"Inv", "Инв."};

const DecoderDialogTexts kTexts = {
    {"Serial Decoders", "Декодер протоколов"},
    {{
        // Only these two types are decoded, so only they are offered.
        {"ComboBox_Decoder", {"Decoder -", "Декодер -"}, {{"OFF", "Выкл."}, {"RS232", "RS232"}}},
        {"ComboBox_PRTY",
         {"Parity -", "Чётность -"},
         {{"NONE", "NONE"}, {"EVEN", "EVEN"}, {"ODD", "ODD"}, {"IGNORE", "IGNORE"}}},
        {"RadioGroup_MSB_First",
         {"Bit Order", "Порядок битов"},
         {{"LSB First", "LSB First"}, {"MSB First", "MSB First"}}},
        {"ComboBox_RXD", {"", ""}, kChannelItems},
        {"ComboBox_TXD", {"", ""}, kChannelItems},
        {"ComboBox_CLK", {"", ""}, kChannelItems},
        {"ComboBox_CS", {"", ""}, kCsItems},
        {"CheckBox_RXD_Inv", kInv, {}},
        {"CheckBox_TXD_Inv", kInv, {}},
        {"CheckBox_CLK_Inv", kInv, {}},
        {"CheckBox_CS_Inv", kInv, {}},
        {"ComboBox_Display",
         {"Data Display Format -", "Формат отображения -"},
         {{"HEX", "HEX"}, {"DECIMAL", "DECIMAL"}, {"ASCII", "ASCII"}}},
    }},
    {{
        {"Edit_Baud_Rate", {"Baud Rate -", "Скорость (бод) -"}},
        {"Edit_Data_Bits", {"Data Bits -", "Биты данных -"}},
        {"Edit_Stop_Bits", {"Stop Bits -", "Стоп-биты -"}},
    }},
    {"OK", "OK"},
    kCancelText,
};

// Role labels of the four channel lists per decoder type.
constexpr std::array<std::array<const char*, 4>, 5> kRoles = {{
    {"", "", "", ""},
    {"RXD -", "TXD -", "", ""},
    {"MOSI -", "MISO -", "CLK -", "CS -"},
    {"SDA -", "", "SCL -", ""},
    {"DATA -", "", "", ""},
}};

using S = ScopeSettings;
constexpr std::array<int S::*, DecFieldCount> kFields = {
    &S::Dec_Type,   &S::Dec_PRTY,    &S::Dec_MSB_First, &S::Dec_RXD,       &S::Dec_TXD,
    &S::Dec_CLK,    &S::Dec_CS,      &S::Dec_RXD_Inv,   &S::Dec_TXD_Inv,   &S::Dec_CLK_Inv,
    &S::Dec_CS_Inv, &S::Dec_Display, &S::Dec_Baud_Rate, &S::Dec_Data_Bits, &S::Dec_Stop_Bits};

constexpr bool IsCheckBox(int control)
{
    return control >= DecRxdInv && control <= DecCsInv;
}

int ItemCount(int control)
{
    return IsCheckBox(control) ? 2 : static_cast<int>(kTexts.controls[static_cast<std::size_t>(control)].items.size());
}

// The whole text as a decimal integer: no blanks, no sign other than '-',
// no exponent.
bool ParseWhole(std::string_view text, long long& v)
{
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    return ec == std::errc() && ptr == end;
}

SettingsEffect Refresh()
{
    SettingsEffect e;
    e.call = SettingsCall::Refresh;
    return e;
}

}  // namespace

const std::array<DecEditRange, DecEditCount> DecEditRanges = {{{2, 25000000}, {2, 32}, {1, 2}}};

const DecoderDialogTexts& DecoderDialogTextTable()
{
    return kTexts;
}

std::array<const char*, 4> DecoderRoles(int type)
{
    if (type < 0 || type >= static_cast<int>(kRoles.size())) return kRoles[0];
    return kRoles[static_cast<std::size_t>(type)];
}

DecFields ReadDecFields(const ScopeSettings& s)
{
    DecFields f{};
    for (std::size_t i = 0; i < f.size(); ++i) f[i] = s.*kFields[i];
    return f;
}

void WriteDecFields(ScopeSettings& s, const DecFields& f)
{
    for (std::size_t i = 0; i < f.size(); ++i) s.*kFields[i] = f[i];
}

SettingsEffect DecoderDialogModel::Show(ScopeSettings& s)
{
    opened_ = ReadDecFields(s);
    loading = true;
    const bool ru = s.Russian;
    caption = Tr(kTexts.caption, ru);
    for (std::size_t c = 0; c < DecControlCount; ++c) {
        label[c] = Tr(kTexts.controls[c].caption, ru);
        items[c].clear();
        for (const TextPair& item : kTexts.controls[c].items) items[c].push_back(Tr(item, ru));
    }
    for (std::size_t e = 0; e < DecEditCount; ++e) editLabel[e] = Tr(kTexts.edits[e].label, ru);
    ok = Tr(kTexts.ok, ru);
    cancel = Tr(kTexts.cancel, ru);

    SettingsEffect effect;
    if (s.Dec_Type > 1) {
        s.Dec_Type = 1;
        effect = Refresh();
    }
    const DecFields f = ReadDecFields(s);
    for (int c = 0; c < DecControlCount; ++c)
        value[static_cast<std::size_t>(c)] = std::clamp(f[static_cast<std::size_t>(c)], 0, ItemCount(c) - 1);
    for (std::size_t e = 0; e < DecEditCount; ++e) editText[e] = std::to_string(f[DecControlCount + e]);
    magenta.fill(false);

    visible.fill(true);
    for (DecControl c : {DecClk, DecCs, DecClkInv, DecCsInv}) visible[c] = false;
    UpdateRoles();
    loading = false;
    return effect;
}

void DecoderDialogModel::UpdateRoles()
{
    const int type = value[DecType];
    const auto roles = DecoderRoles(type);
    for (std::size_t k = 0; k < roles.size(); ++k) {
        const bool used = roles[k][0] != '\0';
        label[DecRxd + k] = roles[k];
        enabled[DecRxd + k] = used;
        enabled[DecRxdInv + k] = used;
    }
    enabled[DecType] = true;
    enabled[DecPrty] = type == 1;
    enabled[DecMsbFirst] = true;
    enabled[DecDisplay] = true;
    editEnabled = {type == 1, true, type == 1};
}

SettingsEffect DecoderDialogModel::Change(ScopeSettings& s, DecControl control, int newValue)
{
    clearText = false;
    if (loading || control < 0 || control >= DecControlCount) return {};
    const auto c = static_cast<std::size_t>(control);
    if (newValue < 0 || newValue >= ItemCount(control) || newValue == value[c]) return {};
    value[c] = newValue;
    s.*kFields[c] = newValue;
    if (control == DecType) {
        UpdateRoles();
        clearText = newValue == 0;
    }
    return Refresh();
}

SettingsEffect DecoderDialogModel::EditChange(ScopeSettings& s, DecEdit edit, std::string_view text)
{
    if (loading || edit < 0 || edit >= DecEditCount) return {};
    const auto e = static_cast<std::size_t>(edit);
    editText[e] = std::string(text);
    long long v = 0;
    const DecEditRange range = DecEditRanges[e];
    if (!ParseWhole(text, v) || v < range.min || v > range.max) {
        magenta[e] = true;
        return {};
    }
    magenta[e] = false;
    int& field = s.*kFields[DecControlCount + e];
    if (field == static_cast<int>(v)) return {};
    field = static_cast<int>(v);
    return Refresh();
}

SettingsEffect DecoderDialogModel::Cancel(ScopeSettings& s)
{
    const bool changed = ReadDecFields(s) != opened_;
    WriteDecFields(s, opened_);
    for (int c = 0; c < DecControlCount; ++c)
        value[static_cast<std::size_t>(c)] = std::clamp(opened_[static_cast<std::size_t>(c)], 0, ItemCount(c) - 1);
    for (std::size_t e = 0; e < DecEditCount; ++e) editText[e] = std::to_string(opened_[DecControlCount + e]);
    magenta.fill(false);
    UpdateRoles();
    return changed ? Refresh() : SettingsEffect{};
}

}  // namespace kr40
