#pragma once
// The signals at the simulated instrument's inputs and its frequency meter.
// Time is counted in ticks of the instrument's 100 MHz clock (10 ns). Every
// value is a pure function of the tick, so the same tick always gives the
// same value, noise included.
//
// Sources:
//  - Generator: the instrument's own generator, as its registers set it. While
//    the generator is off (Range_A1 bit 3 set) the input sees a 1 kHz sine of
//    3 V peak-to-peak instead, as if a signal source were connected.
//    Amplitude: Gen_Ampl = a * 4000 + 1 gives a fraction `a` of full scale;
//    full scale is 4 V peak-to-peak, so the output swings +-2a volts.
//  - Sine1k3Vpp: 1 kHz sine, 3 V peak-to-peak around 0 V.
//  - Square1k2Vpp: 1 kHz square from 0 V to 2 V (high in the first half).
//  - SerialText: "KR40 demo 0123456789\r\n" at 9600 bit/s, 8N1, characters
//    back to back, each line followed by 20 idle bit times (high); the line
//    repeats every 25 ms. As a voltage: 0 V / 3.3 V.
//  - Clock10k: 10 kHz square, high in the first half; 0 V / 3.3 V.
//  - Ground: 0 V.
//  - Staircase: a counter for checking recordings. It climbs in steps of
//    1/32 V (one ADC code at 1 V/div) from -95/32 V to +95/32 V, one step
//    every StaircaseStepTicks, and starts again from the bottom after
//    StaircaseSteps steps. Sampled every StaircaseStepTicks (100 us, the
//    interval of 0.1 s/div at 1000 samples a division), consecutive samples
//    differ by one code except at the wrap, so a gap or a repeat shows.
// Analog inputs add uniform noise of `noiseVpp` peak-to-peak.
//
// Logic inputs: SerialText and Clock10k are logic signals and read as such.
// A logic input fed from an analog source compares the noiseless signal with
// the input's thresholds (InstrumentTruth::thresholds). With its Schmitt
// trigger on (Acq_Flags bit 6 clear for D1, bit 7 for D2) it reads 1 above
// `rise`, 0 below `fall`, and in between the level it had when the signal was
// last outside that band; with it off, 1 above `single`. To stay a pure
// function of the tick, the last tick outside the band is looked for at 0, 1,
// 3, 7, ... ticks back (up to 2^26): the first such tick found decides, which
// is the last one for signals that stay out of the band at least as long as
// they dwell in it. An input never found outside reads 0.
//
// The frequency meter's edge trains (Edges) and the generator's modulation
// from D1/D2 still switch such an input where the source passes its long-run
// mean.
//
// Generator modulation (AM, FM, SUM) comes from its own oscillator or, with
// Gen_Mode bits 4-6 = 1..4, from input A1, A2, D1 or D2. The modulating
// value m is then the noiseless signal of the source feeding that input:
//  - A1/A2: volts divided by the volts per division of the input's range, so
//    the words set the effect per division: AM depth = (depth of the word)
//    / 16, SUM level = (level of the word) / 16, FM deviation =
//    Gen_Word_B * 2 / 10.73741824 Hz.
//  - D1/D2: +1 while the logic level is 1, -1 while it is 0; the words mean
//    what they mean for the oscillator (whose m swings -1..1).
// Gen_Mode bit 7 inverts m in every case. FM advances the carrier's phase by
// the deviation times the running sum of m over the ticks. A generator cannot
// be modulated by its own output: an input fed by Source::Generator (as A1 is
// by default) gives m = 0, and so do codes 5..7.
//
// Sweep (Gen_Mode 1): the increment starts at Gen_Word_A and grows by
// Gen_Word_B every Decim + 1 ticks for Post_N steps, then starts again. The
// sweeps are counted from the origin SetSweepStart sets (tick 0 until then),
// which the acquisition puts at each frame's trigger position.
//
// Arbitrary waveform (Gen_Mode 6): the program in the waveform memory runs on
// an AfgPlayer (afg_player.h), one step every Gen_Word_B + 1 ticks, from the
// RUN requests SetAfgRun gives. Output code c puts (c - 2048) / 2048 *
// (Gen_Ampl - 1) / 4094 * 2 V on the generator (+-2 V at full scale). With
// Gen_Word_A below 2048, D1 carries the trigger mark (high in the steps where
// the word at that address runs) instead of its source. Nothing of this while
// the generator is off. Configure keeps the player, and so what it has
// worked out, as long as the program, its step, its mark and its RUN ticks
// stay the same; copies of a model share it. The player guards its own
// caches, so a model may be read from several threads once configured.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "simulator/afg_player.h"
#include "simulator/instrument_truth.h"
#include "simulator/sim_registers.h"

namespace kr40::sim {

enum class Source { Generator, Sine1k3Vpp, Square1k2Vpp, SerialText, Clock10k, Ground, Staircase };

struct SignalOptions {
    Source a1 = Source::Generator;
    Source a2 = Source::Square1k2Vpp;
    Source d1 = Source::SerialText;
    Source d2 = Source::Clock10k;
    double noiseVpp = 0.02;
    std::uint32_t seed = 1;
};

inline constexpr std::uint64_t TicksPerSecond = 100'000'000;
inline constexpr const char* SerialTextLine = "KR40 demo 0123456789\r\n";
inline constexpr int SerialBaud = 9600;
inline constexpr int SerialIdleBits = 20;  // after each line
inline constexpr std::uint64_t StaircaseStepTicks = 10'000;
inline constexpr int StaircaseSteps = 191;

// Volts per division of an analog input's range (Range_A1/Range_A2 bits 0-2).
double VoltsPerDivision(std::uint8_t range);

// Rising edges of a source (through its mean for analog sources), as used by
// the frequency meter. Edge k (k = 0, 1, ...) is at tick Time(k); Count(t) is
// the number of edges at ticks <= t.
struct EdgeTrain {
    enum class Kind {
        None,      // no edges
        Periodic,  // edges at n * period + offsets[i]
        Dds,       // one edge per wrap of a 48-bit phase accumulator: at the first
                   // tick where increment * tick reaches k * 2^48 + phase
        Sampled,   // not periodic: find the edges by sampling the source
    };
    Kind kind = Kind::None;
    std::uint64_t period = 0;
    std::vector<std::uint64_t> offsets;  // ascending, below period
    std::uint64_t increment = 0, phase = 0;

    std::uint64_t Count(std::uint64_t tick) const;  // Periodic and Dds
    std::uint64_t Time(std::uint64_t k) const;      // Periodic and Dds
};

class SignalModel {
public:
    explicit SignalModel(SignalOptions options = {}, InstrumentTruth truth = {});

    // Takes the generator and sweep settings and the logic inputs' Schmitt
    // triggers from the registers.
    void Configure(const SimRegisters& regs);
    // Tick at which a sweep starts; earlier and later sweeps follow at whole
    // sweep lengths. Configure keeps it.
    void SetSweepStart(std::uint64_t tick) { sweepStart_ = tick; }
    // The RUN requests of the arbitrary-waveform program; Configure keeps them.
    void SetAfgRun(const AfgRunTicks& run);
    // The arbitrary-waveform player's output at a tick; none outside Gen_Mode 6.
    std::optional<AfgSample> Afg(std::uint64_t tick) const;
    // D1 carries the player's trigger mark.
    bool MarkOnD1() const;

    // Input voltage of analog channel 0 (A1) or 1 (A2), noise included.
    double Volts(int analogChannel, std::uint64_t tick) const;
    // Level of logic channel 0 (D1) or 1 (D2), through its thresholds.
    int Bit(int digitalChannel, std::uint64_t tick) const;
    // Uniform in [-0.5, 0.5), a pure function of the seed, `salt` and `n`:
    // the noise every random-looking value of the instrument is drawn from.
    double Random(std::uint64_t salt, std::uint64_t n) const;
    // Long-run mean of an analog input: what AC coupling removes.
    double MeanVolts(int analogChannel) const;

    // The noiseless signal of a source and its logic level.
    double SourceVolts(Source s, std::uint64_t tick) const;
    int SourceLevel(Source s, std::uint64_t tick) const;
    double SourceMean(Source s) const;
    EdgeTrain Edges(Source s) const;

    const SignalOptions& Options() const { return opt_; }
    const InstrumentTruth& Truth() const { return truth_; }
    Source AnalogSource(int ch) const { return ch == 0 ? opt_.a1 : opt_.a2; }
    Source DigitalSource(int ch) const { return ch == 0 ? opt_.d1 : opt_.d2; }

private:
    struct ModInput;  // a fixed source as a modulating signal, with its running sums
    static const ModInput* ModInputOf(Source s, bool logic);

    struct Generator {
        bool on = false;
        int mode = 0;           // Gen_Mode bits 0-3
        int shape = 5;          // carrier, Gen_Shape bits 0-3
        int modShape = 5;       // modulating oscillator, Gen_Shape bits 4-7
        bool external = false;  // modulation from an input (Gen_Mode bits 4-6 not 0)
        double modSign = 1;     // -1 with Gen_Mode bit 7 (inversion)
        // External modulation: the source (none: m = 0), read as a logic
        // level or in volts times modScale (1 / volts per division).
        const ModInput* modInput = nullptr;
        Source modSource = Source::Ground;
        bool modLogic = false;
        double modScale = 1;
        double modPeak = 1, modMean = 0;  // largest |m| and the long-run mean of m
        std::uint64_t wordA = 0, wordB = 0, modInc = 0;
        double half = 0;                     // half the peak-to-peak output, volts
        double depth = 0;                    // AM depth per unit of m
        double level = 0;                    // SUM: modulating signal relative to the carrier, per unit of m
        double devCycles = 0;                // FM: peak phase excursion per modulation period, cycles
        double devPerTick = 0;               // FM from an input: cycles per tick per unit of m
        std::uint64_t decim = 1, postN = 0;  // sweep: sample clock and length
    };

    double GeneratorVolts(std::uint64_t tick) const;
    double GeneratorMean() const;
    double Modulation(std::uint64_t tick) const;       // m, inverted with Gen_Mode bit 7
    double Noise(int salt, std::uint64_t tick) const;  // uniform, -0.5..0.5

    void UseAfgProgram(AfgProgram program);

    SignalOptions opt_;
    InstrumentTruth truth_;
    std::array<bool, 2> schmitt_{true, true};  // D1, D2
    Generator gen_;
    std::uint64_t sweepStart_ = 0;
    AfgRunTicks afgRun_;
    std::shared_ptr<const AfgPlayer> afg_;  // Gen_Mode 6 only
};

struct FreqMeterResult {
    std::uint8_t status = 0;  // source code | 0x10 frequency mode | 0x20 valid
    std::uint32_t count = 0;  // edges in the gate, or events since countFrom
    std::uint32_t time = 0;   // 10 ns ticks from the first to the last edge, or one period
};

// The meter's gate: 10 ms of the instrument's clock.
inline constexpr std::uint64_t FreqMeterGate = 1'000'000;

// The frequency meter as selected by FM_Src. Frequency mode counts the rising
// edges in the gate before tickNow and reports the time from the first to the
// last of them, so that (count - 1) * 10^8 / time is the frequency. Period
// mode reports the last full period before tickNow (0xFFFFFFFF when there is
// none) and the number of edges since countFrom, the last counter reset
// (capped at 0x7FFFFFF). HF inputs (codes 5 and 6) count every eighth edge.
//
// The signals run on exact time; the meter's clock runs fast by
// timeBasePpm, so every time it measures (and its gate) is in its own
// ticks: a true interval t reads as about t * (1 + timeBasePpm * 1e-6), and a
// frequency reads low by the same factor until the program's calibration
// trims it out.
FreqMeterResult MeasureFrequency(const SimRegisters& regs, const SignalModel& model, std::uint64_t tickNow,
                                 std::uint64_t countFrom = 0, double timeBasePpm = 0);

}  // namespace kr40::sim
