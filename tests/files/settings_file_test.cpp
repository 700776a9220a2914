#include "files/settings_file.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "acquisition/scope_tables.h"
#include "files/ini_image.h"
#include "state/scope_state.h"
#include "state/settings_commands.h"
#include "support/scripted_prompts.h"
#include "support/temp_dir.h"

namespace kr40 {
namespace {

using test::ScriptedPrompts;
using test::TempDir;

// The value of one key as text, for comparing two settings records key by key.
std::string KeyValue(const ScopeSettings& s, const SettingKey& k)
{
    switch (k.type) {
        case KeyType::Bool:
            return std::to_string(s.*k.boolField);
        case KeyType::GroupItem:
            return std::to_string(GroupItemOn(s, k.group, k.item));
        case KeyType::Int:
            return std::to_string(s.*k.intField);
        case KeyType::Colour:
            return std::to_string(s.Colors[k.colour]);
        case KeyType::Str:
            return s.*k.strField;
        case KeyType::Real: {
            char buf[64];
            std::snprintf(buf, sizeof buf, "%.6f", s.*k.realField);
            return buf;
        }
    }
    return {};
}

// Moves every key of the table away from its default to a valid other value.
void ChangeEveryKey(ScopeSettings& s)
{
    for (const SettingKey& k : SettingKeys()) {
        switch (k.type) {
            case KeyType::Bool:
                s.*k.boolField = !(s.*k.boolField);
                break;
            case KeyType::GroupItem: {
                const GroupInfo& g = GroupOf(k.group);
                s.Sel(k.group) = g.defaultItem == g.count - 1 ? 0 : g.count - 1;
                break;
            }
            case KeyType::Int: {
                int& v = s.*k.intField;
                if (!k.allowed.empty())
                    v = k.allowed[k.allowed.front() == v ? 1 : 0];
                else
                    v = v == k.hi ? k.lo : (v == k.hi - 1 ? k.hi : (k.hi > 1000000 ? v + 7 : k.hi));
                break;
            }
            case KeyType::Colour:
                s.Colors[k.colour] = (s.Colors[k.colour] ^ 0x123456) & 0xFFFFFF;
                break;
            case KeyType::Real:
                s.*k.realField = -12.375 + s.*k.realField * 0.5;
                break;
            case KeyType::Str:
                s.*k.strField = "/tmp/gen/script.krg";
                break;
        }
    }
    s.Tmin = 10;  // keep Tmin < Tmax so the pair rule does not interfere
    s.Tmax = 20;
    s.FFT_View_A1 = false;  // one spectrum view at a time: A2's is the one changed
}

class SettingsFileTest : public ::testing::Test {
protected:
    TempDir dir;
    ScriptedPrompts prompts;
};

TEST_F(SettingsFileTest, EveryKeySurvivesTheProgramFile)
{
    ScopeState written;
    ChangeEveryKey(written.settings);
    written.link.WaveTableLoaded = true;  // AFG_File is written only while a script is loaded
    const auto file = dir / "kr40.ini";
    ASSERT_TRUE(WriteSettings(written.settings, written, file, true));

    ScopeState read;
    ASSERT_TRUE(ReadSettings(read.settings, prompts, file, true));
    const ScopeSettings defaults;
    for (const SettingKey& k : SettingKeys()) {
        SCOPED_TRACE(std::string(SectionName(k.section)) + "/" + k.name);
        if (k.flags & NeverWritten) {
            EXPECT_EQ(KeyValue(read.settings, k), KeyValue(defaults, k));
        } else if (k.flags & KrsOnlyWrite) {
            EXPECT_EQ(KeyValue(read.settings, k), KeyValue(defaults, k));
        } else {
            EXPECT_EQ(KeyValue(read.settings, k), KeyValue(written.settings, k));
        }
    }
    EXPECT_TRUE(prompts.messages.empty());
}

TEST_F(SettingsFileTest, EveryKrsKeySurvivesAndProgramOnlyKeysAreNeverTouched)
{
    ScopeState written;
    ChangeEveryKey(written.settings);
    written.link.WaveTableLoaded = true;
    const auto file = dir / "setup.krs";
    ASSERT_TRUE(WriteSettings(written.settings, written, file, false));

    // A .krs carries no colours, calibration, language, rate, FPS, ... even if
    // someone adds them by hand.
    IniImage img;
    ASSERT_EQ(img.Load(file), IniLoadResult::Ok);
    for (const char* sec : {"Colors", "Calibrate", "Decoders"}) EXPECT_FALSE(img.HasSection(sec)) << sec;
    for (const char* key : {"Russian", "Persistence", "On_Top", "FPS_8", "Rate_2Mbps"})
        EXPECT_FALSE(img.HasKey("Common", key)) << key;
    EXPECT_FALSE(img.HasKey("Generator", "AFG_File"));
    img.WriteInt("Colors", "CH_A1", 255);
    img.WriteInt("Calibrate", "Z_A1P1", 1);
    img.WriteInt("Common", "Russian", 0);
    img.WriteInt("Common", "Rate_0_5Mbps", 1);
    img.WriteInt("Common", "FPS_8", 1);
    img.WriteInt("System", "Debug_kr", 1);
    ASSERT_TRUE(img.Save(file, nullptr));

    ScopeState read;
    ASSERT_TRUE(ReadSettings(read.settings, prompts, file, false));
    const ScopeSettings defaults;
    for (const SettingKey& k : SettingKeys()) {
        SCOPED_TRACE(std::string(SectionName(k.section)) + "/" + k.name);
        const bool inKrs = !(k.flags & (IniOnly | StartupOnly | NeverWritten));
        EXPECT_EQ(KeyValue(read.settings, k), KeyValue(inKrs ? written.settings : defaults, k));
    }
}

TEST_F(SettingsFileTest, SystemValuesAndKindMarkers)
{
    ScopeState st;
    st.link.identity.Update([](DeviceIdentity& id) {
        id.Vcc = 512;
        id.FirmVer = 213;
        id.FpgaVer = 7;
        id.SerialValid = true;
        id.SerialHigh = 0x12345678;
        id.SerialLow = 0x9ABC;
        id.TdcFresh = true;
        id.Tdc = {20, 21, 22, 23};
    });
    st.transport.TransferMode = 1;

    const auto ini = dir / "kr40.ini";
    const auto krs = dir / "a.krs";
    ASSERT_TRUE(WriteSettings(st.settings, st, ini, true));
    ASSERT_TRUE(WriteSettings(st.settings, st, krs, false));
    IniImage p, u;
    p.Load(ini);
    u.Load(krs);

    EXPECT_EQ(p.ReadInt("System", "KR40_INI_FILE"), 1);
    EXPECT_FALSE(p.HasKey("System", "KR40_KRS_FILE"));
    EXPECT_EQ(u.ReadInt("System", "KR40_KRS_FILE"), 1);
    for (IniImage* img : {&p, &u}) {
        EXPECT_EQ(img->ReadString("System", "Soft_Ver"), "~227~");
        EXPECT_EQ(img->ReadString("System", "Vcc"), "~5.12~");
    }
    EXPECT_EQ(p.ReadString("System", "Firm_Ver"), "~213~");
    EXPECT_EQ(p.ReadString("System", "FPGA_Ver"), "~7~");
    EXPECT_EQ(p.ReadString("System", "Ser_Num"), "~123456789ABC~");
    EXPECT_EQ(p.ReadString("System", "TDC_Fall_A2"), "~23~");
    EXPECT_EQ(p.ReadString("System", "Flow_Ctrl"), "~0~");
    for (const char* key : {"Ser_Num", "Firm_Ver", "FPGA_Ver", "TDC_Rise_A1", "Flow_Ctrl"})
        EXPECT_FALSE(u.HasKey("System", key)) << key;
    // Markers go to .krs files only.
    EXPECT_TRUE(u.HasKey("Common", "Marker2_y"));
    EXPECT_FALSE(p.HasKey("Common", "Marker2_y"));

    // Unknown identity writes nothing; RTS/CTS flow control is "~1~".
    ScopeState fresh;
    fresh.transport.TransferMode = 2;
    const auto ini2 = dir / "fresh.ini";
    ASSERT_TRUE(WriteSettings(fresh.settings, fresh, ini2, true));
    IniImage q;
    q.Load(ini2);
    for (const char* key : {"Vcc", "Ser_Num", "Firm_Ver", "FPGA_Ver", "TDC_Rise_A1"})
        EXPECT_FALSE(q.HasKey("System", key)) << key;
    EXPECT_EQ(q.ReadString("System", "Flow_Ctrl"), "~1~");
    EXPECT_FALSE(q.HasKey("Generator", "AFG_File"));  // no script loaded
}

TEST_F(SettingsFileTest, WritingKeepsServiceFlagsDecodersAndUnknownSections)
{
    const auto file = dir / "kr40.ini";
    TempDir::Write(file,
                   "[System]\nDebug_kr=1\nSoft_Ver=~100~\n"
                   "[Decoders]\nBaud_Rate=9600\n"
                   "[Mine]\nnote=keep me\n"
                   "[Common]\nStale=1\nCH_A1=0\n");
    ScopeState st;
    ASSERT_TRUE(WriteSettings(st.settings, st, file, true));
    IniImage img;
    img.Load(file);
    EXPECT_EQ(img.ReadInt("System", "Debug_kr"), 1);
    EXPECT_EQ(img.ReadString("System", "Soft_Ver"), "~227~");
    EXPECT_EQ(img.ReadInt("Decoders", "Baud_Rate"), 9600);
    EXPECT_EQ(img.ReadString("Mine", "note"), "keep me");
    EXPECT_FALSE(img.HasKey("Common", "Stale"));  // the program's sections are rewritten whole
    EXPECT_EQ(img.ReadInt("Common", "CH_A1"), 1);
}

TEST_F(SettingsFileTest, RealLevelsAreTwoIntegers)
{
    struct Case {
        double level;
        int whole, fine;
    } cases[] = {{150.25, 150, 250000}, {-3.75, -3, -750000}, {191.0, 191, 0}, {0.0000005, 0, 1}};
    for (const Case& c : cases) {
        ScopeState st;
        st.settings.Lev_A1 = c.level;
        const auto file = dir / "lev.krs";
        ASSERT_TRUE(WriteSettings(st.settings, st, file, false));
        IniImage img;
        img.Load(file);
        EXPECT_EQ(img.ReadInt("Trigger", "Lev_A1"), c.whole) << c.level;
        EXPECT_EQ(img.ReadInt("Trigger", "Lev_A1_fine"), c.fine) << c.level;
        ScopeState back;
        ReadSettingsImage(back.settings, img, false);
        EXPECT_NEAR(back.settings.Lev_A1, c.level, 1e-6) << c.level;
    }
    // Lev_A1_fine absent: the whole number alone.
    ScopeState st;
    ReadSettingsImage(st.settings, IniImage::FromText("[Trigger]\nLev_A1=100\n"), false);
    EXPECT_EQ(st.settings.Lev_A1, 100.0);
}

TEST_F(SettingsFileTest, GroupItemsFromFile)
{
    struct Case {
        const char* text;
        Group group;
        int expected;
    } cases[] = {
        // Setting an item selects it.
        {"[Scope]\n10mS=1\n", Group::TimeBase, 10},
        // Clearing the selected button of a button group leaves it selected.
        {"[Scope]\n1mS=0\n", Group::TimeBase, TimeBase1ms},
        {"[Trigger]\nCH_A1=0\n", Group::TrigSource, ChA1},
        // Clearing the checked radio menu item leaves none checked.
        {"[Common]\nSmpl_N_5000=0\n", Group::SmplN, -1},
        {"[Common]\nSinxx=0\n", Group::DrawMode, -1},
        // Clearing an item that is not selected changes nothing.
        {"[Common]\nSmpl_N_2000=0\n", Group::SmplN, Smpl5000},
        // A button group that may be all up.
        {"[Generator]\nPulse=1\n", Group::GenMode, GenPulseMode},
        // Any non-zero integer is true; names match without regard to case.
        {"[generator]\n50m_100uS=-4\n", Group::GenRange, Gen50M_100uS},
        // Two items set: the later one in the model's order wins.
        {"[Scope]\n20S=1\n50nS=1\n", Group::TimeBase, TimeBaseCount - 1},
    };
    for (const Case& c : cases) {
        ScopeState st;
        ReadSettingsImage(st.settings, IniImage::FromText(c.text), false);
        EXPECT_EQ(st.settings.Sel(c.group), c.expected) << c.text;
    }
    ScopeState st;
    st.settings.Sel(Group::GenMode) = GenSweepMode;
    ReadSettingsImage(st.settings, IniImage::FromText("[Generator]\nF_Sweep=0\n"), false);
    EXPECT_EQ(st.settings.Sel(Group::GenMode), -1);
}

TEST_F(SettingsFileTest, BadValuesAreClampedOrLeftAlone)
{
    const ScopeSettings d;
    ScopeState st;
    ReadSettingsImage(st.settings,
                      IniImage::FromText("garbage line\n=5\n[Trigger\n"
                                         "[Trigger]\nPre=99\nHyst=-3\nTmult=7\nMode=7\nExtra_N=abc\n"
                                         "Extra_N=5\nT_Mode=2.5\nLevels=0x0F\n"
                                         "[FFT]\nSize=42\nWin=\n"
                                         "[Generator]\nF_fast=5000\nF_slow=-1\nMF_Mult=3\n"
                                         "[Scope]\nA1_Zero=300\nbgD_Zero=9\n"
                                         "[Colors]\nCH_A1=-1\nCH_A2=16777216\nGrid=255\n"
                                         "[Decoders]\nBaud_Rate=1\n"),
                      true);
    const ScopeSettings& s = st.settings;
    EXPECT_EQ(s.Pre, 9);              // clamped
    EXPECT_EQ(s.Hyst, 0);             // clamped
    EXPECT_EQ(s.Tmult, d.Tmult);      // not a multiplier: unchanged
    EXPECT_EQ(s.Mode, d.Mode);        // not a mode: unchanged
    EXPECT_EQ(s.Extra_N, d.Extra_N);  // first of two duplicates is unreadable: unchanged
    EXPECT_EQ(s.T_Mode, d.T_Mode);    // not an integer: unchanged
    EXPECT_EQ(s.Levels, 15);
    EXPECT_EQ(s.FFT_Size, 6);         // clamped to "Auto"
    EXPECT_EQ(s.FFT_Win, d.FFT_Win);  // empty: unchanged
    EXPECT_EQ(s.F_fast, 1000);        // clamped
    EXPECT_EQ(s.F_slow, 0);           // clamped
    EXPECT_EQ(s.MF_Mult, d.MF_Mult);
    EXPECT_EQ(s.A1_Zero, 255);
    EXPECT_EQ(s.bgD_Zero, 1);
    EXPECT_EQ(s.Colors[ColorA1], d.Colors[ColorA1]);  // not a colour: unchanged
    EXPECT_EQ(s.Colors[ColorA2], d.Colors[ColorA2]);
    EXPECT_EQ(s.Colors[ColorGrid], 255u);
    EXPECT_EQ(s.Dec_Baud_Rate, 2);
    // Missing sections leave everything else at its default.
    EXPECT_EQ(s.Sel(Group::TimeBase), d.Sel(Group::TimeBase));
    EXPECT_EQ(s.CH_D1, d.CH_D1);
}

TEST_F(SettingsFileTest, TminAtOrAboveTmaxPushesTmax)
{
    ScopeState st;
    ReadSettingsImage(st.settings, IniImage::FromText("[Trigger]\nTmin=800\nTmax=400\n"), false);
    EXPECT_EQ(st.settings.Tmin, 800);
    EXPECT_EQ(st.settings.Tmax, 801);
}

TEST_F(SettingsFileTest, StartupOnlyKeysAreSkippedLater)
{
    const IniImage img = IniImage::FromText(
        "[System]\nDebug_kr=1\nUSB_VIEW=1\n[Decoders]\nType=1\n[Common]\nCH_D1=1\nRussian=0\nOn_Top=1\n"
        "[Calibrate]\nTime=5\n[Colors]\nBackground=1\n[Generator]\nAFG_File=/x.krg\n");
    ScopeState later;
    ReadSettingsImage(later.settings, img, false);
    const ScopeSettings d;
    EXPECT_EQ(later.settings.Debug_kr, d.Debug_kr);
    EXPECT_EQ(later.settings.Dec_Type, d.Dec_Type);
    EXPECT_EQ(later.settings.Russian, d.Russian);
    EXPECT_EQ(later.settings.On_Top, d.On_Top);
    EXPECT_EQ(later.settings.Time, d.Time);
    EXPECT_EQ(later.settings.Colors[ColorBackground], d.Colors[ColorBackground]);
    EXPECT_EQ(later.settings.AFG_File, d.AFG_File);

    ScopeState startup;
    ReadSettingsImage(startup.settings, img, true);
    EXPECT_TRUE(startup.settings.Debug_kr);
    EXPECT_TRUE(startup.settings.USB_VIEW);
    EXPECT_EQ(startup.settings.Dec_Type, 1);
    EXPECT_FALSE(startup.settings.Russian);
    EXPECT_TRUE(startup.settings.On_Top);
    EXPECT_EQ(startup.settings.Time, 5);
    EXPECT_EQ(startup.settings.Colors[ColorBackground], 1u);
    EXPECT_EQ(startup.settings.AFG_File, "/x.krg");
}

TEST_F(SettingsFileTest, RefusedFilesChangeNothingAndSayWhy)
{
    struct Case {
        const char* text;
        bool russian;
        const char* message;
        const char* caption;
    } cases[] = {
        {"[Common]\nExtTrig=1\nCH_A1=0\n", false, "\nUse software version 1.xx to open.", "Open Settings"},
        {"[Common]\nCH_A1=0\n", false, "\nInvalid file format.", "Open Settings"},
        {"[Scope]\n10mS=1\n", true, "\nНеверный формат файла.", "Открытие файла настроек"},
        {"[Common]\nExtTrig=1\n", true, "\nДля открытия используйте программу версии 1.xx.", "Открытие файла настроек"},
    };
    for (const Case& c : cases) {
        ScopeState st;
        st.settings.Russian = c.russian;
        const auto file = dir / "bad.krs";
        TempDir::Write(file, c.text);
        ScriptedPrompts p;
        EXPECT_FALSE(ReadSettings(st.settings, p, file, false));
        ASSERT_EQ(p.messages.size(), 1u);
        EXPECT_EQ(p.messages[0].text, c.message);
        EXPECT_EQ(p.messages[0].caption, c.caption);
        EXPECT_EQ(p.messages[0].icon, PromptIcon::Error);
        EXPECT_TRUE(st.settings.CH_A1);
        EXPECT_EQ(st.settings.Sel(Group::TimeBase), TimeBase1ms);
    }
}

TEST_F(SettingsFileTest, StartupWithoutAFileKeepsTheDefaults)
{
    ScopeState st;
    EXPECT_FALSE(ReadSettings(st.settings, prompts, dir / "absent.ini", true));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(st.settings.A1_Zero, 191);
}

TEST_F(SettingsFileTest, SaveSettingsFlow)
{
    ScopeState st;
    st.settings.Russian = false;
    st.LiveName = "/data/run7.krd";
    st.LastFolder = "/data";
    const auto file = dir / "out.krs";
    TempDir::Write(file, "[Old]\nleft=over\n");  // saving over a file replaces its whole content
    prompts.files.push_back(file.string());
    st.BusyEvent.Reset();
    bool busyInside = false;
    prompts.onPrompt = [&] { busyInside = st.BusyEvent.IsSet(); };

    Menu_Save_Settings_AsClick(st, prompts);

    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    const FileDialogRequest& r = prompts.fileRequests[0];
    EXPECT_EQ(r.title, "Save Settings");
    EXPECT_EQ(r.folder, "/data");
    EXPECT_EQ(r.defaultExt, "krs");
    EXPECT_EQ(r.filter, "KR40 Settings File (*.krs)|*.krs");
    EXPECT_EQ(r.proposedName, "run7.krs");
    EXPECT_TRUE(busyInside);
    EXPECT_FALSE(st.BusyEvent.IsSet());
    EXPECT_EQ(st.LastFolder, dir.path().string());
    EXPECT_TRUE(prompts.messages.empty());
    IniImage img;
    img.Load(file);
    EXPECT_FALSE(img.HasSection("Old"));
    EXPECT_EQ(img.ReadInt("System", "KR40_KRS_FILE"), 1);
    EXPECT_TRUE(img.HasKey("Common", "CH_D1"));
}

TEST_F(SettingsFileTest, SaveSettingsFailureAndCancel)
{
    ScopeState st;
    st.settings.Russian = true;
    const std::string file = (dir / "no_such_folder" / "x.krs").string();
    prompts.files.push_back(file);
    Menu_Save_Settings_AsClick(st, prompts);
    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].title, "Сохранение файла настроек");
    EXPECT_EQ(prompts.fileRequests[0].filter, "Файл настроек KR40 (*.krs)|*.krs");
    EXPECT_EQ(prompts.fileRequests[0].proposedName, "*.krs");
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Сохранение файла настроек");
    EXPECT_EQ(prompts.messages[0].text, file + "\nНет доступа к файлу.");
    EXPECT_EQ(prompts.messages[0].icon, PromptIcon::Error);

    Menu_Save_Settings_AsClick(st, prompts);  // cancelled: nothing happens
    EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST_F(SettingsFileTest, OpenSettingsFlow)
{
    ScopeState src;
    src.settings.Sel(Group::TimeBase) = 3;
    src.settings.Colors[ColorA1] = 0x123456;
    const auto file = dir / "in.krs";
    ASSERT_TRUE(WriteSettings(src.settings, src, file, false));

    ScopeState st;
    st.settings.Russian = false;
    st.settings.Colors[ColorA1] = 0x000001;
    prompts.files.push_back(file.string());
    Menu_Open_SettingsClick(st, prompts);

    ASSERT_EQ(prompts.fileRequests.size(), 1u);
    EXPECT_EQ(prompts.fileRequests[0].title, "Open Settings");
    EXPECT_EQ(prompts.fileRequests[0].filter, "KR40 Settings File (*.krs)|*.krs|All Files (*.*)|*.*");
    EXPECT_EQ(prompts.fileRequests[0].proposedName, "");
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(st.settings.Sel(Group::TimeBase), 3);
    EXPECT_EQ(st.settings.Colors[ColorA1], 0x000001u);  // colours never come from a .krs
    EXPECT_TRUE(st.SettingsLoaded);
    EXPECT_TRUE(st.requests.TrigChanged);
    EXPECT_TRUE(st.requests.SettingsRequest);
    EXPECT_EQ(st.acq.Time_Div_ns, TimeBases[3].ns);
    EXPECT_EQ(st.SpectrumRestart, (std::array<bool, 4>{true, true, true, true}));
    EXPECT_FALSE(st.BusyEvent.IsSet());

    // A file that is not there.
    ScopeState other;
    other.settings.Russian = false;
    const std::string missing = (dir / "gone.krs").string();
    prompts.files.push_back(missing);
    Menu_Open_SettingsClick(other, prompts);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].caption, "Open Settings");
    EXPECT_EQ(prompts.messages[0].text, missing + "\nFile not found.");
    EXPECT_FALSE(other.SettingsLoaded);
    EXPECT_FALSE(other.requests.SettingsRequest);
}

TEST(ProgramFilePathTest, BesideTheExecutableOrInTheConfigFolder)
{
    TempDir dir;
    EXPECT_EQ(ProgramFilePath(dir / "kr40"), dir / "kr40.ini");
    EXPECT_EQ(ProgramFilePath(dir / "kr40", "krg.lst"), dir / "krg.lst");

    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", (dir / "cfg").c_str(), 1);
    const auto unwritable = dir / "missing_folder" / "kr40";
    EXPECT_EQ(ProgramFilePath(unwritable), dir / "cfg" / "kr40" / "kr40.ini");
    EXPECT_EQ(ProgramFilePath(unwritable, "krg.lst"), dir / "cfg" / "kr40" / "krg.lst");
    // Installed (PREFIX/share/kr40 beside PREFIX/bin): the user's folder even
    // when the program's folder is writable, as it is to root.
    std::filesystem::create_directories(dir / "usr" / "bin");
    std::filesystem::create_directories(dir / "usr" / "share" / "kr40");
    EXPECT_EQ(ProgramFilePath(dir / "usr" / "bin" / "kr40"), dir / "cfg" / "kr40" / "kr40.ini");
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");

    // The config folder does not exist yet: writing creates it.
    ScopeState st;
    EXPECT_TRUE(WriteSettings(st.settings, st, dir / "cfg" / "kr40" / "kr40.ini", true));
}

}  // namespace
}  // namespace kr40
