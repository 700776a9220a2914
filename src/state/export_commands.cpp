#include "state/export_commands.h"

#include <array>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

#include "core/prompts.h"
#include "files/exports.h"
#include "files/file_texts.h"
#include "files/image_file.h"
#include "files/safe_file.h"
#include "state/file_choice.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

namespace fs = std::filesystem;

constexpr TextPair kSaveText = {"Save Text", "Сохранение текстового файла"};
constexpr TextPair kTextFilter = {"Text File (*.txt)|*.txt", "Текст (*.txt)|*.txt"};
constexpr TextPair kBinFilter = {"Binary File (*.bin)|*.bin", "Двоичный файл (*.bin)|*.bin"};
constexpr TextPair kSaveBinText = {"Save Text For Row Binary", "Сохранение сопутствующего текстового файла"};
constexpr TextPair kSaveImage = {"Save Image", "Сохранение рисунка"};
constexpr TextPair kImageFilter = {"PNG File (*.png)|*.png", "Рисунок PNG (*.png)|*.png"};
constexpr std::array<const char*, 4> kChannelEnds = {"A1)", "A2)", "D1)", "D2)"};

std::string BinTitle(int channel, bool russian)
{
    return std::string(russian ? "Сохранение двоичного файла (канал " : "Save Row Binary (CH ") +
           kChannelEnds[static_cast<std::size_t>(channel)];
}

void CantWrite(Prompts& prompts, const std::string& title, const std::string& name, bool russian)
{
    prompts.Message(title, name + "\n" + Tr(kCantWrite, russian), PromptIcon::Error, PromptButtons::Ok);
}

}  // namespace

void Menu_TextClick(ScopeState& st, Prompts& prompts)
{
    EventSetter busy(st.BusyEvent);
    const bool ru = st.settings.Russian;
    const std::string title = Tr(kSaveText, ru);
    if (!HasExportData(st.live->rec, -1)) {
        prompts.Message(title, Tr(kNoData, ru), PromptIcon::Error, PromptButtons::Ok);
        return;
    }
    const std::optional<std::string> chosen = AskFile(st, prompts, FileDialogKind::Save, title, kTextFilter, "txt");
    if (!chosen) return;
    std::string text;
    {
        std::lock_guard lock(st.liveMutex);
        text = TextExport(*st.live);
    }
    if (!WriteFileWhole(*chosen, text, nullptr)) CantWrite(prompts, title, *chosen, ru);
}

void Menu_EBinClick(ScopeState& st, Prompts& prompts, int channel)
{
    if (channel < ChanA1 || channel > ChanD2) return;
    EventSetter busy(st.BusyEvent);
    const bool ru = st.settings.Russian;
    const std::string title = BinTitle(channel, ru);
    if (!HasExportData(st.live->rec, channel)) {
        prompts.Message(title, Tr(kNoData, ru), PromptIcon::Error, PromptButtons::Ok);
        return;
    }
    const std::optional<std::string> chosen = AskFile(st, prompts, FileDialogKind::Save, title, kBinFilter, "bin");
    if (!chosen) return;
    std::string bytes, companion;
    {
        std::lock_guard lock(st.liveMutex);
        bytes = RawChannelBytes(*st.live, channel);
        companion = RawCompanionText(*st.live, channel, *chosen);
    }
    if (!WriteFileWhole(*chosen, bytes, nullptr)) return CantWrite(prompts, title, *chosen, ru);

    // The companion text; a declined replacement keeps the binary file.
    const fs::path text = CompanionTextPath(*chosen);
    if (text == fs::path(*chosen)) return;  // a binary file named ".txt" is not written over
    std::error_code ec;
    if (fs::exists(text, ec) && !AskReplace(prompts, kSaveBinText, text.string(), ru)) return;
    if (!WriteFileWhole(text, companion, nullptr)) CantWrite(prompts, Tr(kSaveBinText, ru), text.string(), ru);
}

void Menu_ImageClick(ScopeState& st, Prompts& prompts, const PixelView& screen)
{
    EventSetter busy(st.BusyEvent);
    const bool ru = st.settings.Russian;
    const std::string title = Tr(kSaveImage, ru);
    const std::optional<std::string> chosen = AskFile(st, prompts, FileDialogKind::Save, title, kImageFilter, "png");
    if (!chosen) return;
    if (!WriteScreenImage(*chosen, screen, nullptr)) CantWrite(prompts, title, *chosen, ru);
}

}  // namespace kr40
