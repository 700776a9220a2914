#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <memory>

#include "acquisition/frame.h"
#include "display/scope_screen.h"
#include "display/screen.h"
#include "display/trace.h"
#include "state/scope_state.h"

namespace {

// One full screen pass (RenderFrame with grid, markers and flag, then
// ComposeScreen with labels, pointers and measurements) of a 20000-sample
// frame with all four channels shown.
// Arguments: paint box width and height, time per division (ns), divider,
// persistence (0 off; 1 on, a frame between two 50 ms ticks; 2 on, a frame
// that also ages the picture by one tick). Divider 1 at a fast time base gives sparse samples, which are
// interpolated (sin(x)/x); Divider 50 at 1 mS/div puts about ten samples in
// every column.
void BM_FrameScreen(benchmark::State& state)
{
    const int width = static_cast<int>(state.range(0)), height = static_cast<int>(state.range(1));
    const auto timeDiv = static_cast<std::uint64_t>(state.range(2));
    const int divider = static_cast<int>(state.range(3));
    const bool persistence = state.range(4) != 0;
    const bool tick = state.range(4) == 2;

    auto st = std::make_unique<kr40::ScopeState>();
    kr40::FrameSet* live = st->live.get();  // the screen draws the state's own frames
    kr40::ScopeSettings& s = st->settings;
    s.CH_A1 = s.CH_A2 = s.CH_D1 = s.CH_D2 = true;
    s.Persistence = persistence;
    s.Sel(kr40::Group::DrawMode) = kr40::DrawSinxx;
    s.A1_Zero = s.A2_Zero = 128;
    st->acq.Time_Div_ns = timeDiv;
    st->acq.uV_Div_A1 = st->acq.uV_Div_A2 = 1'000'000;

    constexpr int n = 20000;
    kr40::FrameRecord& r = live->rec;
    r.Divider = divider;
    r.FrameLen = r.ValidLen = r.RingEnd = n;
    r.PreLen = n / 2;
    r.TrigFine10 = 3;
    r.uV_Div_A1 = r.uV_Div_A2 = 1'000'000;
    r.A1_Zero = r.A2_Zero = 128;
    kr40::FrameBuffers& b = live->buf;
    std::uint32_t noise = 12345;
    for (int i = 0; i < n; ++i) {
        noise = noise * 1103515245u + 12345u;
        const int jitter = static_cast<int>((noise >> 16) % 5) - 2;
        b.A1_First[i] = b.A1_Second[i] = static_cast<std::int32_t>(128 + 90 * std::sin(i * 0.0123) + jitter);
        b.A2_First[i] = b.A2_Second[i] = static_cast<std::int32_t>(128 + 60 * std::cos(i * 0.0311) + jitter);
        b.D1_First[i] = b.D1_Second[i] = (i / 17) & 1;
        b.D2_First[i] = b.D2_Second[i] = (i / 40) & 1;
    }
    b.filled = n;

    kr40::DisplayState d;
    kr40::RecomputeGeometry(d, width, height);
    for (auto _ : state) {
        if (persistence) kr40::RequestPersistenceReset(d);  // a new frame
        if (tick) kr40::PersistenceTimerTick(d);            // the picture ages
        kr40::DrawFrameScreen(d, *st, false);
        benchmark::DoNotOptimize(d.ScreenBitmap.constBits());
    }
    state.SetItemsProcessed(state.iterations());
    if (persistence) {
        // How much of the persistence layer the traces cover: the ageing cost
        // grows with it.
        std::int64_t covered = 0;
        for (int y = 0; y < d.GridBitmap.height(); ++y) {
            const std::uint8_t* row = d.GridBitmap.constScanLine(y);
            for (int x = 0; x < d.GridBitmap.width(); ++x) covered += row[x] != kr40::kTagEmpty;
        }
        state.counters["layer_px"] = static_cast<double>(covered);
    }
}
BENCHMARK(BM_FrameScreen)
    ->ArgNames({"w", "h", "ns_div", "div", "persist"})
    // 1920 x 1080: 0.93 px per sample at 2 uS/div (interpolated), dense at 1 mS/div.
    ->Args({1920, 1080, 2000, 1, 0})
    ->Args({1920, 1080, 2000, 1, 1})
    ->Args({1920, 1080, 2000, 1, 2})
    ->Args({1920, 1080, 1'000'000, 50, 0})
    ->Args({1920, 1080, 1'000'000, 50, 1})
    ->Args({1920, 1080, 1'000'000, 50, 2})
    // 3840 x 2160: 1.89 px per sample at 2 uS/div (interpolated), about five samples per column at 1 mS/div.
    ->Args({3840, 2160, 2000, 1, 0})
    ->Args({3840, 2160, 2000, 1, 1})
    ->Args({3840, 2160, 2000, 1, 2})
    ->Args({3840, 2160, 1'000'000, 50, 0})
    ->Args({3840, 2160, 1'000'000, 50, 1})
    ->Args({3840, 2160, 1'000'000, 50, 2})
    // 731 x 499: 1.32 px per sample at 0.5 uS/div (interpolated), dense at 1 mS/div.
    ->Args({731, 499, 500, 1, 0})
    ->Args({731, 499, 500, 1, 1})
    ->Args({731, 499, 500, 1, 2})
    ->Args({731, 499, 1'000'000, 50, 0})
    ->Args({731, 499, 1'000'000, 50, 1})
    ->Args({731, 499, 1'000'000, 50, 2})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
