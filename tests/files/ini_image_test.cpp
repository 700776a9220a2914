#include "files/ini_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>

#ifdef __linux__
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif
#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace kr40 {
namespace {

namespace fs = std::filesystem;

#ifdef __linux__
// Clears the calling thread's effective capabilities while alive, so that a
// folder's permission bits bind root as well; the permitted set is kept, so
// the destructor can raise them again.
class WithoutPrivileges {
public:
    WithoutPrivileges()
    {
        header_.version = _LINUX_CAPABILITY_VERSION_3;
        syscall(SYS_capget, &header_, saved_);
        __user_cap_data_struct cleared[2] = {saved_[0], saved_[1]};
        cleared[0].effective = cleared[1].effective = 0;
        syscall(SYS_capset, &header_, cleared);
    }
    ~WithoutPrivileges() { syscall(SYS_capset, &header_, saved_); }
    WithoutPrivileges(const WithoutPrivileges&) = delete;
    WithoutPrivileges& operator=(const WithoutPrivileges&) = delete;

private:
    __user_cap_header_struct header_{};
    __user_cap_data_struct saved_[2]{};
};
#endif

// A mixed file as a user might leave it: preamble, comments, blank lines,
// odd spacing, unparsable lines, an unknown section and a hand-added flag.
constexpr std::string_view kMixed =
    "; kept at the top\n"
    "stray=before any section\n"
    "[System]\n"
    "KR40_INI_FILE=1\n"
    "Debug_kr=1\n"
    "\n"
    "[Common]\n"
    "  CH_D1 = 1  \n"
    "# a comment\n"
    "noequals\n"
    "=value\n"
    "[broken\n"
    "After_Broken=7\n"
    "\n"
    "[MyTools]\n"
    "Path=C:\\tools\\x.exe\n";

TEST(IniImageTest, UntouchedTextRoundTripsExactly)
{
    EXPECT_EQ(IniImage::FromText(kMixed).ToText(), kMixed);
    // A last line without a line ending gets one; nothing else changes.
    EXPECT_EQ(IniImage::FromText("[A]\nk=v").ToText(), "[A]\nk=v\n");
    EXPECT_EQ(IniImage::FromText("").ToText(), "");
}

TEST(IniImageTest, CrLfAndBomAreAccepted)
{
    const auto image = IniImage::FromText("\xEF\xBB\xBF[System]\r\nDebug_kr=1\r\n\r\nName = x y \r\n");
    EXPECT_TRUE(image.HasSection("System"));
    EXPECT_EQ(image.ReadInt("System", "Debug_kr"), 1);
    EXPECT_EQ(image.ReadString("System", "Name"), "x y");
    EXPECT_EQ(image.ToText(), "[System]\nDebug_kr=1\n\nName = x y \n");
    // Two marks read as one, so the text means the same after a save.
    const auto twice = IniImage::FromText("\xEF\xBB\xBF\xEF\xBB\xBF[Scope]\nX=1\n");
    EXPECT_EQ(twice.ReadInt("Scope", "X"), 1);
    EXPECT_EQ(IniImage::FromText(twice.ToText()).ToText(), twice.ToText());
}

TEST(IniImageTest, LookupsIgnoreAsciiCaseAndBlanks)
{
    const auto image = IniImage::FromText(
        "[Generator]\n50m_100uS=3\n[ Spaced ]\n  Key  =  some value  \n"
        "[Ünits]\nÄbc=1\n");
    EXPECT_EQ(image.ReadInt("generator", "50M_100uS"), 3);
    EXPECT_EQ(image.ReadInt("GENERATOR", "50m_100us"), 3);
    EXPECT_EQ(image.ReadString("spaced", "key"), "some value");
    // Non-ASCII bytes compare as they are; the ASCII letters around them fold.
    EXPECT_TRUE(image.HasKey("ÜNITS", "ÄBC"));
    EXPECT_FALSE(image.HasSection("üNITS"));
    EXPECT_FALSE(image.HasKey("Ünits", "äbc"));

    EXPECT_FALSE(image.HasSection("Scope"));
    EXPECT_FALSE(image.HasKey("Generator", "50m"));
    EXPECT_FALSE(image.ReadString("Scope", "50m_100uS").has_value());
}

TEST(IniImageTest, UnparsableLinesAndPreambleAreInvisibleToLookups)
{
    const auto image = IniImage::FromText(kMixed);
    EXPECT_EQ(image.SectionNames(), (std::vector<std::string>{"System", "Common", "MyTools"}));
    // "[broken" opens no section, so the key after it stays in Common.
    EXPECT_EQ(image.KeyNames("common"), (std::vector<std::string>{"CH_D1", "After_Broken"}));
    EXPECT_EQ(image.ReadInt("Common", "After_Broken"), 7);
    EXPECT_FALSE(image.HasSection("broken"));
    EXPECT_FALSE(image.HasKey("Common", ""));
    EXPECT_FALSE(image.HasKey("", "stray"));
    EXPECT_EQ(image.ReadString("MyTools", "Path"), "C:\\tools\\x.exe");
}

TEST(IniImageTest, SectionHeaderEndsAtFirstBracket)
{
    const auto image = IniImage::FromText("[Scope] ; note\nA=1\n[]\nB=2\n");
    EXPECT_EQ(image.ReadInt("Scope", "A"), 1);
    EXPECT_EQ(image.ReadInt("", "B"), 2);
}

TEST(IniImageTest, DuplicatesFirstWinsAndWriteCollapsesThem)
{
    auto image = IniImage::FromText("[Scope]\nGain=1\nOther=x\ngain=2\n[Trigger]\nGain=9\n[SCOPE]\nGAIN=3\nLate=4\n");
    EXPECT_EQ(image.ReadInt("Scope", "Gain"), 1);
    // Sections of the same name are searched in file order.
    EXPECT_EQ(image.ReadInt("Scope", "Late"), 4);
    EXPECT_EQ(image.SectionNames(), (std::vector<std::string>{"Scope", "Trigger"}));
    EXPECT_EQ(image.KeyNames("scope"), (std::vector<std::string>{"Gain", "Other", "Late"}));

    image.WriteInt("Scope", "GAIN", 5);
    EXPECT_EQ(image.ToText(), "[Scope]\nGAIN=5\nOther=x\n[Trigger]\nGain=9\n[SCOPE]\nLate=4\n");
}

TEST(IniImageTest, WritePlacesNewKeysAndSections)
{
    auto image = IniImage::FromText("; head\n[System]\nDebug_kr=1\n\n\n[Colors]\nBack=0\n");
    image.WriteString("system", "KR40_INI_FILE", "1");  // new key: before the blank lines
    image.WriteString("System", "Debug_KR", " 1 ");     // existing key: in place, new spelling
    image.WriteInt("FFT", "Window", -3);                // new section: at the end
    image.WriteInt("FFT", "Big", 4294967296);
    image.WriteString("FFT", "Note", "two\r\nlines");
    EXPECT_EQ(image.ToText(),
              "; head\n[System]\nDebug_KR=1\nKR40_INI_FILE=1\n\n\n[Colors]\nBack=0\n"
              "\n[FFT]\nWindow=-3\nBig=4294967296\nNote=two  lines\n");
    EXPECT_EQ(image.ReadInt("fft", "window"), -3);

    IniImage empty;
    empty.WriteString("System", "", "ignored");
    EXPECT_EQ(empty.ToText(), "");
    empty.WriteString("System", "A", "");
    empty.WriteString("Common", "B", "x");
    EXPECT_EQ(empty.ToText(), "[System]\nA=\n\n[Common]\nB=x\n");
    EXPECT_EQ(empty.ReadString("System", "A"), "");
}

TEST(IniImageTest, EraseSectionRemovesAllCopiesAndKeepsTheRestInOrder)
{
    auto image = IniImage::FromText(
        "pre\n[System]\nDebug_kr=1\n[Scope]\nA=1\n; scope note\n\n[Decoders]\nD=2\n"
        "[scope]\nB=2\n[Zeta]\nZ=1\n");
    image.EraseSection("SCOPE");
    image.EraseSection("NotThere");
    EXPECT_EQ(image.ToText(), "pre\n[System]\nDebug_kr=1\n[Decoders]\nD=2\n[Zeta]\nZ=1\n");
    EXPECT_FALSE(image.HasKey("Scope", "A"));
}

// The write sequence of the settings writer: erase owned sections, write
// values, keep whatever else the file holds.
TEST(IniImageTest, RewriteOfOwnedSectionsKeepsForeignContent)
{
    auto image = IniImage::FromText(kMixed);
    image.EraseSection("Common");
    image.WriteInt("System", "KR40_INI_FILE", 1);
    image.WriteString("System", "Soft_Ver", "~227~");
    image.WriteInt("Common", "CH_D1", 0);
    EXPECT_EQ(image.ToText(),
              "; kept at the top\n"
              "stray=before any section\n"
              "[System]\n"
              "KR40_INI_FILE=1\n"
              "Debug_kr=1\n"
              "Soft_Ver=~227~\n"
              "\n"
              "[MyTools]\n"
              "Path=C:\\tools\\x.exe\n"
              "\n"
              "[Common]\n"
              "CH_D1=0\n");
}

TEST(IniImageTest, ReadIntAcceptsOnlyWholeInt32Numbers)
{
    struct Case {
        const char* text;
        std::optional<std::int32_t> expected;
    };
    const Case cases[] = {
        {"0", 0},
        {"42", 42},
        {"  -17  ", -17},
        {"+8", 8},
        {"007", 7},
        {"2147483647", 2147483647},
        {"-2147483648", INT32_MIN},
        {"0x1F", 31},
        {"0X1f", 31},
        {"$1F", 31},
        {"-$10", -16},
        {"0x7FFFFFFF", 2147483647},
        {"", std::nullopt},
        {"   ", std::nullopt},
        {"12abc", std::nullopt},
        {"1.5", std::nullopt},
        {"1 2", std::nullopt},
        {"- 1", std::nullopt},
        {"+", std::nullopt},
        {"--1", std::nullopt},
        {"0x", std::nullopt},
        {"$", std::nullopt},
        {"0xG", std::nullopt},
        {"$-1", std::nullopt},
        {"1e3", std::nullopt},
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"0x80000000", std::nullopt},
        {"0xFFFFFFFF", std::nullopt},
    };
    for (const auto& c : cases) {
        const auto image = IniImage::FromText(std::string("[S]\nK=") + c.text + "\n");
        EXPECT_EQ(image.ReadInt("S", "K"), c.expected) << "value \"" << c.text << "\"";
    }
    EXPECT_EQ(IniImage().ReadInt("S", "K"), std::nullopt);
}

class IniImageFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        std::ostringstream name;
        name << "kr40_ini_test_" << std::hex << rd() << rd();
        dir_ = fs::temp_directory_path() / name.str();
        ASSERT_TRUE(fs::create_directory(dir_));
    }
    void TearDown() override
    {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    static void WriteFile(const fs::path& path, std::string_view text)
    {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }
    static std::string ReadFile(const fs::path& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<std::string> DirEntries() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path dir_;
};

TEST_F(IniImageFileTest, LoadReportsMissingAndUnreadableWithEmptyImage)
{
    auto image = IniImage::FromText("[Old]\nA=1\n");
    EXPECT_EQ(image.Load(dir_ / "absent.ini"), IniLoadResult::Missing);
    EXPECT_EQ(image.ToText(), "");

    image = IniImage::FromText("[Old]\nA=1\n");
    fs::create_directory(dir_ / "sub.ini");
    EXPECT_EQ(image.Load(dir_ / "sub.ini"), IniLoadResult::Unreadable);
    EXPECT_EQ(image.ToText(), "");

    // A file without read permission; only checkable where the bits are enforced.
    const fs::path locked = dir_ / "locked.ini";
    WriteFile(locked, "[S]\nK=1\n");
    fs::permissions(locked, fs::perms::none);
    if (!std::ifstream(locked)) {
        EXPECT_EQ(image.Load(locked), IniLoadResult::Unreadable);
        EXPECT_EQ(image.ToText(), "");
    }
}

TEST_F(IniImageFileTest, SaveAndLoadRoundTrip)
{
    const fs::path file = dir_ / "kr40.ini";
    WriteFile(file, "[System]\r\nDebug_kr=1\r\n[Old]\r\nX=1\r\n");
    IniImage image;
    ASSERT_EQ(image.Load(file), IniLoadResult::Ok);
    image.WriteInt("System", "KR40_INI_FILE", 1);
    std::string error;
    ASSERT_TRUE(image.Save(file, &error)) << error;
    EXPECT_EQ(ReadFile(file), "[System]\nDebug_kr=1\nKR40_INI_FILE=1\n[Old]\nX=1\n");
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"kr40.ini"});

    IniImage reloaded;
    ASSERT_EQ(reloaded.Load(file), IniLoadResult::Ok);
    EXPECT_EQ(reloaded.ToText(), image.ToText());
}

TEST_F(IniImageFileTest, SaveFailureLeavesEverythingAsItWas)
{
    WriteFile(dir_ / "plain", "not a folder");
    fs::create_directory(dir_ / "taken.ini");
    WriteFile(dir_ / "taken.ini" / "inside", "x");
    const auto before = DirEntries();
    const auto image = IniImage::FromText("[S]\nK=1\n");

    const fs::path targets[] = {
        dir_ / "no_such_folder" / "kr40.ini",  // folder missing
        dir_ / "plain" / "kr40.ini",           // "folder" is a regular file
        dir_ / "taken.ini",                    // a directory stands in the way of the rename
    };
    for (const auto& target : targets) {
        std::string error;
        EXPECT_FALSE(image.Save(target, &error)) << target;
        EXPECT_FALSE(error.empty()) << target;
        EXPECT_EQ(DirEntries(), before) << "temporary left behind for " << target;
    }
    EXPECT_EQ(ReadFile(dir_ / "plain"), "not a folder");
    EXPECT_EQ(ReadFile(dir_ / "taken.ini" / "inside"), "x");
    EXPECT_FALSE(image.Save(dir_ / "no_such_folder" / "kr40.ini", nullptr));
}

TEST_F(IniImageFileTest, SaveIntoReadOnlyFolderKeepsOldFile)
{
    const fs::path file = dir_ / "kr40.ini";
    WriteFile(file, "[System]\nDebug_kr=1\n");
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    std::string error;
    bool saved = false;
    {
#ifdef __linux__
        const WithoutPrivileges asUser;  // root too cannot create the temporary file
#else
        if (std::ofstream(dir_ / "probe")) {
            fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
            GTEST_SKIP() << "folder permissions are not enforced for this user";
        }
#endif
        saved = IniImage::FromText("[New]\n").Save(file, &error);
    }
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    EXPECT_FALSE(saved);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(file), "[System]\nDebug_kr=1\n");
    EXPECT_EQ(DirEntries(), std::vector<std::string>{"kr40.ini"});
}

TEST_F(IniImageFileTest, SaveThroughLinksReplacesTheFileTheyPointTo)
{
    fs::create_directory(dir_ / "real");
    struct Case {
        const char* link;
        fs::path pointsTo;  // relative to the link's folder unless absolute
        fs::path file;      // where the text must end up
    } cases[] = {
        {"relative.ini", "real/a.ini", dir_ / "real" / "a.ini"},
        {"absolute.ini", dir_ / "real" / "b.ini", dir_ / "real" / "b.ini"},
        {"chain.ini", "relative.ini", dir_ / "real" / "a.ini"},
        {"dangling.ini", "real/new.ini", dir_ / "real" / "new.ini"},
    };
    WriteFile(dir_ / "real" / "a.ini", "[Old]\n");
    WriteFile(dir_ / "real" / "b.ini", "[Old]\n");
    for (const Case& c : cases) fs::create_symlink(c.pointsTo, dir_ / c.link);

    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        const std::string text = std::string("[Via]\nlink=") + c.link + "\n";
        std::string error;
        ASSERT_TRUE(IniImage::FromText(text).Save(dir_ / c.link, &error)) << error;
        EXPECT_EQ(ReadFile(c.file), text);
        ASSERT_TRUE(fs::is_symlink(fs::symlink_status(dir_ / c.link)));
        EXPECT_EQ(fs::read_symlink(dir_ / c.link), c.pointsTo);
    }
    std::vector<std::string> real;
    for (const auto& e : fs::directory_iterator(dir_ / "real")) real.push_back(e.path().filename().string());
    std::sort(real.begin(), real.end());
    EXPECT_EQ(real, (std::vector<std::string>{"a.ini", "b.ini", "new.ini"}));
    EXPECT_EQ(DirEntries(),
              (std::vector<std::string>{"absolute.ini", "chain.ini", "dangling.ini", "real", "relative.ini"}));
}

#ifndef _WIN32
// Decided from the permission bits, so these hold for root as well.
TEST_F(IniImageFileTest, SaveLeavesReadOnlyFilesAndNonFilesAlone)
{
    const fs::path readOnly = dir_ / "read_only.ini";
    const fs::path ownerReadOnly = dir_ / "owner_read_only.ini";
    const fs::path fifo = dir_ / "pipe.ini";
    WriteFile(readOnly, "[Mine]\n");
    WriteFile(ownerReadOnly, "[Mine]\n");
    fs::permissions(readOnly, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(ownerReadOnly, fs::perms::owner_read | fs::perms::group_all);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_TRUE(IsReadOnlyFile(readOnly));
    EXPECT_TRUE(IsReadOnlyFile(ownerReadOnly));
    EXPECT_FALSE(IsReadOnlyFile(fifo));
    EXPECT_FALSE(IsReadOnlyFile(dir_ / "absent.ini"));
    const auto before = DirEntries();

    for (const fs::path& target : {readOnly, ownerReadOnly, fifo}) {
        std::string error;
        EXPECT_FALSE(IniImage::FromText("[New]\n").Save(target, &error)) << target;
        EXPECT_FALSE(error.empty()) << target;
    }
    EXPECT_EQ(DirEntries(), before);
    EXPECT_EQ(ReadFile(readOnly), "[Mine]\n");
    EXPECT_EQ(ReadFile(ownerReadOnly), "[Mine]\n");
    EXPECT_TRUE(fs::is_fifo(fifo));
}
#endif

TEST_F(IniImageFileTest, SaveWorksForTheLongestFileName)
{
    const fs::path file = dir_ / (std::string(250, 'k') + ".ini");  // 254 of the usual 255 bytes
    WriteFile(file, "[Old]\n");
    std::string error;
    ASSERT_TRUE(IniImage::FromText("[New]\n").Save(file, &error)) << error;
    EXPECT_EQ(ReadFile(file), "[New]\n");
    EXPECT_EQ(DirEntries(), std::vector<std::string>{file.filename().string()});
}

}  // namespace
}  // namespace kr40
