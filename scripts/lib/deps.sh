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
                  clang libclang-rt-14-dev "$@")
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  local want32=()
  dpkg -s wine32:i386 >/dev/null 2>&1 || want32=(wine32:i386)
  [ ${#missing[@]} -eq 0 ] && [ ${#want32[@]} -eq 0 ] && return 0

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
        wine64 "${missing[@]}" "${want32[@]}" && { rm -f "$log" "$pin"; return 0; }
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
