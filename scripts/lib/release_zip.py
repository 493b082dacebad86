#!/usr/bin/env python3
"""Writes the release zip so that the same inputs always give the same bytes.

    release_zip.py OUT.zip EPOCH NAME=PATH[:crlf] ...

Members go in the order given, each dated EPOCH (seconds since 1970, UTC;
the zip format counts from 1980 in two-second steps), stored as ordinary
files readable by all, compressed at one fixed level. ":crlf" turns a text
file's line ends into the CR LF that Notepad on older Windows needs.
"""

import sys
import time
import zipfile


def member(name: str, epoch: int) -> zipfile.ZipInfo:
    info = zipfile.ZipInfo(name, date_time=time.gmtime(max(epoch, 315532800))[:6])
    info.compress_type = zipfile.ZIP_DEFLATED
    info.create_system = 0          # MS-DOS: no Unix owner or mode bits
    info.external_attr = 0x20       # the archive attribute, as Windows' own zips have
    return info


def main() -> int:
    if len(sys.argv) < 4:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    out, epoch = sys.argv[1], int(sys.argv[2])
    with zipfile.ZipFile(out, "w") as archive:
        for entry in sys.argv[3:]:
            name, path = entry.split("=", 1)
            crlf = path.endswith(":crlf")
            if crlf:
                path = path[: -len(":crlf")]
            with open(path, "rb") as f:
                data = f.read()
            if crlf:
                data = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
            archive.writestr(member(name, epoch), data, compresslevel=9)
    return 0


if __name__ == "__main__":
    sys.exit(main())
