// Logs every keyboard event the system sees, physical or injected, through a
// low-level keyboard hook, one flushed line per event:
//   <ms since start> <vk> <down|up> <inj|phys>
// Usage: keyhook.exe <log file>. Writes "ready" once the hook is installed;
// runs until killed or until WM_QUIT.
#include <windows.h>
#include <cstdio>

static FILE* g_log;
static LARGE_INTEGER g_freq, g_start;

static double NowMs() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart - g_start.QuadPart) * 1000.0 / double(g_freq.QuadPart);
}

static LRESULT CALLBACK HookProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION) {
        const auto* k = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool up = (k->flags & LLKHF_UP) != 0 || wParam == WM_KEYUP || wParam == WM_SYSKEYUP;
        const bool injected = (k->flags & LLKHF_INJECTED) != 0;
        std::fprintf(g_log, "%.3f %lu %s %s\n", NowMs(), static_cast<unsigned long>(k->vkCode),
                     up ? "up" : "down", injected ? "inj" : "phys");
        std::fflush(g_log);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: keyhook <log file>\n");
        return 2;
    }
    g_log = std::fopen(argv[1], "w");
    if (!g_log) {
        std::fprintf(stderr, "keyhook: cannot open %s\n", argv[1]);
        return 1;
    }
    QueryPerformanceFrequency(&g_freq);
    QueryPerformanceCounter(&g_start);
    HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, HookProc, GetModuleHandleW(nullptr), 0);
    if (!hook) {
        std::fprintf(g_log, "error %lu\n", GetLastError());
        std::fflush(g_log);
        return 1;
    }
    std::fprintf(g_log, "ready\n");
    std::fflush(g_log);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    UnhookWindowsHookEx(hook);
    std::fclose(g_log);
    return 0;
}
