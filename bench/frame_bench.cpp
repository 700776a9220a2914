#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "acquisition/acq_config.h"
#include "acquisition/frame.h"

namespace {

using Status = std::array<std::uint8_t, 128>;

void Put16(Status& st, int k, unsigned v)
{
    st[k] = static_cast<std::uint8_t>(v);
    st[k + 1] = static_cast<std::uint8_t>(v >> 8);
}

// A noisy sine on the analog channels and two clock-like digital lines,
// interleaved the way the instrument sends them.
std::vector<std::uint8_t> MakePayload(unsigned present, int n)
{
    std::vector<std::uint8_t> out;
    std::uint32_t noise = 12345;
    int pending = 0;
    unsigned bits = 0;
    for (int i = 0; i < n; ++i) {
        noise = noise * 1103515245u + 12345u;
        const int jitter = static_cast<int>((noise >> 16) % 5) - 2;
        if (present & 1u) out.push_back(static_cast<std::uint8_t>(128 + 90 * std::sin(i * 0.0123) + jitter));
        if (present & 2u) out.push_back(static_cast<std::uint8_t>(128 + 60 * std::cos(i * 0.0311) + jitter));
        if (present & 4u) bits = (bits << 1) | ((i / 17) & 1u), ++pending;
        if (present & 8u) bits = (bits << 1) | ((i / 40) & 1u), ++pending;
        if (pending == 4) {
            out.push_back(static_cast<std::uint8_t>(bits & 0x0Fu));
            pending = 0;
            bits = 0;
        }
    }
    return out;
}

struct Bench {
    kr40::AcqConfig acq;
    kr40::DecodeContext ctx;
    std::unique_ptr<kr40::FrameSet> live = std::make_unique<kr40::FrameSet>();
    kr40::RecorderStream rec;
    Status st{};
    std::vector<std::uint8_t> payload;

    void Run(benchmark::State& state)
    {
        for (auto _ : state) {
            const auto r = kr40::DecodeFrame(0x8F, payload, std::span<const std::uint8_t, 128>(st), ctx, *live, rec);
            benchmark::DoNotOptimize(r);
            benchmark::DoNotOptimize(live->rec.SumA1);
            benchmark::ClobberMemory();
        }
        state.SetItemsProcessed(state.iterations() * acq.Smpl_N);
    }
};

// Triggered full-rate frame of 10000 samples on A1 A2 D1 D2, analog trigger
// on A1 (the interpolating fine-trigger path).
void BM_DecodeFrame4Ch10k(benchmark::State& state)
{
    Bench b;
    b.acq.Smpl_N = 10000;
    b.acq.Pre_N = 2000;
    b.acq.Trig_Hi_A1 = 140;
    b.acq.Trig_Lo_A1 = 120;
    b.ctx.acq = &b.acq;
    b.ctx.A1_Zero = 128;
    b.ctx.A2_Zero = 128;
    b.ctx.Lev_A1 = 130;
    b.st[0x02] = 0x80;  // trigger on
    b.st[0x1C] = 0x0F;
    Put16(b.st, 0x08, 2000);
    Put16(b.st, 0x0A, 8000);
    Put16(b.st, 0x2A, 6123);
    b.payload = MakePayload(0x0F, 10000);
    b.Run(state);
}
BENCHMARK(BM_DecodeFrame4Ch10k);

// Pair mode (A1 and D1 transferred) with peak detect: 20000 samples, that is
// 10000 positions of two values.
void BM_DecodeFramePair20k(benchmark::State& state)
{
    Bench b;
    b.acq.Smpl_N = 20000;
    b.acq.Pre_N = 4000;
    b.ctx.acq = &b.acq;
    b.ctx.A1_Zero = 128;
    b.st[0x01] = 0x01 | 0x02;  // peak detect, digital trigger source D1
    b.st[0x02] = 0x80 | 0x01;  // trigger on, pair mode
    b.st[0x04] = 9;            // divider 10
    b.st[0x1C] = 0x0F;
    Put16(b.st, 0x08, 4000);
    Put16(b.st, 0x0A, 16000);
    Put16(b.st, 0x2A, 13000);
    b.payload = MakePayload(0x05, 20000);
    b.Run(state);
}
BENCHMARK(BM_DecodeFramePair20k);

}  // namespace
