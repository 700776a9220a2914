#include "display/compose.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "acquisition/frame.h"
#include "core/rounding.h"
#include "state/scope_state.h"
#include "support/label_scene.h"

namespace kr40 {
namespace {

using namespace test;  // the label scene

// The label scene (support/label_scene.h) on a screen bitmap; the right edge
// pointers start at x 512.
class ComposeFixture : public ::testing::Test {
protected:
    ScopeState st;
    FrameSet live, ref;
    DisplayState d;
    DisplayInputs in{st.settings, st.acq, st, live, ref, false};

    // Also called again by table tests to start each case afresh.
    void SetUp() override
    {
        SetUpLabelScene(st, live, ref);
        in.refExists = false;
        d = DisplayState();
        RecomputeGeometry(d, kSceneWidth, kSceneHeight);
        d.ScreenBitmap.fill(ToRgb(kBackground));
    }

    QRgb Pixel(int x, int y) const { return d.ScreenBitmap.pixel(x, y); }

    // An A1 frame captured by an advanced trigger of `kind` in `mode`, at
    // level 128 (y 170), with the trigger sample at x = 31 + 48 (100 samples
    // per division); its trigger-condition flag drawn.
    void DrawFlagOfFrame(int mode, int tMode, int kind)
    {
        ScopeSettings& s = st.settings;
        s.Trig_T = s.TPLUS = true;
        s.Mode = mode;
        s.T_Mode = tMode;
        st.acq.Time_Div_ns = 1000;
        FrameRecord& r = live.rec;
        r.Divider = 1;
        r.PreLen = 100;
        r.TrigSource = 1;
        r.TrigLevelCode = 128;
        r.AdvTrigKind = kind;
        r.TrigTimeLimit = 250;
        Paint([&](QPainter& p) { DrawTriggerConditionFlag(p, in, d); });
    }

    int Count(std::uint32_t colour, QRect area = QRect()) const
    {
        if (area.isNull()) area = d.ScreenBitmap.rect();
        int n = 0;
        for (int y = area.top(); y <= area.bottom(); ++y)
            for (int x = area.left(); x <= area.right(); ++x) n += d.ScreenBitmap.pixel(x, y) == ToRgb(colour);
        return n;
    }

    // Columns of one row, or rows of one column, that hold the colour.
    std::set<int> ColumnsOf(std::uint32_t colour, int y) const
    {
        std::set<int> xs;
        for (int x = 0; x < d.ScreenBitmap.width(); ++x)
            if (Pixel(x, y) == ToRgb(colour)) xs.insert(x);
        return xs;
    }
    std::set<int> RowsOf(std::uint32_t colour, int x) const
    {
        std::set<int> ys;
        for (int y = 0; y < d.ScreenBitmap.height(); ++y)
            if (Pixel(x, y) == ToRgb(colour)) ys.insert(y);
        return ys;
    }

    template <class F>
    void Paint(F&& draw)
    {
        QPainter p(&d.ScreenBitmap);
        draw(p);
    }
};

std::set<int> Steps(int first, int step, int count)
{
    std::set<int> s;
    for (int i = 0; i < count; ++i) s.insert(first + i * step);
    return s;
}

// ---- Labels ------------------------------------------------

using LabelTest = ComposeFixture;

TEST_F(LabelTest, LabelsStandOnTheBorderColour)
{
    const LabelGrid grid = ComputeLabelGrid(d.g);
    Paint([&](QPainter& p) { DrawLabels(p, d, st.settings, {{2, Col4_8, "MMMM", kMarkers}}); });
    const QRect cell(grid.column[Col4_8], grid.row[2], 20, 8);
    EXPECT_GT(Count(kBorder, cell), 0);
    EXPECT_GT(cell.width() * cell.height() - Count(kBorder, cell), 0);  // the text itself
    EXPECT_EQ(Count(kBorder, QRect(grid.column[Col0], grid.row[2], 100, 10)), 0);
}

// ---- Grid ---------------------------------------------------------------------

using GridTest = ComposeFixture;

TEST_F(GridTest, GridOffLeavesOnlyTheFrame)
{
    Paint([&](QPainter& p) {
        DrawGridFrame(p, d, st.settings);
        DrawGrid(p, d, st.settings);
    });
    EXPECT_EQ(Count(kGrid), 0);
    // A closed rectangle from (30, 26) to (512, 316).
    EXPECT_EQ(Count(kGridFrame), 2 * 483 + 2 * 291 - 4);
    EXPECT_EQ(ColumnsOf(kGridFrame, 100), (std::set<int>{30, 512}));
    EXPECT_EQ(RowsOf(kGridFrame, 100), (std::set<int>{26, 316}));
}

TEST_F(GridTest, LinesAtTheDivisions)
{
    // Row 5 below the grid top holds no tick: only the vertical lines cross it.
    struct Case {
        int w, h;
        std::set<int> columns;
    } cases[] = {
        {540, 400, Steps(31, 48, 11)},
        {180, 100, Steps(28, 12, 11)},  // GridWidth 125: the last line is at 120, inside the frame
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.w);
        RecomputeGeometry(d, c.w, c.h);
        d.ScreenBitmap.fill(ToRgb(kBackground));
        st.settings.Grid = true;
        Paint([&](QPainter& p) { DrawGrid(p, d, st.settings); });
        EXPECT_EQ(ColumnsOf(kGrid, d.g.GridTop + 5), c.columns);
        if (c.w == 540) {
            EXPECT_EQ(RowsOf(kGrid, d.g.GridLeft + 5), Steps(27, 36, 9));
        }
    }
}

TEST_F(GridTest, GridOriginShiftsTheSamePicture)
{
    const QRgb grid = ToRgb(kGrid);
    QImage onScreen(d.ScreenBitmap.size(), QImage::Format_RGB32);
    onScreen.fill(ToRgb(EmptyColour));
    QImage gridSized(d.g.GridWidth, d.g.GridHeight, QImage::Format_RGB32);
    gridSized.fill(ToRgb(EmptyColour));
    {
        QPainter p(&onScreen);
        DrawGrid(p, d.g, grid, d.g.GridLeft, d.g.GridTop);
    }
    {
        QPainter p(&gridSized);
        DrawGrid(p, d.g, grid, 0, 0);
    }
    EXPECT_EQ(gridSized, onScreen.copy(d.g.GridLeft, d.g.GridTop, d.g.GridWidth, d.g.GridHeight));
    EXPECT_EQ(gridSized.pixel(0, 0), grid);
    EXPECT_EQ(gridSized.pixel(48, 5), grid);
}

// Horizontal and vertical lines on a plain image are written straight into
// its pixels; under a clip the painter draws them itself. Both give the same
// picture, also where the grid hangs over the paint box.
TEST_F(GridTest, LinesWrittenDirectlyMatchThePainter)
{
    ScopeSettings& s = st.settings;
    s.Grid = s.TrigPosL = true;
    st.acq.Time_Div_ns = 1000;
    live.rec.Divider = 1;
    live.rec.PreLen = 100;
    for (const QSize size : {QSize(540, 400), QSize(180, 100), QSize(100, 50)}) {
        SCOPED_TRACE(size.width());
        RecomputeGeometry(d, size.width(), size.height());
        QImage direct(size, QImage::Format_RGB32), painted(size, QImage::Format_RGB32);
        direct.fill(ToRgb(kBackground));
        painted.fill(ToRgb(kBackground));
        const auto draw = [&](QPainter& p) {
            DrawGridFrame(p, d, s);
            DrawGrid(p, d, s);
            DrawTrigPosLine(p, in, d);
        };
        {
            QPainter p(&direct);
            draw(p);
        }
        {
            QPainter p(&painted);
            p.setClipRect(painted.rect());
            draw(p);
        }
        EXPECT_EQ(direct, painted);
    }
}

// ---- Pointers and lines at the grid edges ------------------------------------

using PointerTest = ComposeFixture;

TEST_F(PointerTest, TriggerPositionLine)
{
    // 100 samples per division with Divider 1 and 1 us/div.
    struct Case {
        const char* name;
        bool on;
        int preLen, xPos;
        std::set<int> columns;
    } cases[] = {
        {"one division right", true, 100, 0, {31 + 48}},
        {"at the left edge", true, 100, 100, {31}},
        {"left of the window", true, 100, 101, {}},
        {"switched off", false, 100, 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        st.settings.TrigPosL = c.on;
        st.settings.X_Pos = c.xPos;
        st.acq.Time_Div_ns = 1000;
        live.rec.Divider = 1;
        live.rec.PreLen = c.preLen;
        Paint([&](QPainter& p) { DrawTrigPosLine(p, in, d); });
        EXPECT_EQ(ColumnsOf(kTrigPos, 100), c.columns);
        if (!c.columns.empty()) {
            EXPECT_EQ(RowsOf(kTrigPos, *c.columns.begin()), Steps(27, 1, 288));
        }
    }
}

TEST_F(PointerTest, ZeroPointersLiveAndReference)
{
    // Zero 128 sits at y 27 + round(127 × 1.125) = 170, reference zero 64 at 242.
    // The tip is at x GridLeft - 2; inside the pointer the Background shows.
    st.settings.bgA1_Zero = 64;
    in.refExists = true;
    d.ScreenBitmap.fill(ToRgb(kBorder));
    const std::uint32_t half = BlendColor(kA1, kBackground, 2);

    Paint([&](QPainter& p) { DrawZeroPointers(p, in, d, false); });
    EXPECT_EQ(RowsOf(kA1, 29), (std::set<int>{170}));
    EXPECT_EQ(Pixel(31 - 1 - 16, 170), ToRgb(kBackground));
    EXPECT_EQ(Count(half), 0);

    Paint([&](QPainter& p) { DrawZeroPointers(p, in, d, true); });
    EXPECT_EQ(RowsOf(half, 29), (std::set<int>{242}));
    EXPECT_EQ(RowsOf(kA1, 29), (std::set<int>{170}));
}

TEST_F(PointerTest, CapturedTriggerAboveInsideAndBelowTheGrid)
{
    // The frame was taken at 1 V/div with zero 128; now 100 mV/div with zero
    // 100: a code c is drawn at 100 + (c - 128) × 10.
    struct Case {
        const char* name;
        int code;
        QPoint inside;
    } cases[] = {
        {"above", 150, {513, 27 - 6}},
        {"inside at 120", 130, {516, 27 + 152}},
        {"below", 100, {513, 27 + 288 + 5}},
    };
    const QPoint places[] = {{513, 21}, {516, 179}, {513, 320}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        st.settings.A1_Zero = 100;
        st.acq.uV_Div_A1 = 100'000;
        live.rec.uV_Div_A1 = 1'000'000;
        live.rec.TrigSource = 1;
        live.rec.TrigLevelCode = c.code;
        Paint([&](QPainter& p) { DrawCapturedTriggerPointers(p, in, d, false); });
        for (const QPoint& place : places)
            EXPECT_EQ(Pixel(place.x(), place.y()) == ToRgb(kA1), place == c.inside) << place.x() << "," << place.y();
    }
}

TEST_F(PointerTest, CapturedDigitalTriggersShareTheLowerBandWithAReference)
{
    // With a reference shown and bgD_Zero set, live D1 marks level 7 and the
    // reference D2 level 23 + 32 = 55.
    in.refExists = true;
    st.settings.bgD_Zero = 1;
    live.rec.TrigSource = 3;
    ref.rec.TrigSource = 4;
    Paint([&](QPainter& p) { DrawCapturedTriggerPointers(p, in, d, true); });
    const auto y = [](int level) { return 27 + static_cast<int>(RoundHalfAway((255 - level) * 1.125)); };
    EXPECT_EQ(RowsOf(kD1, 516), (std::set<int>{y(7) - 2, y(7) - 1, y(7), y(7) + 1, y(7) + 2}));
    EXPECT_EQ(RowsOf(BlendColor(kD2, kBackground, 2), 516),
              (std::set<int>{y(55) - 2, y(55) - 1, y(55), y(55) + 1, y(55) + 2}));
}

TEST_F(PointerTest, DraggedTriggerLevelShowsTheNoiseRejectBand)
{
    // Lines across the grid at the level and at the level ± the half width of
    // the noise-reject window; the narrower of the two styles is dimmed.
    const std::uint32_t dim = BlendColor(kTrigPos, kBackground, 1.5);
    struct Case {
        const char* name;
        int hyst;  // item: 1 = 2 codes, 4 = 16 codes
        double level;
        int centre, up, down;
        bool narrow;
    } cases[] = {
        {"1 division", 4, 128, 170, 152, 188, false},
        {"0.1 division", 1, 128, 170, 168, 172, true},
        {"band clamped to the grid top", 4, 250, 33, 27, 51, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        st.settings.Hyst = c.hyst;
        st.settings.Lev_A1 = c.level;
        d.dragTarget = 7;
        Paint([&](QPainter& p) { DrawTriggerLevelPointers(p, in, d); });
        const std::uint32_t band = c.narrow ? dim : kTrigPos, centre = c.narrow ? kTrigPos : dim;
        EXPECT_EQ(RowsOf(band, 200), (std::set<int>{c.up, c.down}));
        EXPECT_EQ(RowsOf(centre, 200), (std::set<int>{c.centre}));
        EXPECT_EQ(ColumnsOf(centre, c.centre).size(), 481u);  // GridLeft .. GridLeft + GridWidth
        EXPECT_EQ(Pixel(513, c.centre), ToRgb(kA1));          // the pointer's tip
    }

    // Not dragged, or the other channel dragged: no lines.
    SetUp();
    d.dragTarget = 8;
    Paint([&](QPainter& p) { DrawTriggerLevelPointers(p, in, d); });
    EXPECT_EQ(Count(kTrigPos) + Count(dim), 0);
    EXPECT_EQ(Pixel(520, 170), ToRgb(kA1));
}

TEST_F(PointerTest, TriggerConditionFlagNeedsTheTriggerChannel)
{
    // A runt trigger: the flag's arrow ends at the trigger sample.
    const QRect arrow(31 + 48 - 20, 170 - 5, 21, 11);
    for (bool channelOn : {true, false}) {
        SCOPED_TRACE(channelOn);
        SetUp();
        st.settings.CH_A1 = channelOn;
        DrawFlagOfFrame(3, 0, 3);
        if (channelOn) {
            EXPECT_GT(Count(kA1, arrow), 20);
            EXPECT_EQ(Pixel(31 + 48 - 15, 170), ToRgb(kA1));
        } else {
            EXPECT_EQ(Count(kA1), 0);
        }
    }
}

TEST_F(PointerTest, PulseFlagOnlyWithATimeConditionInForce)
{
    // With "T = any" a pulse-mode frame is an edge trigger; its time word is
    // the T_Lo echo, not a measured width.
    for (int tMode : {0, 1, 2}) {
        SCOPED_TRACE(tMode);
        SetUp();
        DrawFlagOfFrame(1, tMode, 1);
        EXPECT_EQ(Count(kA1) > 0, tMode != 0);
    }
}

// ---- Activity indicator --------------------------------------------------------

using IndicatorTest = ComposeFixture;

TEST_F(IndicatorTest, CountersWrapAndFramesResetTheServiceCount)
{
    for (int i = 0; i < 12; ++i) NoteServicePacket(d);
    EXPECT_EQ(d.spokeCounter, 2);
    EXPECT_EQ(d.servicesSinceFrame, 12);
    NoteDataFrame(d);
    EXPECT_EQ(d.handCounter, 1);
    EXPECT_EQ(d.servicesSinceFrame, 0);
    EXPECT_EQ(d.spokeCounter, 2);
    for (int i = 0; i < 10; ++i) NoteDataFrame(d);
    EXPECT_EQ(d.handCounter, 1);
}

TEST_F(IndicatorTest, StoppedCircleShrinksFromTheSixthSpoke)
{
    // Centre (31 + 19 × 24, 27 / 2) = (487, 13), radius 10.
    d.ScreenBitmap.fill(ToRgb(kBorder));
    d.spokeCounter = 5;
    d.servicesSinceFrame = 9;
    Paint([&](QPainter& p) { DrawActivityIndicator(p, d, st.settings, false); });
    EXPECT_EQ(Pixel(497, 13), ToRgb(kGridFrame));
    EXPECT_EQ(d.servicesSinceFrame, 0);

    d.ScreenBitmap.fill(ToRgb(kBorder));
    d.spokeCounter = 6;
    Paint([&](QPainter& p) { DrawActivityIndicator(p, d, st.settings, false); });
    EXPECT_EQ(Pixel(497, 13), ToRgb(kBorder));
    EXPECT_EQ(Pixel(496, 13), ToRgb(kGridFrame));
}

TEST_F(IndicatorTest, RunningWheelFadesWhenFramesStopComing)
{
    const QRect box(487 - 11, 13 - 11, 23, 23);
    const std::uint32_t faded = BlendColor(kGridFrame, kBorder, 12.0 / 3);  // the first segment's pen
    for (int services : {5, 6}) {
        SCOPED_TRACE(services);
        d.ScreenBitmap.fill(ToRgb(kBorder));
        d.servicesSinceFrame = services;
        Paint([&](QPainter& p) { DrawActivityIndicator(p, d, st.settings, true); });
        EXPECT_GT(Count(kGridFrame, box), 0);
        EXPECT_EQ(Count(faded, box) > 0, services > 5);
        EXPECT_EQ(d.servicesSinceFrame, services);
    }
}

// ---- The whole overlay pass ---------------------------------------------------

using ComposeTest = ComposeFixture;

TEST_F(ComposeTest, RefillsTheBorderAndKeepsTheGridArea)
{
    const std::uint32_t traces = 0x563412;
    d.ScreenBitmap.fill(ToRgb(traces));
    st.settings.CH_A1 = false;
    st.acq.Mode_Flags = 0;
    ComposeScreen(d, in, {}, false);

    // Strips: above, below, left, right of the grid area (31..511, 27..315).
    for (const QPoint& pt :
         {QPoint(0, 0), QPoint(300, 26 - 1), QPoint(300, 317), QPoint(29, 200), QPoint(513, 200), QPoint(539, 399)})
        EXPECT_EQ(Pixel(pt.x(), pt.y()), ToRgb(kBorder)) << pt.x() << "," << pt.y();
    EXPECT_EQ(Pixel(30, 200), ToRgb(kGridFrame));
    EXPECT_EQ(Pixel(512, 200), ToRgb(kGridFrame));
    // The grid area, including the column and row just inside the frame, is the trace pass's.
    EXPECT_EQ(Count(traces), 481 * 289);
}

TEST_F(ComposeTest, PointersOverLabelsInOrder)
{
    // A1 trigger level and zero pointer, a captured trigger at the same level,
    // and a text handed in for row Y2.
    live.rec.TrigSource = 1;
    live.rec.TrigLevelCode = 128;
    const LabelGrid grid = ComputeLabelGrid(d.g);
    ComposeScreen(d, in, {{2, Col0, "MMMM", kMarkers}}, false);

    EXPECT_EQ(Pixel(31 - 2, 170), ToRgb(kA1));        // zero pointer tip
    EXPECT_EQ(Pixel(512 + 1, 170), ToRgb(kA1));       // level pointer / captured marker
    EXPECT_EQ(Pixel(512 + 18, 170 - 3), ToRgb(kA1));  // level pointer body
    const QRect y2(grid.column[Col0], grid.row[2], 30, 10);
    EXPECT_LT(Count(kBorder, y2), y2.width() * y2.height());
}

}  // namespace
}  // namespace kr40
