// Runs a given number of timer ticks on the fake desktop, for counting
// instructions under callgrind: the instructions of one tick are the
// difference between two runs divided by the difference in ticks, so the
// setup cancels out.
//   tick_count <idle|fresh> <ticks>
// Prints the heap allocations made during the ticks.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "idle") && std::strcmp(argv[1], "fresh"))) {
    std::fprintf(stderr, "usage: tick_count <idle|fresh> <ticks>\n");
    return 2;
  }
  const long ticks = std::atol(argv[2]);
  fake::FakeDesktop desktop;
  app::Veltrane2 window(desktop, desktop.window);
  window.Start();
  // As in the benchmark: no call log and no record of injected events, which
  // are the fake's bookkeeping, not the program's work.
  desktop.log.enabled = false;
  desktop.keyboard.recordInjected = false;
  if (!std::strcmp(argv[1], "fresh"))
    for (int vk : {124, 125, 126, 92, 17}) desktop.keyboard.Pin(vk, -32767);

  const long long before = g_allocations.load();
  for (long i = 0; i < ticks; ++i) desktop.window.Tick();
  std::printf("allocations %lld\n", g_allocations.load() - before);
  return 0;
}
