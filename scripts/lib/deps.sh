# Sourced by scripts/run and scripts/test: installs the Debian packages the
# build and the tests need, when any is missing.
#
# The 32-bit Wine loader (wine32:i386) is wanted but not required: a machine
# that cannot have it still builds and tests, and the end-to-end suite says
# plainly that it ran the 64-bit build in the product's place.
veltrane_install_deps() {
  local packages=(cmake g++ libgtest-dev libgmock-dev libbenchmark-dev googletest python3
                  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
                  wine64 xvfb xdotool imagemagick x11-utils x11-xserver-utils icoutils
                  clang libclang-rt-14-dev "$@")
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  local want32=0
  dpkg -s wine32:i386 >/dev/null 2>&1 || want32=1
  [ ${#missing[@]} -eq 0 ] && [ $want32 -eq 0 ] && return 0

  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  if [ $want32 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  # A mirror caught mid-sync fails one index now and then; the others are
  # still good, so try again a few times and go on with what was fetched.
  local try
  for try in 1 2 3; do
    $sudo apt-get update -qq >/dev/null 2>&1 && break
    sleep 10
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    $sudo apt-get install -y -qq "${missing[@]}" >/dev/null ||
      { echo "could not install ${missing[*]}" >&2; return 1; }
  fi
  if [ $want32 -eq 1 ]; then
    echo "== installing: wine32:i386"
    # Both word sizes of a multi-arch library must be one version. When the
    # security index of one architecture is missing, take both from the release.
    local codename
    codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
    $sudo apt-get install -y -qq --no-remove wine64 wine32:i386 >/dev/null 2>&1 ||
      { [ -n "$codename" ] &&
        $sudo apt-get install -y -qq --no-remove -t "$codename" wine64 wine32:i386 \
          libgstreamer-plugins-base1.0-0 libgstreamer-plugins-base1.0-0:i386 \
          gstreamer1.0-plugins-base >/dev/null 2>&1; } ||
      echo "could not install wine32:i386; the 32-bit programs cannot run under Wine here" >&2
  fi
  return 0
}
