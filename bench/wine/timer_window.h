// What every comparison program shares with Veltrane.exe and nothing more: a
// popup window of the main window's size and place, and a 3 ms window timer.
// The program supplies only the tick.
//   <exe> [--hidden] [--answer] [--seconds N] [--ticks FILE]
//   --hidden   hide the window right after showing it, as Minimize does
//   --answer   answer a fresh F13 the way Veltrane does (the floor only)
//   --seconds  close after N seconds
//   --ticks    on close, write "<ticks> <milliseconds>" to FILE
// Ticks are counted in a plain integer so that counting adds no platform call.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace bench {

struct Options {
  bool hidden = false;
  bool answer = false;
  unsigned seconds = 0;
  const char* ticksFile = nullptr;
};

inline Options g_options;
inline unsigned long long g_ticks = 0;
inline ULONGLONG g_startMs = 0;

constexpr UINT_PTR kTickTimer = 1;
constexpr UINT_PTR kEndTimer = 2;

void Tick();  // defined by each program

inline void WriteTicks() {
  if (!g_options.ticksFile) return;
  if (FILE* f = std::fopen(g_options.ticksFile, "w")) {
    std::fprintf(f, "%llu %llu\n", g_ticks, GetTickCount64() - g_startMs);
    std::fclose(f);
  }
}

inline LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_TIMER:
      if (wParam == kTickTimer) {
        ++g_ticks;
        Tick();
      } else if (wParam == kEndTimer) {
        DestroyWindow(hwnd);
      }
      return 0;
    case WM_DESTROY:
      WriteTicks();
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

inline Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--hidden")) options.hidden = true;
    else if (!std::strcmp(argv[i], "--answer")) options.answer = true;
    else if (!std::strcmp(argv[i], "--seconds") && i + 1 < argc)
      options.seconds = static_cast<unsigned>(std::atoi(argv[++i]));
    else if (!std::strcmp(argv[i], "--ticks") && i + 1 < argc) options.ticksFile = argv[++i];
  }
  return options;
}

inline int RunTimerWindow(int argc, char** argv, const char* title) {
  g_options = ParseOptions(argc, argv);
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  wc.lpszClassName = title;
  if (!RegisterClassA(&wc)) return 1;
  // Veltrane's window: no caption, 502 x 328 client pixels at (549, 436).
  HWND hwnd = CreateWindowExA(0, title, title, WS_POPUP | WS_MINIMIZEBOX | WS_SYSMENU, 549, 436,
                              502, 328, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  ShowWindow(hwnd, SW_SHOWNORMAL);
  UpdateWindow(hwnd);
  if (g_options.hidden) ShowWindow(hwnd, SW_HIDE);
  g_startMs = GetTickCount64();
  SetTimer(hwnd, kTickTimer, 3, nullptr);
  if (g_options.seconds) SetTimer(hwnd, kEndTimer, g_options.seconds * 1000, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

}  // namespace bench
