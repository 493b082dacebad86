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
