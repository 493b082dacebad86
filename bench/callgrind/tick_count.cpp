// Runs a given number of timer ticks on the fake desktop, for counting
// instructions under callgrind: the instructions of one tick are the
// difference between two runs divided by the difference in ticks, so the
// setup cancels out.
//   tick_count <idle|fresh> <ticks>
// Prints the heap allocations made during the ticks.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench/tick_rig.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "idle") && std::strcmp(argv[1], "fresh"))) {
    std::fprintf(stderr, "usage: tick_count <idle|fresh> <ticks>\n");
    return 2;
  }
  const long ticks = std::atol(argv[2]);
  TickRig rig(std::strcmp(argv[1], "fresh") == 0);
  const long long before = g_allocations.load();
  for (long i = 0; i < ticks; ++i) rig.Tick();
  std::printf("allocations %lld\n", g_allocations.load() - before);
  return 0;
}
