// Acts on the program's windows from another process, the way a task list or
// a restarting shell would.
//   winprobe.exe close         post WM_CLOSE to the top-level window "Veltrane"
//   winprobe.exe tray-restart  drop the icon of "VB InTray Hidden Window"
//                              (uID 0) and broadcast "TaskbarCreated"
//   winprobe.exe tips          print the text of each shown tooltip window
// Exit code 0 on success, 3 if the window was not found, 4 if a call failed.
#include <windows.h>
#include <shellapi.h>
#include <cstdio>
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

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "close") == 0) return Close();
    if (argc >= 2 && std::strcmp(argv[1], "tray-restart") == 0) return TrayRestart();
    if (argc >= 2 && std::strcmp(argv[1], "tips") == 0) return EnumWindows(PrintTip, 0) ? 0 : 4;
    std::fprintf(stderr, "usage: winprobe close | tray-restart | tips\n");
    return 2;
}
