#include "ui/appearance.h"

#include "state/scope_state.h"

namespace kr40 {
namespace {

const ColourDialogTexts kColourTexts = {
    {"Color Settings", "Установки цветов"},
    {{
        {"Signal A1", "Сигнал A1"},
        {"Signal A2", "Сигнал A2"},
        {"Signal D1", "Сигнал D1"},
        {"Signal D2", "Сигнал D2"},
        {"Background", "Фон сетки"},
        {"Border", "Фон полей"},
        {"Markers", "Маркеры"},
        {"Grid", "Сетка"},
        {"Grid frame", "Рамка сетки"},
        {"Trig. position", "Линия синхр."},
        {"FFT", "БПФ"},
        {"Extra info", "Доп. информ."},
    }},
    kCancelText,
    {"Default", "По умолч."},
};

const std::array<const char*, ColorCount> kRoleButtons = {
    "Button_cl_A1",        "Button_cl_A2",      "Button_cl_D1",     "Button_cl_D2",
    "Button_clBackground", "Button_clBorder",   "Button_clMarkers", "Button_clGrid",
    "Button_clGrid_Frame", "Button_clTrig_Pos", "Button_clFFT",     "Button_Extra_Info",
};

const TextPair kAboutCaption = {"About", "О программе"};
const TextPair kSoftware = {"Software Version  ", "Версия программы  "};
const TextPair kFirmware = {"Firmware Version  ", "Версия ПО устройства  "};
const TextPair kFpga = {"FPGA Version  ", "Версия FPGA устройства  "};
const TextPair kSerial = {"Serial Number  ", "Серийный номер  "};

std::string Hex(std::uint32_t v, int digits)
{
    static const char* const kDigits = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(digits), '0');
    for (int i = digits - 1; i >= 0; --i, v >>= 4) out[static_cast<std::size_t>(i)] = kDigits[v & 0xF];
    return out;
}

}  // namespace

const ColourDialogTexts& ColourDialogCaptions()
{
    return kColourTexts;
}

const std::array<const char*, ColorCount>& ColourRoleButtons()
{
    return kRoleButtons;
}

ColourTable DefaultColours()
{
    ColourTable t{};
    for (const SettingKey& k : SettingKeys())
        if (k.type == KeyType::Colour) t[static_cast<std::size_t>(k.colour)] = static_cast<std::uint32_t>(k.defValue);
    return t;
}

void LoadDefaultColours(ScopeSettings& s)
{
    s.Colors = DefaultColours();
}

bool ColourSession::Finish(ScopeSettings& s, bool cancelled) const
{
    if (cancelled) s.Colors = saved_;
    return !cancelled;
}

std::string VersionText(int v)
{
    if (v < 0) return "...";
    return std::to_string(v / 100) + "." + std::to_string((v / 10) % 10) + std::to_string(v % 10);
}

AboutTexts MakeAboutTexts(bool russian, const DeviceIdentity& id, std::uint32_t chipId, bool debug)
{
    AboutTexts t;
    t.caption = Tr(kAboutCaption, russian);
    t.product = "KR40";
    t.software = Tr(kSoftware, russian) + VersionText(SoftwareVersion);
    t.firmware = Tr(kFirmware, russian) + VersionText(id.FirmVer);
    t.fpga = Tr(kFpga, russian) + VersionText(id.FpgaVerValid ? id.FpgaVer : -1);
    t.serialVisible = debug;
    // The chip id, then the instrument's serial number low part first, all hexadecimal.
    t.serial = Tr(kSerial, russian) +
               (id.SerialValid ? Hex(chipId, 8) + ", " + Hex(id.SerialLow, 4) + " - " + Hex(id.SerialHigh, 8) : "...");
    return t;
}

}  // namespace kr40
