// Acts on the user's settings and on the program's message box from another
// process, for the lifecycle checks.
//   lifeprobe.exe swap-setting 0|1  save the button assignment as the system's
//                                   mouse settings do, and announce the change
//   lifeprobe.exe swap 0|1          SwapMouseButton, and leave the buttons so
//   lifeprobe.exe dismiss-box       press OK on the message box titled "Veltrane"
// Exit code 0 on success, 3 if the box was not found, 4 if a call failed.
#include <windows.h>
#include <cstdio>
#include <cstring>

static int SwapSetting(const char* value) {
    const UINT swap = std::strcmp(value, "1") == 0 ? TRUE : FALSE;
    if (!SystemParametersInfoA(SPI_SETMOUSEBUTTONSWAP, swap, nullptr,
                               SPIF_UPDATEINIFILE | SPIF_SENDCHANGE)) {
        std::printf("SystemParametersInfoA failed: %lu\n", GetLastError());
        return 4;
    }
    std::printf("saved and announced SwapMouseButtons %u\n", swap);
    return 0;
}

static int Swap(const char* value) {
    SwapMouseButton(std::strcmp(value, "1") == 0 ? TRUE : FALSE);
    std::printf("SwapMouseButton(%s)\n", value);
    return 0;
}

static int DismissBox() {
    HWND box = FindWindowA("#32770", "Veltrane");
    if (!box) {
        std::printf("no message box titled Veltrane\n");
        return 3;
    }
    if (!PostMessageA(box, WM_COMMAND, IDOK, 0)) {
        std::printf("PostMessage failed: %lu\n", GetLastError());
        return 4;
    }
    std::printf("pressed OK on %p\n", static_cast<void*>(box));
    return 0;
}

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "swap-setting") == 0) return SwapSetting(argv[2]);
    if (argc >= 3 && std::strcmp(argv[1], "swap") == 0) return Swap(argv[2]);
    if (argc >= 2 && std::strcmp(argv[1], "dismiss-box") == 0) return DismissBox();
    std::fprintf(stderr, "usage: lifeprobe swap-setting 0|1 | swap 0|1 | dismiss-box\n");
    return 2;
}
