// Cost of one timer tick on the fake desktop: time, and heap allocations
// counted by replacing the global allocation functions.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/veltrane2.h"
#include "fake/fake_desktop.h"

namespace {
std::atomic<long long> g_allocations{0};
}  // namespace

// The replaced pairs are malloc/free on both sides; GCC cannot see that.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
  ++g_allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace {

void TickBench(benchmark::State& state, bool everyKeyFresh) {
  fake::FakeDesktop desktop;
  app::Veltrane2 window(desktop, desktop.window);
  window.Start();
  desktop.log.enabled = false;
  desktop.keyboard.recordInjected = false;
  if (everyKeyFresh)
    for (int vk : {124, 125, 126, 92, 17}) desktop.keyboard.Pin(vk, -32767);

  const long long before = g_allocations.load();
  for (auto _ : state) desktop.window.Tick();
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
