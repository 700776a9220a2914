#include "simulator/frame_builder.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "device/packets.h"

namespace kr40::sim {

namespace {

// Status block bytes the instrument fills itself (the rest echo the page).
constexpr int kState = 0x00;
constexpr int kTimeWord = 0x14;  // T_Lo echo; the measured width after a pulse-width trigger
constexpr int kTrigCounter = 0x24;
constexpr int kRingWrite = 0x28;
constexpr int kRingTrig = 0x2A;
constexpr int kCrossBefore = 0x2C;
constexpr int kCrossAfter = 0x2D;
constexpr int kTdcReading = 0x2E;
constexpr int kStatusWord = 0x42;

constexpr std::uint8_t kStateRing = 0x01;
constexpr std::uint8_t kStateWrapped = 0x02;
constexpr std::uint8_t kStateNoTrigger = 0x04;

constexpr int kMaxSamples = 20000;             // sample memory per channel
constexpr std::uint64_t kMinSearch = 1 << 18;  // positions
constexpr std::uint64_t kPeakPoints = 8;       // points per position for minimum and maximum

// Noise salts: the ADC's two uniform parts per channel, the TDC's phase.
constexpr std::uint64_t kSaltAdcNoise = 201;  // 201..204
constexpr std::uint64_t kSaltTdcPhase = 211;

// Mode_Flags bits 3 (time condition), 4 (inside), 5-6 (advanced kind);
// TPlus_Flags bits 4 (video line) and 5 (event count).
constexpr std::uint8_t kModeTime = 0x08, kModeInside = 0x10, kModeKind = 0x60;
constexpr std::uint8_t kTPlusVideoCount = 0x30;

// First tick in (a, b] at which `met` holds, given that it holds at b; b
// itself when it held at a already.
template <class Met>
std::uint64_t FirstMet(std::uint64_t a, std::uint64_t b, Met met)
{
    if (met(a)) return b;
    while (b - a > 1) {
        const std::uint64_t mid = a + (b - a) / 2;
        (met(mid) ? b : a) = mid;
    }
    return b;
}

// The pulse-width trigger: a time condition with neither an advanced kind
// (period, runt, slew) nor event counting or video lines.
bool PulseWidthMode(const SimRegisters& regs)
{
    return (regs.ModeFlags() & kModeTime) && !(regs.ModeFlags() & kModeKind) && !(regs.TPlus() & kTPlusVideoCount);
}

void Put16(std::array<std::uint8_t, StatusLength>& st, int k, std::uint32_t v)
{
    st[k] = static_cast<std::uint8_t>(v);
    st[k + 1] = static_cast<std::uint8_t>(v >> 8);
}

void Put32(std::array<std::uint8_t, StatusLength>& st, int k, std::uint32_t v)
{
    Put16(st, k, v & 0xFFFF);
    Put16(st, k + 2, v >> 16);
}

}  // namespace

struct FrameBuilder::Layout {
    std::uint64_t D = 1;  // ticks per position
    int n = 0;            // samples per channel in the payload
    int perPos = 1;       // 2 in pair frames (peak detect)
    int positions = 0;    // FrameLen
    int preLen = 0;
    bool present[4] = {};
    std::uint8_t typeMask = 0;
    std::size_t payloadLength = 0;
};

// The trigger fired between search positions j - 1 and j; its condition was
// first met at tick `met`. A pulse-width trigger also gives the width.
struct FrameBuilder::TriggerHit {
    std::uint64_t j = 0;
    std::uint64_t met = 0;
    bool pulse = false;
    std::uint64_t width = 0;  // ticks
};

std::uint8_t FrameBuilder::Scale::Code(double volts, double noise) const
{
    // Rounded half away from zero and kept to 0..254 (0xFF is the packet mark).
    const double x = zero + (volts - offset) * codesPerVolt + noise;
    if (!(x >= 0.5)) return 0;
    if (x >= 253.5) return 254;
    return static_cast<std::uint8_t>(x + 0.5);
}

FrameBuilder::FrameBuilder(SignalOptions options, InstrumentTruth truth) : model_(options, truth) {}

// Triangular, +-adcNoiseCodes: the sum of two uniform parts of half that.
double FrameBuilder::AdcNoise(int ch, std::uint64_t tick) const
{
    const double a = model_.Truth().adcNoiseCodes;
    if (a == 0) return 0;
    const std::uint64_t salt = kSaltAdcNoise + 2 * static_cast<std::uint64_t>(ch);
    return a * (model_.Random(salt, tick) + model_.Random(salt + 1, tick));
}

// Values of memory positions k .. k + count - 1, taken at tick0, tick0 + D, ...
void FrameBuilder::Fill(const Layout& L, int k, int count, std::uint64_t tick0)
{
    const bool pair = L.perPos == 2;
    // Pair frames: minimum and maximum over points spread across the position.
    const std::uint64_t points = pair ? std::min<std::uint64_t>(L.D, kPeakPoints) : 1;
    const std::uint64_t spread = L.D - 1;
    for (int ch = 0; ch < 4; ++ch) {
        if (!L.present[ch]) continue;
        std::uint8_t* lo = first_[ch].data() + k;
        std::uint8_t* hi = second_[ch].data() + k;
        std::uint64_t t = tick0;
        for (int i = 0; i < count; ++i, t += L.D) {
            if (ch < 2) {
                if (!pair) {
                    lo[i] = AnalogCode(ch, t);
                    continue;
                }
                std::uint8_t cMin = AnalogCode(ch, t), cMax = cMin;
                for (std::uint64_t q = 1; q < points; ++q) {
                    const std::uint8_t c = AnalogCode(ch, t + q * spread / (points - 1));
                    cMin = std::min(cMin, c);
                    cMax = std::max(cMax, c);
                }
                lo[i] = cMin;
                hi[i] = cMax;
            } else {
                const int dch = ch - 2;
                int bMin = model_.Bit(dch, t), bMax = bMin;
                for (std::uint64_t q = 1; q < points; ++q) {
                    const int b = model_.Bit(dch, t + q * spread / (points - 1));
                    bMin = std::min(bMin, b);
                    bMax = std::max(bMax, b);
                }
                lo[i] = static_cast<std::uint8_t>(bMin);
                hi[i] = static_cast<std::uint8_t>(bMax);
            }
        }
    }
}

// Ring positions not written yet: the zero level and logic 0.
void FrameBuilder::FillEmpty(const Layout& L, int k, int count)
{
    for (int ch = 0; ch < 4; ++ch) {
        if (!L.present[ch]) continue;
        const std::uint8_t v = ch < 2 ? scale_[ch].Code(scale_[ch].offset) : 0;
        std::fill_n(first_[ch].begin() + k, count, v);
        std::fill_n(second_[ch].begin() + k, count, v);
    }
}

// Looks at search positions j = 0 .. window - 1 (tick start + j * D) for the
// first that completes the trigger condition after the pre-trigger part.
bool FrameBuilder::FindTrigger(const SimRegisters& regs, const Layout& L, std::uint64_t start, std::uint64_t window,
                               TriggerHit& hit) const
{
    const std::uint8_t acqFlags = regs.AcqFlags();
    const bool digital = acqFlags & 0x02;
    const int ch = (acqFlags & 0x04) ? 1 : 0;
    const bool falling = acqFlags & 0x10;
    const int lo = regs.TrigLo(ch), hi = regs.TrigHi(ch);
    const std::uint64_t preLen = static_cast<std::uint64_t>(L.preLen);
    auto at = [&](std::uint64_t j) { return start + j * L.D; };

    if (PulseWidthMode(regs)) {
        // The input through the comparator: 1 at or above Hi, 0 at or below
        // Lo, the previous level in between (-1: not known yet).
        auto level = [&](std::uint64_t t, int prev) {
            if (digital) return model_.Bit(ch, t);
            const int code = AnalogCode(ch, t);
            return code >= hi ? 1 : code <= lo ? 0 : prev;
        };
        const int pulseLevel = falling ? 0 : 1;
        const bool inside = regs.ModeFlags() & kModeInside;
        const std::uint64_t tLo = regs.TLo(), tHi = regs.THi();
        int state = level(start, -1);
        bool started = false;  // a pulse began inside the search, at `begin`
        std::uint64_t begin = 0;
        for (std::uint64_t j = 1; j < window; ++j) {
            const int now = level(at(j), state);
            if (state >= 0 && now != state) {
                const int from = state;
                const std::uint64_t edge =
                    FirstMet(at(j - 1), at(j), [&](std::uint64_t t) { return level(t, from) == now; });
                if (now == pulseLevel) {
                    started = true;
                    begin = edge;
                } else if (started) {
                    started = false;
                    const std::uint64_t width = edge - begin;
                    if (j > preLen && (width >= tLo && width < tHi) == inside) {
                        hit = {j, edge, true, width};
                        return true;
                    }
                }
            }
            state = now;
        }
        return false;
    }

    // Edge. Analog: a comparator with the window Lo..Hi; rising arms at <= Lo
    // and fires at >= Hi, falling the other way round. Digital: a transition.
    bool armed = false;
    int prevBit = digital ? model_.Bit(ch, start) : 0;
    for (std::uint64_t j = digital ? 1 : 0; j < window; ++j) {
        const std::uint64_t t = at(j);
        bool fire;
        if (digital) {
            const int b = model_.Bit(ch, t);
            fire = falling ? (prevBit == 1 && b == 0) : (prevBit == 0 && b == 1);
            prevBit = b;
        } else {
            const int code = AnalogCode(ch, t);
            fire = armed && (falling ? code <= lo : code >= hi);
            if (fire) armed = false;
            if (falling ? code >= hi : code <= lo) armed = true;
        }
        if (fire && j > preLen) {
            auto met = [&](std::uint64_t u) {
                if (digital) return model_.Bit(ch, u) == (falling ? 0 : 1);
                const int code = AnalogCode(ch, u);
                return falling ? code <= lo : code >= hi;
            };
            hit = {j, FirstMet(at(j - 1), t, met), false, 0};
            return true;
        }
    }
    return false;
}

// The time-to-digital converter after a digital trigger whose level was
// first seen changed at tick `met`: the edge lies p ticks earlier (the level
// changed between met - 1 and met), and the delay line's taps cover the first
// three quarters of the tick, saturating at the path's count over the last.
std::uint8_t FrameBuilder::TdcReading(std::uint8_t acqFlags, std::uint64_t met) const
{
    const int path = (acqFlags & 0x04) ? 1 : 0;
    const int edge = (acqFlags & 0x10) ? 1 : 0;
    const double c = model_.Truth().tdcCounts[static_cast<std::size_t>(path * 2 + edge)];
    const double p = model_.Random(kSaltTdcPhase, met ^ (std::uint64_t{frames_} << 40)) + 0.5;
    const double taps = std::min(c, std::floor(p * c * 4 / 3));
    return static_cast<std::uint8_t>(static_cast<unsigned>(taps) & 0x1F);
}

std::vector<std::uint8_t> FrameBuilder::Acquire(const SimRegisters& regs, std::uint64_t& tick,
                                                std::uint64_t acqStartTick)
{
    model_.Configure(regs);
    const std::uint8_t acqFlags = regs.AcqFlags();
    const std::uint8_t mode = regs.ModeFlags();

    Layout L;
    L.D = std::uint64_t{regs.Decim()} + 1;
    L.n = static_cast<int>(std::min<std::uint32_t>(regs.PreN() + regs.PostN(), kMaxSamples));
    L.perPos = (acqFlags & 0x01) ? 2 : 1;
    L.positions = L.n / L.perPos;
    L.preLen = std::min(static_cast<int>(regs.PreN()) / L.perPos, L.positions);

    // Channels: pair mode transfers one analog channel (A2 with Mode_Flags
    // bit 1) and one digital channel (D2 with bit 2). The type byte names both
    // channels of each transferred pair, so that the payload length the host
    // computes from it (halved in pair mode) is what follows.
    unsigned mask = regs.ChMask() & 0x0Fu;
    const bool pairMode = mode & 0x01;
    if (pairMode) {
        mask &= (mode & 0x02) ? ~0x01u : ~0x02u;
        mask &= (mode & 0x04) ? ~0x04u : ~0x08u;
        L.typeMask = static_cast<std::uint8_t>(((mask & 0x03) ? 0x03 : 0) | ((mask & 0x0C) ? 0x0C : 0));
    } else {
        L.typeMask = static_cast<std::uint8_t>(mask);
    }
    for (int ch = 0; ch < 4; ++ch) L.present[ch] = (mask >> ch) & 1u;
    {
        const std::size_t n = static_cast<std::size_t>(L.n);
        std::size_t len = 0;
        for (int bit = 0; bit < 4; ++bit)
            if (L.typeMask & (1u << bit)) len += bit < 2 ? n : n / 4;
        L.payloadLength = pairMode ? len / 2 : len;
    }

    for (int ch = 0; ch < 2; ++ch) {
        Scale& s = scale_[ch];
        const double voltsPerDiv = VoltsPerDivision(regs.Range(ch));
        s.zero = model_.Truth().zero[static_cast<std::size_t>(ch)].ZeroCode(regs.ZeroCal(ch), voltsPerDiv);
        s.codesPerVolt = 32 / voltsPerDiv;
        s.offset = (regs.Range(ch) & 0x10) ? model_.MeanVolts(ch) : 0;  // AC coupling
    }
    for (int ch = 0; ch < 4; ++ch) {
        first_[ch].resize(static_cast<std::size_t>(L.positions));
        second_[ch].resize(static_cast<std::size_t>(L.positions));
    }

    std::array<std::uint8_t, StatusLength> st = regs.page;
    std::uint8_t state = 0;
    const int P = L.positions;
    const bool roll = (regs.RollFlags() & 0x03) && !(mode & 0x80);

    if (roll) {
        // Ring index = position number since the start, modulo the frame length.
        const std::uint64_t elapsed = tick > acqStartTick ? (tick - acqStartTick) / L.D : 0;
        const bool wrapped = P > 0 && elapsed >= static_cast<std::uint64_t>(P);
        const int w = P > 0 ? static_cast<int>(elapsed % static_cast<std::uint64_t>(P)) : 0;
        // Ring indices below W hold this lap, the others the lap before.
        const std::uint64_t lap = elapsed - static_cast<std::uint64_t>(w);
        Fill(L, 0, w, acqStartTick + lap * L.D);
        if (wrapped)
            Fill(L, w, P - w, acqStartTick + (elapsed - static_cast<std::uint64_t>(P)) * L.D);
        else
            FillEmpty(L, w, P - w);
        state = kStateRing | kStateNoTrigger | (wrapped ? kStateWrapped : 0);
        // A full ring that just wrapped reports W = FrameLen, so that it ends at the frame end.
        const int wReport = (wrapped && w == 0) ? P : w;
        Put16(st, kRingWrite, static_cast<std::uint32_t>(wReport * L.perPos));
        Put16(st, kRingTrig, 0);
    } else {
        std::uint64_t t0 = tick;  // tick of linear position 0
        bool triggered = false;
        if ((mode & 0x80) && P > 0) {
            const bool pulseMode = PulseWidthMode(regs);
            const bool digital = acqFlags & 0x02;
            const int ch = (acqFlags & 0x04) ? 1 : 0;
            const std::uint64_t window = static_cast<std::uint64_t>(L.preLen) +
                                         std::max<std::uint64_t>(10 * static_cast<std::uint64_t>(P), kMinSearch);
            const std::uint64_t s = tick;
            TriggerHit hit;
            triggered = FindTrigger(regs, L, s, window, hit);
            if (pulseMode) Put32(st, kTimeWord, 0);  // no width measured (yet)

            if (triggered) {
                // The last position before the condition was met lands at
                // PreLen; the decoder's fine position counts from there.
                t0 = s + (hit.j - 1 - static_cast<std::uint64_t>(L.preLen)) * L.D;
                // Where between the two positions the condition was met, to the
                // tick: C ticks after position PreLen.
                const std::uint64_t before = s + (hit.j - 1) * L.D;
                const std::uint64_t a = hit.met - 1;
                Put32(st, kTrigCounter, static_cast<std::uint32_t>(a - before));
                if (!digital) {
                    st[kCrossBefore] = AnalogCode(ch, a);
                    st[kCrossAfter] = AnalogCode(ch, hit.met);
                }
                st[kTdcReading] = digital ? TdcReading(acqFlags, hit.met) : 0;
                if (hit.pulse)
                    Put32(st, kTimeWord, static_cast<std::uint32_t>(std::min<std::uint64_t>(hit.width, 0xFFFFFFFFu)));
                tick = t0 + static_cast<std::uint64_t>(P) * L.D;
            } else if (acqFlags & 0x20) {
                t0 = s + (window - static_cast<std::uint64_t>(P)) * L.D;
                tick = s + window * L.D;
            } else {
                tick = s + window * L.D;
                return {};
            }
        } else {
            tick += static_cast<std::uint64_t>(P) * L.D;
        }
        if (!triggered) state |= kStateNoTrigger;
        // The generator's sweep restarts at the trigger position, so that it
        // runs from the start to the stop frequency over the post-trigger part.
        model_.SetSweepStart(t0 + static_cast<std::uint64_t>(L.preLen) * L.D);

        // Circular memory: memory position k holds linear position
        // (PreLen - T + k) mod FrameLen, so the trigger sits at T.
        const int T =
            P > 0 ? static_cast<int>((std::uint64_t{frames_} * 0x9E3779B1u + 17) % static_cast<std::uint64_t>(P)) : 0;
        const int off = P > 0 ? ((L.preLen - T) % P + P) % P : 0;
        Fill(L, 0, P - off, t0 + static_cast<std::uint64_t>(off) * L.D);
        Fill(L, P - off, off, t0);
        Put16(st, kRingWrite, 0);
        Put16(st, kRingTrig, static_cast<std::uint32_t>(T * L.perPos));
    }

    st[kState] = state;
    Put16(st, kStatusWord, frames_ & 0xFFFF);
    ++frames_;

    // Payload: per sample the A1 and A2 bytes; logic bits gather (D1 before
    // D2) and every fourth completes a byte, the first bit in bit 3.
    std::vector<std::uint8_t> payload;
    payload.reserve(L.payloadLength);
    unsigned bits = 0;
    int pending = 0;
    for (int i = 0; P > 0 && i < L.n; ++i) {
        const int k = std::min(i / L.perPos, P - 1);
        const bool second = (i % L.perPos) == 1;
        for (int ch = 0; ch < 4; ++ch) {
            if (!L.present[ch]) continue;
            const std::uint8_t v = second ? second_[ch][k] : first_[ch][k];
            if (ch < 2) {
                payload.push_back(v);
            } else {
                bits = (bits << 1) | v;
                if (++pending == 4) {
                    payload.push_back(static_cast<std::uint8_t>(bits));
                    bits = 0;
                    pending = 0;
                }
            }
        }
    }
    payload.resize(L.payloadLength, 0);
    return EncodeMainPacket(static_cast<std::uint8_t>(0x80 | L.typeMask), payload, st);
}

}  // namespace kr40::sim
