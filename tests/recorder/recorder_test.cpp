// The recorder's texts, its menu guard and the dialog's state machine over
// scripted prompts, a temporary folder and a clock the test sets.
// (Collecting the A1 bytes from ring frames, first frame and wrap included,
// is DecodeFrame's and tested with it.)

#include "recorder/recorder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "device/link_shared.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

using namespace std::chrono;
using test::ScriptedPrompts;
using test::TempDir;

FrameRecord Record(std::int32_t divider, std::int32_t pair = 0, std::int32_t uvDiv = 1'000'000, std::int32_t zero = 128)
{
    FrameRecord r{};
    r.Divider = divider;
    r.PairFlag = pair;
    r.uV_Div_A1 = uvDiv;
    r.A1_Zero = zero;
    return r;
}

local_seconds At(int y, unsigned mo, unsigned d, int h, int mi, int s)
{
    return local_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

TEST(RecorderTextsTest, InformationLines)
{
    struct Case {
        const char* name;
        FrameRecord rec;
        bool russian;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"50 kHz, 1 V/div",
         Record(2000),
         false,
         {"Sampling rate = 50.0 KHz", "Peak detector off, bytes per sample = 1", "Write speed = 171.661377 MBytes/hour",
          "", "Time step = 20.00 uS", "Voltage step = 31.25 mV", "Zero level = 128"}},
        {"1 MHz with peak detect, Russian",
         Record(100, 1, 50'000, -3),
         true,
         {"Частота дискретизации = 1.00 MHz", "Пиковый детектор включен, байтов на отсчет = 2",
          "Скорость записи = 6866.455078 МБайт/час", "", "Шаг по времени = 1.000 uS", "Шаг по напряжению = 1.563 mV",
          "Уровень нуля = -3"}},
        // Decim 0xFFFFFFFE: the divider 2^32 - 1 is stored as -1 and still a
        // (very slow) rate, not a negative one.
        {"largest divider",
         Record(-1),
         false,
         {"Sampling rate = 23.3 mHz", "Peak detector off, bytes per sample = 1", "Write speed = 0.000080 MBytes/hour",
          "", "Time step = 42.95 S", "Voltage step = 31.25 mV", "Zero level = 128"}},
        {"no divider", Record(0), false, {"Not ready."}},
        {"no divider, Russian", Record(0), true, {"Не готов."}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RecorderInfoLines(c.rec, c.russian), c.lines);
        EXPECT_EQ(RecorderReady(c.rec), c.rec.Divider != 0);
    }
}

TEST(RecorderTextsTest, SizeTextBlanks)
{
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0"},
        {12, "12"},
        {999, " 999"},
        {1000, "1 000"},
        {12345, "12 345"},
        {123456, " 123 456"},
        {1234567, "1 234 567"},
        {12345678, "12 345 678"},
        {123456789, "123 456 789"},
        {1234567890, "1234 567 890"},
        {std::numeric_limits<std::uint64_t>::max(), "18446744073709 551 615"},
    };
    for (const auto& [total, text] : cases) EXPECT_EQ(RecorderSizeText(total), text) << total;
}

TEST(RecorderTextsTest, DurationAndDateTime)
{
    const std::pair<long long, const char*> cases[] = {
        {0, "0  0:00:00"},
        {59, "0  0:00:59"},
        {3661, "0  1:01:01"},
        {86399, "0  23:59:59"},
        {86400, "1  0:00:00"},
        {90061, "1  1:01:01"},
        {40 * 86400 + 5, "40  0:00:05"},
        {-5, "0  0:00:00"},
    };
    for (const auto& [s, text] : cases) EXPECT_EQ(RecorderDurationText(seconds{s}), text) << s;

    EXPECT_EQ(RecorderDateTimeText(At(2024, 2, 29, 7, 5, 9)), "2024-02-29 07:05:09");
    EXPECT_EQ(RecorderDateTimeText(At(1999, 12, 31, 23, 59, 59)), "1999-12-31 23:59:59");
}

TEST(RecorderTextsTest, CompanionPathAndText)
{
    EXPECT_EQ(RecorderCompanionPath("/data/run.bin"), "/data/run.txt");
    EXPECT_EQ(RecorderCompanionPath("/data/run"), "/data/run.txt");
    EXPECT_EQ(RecorderCompanionPath("/data/a.b/run.x.bin"), "/data/a.b/run.x.txt");

    const std::vector<std::string> info = {"line 1", "", "line 3"};
    EXPECT_EQ(RecorderCompanionText("/data/run.bin", info, 1234567, seconds{90061}, false),
              "Oscilloscope recorder file = run.bin\r\n\r\nline 1\r\n\r\nline 3\r\n"
              "Size = 1234567 Bytes\r\nTime = 1  1:01:01\r\n");
    EXPECT_EQ(RecorderCompanionText("/data/run.bin", info, 0, seconds{0}, true),
              "Файл самописца = run.bin\r\n\r\nline 1\r\n\r\nline 3\r\n"
              "Записано = 0 Байт\r\nВремя = 0  0:00:00\r\n");
}

// ---- The menu guard ------------------------------------------------------

FT_STATUS QueueOk(FT_HANDLE, FT_DWORD* n)
{
    *n = 0;
    return FT_OK;
}

TEST(RecorderMenuTest, OpensOnlyWhenRunningInRollModeOnAUsableLink)
{
    LinkShared io;
    io.link.DeviceReady = true;
    io.transport.LinkStatus = FT_OK;
    EXPECT_TRUE(RecorderMayOpen(io, true, true));
    EXPECT_FALSE(RecorderMayOpen(io, false, true));
    EXPECT_FALSE(RecorderMayOpen(io, true, false));
    io.link.DeviceReady = false;
    EXPECT_FALSE(RecorderMayOpen(io, true, true));
    io.link.DeviceReady = true;

    // A broken status is asked again: without an open handle it stays broken...
    io.transport.LinkStatus = FT_IO_ERROR;
    EXPECT_FALSE(RecorderMayOpen(io, true, true));
    EXPECT_EQ(io.transport.LinkStatus, FT_INVALID_HANDLE);
    // ...and a link that answers again is usable.
    io.transport.api.GetQueueStatus = QueueOk;
    io.transport.DeviceHandleOpen = true;
    EXPECT_TRUE(RecorderMayOpen(io, true, true));
    EXPECT_EQ(io.transport.LinkStatus, FT_OK);
}

TEST(RecorderMenuTest, RefusalBox)
{
    ScriptedPrompts prompts;
    ShowRecorderRefusal(prompts, false);
    ShowRecorderRefusal(prompts, true);
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[0].caption, "Binary Recorder");
    EXPECT_EQ(prompts.messages[0].text, "Run 0.1 .. 20 S/Div. Disable Trigger.");
    EXPECT_EQ(prompts.messages[1].caption, "Двоичый самописец");
    EXPECT_EQ(prompts.messages[1].text, "Запустите развертку 0.1 .. 20 S/Div. Отключите синхронизацию.");
    for (const auto& m : prompts.messages) {
        EXPECT_EQ(m.icon, PromptIcon::Error);
        EXPECT_EQ(m.buttons, PromptButtons::Ok);
    }
}

// ---- The dialog ----------------------------------------------------------

// A recording file that takes `room` bytes and then no more, as a full disk.
class LimitedFile : public RecordFile {
public:
    LimitedFile(std::unique_ptr<RecordFile> real, std::size_t room) : real_(std::move(real)), room_(room) {}
    std::size_t Write(std::span<const std::uint8_t> bytes) override
    {
        const std::size_t n = std::min(bytes.size(), room_);
        room_ -= n;
        return real_->Write(bytes.first(n));
    }
    bool Close() override
    {
        closed = true;
        return real_->Close();
    }
    inline static bool closed = false;

private:
    std::unique_ptr<RecordFile> real_;
    std::size_t room_;
};

class RecorderSessionTest : public ::testing::Test {
protected:
    RecorderSessionTest() { folder = dir.path().string(); }

    RecorderSession& Session(bool russian = false)
    {
        RecorderEnv env{.prompts = prompts,
                        .lastFolder = folder,
                        .stream = stream,
                        .frameRecord = [this] { return rec; },
                        .russian = russian,
                        .now = [this] { return clock; }};
        if (room) {
            env.open = [this](const std::string& path) -> std::unique_ptr<RecordFile> {
                auto real = OpenRecordFile(path);
                if (!real) return nullptr;
                return std::make_unique<LimitedFile>(std::move(real), *room);
            };
        }
        session = std::make_unique<RecorderSession>(std::move(env));
        session->Show();
        return *session;
    }
    std::string Bin() const { return (dir / "recorder.bin").string(); }
    std::string Txt() const { return (dir / "recorder.txt").string(); }
    static std::vector<std::uint8_t> Bytes(int from, int count)
    {
        std::vector<std::uint8_t> v(static_cast<std::size_t>(count));
        std::iota(v.begin(), v.end(), static_cast<std::uint8_t>(from));
        return v;
    }
    static std::string Str(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }
    std::vector<std::string> Captions() const
    {
        std::vector<std::string> c;
        for (const auto& m : prompts.messages) c.push_back(m.caption);
        return c;
    }

    TempDir dir;
    std::string folder;
    ScriptedPrompts prompts;
    RecorderStream stream;
    FrameRecord rec = Record(2000);
    local_seconds clock = At(2024, 3, 1, 10, 0, 0);
    std::optional<std::size_t> room;
    std::unique_ptr<RecorderSession> session;
};

TEST_F(RecorderSessionTest, ShowSetsDefaults)
{
    struct Case {
        bool russian;
        std::vector<std::string> captions;  // title, File, Start, Stop, Exit
        const char* size;
    };
    const Case cases[] = {
        {false, {"Binary Recorder", "File", "Start", "Stop", "Exit"}, "Size = ..."},
        {true, {"Двоичный самописец", "Файл", "Старт", "Стоп", "Выход"}, "Записано = ..."},
    };
    for (const Case& c : cases) {
        RecorderSession& s = Session(c.russian);
        const RecorderView& v = s.View();
        EXPECT_EQ((std::vector<std::string>{v.title, v.fileCaption, v.startCaption, v.stopCaption, v.exitCaption}),
                  c.captions);
        EXPECT_EQ(v.size, c.size);
        EXPECT_EQ(v.file, Bin());
        EXPECT_EQ(v.info, RecorderInfoLines(rec, c.russian));
        EXPECT_TRUE(v.fileEnabled && v.startEnabled && v.exitEnabled);
        EXPECT_FALSE(v.stopEnabled);
        EXPECT_FALSE(s.Recording());
        s.Tick();
        EXPECT_EQ(s.View().size, c.size);  // nothing recorded yet
    }
    // Without a last folder the name stands alone.
    folder.clear();
    EXPECT_EQ(Session().View().file, "recorder.bin");
}

TEST_F(RecorderSessionTest, NotReadyCannotStart)
{
    rec = Record(0);
    RecorderSession& s = Session();
    EXPECT_EQ(s.View().info, std::vector<std::string>{"Not ready."});
    EXPECT_FALSE(s.View().startEnabled);
    s.Start();
    EXPECT_FALSE(s.Recording());
    EXPECT_FALSE(stream.active);
    EXPECT_FALSE(std::filesystem::exists(Bin()));

    // Ready when shown, the divider gone by the time Start is pressed.
    rec = Record(2000);
    Session();
    rec = Record(0);
    session->Start();
    EXPECT_FALSE(session->Recording());
    EXPECT_FALSE(session->View().startEnabled);
    EXPECT_EQ(session->View().info, std::vector<std::string>{"Not ready."});
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(RecorderSessionTest, FileDialog)
{
    TempDir other;
    const std::string chosen = (other / "long run.bin").string();
    for (bool russian : {false, true}) {
        SCOPED_TRACE(russian);
        prompts.fileRequests.clear();
        folder = dir.path().string();
        RecorderSession& s = Session(russian);
        prompts.files = {std::nullopt, chosen};
        s.ChooseFile();  // cancelled
        EXPECT_EQ(s.View().file, Bin());
        EXPECT_EQ(folder, dir.path().string());
        s.ChooseFile();
        EXPECT_EQ(s.View().file, chosen);
        EXPECT_EQ(folder, other.path().string());
        ASSERT_EQ(prompts.fileRequests.size(), 2u);
        const FileDialogRequest& r = prompts.fileRequests[1];
        EXPECT_EQ(r.title, russian ? "Файл самописца" : "Recorder File");
        EXPECT_EQ(r.folder, dir.path().string());
        EXPECT_EQ(r.defaultExt, "bin");
        EXPECT_EQ(r.filter, russian ? "Файл самописца KR40 (*.bin)|*.bin" : "Recorder File (*.bin)|*.bin");
        EXPECT_EQ(r.proposedName, "*.bin");
    }
    // The recording goes to the chosen file.
    session->Start();
    session->Write(Bytes(1, 3));
    EXPECT_EQ(TempDir::Read(chosen), Str(Bytes(1, 3)));
}

TEST_F(RecorderSessionTest, StartWritesStopsAndDescribes)
{
    RecorderSession& s = Session();
    clock = At(2024, 3, 1, 10, 0, 5);
    s.Start();
    ASSERT_TRUE(s.Recording());
    EXPECT_TRUE(stream.active);
    EXPECT_TRUE(std::filesystem::exists(Bin()));
    EXPECT_TRUE(prompts.messages.empty());  // a new file: no question
    const RecorderView& v = s.View();
    EXPECT_FALSE(v.fileEnabled || v.startEnabled || v.exitEnabled);
    EXPECT_TRUE(v.stopEnabled);
    std::vector<std::string> info = RecorderInfoLines(rec, false);
    info.push_back("Start recording = 2024-03-01 10:00:05");
    EXPECT_EQ(v.info, info);

    s.Tick();
    EXPECT_EQ(v.size, "Size = 0 Bytes    Time = 0  0:00:00");
    const std::vector<std::uint8_t> a = Bytes(0, 999), b = Bytes(7, 1);
    s.Write(a);
    clock += seconds{65};
    s.Tick();
    EXPECT_EQ(v.size, "Size =  999 Bytes    Time = 0  0:01:05");
    s.Write(b);
    clock += days{1} + hours{1};
    s.Tick();
    EXPECT_EQ(v.size, "Size = 1 000 Bytes    Time = 1  1:01:05");
    EXPECT_EQ(s.Total(), 1000u);

    // Stop answered No: still recording into the same file.
    prompts.answers = {PromptAnswer::No};
    s.Stop();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Warning");
    EXPECT_EQ(prompts.messages[0].text, "Stop recording?");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Warning);
    EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::YesNo);
    EXPECT_TRUE(s.Recording());
    EXPECT_TRUE(stream.active);
    EXPECT_TRUE(v.stopEnabled);
    s.Write(b);
    EXPECT_EQ(s.Total(), 1001u);

    prompts.answers = {PromptAnswer::Yes};
    clock += seconds{2};
    s.Stop();
    EXPECT_FALSE(s.Recording());
    EXPECT_FALSE(stream.active);
    EXPECT_TRUE(v.fileEnabled && v.startEnabled && v.exitEnabled);
    EXPECT_FALSE(v.stopEnabled);
    EXPECT_EQ(v.info.back(), "Stop recording = 2024-03-02 11:01:12");
    s.Write(b);  // after the end: not written
    EXPECT_EQ(TempDir::Read(Bin()), Str(a) + Str(b) + Str(b));

    EXPECT_EQ(TempDir::Read(Txt()),
              "Oscilloscope recorder file = recorder.bin\r\n"
              "\r\n"
              "Sampling rate = 50.0 KHz\r\n"
              "Peak detector off, bytes per sample = 1\r\n"
              "Write speed = 171.661377 MBytes/hour\r\n"
              "\r\n"
              "Time step = 20.00 uS\r\n"
              "Voltage step = 31.25 mV\r\n"
              "Zero level = 128\r\n"
              "Start recording = 2024-03-01 10:00:05\r\n"
              "Stop recording = 2024-03-02 11:01:12\r\n"
              "Size = 1001 Bytes\r\n"
              "Time = 1  1:01:07\r\n");
    // The label keeps the final figures.
    s.Tick();
    EXPECT_EQ(v.size, "Size = 1 001 Bytes    Time = 1  1:01:07");
    EXPECT_EQ(prompts.messages.size(), 2u);
}

TEST_F(RecorderSessionTest, RussianCompanion)
{
    RecorderSession& s = Session(true);
    s.Start();
    s.Write(Bytes(0, 10));
    clock += seconds{3};
    prompts.answers = {PromptAnswer::Yes};
    s.Stop();
    EXPECT_EQ(prompts.messages[0].caption, "Предупреждение");
    EXPECT_EQ(prompts.messages[0].text, "Прервать запись самописца?");
    EXPECT_EQ(TempDir::Read(Txt()),
              "Файл самописца = recorder.bin\r\n"
              "\r\n"
              "Частота дискретизации = 50.0 KHz\r\n"
              "Пиковый детектор выключен, байтов на отсчет = 1\r\n"
              "Скорость записи = 171.661377 МБайт/час\r\n"
              "\r\n"
              "Шаг по времени = 20.00 uS\r\n"
              "Шаг по напряжению = 31.25 mV\r\n"
              "Уровень нуля = 128\r\n"
              "Начало записи = 2024-03-01 10:00:00\r\n"
              "Конец записи = 2024-03-01 10:00:03\r\n"
              "Записано = 10 Байт\r\n"
              "Время = 0  0:00:03\r\n");
    s.Tick();
    EXPECT_EQ(s.View().size, "Записано = 10 Байт    Время = 0  0:00:03");
}

TEST_F(RecorderSessionTest, ExistingFilesAreReplacedOnlyOnYes)
{
    struct Case {
        bool russian;
        const char* binText;  // after the path
        const char* txtCaption;
    };
    const Case cases[] = {
        {false, "\r\nThe file already exists. Replace existing file?", "Save Text File For Recorder File"},
        {true, " уже существует.\r\nЗаменить?", "Сохранение сопутствующего текстового файла."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.russian);
        TempDir::Write(Bin(), "old bin");
        TempDir::Write(Txt(), "old txt");
        prompts.messages.clear();
        RecorderSession& s = Session(c.russian);

        prompts.answers = {PromptAnswer::No};
        s.Start();
        EXPECT_FALSE(s.Recording());
        EXPECT_FALSE(stream.active);
        EXPECT_EQ(TempDir::Read(Bin()), "old bin");
        ASSERT_EQ(prompts.messages.size(), 1u);
        EXPECT_EQ(prompts.messages[0].caption, c.russian ? "Файл самописца" : "Recorder File");
        EXPECT_EQ(prompts.messages[0].text, Bin() + c.binText);
        EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Question);
        EXPECT_EQ(prompts.messages[0].buttons, PromptButtons::YesNo);

        prompts.answers = {PromptAnswer::Yes};
        s.Start();
        ASSERT_TRUE(s.Recording());
        EXPECT_EQ(TempDir::Read(Bin()), "");  // emptied
        s.Write(Bytes(5, 2));

        // Stop: Yes; the companion's question: No keeps the old text.
        prompts.answers = {PromptAnswer::Yes, PromptAnswer::No};
        s.Stop();
        ASSERT_EQ(prompts.messages.size(), 4u);
        EXPECT_EQ(prompts.messages[3].caption, c.txtCaption);
        EXPECT_EQ(prompts.messages[3].text, Txt() + c.binText);
        EXPECT_EQ(TempDir::Read(Txt()), "old txt");
        EXPECT_EQ(TempDir::Read(Bin()), Str(Bytes(5, 2)));

        // Again with Yes for both files.
        prompts.answers = {PromptAnswer::Yes};
        s.Start();
        prompts.answers = {PromptAnswer::Yes, PromptAnswer::Yes};
        s.Stop();
        EXPECT_NE(TempDir::Read(Txt()).find(c.russian ? "Записано = 0 Байт" : "Size = 0 Bytes"), std::string::npos);
    }
}

TEST_F(RecorderSessionTest, FilesThatCannotBeWritten)
{
    // The recording in a folder that does not exist: error, no recording.
    TempDir other;
    const std::string missing = (other / "no such folder" / "x.bin").string();
    prompts.files = {missing};
    RecorderSession& s = Session();
    s.ChooseFile();
    s.Start();
    EXPECT_FALSE(s.Recording());
    EXPECT_FALSE(stream.active);
    EXPECT_TRUE(s.View().startEnabled && s.View().fileEnabled);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Recorder File");
    EXPECT_EQ(prompts.messages[0].text, missing + "\r\nCan't open file for writing.");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);

    // A folder or a FIFO by the name is refused too (opening a FIFO would hang).
    const std::string fifo = (dir / "pipe.bin").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(OpenRecordFile(fifo), nullptr);
    EXPECT_EQ(OpenRecordFile(dir.path().string()), nullptr);

    // The companion cannot be written (a folder holds its name): the error,
    // the recording itself is complete.
    std::filesystem::create_directory(Txt());
    prompts.messages.clear();
    folder = dir.path().string();
    Session(true);
    session->Start();
    session->Write(Bytes(0, 4));
    prompts.answers = {PromptAnswer::Yes, PromptAnswer::Yes};
    session->Stop();
    ASSERT_EQ(prompts.messages.size(), 3u);  // stop, replace, error
    EXPECT_EQ(prompts.messages[2].caption, "Сохранение сопутствующего текстового файла.");
    EXPECT_EQ(prompts.messages[2].text, Txt() + "\r\nНет доступа к файлу.");
    EXPECT_EQ(prompts.messages[2].icon, PromptIcon::Error);
    EXPECT_EQ(TempDir::Read(Bin()), Str(Bytes(0, 4)));
}

TEST_F(RecorderSessionTest, CloseWhileRecordingAsks)
{
    RecorderSession& s = Session();
    EXPECT_TRUE(s.Close());  // idle: no question
    EXPECT_TRUE(prompts.messages.empty());

    s.Start();
    s.Write(Bytes(0, 3));
    prompts.answers = {PromptAnswer::No};
    EXPECT_FALSE(s.Close());
    EXPECT_TRUE(s.Recording());
    EXPECT_TRUE(stream.active);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "Stop recording?");

    prompts.answers = {PromptAnswer::Yes};
    EXPECT_TRUE(s.Close());
    EXPECT_FALSE(s.Recording());
    EXPECT_FALSE(stream.active);
    EXPECT_EQ(s.View().info.back().rfind("Stop recording = ", 0), 0u);
    EXPECT_NE(TempDir::Read(Txt()).find("Size = 3 Bytes\r\n"), std::string::npos);

    // A session that goes away while recording stops the collecting.
    Session();
    prompts.answers = {PromptAnswer::Yes};  // replace
    session->Start();
    ASSERT_TRUE(stream.active);
    session.reset();
    EXPECT_FALSE(stream.active);
}

TEST_F(RecorderSessionTest, WriteErrorStopsAndKeepsWhatWasWritten)
{
    room = 150;  // the disk fills during the second write
    LimitedFile::closed = false;
    RecorderSession& s = Session();
    s.Start();
    const std::vector<std::uint8_t> a = Bytes(0, 100), b = Bytes(100, 100);
    s.Write(a);
    ASSERT_TRUE(s.Recording());
    clock += seconds{4};
    s.Write(b);
    // Ended at once, reported outside the hand-off.
    EXPECT_FALSE(s.Recording());
    EXPECT_FALSE(stream.active);
    EXPECT_TRUE(LimitedFile::closed);
    EXPECT_EQ(s.Total(), 150u);
    EXPECT_TRUE(prompts.messages.empty());
    s.Write(a);  // a late hand-off
    EXPECT_EQ(s.Total(), 150u);

    clock += seconds{1};
    s.Tick();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Recorder File");
    EXPECT_EQ(prompts.messages[0].text, Bin() + "\r\nWrite error, the disk may be full. Recording stopped.");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);
    EXPECT_EQ(TempDir::Read(Bin()), Str(a) + Str(b).substr(0, 50));
    const RecorderView& v = s.View();
    EXPECT_TRUE(v.fileEnabled && v.startEnabled && v.exitEnabled);
    EXPECT_FALSE(v.stopEnabled);
    EXPECT_EQ(v.info.back(), "Stop recording = 2024-03-01 10:00:04");
    EXPECT_EQ(v.size, "Size =  150 Bytes    Time = 0  0:00:04");
    const std::string txt = TempDir::Read(Txt());
    EXPECT_NE(txt.find("Stop recording = 2024-03-01 10:00:04\r\nSize = 150 Bytes\r\nTime = 0  0:00:04\r\n"),
              std::string::npos);
    s.Tick();
    EXPECT_EQ(prompts.messages.size(), 1u);  // reported once

    // A failure while the stop question is open: Yes then only reports it.
    room = 10;
    Session(true);
    prompts.answers = {PromptAnswer::Yes};  // replace
    session->Start();
    ASSERT_TRUE(session->Recording());
    prompts.messages.clear();
    prompts.answers = {PromptAnswer::Yes, PromptAnswer::No};  // stop; keep the old companion
    prompts.onPrompt = [&] {
        prompts.onPrompt = nullptr;
        session->Write(Bytes(0, 20));
    };
    session->Stop();
    ASSERT_EQ(prompts.messages.size(), 3u);
    EXPECT_EQ(prompts.messages[1].text, Bin() + "\r\nОшибка записи, возможно, диск заполнен. Запись остановлена.");
    EXPECT_EQ(prompts.messages[2].caption, "Сохранение сопутствующего текстового файла.");
    EXPECT_EQ(TempDir::Read(Bin()), Str(Bytes(0, 10)));
    EXPECT_EQ(session->View().info.back(), "Конец записи = 2024-03-01 10:00:05");
}

}  // namespace
}  // namespace kr40
