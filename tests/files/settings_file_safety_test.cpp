// The settings files on awkward ground: links, read-only files, files that
// cannot be read back, things that are not files, and writes that fail half
// way. The user's files must come out of every case intact.

#include <gtest/gtest.h>

#ifndef _WIN32

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <thread>

#include "files/ini_image.h"
#include "files/settings_file.h"
#include "state/scope_state.h"
#include "state/settings_commands.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

namespace fs = std::filesystem;
using test::ScriptedPrompts;
using test::TempDir;

// Lowers the largest file this process may write while alive: a longer write
// fails as on a full disk, for root too. SIGXFSZ is ignored meanwhile, so the
// write returns an error instead of ending the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &saved_);
        oldHandler_ = signal(SIGXFSZ, SIG_IGN);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, oldHandler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*oldHandler_)(int) = SIG_DFL;
};

// Bounds the address space to what is in use plus 256 MiB while alive, so a
// read that never ends throws std::bad_alloc (and fails its test) instead of
// taking the machine's memory.
class MemoryCap {
public:
    MemoryCap()
    {
        getrlimit(RLIMIT_AS, &saved_);
        unsigned long pages = 0;
        std::ifstream("/proc/self/statm") >> pages;
        rlimit lowered = saved_;
        lowered.rlim_cur =
            std::min<rlim_t>(saved_.rlim_cur, static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (256u << 20));
        setrlimit(RLIMIT_AS, &lowered);
    }
    ~MemoryCap() { setrlimit(RLIMIT_AS, &saved_); }
    MemoryCap(const MemoryCap&) = delete;
    MemoryCap& operator=(const MemoryCap&) = delete;

private:
    rlimit saved_{};
};

// Keeps a writer ready at a FIFO while alive: whoever opens the FIFO for
// reading gets a writer that closes at once, so a reader that opens it by
// mistake sees an empty file instead of blocking for ever.
class FifoWriters {
public:
    explicit FifoWriters(fs::path fifo) : fifo_(std::move(fifo)), thread_([this] { Serve(); }) {}
    ~FifoWriters()
    {
        stop_ = true;
        // A reader of our own releases the writer waiting in open().
        const int reader = ::open(fifo_.c_str(), O_RDONLY | O_NONBLOCK);
        thread_.join();
        if (reader >= 0) ::close(reader);
    }
    FifoWriters(const FifoWriters&) = delete;
    FifoWriters& operator=(const FifoWriters&) = delete;

private:
    void Serve()
    {
        while (!stop_) {
            const int fd = ::open(fifo_.c_str(), O_WRONLY);  // waits for a reader
            if (fd < 0) return;
            ::close(fd);
        }
    }
    fs::path fifo_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

class SettingsFileSafetyTest : public ::testing::Test {
protected:
    std::vector<std::string> Entries(const fs::path& folder) const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // A file a little over the size cap, starting with a valid settings text.
    void WriteOversize(const fs::path& file) const
    {
        TempDir::Write(file, "[Common]\nCH_D1=1\nCH_A1=0\n[Mine]\nnote=keep\n");
        fs::resize_file(file, kIniMaxFileSize + 1);
    }

    TempDir dir;
    ScriptedPrompts prompts;
};

TEST_F(SettingsFileSafetyTest, SaveAsKeepsTheOldFileWhenTheNewOneCannotBeWritten)
{
    ScopeState st;
    st.settings.Russian = false;
    const auto file = dir / "keep.krs";
    const std::string old = "[Common]\nCH_D1=1\n; my notes\n";
    TempDir::Write(file, old);
    prompts.files.push_back(file.string());
    bool saved = true;
    {
        const FileSizeLimit diskFull(64);  // a settings file is far longer
        saved = Menu_Save_Settings_AsClick(st, prompts);
    }
    EXPECT_FALSE(saved);
    EXPECT_EQ(TempDir::Read(file), old);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"keep.krs"});
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, file.string() + "\nCan't open file for writing.");
}

TEST_F(SettingsFileSafetyTest, SavingThroughALinkWritesItsTargetAndKeepsTheLink)
{
    ScopeState st;
    st.settings.Russian = false;
    fs::create_directory(dir / "real");
    bool told = false;
    struct Case {
        const char* name;
        bool programFile;
        std::function<bool(const fs::path&)> save;
    } cases[] = {
        {"Save As", false,
         [&](const fs::path& link) {
             prompts.files.push_back(link.string());
             return Menu_Save_Settings_AsClick(st, prompts);
         }},
        {"program file", true,
         [&](const fs::path& link) { return WriteProgramSettings(st.settings, st, prompts, link, told); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = c.programFile ? "kr40.ini" : "setup.krs";
        const fs::path target = dir / "real" / name;
        const fs::path link = dir / name;
        const fs::path pointsTo = fs::path("real") / name;
        TempDir::Write(target, "[Mine]\nnote=keep\n");
        fs::create_symlink(pointsTo, link);

        EXPECT_TRUE(c.save(link));
        if (!fs::is_symlink(fs::symlink_status(link))) {
            ADD_FAILURE() << "the link was replaced by a file";
            continue;
        }
        EXPECT_EQ(fs::read_symlink(link), pointsTo);
        IniImage img;
        ASSERT_EQ(img.Load(target), IniLoadResult::Ok);
        EXPECT_EQ(img.ReadInt("System", c.programFile ? "KR40_INI_FILE" : "KR40_KRS_FILE"), 1);
        EXPECT_TRUE(img.HasKey("Common", "CH_D1"));
        // Only the program's file keeps sections that are not the program's.
        EXPECT_EQ(img.HasSection("Mine"), c.programFile);
    }
    EXPECT_EQ(Entries(dir / "real"), (std::vector<std::string>{"kr40.ini", "setup.krs"}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SettingsFileSafetyTest, ReadOnlyProgramFileIsKeptAndMentionedOnce)
{
    struct Case {
        bool russian;
        const char* caption;
        const char* text;
    } cases[] = {
        {false, "Save Settings", "\nThe settings file is read-only; the settings were not saved."},
        {true, "Сохранение файла настроек", "\nФайл настроек доступен только для чтения; настройки не сохранены."},
    };
    const auto file = dir / "kr40.ini";
    const std::string old = "[Common]\nCH_A1=0\n";
    for (const Case& c : cases) {
        ScopeState st;
        st.settings.Russian = c.russian;
        TempDir::Write(file, old);
        fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        ScriptedPrompts p;
        bool told = false;
        EXPECT_FALSE(WriteProgramSettings(st.settings, st, p, file, told));
        EXPECT_FALSE(WriteProgramSettings(st.settings, st, p, file, told));
        EXPECT_FALSE(WriteSettings(st.settings, st, file, true));
        EXPECT_EQ(TempDir::Read(file), old);
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0].caption, c.caption);
        EXPECT_EQ(p.messages[0].text, file.string() + c.text);
        EXPECT_EQ(p.messages[0].icon, PromptIcon::Warning);
        fs::remove(file);
    }
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{});
}

TEST_F(SettingsFileSafetyTest, ProgramFileThatCannotBeReadBackIsNotWritten)
{
    ScopeState st;
    bool told = false;

    const auto oversize = dir / "big.ini";
    WriteOversize(oversize);
    const std::string before = TempDir::Read(oversize);
    EXPECT_FALSE(WriteProgramSettings(st.settings, st, prompts, oversize, told));
    EXPECT_EQ(TempDir::Read(oversize), before);

    const auto folder = dir / "folder.ini";
    fs::create_directory(folder);
    TempDir::Write(folder / "inside", "x");
    EXPECT_FALSE(WriteProgramSettings(st.settings, st, prompts, folder, told));
    EXPECT_EQ(TempDir::Read(folder / "inside"), "x");

    EXPECT_EQ(Entries(dir.path()), (std::vector<std::string>{"big.ini", "folder.ini"}));
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SettingsFileSafetyTest, UnusableSettingsFilesAreRefusedWithTheReason)
{
    const auto fifo = dir / "pipe.krs";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const FifoWriters writers(fifo);
    const auto oversize = dir / "big.krs";
    WriteOversize(oversize);
    const auto zeroLink = dir / "zero.krs";
    fs::create_symlink("/dev/zero", zeroLink);

    struct Case {
        fs::path file;
        bool russian;
        const char* reason;
    } cases[] = {
        {oversize, false, "\nThe file is too large for a settings file."},
        {oversize, true, "\nФайл слишком велик для файла настроек."},
        {fifo, false, "\nThis is not a regular file."},
        {"/dev/zero", false, "\nThis is not a regular file."},
        {zeroLink, true, "\nЭто не обычный файл."},
    };
    const MemoryCap cap;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.string());
        ScopeState st;
        st.settings.Russian = c.russian;
        ScriptedPrompts p;
        p.files.push_back(c.file.string());
        EXPECT_FALSE(Menu_Open_SettingsClick(st, p));
        EXPECT_FALSE(st.SettingsLoaded);
        EXPECT_TRUE(st.settings.CH_A1);
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0].text, c.file.string() + c.reason);

        // At start-up the program's own file is passed over without a word.
        ScopeState startup;
        ScriptedPrompts quiet;
        EXPECT_FALSE(ReadSettings(startup.settings, quiet, c.file, true));
        EXPECT_TRUE(startup.settings.CH_A1);
        EXPECT_TRUE(quiet.messages.empty());
    }
}

}  // namespace
}  // namespace kr40

#endif  // _WIN32
