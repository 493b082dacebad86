// Acts on the program's windows from another process, the way a task list or
// a restarting shell would.
//   winprobe.exe close         post WM_CLOSE to the program's main window
//                              (class Veltrane2, title "Veltrane")
//   winprobe.exe tray-restart  drop the icon of "VB InTray Hidden Window"
//                              (uID 0) and broadcast "TaskbarCreated"
//   winprobe.exe tips          print the text of each shown tooltip window
//   winprobe.exe activate T    make the shown window titled T the foreground one
//   winprobe.exe foreground    print the foreground window's class, title and
//                              X window (Wine's)
//   winprobe.exe poll MS       read the five keys every millisecond for MS ms
//   winprobe.exe stranger LOG  open a hidden top-level window titled "Veltrane"
//                              of another class, log what is done to it, and
//                              run until killed
// Exit code 0 on success, 3 if the window was not found, 4 if a call failed.
#include <windows.h>
#include <shellapi.h>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static int Close() {
    // By class too: another program's window may carry the same title.
    HWND hwnd = FindWindowA("Veltrane2", "Veltrane");
    if (!hwnd) {
        std::printf("no window of class Veltrane2 titled Veltrane\n");
        return 3;
    }
    if (!PostMessageA(hwnd, WM_CLOSE, 0, 0)) {
        std::printf("PostMessage failed: %lu\n", GetLastError());
        return 4;
    }
    std::printf("posted WM_CLOSE to %p\n", static_cast<void*>(hwnd));
    return 0;
}

struct Shown {
    const char* title;
    HWND found;
};

static BOOL CALLBACK FindShown(HWND hwnd, LPARAM param) {
    auto* want = reinterpret_cast<Shown*>(param);
    char text[256] = "";
    GetWindowTextA(hwnd, text, sizeof text);
    if (!IsWindowVisible(hwnd) || std::strcmp(text, want->title) != 0) return TRUE;
    want->found = hwnd;
    return FALSE;
}

static int Activate(const char* title) {
    // The shown one: a hidden window of the same title is not the one in front of the user.
    Shown want{title, nullptr};
    EnumWindows(FindShown, reinterpret_cast<LPARAM>(&want));
    HWND hwnd = want.found;
    if (!hwnd) return 3;
    // Asked again while the system is still settling a focus change of its own.
    for (int tries = 0; tries < 20; ++tries, Sleep(100))
        if (SetForegroundWindow(hwnd) && GetForegroundWindow() == hwnd) return 0;
    return 4;
}

static int TrayRestart() {
    HWND hidden = FindWindowA(nullptr, "VB InTray Hidden Window");
    if (!hidden) {
        std::printf("no window titled VB InTray Hidden Window\n");
        return 3;
    }
    NOTIFYICONDATAA nid{};
    nid.cbSize = NOTIFYICONDATAA_V1_SIZE;
    nid.hWnd = hidden;
    nid.uID = 0;
    const BOOL deleted = Shell_NotifyIconA(NIM_DELETE, &nid);
    const UINT msg = RegisterWindowMessageA("TaskbarCreated");
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, msg, 0, 0, SMTO_ABORTIFHUNG, 2000, &result);
    std::printf("NIM_DELETE %s, broadcast TaskbarCreated (%u)\n", deleted ? "ok" : "refused", msg);
    return 0;
}

// A tooltip control answers WM_GETTEXT with the tip it shows; the message is
// marshalled across processes, so the shell's tips can be read from here.
static BOOL CALLBACK PrintTip(HWND hwnd, LPARAM) {
    char name[64] = "";
    GetClassNameA(hwnd, name, sizeof name);
    if (std::strcmp(name, "tooltips_class32") == 0 && IsWindowVisible(hwnd)) {
        char text[256] = "";
        // Sent, not GetWindowTextA: that reads another process's window title only.
        SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                            SMTO_ABORTIFHUNG, 2000, nullptr);
        std::printf("tip \"%s\"\n", text);
    }
    return TRUE;
}

static int Foreground() {
    HWND hwnd = GetForegroundWindow();
    if (!hwnd) {
        std::printf("foreground none\n");
        return 0;
    }
    char cls[256] = "", text[256] = "";
    GetClassNameA(hwnd, cls, sizeof cls);
    GetWindowTextA(hwnd, text, sizeof text);
    // Wine keeps the X window of each top-level window in this property, so
    // the window can be told from another of the same class and title.
    const auto x = static_cast<unsigned long>(
        reinterpret_cast<ULONG_PTR>(GetPropA(hwnd, "__wine_x11_whole_window")));
    std::printf("foreground \"%s\" \"%s\" x=%lu\n", cls, text, x);
    return 0;
}

// The stranger's log: one flushed line per message of interest,
//   <ms since start> <message> <details>
// "ready" once the window exists; what came before it is its own making.
static FILE* g_log;

static void Log(const char* fmt, ...) {
    std::fprintf(g_log, "%lu ", GetTickCount());
    va_list args;
    va_start(args, fmt);
    std::vfprintf(g_log, fmt, args);
    va_end(args);
    std::fputc('\n', g_log);
    std::fflush(g_log);
}

static LRESULT CALLBACK StrangerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SHOWWINDOW:
            Log("WM_SHOWWINDOW show=%u status=%ld", unsigned(wp), long(lp));
            break;
        case WM_WINDOWPOSCHANGING:
        case WM_WINDOWPOSCHANGED: {
            const auto* pos = reinterpret_cast<const WINDOWPOS*>(lp);
            Log("%s flags=%#x at %d,%d size %dx%d",
                msg == WM_WINDOWPOSCHANGING ? "WM_WINDOWPOSCHANGING" : "WM_WINDOWPOSCHANGED",
                pos->flags, pos->x, pos->y, pos->cx, pos->cy);
            break;
        }
        case WM_MOVE:
            Log("WM_MOVE %d,%d", int(short(LOWORD(lp))), int(short(HIWORD(lp))));
            break;
        case WM_SIZE:
            Log("WM_SIZE type=%u %ux%u", unsigned(wp), unsigned(LOWORD(lp)), unsigned(HIWORD(lp)));
            break;
        case WM_ACTIVATE:
            Log("WM_ACTIVATE %u", unsigned(LOWORD(wp)));
            break;
        case WM_SYSCOMMAND:
            Log("WM_SYSCOMMAND %#x", unsigned(wp & 0xFFF0));
            break;
        case WM_CLOSE:
            Log("WM_CLOSE");
            return 0;   // kept open: the log, not its absence, tells the close
        default:
            if (msg >= 0xC000 && msg <= 0xFFFF) {   // a registered message, with its name
                char name[256] = "?";
                GetClipboardFormatNameA(msg, name, sizeof name);
                Log("registered %#x \"%s\" wp=%#lx lp=%#lx", msg, name, (unsigned long)wp,
                    (unsigned long)lp);
            }
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// Another program's window that happens to carry the program's title: hidden,
// so that any show of it is seen, at a place and size of its own.
static int Stranger(const char* path) {
    g_log = std::fopen(path, "w");
    if (!g_log) return 4;
    WNDCLASSA wc{};
    wc.lpfnWndProc = StrangerProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "Veltrane look-alike";
    if (!RegisterClassA(&wc)) return 4;
    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "Veltrane", WS_OVERLAPPEDWINDOW, 40, 60,
                                320, 200, nullptr, nullptr, wc.hInstance, nullptr);
    if (!hwnd) return 4;
    RECT r{};
    GetWindowRect(hwnd, &r);
    Log("ready %p at %ld,%ld size %ldx%ld", static_cast<void*>(hwnd), r.left, r.top,
        r.right - r.left, r.bottom - r.top);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
    return 0;
}

// Reads F13, F14, F15, right Windows and Ctrl every millisecond, as games,
// overlays and other hotkey tools do, and prints how many readings carried
// the pressed-since-query bit: the presses it took from every other reader.
static int Poll(DWORD ms) {
    const int keys[] = {VK_F13, VK_F14, VK_F15, VK_RWIN, VK_CONTROL};
    int taken[5] = {};
    std::printf("polling\n");
    std::fflush(stdout);
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(1))
        for (int i = 0; i < 5; ++i)
            if (GetAsyncKeyState(keys[i]) & 1) ++taken[i];
    std::printf("taken");
    for (int i = 0; i < 5; ++i) std::printf(" %d:%d", keys[i], taken[i]);
    std::printf("\n");
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "close") == 0) return Close();
    if (argc >= 2 && std::strcmp(argv[1], "tray-restart") == 0) return TrayRestart();
    if (argc >= 2 && std::strcmp(argv[1], "tips") == 0) return EnumWindows(PrintTip, 0) ? 0 : 4;
    if (argc >= 3 && std::strcmp(argv[1], "activate") == 0) return Activate(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "foreground") == 0) return Foreground();
    if (argc >= 3 && std::strcmp(argv[1], "poll") == 0) return Poll(std::strtoul(argv[2], nullptr, 10));
    if (argc >= 3 && std::strcmp(argv[1], "stranger") == 0) return Stranger(argv[2]);
    std::fprintf(stderr, "usage: winprobe close | tray-restart | tips | activate TITLE | "
                         "foreground | poll MS | stranger LOG\n");
    return 2;
}
