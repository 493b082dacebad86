// What the tick measurements share: a started main window on the fake
// desktop with the fake's own bookkeeping off, and a count of heap
// allocations made through the replaced global allocation functions.
// Include it in exactly one source file of a program.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

#include "app/veltrane2.h"
#include "fake/fake_desktop.h"

inline std::atomic<long long> g_allocations{0};

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

struct TickRig {
  explicit TickRig(bool everyKeyFresh) {
    window.Start();
    // The call log and the record of injected keys are the fake's bookkeeping,
    // not the program's work.
    desktop.log.enabled = false;
    desktop.keyboard.recordInjected = false;
    if (everyKeyFresh)
      for (int vk : {124, 125, 126, 92, 17}) desktop.keyboard.Pin(vk, -32767);
  }
  void Tick() { desktop.window.Tick(); }

  fake::FakeDesktop desktop;
  app::Veltrane2 window{desktop, desktop.window};
};
