#include "files/settings_file.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "acquisition/scope_settings.h"
#include "core/prompts.h"
#include "core/rounding.h"
#include "core/texts.h"
#include "core/version.h"
#include "device/link_shared.h"
#include "files/file_texts.h"
#include "files/ini_image.h"
#include "files/program_files.h"

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kr40 {

namespace {

constexpr TextPair kOpenSettingsTitle = {"Open Settings", "Открытие файла настроек"};
constexpr TextPair kSaveSettingsTitle = {"Save Settings", "Сохранение файла настроек"};
constexpr TextPair kSaveFilter = {"KR40 Settings File (*.krs)|*.krs", "Файл настроек KR40 (*.krs)|*.krs"};
constexpr TextPair kOpenFilter = {"KR40 Settings File (*.krs)|*.krs|All Files (*.*)|*.*",
                                  "Файлы настроек KR40 (*.krs)|*.krs|Все файлы (*.*)|*.*"};
constexpr TextPair kNotAFile = {"This is not a regular file.", "Это не обычный файл."};
constexpr TextPair kTooLarge = {"The file is too large for a settings file.", "Файл слишком велик для файла настроек."};
constexpr TextPair kReadOnlyKept = {"The settings file is read-only; the settings were not saved.",
                                    "Файл настроек доступен только для чтения; настройки не сохранены."};

// The program's sections, erased and rewritten on every write.
constexpr IniSection kWrittenSections[] = {IniSection::Common,    IniSection::Scope,     IniSection::Trigger,
                                           IniSection::Calibrate, IniSection::Generator, IniSection::FFT,
                                           IniSection::Colors};

const char* const kSystem = "System";

std::string Tilde(const std::string& v)
{
    return "~" + v + "~";
}

// 512 (10 mV units) -> "5.12".
std::string VccText(int v)
{
    return std::to_string(v / 100) + "." + std::to_string((v / 10) % 10) + std::to_string(v % 10);
}

std::string SerialText(std::uint32_t high, std::uint16_t low)
{
    char buf[16];
    static const char* hex = "0123456789ABCDEF";
    const std::uint64_t v = (static_cast<std::uint64_t>(high) << 16) | low;
    for (int i = 0; i < 12; ++i) buf[i] = hex[(v >> (44 - 4 * i)) & 0xF];
    return std::string(buf, 12);
}

void WriteSystem(const LinkShared& io, IniImage& img, bool programFile)
{
    const DeviceIdentity id = io.link.identity.Get();
    img.WriteInt(kSystem, programFile ? "KR40_INI_FILE" : "KR40_KRS_FILE", 1);
    img.WriteString(kSystem, "Soft_Ver", Tilde(std::to_string(SoftwareVersion)));
    if (id.Vcc >= 0) img.WriteString(kSystem, "Vcc", Tilde(VccText(id.Vcc)));
    if (!programFile) return;
    if (id.SerialValid) img.WriteString(kSystem, "Ser_Num", Tilde(SerialText(id.SerialHigh, id.SerialLow)));
    if (id.FirmVer >= 0) img.WriteString(kSystem, "Firm_Ver", Tilde(std::to_string(id.FirmVer)));
    if (id.FpgaVer >= 0) img.WriteString(kSystem, "FPGA_Ver", Tilde(std::to_string(id.FpgaVer)));
    if (id.TdcFresh) {
        static const char* const names[4] = {"TDC_Rise_A1", "TDC_Fall_A1", "TDC_Rise_A2", "TDC_Fall_A2"};
        for (int i = 0; i < 4; ++i) img.WriteString(kSystem, names[i], Tilde(std::to_string(id.Tdc[i])));
    }
    const int mode = io.transport.TransferMode;
    if (mode != 0) img.WriteString(kSystem, "Flow_Ctrl", mode == 1 ? "~0~" : "~1~");
}

bool Written(const SettingKey& k, const LinkShared& io, bool programFile)
{
    if (k.flags & NeverWritten) return false;
    if (!programFile && (k.flags & IniOnly)) return false;
    if (programFile && (k.flags & KrsOnlyWrite)) return false;
    if ((k.flags & WhileAfgLoaded) && !io.link.WaveTableLoaded) return false;
    return true;
}

void WriteKey(const ScopeSettings& s, const SettingKey& k, IniImage& img)
{
    const char* sec = SectionName(k.section);
    switch (k.type) {
        case KeyType::Bool:
            img.WriteInt(sec, k.name, s.*k.boolField ? 1 : 0);
            break;
        case KeyType::GroupItem:
            img.WriteInt(sec, k.name, GroupItemOn(s, k.group, k.item) ? 1 : 0);
            break;
        case KeyType::Int:
            img.WriteInt(sec, k.name, s.*k.intField);
            break;
        case KeyType::Colour:
            img.WriteInt(sec, k.name, s.Colors[k.colour]);
            break;
        case KeyType::Str:
            img.WriteString(sec, k.name, s.*k.strField);
            break;
        case KeyType::Real: {
            // Two integers: the whole part toward zero and the millionths,
            // of the value within the key's bounds (so it always reads back).
            const double v = std::clamp<double>(s.*k.realField, k.lo, k.hi);
            const double whole = std::trunc(v);
            img.WriteInt(sec, k.name, static_cast<std::int64_t>(whole));
            img.WriteInt(sec, k.name + "_fine", RoundHalfAway((v - whole) * 1e6));
            break;
        }
    }
}

void ReadKey(ScopeSettings& s, const SettingKey& k, const IniImage& img)
{
    const char* sec = SectionName(k.section);
    if (k.type == KeyType::Str) {
        if (auto v = img.ReadString(sec, k.name)) s.*k.strField = *v;
        return;
    }
    const std::optional<std::int32_t> v = img.ReadInt(sec, k.name);
    if (!v) return;  // absent or unreadable: the setting stays as it is
    switch (k.type) {
        case KeyType::Bool:
            s.*k.boolField = *v != 0;
            break;
        case KeyType::GroupItem:
            SetGroupItem(s, k.group, k.item, *v != 0);
            break;
        case KeyType::Int:
            s.*k.intField = ApplyRangeRule(k, *v, s.*k.intField);
            break;
        case KeyType::Colour:
            s.Colors[k.colour] =
                static_cast<std::uint32_t>(ApplyRangeRule(k, *v, static_cast<int>(s.Colors[k.colour])));
            break;
        case KeyType::Real:
            s.*k.realField = *v + img.ReadInt(sec, k.name + "_fine").value_or(0) * 0.000001;
            break;
        case KeyType::Str:
            break;
    }
}

std::string FolderOf(const std::string& path)
{
    return std::filesystem::path(path).parent_path().string();
}

// Why a settings file could not be read, for the message.
const TextPair& LoadFailureText(IniLoadResult result)
{
    switch (result) {
        case IniLoadResult::NotAFile:
            return kNotAFile;
        case IniLoadResult::TooLarge:
            return kTooLarge;
        default:
            return kNotFound;
    }
}

bool FolderWritable(const std::filesystem::path& dir)
{
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) return false;
#ifdef _WIN32
    return _waccess(dir.c_str(), 2) == 0;
#else
    return access(dir.c_str(), W_OK) == 0;
#endif
}

}  // namespace

bool WriteSettings(const ScopeSettings& s, const LinkShared& io, const std::filesystem::path& file, bool programFile,
                   std::string* error)
{
    IniImage img;
    // The program's file keeps what else it holds (service flags, decoders, the
    // user's own sections), so a file that is there but cannot be read back is
    // not written at all; its folder is made when missing. A user settings file
    // goes only into a folder that exists and starts empty: it holds exactly
    // the keys of a settings file.
    if (programFile) {
        std::error_code ec;
        if (!file.parent_path().empty()) std::filesystem::create_directories(file.parent_path(), ec);
        const IniLoadResult loaded = img.Load(file);
        if (loaded != IniLoadResult::Ok && loaded != IniLoadResult::Missing) {
            if (error) *error = "the file exists but could not be read";
            return false;
        }
    }
    for (IniSection s : kWrittenSections) img.EraseSection(SectionName(s));
    WriteSystem(io, img, programFile);
    for (const SettingKey& k : SettingKeys())
        if (Written(k, io, programFile)) WriteKey(s, k, img);
    return img.Save(file, error);
}

std::optional<TextPair> RejectSettingsImage(const IniImage& img)
{
    if (img.HasKey("Common", "CH_D1")) return std::nullopt;
    return img.HasKey("Common", "ExtTrig") ? kOldGeneration : kInvalidFormat;
}

void ReadSettingsImage(ScopeSettings& s, const IniImage& img, bool startup)
{
    // At start-up the service flags come first; they head the key table.
    for (const SettingKey& k : SettingKeys()) {
        if (!startup && (k.flags & (IniOnly | StartupOnly))) continue;
        ReadKey(s, k, img);
    }
    NormalizeSettings(s);
}

bool ReadSettings(ScopeSettings& s, Prompts& prompts, const std::filesystem::path& file, bool startup)
{
    IniImage img;
    if (const IniLoadResult loaded = img.Load(file); loaded != IniLoadResult::Ok) {
        if (!startup)
            ShowFileError(prompts, kOpenSettingsTitle, file.string() + "\n" + Tr(LoadFailureText(loaded), s.Russian),
                          s.Russian);
        return false;
    }
    if (!startup) {
        if (auto reason = RejectSettingsImage(img)) {
            ShowFileError(prompts, kOpenSettingsTitle, "\n" + Tr(*reason, s.Russian), s.Russian);
            return false;
        }
    }
    ReadSettingsImage(s, img, startup);
    return true;
}

namespace {
// Asks for a settings file in the folder last used and remembers its folder.
std::optional<std::string> AskSettingsFile(const ScopeSettings& s, Prompts& prompts, std::string& lastFolder, bool save,
                                           const std::string& proposed)
{
    const bool ru = s.Russian;
    FileDialogRequest req;
    req.title = Tr(save ? kSaveSettingsTitle : kOpenSettingsTitle, ru);
    req.folder = lastFolder;
    req.defaultExt = "krs";
    req.filter = Tr(save ? kSaveFilter : kOpenFilter, ru);
    req.proposedName = proposed;
    std::optional<std::string> chosen = save ? prompts.SaveFile(req) : prompts.OpenFile(req);
    if (chosen) lastFolder = FolderOf(*chosen);
    return chosen;
}
}  // namespace

bool SaveSettingsAs(const ScopeSettings& s, const LinkShared& io, Prompts& prompts, std::string& lastFolder,
                    const std::string& dataFileName)
{
    const std::string proposed =
        dataFileName.empty() ? std::string("*.krs")
                             : std::filesystem::path(dataFileName).filename().replace_extension(".krs").string();
    const std::optional<std::string> chosen = AskSettingsFile(s, prompts, lastFolder, true, proposed);
    if (!chosen) return false;

    const bool ok = WriteSettings(s, io, *chosen, false);
    const bool ru = s.Russian;
    if (!ok) ShowFileError(prompts, kSaveSettingsTitle, *chosen + "\n" + Tr(kCantWrite, ru), ru);
    return ok;
}

bool OpenSettings(ScopeSettings& s, Prompts& prompts, std::string& lastFolder)
{
    const std::optional<std::string> chosen = AskSettingsFile(s, prompts, lastFolder, false, {});
    if (!chosen) return false;
    return ReadSettings(s, prompts, *chosen, false);
}

bool WriteProgramSettings(const ScopeSettings& s, const LinkShared& io, Prompts& prompts,
                          const std::filesystem::path& file, bool& readOnlyTold)
{
    if (IsReadOnlyFile(file)) {
        if (!readOnlyTold) {
            readOnlyTold = true;
            const bool ru = s.Russian;
            prompts.Message(Tr(kSaveSettingsTitle, ru), file.string() + "\n" + Tr(kReadOnlyKept, ru),
                            PromptIcon::Warning, PromptButtons::Ok);
        }
        return false;
    }
    return WriteSettings(s, io, file, true);
}

std::filesystem::path ProgramFilePath(const std::filesystem::path& executable, const std::string& name)
{
    std::filesystem::path exe = executable;
    const std::string fileName = name.empty() ? exe.filename().replace_extension(".ini").string() : name;
    const std::filesystem::path beside = executable.parent_path() / fileName;
    // An installed program keeps its files in the user's folder even when run
    // by someone who may write beside it.
    if (FolderWritable(executable.parent_path()) && !InstalledProgram(executable)) return beside;

    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::filesystem::path(home) / ".config";
    else
        return beside;
    return base / "kr40" / (name.empty() ? std::string("kr40.ini") : name);
}

}  // namespace kr40
