// Cost of one timer tick on the fake desktop: time, and heap allocations.
#include <benchmark/benchmark.h>

#include "bench/tick_rig.h"

namespace {

void TickBench(benchmark::State& state, bool everyKeyFresh) {
  TickRig rig(everyKeyFresh);
  const long long before = g_allocations.load();
  for (auto _ : state) rig.Tick();
  const long long allocations = g_allocations.load() - before;
  state.counters["allocs_per_tick"] =
      benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
}

void BM_TickIdle(benchmark::State& state) { TickBench(state, false); }
void BM_TickEveryKeyFresh(benchmark::State& state) { TickBench(state, true); }

}  // namespace

BENCHMARK(BM_TickIdle);
BENCHMARK(BM_TickEveryKeyFresh);
BENCHMARK_MAIN();
