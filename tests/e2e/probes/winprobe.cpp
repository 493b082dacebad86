// Acts on the program's windows from another process, the way a task list or
// a restarting shell would.
//   winprobe.exe close         post WM_CLOSE to the top-level window "Veltrane"
//   winprobe.exe tray-restart  drop the icon of "VB InTray Hidden Window"
//                              (uID 0) and broadcast "TaskbarCreated"
//   winprobe.exe tips          print the text of each shown tooltip window
//   winprobe.exe activate T    make the window titled T the foreground one
//   winprobe.exe poll MS       read the five keys every millisecond for MS ms
// Exit code 0 on success, 3 if the window was not found, 4 if a call failed.
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static int Close() {
    HWND hwnd = FindWindowA(nullptr, "Veltrane");
    if (!hwnd) {
        std::printf("no window titled Veltrane\n");
        return 3;
    }
    if (!PostMessageA(hwnd, WM_CLOSE, 0, 0)) {
        std::printf("PostMessage failed: %lu\n", GetLastError());
        return 4;
    }
    std::printf("posted WM_CLOSE to %p\n", static_cast<void*>(hwnd));
    return 0;
}

static int Activate(const char* title) {
    HWND hwnd = FindWindowA(nullptr, title);
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
    if (argc >= 3 && std::strcmp(argv[1], "poll") == 0) return Poll(std::strtoul(argv[2], nullptr, 10));
    std::fprintf(stderr, "usage: winprobe close | tray-restart | tips | activate TITLE | poll MS\n");
    return 2;
}
