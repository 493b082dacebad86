#!/usr/bin/env bash
# Builds the release twice, in two folders a moment apart, and compares the
# bytes. On a tree with nothing uncommitted, the program file the other tests
# ran (build/mingw-i686) must be the released one too.
set -euo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

"$ROOT/scripts/release" --work "$tmp/a/work" --out "$tmp/a/dist" >/dev/null
sleep 2
"$ROOT/scripts/release" --work "$tmp/b/work" --out "$tmp/b/dist" >/dev/null

status=0
for f in "$(cd "$tmp/a/dist" && ls ./*.zip)" Veltrane.exe SHA256SUMS; do
  if cmp -s "$tmp/a/dist/$f" "$tmp/b/dist/$f"; then
    echo "same bytes in both builds: ${f#./} ($(stat -c %s "$tmp/a/dist/$f") bytes)"
  else
    echo "FAIL: ${f#./} differs between two builds of one commit"; status=1
  fi
done

# What a user unzips is the program file the sums name.
python3 - "$tmp/a/dist" <<'PY' || status=1
import pathlib, sys, zipfile
dist = pathlib.Path(sys.argv[1])
archive = zipfile.ZipFile(next(dist.glob("*.zip")))
names = [i.filename for i in archive.infolist()]
if names != ["Veltrane.exe", "README.txt", "LICENSE.txt"]:
    sys.exit(f"FAIL: the zip holds {names}")
if archive.read("Veltrane.exe") != (dist / "Veltrane.exe").read_bytes():
    sys.exit("FAIL: the zip's Veltrane.exe is not the one SHA256SUMS names")
if any(line and not line.endswith(b"\r") for line in archive.read("README.txt").split(b"\n")[:-1]):
    sys.exit("FAIL: README.txt in the zip has lines without CR LF")
print("the zip holds Veltrane.exe, README.txt (CR LF) and LICENSE.txt")
PY

tested="$ROOT/build/mingw-i686/Veltrane.exe"
if [ -n "$(git -C "$ROOT" status --porcelain --untracked-files=no)" ]; then
  echo "not compared with $tested: the tree has uncommitted changes"
elif [ ! -f "$tested" ]; then
  echo "not compared with $tested: it was not built"
elif cmp -s "$tmp/a/dist/Veltrane.exe" "$tested"; then
  echo "the program file under test is the released one"
else
  echo "FAIL: $tested differs from the release of the same commit"; status=1
fi
exit $status
