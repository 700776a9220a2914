#include "simulator/signals.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <mutex>

#include "acquisition/scope_tables.h"

namespace kr40::sim {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::uint64_t kMask48 = (std::uint64_t{1} << 48) - 1;
constexpr double kTwoPow48 = 281474976710656.0;

// The fixed sources.
constexpr std::uint64_t kPeriod1k = 100'000;
constexpr std::uint64_t kPeriod10k = 10'000;
constexpr double kLogicHigh = 3.3;

// Acq_Flags: the logic inputs' Schmitt triggers off.
constexpr std::uint8_t kSchmittD1Off = 0x40, kSchmittD2Off = 0x80;
// How far back a logic input inside its hysteresis band looks for its level.
constexpr std::uint64_t kSchmittLookBack = std::uint64_t{1} << 26;

// 9600 bit/s: one bit lasts 10^8 / 9600 = 31250 / 3 ticks.
constexpr std::uint64_t kBitNum = 3, kBitDen = 31250;
constexpr int kLineBits = 22 * 10 + SerialIdleBits;
constexpr std::uint64_t kLinePeriod = kLineBits * kBitDen / kBitNum;  // 2,500,000 ticks
static_assert(kLineBits * kBitDen % kBitNum == 0, "the line must last a whole number of ticks");

// Generator words: Gen_Ampl = a * 4000 + 1; AM and SUM words are
// per-mille * 32.76775 (AM also * Gen_Ampl / 4096); the FM word is the
// deviation in 10 Hz steps * 2^30 / 10^8 * 2560 / 4094.
constexpr double kAmplSteps = 4000;
constexpr double kAfgAmplSteps = 4094;  // Gen_Ampl = a * 4094 + 1 in Gen_Mode 6
constexpr int kAfgMode = 6;
constexpr double kFullScaleVpp = 4.0;
constexpr double kModWordPerMille = 32.76775;
constexpr double kFmWordPer10Hz = 6.714164800781632;
// Modulation from an analog input: AM and SUM words are 16 times the
// per-division setting; the FM word is 2^30 / 10^8 per 2 Hz per division.
constexpr double kExternalDepthDivisor = 16;
constexpr double kFmWordPerStep = 10.73741824;
constexpr double kFmHzPerStep = 2;

struct SerialPattern {
    std::array<std::uint8_t, kLineBits> bits{};
    std::vector<std::uint64_t> risingTicks;  // within one line period
    double onesFraction = 0;
};

const SerialPattern& Serial()
{
    static const SerialPattern p = [] {
        SerialPattern s;
        const char* text = SerialTextLine;
        const std::size_t len = std::strlen(text);
        int b = 0;
        for (std::size_t c = 0; c < len; ++c) {
            const auto ch = static_cast<unsigned char>(text[c]);
            s.bits[b++] = 0;  // start bit
            for (int i = 0; i < 8; ++i) s.bits[b++] = (ch >> i) & 1;
            s.bits[b++] = 1;  // stop bit
        }
        while (b < kLineBits) s.bits[b++] = 1;  // idle
        int ones = 0;
        for (int i = 0; i < kLineBits; ++i) {
            ones += s.bits[i];
            if (s.bits[i] == 1 && s.bits[(i + kLineBits - 1) % kLineBits] == 0) {
                // First tick of bit i.
                s.risingTicks.push_back((static_cast<std::uint64_t>(i) * kBitDen + kBitNum - 1) / kBitNum);
            }
        }
        s.onesFraction = static_cast<double>(ones) / kLineBits;
        return s;
    }();
    return p;
}

// The staircase's step at a tick: -95 .. 95.
int StairStep(std::uint64_t tick)
{
    return static_cast<int>(tick / StaircaseStepTicks % StaircaseSteps) - StaircaseSteps / 2;
}

int SerialBit(std::uint64_t tick)
{
    const std::uint64_t bit = (tick % kLinePeriod) * kBitNum / kBitDen;
    return Serial().bits[bit];
}

// sin(2 pi x) for x in [0, 1): table with linear interpolation (error < 1e-6).
constexpr int kSineSize = 4096;
const std::array<double, kSineSize + 1>& SineTable()
{
    static const std::array<double, kSineSize + 1> t = [] {
        std::array<double, kSineSize + 1> v{};
        for (int i = 0; i <= kSineSize; ++i) v[i] = std::sin(2 * kPi * i / kSineSize);
        return v;
    }();
    return t;
}

double Sine(double x)
{
    const auto& t = SineTable();
    const double p = x * kSineSize;
    int i = static_cast<int>(p);
    if (i < 0) i = 0;
    if (i >= kSineSize) i = kSineSize - 1;
    return t[i] + (t[i + 1] - t[i]) * (p - i);
}

double Frac48(std::uint64_t acc)
{
    return static_cast<double>(acc & kMask48) / kTwoPow48;
}

double FracOf(double x)
{
    return x - std::floor(x);
}

std::uint64_t Mix(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// Uniform in [-0.5, 0.5).
double Hash01(std::uint64_t seed, std::uint64_t salt, std::uint64_t n)
{
    const std::uint64_t h = Mix(n ^ Mix(seed * 0x100000001B3ull + salt));
    return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0) - 0.5;
}

// The generator's noise is white up to about 10 MHz: a new value every 5 ticks.
constexpr std::uint64_t kNoiseHold = 5;
constexpr std::uint64_t kSaltCarrierNoise = 101, kSaltModNoise = 102;

// Waveform codes of Gen_Shape (carrier in bits 0-3, modulating oscillator in
// bits 4-7): 0 sine, 1 rising ramp, 2 falling ramp, 3 square, 4 triangle,
// 5 and 6 constant, 7 noise. `x` is the phase in cycles, 0..1. Constants and
// noise are handled by the callers.
double Periodic(int shape, double x)
{
    switch (shape) {
        case 0:
            return Sine(x);
        case 1:
            return 2 * x - 1;
        case 2:
            return 1 - 2 * x;
        case 3:
            return x < 0.5 ? 1 : -1;
        case 4:
            return x < 0.5 ? 4 * x - 1 : 3 - 4 * x;
        default:
            return 0;
    }
}

// Integral of Periodic(shape, u) du from 0 to x: the phase an FM deviation of
// one cycle per modulation period adds. Each is 0 at x = 0 and x = 1.
double PeriodicIntegral(int shape, double x)
{
    switch (shape) {
        case 0:
            return (1 - Sine(FracOf(x + 0.25))) / (2 * kPi);
        case 1:
            return x * x - x;
        case 2:
            return x - x * x;
        case 3:
            return x < 0.5 ? x : 1 - x;
        case 4:
            return x < 0.5 ? 2 * x * x - x : 3 * x - 2 * x * x - 1;
        default:
            return 0;
    }
}

// Phase (of a 48-bit accumulator) where a rising shape passes its mean.
std::uint64_t RisingPhase(int shape)
{
    switch (shape) {
        case 1:
            return std::uint64_t{1} << 47;  // rising ramp: half way
        case 4:
            return std::uint64_t{1} << 46;  // triangle: a quarter
        default:
            return 0;  // sine; square and falling ramp jump up at the wrap
    }
}

// The noiseless values of the sources other than the generator.
double FixedVolts(Source s, std::uint64_t tick)
{
    switch (s) {
        case Source::Sine1k3Vpp:
            return 1.5 * Sine(static_cast<double>(tick % kPeriod1k) / kPeriod1k);
        case Source::Square1k2Vpp:
            return tick % kPeriod1k < kPeriod1k / 2 ? 2.0 : 0.0;
        case Source::SerialText:
            return SerialBit(tick) ? kLogicHigh : 0.0;
        case Source::Clock10k:
            return tick % kPeriod10k < kPeriod10k / 2 ? kLogicHigh : 0.0;
        case Source::Staircase:
            return StairStep(tick) / 32.0;
        default:
            return 0;
    }
}

int FixedLevel(Source s, std::uint64_t tick)
{
    switch (s) {
        case Source::Sine1k3Vpp:
            return FixedVolts(s, tick) > 0 ? 1 : 0;
        case Source::Square1k2Vpp:
            return tick % kPeriod1k < kPeriod1k / 2 ? 1 : 0;
        case Source::SerialText:
            return SerialBit(tick);
        case Source::Clock10k:
            return tick % kPeriod10k < kPeriod10k / 2 ? 1 : 0;
        case Source::Staircase:
            return StairStep(tick) > 0 ? 1 : 0;
        default:
            return 0;
    }
}

std::uint64_t FixedPeriod(Source s)
{
    switch (s) {
        case Source::Sine1k3Vpp:
        case Source::Square1k2Vpp:
            return kPeriod1k;
        case Source::SerialText:
            return kLinePeriod;
        case Source::Clock10k:
            return kPeriod10k;
        case Source::Staircase:
            return StaircaseStepTicks * StaircaseSteps;
        default:
            return 1;
    }
}

// 64 x 64 -> 128-bit product as (high, low).
void Mul128(std::uint64_t a, std::uint64_t b, std::uint64_t& hi, std::uint64_t& lo)
{
    const std::uint64_t aL = a & 0xFFFFFFFFu, aH = a >> 32;
    const std::uint64_t bL = b & 0xFFFFFFFFu, bH = b >> 32;
    const std::uint64_t ll = aL * bL, lh = aL * bH, hl = aH * bL, hh = aH * bH;
    const std::uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFFu) + (hl & 0xFFFFFFFFu);
    lo = (mid << 32) | (ll & 0xFFFFFFFFu);
    hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
}

}  // namespace

// ---------------------------------------------------------------------------

std::uint64_t EdgeTrain::Count(std::uint64_t tick) const
{
    switch (kind) {
        case Kind::Periodic: {
            if (offsets.empty() || period == 0) return 0;
            const std::uint64_t within = tick % period;
            const auto upTo = std::upper_bound(offsets.begin(), offsets.end(), within) - offsets.begin();
            return tick / period * offsets.size() + static_cast<std::uint64_t>(upTo);
        }
        case Kind::Dds: {
            // Edges k with k * 2^48 + phase <= increment * tick.
            std::uint64_t hi, lo;
            Mul128(increment, tick, hi, lo);
            if (hi == 0 && lo < phase) return 0;
            const std::uint64_t borrow = lo < phase ? 1 : 0;
            lo -= phase;
            hi -= borrow;
            return ((hi << 16) | (lo >> 48)) + 1;
        }
        default:
            return 0;
    }
}

std::uint64_t EdgeTrain::Time(std::uint64_t k) const
{
    switch (kind) {
        case Kind::Periodic:
            if (offsets.empty()) return 0;
            return k / offsets.size() * period + offsets[k % offsets.size()];
        case Kind::Dds: {
            if (increment == 0) return 0;
            // Estimate, then settle on the first tick that holds k + 1 edges.
            const long double exact =
                (static_cast<long double>(k) * kTwoPow48 + static_cast<long double>(phase)) / increment;
            std::uint64_t t = static_cast<std::uint64_t>(std::ceil(exact));
            while (t > 0 && Count(t - 1) >= k + 1) --t;
            while (Count(t) < k + 1) ++t;
            return t;
        }
        default:
            return 0;
    }
}

// ---------------------------------------------------------------------------

double VoltsPerDivision(std::uint8_t range)
{
    const int code = range & 0x07;
    for (const VoltsRow& row : VoltsPerDiv)
        if (row.rangeCode == code) return row.uV * 1e-6;
    return VoltsPerDiv[0].uV * 1e-6;  // unused codes read as the least sensitive range
}

// A fixed source as a modulating signal: its value at each tick (volts, or
// +-1 by logic level) and the running sum of that value, which FM turns into
// phase. The value repeats every `period` ticks; within a period it is a
// sine of amplitude `sine`, or else constant on steps.
struct SignalModel::ModInput {
    std::uint64_t period = 1;
    double sine = 0;
    std::vector<std::uint64_t> starts;  // first tick of each step, from 0
    std::vector<double> values;         // the value on each step
    std::vector<double> sums;           // sum over the ticks before each step
    double perPeriod = 0;               // sum over one period
    double peak = 0, mean = 0;          // largest |value|, mean value

    // Steps found by looking at every tick of one period.
    template <class Value>
    static ModInput Steps(std::uint64_t period, Value value)
    {
        ModInput in;
        in.period = period;
        double sum = 0;
        for (std::uint64_t t = 0; t < period; ++t) {
            const double v = value(t);
            if (t == 0 || v != in.values.back()) {
                in.starts.push_back(t);
                in.values.push_back(v);
                in.sums.push_back(sum);
                in.peak = std::max(in.peak, std::abs(v));
            }
            sum += v;
        }
        in.perPeriod = sum;
        in.mean = sum / static_cast<double>(period);
        return in;
    }

    // Sum of the values at ticks 0 .. r - 1, for r below the period.
    double Within(std::uint64_t r) const
    {
        if (sine != 0) return sine * static_cast<double>(period) * PeriodicIntegral(0, static_cast<double>(r) / period);
        const std::size_t k =
            static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), r) - starts.begin()) - 1;
        return sums[k] + values[k] * static_cast<double>(r - starts[k]);
    }

    // c times the sum of the values at ticks 0 .. tick - 1, in cycles modulo 1.
    // Whole periods count by their fractional phase, which keeps the result
    // exact at any tick.
    double Phase(std::uint64_t tick, double c) const
    {
        const double whole = FracOf(static_cast<double>(tick / period) * FracOf(c * perPeriod));
        return FracOf(whole + c * Within(tick % period));
    }
};

const SignalModel::ModInput* SignalModel::ModInputOf(Source s, bool logic)
{
    if (s == Source::Generator) return nullptr;
    // One entry per fixed source and reading, built on first use.
    constexpr std::size_t kEntries = 2 * static_cast<std::size_t>(Source::Staircase);
    static std::array<std::once_flag, kEntries> once;
    static std::array<ModInput, kEntries> inputs;
    const std::size_t i = 2 * (static_cast<std::size_t>(s) - 1) + (logic ? 1 : 0);
    std::call_once(once[i], [&] {
        const std::uint64_t period = FixedPeriod(s);
        if (s == Source::Sine1k3Vpp && !logic) {
            inputs[i].period = period;
            inputs[i].sine = inputs[i].peak = 1.5;
        } else if (logic) {
            inputs[i] = ModInput::Steps(period, [s](std::uint64_t t) { return FixedLevel(s, t) ? 1.0 : -1.0; });
        } else {
            inputs[i] = ModInput::Steps(period, [s](std::uint64_t t) { return FixedVolts(s, t); });
        }
    });
    return &inputs[i];
}

// ---------------------------------------------------------------------------

SignalModel::SignalModel(SignalOptions options, InstrumentTruth truth) : opt_(options), truth_(truth)
{
    Serial();  // build the shared tables before any concurrent use
    SineTable();
}

void SignalModel::Configure(const SimRegisters& regs)
{
    schmitt_ = {!(regs.AcqFlags() & kSchmittD1Off), !(regs.AcqFlags() & kSchmittD2Off)};

    Generator g;
    g.on = !(regs.RangeA1() & 0x08);
    g.mode = regs.GenMode() & 0x0F;
    const int modSrc = (regs.GenMode() >> 4) & 0x07;
    g.external = modSrc != 0;
    g.modSign = (regs.GenMode() & 0x80) ? -1 : 1;
    g.shape = regs.GenShape() & 0x0F;
    g.modShape = (regs.GenShape() >> 4) & 0x07;  // bit 7 is the one-shot run request
    g.wordA = regs.GenWordA();
    g.wordB = regs.GenWordB();
    g.modInc = regs.GenModInc();
    const double ampl = regs.GenAmpl();
    const double a = std::max(0.0, ampl - 1) / (g.mode == kAfgMode ? kAfgAmplSteps : kAmplSteps);
    g.half = a * kFullScaleVpp / 2;
    g.depth = ampl > 0 ? g.wordB * 4096.0 / (kModWordPerMille * ampl) / 1000 : 0;
    g.level = g.wordB / kModWordPerMille / 1000;
    const double fm = g.modInc * static_cast<double>(TicksPerSecond) / kTwoPow48;
    double deviationHz = g.wordB * 10.0 / kFmWordPer10Hz;
    g.devCycles = fm > 0 ? deviationHz / fm : 0;
    if (g.external) {
        // 1, 2: A1, A2 per division; 3, 4: D1, D2 as +-1; 5..7: nothing.
        g.modLogic = modSrc >= 3;
        if (modSrc <= 4) {
            g.modSource = g.modLogic ? DigitalSource(modSrc - 3) : AnalogSource(modSrc - 1);
            g.modInput = ModInputOf(g.modSource, g.modLogic);
        }
        if (!g.modLogic) {
            g.modScale = 1 / VoltsPerDivision(regs.Range(modSrc - 1));
            g.depth /= kExternalDepthDivisor;
            g.level /= kExternalDepthDivisor;
            deviationHz = g.wordB * kFmHzPerStep / kFmWordPerStep;
        }
        g.devPerTick = deviationHz / static_cast<double>(TicksPerSecond) * g.modScale;
        g.modPeak = g.modInput ? g.modInput->peak * g.modScale : 0;
        g.modMean = g.modInput ? g.modSign * g.modInput->mean * g.modScale : 0;
    }
    g.decim = std::uint64_t{regs.Decim()} + 1;
    g.postN = regs.PostN();
    gen_ = g;

    if (g.mode != kAfgMode) {
        afg_.reset();
        return;
    }
    AfgProgram p;
    p.words = regs.wave;
    p.stepTicks = g.wordB + 1;
    p.markAddress = static_cast<std::uint32_t>(std::min<std::uint64_t>(g.wordA, AfgMemoryWords));
    p.run = afgRun_;
    UseAfgProgram(std::move(p));
}

void SignalModel::UseAfgProgram(AfgProgram program)
{
    if (!afg_ || !(afg_->Program() == program)) afg_ = std::make_shared<const AfgPlayer>(std::move(program));
}

void SignalModel::SetAfgRun(const AfgRunTicks& run)
{
    afgRun_ = run;
    if (!afg_ || afg_->Program().run == run) return;
    AfgProgram p = afg_->Program();
    p.run = run;
    UseAfgProgram(std::move(p));
}

std::optional<AfgSample> SignalModel::Afg(std::uint64_t tick) const
{
    if (!afg_) return std::nullopt;
    return afg_->At(tick);
}

bool SignalModel::MarkOnD1() const
{
    return gen_.on && afg_ && afg_->Program().markAddress < AfgMemoryWords;
}

double SignalModel::Noise(int salt, std::uint64_t tick) const
{
    return Hash01(opt_.seed, static_cast<std::uint64_t>(salt), tick);
}

double SignalModel::Random(std::uint64_t salt, std::uint64_t n) const
{
    return Hash01(opt_.seed, salt, n);
}

double SignalModel::Modulation(std::uint64_t tick) const
{
    const Generator& g = gen_;
    if (g.external) {
        if (!g.modInput) return 0;
        const double v =
            g.modLogic ? (FixedLevel(g.modSource, tick) ? 1 : -1) : FixedVolts(g.modSource, tick) * g.modScale;
        return g.modSign * v;
    }
    double m;
    if (g.modShape == 7)
        m = 2 * Hash01(opt_.seed, kSaltModNoise, tick / kNoiseHold);
    else
        m = Periodic(g.modShape, Frac48(g.modInc * tick));
    return g.modSign * m;
}

double SignalModel::GeneratorVolts(std::uint64_t tick) const
{
    const Generator& g = gen_;
    if (!g.on) return 1.5 * Sine(static_cast<double>(tick % kPeriod1k) / kPeriod1k);

    // The carrier at phase x (cycles); `constant` stands for shapes 5 and 6.
    auto carrier = [&](double x, double constant) {
        if (g.shape == 7) return 2 * Hash01(opt_.seed, kSaltCarrierNoise, tick / kNoiseHold);
        if (g.shape == 5 || g.shape == 6) return constant;
        return Periodic(g.shape, x);
    };

    switch (g.mode) {
        case 1: {  // sweep: the increment grows by Gen_Word_B every sample clock over Post_N clocks
            if (g.postN == 0) break;
            const std::uint64_t length = g.postN * g.decim;
            const std::uint64_t tau =
                tick >= sweepStart_ ? (tick - sweepStart_) % length : (length - (sweepStart_ - tick) % length) % length;
            const std::uint64_t j = tau / g.decim;
            const std::uint64_t acc = g.wordA * tau + g.wordB * (g.decim * (j * (j - 1) / 2) + j * (tau - j * g.decim));
            return g.half * carrier(Frac48(acc), 0);
        }
        case 2:  // AM: half the amplitude, so that full depth stays in range
            return g.half / 2 * carrier(Frac48(g.wordA * tick), 1) * (1 + g.depth * Modulation(tick));
        case 3: {  // FM
            double x = Frac48(g.wordA * tick);
            if (g.external) {
                if (g.modInput && g.devPerTick != 0) x = FracOf(x + g.modSign * g.modInput->Phase(tick, g.devPerTick));
            } else if (g.devCycles != 0 && g.modShape <= 4) {
                x = FracOf(x + g.modSign * g.devCycles * PeriodicIntegral(g.modShape, Frac48(g.modInc * tick)));
            }
            return g.half * carrier(x, 0);
        }
        case 4:  // SUM: carrier and modulating signal, half the amplitude each
            return g.half / 2 * (carrier(Frac48(g.wordA * tick), 0) + g.level * Modulation(tick));
        case kAfgMode:
            return (afg_->At(tick).code - AfgMidCode) / static_cast<double>(AfgMidCode) * g.half;
        case 7: {  // pulse: period Gen_Word_A + 1 ticks, high for Gen_Word_B ticks
            const std::uint64_t period = g.wordA + 1;
            return (tick % period) < g.wordB ? g.half : -g.half;
        }
        default:
            break;
    }
    return g.half * carrier(Frac48(g.wordA * tick), 0);
}

double SignalModel::GeneratorMean() const
{
    const Generator& g = gen_;
    if (!g.on) return 0;
    if (g.mode == 7) {
        const double period = static_cast<double>(g.wordA) + 1;
        const double width = std::min(static_cast<double>(g.wordB), period);
        return g.half * (2 * width / period - 1);
    }
    // AM of a constant carrier: the envelope's mean; SUM: the modulating
    // signal's. Only modulation from an input can have a mean.
    if (g.mode == 2 && (g.shape == 5 || g.shape == 6)) return g.half / 2 * (1 + g.depth * g.modMean);
    if (g.mode == 4) return g.half / 2 * g.level * g.modMean;
    return 0;  // every other shape swings symmetrically about 0 V
}

double SignalModel::SourceVolts(Source s, std::uint64_t tick) const
{
    return s == Source::Generator ? GeneratorVolts(tick) : FixedVolts(s, tick);
}

double SignalModel::SourceMean(Source s) const
{
    switch (s) {
        case Source::Generator:
            return GeneratorMean();
        case Source::Square1k2Vpp:
            return 1.0;
        case Source::SerialText:
            return kLogicHigh * Serial().onesFraction;
        case Source::Clock10k:
            return kLogicHigh / 2;
        default:
            return 0;
    }
}

int SignalModel::SourceLevel(Source s, std::uint64_t tick) const
{
    if (s == Source::Generator) return GeneratorVolts(tick) > GeneratorMean() ? 1 : 0;
    return FixedLevel(s, tick);
}

double SignalModel::Volts(int analogChannel, std::uint64_t tick) const
{
    const double v = SourceVolts(AnalogSource(analogChannel), tick);
    if (opt_.noiseVpp == 0) return v;
    return v + opt_.noiseVpp * Noise(analogChannel, tick);
}

int SignalModel::Bit(int digitalChannel, std::uint64_t tick) const
{
    if (digitalChannel == 0 && MarkOnD1()) return afg_->At(tick).mark ? 1 : 0;
    const Source s = DigitalSource(digitalChannel);
    if (s == Source::SerialText || s == Source::Clock10k) return FixedLevel(s, tick);

    const InputThresholds& th = truth_.thresholds[static_cast<std::size_t>(digitalChannel)];
    if (!schmitt_[static_cast<std::size_t>(digitalChannel)]) return SourceVolts(s, tick) > th.single ? 1 : 0;
    // Inside the band the input keeps the level of the last tick outside it.
    std::uint64_t back = 0;
    for (std::uint64_t step = 1;; step *= 2) {
        const double v = SourceVolts(s, tick - back);
        if (v > th.rise) return 1;
        if (v < th.fall) return 0;
        if (back == tick || step > kSchmittLookBack) return 0;
        back = std::min(back + step, tick);
    }
}

double SignalModel::MeanVolts(int analogChannel) const
{
    return SourceMean(AnalogSource(analogChannel));
}

EdgeTrain SignalModel::Edges(Source s) const
{
    EdgeTrain e;
    auto periodic = [&e](std::uint64_t period, std::vector<std::uint64_t> offsets) {
        e.kind = EdgeTrain::Kind::Periodic;
        e.period = period;
        e.offsets = std::move(offsets);
    };
    switch (s) {
        case Source::Sine1k3Vpp:
        case Source::Square1k2Vpp:
            periodic(kPeriod1k, {0});
            break;
        case Source::Clock10k:
            periodic(kPeriod10k, {0});
            break;
        case Source::SerialText:
            periodic(kLinePeriod, Serial().risingTicks);
            break;
        case Source::Ground:
            break;
        case Source::Staircase:
            // Above its mean (0 V) from the step after the middle one.
            periodic(FixedPeriod(s), {(StaircaseSteps / 2 + 1) * StaircaseStepTicks});
            break;
        case Source::Generator: {
            const Generator& g = gen_;
            if (!g.on) {
                periodic(kPeriod1k, {0});
                break;
            }
            if (g.half <= 0) break;
            if (g.mode == kAfgMode) {
                e.kind = EdgeTrain::Kind::Sampled;  // whatever the program plays
                break;
            }
            if (g.mode == 7) {
                if (g.wordB > 0 && g.wordB <= g.wordA) periodic(g.wordA + 1, {0});
                break;
            }
            // A continuous wave, or AM that never turns the carrier over,
            // crosses its mean once per carrier cycle.
            const bool continuous = g.mode == 0 || g.mode == 5 || g.mode >= 8;
            const bool constant = g.shape == 5 || g.shape == 6;
            if (g.shape <= 4 && (continuous || (g.mode == 2 && g.depth * g.modPeak <= 1))) {
                if (g.wordA != 0) {
                    e.kind = EdgeTrain::Kind::Dds;
                    e.increment = g.wordA & kMask48;
                    e.phase = RisingPhase(g.shape);
                }
            } else if (!(continuous && constant)) {
                e.kind = EdgeTrain::Kind::Sampled;
            }
            break;
        }
    }
    return e;
}

// ---------------------------------------------------------------------------

namespace {

constexpr std::uint32_t kOverflowTime = 0xFFFFFFFFu;
constexpr std::uint32_t kCountLimit = 0x7FFFFFF;
// Sources without a known edge train: periods are looked for this far back.
constexpr std::uint64_t kPeriodLookBack = TicksPerSecond;

std::uint32_t Clamp32(std::uint64_t v, std::uint32_t limit)
{
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(v, limit));
}

// The meter's own clock, off by `ppm` from exact time: the tick it counts at
// a true tick, as a counter does, in whole ticks.
class MeterClock {
public:
    explicit MeterClock(double ppm) : error_(ppm * 1e-6) {}

    // Its ticks between two true ticks a <= b.
    std::uint32_t Between(std::uint64_t a, std::uint64_t b) const
    {
        return Clamp32(static_cast<std::uint64_t>(At(b) - At(a)), kOverflowTime);
    }
    // True ticks of `own` of its ticks.
    std::uint64_t TrueSpan(std::uint64_t own) const
    {
        return static_cast<std::uint64_t>(std::llround(static_cast<double>(own) / (1 + error_)));
    }

private:
    std::int64_t At(std::uint64_t t) const
    {
        return static_cast<std::int64_t>(t) + static_cast<std::int64_t>(std::floor(static_cast<double>(t) * error_));
    }
    double error_;
};

// The level of input 0..3 (A1, A2, D1, D2) as the meter sees it.
int InputLevel(const SignalModel& m, int input, std::uint64_t tick)
{
    return input < 2 ? m.SourceLevel(m.AnalogSource(input), tick) : m.Bit(input - 2, tick);
}

// Rising edges of an input in (from, to], found on a grid of 2^17 points.
std::vector<std::uint64_t> SampleEdges(const SignalModel& m, int input, std::uint64_t from, std::uint64_t to)
{
    constexpr std::uint64_t kPoints = 1 << 17;
    std::vector<std::uint64_t> edges;
    const std::uint64_t span = to - from;
    if (span == 0) return edges;
    int prev = InputLevel(m, input, from);
    for (std::uint64_t i = 1; i <= kPoints; ++i) {
        const std::uint64_t t = from + span * i / kPoints;
        const int level = InputLevel(m, input, t);
        if (level && !prev) edges.push_back(t);
        prev = level;
    }
    return edges;
}

// Every `step`-th edge of an input in (from, to].
std::vector<std::uint64_t> SampledEdges(const SignalModel& m, int input, std::uint64_t from, std::uint64_t to,
                                        std::uint64_t step)
{
    const std::vector<std::uint64_t> all = SampleEdges(m, input, from, to);
    std::vector<std::uint64_t> edges;
    for (std::size_t i = 0; i < all.size(); i += step) edges.push_back(all[i]);
    return edges;
}

}  // namespace

FreqMeterResult MeasureFrequency(const SimRegisters& regs, const SignalModel& model, std::uint64_t tickNow,
                                 std::uint64_t countFrom, double timeBasePpm)
{
    const std::uint8_t src = regs.FmSrc();  // bit 7, the counter reset, is the instrument's business
    const int code = src & 0x0F;
    const bool periodMode = src & 0x10;
    FreqMeterResult r;
    if (code == 0 || code > 10) return r;

    // 1..4 the inputs, 5/6 D1/D2 through the divide-by-8 prescaler, 7..10
    // the trigger source's input.
    const int input = code <= 4 ? code - 1 : code <= 6 ? code - 3 : code - 7;
    const std::uint64_t step = (code == 5 || code == 6) ? 8 : 1;
    const Source s = input < 2 ? model.AnalogSource(input) : model.DigitalSource(input - 2);
    // D1 carrying the generator's trigger mark has no edge train of its own.
    const bool mark = input == 2 && model.MarkOnD1();
    EdgeTrain e = mark ? EdgeTrain{} : model.Edges(s);
    if (mark) e.kind = EdgeTrain::Kind::Sampled;
    const MeterClock clock(timeBasePpm);

    r.status = static_cast<std::uint8_t>(code | (periodMode ? 0 : 0x10) | 0x20);
    const std::uint64_t gate = clock.TrueSpan(FreqMeterGate);
    const std::uint64_t gateStart = tickNow > gate ? tickNow - gate : 0;

    if (e.kind == EdgeTrain::Kind::None) {
        r.time = periodMode ? kOverflowTime : 0;
        return r;
    }

    if (e.kind == EdgeTrain::Kind::Sampled) {
        if (!periodMode) {
            const std::vector<std::uint64_t> edges = SampledEdges(model, input, gateStart, tickNow, step);
            r.count = static_cast<std::uint32_t>(edges.size());
            r.time = edges.size() >= 2 ? clock.Between(edges.front(), edges.back()) : 0;
        } else {
            const std::uint64_t from = tickNow > kPeriodLookBack ? tickNow - kPeriodLookBack : 0;
            const std::vector<std::uint64_t> edges = SampledEdges(model, input, from, tickNow, step);
            const std::size_t n = edges.size();
            r.time = n >= 2 ? clock.Between(edges[n - 2], edges[n - 1]) : kOverflowTime;
            // Events since countFrom, at the rate seen in the look-back.
            const std::uint64_t span = tickNow - from;
            const std::uint64_t since = tickNow > countFrom ? tickNow - countFrom : 0;
            r.count =
                span ? Clamp32(static_cast<std::uint64_t>(static_cast<double>(n) * since / span), kCountLimit) : 0;
        }
        return r;
    }

    // Edge indices: the edges in (a, b] are Count(a) .. Count(b) - 1; with the
    // prescaler only indices divisible by `step` count.
    const std::uint64_t hiCount = e.Count(tickNow);
    if (!periodMode) {
        const std::uint64_t first = (e.Count(gateStart) + step - 1) / step * step;
        if (hiCount == 0 || first > hiCount - 1) return r;
        const std::uint64_t last = (hiCount - 1) / step * step;
        if (last < first) return r;
        r.count = Clamp32((last - first) / step + 1, 0xFFFFFFFFu);
        r.time = clock.Between(e.Time(first), e.Time(last));
    } else {
        r.time = kOverflowTime;
        if (hiCount > 0) {
            const std::uint64_t last = (hiCount - 1) / step * step;
            if (last >= step) r.time = clock.Between(e.Time(last - step), e.Time(last));
        }
        const std::uint64_t fromCount = e.Count(countFrom);
        r.count = Clamp32(hiCount > fromCount ? (hiCount - fromCount) / step : 0, kCountLimit);
    }
    return r;
}

}  // namespace kr40::sim
