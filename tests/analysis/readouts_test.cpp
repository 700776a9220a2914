#include "analysis/readouts.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "acquisition/frame.h"
#include "core/rounding.h"
#include "state/scope_state.h"
#include "support/label_scene.h"

namespace kr40 {
namespace {

using namespace test;  // the label scene

// The label scene (support/label_scene.h).
class LabelFixture : public ::testing::Test {
protected:
    ScopeState st;
    FrameSet live, ref;
    ScreenState d;
    DisplayInputs in{st.settings, st.acq, st, live, ref, false};

    // Also called again by table tests to start each case afresh.
    void SetUp() override
    {
        SetUpLabelScene(st, live, ref);
        in.refExists = false;
        d = ScreenState();
        d.g = ComputeGeometry(kSceneWidth, kSceneHeight);
    }
};

// ---- Labels of rows Y0 and Y1 ------------------------------------------------

using LabelTest = LabelFixture;

const LabelText* Find(const std::vector<LabelText>& labels, int row, int column)
{
    for (const LabelText& l : labels)
        if (l.row == row && l.column == column) return &l;
    return nullptr;
}

TEST_F(LabelTest, TimeViewTexts)
{
    // The fixture: A1 200 mV/div, 1 ms/div, Divider 10, PreLen 500,
    // ValidLen 3333, trigger on A1 at level 128 = its zero, Extra Info on,
    // frequency meter off.
    struct Case {
        const char* name;
        std::function<void(ScopeSettings&, AcqConfig&, FrameRecord&)> setup;
        int row, column;
        const char* text;          // nullptr: the cell stays empty
        std::uint32_t colour = 0;  // checked when not 0
    };
    const Case cases[] = {
        {"A1 volts", [](auto&, auto&, auto&) {}, 0, Col0, "200 mV", kA1},
        {"A2 off", [](auto&, auto&, auto&) {}, 0, Col1_8, nullptr},
        {"A2 volts", [](auto& s, auto& a, auto&) { s.CH_A2 = true, a.uV_Div_A2 = 5'000'000; }, 0, Col1_8, "5 V", kA2},
        {"time per div", [](auto&, auto&, auto&) {}, 0, Col2_8, "1 mS", kGridFrame},
        {"time per div, pair frame", [](auto&, auto&, auto& r) { r.PairFlag = 1; }, 0, Col2_8, "1 mS    p.d."},
        {"left edge", [](auto&, auto&, auto&) {}, 1, Col0, "-50.000 uS", kGridFrame},
        {"left edge scrolled", [](auto& s, auto&, auto&) { s.X_Pos = 1500; }, 1, Col0, "100.00 uS"},
        {"sweep at the start",
         [](auto& s, auto&, auto& r) { s.Sel(Group::GenMode) = GenSweepMode, r.F_Span = 10000, r.F_Val = 10000; }, 1,
         Col0, "1.0000 KHz"},
        // rate = (1000 Hz / 4500) / 100 ns; t = 50 us: 1000 Hz + 111.11 Hz.
        {"sweep scrolled",
         [](auto& s, auto&, auto& r) {
             s.Sel(Group::GenMode) = GenSweepMode, r.F_Span = 10000, r.F_Val = 10000, s.X_Pos = 1000;
         },
         1, Col0, "1.1111 KHz"},
        {"sweep without span", [](auto& s, auto&, auto& r) { s.Sel(Group::GenMode) = GenSweepMode, r.F_Val = 10000; },
         1, Col0, "..."},
        {"sweep without post-trigger part",
         [](auto& s, auto&, auto& r) { s.Sel(Group::GenMode) = GenSweepMode, r.F_Span = 10000, r.PreLen = 5000; }, 1,
         Col0, "..."},
        {"sampling rate", [](auto&, auto&, auto&) {}, 1, Col2_8, "Fsmpl = 10.0 MHz", kExtraInfo},
        {"sampling rate unknown", [](auto&, auto&, auto& r) { r.Divider = 0; }, 1, Col2_8, "Fsmpl = ..."},
        {"frame length in divisions", [](auto&, auto&, auto&) {}, 1, Col4_8, "Div = 0.33", kExtraInfo},
        {"samples", [](auto&, auto&, auto&) {}, 1, Col6_8, "Smpl = 3333", kExtraInfo},
        {"samples, peak detect", [](auto&, auto&, auto& r) { r.PairFlag = 1; }, 1, Col6_8, "Smpl = 3333 p.d."},
        {"trigger A1", [](auto& s, auto&, auto&) { s.Lev_A1 = 159.6; }, 0, Col4_8, "Trig. A1  200.0 mV", kA1},
        {"trigger A1 with T+", [](auto& s, auto&, auto&) { s.Lev_A1 = 159.6, s.TPLUS = true; }, 0, Col4_8,
         "Trig. A1  200.0 mV     T+"},
        {"trigger A1 level clamped", [](auto& s, auto& a, auto&) { s.Lev_A1 = 300, a.uV_Div_A1 = 100'000; }, 0, Col4_8,
         "Trig. A1  396.9 mV"},
        {"trigger A2",
         [](auto& s, auto& a, auto&) {
             s.Sel(Group::TrigSource) = ChA2, s.Lev_A2 = 100, s.A2_Zero = 132, a.uV_Div_A2 = 1'000'000;
         },
         0, Col4_8, "Trig. A2  -1.000 V", kA2},
        {"trigger D1", [](auto& s, auto&, auto&) { s.Sel(Group::TrigSource) = ChD1; }, 0, Col4_8, "Trig. D1  dig.",
         kD1},
        {"trigger D2 with T+", [](auto& s, auto&, auto&) { s.Sel(Group::TrigSource) = ChD2, s.TPLUS = true; }, 0,
         Col4_8, "Trig. D2  dig.     T+", kD2},
        {"trigger off", [](auto&, auto& a, auto&) { a.Mode_Flags = 0; }, 0, Col4_8, nullptr},
        // Extra information: all three with the meter off; Fsmpl and Div
        // while it counts frequency; none in period mode or with Extra Info off.
        {"meter counting: Fsmpl", [](auto& s, auto&, auto&) { s.Sel(Group::FmMode) = FmFreq; }, 1, Col2_8,
         "Fsmpl = 10.0 MHz"},
        {"meter counting: Div", [](auto& s, auto&, auto&) { s.Sel(Group::FmMode) = FmFreq; }, 1, Col4_8, "Div = 0.33"},
        {"meter counting: no Smpl", [](auto& s, auto&, auto&) { s.Sel(Group::FmMode) = FmFreq; }, 1, Col6_8, nullptr},
        {"meter in period mode: no Fsmpl", [](auto& s, auto&, auto&) { s.Sel(Group::FmMode) = FmPeriod; }, 1, Col2_8,
         nullptr},
        {"meter in period mode: no Div", [](auto& s, auto&, auto&) { s.Sel(Group::FmMode) = FmPeriod; }, 1, Col4_8,
         nullptr},
        {"extra info off", [](auto& s, auto&, auto&) { s.Extra_Info = false; }, 1, Col2_8, nullptr},
        {"extra info off: no Smpl", [](auto& s, auto&, auto&) { s.Extra_Info = false; }, 1, Col6_8, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        st.settings.Extra_Info = true;
        c.setup(st.settings, st.acq, live.rec);
        const std::vector<LabelText> labels = TimeLabels(in, d);
        const LabelText* l = Find(labels, c.row, c.column);
        if (!c.text) {
            EXPECT_EQ(l, nullptr) << l->text;
            continue;
        }
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->text, c.text);
        if (c.colour) {
            EXPECT_EQ(l->colour, c.colour);
        }
    }
}

TEST_F(LabelTest, SpectrumViewKeepsOnlyTheExtraInformation)
{
    st.settings.Extra_Info = true;
    d.spectrumShown = true;
    const std::vector<LabelText> labels = TimeLabels(in, d);
    for (const LabelText& l : labels) {
        EXPECT_EQ(l.row, 1) << l.text;
        EXPECT_NE(l.column, Col0) << l.text;
    }
    EXPECT_EQ(labels.size(), 3u);
}

TEST_F(LabelTest, LinkStatistics)
{
    ScopeSettings& s = st.settings;
    LinkCounters& c = st.link.counters;
    c.lastSecond[StatDisplayedFrames] = 20;
    c.lastSecond[StatMainPackets] = 25;
    c.lastSecond[StatServicePackets] = 8;
    c.lastSecond[StatChecksumFailures] = 1;
    c.lastSecond[StatDriverBytes] = 200000;
    c.lastSecond[StatLeakageBytes] = 3;
    c.lastSecond[StatPeakQueue] = 4096;
    c.configFailures = 2;
    c.redraws = 77;
    st.transport.TransferMode = 2;
    st.link.identity.Update([](DeviceIdentity& id) { id.Vcc = 507; });
    live.rec.PairFlag = 1;

    // Hidden without Extra Info or without a service flag.
    s.Debug_kr = true;
    EXPECT_TRUE(LinkStatisticsTexts(in, d).empty());
    s.Extra_Info = true;
    s.Debug_kr = false;
    EXPECT_TRUE(LinkStatisticsTexts(in, d).empty());

    s.No_Excuse = true;
    std::vector<PlacedText> t = LinkStatisticsTexts(in, d);
    ASSERT_EQ(t.size(), 4u);
    const std::pair<int, const char*> firstLine[] = {
        {34, "480 x 288"}, {151, "Vcc = 5.07 V"}, {271, "Smpl = 6666 p.d."}, {391, "FPS / L / E  = 20 / 5 / 1"}};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(t[i].x, firstLine[i].first);
        EXPECT_EQ(t[i].y, 28);
        EXPECT_EQ(t[i].text, firstLine[i].second);
    }

    st.link.identity.Update([](DeviceIdentity& id) { id.Vcc = -1; });
    s.USB_VIEW = true;
    t = LinkStatisticsTexts(in, d);
    ASSERT_EQ(t.size(), 13u);
    EXPECT_EQ(t[1].text, "Vcc = ...");
    const char* lines[] = {
        " Отображенных осциллограм в сек = 20  Отброшенных = 5",
        " Принятых основных пакетов в сек = 25",
        " Принятых служебных пакетов в сек = 8",
        " Сбоев CRC пакетов (о и с) в сек = 1",
        " Забранных данных у драйвера в сек = 200000 Bytes",
        " Утечка данных вне пакетов в сек = 3 Bytes",
        " Пиковая загрузка буфера драйвера  = 4096 Bytes",
        " Сбоев конфигурации устройства  = 2",
        " Установленных микросхем ADUM = 2",
        " Фактических перерисовок экрана = 77",
    };
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(t[3 + i].text, lines[i]);
        EXPECT_EQ(t[3 + i].x, 34);
        EXPECT_EQ(t[3 + i].y, 27 + 30 + 15 * i);
    }
}

TEST_F(LabelTest, TriggerConditionTexts)
{
    struct Case {
        int kind;
        std::uint32_t ticks;
        const char* text;
    } cases[] = {
        {1, 150, "PUL 1.50 uS"},        {2, 42, "PER 420 nS"}, {3, 0xFFFFFFFF, "RUNT ..."},
        {4, 100000, "SLEW 1.00000 mS"}, {0, 150, ""},          {5, 150, ""},
    };
    for (const Case& c : cases) EXPECT_EQ(TriggerConditionText(c.kind, c.ticks, false), c.text) << c.kind;
}

// ---- The trigger-condition flag ----------------------------------------------

using TriggerFlagTest = LabelFixture;

TEST_F(TriggerFlagTest, WhereAndWhetherTheFlagStands)
{
    // A runt trigger on A1 at code 128 (its zero), 100 samples per division,
    // the trigger sample one division into the grid: x 31 + 48.
    struct Case {
        const char* name;
        std::function<void(ScopeSettings&, AcqConfig&, FrameRecord&, ScreenState&)> setup;
        std::optional<TriggerFlag> flag;
    };
    const auto none = std::optional<TriggerFlag>();
    const Case cases[] = {
        {"runt on A1", [](auto&, auto&, auto&, auto&) {}, TriggerFlag{79, 128, "RUNT 2.50 uS", kA1}},
        {"scrolled half a division", [](auto& s, auto&, auto&, auto&) { s.X_Pos = 50; },
         TriggerFlag{55, 128, "RUNT 2.50 uS", kA1}},
        // The frame was taken at 1 V/div; now 200 mV/div: 2 steps become 10.
        {"A2 rescaled to the current volts per division",
         [](auto& s, auto&, auto& r, auto&) {
             s.CH_A2 = true, r.TrigSource = 2, r.TrigLevelCode = 130, r.uV_Div_A2 = 1'000'000;
         },
         TriggerFlag{79, 138, "RUNT 2.50 uS", kA2}},
        {"dimmed while a spectrum is computed",
         [](auto&, auto&, auto&, auto& d) {
             d.fftStatus = {0, 1};
         },
         TriggerFlag{79, 128, "RUNT 2.50 uS", BlendColor(kA1, kBackground, 2)}},
        {"pulse with a time condition",
         [](auto& s, auto&, auto& r, auto&) { s.Mode = 1, s.T_Mode = 1, r.AdvTrigKind = 1; },
         TriggerFlag{79, 128, "PUL 2.50 uS", kA1}},
        {"pulse without a time condition",
         [](auto& s, auto&, auto& r, auto&) { s.Mode = 1, s.T_Mode = 0, r.AdvTrigKind = 1; }, none},
        {"Trig_T off", [](auto& s, auto&, auto&, auto&) { s.Trig_T = false; }, none},
        {"T+ off", [](auto& s, auto&, auto&, auto&) { s.TPLUS = false; }, none},
        {"spectrum view", [](auto&, auto&, auto&, auto& d) { d.spectrumShown = true; }, none},
        {"trigger channel off", [](auto& s, auto&, auto&, auto&) { s.CH_A1 = false; }, none},
        {"no time base", [](auto&, auto& a, auto&, auto&) { a.Time_Div_ns = 0; }, none},
        {"no event time", [](auto&, auto&, auto& r, auto&) { r.TrigTimeLimit = 0; }, none},
        {"not triggered", [](auto&, auto&, auto& r, auto&) { r.TrigSource = 0; }, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        ScopeSettings& s = st.settings;
        s.Trig_T = s.TPLUS = true;
        s.Mode = 3;
        s.T_Mode = 0;
        st.acq.Time_Div_ns = 1000;
        FrameRecord& r = live.rec;
        r.Divider = 1;
        r.PreLen = 100;
        r.TrigSource = 1;
        r.TrigLevelCode = 128;
        r.AdvTrigKind = 3;
        r.TrigTimeLimit = 250;
        c.setup(s, st.acq, r, d);
        const std::optional<TriggerFlag> f = LiveTriggerFlag(in, d);
        ASSERT_EQ(f.has_value(), c.flag.has_value());
        if (!f) continue;
        EXPECT_EQ(f->x, c.flag->x);
        EXPECT_EQ(f->level, c.flag->level);
        EXPECT_EQ(f->text, c.flag->text);
        EXPECT_EQ(f->colour, c.flag->colour);
    }
}

// ---- Marker read-outs and measurements ---------------------------------------

// 540 x 400 paint box, default colours, a single marker, A1 and A2 on.
class MarkerFixture : public ::testing::Test {
protected:
    MarkerFixture()
    {
        d.g = ComputeGeometry(540, 400);
        s().Markers_1 = true;
        s().Markers_2 = false;
        s().CH_A1 = s().CH_A2 = true;
    }

    ScopeSettings& s() { return st.settings; }

    std::vector<LabelText> Readouts()
    {
        const DisplayInputs in{st.settings, st.acq, st, live, ref, false};
        return MarkerReadouts(in, d);
    }
    std::vector<LabelText> Measure()
    {
        const DisplayInputs in{st.settings, st.acq, st, live, ref, false};
        return Measurements(in, d);
    }

    ScopeState st;
    ScreenState d;
    FrameSet live, ref;
};

// Text at (row, column), or "<none>"; several texts there are joined with '|'.
std::string TextAt(const std::vector<LabelText>& items, int row, int column)
{
    std::string out;
    for (const LabelText& t : items) {
        if (t.row != row || t.column != column) continue;
        if (!out.empty()) out += '|';
        out += t.text;
    }
    return out.empty() ? "<none>" : out;
}

// ---- Read-outs ---------------------------------------------------------------

class ReadoutTest : public MarkerFixture {
protected:
    ReadoutTest()
    {
        st.acq.Time_Div_ns = 1000;  // 20 ns per marker unit
        live.rec.Divider = 1;
        live.rec.FrameLen = 1000;
        live.rec.PreLen = 0;
        s().X_Pos = 0;
        s().Sel(Group::GenMode) = -1;
        s().FFT_View_A1 = s().FFT_View_A2 = false;
    }
};

TEST_F(ReadoutTest, SingleMarkerTime)
{
    struct Case {
        std::uint64_t timeDiv;
        int preLen, markerX;
        const char* t;
        const char* f;
    } cases[] = {
        {1000, 0, 50, "T = 1.0000 uS", "1/T = 1.0000 MHz"},
        {1000, 100, 45, "T = -100.00 nS", "1/T = 10.000 MHz"},  // left edge at -1000 ns
        {1000, 100, 50, "T = 0.0000 nS", "1/T = ..."},
        {45, 0, 1, "T = 0.9000 nS", "1/T = ..."},  // within 0.9 ns of the trigger
        {50, 0, 1, "T = 1.0000 nS", "1/T = 1.0000 GHz"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.t);
        st.acq.Time_Div_ns = c.timeDiv;
        live.rec.PreLen = c.preLen;
        s().Marker_x = c.markerX;
        const auto r = Readouts();
        EXPECT_EQ(TextAt(r, 2, Col0), c.t);
        EXPECT_EQ(TextAt(r, 2, Col6_8), c.f);
        for (const LabelText& t : r) {
            if (t.row == 2) {
                EXPECT_EQ(t.colour, s().Colors[ColorMarkers]);
            }
        }
    }
}

TEST_F(ReadoutTest, MarkerPairTimesSorted)
{
    s().Markers_1 = false;
    s().Markers_2 = true;
    s().Marker1_x = 100;  // 2 us
    s().Marker2_x = 50;   // 1 us
    auto r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col0), "T1 = 1.0000 uS");
    EXPECT_EQ(TextAt(r, 2, Col2_8), "T2 = 2.0000 uS");
    EXPECT_EQ(TextAt(r, 2, Col4_8), "dT = 1.000 uS");
    EXPECT_EQ(TextAt(r, 2, Col6_8), "1/dT = 1.000 MHz");

    s().Marker1_x = 50;
    r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col4_8), "dT = 0.000 nS");
    EXPECT_EQ(TextAt(r, 2, Col6_8), "1/dT = ...");
}

TEST(ReadoutSweepRateTest, RateAndUnknownCases)
{
    struct Case {
        int frameLen, preLen, divider;
        std::uint32_t span;
        double rate;  // NaN: unknown
    } cases[] = {
        {1000, 0, 1, 10000, 0.1},     // 1000 Hz over 1000 positions of 10 ns
        {1000, 500, 4, 10000, 0.05},  // only the post-trigger part sweeps
        {1000, 1000, 1, 10000, NAN}, {1000, 0, 1, 0, NAN}, {1000, 0, 0, 10000, NAN},
    };
    for (const Case& c : cases) {
        FrameRecord rec{};
        rec.FrameLen = c.frameLen;
        rec.PreLen = c.preLen;
        rec.Divider = c.divider;
        rec.F_Span = c.span;
        rec.F_Val = 10000;
        if (std::isnan(c.rate)) {
            EXPECT_TRUE(std::isnan(SweepRate(rec))) << c.frameLen << " " << c.preLen;
            EXPECT_TRUE(std::isnan(SweepFrequency(rec, 0)));
        } else {
            EXPECT_DOUBLE_EQ(SweepRate(rec), c.rate);
            EXPECT_DOUBLE_EQ(SweepFrequency(rec, -5), 1000.0);
            EXPECT_DOUBLE_EQ(SweepFrequency(rec, 100), 1000.0 + 100 * c.rate);
        }
    }
}

TEST_F(ReadoutTest, SweepShowsFrequencies)
{
    s().Sel(Group::GenMode) = GenSweepMode;
    live.rec.F_Span = 10000;  // 1 kHz from 1 kHz over 1000 positions: 0.1 Hz per ns
    live.rec.F_Val = 10000;

    s().Marker_x = 50;  // 1000 ns
    auto r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col0), "F = 1.1000 KHz");
    EXPECT_EQ(TextAt(r, 2, Col6_8), "<none>");

    live.rec.PreLen = 500;  // marker before the trigger: the start frequency
    EXPECT_EQ(TextAt(Readouts(), 2, Col0), "F = 1.0000 KHz");
    live.rec.PreLen = 0;

    s().Markers_1 = false;
    s().Markers_2 = true;
    s().Marker1_x = 50;
    s().Marker2_x = 0;
    r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col0), "F1 = 1.0000 KHz");
    EXPECT_EQ(TextAt(r, 2, Col2_8), "F2 = 1.1000 KHz");
    EXPECT_EQ(TextAt(r, 2, Col4_8), "dF = 100.0 Hz");
    EXPECT_EQ(TextAt(r, 2, Col6_8), "<none>");

    // Unknown rate: every item shows its "..." form.
    live.rec.F_Span = 0;
    r = Readouts();
    EXPECT_EQ(TextAt(r, 2, Col0), "F1 = ...");
    EXPECT_EQ(TextAt(r, 2, Col2_8), "F2 = ...");
    EXPECT_EQ(TextAt(r, 2, Col4_8), "dF = ...");
    s().Markers_1 = true;
    s().Markers_2 = false;
    EXPECT_EQ(TextAt(Readouts(), 2, Col0), "F = ...");
}

TEST_F(ReadoutTest, MarkerVoltages)
{
    st.acq.uV_Div_A1 = 1000000;  // 1 V/div, 31.25 mV per step
    st.acq.uV_Div_A2 = 10000;    // 10 mV/div
    s().A1_Zero = 127;
    s().A2_Zero = 100;
    s().Marker_y = 64;  // level 191
    auto r = Readouts();
    // The value in the Markers colour, then the caption in the channel colour.
    ASSERT_EQ(TextAt(r, 3, Col6_8), "V = 2.000 V|V =");
    EXPECT_EQ(TextAt(r, 4, Col6_8), "V = 28.44 mV|V =");
    std::vector<std::uint32_t> colours;
    for (const LabelText& t : r)
        if (t.row >= 3) colours.push_back(t.colour);
    EXPECT_EQ(colours, (std::vector<std::uint32_t>{s().Colors[ColorMarkers], s().Colors[ColorA1],
                                                   s().Colors[ColorMarkers], s().Colors[ColorA2]}));

    s().Markers_1 = false;
    s().Markers_2 = true;
    s().Marker1_y = 40;
    s().Marker2_y = 8;
    r = Readouts();
    EXPECT_EQ(TextAt(r, 3, Col6_8), "dV = 1.000 V|dV =");
    EXPECT_EQ(TextAt(r, 4, Col6_8), "dV = 10.00 mV|dV =");
}

TEST_F(ReadoutTest, VoltageItemsLeftOutForSpectraAndOffChannels)
{
    st.acq.uV_Div_A1 = st.acq.uV_Div_A2 = 1000000;
    struct Case {
        const char* name;
        bool a2On, fftViewA1;
        std::array<int, 2> status;
        bool a1, a2;
    } cases[] = {
        {"both shown", true, false, {0, 0}, true, true},
        {"A2 off", false, false, {0, 0}, true, false},
        {"A1 spectrum shown", true, true, {1, 0}, false, false},
        {"A1 spectrum shown but not computed", true, true, {2, 0}, false, true},
        {"A2 spectrum computed", true, false, {0, 1}, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s().CH_A2 = c.a2On;
        s().FFT_View_A1 = c.fftViewA1;
        d.fftStatus = c.status;
        const auto r = Readouts();
        EXPECT_EQ(TextAt(r, 3, Col6_8) != "<none>", c.a1);
        EXPECT_EQ(TextAt(r, 4, Col6_8) != "<none>", c.a2);
    }

    // The spectrum view owns row Y2; without a marker mode nothing is shown.
    d.fftStatus = {0, 0};
    d.spectrumShown = true;
    EXPECT_EQ(TextAt(Readouts(), 2, Col0), "<none>");
    d.spectrumShown = false;
    s().Markers_1 = s().Markers_2 = false;
    EXPECT_TRUE(Readouts().empty());
}

// ---- Measurements ------------------------------------------------------------

class MeasureTest : public MarkerFixture {
protected:
    MeasureTest()
    {
        s().Measure = true;
        acq.uV_Div_A1 = 1000000;  // 31250 uV per step
        acq.uV_Div_A2 = 1000000;
        ctx.acq = &acq;
        ctx.A1_Zero = 120;
        ctx.A2_Zero = 128;
    }

    // Decodes a normal frame (pair = false) or a peak-detect frame of n
    // payload samples with the given analog channels.
    void Decode(unsigned mask, int n, bool pair, int (*a1)(int), int (*a2)(int), std::uint8_t state = 0,
                unsigned eventCount = 0)
    {
        acq.Smpl_N = n;
        std::array<std::uint8_t, 128> status{};
        status[0x00] = state;
        status[0x01] = pair ? 0x01 : 0x00;
        status[0x1C] = static_cast<std::uint8_t>(mask);
        status[0x0A] = static_cast<std::uint8_t>(n);
        status[0x0B] = static_cast<std::uint8_t>(n >> 8);
        status[0x10] = static_cast<std::uint8_t>(eventCount);
        status[0x11] = static_cast<std::uint8_t>(eventCount >> 8);
        std::vector<std::uint8_t> payload;
        for (int i = 0; i < n; ++i) {
            if (mask & 1u) payload.push_back(static_cast<std::uint8_t>(a1(i)));
            if (mask & 2u) payload.push_back(static_cast<std::uint8_t>(a2(i)));
        }
        RecorderStream rec;
        ASSERT_EQ(DecodeFrame(static_cast<std::uint8_t>(0x80 | mask), payload,
                              std::span<const std::uint8_t, 128>(status), ctx, live, rec),
                  DecodeResult::Ok);
    }

    AcqConfig acq;
    DecodeContext ctx;
};

// Square wave between codes 100 and 160: 20 steps below and 40 above the zero 120.
int Square(int i)
{
    return (i / 10) % 2 ? 160 : 100;
}
int Flat(int)
{
    return 128;
}
int Clipped(int i)
{
    return i == 7 ? 254 : 128;
}

TEST_F(MeasureTest, SquareWaveInNormalAndPeakDetectFrames)
{
    // Vpp 60 steps; mean 10 steps above the zero; RMS about the zero sqrt(1000) steps.
    Decode(0x03, 200, false, Square, Flat);
    auto r = Measure();
    EXPECT_EQ(TextAt(r, 3, Col0), "Vpp = 1.875 V");
    EXPECT_EQ(TextAt(r, 3, Col2_8), "Vdc = 312.5 mV");
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = 988.2 mV");
    EXPECT_EQ(TextAt(r, 4, Col0), "Vpp = 0.000 mV");
    EXPECT_EQ(TextAt(r, 4, Col2_8), "Vdc = 0.000 mV");
    EXPECT_EQ(TextAt(r, 4, Col4_8), "Vrms = 0.000 mV");
    for (const LabelText& t : r) EXPECT_EQ(t.colour, s().Colors[t.row == 3 ? ColorA1 : ColorA2]);

    // Peak detect: every position holds the pair (100, 160); the same values
    // come out of the averaged sums, over half as many positions.
    Decode(
        0x01, 200, true, [](int i) { return i % 2 ? 160 : 100; }, Flat);
    ASSERT_EQ(live.rec.ValidLen, 100);
    r = Measure();
    EXPECT_EQ(TextAt(r, 3, Col0), "Vpp = 1.875 V");
    EXPECT_EQ(TextAt(r, 3, Col2_8), "Vdc = 312.5 mV");
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = 988.2 mV");
}

TEST_F(MeasureTest, ClippedOrEmptyFrameShowsDots)
{
    Decode(0x03, 200, false, Square, Clipped);
    auto r = Measure();
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = 988.2 mV");
    EXPECT_EQ(TextAt(r, 4, Col0), "Vpp = ...");
    EXPECT_EQ(TextAt(r, 4, Col2_8), "Vdc = ...");
    EXPECT_EQ(TextAt(r, 4, Col4_8), "Vrms = ...");

    live.rec = FrameRecord{};  // no frame yet
    live.rec.TrigSourceCode = 1;
    r = Measure();
    EXPECT_EQ(TextAt(r, 3, Col0), "Vpp = ...");
    EXPECT_EQ(TextAt(r, 3, Col2_8), "Vdc = ...");
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = ...");
}

TEST_F(MeasureTest, VideoLineFrame)
{
    struct Case {
        const char* name;
        std::uint8_t state;  // instrument state byte: bits 3 and 4
        unsigned line;
        const char* a1;
    } cases[] = {
        {"PAL/SECAM", 0x10, 300, "PAL/SECAM N = 300"},       {"unknown standard", 0x08, 300, "N = 300"},
        {"PAL/SECAM, no line", 0x10, 0, "PAL/SECAM "},       {"unknown standard, no line", 0x08, 0, "<none>"},
        {"not a video frame", 0x00, 300, "Vrms = 988.2 mV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Decode(0x03, 200, false, Square, Flat, c.state, c.line);
        const auto r = Measure();
        EXPECT_EQ(TextAt(r, 3, Col4_8), c.a1);
        EXPECT_EQ(TextAt(r, 3, Col0), "Vpp = 1.875 V");
        // The frame was triggered by A1: A2 keeps its RMS.
        EXPECT_EQ(TextAt(r, 4, Col4_8), "Vrms = 0.000 mV");
    }

    // NTSC on an A2-triggered frame.
    Decode(0x03, 200, false, Square, Flat);
    live.rec.TrigSourceCode = 2;
    live.rec.TrigState = 3;
    live.rec.EventCount = 17;
    const auto r = Measure();
    EXPECT_EQ(TextAt(r, 4, Col4_8), "NTSC N = 17");
    EXPECT_EQ(TextAt(r, 3, Col4_8), "Vrms = 988.2 mV");
}

TEST_F(MeasureTest, RowsShownOnlyForChannelsWithoutSpectrum)
{
    Decode(0x03, 200, false, Square, Flat);
    struct Case {
        const char* name;
        bool measure, a1On;
        std::array<int, 2> status;
        std::size_t items;
        int firstRow;
    } cases[] = {
        {"both", true, true, {0, 0}, 6, 3},
        {"Measure off", false, true, {0, 0}, 0, 0},
        {"A1 off", true, false, {0, 0}, 3, 4},
        {"A1 spectrum computed", true, true, {1, 0}, 3, 4},
        {"A1 spectrum failed", true, true, {3, 1}, 3, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        s().Measure = c.measure;
        s().CH_A1 = c.a1On;
        d.fftStatus = c.status;
        const auto r = Measure();
        ASSERT_EQ(r.size(), c.items);
        if (!r.empty()) {
            EXPECT_EQ(r.front().row, c.firstRow);
        }
    }
}

}  // namespace
}  // namespace kr40
