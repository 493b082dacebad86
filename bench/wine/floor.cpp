// The floor: Veltrane's tick stripped to the platform calls every tick makes
// (one pointer-position query, five key-state queries, one button-swap call).
// With --answer it answers a fresh F13 with Print Screen as Veltrane does, so
// that key delays can be compared.
//
// Two builds only attribute memory, and are never used for time: with
// FLOOR_WITH_SHELL32 shell32 becomes a load-time import as in Veltrane.exe;
// with FLOOR_WITH_PICTURES, --pictures DIR loads the five skin pictures from
// DIR at startup and keeps them, as Veltrane keeps its own.
#include <initializer_list>

#include "timer_window.h"

#ifdef FLOOR_WITH_SHELL32
#include <shellapi.h>
#endif
#ifdef FLOOR_WITH_PICTURES
#include <string>
#endif

void bench::Tick() {
  POINT point;
  GetCursorPos(&point);
  for (int vk : {124, 125, 126, 92, 17}) {
    const SHORT reading = GetAsyncKeyState(vk);
    if (vk == 124 && reading == -32767 && g_options.answer) {
      keybd_event(44, 0, 0, 0);
      keybd_event(44, 0, KEYEVENTF_KEYUP, 0);
    }
  }
  SwapMouseButton(FALSE);
}

int main(int argc, char** argv) {
#ifdef FLOOR_WITH_SHELL32
  // Never taken; it only keeps the import.
  if (argc < 0) ShellExecuteA(nullptr, "open", argv[0], nullptr, nullptr, SW_SHOWNORMAL);
#endif
#ifdef FLOOR_WITH_PICTURES
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], "--pictures")) continue;
    for (const char* name : {"skin", "minbutimg", "minimg", "ximg", "overimg"}) {
      const std::string path = std::string(argv[i + 1]) + "\\" + name + ".bmp";
      LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE);
    }
  }
#endif
  return bench::RunTimerWindow(argc, argv, "VeltraneFloor");
}
