#!/usr/bin/env python3
"""Static checks of the built program file: the 32-bit product and, when
given, the 64-bit build. Reads the PE headers with objdump and the resources
with wrestool; prints one line per check and a closing count."""
import os
import re
import struct
import subprocess
import sys

# Exactly what the program imports: the C runtime and the system DLLs of
# the calls it makes (advapi32 for the saved mouse setting, ole32 for COM
# ahead of the shell's ShellExecuteA).
IMPORTED_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "msvcrt.dll",
    "advapi32.dll", "ole32.dll",
}

# The oldest Windows the release supports, and the versions in order.
OLDEST_SUPPORTED = "Windows XP SP3"
WINDOWS_VERSIONS = [
    "Windows 2000", "Windows XP", "Windows XP SP2", "Windows XP SP3", "Windows Vista",
    "Windows 7", "Windows 8", "Windows 8.1", "Windows 10",
]
# Each function the program file may import, by DLL and the first Windows
# that has it as documented; where the documentation names Windows XP for a
# function older than that, Windows XP stands. The 64-bit build's own calls
# count from the 64-bit edition of that Windows. msvcrt.dll, the system's C
# runtime that the static C runtime calls, documents no version per
# function: every one listed is in the msvcrt.dll of Windows XP. A function
# imported that is not here fails the check, as does one newer than the
# oldest Windows supported; a newer one is reached through GetProcAddress.
IMPORT_MINIMUMS = {
    "advapi32.dll": {
        "Windows 2000": "RegCloseKey RegOpenKeyExA RegQueryValueExA",
        "Windows Vista": "RegGetValueA",
    },
    "gdi32.dll": {
        "Windows 2000": "BitBlt CombineRgn CreateCompatibleBitmap CreateCompatibleDC "
                        "CreateRectRgn CreateRoundRectRgn DeleteDC DeleteObject GetDeviceCaps "
                        "SelectObject SetDIBitsToDevice",
    },
    "kernel32.dll": {
        "Windows 2000": "CloseHandle CreateMutexA FindResourceA GetTickCount IsDBCSLeadByteEx "
                        "MultiByteToWideChar WideCharToMultiByte",
        "Windows XP": "CreateSemaphoreW DeleteCriticalSection EnterCriticalSection ExitProcess "
                      "FreeLibrary GetCurrentThreadId GetLastError GetModuleHandleA "
                      "GetModuleHandleW GetProcAddress GetStartupInfoA InitializeCriticalSection "
                      "LeaveCriticalSection LoadLibraryA LoadLibraryW LoadResource LockResource "
                      "RaiseException ReleaseSemaphore SetLastError SetUnhandledExceptionFilter "
                      "Sleep TlsAlloc TlsFree TlsGetValue TlsSetValue VirtualProtect VirtualQuery "
                      "WaitForSingleObject "
                      # the 64-bit build's unwinding
                      "RtlCaptureContext RtlLookupFunctionEntry RtlUnwindEx RtlVirtualUnwind "
                      "__C_specific_handler",
    },
    "msvcrt.dll": {
        "Windows XP": "___lc_codepage_func ___mb_cur_max_func __getmainargs __initenv "
                      "__iob_func __mb_cur_max __p__acmdln __p__commode __p__fmode "
                      "__set_app_type __setusermatherr _acmdln _amsg_exit _cexit _close "
                      "_commode _errno _exit _fmode _initterm _iob _onexit _read abort atoi "
                      "calloc exit fprintf fputc fputs free fwrite localeconv malloc memchr "
                      "memcmp memcpy memmove memset realloc setlocale signal strchr strcmp "
                      "strerror strlen strncmp vfprintf wcslen",
    },
    "ole32.dll": {
        "Windows 2000": "CoInitializeEx CoUninitialize",
    },
    "shell32.dll": {
        "Windows XP": "ShellExecuteA Shell_NotifyIconA",
    },
    "user32.dll": {
        "Windows 2000": "AllowSetForegroundWindow BeginPaint CreateWindowExA DefWindowProcA "
                        "DestroyIcon DestroyWindow DispatchMessageA EndPaint FillRect "
                        "FindWindowExA GetAsyncKeyState GetCapture GetClientRect GetCursorPos "
                        "GetDC GetKeyState GetMessageA GetMonitorInfoA GetSysColorBrush "
                        "GetSystemMetrics GetWindowLongA GetWindowLongPtrA "
                        "GetWindowThreadProcessId SendMessageTimeoutA "
                        "InvalidateRect IsIconic IsZoomed LoadCursorA LoadIconA LoadImageA "
                        "MessageBoxA MonitorFromRect PostQuitMessage RegisterClassA "
                        "RegisterWindowMessageA ReleaseCapture ReleaseDC ScreenToClient "
                        "SendMessageA SetCapture SetCursor SetForegroundWindow SetTimer "
                        "SetWindowLongA SetWindowLongPtrA SetWindowRgn ShowWindow SwapMouseButton "
                        "SystemParametersInfoA TranslateMessage UnregisterClassA UpdateWindow "
                        "keybd_event",
        "Windows Vista": "ChangeWindowMessageFilter",
        "Windows 7": "ChangeWindowMessageFilterEx",
    },
}
VERSION_STRINGS = {
    "FileVersion": "2.01.0003",
    "ProductVersion": "2.01.0003",
    "ProductName": "Veltrane",
    "InternalName": "Veltrane",
    "OriginalFilename": "Veltrane.exe",
    "FileDescription": "Freeware",
    "Comments": "Freeware",
    "CompanyName": "The Veltrane developers",
}

results = []


def check(name, ok, detail=""):
    results.append(ok)
    print(("PASS " if ok else "FAIL ") + name + ("" if ok else ": " + detail))


def run(*args):
    return subprocess.run(args, capture_output=True, check=False).stdout


def pe_header(path):
    with open(path, "rb") as f:
        data = f.read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    magic = struct.unpack_from("<H", data, pe + 24)[0]
    subsystem = struct.unpack_from("<H", data, pe + 24 + 68)[0]
    return data[pe:pe + 4], machine, magic, subsystem


def imported_dlls(path, objdump):
    text = run(objdump, "-p", path).decode("latin-1")
    return sorted({m.lower() for m in re.findall(r"DLL Name: (\S+)", text)})


def minimum_versions():
    """(dll, function) -> index of its first Windows in WINDOWS_VERSIONS."""
    table = {}
    for dll, by_version in IMPORT_MINIMUMS.items():
        for version, names in by_version.items():
            for name in names.split():
                assert (dll, name) not in table, "listed twice: " + name
                table[dll, name] = WINDOWS_VERSIONS.index(version)
    return table


def imported_functions(path, objdump):
    """(dll, function) for every entry of the import table; an import by
    ordinal comes as the function "ordinal N"."""
    imports, dll = [], None
    for line in run(objdump, "-p", path).decode("latin-1").splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            dll = m.group(1).lower()
            continue
        m = re.match(r"\t[0-9a-f]+\t\s*(\d+)\s+(\S+)\s*$", line)
        if dll and m:
            imports.append((dll, m.group(2) if m.group(2) != "<none>" else "ordinal " + m.group(1)))
        elif not line.strip():
            dll = None
    return imports


def too_new(imports):
    """The imports that are not listed or that the oldest Windows supported lacks."""
    table, oldest = minimum_versions(), WINDOWS_VERSIONS.index(OLDEST_SUPPORTED)
    found = []
    for dll, name in imports:
        version = table.get((dll, name))
        if version is None:
            found.append(f"{name} ({dll}) has no known minimum Windows")
        elif version > oldest:
            found.append(f"{name} ({dll}) needs {WINDOWS_VERSIONS[version]}")
    return found


def version_strings(blob):
    text = blob.decode("utf-16-le", errors="replace")
    found = {}
    for key in VERSION_STRINGS:
        m = re.search(re.escape(key) + r"\x00+([^\x00]*)", text)
        if m:
            found[key] = m.group(1)
    return found


def check_exe(path, expect_machine, expect_magic, objdump, label):
    if not os.path.exists(path):
        check(label + " exists", False, path + " is missing")
        return
    sig, machine, magic, subsystem = pe_header(path)
    check(label + " is a PE file", sig == b"PE\0\0", repr(sig))
    check(label + " machine", machine == expect_machine, hex(machine))
    check(label + " optional header", magic == expect_magic, hex(magic))
    check(label + " GUI subsystem", subsystem == 2, str(subsystem))

    dlls = imported_dlls(path, objdump)
    check(label + " imports exactly its system DLLs", set(dlls) == IMPORTED_DLLS,
          "imports " + ", ".join(dlls) + "; expected " + ", ".join(sorted(IMPORTED_DLLS)))

    imports = imported_functions(path, objdump)
    newer = too_new(imports)
    check(f"{label} every import exists on {OLDEST_SUPPORTED} or later ({len(imports)} functions)",
          bool(imports) and not newer, "; ".join(newer) or "no imports read")

    listing = run("wrestool", "-l", path).decode("latin-1")
    check(label + " icon group 1", re.search(r"--type=14 --name=1 ", listing) is not None, listing)
    for icon in (30001, 30002):
        check(f"{label} icon image {icon}", f"--type=3 --name={icon} " in listing, listing)
    group = run("wrestool", "-x", "--raw", "--type=14", "--name=1", path)
    ids = [struct.unpack_from("<H", group, 6 + 14 * i + 12)[0]
           for i in range(struct.unpack_from("<H", group, 4)[0])] if len(group) >= 6 else []
    check(label + " icon group holds 30001 and 30002", sorted(ids) == [30001, 30002], str(ids))

    version = run("wrestool", "-x", "--raw", "--type=16", path)
    at = version.find(struct.pack("<I", 0xFEEF04BD))
    if at < 0:
        check(label + " version record", False, "no fixed file info")
        return
    file_ms, file_ls, prod_ms, prod_ls = struct.unpack_from("<IIII", version, at + 8)
    expected = (0x00020001, 0x00000003)
    check(label + " file version 2.1.0.3", (file_ms, file_ls) == expected, f"{file_ms:x}.{file_ls:x}")
    check(label + " product version 2.1.0.3", (prod_ms, prod_ls) == expected, f"{prod_ms:x}.{prod_ls:x}")
    check(label + " string table 040904B0", "040904B0" in version.decode("utf-16-le", "replace").upper(), "")
    strings = version_strings(version)
    for key, value in VERSION_STRINGS.items():
        check(f"{label} {key}", strings.get(key) == value, repr(strings.get(key)))


def main():
    product = sys.argv[1] if len(sys.argv) > 1 else "build/mingw-i686/Veltrane.exe"
    check_exe(product, 0x14C, 0x10B, "i686-w64-mingw32-objdump", "32-bit")
    if len(sys.argv) > 2:
        check_exe(sys.argv[2], 0x8664, 0x20B, "x86_64-w64-mingw32-objdump", "64-bit")
    passed = sum(results)
    print(f"{passed} passed, {len(results) - passed} failed")
    return 0 if passed == len(results) else 1


if __name__ == "__main__":
    sys.exit(main())
