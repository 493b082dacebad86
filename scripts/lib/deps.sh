# Sourced by scripts/run and scripts/test: installs the Debian packages the
# build and the tests need, when any is missing.
veltrane_install_deps() {
  local packages=(cmake g++ libgtest-dev libgmock-dev libbenchmark-dev python3
                  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686
                  wine64 xvfb xdotool imagemagick x11-utils x11-xserver-utils icoutils
                  clang libclang-rt-14-dev "$@")
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq && $sudo apt-get install -y -qq "${missing[@]}" >/dev/null ||
    { echo "could not install ${missing[*]}" >&2; return 1; }
}
