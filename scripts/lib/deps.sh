# Sourced by scripts/run, scripts/test, scripts/bench and scripts/soak:
# installs the Debian packages the build and the tests need, when any is
# missing, the 32-bit Wine loader (wine32:i386) among them.
#
# A multi-arch library must have one version for both word sizes. When the
# registry's i386 security index is unusable, the amd64 libraries that
# wine64 pulls from the security suite have no i386 twin at their version,
# and wine32:i386 cannot be installed beside them. The fallback takes this
# transaction from the release suite, whose versions exist for both word
# sizes, moving any amd64 library already installed to that version.
#
# The loader cannot always be had; this says so and goes on, so that the rest
# still builds. Whoever needs the 32-bit programs to run finds out by running
# the loader (scripts/lib/wine-env.sh), and scripts/test fails then.
veltrane_install_deps() {
  local packages=(cmake g++ libgtest-dev libgmock-dev libbenchmark-dev googletest python3
                  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
                  wine64 xvfb xdotool imagemagick x11-utils x11-xserver-utils icoutils
                  clang libclang-rt-14-dev icewm python3-pytest python3-pytest-timeout debootstrap "$@")
  local missing=() p
  for p in "${packages[@]}"; do
    veltrane_installed "$p" || missing+=("$p")
  done
  local want32=()
  veltrane_installed wine32:i386 || want32=(wine32:i386)
  if [ ${#missing[@]} -eq 0 ] && [ ${#want32[@]} -eq 0 ]; then
    veltrane_emulate_32bit
    return 0
  fi

  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  if [ ${#want32[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails an index now and then; try once more, then
  # go on with the indexes that did come.
  local log=/tmp/veltrane-apt.$$.log try
  for try in 1 2; do
    $sudo apt-get update -qq >"$log" 2>&1 && break
    [ $try -eq 1 ] && sleep 5
  done
  grep '^E: Failed to fetch' "$log" | sed 's/^E: /apt-get update: /; s/ \[IP: [^]]*\]//' >&2

  local all=("${missing[@]}" "${want32[@]}")
  echo "== installing: ${all[*]}"
  if veltrane_apt_install "$log" "${missing[@]}" "${want32[@]}"; then
    rm -f "$log"
    veltrane_emulate_32bit
    return 0
  fi
  if [ ${#want32[@]} -gt 0 ]; then
    local codename pin=/tmp/veltrane-apt.$$.pref
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    if [ -n "$codename" ]; then
      # Most often: an amd64 library newer than its i386 twin (see above).
      echo "== that failed ($(veltrane_apt_reason "$log"));" \
           "trying $codename alone, whose versions exist for both word sizes"
      printf 'Package: *\nPin: release n=%s\nPin-Priority: 1001\n' "$codename" >"$pin"
      veltrane_apt_install "$log" --allow-downgrades -o Dir::Etc::Preferences="$pin" \
        wine64 "${missing[@]}" "${want32[@]}" && { rm -f "$log" "$pin"; veltrane_emulate_32bit; return 0; }
      rm -f "$pin"
    fi
    echo "could not install wine32:i386: $(veltrane_apt_reason "$log"); the 32-bit programs cannot run here" >&2
    if [ ${#missing[@]} -eq 0 ] || veltrane_apt_install "$log" "${missing[@]}"; then
      rm -f "$log"
      return 0
    fi
  fi
  echo "could not install ${missing[*]}: $(veltrane_apt_reason "$log")" >&2
  rm -f "$log"
  return 1
}

# Whether a package is installed. Not `dpkg -s`: it succeeds for a package
# removed but not purged, whose configuration files are all that is left.
veltrane_installed() {
  [ "$(dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null)" = "ii " ]
}

# One apt-get transaction that never removes a package; its output in $1.
veltrane_apt_install() {
  local log=$1 sudo=""
  shift
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  local started=$SECONDS
  $sudo apt-get install -y -q --no-remove "$@" >"$log" 2>&1 || return 1
  echo "== $(grep -m1 'upgraded,.*newly installed' "$log" | sed 's/\.$//'), in $((SECONDS - started)) s"
}

# apt's own words for why a transaction failed: the first unmet dependency,
# else its last error line.
veltrane_apt_reason() {
  local said
  said=$(grep -m1 -A1 'following packages have unmet dependencies' "$1" | tail -n1 | sed 's/^ *//')
  [ -n "$said" ] || said=$(grep '^E:' "$1" | tail -n1)
  echo "${said:-apt-get failed}"
}

# Some kernels are built without IA-32 emulation: they refuse the 32-bit
# loader (Exec format error) although its package is installed. There the
# 32-bit programs run through QEMU's user-mode emulation of an i386 CPU,
# which the kernel's binfmt_misc starts for every i386 program. Debian 12's
# QEMU 7.2 cannot host the 32-bit Wine: it ignores MAP_FIXED_NOREPLACE, and
# Wine's reservations of the address space then cover the page of its shared
# user data. Debian 13's qemu-user can; its programs are static and run here
# as they are. Only that one program is taken from it.
VELTRANE_QEMU_I386=/usr/local/lib/veltrane/qemu-i386
veltrane_emulate_32bit() {
  local loader=/usr/lib/wine/wine binfmt=/proc/sys/fs/binfmt_misc sudo=""
  [ -x "$loader" ] || return 0
  [ "$(veltrane_32bit_runs)" = refused ] || return 0
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  if [ ! -x "$VELTRANE_QEMU_I386" ]; then
    local tmp mirror
    tmp=$(mktemp -d)
    mirror=$(veltrane_debian_mirror)
    mkdir -p "$tmp/lists/partial" "$tmp/cache/archives/partial"
    echo "deb [arch=amd64] $mirror trixie main" >"$tmp/sources.list"
    local apt=(-o Dir::Etc::SourceList="$tmp/sources.list" -o Dir::Etc::SourceParts=/dev/null
               -o Dir::State::Lists="$tmp/lists" -o Dir::Cache="$tmp/cache"
               -o APT::Architectures=amd64 -o APT::Sandbox::User=root)
    if ! { apt-get "${apt[@]}" update -qq && (cd "$tmp" && apt-get "${apt[@]}" download -q qemu-user) &&
           dpkg-deb -x "$tmp"/qemu-user_*.deb "$tmp/root"; } >"$tmp/log" 2>&1; then
      echo "could not get Debian 13's qemu-user: $(grep -E '^(E|W):' "$tmp/log" | tail -n1)" >&2
      rm -rf "$tmp"
      return 0
    fi
    $sudo install -D -m 755 "$tmp/root/usr/bin/qemu-i386" "$VELTRANE_QEMU_I386"
    rm -rf "$tmp"
  fi
  [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
  # ELF, 32-bit, little-endian, an executable or shared object for the i386;
  # F: the emulator is opened now, so it serves in every mount namespace.
  # An entry left from an earlier run may have been switched off.
  if [ -e "$binfmt/veltrane-i386" ]; then
    echo 1 | $sudo tee "$binfmt/veltrane-i386" >/dev/null
  else
    printf '%s' ':veltrane-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$VELTRANE_QEMU_I386"':F' |
      $sudo tee "$binfmt/register" >/dev/null
  fi
  if [ "$(veltrane_32bit_runs)" = yes ]; then
    echo "== this kernel runs no 32-bit programs: $(veltrane_32bit_emulation)"
  else
    echo "this kernel runs no 32-bit programs, and $VELTRANE_QEMU_I386 could not be made to run them" >&2
  fi
}

# How 32-bit programs run here, when they are emulated; nothing otherwise.
veltrane_32bit_emulation() {
  grep -qx enabled /proc/sys/fs/binfmt_misc/veltrane-i386 2>/dev/null || return 0
  echo "they run through Debian 13's qemu-i386 $("$VELTRANE_QEMU_I386" --version | sed -n '1s/.*version \([^ ]*\).*/\1/p'), which emulates the i386 CPU"
}

# Whether the kernel starts the 32-bit loader: yes, or refused (Exec format error).
veltrane_32bit_runs() {
  local said
  said=$(/usr/lib/wine/wine --version 2>&1 >/dev/null) && { echo yes; return; }
  case $said in *"Exec format error"*) echo refused ;; *) echo yes ;; esac
}

# The first Debian archive this machine's apt reads (not the security one).
veltrane_debian_mirror() {
  local uri
  uri=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null | sed -n 's/^URIs: *//p' | tr ' ' '\n' |
        grep -v security | head -n1)
  [ -n "$uri" ] || uri=$(sed -n 's/^deb \(\[[^]]*\] \)\{0,1\}\([^ ]*\) .*/\2/p' /etc/apt/sources.list 2>/dev/null |
                         grep -v security | head -n1)
  echo "$uri"
}
