// Cost of one resolution step and of its trace rendering as the number of label panels grows.
#include "rules/SpaceResolutionPolicy.h"

#include <benchmark/benchmark.h>

#include <vector>

using namespace sm::SpaceResolutionPolicy;

namespace {

// A realistic spread: panels on three screens, most of them on other desktops, one present on the
// active screen so the verdict resolves only after scanning everything.
std::vector<PanelSnapshot> snapshots(int count) {
    std::vector<PanelSnapshot> out;
    out.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const bool present = i == count / 2;
        const quint32 screen = present ? 1 : static_cast<quint32>(1 + i % 3);
        out.push_back({QUuid::createUuid(), screen, present || i % 5 == 0, present});
    }
    return out;
}

void BM_verdict(benchmark::State& state) {
    const auto input = snapshots(static_cast<int>(state.range(0)));
    const QUuid previous = input.front().tagId;
    for (auto _ : state)
        benchmark::DoNotOptimize(verdict(input, 1, previous, false));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_verdict)->Arg(10)->Arg(1000);

void BM_describe(benchmark::State& state) {
    const auto input = snapshots(static_cast<int>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(describe(input, 1));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_describe)->Arg(1000);

} // namespace

BENCHMARK_MAIN();
