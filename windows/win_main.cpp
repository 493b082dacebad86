// The program's entry point on Windows: the real platform under the main window.
#include <windows.h>

#include "app/veltrane2.h"
#include "windows/windows_win32.h"
#include "windows/windows_window_layer.h"

// WinMain: the entry point every Windows toolchain links for a GUI program.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  platform::windows::WindowsWin32 win32;
  platform::windows::WindowsWindowLayer window;
  return app::RunVeltrane(win32, window);
}
