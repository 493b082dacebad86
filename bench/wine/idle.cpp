// For context: the same window and 3 ms timer with a tick that does nothing.
#include "timer_window.h"

void bench::Tick() {}

int main(int argc, char** argv) { return bench::RunTimerWindow(argc, argv, "VeltraneIdle"); }
