#include <benchmark/benchmark.h>

#include <cstddef>
#include <vector>

#include "core/value_format.h"

namespace {

struct FormatInput {
    double value;
    kr40::UnitKind kind;
    int digits;
};

// A spread of magnitudes over every band, both signs, each kind and typical
// digit requests.
std::vector<FormatInput> MakeInputs()
{
    std::vector<FormatInput> inputs;
    const int digitChoices[] = {-4, -3, 0, 2, 5};
    double magnitude = 0.0037;
    for (int i = 0; i < 256; ++i) {
        const double sign = (i % 3 == 0) ? -1.0 : 1.0;
        inputs.push_back({sign * magnitude, static_cast<kr40::UnitKind>(i % 6), digitChoices[i % 5]});
        magnitude *= 1.23;
        if (magnitude > 5e12) {
            magnitude = 0.0037;
        }
    }
    return inputs;
}

void BM_FormatValue(benchmark::State& state)
{
    const std::vector<FormatInput> inputs = MakeInputs();
    std::size_t i = 0;
    for (auto _ : state) {
        const FormatInput& in = inputs[i];
        benchmark::DoNotOptimize(kr40::FormatValue(in.value, in.kind, in.digits));
        i = (i + 1) % inputs.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatValue);

}  // namespace
