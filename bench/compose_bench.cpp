#include <benchmark/benchmark.h>

#include <memory>

#include "acquisition/scope_tables.h"
#include "state/compose.h"
#include "state/scope_state.h"

namespace {

// One composition per settings change; step through the time bases so the
// divider arithmetic sees a different input each time.
void BM_ComposeAcqConfig(benchmark::State& state)
{
    auto st = std::make_unique<kr40::ScopeState>();
    st->settings.Trig_On = true;
    st->settings.TPLUS = true;
    int tb = 0;
    for (auto _ : state) {
        st->settings.Sel(kr40::Group::TimeBase) = tb;
        kr40::ComposeAcqConfig(*st);
        benchmark::DoNotOptimize(st->acq.Decim);
        benchmark::DoNotOptimize(st->acq.Pre_N);
        tb = (tb + 1) % kr40::TimeBaseCount;
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComposeAcqConfig);

}  // namespace
