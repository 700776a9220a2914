#include "state/afg_commands.h"

#include <algorithm>

#include "core/manual_reset_event.h"
#include "core/prompts.h"
#include "core/texts.h"
#include "files/file_texts.h"
#include "files/safe_file.h"
#include "generator/afg_compiler.h"
#include "state/compose.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

constexpr TextPair kOpenCaption = {"Open AFG file", "Открытие файла генератора"};
constexpr TextPair kResultCaption = {"Open AFG File", "Открытие файла генератора ПФ"};
constexpr TextPair kFilter = {"KR40 AFG File (*.krg)|*.krg|All Files (*.*)|*.*",
                              "Файлы генератора KR40 (*.krg)|*.krg|Все файлы (*.*)|*.*"};
constexpr TextPair kDefaultCaption = {"AFG ", "Генератор ПФ"};
constexpr TextPair kRestorePeriod = {"Restore default value?", "Восстановить исходное значение периода?"};
constexpr TextPair kRestoreAmplitude = {"Restore default value?", "Восстановить исходное значение амплитуды?"};
constexpr TextPair kNoPeriod = {"There is no default value", "Отсутствует исходное значение периода"};
constexpr TextPair kNoAmplitude = {"There is no default value", "Отсутствует исходное значение амплитуды"};

// A script is a text: anything near this size is not one.
constexpr std::uintmax_t kMaxSourceBytes = 16u << 20;

bool AfgLoaded(const ScopeState& st)
{
    return st.settings.Sel(Group::GenMode) == GenAfgMode && st.link.WaveTableLoaded;
}

// Asks to restore a default; without one says there is none.
bool AskRestore(ScopeState& st, Prompts& prompts, bool has, const TextPair& question, const TextPair& none)
{
    const bool ru = st.settings.Russian;
    if (!has) {
        prompts.Message(Tr(kDefaultCaption, ru), Tr(none, ru), PromptIcon::Warning, PromptButtons::Ok);
        return false;
    }
    return prompts.Message(Tr(kDefaultCaption, ru), Tr(question, ru), PromptIcon::Question, PromptButtons::YesNo) ==
           PromptAnswer::Yes;
}

void SetPeriodBars(ScopeSettings& s, int period)
{
    s.F_fast = period / 1000;
    s.F_slow = period % 1000;
}

}  // namespace

std::optional<std::vector<std::string>> ReadAfgSource(const std::filesystem::path& path)
{
    std::string text;
    if (ReadFileWhole(path, kMaxSourceBytes, &text) != FileReadResult::Ok) return std::nullopt;
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    return lines;
}

bool LoadAfgFile(ScopeState& st, Prompts& prompts, const std::string& path, bool silent,
                 const std::filesystem::path& listing)
{
    ScopeSettings& s = st.settings;
    const bool ru = s.Russian;
    const std::optional<std::vector<std::string>> lines = ReadAfgSource(path);
    if (!lines) {
        ShowFileError(prompts, kOpenCaption, path + "\r\n" + Tr(kNotFound, ru), ru);
        return false;
    }
    const AfgResult r = CompileAfg(*lines, path, ru);
    // The listing is a by-product for the user's eyes: a folder that cannot
    // take it does not stop the program.
    if (!listing.empty()) WriteFileWhole(listing, AfgListingText(r), nullptr);

    if (!r.ok) {
        if (r.noMsg < 2)
            prompts.Message(Tr(kResultCaption, ru), r.message, PromptIcon::Error, PromptButtons::Ok);
        else
            SetAfgStatus(st.afg, r.message);
        RefreshSettings(st);  // the status line
        return false;
    }
    if (r.noMsg == 0 && !silent)
        prompts.Message(Tr(kResultCaption, ru), r.message, PromptIcon::Information, PromptButtons::Ok);
    else
        SetAfgStatus(st.afg, r.shortText);

    st.afg.periodDefault = r.period;
    if (r.period) SetPeriodBars(s, *r.period);
    st.afg.amplitudeDefault = r.amplitude;
    if (r.amplitude) s.Ampl = AfgAmplitudePosition(*r.amplitude);
    RebuildAfgMarks(st.afg, r.labels, st.afg.compiledPath == path, ru);
    st.afg.compiledPath = path;
    // The watch starts from the file as compiled, so that a save in the
    // second after loading is not taken for the first look.
    std::error_code ec;
    const auto time = std::filesystem::last_write_time(path, ec);
    st.afg.watch = GenFileWatch{path, ec ? std::nullopt : std::optional(time)};
    SetGroupItem(s, Group::GenMode, GenAfgMode, true);
    st.link.WaveTable.Set(r.words);
    st.link.WaveTableRequest = true;
    if (r.autoRun) st.link.GenRunRequest = true;
    s.AFG_File = path;
    ApplySettings(st);
    return true;
}

bool Menu_Open_Gen_FormClick(ScopeState& st, Prompts& prompts, const std::filesystem::path& listing)
{
    const bool ru = st.settings.Russian;
    FileDialogRequest req;
    req.title = Tr(kOpenCaption, ru);
    req.folder = st.settings.AFG_File.empty() ? st.LastFolder
                                              : std::filesystem::path(st.settings.AFG_File).parent_path().string();
    req.defaultExt = "krg";
    req.filter = Tr(kFilter, ru);
    const std::optional<std::string> chosen = prompts.OpenFile(req);
    return chosen && LoadAfgFile(st, prompts, *chosen, false, listing);
}

void ComboBox_AFGChange(ScopeState& st, int index)
{
    if (index < 0 || index >= static_cast<int>(st.afg.marks.size())) return;
    st.afg.markIndex = index;
    ApplySettings(st);
}

bool SpeedButton_GenRunClick(ScopeState& st)
{
    if (!st.link.WaveTableLoaded) return false;
    st.link.GenRunRequest = true;
    ApplySettings(st);
    return true;
}

bool Label_FDblClick(ScopeState& st, Prompts& prompts)
{
    if (!AfgLoaded(st)) return false;
    if (!AskRestore(st, prompts, st.afg.periodDefault.has_value(), kRestorePeriod, kNoPeriod)) return false;
    SetPeriodBars(st.settings, *st.afg.periodDefault);
    ApplySettings(st);
    return true;
}

bool Label_VDblClick(ScopeState& st, Prompts& prompts)
{
    if (!AfgLoaded(st)) return false;
    if (!AskRestore(st, prompts, st.afg.amplitudeDefault.has_value(), kRestoreAmplitude, kNoAmplitude)) return false;
    st.settings.Ampl = AfgAmplitudePosition(*st.afg.amplitudeDefault);
    ApplySettings(st);
    return true;
}

bool AfgFileWatch(ScopeState& st, Prompts& prompts, const std::filesystem::path& listing)
{
    if (!GenFileChangedOnDisk(st.afg.watch, st.settings.AFG_File, st.link.WaveTableLoaded)) return false;
    EventSetter busy(st.BusyEvent);
    LoadAfgFile(st, prompts, st.settings.AFG_File, false, listing);
    return true;
}

}  // namespace kr40
