#pragma once
// The simulated instrument's acquisition: from the registers the host wrote,
// one main packet (wire bytes) per call, laid out as the instrument sends it.
//
// Timing: positions are D = Decim + 1 ticks apart; a frame holds
// FrameLen = (Pre_N + Post_N) positions, or half as many with peak detect,
// where each position carries the minimum and the maximum over its D ticks.
//
// Trigger (Mode_Flags bit 7, outside roll mode): the search starts at `tick`
// and looks at most PreLen + max(10 frame lengths, 2^18) positions ahead.
// The first position that completes the trigger condition lands at linear
// index PreLen; the frame is then stored rotated by a trigger position T that
// changes from frame to frame, as the instrument's circular memory holds it.
// Without a trigger in the window, Auto (Acq_Flags bit 5) sends the last
// frame length of the window untriggered; otherwise no frame is due.
//
// Conditions: an edge through the comparator window Lo..Hi (digital: a
// transition), or the pulse-width trigger (Mode_Flags bit 3 with bits 5-6
// and the count and video bits of TPlus_Flags clear). A pulse is a stretch at
// one comparator level, high (at or above Hi) for a rising Edge, low (at or
// below Lo) for a falling one, timed to the tick from its first edge to its
// end edge; it qualifies when T_Lo <= width < T_Hi (Mode_Flags bit 4, inside)
// or not (bit 4 clear, outside), and the trigger point is its end edge. The
// status block then carries the width, in ticks, where it otherwise echoes
// T_Lo (0x14..0x17); an untriggered frame in that mode reports 0 there.
// Positions are looked at D ticks apart, so a pulse or gap shorter than one
// position may go unseen.
//
// Time-to-digital reading (status 0x2E) after a digital trigger (edge or
// pulse width): the edge really lies p ticks before tick `met` (where the level is first seen
// changed), p in [0, 1) drawn from the trigger tick and the frame number. The
// trigger path (D1, or D2 with Acq_Flags bit 2) and edge (falling with bit 4)
// pick a count c of delay-line taps per tick (InstrumentTruth::tdcCounts);
// the taps cover the first three quarters of the tick, so the reading is
// min(c, floor(p * c * 4 / 3)) and shows the full count in about one frame in
// four. Analog triggers read 0.
//
// Analog codes: 0 V lands on the channel's zero code for its offset DAC
// code and range (InstrumentTruth::zero); the ADC's own triangular noise
// (InstrumentTruth::adcNoiseCodes) comes on top before the code is rounded.
//
// Every frame outside roll mode restarts the generator's sweep at linear
// position PreLen (triggered or not), as the instrument does at its trigger.
//
// Roll mode (Roll_Flags bits 0-1 set, trigger off): the ring holds the
// newest samples since `acqStartTick`, with `tick` as now. The caller moves
// `tick` on with its clock; Acquire leaves it alone in roll mode.

#include <cstdint>
#include <vector>

#include "simulator/signals.h"
#include "simulator/sim_registers.h"

namespace kr40::sim {

class FrameBuilder {
public:
    explicit FrameBuilder(SignalOptions options = {}, InstrumentTruth truth = {});

    // One main packet for the registers in force, or nothing when a normal
    // trigger did not fire. Outside roll mode `tick` advances to the end of the
    // frame (or of the search window).
    std::vector<std::uint8_t> Acquire(const SimRegisters& regs, std::uint64_t& tick, std::uint64_t acqStartTick);

    // The RUN requests of the generator's arbitrary-waveform program, for the
    // next Acquire.
    void SetAfgRun(const AfgRunTicks& run) { model_.SetAfgRun(run); }

    // The inputs, configured from the registers of the last Acquire.
    const SignalModel& Signals() const { return model_; }

private:
    struct Layout;
    struct Scale {
        double zero = 0, codesPerVolt = 0, offset = 0;
        // `noise`: codes added before rounding (the ADC's own noise).
        std::uint8_t Code(double volts, double noise = 0) const;
    };

    struct TriggerHit;
    bool FindTrigger(const SimRegisters& regs, const Layout& L, std::uint64_t start, std::uint64_t window,
                     TriggerHit& hit) const;
    void Fill(const Layout& L, int k, int count, std::uint64_t tick0);
    void FillEmpty(const Layout& L, int k, int count);
    double AdcNoise(int ch, std::uint64_t tick) const;
    std::uint8_t TdcReading(std::uint8_t acqFlags, std::uint64_t met) const;
    std::uint8_t AnalogCode(int ch, std::uint64_t tick) const
    {
        return scale_[ch].Code(model_.Volts(ch, tick), AdcNoise(ch, tick));
    }

    SignalModel model_;
    Scale scale_[2];
    std::uint32_t frames_ = 0;
    // Per channel (A1, A2, D1, D2) and memory position: the value, or in
    // pair frames the first (minimum) and second (maximum) value.
    std::vector<std::uint8_t> first_[4], second_[4];
};

}  // namespace kr40::sim
