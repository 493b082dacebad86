// A small host for the hyperlink control: it places one URLLink, with the
// properties kept in a text file, and answers GoToURL.
//
//   UrlLinkDemo.exe <property file> [--cancel] [--replace ADDRESS]
//                   [--events FILE] [--save] [--throw]
//
// A missing property file places a new control. --cancel cancels every
// opening, --replace opens ADDRESS instead of the control's own. --events
// appends what happens to FILE: "Ready <left> <top> <right> <bottom>" (the
// label on the screen) once the window shows, "GoToURL <address>" per press.
// --save writes the properties back to the file when the window closes.
// --throw makes the GoToURL handler throw what no std::exception is, as a
// host's handler may.
#include <windows.h>
#include <objbase.h>

#include <exception>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include "controls/text_property_store.h"
#include "platform/error.h"
#include "windows/url_link/url_link_window.h"
#include "windows/windows_win32.h"
#include "resource_ids.h"

namespace {

using platform::windows::url_link::URLLinkWindow;

struct Options {
  std::string propertyFile;
  bool cancel = false;
  std::optional<std::string> replacement;
  std::string eventsFile;
  bool save = false;
  bool throws = false;
};

constexpr const char* kWindowClass = "URLLink Demo Host";
constexpr const char* kWindowTitle = "URLLink Demo";
constexpr int kMargin = 10;

Options options;
controls::TextPropertyStore store;
bool hadFile = false;
URLLinkWindow* link = nullptr;

void LogEvent(const std::string& line) {
  if (options.eventsFile.empty()) return;
  std::ofstream out(options.eventsFile, std::ios::app | std::ios::binary);
  out << line << "\n";
}

bool ParseArguments(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--cancel") {
      options.cancel = true;
    } else if (arg == "--save") {
      options.save = true;
    } else if (arg == "--throw") {
      options.throws = true;
    } else if (arg == "--replace" && i + 1 < argc) {
      options.replacement = argv[++i];
    } else if (arg == "--events" && i + 1 < argc) {
      options.eventsFile = argv[++i];
    } else if (options.propertyFile.empty() && arg.rfind("--", 0) != 0) {
      options.propertyFile = arg;
    } else {
      return false;
    }
  }
  return !options.propertyFile.empty();
}

void LoadStore() {
  std::ifstream in(options.propertyFile, std::ios::binary);
  if (!in) return;
  std::ostringstream text;
  text << in.rdbuf();
  store = controls::TextPropertyStore(text.str());
  hadFile = true;
}

void SaveStore() {
  link->Link().WriteProperties();
  std::ofstream out(options.propertyFile, std::ios::binary | std::ios::trunc);
  out << store.Serialize();
}

// COM initialised on the window thread for the life of the program: the
// control's ShellExecuteA may hand the address to a handler activated through
// COM. A thread already initialised otherwise is left as it is.
class ComApartment {
 public:
  ComApartment()
      : initialised_(SUCCEEDED(
            ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
  ~ComApartment() {
    if (initialised_) ::CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

LRESULT CALLBACK HostProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  switch (uMsg) {
    case WM_SETCURSOR:
      if (platform::windows::url_link::WaitPointerOverride()) {
        ::SetCursor(::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
        return TRUE;
      }
      break;
    case WM_CLOSE:
      // Errors must not unwind into Windows: a failed save is told, then the window closes.
      try {
        if (options.save && link) SaveStore();
      } catch (const std::exception& error) {
        ::MessageBoxA(hWnd, error.what(), kWindowTitle, MB_OK | MB_ICONERROR);
      }
      ::DestroyWindow(hWnd);
      return 0;
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  if (!ParseArguments(__argc, __argv)) {
    ::MessageBoxA(nullptr,
                  "UrlLinkDemo <property file> [--cancel] [--replace ADDRESS] [--events FILE] "
                  "[--save] [--throw]",
                  kWindowTitle, MB_OK);
    return 2;
  }
  const ComApartment com;
  LoadStore();

  WNDCLASSA wc{};
  wc.lpfnWndProc = HostProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = kWindowClass;
  ::RegisterClassA(&wc);

  // A frameless window at a fixed place, so that the control is easy to find.
  const int width = controls::kURLLinkDesignWidth + 2 * kMargin;
  const int height = controls::kURLLinkDesignHeight + 2 * kMargin;
  HWND host = ::CreateWindowExA(0, kWindowClass, kWindowTitle, WS_POPUP, 100, 100, width, height,
                                nullptr, nullptr, instance, nullptr);
  if (!host) return 1;

  platform::windows::WindowsWin32 win32;
  try {
    const RECT bounds{kMargin, kMargin, kMargin + controls::kURLLinkDesignWidth,
                      kMargin + controls::kURLLinkDesignHeight};
    link = &URLLinkWindow::Create(host, bounds, store, win32, IDC_LINK_POINTER, hadFile);
  } catch (const std::exception& error) {
    ::MessageBoxA(nullptr, error.what(), kWindowTitle, MB_OK | MB_ICONERROR);
    return 1;
  }
  link->Link().GoToURL = [](std::string& URL, platform::Bool16& Cancel) {
    LogEvent("GoToURL " + URL);
    if (options.replacement) URL = *options.replacement;
    if (options.cancel) Cancel = platform::kTrue;
    if (options.throws) throw 42;
  };

  ::ShowWindow(host, SW_SHOWNORMAL);
  ::UpdateWindow(host);
  const RECT label = link->LabelOnScreen();
  LogEvent("Ready " + std::to_string(label.left) + " " + std::to_string(label.top) + " " +
           std::to_string(label.right) + " " + std::to_string(label.bottom));

  MSG msg;
  while (::GetMessageA(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageA(&msg);
  }
  return 0;
}
