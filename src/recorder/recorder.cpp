#include "recorder/recorder.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <utility>

#include "core/value_format.h"
#include "device/ftdi_transport.h"
#include "device/link_shared.h"
#include "files/file_texts.h"
#include "files/safe_file.h"

namespace kr40 {

namespace fs = std::filesystem;

namespace {

constexpr TextPair kRefusalCaption = {"Binary Recorder", "Двоичый самописец"};
constexpr TextPair kRefusal = {"Run 0.1 .. 20 S/Div. Disable Trigger.",
                               "Запустите развертку 0.1 .. 20 S/Div. Отключите синхронизацию."};

constexpr TextPair kNotReady = {"Not ready.", "Не готов."};
constexpr TextPair kSamplingRate = {"Sampling rate = ", "Частота дискретизации = "};
constexpr TextPair kPeakOn = {"Peak detector on, bytes per sample = 2",
                              "Пиковый детектор включен, байтов на отсчет = 2"};
constexpr TextPair kPeakOff = {"Peak detector off, bytes per sample = 1",
                               "Пиковый детектор выключен, байтов на отсчет = 1"};
constexpr TextPair kWriteSpeed = {"Write speed = ", "Скорость записи = "};
constexpr TextPair kPerHour = {" MBytes/hour", " МБайт/час"};
constexpr TextPair kTimeStep = {"Time step = ", "Шаг по времени = "};
constexpr TextPair kVoltageStep = {"Voltage step = ", "Шаг по напряжению = "};
constexpr TextPair kZeroLevel = {"Zero level = ", "Уровень нуля = "};

constexpr TextPair kFileButton = {"File", "Файл"};
constexpr TextPair kStartButton = {"Start", "Старт"};
constexpr TextPair kStopButton = {"Stop", "Стоп"};
constexpr TextPair kExitButton = {"Exit", "Выход"};

constexpr TextPair kSize = {"Size = ", "Записано = "};
constexpr TextPair kSizeUnknown = {"Size = ...", "Записано = ..."};
constexpr TextPair kBytes = {" Bytes", " Байт"};
constexpr TextPair kLabelTime = {"    Time = ", "    Время = "};
constexpr TextPair kTime = {"Time = ", "Время = "};
constexpr TextPair kStartLine = {"Start recording = ", "Начало записи = "};
constexpr TextPair kStopLine = {"Stop recording = ", "Конец записи = "};
constexpr TextPair kRecorderName = {"Oscilloscope recorder file = ", "Файл самописца = "};

constexpr TextPair kRecorderFile = {"Recorder File", "Файл самописца"};
constexpr TextPair kFilter = {"Recorder File (*.bin)|*.bin", "Файл самописца KR40 (*.bin)|*.bin"};
constexpr TextPair kCompanionTitle = {"Save Text File For Recorder File",
                                      "Сохранение сопутствующего текстового файла."};
constexpr TextPair kWarning = {"Warning", "Предупреждение"};
constexpr TextPair kStopQuestion = {"Stop recording?", "Прервать запись самописца?"};
// A write to the open recording failed (most likely the disk is full).
constexpr TextPair kWriteFailed = {"Write error, the disk may be full. Recording stopped.",
                                   "Ошибка записи, возможно, диск заполнен. Запись остановлена."};

constexpr const char* kDefaultName = "recorder.bin";

// "<path> already exists, replace?" with Yes and No; true only for Yes.
bool AskReplaceFile(Prompts& prompts, const TextPair& caption, const std::string& path, bool russian)
{
    const std::string text =
        russian ? path + " уже существует.\r\nЗаменить?" : path + "\r\nThe file already exists. Replace existing file?";
    return prompts.Message(Tr(caption, russian), text, PromptIcon::Question, PromptButtons::YesNo) == PromptAnswer::Yes;
}

bool Exists(const std::string& path)
{
    std::error_code ec;
    return fs::exists(path, ec);
}

// The folder and a file name, with the separator between them.
std::string InFolder(const std::string& folder, const char* name)
{
    return folder.empty() ? std::string(name) : (fs::path(folder) / name).string();
}

class StdRecordFile : public RecordFile {
public:
    explicit StdRecordFile(std::FILE* f) : f_(f) {}
    ~StdRecordFile() override
    {
        if (f_ != nullptr) std::fclose(f_);
    }
    std::size_t Write(std::span<const std::uint8_t> bytes) override
    {
        if (f_ == nullptr) return 0;
        if (bytes.empty()) return 0;
        return std::fwrite(bytes.data(), 1, bytes.size(), f_);
    }
    bool Close() override
    {
        if (f_ == nullptr) return true;
        const int r = std::fclose(std::exchange(f_, nullptr));
        return r == 0;
    }

private:
    std::FILE* f_;
};

}  // namespace

// ---------------------------------------------------------------------------

bool RecorderMayOpen(LinkShared& io, bool running, bool roll)
{
    if (io.transport.LinkStatus != FT_OK) {
        FT_DWORD waiting = 0;
        TransportLink(io.transport).GetQueueStatus(&waiting);
    }
    return running && roll && io.link.DeviceReady && io.transport.LinkStatus == FT_OK;
}

void ShowRecorderRefusal(Prompts& prompts, bool russian)
{
    prompts.Message(Tr(kRefusalCaption, russian), Tr(kRefusal, russian), PromptIcon::Error, PromptButtons::Ok);
}

// ---------------------------------------------------------------------------

bool RecorderReady(const FrameRecord& rec)
{
    return rec.Divider != 0;
}

std::vector<std::string> RecorderInfoLines(const FrameRecord& rec, bool russian)
{
    if (!RecorderReady(rec)) return {Tr(kNotReady, russian)};
    // The divider is Decim + 1 in 32 unsigned bits.
    const double d = static_cast<std::uint32_t>(rec.Divider);
    const double rate = 1e8 / d;
    const bool peak = rec.PairFlag != 0;
    const double bytesPerHour = rate * (peak ? 2 : 1) * 3600;
    return {
        Tr(kSamplingRate, russian) + FormatValue(rate, UnitKind::Frequency, -3),
        Tr(peak ? kPeakOn : kPeakOff, russian),
        Tr(kWriteSpeed, russian) + FixedText(bytesPerHour / (1 << 20), 6) + Tr(kPerHour, russian),
        "",
        Tr(kTimeStep, russian) + FormatValue(d * 10, UnitKind::Time, -4),
        // One code is 1/32 of a division.
        Tr(kVoltageStep, russian) + FormatValue(rec.uV_Div_A1 * 0.03125, UnitKind::Voltage, -4),
        Tr(kZeroLevel, russian) + std::to_string(rec.A1_Zero),
    };
}

std::string RecorderSizeText(std::uint64_t total)
{
    std::string s = std::to_string(total);
    if (s.size() > 2) s.insert(s.size() - 3, 1, ' ');
    if (s.size() > 6) s.insert(s.size() - 7, 1, ' ');
    return s;
}

std::string RecorderDurationText(std::chrono::seconds d)
{
    const long long s = std::max<long long>(0, d.count());
    char text[64];
    std::snprintf(text, sizeof text, "%lld  %lld:%02lld:%02lld", s / 86400, s % 86400 / 3600, s % 3600 / 60, s % 60);
    return text;
}

std::string RecorderDateTimeText(std::chrono::local_seconds t)
{
    using namespace std::chrono;
    const local_days day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss<seconds> hms{t - day};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld:%02lld", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  static_cast<long long>(hms.hours().count()), static_cast<long long>(hms.minutes().count()),
                  static_cast<long long>(hms.seconds().count()));
    return text;
}

std::string RecorderCompanionPath(const std::string& binPath)
{
    return fs::path(binPath).replace_extension(".txt").string();
}

std::string RecorderCompanionText(const std::string& binPath, const std::vector<std::string>& info, std::uint64_t total,
                                  std::chrono::seconds duration, bool russian)
{
    std::string t = Tr(kRecorderName, russian) + fs::path(binPath).filename().string() + "\r\n";
    t += "\r\n";
    for (const std::string& line : info) t += line + "\r\n";
    t += Tr(kSize, russian) + std::to_string(total) + Tr(kBytes, russian) + "\r\n";
    t += Tr(kTime, russian) + RecorderDurationText(duration) + "\r\n";
    return t;
}

std::unique_ptr<RecordFile> OpenRecordFile(const std::string& path)
{
    // Opening a FIFO would wait for a reader and a device is no recording.
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (fs::exists(st) && !fs::is_regular_file(st)) return nullptr;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return nullptr;
    std::setvbuf(f, nullptr, _IONBF, 0);
    return std::make_unique<StdRecordFile>(f);
}

std::chrono::local_seconds LocalNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
#ifdef _WIN32
    localtime_s(&tm, &now);
#else
    localtime_r(&now, &tm);
#endif
    using namespace std::chrono;
    const local_days day{year{tm.tm_year + 1900} / month{static_cast<unsigned>(tm.tm_mon + 1)} /
                         std::chrono::day{static_cast<unsigned>(tm.tm_mday)}};
    return day + hours{tm.tm_hour} + minutes{tm.tm_min} + seconds{tm.tm_sec};
}

// ---------------------------------------------------------------------------

RecorderSession::RecorderSession(RecorderEnv env) : env_(std::move(env)) {}

RecorderSession::~RecorderSession()
{
    if (!recording_) return;
    env_.stream.active = false;
    if (file_) file_->Close();
}

void RecorderSession::Show()
{
    const bool ru = env_.russian;
    view_ = RecorderView{};
    view_.title = Tr(kRecorderTitle, ru);
    view_.fileCaption = Tr(kFileButton, ru);
    view_.startCaption = Tr(kStartButton, ru);
    view_.stopCaption = Tr(kStopButton, ru);
    view_.exitCaption = Tr(kExitButton, ru);
    view_.size = Tr(kSizeUnknown, ru);
    view_.file = InFolder(env_.lastFolder, kDefaultName);
    total_ = 0;
    display_ = false;
    writeFailed_ = false;
    start_ = lastTick_ = env_.now();
    UpdateInfo();
}

void RecorderSession::UpdateInfo()
{
    const FrameRecord rec = env_.frameRecord ? env_.frameRecord() : FrameRecord{};
    view_.info = RecorderInfoLines(rec, env_.russian);
    ready_ = RecorderReady(rec);
    SetButtons();
}

void RecorderSession::SetButtons()
{
    view_.fileEnabled = view_.exitEnabled = !recording_;
    view_.stopEnabled = recording_;
    view_.startEnabled = !recording_ && ready_;
}

void RecorderSession::ChooseFile()
{
    SettleWriteFailure();
    if (recording_) return;
    const bool ru = env_.russian;
    FileDialogRequest req;
    req.title = Tr(kRecorderFile, ru);
    req.folder = env_.lastFolder;
    req.defaultExt = "bin";
    req.filter = Tr(kFilter, ru);
    req.proposedName = "*.bin";
    const std::optional<std::string> chosen = env_.prompts.SaveFile(req);
    if (!chosen) return;
    env_.lastFolder = fs::path(*chosen).parent_path().string();
    view_.file = *chosen;
    display_ = false;
    UpdateInfo();
}

void RecorderSession::Start()
{
    SettleWriteFailure();
    if (recording_) return;
    // The frame record may have changed since the information was shown.
    UpdateInfo();
    if (!ready_) return;
    const bool ru = env_.russian;
    const std::string path = view_.file;
    if (Exists(path) && !AskReplaceFile(env_.prompts, kRecorderFile, path, ru)) return;
    file_ = env_.open(path);
    if (!file_) {
        ShowFileError(env_.prompts, kRecorderFile, path + "\r\n" + Tr(kCantWrite, ru), ru);
        return;
    }
    total_ = 0;
    recording_ = true;
    env_.stream.active = true;
    start_ = lastTick_ = env_.now();
    display_ = true;
    UpdateInfo();
    view_.info.push_back(Tr(kStartLine, ru) + RecorderDateTimeText(start_));
}

void RecorderSession::Stop()
{
    SettleWriteFailure();
    if (!recording_) return;
    const bool ru = env_.russian;
    if (env_.prompts.Message(Tr(kWarning, ru), Tr(kStopQuestion, ru), PromptIcon::Warning, PromptButtons::YesNo) !=
        PromptAnswer::Yes)
        return;
    // Hand-offs go on while the question is open: a write may have failed.
    if (recording_)
        EndRecording(true);
    else
        SettleWriteFailure();
}

bool RecorderSession::Close()
{
    SettleWriteFailure();
    if (!recording_) return true;
    const bool ru = env_.russian;
    if (env_.prompts.Message(Tr(kWarning, ru), Tr(kStopQuestion, ru), PromptIcon::Warning, PromptButtons::YesNo) !=
        PromptAnswer::Yes)
        return false;
    if (recording_)
        EndRecording(false);
    else
        SettleWriteFailure();
    return true;
}

void RecorderSession::Tick()
{
    SettleWriteFailure();
    if (recording_) lastTick_ = env_.now();
    const bool ru = env_.russian;
    view_.size = display_ ? Tr(kSize, ru) + RecorderSizeText(total_) + Tr(kBytes, ru) + Tr(kLabelTime, ru) +
                                RecorderDurationText(Elapsed())
                          : Tr(kSizeUnknown, ru);
}

void RecorderSession::Write(std::span<const std::uint8_t> bytes)
{
    if (!recording_ || !file_) return;
    const std::size_t written = file_->Write(bytes);
    total_ += written;
    if (written == bytes.size()) return;
    // Stop collecting at once; the file keeps what it got.
    env_.stream.active = false;
    recording_ = false;
    lastTick_ = env_.now();
    file_->Close();
    file_.reset();
    writeFailed_ = true;
}

void RecorderSession::EndRecording(bool buttons)
{
    const bool ru = env_.russian;
    env_.stream.active = false;
    recording_ = false;
    lastTick_ = env_.now();
    const bool closed = file_ ? file_->Close() : true;
    file_.reset();
    if (buttons) SetButtons();
    view_.info.push_back(Tr(kStopLine, ru) + RecorderDateTimeText(lastTick_));
    if (!closed) ShowFileError(env_.prompts, kRecorderFile, view_.file + "\r\n" + Tr(kWriteFailed, ru), ru);
    WriteCompanion();
}

// The rest of a recording that a failed write ended: buttons, stop line, the
// error and the companion file.
void RecorderSession::SettleWriteFailure()
{
    if (!std::exchange(writeFailed_, false)) return;
    const bool ru = env_.russian;
    SetButtons();
    view_.info.push_back(Tr(kStopLine, ru) + RecorderDateTimeText(lastTick_));
    ShowFileError(env_.prompts, kRecorderFile, view_.file + "\r\n" + Tr(kWriteFailed, ru), ru);
    WriteCompanion();
}

void RecorderSession::WriteCompanion()
{
    const bool ru = env_.russian;
    const std::string path = RecorderCompanionPath(view_.file);
    if (Exists(path) && !AskReplaceFile(env_.prompts, kCompanionTitle, path, ru)) return;
    const std::string text = RecorderCompanionText(view_.file, view_.info, total_, Elapsed(), ru);
    if (!WriteFileWhole(path, text, nullptr))
        ShowFileError(env_.prompts, kCompanionTitle, path + "\r\n" + Tr(kCantWrite, ru), ru);
}

std::chrono::seconds RecorderSession::Elapsed() const
{
    return std::chrono::duration_cast<std::chrono::seconds>(lastTick_ - start_);
}

}  // namespace kr40
