#pragma once
// The simulated generator's arbitrary-waveform player: it runs the program in
// the waveform memory and gives the output code, the program's state and the
// trigger mark at any tick, as a pure function of the tick.
//
// Words: opcode * 4096 + a 12-bit parameter p; the signed forms (DIFF,
// ENDREP, RET, DIFFN) read p >= 2048 as p - 4096.
//   0 OUT p     output = p, one step
//   1 DIFF d    output += d (kept within 0..4095), one step
//   2 STOP      the program stops; the output holds (so do 14 and 15)
//   3 LOOP      jump to address 0, no time (p ignored)
//   4 DELAY n   the output holds for n steps (n = 0: no time)
//   5 REPEAT n  the words up to the matching ENDREP run n times; n = 0 runs
//               them once, as n = 1 does (no time)
//   6 ENDREP d  output += d, one step; then back to the word after the REPEAT
//               while passes remain. Without an open REPEAT it only adds and
//               steps.
//   7 RET d     output += d, one step, then on at the return address. With
//               the call stack empty the program stops instead (no add).
//   8 CALL a    push the return address, jump to a, no time
//   9 JMP a     jump to a, no time
//  10 WAIT      the program waits for RUN; the output holds
//  11 LOADN n   the N-forms hold for n steps from now on (n = 0 as 1;
//               1 at the start), no time
//  12 OUTN p    output = p, holds for the LOADN count of steps
//  13 DIFFN d   output += d (kept within 0..4095), holds as OUTN
// The macros of the compiler are made of N-forms: a "_COM" frame is one OUTN
// per bit and a "_SIN" segment DIFFN words, so each bit or sine sample lasts
// a step (or the LOADN count), and LOADN stretches them without new words.
// Addresses wrap at 2048, as the program counter does after the last word.
//
// State: output code (2048, mid-scale, at the start), program counter, a
// repeat stack and a call stack of 16 entries each (a push onto a full one
// stops the program), and stopped / running / waiting.
//
// Time: step k lasts from start + k * stepTicks to the next step. At its
// start the player runs words until one takes a step (OUT, DIFF, OUTN, DIFFN,
// ENDREP, RET, the first step of a DELAY); that word's output holds for the
// step. After
// 2048 words without time in one step (a loop of only no-time words) the step
// passes with the output held and the next step goes on from there.
//
// RUN: a request at tick r that finds the program waiting resumes it with the
// word after the WAIT at the first step start after r; any other request
// restarts it at address 0 with the output at 2048 (AfgRunTicks::start).
// The instrument sorts the requests so; a tick in `resumes` that finds the
// program not waiting does nothing.
// Before the first RUN after a waveform upload, and at ticks before the
// start, the program is stopped at mid-scale.
//
// The trigger mark is high for the steps in which the word at markAddress
// runs (the first step of a DELAY there; the step of a WAIT or STOP there).
//
// Speed: the player keeps its state at the furthest step it has reached,
// checkpoints behind it, and a cursor for reading behind the furthest step,
// so ascending ticks cost the steps between them. Once no RUN request is
// left ahead, it looks for a step whose whole state (counter, output, stacks,
// counts, mark) repeats: from there the output is periodic and a late tick
// maps into the first period (kept as a table of samples when it is not too
// long). The caches sit behind a mutex: one player may be read from several
// threads.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace kr40::sim {

inline constexpr int AfgMemoryWords = 2048;
inline constexpr int AfgMidCode = 2048;
inline constexpr int AfgStackDepth = 16;
inline constexpr int AfgNoTimeLimit = 2048;  // words without time in one step

enum class AfgState : std::uint8_t { Stopped, Running, Waiting };

// The RUN requests that matter for the run in force.
struct AfgRunTicks {
    std::optional<std::uint64_t> start;  // the request that (re)started the program; none: not started
    std::vector<std::uint64_t> resumes;  // later requests that found it waiting, ascending
    bool operator==(const AfgRunTicks&) const = default;
};

struct AfgProgram {
    std::array<std::uint16_t, AfgMemoryWords> words{};
    std::uint64_t stepTicks = 1;                 // Gen_Word_B + 1, at least 1
    std::uint32_t markAddress = AfgMemoryWords;  // 2048 and above: no mark
    AfgRunTicks run;
    bool operator==(const AfgProgram&) const = default;
};

struct AfgSample {
    int code = AfgMidCode;
    AfgState state = AfgState::Stopped;
    bool mark = false;
};

class AfgPlayer {
public:
    explicit AfgPlayer(AfgProgram program);
    ~AfgPlayer();
    AfgPlayer(const AfgPlayer&) = delete;
    AfgPlayer& operator=(const AfgPlayer&) = delete;

    const AfgProgram& Program() const { return program_; }
    AfgSample At(std::uint64_t tick) const;
    // The period in steps once the player has found its state repeating.
    std::optional<std::uint64_t> PeriodSteps() const;

private:
    struct Machine;
    struct Cursor;
    struct Cache;

    void Step(Machine& m, bool resume) const;
    std::uint64_t HoldSteps(const Cursor& c) const;
    void Next(Cursor& c) const;
    AfgSample AfterSteps(std::uint64_t d) const;  // under the cache's mutex

    const AfgProgram program_;
    std::vector<std::uint64_t> resumeSteps_;  // step starts at which a waiting program resumes
    std::unique_ptr<Cache> cache_;
};

}  // namespace kr40::sim
