// Logs every keyboard event the system sees, physical or injected, one
// flushed line per event: through a low-level keyboard hook,
//   <ms since start> <vk> <down|up> <inj|phys> <scan code> <ext|->
// and as raw input (WM_INPUT, asked for in the background), which carries
// the make code that programs reading scan codes go by,
//   <ms since start> raw <vk> <make code> <e0|-> <down|up>
// Usage: keyhook.exe <log file>. Writes "ready" once both are set up;
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
        std::fprintf(g_log, "%.3f %lu %s %s %lu %s\n", NowMs(), static_cast<unsigned long>(k->vkCode),
                     up ? "up" : "down", (k->flags & LLKHF_INJECTED) ? "inj" : "phys",
                     static_cast<unsigned long>(k->scanCode),
                     (k->flags & LLKHF_EXTENDED) ? "ext" : "-");
        std::fflush(g_log);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

static LRESULT CALLBACK RawProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INPUT) {
        RAWINPUT input;
        UINT size = sizeof input;
        if (GetRawInputData(reinterpret_cast<HRAWINPUT>(lParam), RID_INPUT, &input, &size,
                            sizeof(RAWINPUTHEADER)) != UINT(-1) &&
            input.header.dwType == RIM_TYPEKEYBOARD) {
            const RAWKEYBOARD& k = input.data.keyboard;
            std::fprintf(g_log, "%.3f raw %u %u %s %s\n", NowMs(), unsigned(k.VKey),
                         unsigned(k.MakeCode), (k.Flags & RI_KEY_E0) ? "e0" : "-",
                         (k.Flags & RI_KEY_BREAK) ? "up" : "down");
            std::fflush(g_log);
        }
    }
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

static int Fail(const char* what) {
    std::fprintf(g_log, "error %s %lu\n", what, GetLastError());
    std::fflush(g_log);
    return 1;
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
    if (!hook) return Fail("hook");
    WNDCLASSW wc{};
    wc.lpfnWndProc = RawProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"keyhook raw input";
    RegisterClassW(&wc);
    // Never shown: raw input asked for in the background reaches it anyway.
    HWND sink = CreateWindowExW(0, wc.lpszClassName, L"keyhook", WS_POPUP, 0, 0, 1, 1, nullptr,
                                nullptr, wc.hInstance, nullptr);
    RAWINPUTDEVICE keyboard{1 /* generic desktop */, 6 /* keyboard */, RIDEV_INPUTSINK, sink};
    if (!sink || !RegisterRawInputDevices(&keyboard, 1, sizeof keyboard)) return Fail("raw input");
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
