// The arbitrary-waveform player: program words stepped in time, RUN requests,
// the trigger mark, and the caches that answer any tick; then a program
// uploaded through the real acquisition path, played on A1 and reported in
// the service packets.

#include "simulator/afg_player.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

#include "acquisition/scope_tables.h"
#include "support/sim_session.h"

namespace kr40::sim {
namespace {

std::uint16_t Word(int op, int p)
{
    return static_cast<std::uint16_t>(op * 4096 + (p & 0x0FFF));
}
std::uint16_t Out(int p)
{
    return Word(0, p);
}
std::uint16_t Diff(int d)
{
    return Word(1, d);
}
std::uint16_t Stop()
{
    return Word(2, 0);
}
std::uint16_t Loop()
{
    return Word(3, 0);
}
std::uint16_t Delay(int n)
{
    return Word(4, n);
}
std::uint16_t Repeat(int n)
{
    return Word(5, n);
}
std::uint16_t EndRep(int d)
{
    return Word(6, d);
}
std::uint16_t Ret(int d)
{
    return Word(7, d);
}
std::uint16_t Call(int a)
{
    return Word(8, a);
}
std::uint16_t Jmp(int a)
{
    return Word(9, a);
}
std::uint16_t Wait()
{
    return Word(10, 0);
}
std::uint16_t LoadN(int p)
{
    return Word(11, p);
}
std::uint16_t OutN(int p)
{
    return Word(12, p);
}
std::uint16_t DiffN(int d)
{
    return Word(13, d);
}

AfgProgram Program(const std::vector<std::uint16_t>& words, std::uint64_t stepTicks, std::uint64_t start,
                   std::vector<std::uint64_t> resumes = {}, std::uint32_t mark = AfgMemoryWords)
{
    AfgProgram p;
    std::copy(words.begin(), words.end(), p.words.begin());
    p.stepTicks = stepTicks;
    p.markAddress = mark;
    p.run = {start, std::move(resumes)};
    return p;
}

// OUT 1000, then the triangle 1000 -> 1400 -> 1000 in steps of 100, each
// held for two steps, again and again from the second word.
const std::vector<std::uint16_t> kTriangle = {Out(1000), Repeat(4),  Diff(100), EndRep(0),
                                              Repeat(4), Diff(-100), EndRep(0), Jmp(1)};
int TriangleCode(std::uint64_t step)
{
    if (step == 0) return 1000;
    const int j = static_cast<int>((step - 1) % 16) / 2;
    return j < 4 ? 1100 + 100 * j : 1300 - 100 * (j - 4);
}

// Output codes step by step (period 7 ticks from tick 100): each code holds
// from the first to the last tick of its step; `last` is the state in the
// last step listed.
TEST(AfgPlayerTest, WordsStepByStep)
{
    constexpr std::uint64_t kStart = 100, kStep = 7;
    struct Case {
        const char* name;
        std::vector<std::uint16_t> words;
        std::vector<int> codes;
        AfgState last;
    };
    const Case cases[] = {
        {"OUT and DIFF take a step each; DIFF stays within 0..4095",
         {Out(100), Diff(5), Diff(-10), Out(4090), Diff(100), Out(3), Diff(-4), Stop()},
         {100, 105, 95, 4090, 4095, 3, 0, 0, 0},
         AfgState::Stopped},
        {"the N-forms hold for the LOADN count of steps, LOADN itself takes none",
         {OutN(500), DiffN(7), LoadN(3), DiffN(-100), OutN(9), LoadN(0), DiffN(1), Stop()},
         {500, 507, 407, 407, 407, 9, 9, 9, 10, 10},
         AfgState::Stopped},
        {"DELAY n holds for n steps, DELAY 0 for none",
         {Out(10), Delay(2), Delay(0), Out(20), Stop()},
         {10, 10, 10, 20, 20},
         AfgState::Stopped},
        {"nested REPEAT makes a staircase from mid-scale",
         {Repeat(2), Repeat(3), Diff(1), EndRep(0), EndRep(10), Stop()},
         {2049, 2049, 2050, 2050, 2051, 2051, 2061, 2062, 2062, 2063, 2063, 2064, 2064, 2074, 2074},
         AfgState::Stopped},
        {"REPEAT 0 runs once; ENDREP without REPEAT only adds",
         {Repeat(0), Diff(1), EndRep(2), EndRep(3), Stop()},
         {2049, 2051, 2054, 2054},
         AfgState::Stopped},
        {"CALL and RET, twice",
         {Call(4), Call(4), Out(7), Stop(), Diff(100), Ret(-1)},
         {2148, 2147, 2247, 2246, 7, 7},
         AfgState::Stopped},
        {"RET with nothing called stops", {Out(5), Ret(1), Out(9)}, {5, 5, 5}, AfgState::Stopped},
        {"code 14 stops", {Out(42), Word(14, 0), Out(1)}, {42, 42}, AfgState::Stopped},
        {"code 15 stops", {Out(43), Word(15, 99), Out(1)}, {43, 43}, AfgState::Stopped},
        {"addresses wrap at 2048", {Jmp(2048 + 3), Out(1), Stop(), Out(2), Out(3)}, {2, 3}, AfgState::Running},
        {"WAIT holds the output", {Out(300), Wait(), Out(1)}, {300, 300, 300}, AfgState::Waiting},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AfgPlayer p(Program(c.words, kStep, kStart));
        EXPECT_EQ(p.At(kStart - 1).code, AfgMidCode);
        EXPECT_EQ(p.At(kStart - 1).state, AfgState::Stopped);
        for (std::size_t k = 0; k < c.codes.size(); ++k) {
            SCOPED_TRACE(k);
            const std::uint64_t first = kStart + k * kStep;
            EXPECT_EQ(p.At(first).code, c.codes[k]);
            EXPECT_EQ(p.At(first + kStep - 1).code, c.codes[k]);
        }
        EXPECT_EQ(p.At(kStart + (c.codes.size() - 1) * kStep).state, c.last);
    }
}

// Loops make the output periodic; the player finds the period and answers a
// tick far on from it.
TEST(AfgPlayerTest, JmpAndLoopRepeatForever)
{
    struct Case {
        const char* name;
        std::vector<std::uint16_t> words;
        std::vector<int> prefix, cycle;
    };
    std::vector<int> triangle;
    for (std::uint64_t s = 1; s <= 16; ++s) triangle.push_back(TriangleCode(s));
    const Case cases[] = {
        {"JMP: a triangle", kTriangle, {1000}, triangle},
        {"JMP back to the second word", {Out(1), Out(2), Out(3), Jmp(1)}, {1}, {2, 3}},
        {"JMP with DIFF, until the output is held at the top", {Diff(1000), Jmp(0)}, {3048, 4048}, {4095}},
    };
    constexpr std::uint64_t kStart = 5000, kStep = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AfgPlayer p(Program(c.words, kStep, kStart));
        auto expected = [&](std::uint64_t s) {
            return s < c.prefix.size() ? c.prefix[s] : c.cycle[(s - c.prefix.size()) % c.cycle.size()];
        };
        for (std::uint64_t s = 0; s < 50; ++s) ASSERT_EQ(p.At(kStart + s * kStep + 1).code, expected(s)) << s;
        for (std::uint64_t s = 1'000'000'000'000'000; s < 1'000'000'000'000'040; ++s)
            ASSERT_EQ(p.At(kStart + s * kStep + 2).code, expected(s)) << s;
        EXPECT_EQ(p.PeriodSteps(), c.cycle.size());
    }
}

// A RUN request resumes a waiting program with the word after the WAIT at the
// next step; one that comes while the program runs does nothing here (the
// instrument restarts the program instead).
TEST(AfgPlayerTest, WaitResumesAtTheStepAfterRun)
{
    const std::vector<std::uint16_t> words = {Out(100), Wait(), Out(200), Wait(), Out(300), Stop()};
    const AfgPlayer p(Program(words, 10, 0, {55, 1000}));
    struct Probe {
        std::uint64_t tick;
        int code;
        AfgState state;
    };
    const Probe probes[] = {
        {5, 100, AfgState::Running},    {10, 100, AfgState::Waiting},   {59, 100, AfgState::Waiting},
        {60, 200, AfgState::Running},   {70, 200, AfgState::Waiting},   {1009, 200, AfgState::Waiting},
        {1010, 300, AfgState::Running}, {1020, 300, AfgState::Stopped}, {1'000'000'000, 300, AfgState::Stopped},
    };
    for (const Probe& q : probes) {
        SCOPED_TRACE(q.tick);
        EXPECT_EQ(p.At(q.tick).code, q.code);
        EXPECT_EQ(p.At(q.tick).state, q.state);
    }

    const AfgPlayer early(Program(words, 10, 0, {5}));
    EXPECT_EQ(early.At(1'000'000).state, AfgState::Waiting);
    EXPECT_EQ(early.At(1'000'000).code, 100);
}

// Loops of no-time words: each step runs a bounded number of them and passes
// with the output held.
TEST(AfgPlayerTest, NoTimeLoopDoesNotHang)
{
    struct Case {
        const char* name;
        std::vector<std::uint16_t> words;
        int code;
    };
    const Case cases[] = {
        {"JMP to itself", {Jmp(0)}, AfgMidCode},
        {"LOADN, DELAY 0 and LOOP", {LoadN(77), Delay(0), Loop()}, AfgMidCode},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AfgPlayer p(Program(c.words, 1, 0));
        for (const std::uint64_t t : {std::uint64_t{1}, std::uint64_t{1000}, std::uint64_t{1} << 50}) {
            EXPECT_EQ(p.At(t).code, c.code);
            EXPECT_EQ(p.At(t).state, AfgState::Running);
        }
    }
}

// 16 entries fit on each stack; the 17th push stops the program.
TEST(AfgPlayerTest, FullStackStops)
{
    std::vector<std::uint16_t> deep;
    for (int i = 0; i < AfgStackDepth; ++i) deep.push_back(Call(i + 1));
    deep.push_back(Out(77));
    deep.push_back(Stop());
    const AfgPlayer sixteen(Program(deep, 1, 0));
    EXPECT_EQ(sixteen.At(0).code, 77);
    EXPECT_EQ(sixteen.At(0).state, AfgState::Running);

    const AfgPlayer calls(Program({Call(0)}, 1, 0));
    EXPECT_EQ(calls.At(0).state, AfgState::Stopped);
    EXPECT_EQ(calls.At(0).code, AfgMidCode);

    // A REPEAT left by a JMP each pass: steps 0..15 push, the 17th REPEAT stops.
    const AfgPlayer repeats(Program({Repeat(2), Out(1), Jmp(0)}, 10, 0));
    EXPECT_EQ(repeats.At(159).state, AfgState::Running);
    EXPECT_EQ(repeats.At(160).state, AfgState::Stopped);
    EXPECT_EQ(repeats.At(160).code, 1);
}

// The mark is high in each step in which the word at its address runs: the
// first step of a DELAY, the step a no-time word leads into.
TEST(AfgPlayerTest, MarkFollowsItsWord)
{
    const std::vector<std::uint16_t> words = {Out(1), Out(2), Delay(3), Jmp(0)};  // 5 steps a pass
    struct Case {
        std::uint32_t address;
        std::function<bool(std::uint64_t)> high;
    };
    const Case cases[] = {
        {2, [](std::uint64_t s) { return s % 5 == 2; }},
        {3, [](std::uint64_t s) { return s > 0 && s % 5 == 0; }},  // JMP runs at the start of steps 5, 10, ...
        {AfgMemoryWords, [](std::uint64_t) { return false; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const AfgPlayer p(Program(words, 4, 0, {}, c.address));
        for (std::uint64_t s = 0; s < 30; ++s) ASSERT_EQ(p.At(s * 4 + 3).mark, c.high(s)) << s;
        for (std::uint64_t s = 1'000'000'000'000; s < 1'000'000'000'010; ++s)
            ASSERT_EQ(p.At(s * 4).mark, c.high(s)) << s;
    }
}

// Ticks asked in any order agree with the program: ahead of the furthest step,
// behind it (checkpoints), inside a period kept as a table and inside one too
// long for a table (the counter of the outer REPEAT makes the state repeat
// only every 1100 passes of 2002 steps, while the output repeats every pass).
TEST(AfgPlayerTest, TicksInAnyOrder)
{
    const std::vector<std::uint16_t> longPeriod = {Repeat(1100), OutN(0),   Repeat(1000), Diff(3),
                                                   EndRep(-2),   EndRep(0), Loop()};
    auto passCode = [](std::uint64_t s) {
        const std::uint64_t j = s % 2002;
        if (j == 0) return 0;
        if (j == 2001) return 1000;
        return static_cast<int>(j % 2 == 1 ? (j - 1) / 2 + 3 : j / 2);
    };
    struct Case {
        const char* name;
        std::vector<std::uint16_t> words;
        std::function<int(std::uint64_t)> code;
        std::uint64_t span, period;  // steps asked about; the state's period
    };
    const Case cases[] = {
        {"triangle", kTriangle, TriangleCode, 100'000, 16},
        {"long period", longPeriod, passCode, 8'000'000, 2002 * 1100},
    };
    constexpr std::uint64_t kStart = 12'345, kStep = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AfgPlayer p(Program(c.words, kStep, kStart));
        std::mt19937_64 rng(7);
        std::uniform_int_distribution<std::uint64_t> step(0, c.span);
        for (int i = 0; i < 1500; ++i) {
            const std::uint64_t s = step(rng);
            ASSERT_EQ(p.At(kStart + s * kStep + s % kStep).code, c.code(s)) << s;
        }
        const std::uint64_t late = 987'654'321'987;
        EXPECT_EQ(p.At(kStart + late * kStep).code, c.code(late));
        EXPECT_EQ(p.PeriodSteps(), c.period);
    }
}

// ---------------------------------------------------------------------------
// Through the program's own link to the simulated instrument.

using test::SimSession;

constexpr std::uint8_t kGenStopped = 0x01, kGenWaiting = 0x02;

// 1 V/div, generator on in AFG mode at full scale, 10 us steps, no mark.
void AfgScope(SimSession& sim)
{
    ScopeSettings& s = sim.st.settings;
    s.Sel(Group::TimeBase) = 14;  // 0,5 mS: 5000 samples at 1 MHz
    s.Sel(Group::Fps) = 4;
    s.Sel(Group::VoltsA1) = Volts1V;
    s.A1_Zero = 128;
    s.GenOn_Down = true;
    s.Run_Down = true;
    ASSERT_TRUE(sim.Apply([](AcqConfig& a) {
        a.Gen_Mode = 6;
        a.Gen_Shape = 0;
        a.Gen_Word_A = 2048;
        a.Gen_Word_B = 999;
        a.Gen_Ampl = 4095;
    }));
}

void Upload(SimSession& sim, const std::vector<std::uint16_t>& words)
{
    std::array<std::int32_t, 2048> table{};
    std::copy(words.begin(), words.end(), table.begin());
    sim.st.link.WaveTableLoaded = false;
    sim.st.link.WaveTable.Set(table);
    sim.st.link.WaveTableRequest = true;
    sim.st.RxEvent.Set();
    ASSERT_TRUE(test::Eventually([&] { return sim.st.link.WaveTableLoaded.load(); }));
}

// The settings in force again, with the RUN request.
void RequestRun(SimSession& sim)
{
    sim.st.link.GenRunRequest = true;
    sim.st.requests.SettingsRequest = true;
    sim.st.RxEvent.Set();
}

bool StatusBecomes(SimSession& sim, std::uint8_t status)
{
    return test::Eventually([&] { return sim.st.link.GenStatus.load() == status; });
}

// A triangle from DIFF words in REPEATs: 1024 -> 3072 -> 1024 in 128 steps of
// 10 us, i.e. -1 V .. +1 V with a period of 1.28 ms, appears on A1 after RUN.
TEST(AfgEndToEnd, UploadedTriangleAppearsOnA1AfterRun)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ASSERT_NO_FATAL_FAILURE(AfgScope(sim));
    ASSERT_NO_FATAL_FAILURE(
        Upload(sim, {Out(1024), Repeat(32), Diff(32), EndRep(32), Repeat(32), Diff(-32), EndRep(-32), Jmp(1)}));
    ASSERT_TRUE(StatusBecomes(sim, kGenStopped));
    RequestRun(sim);
    ASSERT_TRUE(StatusBecomes(sim, 0));
    ASSERT_TRUE(sim.WaitFrames(3));
    const FrameSet f = sim.LastFrame();
    ASSERT_EQ(f.rec.ValidLen, 5000);
    const std::int32_t* a1 = f.buf.A1_First.data();

    const auto [lo, hi] = std::minmax_element(a1, a1 + f.rec.ValidLen);
    EXPECT_NEAR(*lo, 128 - 32, 3);  // 32 codes a volt
    EXPECT_NEAR(*hi, 128 + 32, 3);
    // A triangle spends as long at each level: its mean distance from the
    // middle is half its peak (a square's would be the peak, a sine's 0.64 of it).
    double meanDistance = 0;
    for (int i = 0; i < f.rec.ValidLen; ++i) meanDistance += std::abs(a1[i] - 128);
    EXPECT_NEAR(meanDistance / f.rec.ValidLen, 16, 2);
    // Rising through the middle once a period, 1280 samples apart.
    std::vector<int> up;
    bool armed = false;
    for (int i = 0; i < f.rec.ValidLen; ++i) {
        if (a1[i] < 120) armed = true;
        if (armed && a1[i] >= 128) {
            up.push_back(i);
            armed = false;
        }
    }
    ASSERT_GE(up.size(), 3u);
    EXPECT_NEAR(static_cast<double>(up.back() - up.front()) / (up.size() - 1), 1280, 5);
}

// The service packets' generator status: stopped until RUN after an upload,
// waiting at a WAIT until the next RUN, running after it; a RUN while it runs
// starts the program again, and a new upload stops it.
TEST(AfgEndToEnd, StatusFollowsRunWaitAndUpload)
{
    SimSession sim;
    ASSERT_EQ(sim.Open(), FT_OK);
    ASSERT_NO_FATAL_FAILURE(AfgScope(sim));
    const std::vector<std::uint16_t> program = {Wait(), Out(3000), Jmp(1)};
    ASSERT_NO_FATAL_FAILURE(Upload(sim, program));
    ASSERT_TRUE(StatusBecomes(sim, kGenStopped));
    RequestRun(sim);
    ASSERT_TRUE(StatusBecomes(sim, kGenWaiting));
    RequestRun(sim);
    ASSERT_TRUE(StatusBecomes(sim, 0));
    RequestRun(sim);
    ASSERT_TRUE(StatusBecomes(sim, kGenWaiting));
    RequestRun(sim);
    ASSERT_TRUE(StatusBecomes(sim, 0));
    ASSERT_NO_FATAL_FAILURE(Upload(sim, program));
    ASSERT_TRUE(StatusBecomes(sim, kGenStopped));

    // The generator switched off reports bit 0 whatever the program does.
    RequestRun(sim);
    ASSERT_TRUE(StatusBecomes(sim, kGenWaiting));
    sim.st.settings.GenOn_Down = false;
    ASSERT_TRUE(sim.Apply());
    EXPECT_TRUE(StatusBecomes(sim, kGenStopped));
}

}  // namespace
}  // namespace kr40::sim
