#include "state/data_commands.h"

#include <algorithm>
#include <bit>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "analysis/spectrum.h"
#include "analysis/spectrum_texts.h"
#include "core/prompts.h"
#include "files/data_file.h"
#include "files/file_texts.h"
#include "files/safe_file.h"
#include "files/settings_file.h"
#include "state/compose.h"
#include "state/file_choice.h"
#include "state/scope_state.h"

namespace kr40 {

namespace {

namespace fs = std::filesystem;

void SwapFrames(FrameSet& a, FrameSet& b)
{
    std::swap(a.rec, b.rec);
    std::swap(a.buf, b.buf);  // the vectors trade their storage; no sample moves
}

constexpr TextPair kSaveTitle = {"Save", "Сохранение данных"};
constexpr TextPair kSaveFailTitle = {"Save", "Сохранение файла данных"};
constexpr TextPair kSaveFilter = {"KR40 Data File (*.krd)|*.krd", "Файл данных KR40 (*.krd)|*.krd"};
constexpr TextPair kSaveSettingsTitle = {"Save Settings File", "Сохранение сопутствующего файла настроек."};
constexpr TextPair kOpenTitle = {"Open", "Открытие данных"};
constexpr TextPair kOpenFailTitle = {"Open", "Открытие файла данных"};
constexpr TextPair kOpenFilter = {"KR40 Data File (*.krd)|*.krd|All Files (*.*)|*.*",
                                  "Файлы данных KR40 (*.krd)|*.krd|Все файлы (*.*)|*.*"};
constexpr TextPair kCrcError = {"Invalid file format. (CRC error)", "Ошибка CRC файла."};
constexpr TextPair kRefCrcError = {"Invalid file format (b.g. part). (CRC error)",
                                   "Ошибка CRC файла (фоновая осциллограмма)."};
constexpr TextPair kRefInvalid = {"Invalid file format (b.g. part).", "Неверный формат файла (фоновая осциллограмма)."};
constexpr TextPair kOpenSettingsTitle = {"Open Settings", "Открытие файла настроек"};
constexpr TextPair kNoCompanion = {"Settings file not found  ", "Не найден сопутствующий файл настроек  "};

// The reference frame's name: "run_BG.krd" for "run.krd".
std::string ReferenceName(const fs::path& file)
{
    return file.stem().string() + "_BG" + file.extension().string();
}

// The spectra to store: a computed channel's power sums with its count.
DataFileSpectra SpectraToStore(const ScopeState& st)
{
    DataFileSpectra out;
    if (!st.spectrum) return out;
    for (int k = 0; k < 2; ++k) {
        const ChannelSpectrum& c = st.spectrum->ch[static_cast<std::size_t>(k)];
        if (c.status != FftComputed || c.frames < 2) continue;
        if (out.points != 0 && out.points != c.Points()) continue;  // one size per file
        out.points = c.Points();
        StoredSpectrum& s = out.ch[static_cast<std::size_t>(k)];
        s.present = true;
        s.count = c.frames;
        s.values.assign(c.sum.begin(), c.sum.begin() + c.Bins());
    }
    return out;
}

// Takes a stored spectrum as the channel's averaged powers, so that it is
// shown until the next frame continues (or restarts) the averaging. Returns
// whether the channel got one.
bool LoadSpectrum(ScopeState& st, const DataFileSpectra& spectra, int k)
{
    const StoredSpectrum& s = spectra.ch[static_cast<std::size_t>(k)];
    if (!s.present || spectra.points < 2) return false;
    if (!st.spectrum) st.spectrum = std::make_unique<Spectrum>();
    Spectrum& sp = *st.spectrum;
    ChannelSpectrum& c = sp.ch[static_cast<std::size_t>(k)];
    c.log2n = std::countr_zero(static_cast<unsigned>(spectra.points));
    c.used = std::min(st.live->rec.ValidLen, spectra.points);
    std::fill(c.sum.begin(), c.sum.end(), 0.0);
    std::copy_n(s.values.begin(), std::min<std::size_t>(s.values.size(), c.Bins()), c.sum.begin());
    c.frames = s.count;
    c.ring = 0;
    // The frame is the one these powers belong to: no transform until a new one.
    sp.lastFrame = st.live->rec.DecodedFrames;
    sp.haveFrame = true;
    sp.lastDivider = st.live->rec.Divider;
    sp.lastValidLen = st.live->rec.ValidLen;
    return true;
}

void CopyFrame(FrameSet& to, FrameSet& from)
{
    to.rec = from.rec;
    std::swap(to.buf, from.buf);
}

}  // namespace

bool Menu_Save_AsClick(ScopeState& st, Prompts& prompts, bool bgView)
{
    EventSetter busy(st.BusyEvent);
    const bool ru = st.settings.Russian;
    if (!st.LiveExists) st.LiveName.clear();
    const std::optional<std::string> chosen =
        AskFile(st, prompts, FileDialogKind::Save, Tr(kSaveTitle, ru), kSaveFilter, "krd");
    if (!chosen) return false;
    const fs::path file = *chosen;

    const bool withReference = st.RefExists && bgView;
    std::string bytes;
    {
        std::lock_guard lock(st.liveMutex);
        bytes = EncodeDataFile(*st.live, SpectraToStore(st), withReference ? st.ref.get() : nullptr);
    }
    if (!WriteFileWhole(file, bytes, nullptr)) {
        ShowFileError(prompts, kSaveFailTitle, file.string() + "\n" + Tr(kCantWrite, ru), ru);
        return false;
    }
    st.LiveName = file.filename().string();
    st.LiveExists = true;
    if (withReference) st.RefName = ReferenceName(file.filename());
    RefreshSettings(st);

    // The companion settings file; declining its replacement keeps the data file.
    const fs::path krs = fs::path(file).replace_extension(".krs");
    std::error_code ec;
    if (fs::exists(krs, ec) && !AskReplace(prompts, kSaveSettingsTitle, krs.string(), ru)) return true;
    if (!WriteSettings(st.settings, st, krs, false))
        ShowFileError(prompts, kSaveSettingsTitle, krs.string() + "\n" + Tr(kCantWrite, ru), ru);
    return true;
}

OpenOutcome OpenDataFile(ScopeState& st, Prompts& prompts, const std::string& name)
{
    const bool ru = st.settings.Russian;
    const fs::path file = name;
    const auto fail = [&](const TextPair& why) {
        ShowFileError(prompts, kOpenFailTitle, name + "\n" + Tr(why, ru), ru);
        return OpenOutcome::Failed;
    };

    std::string bytes;
    switch (ReadFileWhole(file, kDataFileMaxBytes, &bytes)) {
        case FileReadResult::Ok:
            break;
        case FileReadResult::TooLarge:
            return fail(kInvalidFormat);  // larger than any data file can be
        default:
            return fail(kNotFound);
    }
    auto content = std::make_unique<DataFileContent>();
    const DataFileError error = DecodeDataFile(bytes, *content);
    if (error != DataFileError::None) {
        const bool clearMain = error != DataFileError::OldGeneration && error != DataFileError::InvalidFormat;
        const bool clearRef = error == DataFileError::ReferenceCrc || error == DataFileError::BadReferenceRecord;
        if (clearMain) {
            std::lock_guard lock(st.liveMutex);
            st.live->buf.Clear();
            st.live->rec = FrameRecord{};
            st.lastRec = st.live->rec;
            st.LiveExists = false;
        }
        if (clearRef) {
            st.ref->buf.Clear();
            st.ref->rec = FrameRecord{};
            st.RefExists = false;
        }
        switch (error) {
            case DataFileError::OldGeneration:
                return fail(kOldGeneration);
            case DataFileError::MainCrc:
                return fail(kCrcError);
            case DataFileError::ReferenceCrc:
                return fail(kRefCrcError);
            case DataFileError::BadReferenceRecord:
                return fail(kRefInvalid);
            default:
                return fail(kInvalidFormat);
        }
    }

    {
        std::lock_guard lock(st.liveMutex);
        CopyFrame(*st.live, content->main);
        st.lastRec = st.live->rec;
        st.LiveName = file.filename().string();
        st.LiveExists = true;
        if (content->hasReference) {
            CopyFrame(*st.ref, content->reference);
            st.RefName = ReferenceName(file.filename());
            st.RefExists = true;
        }
    }
    // Averaging restarts, except for a spectrum the file brought.
    for (int k = 0; k < 2; ++k) {
        const bool loaded = LoadSpectrum(st, content->spectra, k);
        st.SpectrumRestart[static_cast<std::size_t>(RestartA1 + k)] = !loaded;
        st.SpectrumRestart[static_cast<std::size_t>(RecomputeA1 + k)] = !loaded;
    }
    st.requests.RedrawRequest = true;
    RefreshSettings(st);

    const fs::path krs = fs::path(file).replace_extension(".krs");
    std::error_code ec;
    if (fs::exists(krs, ec)) {
        if (ReadSettings(st.settings, prompts, krs, false)) st.SettingsLoaded = true;
    } else {
        prompts.Message(Tr(kOpenSettingsTitle, ru), Tr(kNoCompanion, ru) + krs.string(), PromptIcon::Warning,
                        PromptButtons::Ok);
    }
    ApplySettings(st);
    return content->hasReference ? OpenOutcome::OpenedWithReference : OpenOutcome::Opened;
}

OpenOutcome Menu_OpenClick(ScopeState& st, Prompts& prompts)
{
    EventSetter busy(st.BusyEvent);
    const bool ru = st.settings.Russian;
    const std::optional<std::string> chosen =
        AskFile(st, prompts, FileDialogKind::Open, Tr(kOpenTitle, ru), kOpenFilter, "krd");
    if (!chosen) return OpenOutcome::Failed;
    return OpenDataFile(st, prompts, *chosen);
}

bool Menu_BG_DoClick(ScopeState& st)
{
    ScopeSettings& s = st.settings;
    {
        std::lock_guard lock(st.liveMutex);
        if (!st.LiveExists && !st.RefExists) return false;
        if (!st.RefExists) {
            s.bgLev_A1 = s.Lev_A1;
            s.bgLev_A2 = s.Lev_A2;
            s.bgA1_Zero = s.A1_Zero;
            s.bgA2_Zero = s.A2_Zero;
            st.RefName = st.LiveName;
        }
        if (!st.LiveExists) {
            s.Lev_A1 = s.bgLev_A1;
            s.Lev_A2 = s.bgLev_A2;
            s.A1_Zero = s.bgA1_Zero;
            s.A2_Zero = s.bgA2_Zero;
            st.LiveName = st.RefName;
        }
        SwapFrames(*st.live, *st.ref);
        std::swap(s.Lev_A1, s.bgLev_A1);
        std::swap(s.Lev_A2, s.bgLev_A2);
        std::swap(s.A1_Zero, s.bgA1_Zero);
        std::swap(s.A2_Zero, s.bgA2_Zero);
        std::swap(st.LiveName, st.RefName);
        std::swap(st.LiveExists, st.RefExists);
        st.lastRec = st.live->rec;
        // In the spectrum view the position is a bin and stays.
        if (ShownSpectrumChannel(s) < 0) s.X_Pos = std::clamp(s.X_Pos, 0, std::max(0, st.live->rec.ValidLen));
    }
    s.bgD_Zero = s.bgD_Zero == 0 ? 1 : 0;
    st.SpectrumRestart.fill(true);
    ApplySettings(st);
    return true;
}

void Menu_BG_ClrClick(ScopeState& st)
{
    st.ref->buf.Clear();
    st.ref->rec = FrameRecord{};
    st.RefExists = false;
    st.RefName.clear();
    st.settings.bgD_Zero = 0;
    RefreshSettings(st);
}

}  // namespace kr40
