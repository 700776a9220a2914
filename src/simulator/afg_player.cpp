#include "simulator/afg_player.h"

#include <algorithm>
#include <limits>
#include <mutex>

namespace kr40::sim {

namespace {

enum Opcode : int {
    kOut = 0,
    kDiff = 1,
    kStop = 2,
    kLoop = 3,
    kDelay = 4,
    kRepeat = 5,
    kEndRep = 6,
    kRet = 7,
    kCall = 8,
    kJmp = 9,
    kWait = 10,
    kLoadN = 11,
    kOutN = 12,
    kDiffN = 13,
};

constexpr std::uint64_t kForever = std::numeric_limits<std::uint64_t>::max();
constexpr int kAddressMask = AfgMemoryWords - 1;
constexpr int kMaxCode = 4095;

// Checkpoints behind the furthest step: one every kCheckpointSpacing steps at
// first; when there are too many, every other one goes and the spacing doubles.
constexpr std::uint64_t kCheckpointSpacing = 1024;
constexpr std::size_t kMaxCheckpoints = 1024;
// Periods up to this many steps are kept as a table of samples.
constexpr std::uint64_t kTableLimit = std::uint64_t{1} << 20;

std::uint16_t Clamped(int code)
{
    return static_cast<std::uint16_t>(std::clamp(code, 0, kMaxCode));
}

}  // namespace

struct AfgPlayer::Machine {
    std::uint16_t pc = 0;
    std::uint16_t code = AfgMidCode;
    AfgState state = AfgState::Running;
    bool mark = false;        // the mark word ran in the last step
    std::uint16_t delay = 0;  // steps of a DELAY or N-form still to hold after the last one
    std::uint16_t hold = 1;   // steps each OUTN / DIFFN holds (LOADN)
    std::uint8_t reps = 0, calls = 0;
    std::array<std::uint16_t, AfgStackDepth> repBody{}, repLeft{}, ret{};

    bool operator==(const Machine& o) const
    {
        return pc == o.pc && code == o.code && state == o.state && mark == o.mark && delay == o.delay &&
               hold == o.hold && reps == o.reps && calls == o.calls &&
               std::equal(repBody.begin(), repBody.begin() + reps, o.repBody.begin()) &&
               std::equal(repLeft.begin(), repLeft.begin() + reps, o.repLeft.begin()) &&
               std::equal(ret.begin(), ret.begin() + calls, o.ret.begin());
    }
};

// The machine after `done` steps; `resume` indexes the first resume step at
// or after `done`.
struct AfgPlayer::Cursor {
    std::uint64_t done = 0;
    Machine m;
    std::size_t resume = 0;
};

namespace {

std::uint16_t Pack(std::uint16_t code, AfgState state, bool mark)
{
    return static_cast<std::uint16_t>(code | (mark ? 1 << 12 : 0) | static_cast<int>(state) << 13);
}

AfgSample Unpack(std::uint16_t v)
{
    return {v & 0x0FFF, static_cast<AfgState>(v >> 13), ((v >> 12) & 1) != 0};
}

}  // namespace

struct AfgPlayer::Cache {
    std::mutex mutex;
    Cursor front;                     // the furthest step reached
    std::vector<Cursor> checkpoints;  // behind it, ascending, the first at step 0
    std::uint64_t spacing = kCheckpointSpacing, nextCheckpoint = kCheckpointSpacing;
    Cursor reader;  // for reading behind the front

    // Repetition search (Brent's): the state at `ref` is compared with every
    // later one; after `power` steps without a match the reference moves on
    // and `power` doubles.
    std::uint64_t searchFrom = 0;  // no RUN request acts from here on
    std::optional<Cursor> ref;
    std::uint64_t power = 1;

    // Found: the state after periodFrom + period steps equals the state
    // after periodFrom, and `table` holds the samples of one period.
    std::optional<std::uint64_t> period;
    std::uint64_t periodFrom = 0;
    std::vector<std::uint16_t> table;

    static AfgSample Read(const Cursor& c, std::uint64_t d) { return {c.m.code, c.m.state, c.m.mark && d == c.done}; }

    void SetPeriod(const AfgPlayer& p, const Cursor& from, std::uint64_t steps)
    {
        period = steps;
        periodFrom = from.done;
        if (steps > kTableLimit) return;
        table.assign(steps, 0);
        Cursor c = from;
        table[0] = Pack(c.m.code, c.m.state, c.m.mark);
        for (;;) {
            const std::uint64_t i = c.done - from.done;
            const std::uint64_t hold = std::min(p.HoldSteps(c), steps);
            const std::uint16_t held = Pack(c.m.code, c.m.state, false);
            for (std::uint64_t j = i + 1; j <= i + hold && j < steps; ++j) table[j] = held;
            if (hold == steps) break;  // holds to the end of the period
            p.Next(c);
            if (c.done - from.done >= steps) break;
            table[c.done - from.done] = Pack(c.m.code, c.m.state, c.m.mark);
        }
    }

    // Moves the front on towards `d`. True when a period was found on the way.
    bool Advance(const AfgPlayer& p, std::uint64_t d)
    {
        while (front.done < d) {
            const std::uint64_t hold = p.HoldSteps(front);
            if (hold == kForever) {
                // Stopped, or waiting with no request left: constant from the next step on.
                Cursor next = front;
                next.done += 1;
                next.m.mark = false;
                SetPeriod(p, next, 1);
                return true;
            }
            if (hold > 0 && d <= front.done + hold) return false;
            p.Next(front);

            if (front.done >= nextCheckpoint) {
                checkpoints.push_back(front);
                nextCheckpoint = front.done + spacing;
                if (checkpoints.size() > kMaxCheckpoints) {
                    std::size_t kept = 0;
                    for (std::size_t i = 0; i < checkpoints.size(); i += 2) checkpoints[kept++] = checkpoints[i];
                    checkpoints.resize(kept);
                    spacing *= 2;
                }
            }

            if (front.done < searchFrom) continue;
            if (!ref) {
                ref = front;
            } else if (front.m == ref->m) {
                SetPeriod(p, *ref, front.done - ref->done);
                return true;
            } else if (front.done - ref->done >= power) {
                ref = front;
                power *= 2;
            }
        }
        return false;
    }

    // The sample after d steps, d behind the front: from the reader if it is
    // at or after the nearest checkpoint, else from that checkpoint.
    AfgSample Behind(const AfgPlayer& p, std::uint64_t d)
    {
        const auto after = std::upper_bound(checkpoints.begin(), checkpoints.end(), d,
                                            [](std::uint64_t v, const Cursor& c) { return v < c.done; });
        const Cursor& nearest = *(after - 1);
        if (reader.done > d || reader.done < nearest.done) reader = nearest;
        while (reader.done < d) {
            const std::uint64_t hold = p.HoldSteps(reader);
            if (hold == kForever || (hold > 0 && d <= reader.done + hold)) break;
            p.Next(reader);
        }
        return Read(reader, d);
    }
};

AfgPlayer::AfgPlayer(AfgProgram program) : program_(std::move(program)), cache_(std::make_unique<Cache>())
{
    if (program_.run.start) {
        const std::uint64_t start = *program_.run.start;
        for (const std::uint64_t r : program_.run.resumes)
            if (r >= start) resumeSteps_.push_back((r - start) / program_.stepTicks + 1);
        std::sort(resumeSteps_.begin(), resumeSteps_.end());
        resumeSteps_.erase(std::unique(resumeSteps_.begin(), resumeSteps_.end()), resumeSteps_.end());
    }
    cache_->checkpoints.push_back(cache_->front);
    cache_->searchFrom = resumeSteps_.empty() ? 0 : resumeSteps_.back() + 1;
}

AfgPlayer::~AfgPlayer() = default;

void AfgPlayer::Step(Machine& m, bool resume) const
{
    m.mark = false;
    if (m.state == AfgState::Waiting && resume) {
        m.state = AfgState::Running;
        m.pc = static_cast<std::uint16_t>((m.pc + 1) & kAddressMask);
    }
    if (m.state != AfgState::Running) return;
    if (m.delay > 0) {
        --m.delay;
        return;
    }
    const auto stop = [&m] { m.state = AfgState::Stopped; };
    for (int n = 0; n < AfgNoTimeLimit; ++n) {
        const int pc = m.pc;
        if (static_cast<std::uint32_t>(pc) == program_.markAddress) m.mark = true;
        const int word = program_.words[static_cast<std::size_t>(pc)];
        const int op = word >> 12, p = word & 0x0FFF;
        const int signedP = p >= 2048 ? p - 4096 : p;
        const auto next = static_cast<std::uint16_t>((pc + 1) & kAddressMask);
        const auto target = static_cast<std::uint16_t>(p & kAddressMask);
        switch (op) {
            case kOut:
                m.code = static_cast<std::uint16_t>(p);
                m.pc = next;
                return;
            case kDiff:
                m.code = Clamped(m.code + signedP);
                m.pc = next;
                return;
            case kLoop:
                m.pc = 0;
                break;
            case kDelay:
                m.pc = next;
                if (p == 0) break;
                m.delay = static_cast<std::uint16_t>(p - 1);
                return;
            case kRepeat:
                if (m.reps == AfgStackDepth) return stop();
                m.repBody[m.reps] = next;
                m.repLeft[m.reps] = static_cast<std::uint16_t>(std::max(p, 1) - 1);
                ++m.reps;
                m.pc = next;
                break;
            case kEndRep:
                m.code = Clamped(m.code + signedP);
                if (m.reps > 0 && m.repLeft[m.reps - 1] > 0) {
                    --m.repLeft[m.reps - 1];
                    m.pc = m.repBody[m.reps - 1];
                } else {
                    if (m.reps > 0) --m.reps;
                    m.pc = next;
                }
                return;
            case kRet:
                if (m.calls == 0) return stop();
                m.code = Clamped(m.code + signedP);
                m.pc = m.ret[--m.calls];
                return;
            case kCall:
                if (m.calls == AfgStackDepth) return stop();
                m.ret[m.calls++] = next;
                m.pc = target;
                break;
            case kJmp:
                m.pc = target;
                break;
            case kWait:
                m.state = AfgState::Waiting;
                return;
            case kLoadN:
                m.hold = static_cast<std::uint16_t>(std::max(p, 1));
                m.pc = next;
                break;
            case kOutN:
            case kDiffN:
                m.code = op == kOutN ? static_cast<std::uint16_t>(p) : Clamped(m.code + signedP);
                m.pc = next;
                m.delay = static_cast<std::uint16_t>(m.hold - 1);
                return;
            default:  // STOP, and the codes the compiler does not produce
                return stop();
        }
    }
}

std::uint64_t AfgPlayer::HoldSteps(const Cursor& c) const
{
    switch (c.m.state) {
        case AfgState::Running:
            return c.m.delay;
        case AfgState::Waiting:
            return c.resume < resumeSteps_.size() ? resumeSteps_[c.resume] - c.done : kForever;
        case AfgState::Stopped:
            break;
    }
    return kForever;
}

// One step, or all the steps of a hold (never an endless one) at once.
void AfgPlayer::Next(Cursor& c) const
{
    const std::uint64_t hold = HoldSteps(c);
    if (hold > 0) {
        c.done += hold;
        c.m.mark = false;
        c.m.delay = 0;
    } else {
        Step(c.m, c.resume < resumeSteps_.size() && resumeSteps_[c.resume] == c.done);
        ++c.done;
    }
    while (c.resume < resumeSteps_.size() && resumeSteps_[c.resume] < c.done) ++c.resume;
}

AfgSample AfgPlayer::AfterSteps(std::uint64_t d) const
{
    Cache& k = *cache_;
    for (;;) {
        if (k.period && d >= k.periodFrom) {
            d = k.periodFrom + (d - k.periodFrom) % *k.period;
            if (!k.table.empty()) return Unpack(k.table[d - k.periodFrom]);
        }
        if (d < k.front.done) return k.Behind(*this, d);
        if (!k.Advance(*this, d)) return Cache::Read(k.front, d);
    }
}

AfgSample AfgPlayer::At(std::uint64_t tick) const
{
    const std::optional<std::uint64_t>& start = program_.run.start;
    if (!start || tick < *start) return {};
    // The sample of step k is the state after k + 1 steps.
    const std::uint64_t d = (tick - *start) / program_.stepTicks + 1;
    std::lock_guard lock(cache_->mutex);
    return AfterSteps(d);
}

std::optional<std::uint64_t> AfgPlayer::PeriodSteps() const
{
    std::lock_guard lock(cache_->mutex);
    return cache_->period;
}

}  // namespace kr40::sim
