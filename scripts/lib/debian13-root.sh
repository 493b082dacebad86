# Sourced (bash): a Debian 13 root under build/, so that the same 32-bit
# tests also run under that release's Wine (10) while the host keeps its own
# (Debian 12, Wine 8).
#
#   source scripts/lib/debian13-root.sh
#   veltrane_debian13_root                    # makes it once, then reuses it
#   VELTRANE_RUN_DIR=$PWD/build/wine10 \
#     veltrane_in_debian13_root scripts/wine-tests --arch 32
#   veltrane_debian13_wine_version            # "Wine 10.0"
#
# Only the release suite is read: the registry's i386 security index cannot be
# relied on, and wine32:i386 needs its i386 libraries at the very versions of
# their amd64 twins, which the release suite alone guarantees.
#
# Runs in the root use their own VELTRANE_RUN_DIR (build/wine10 by default):
# a prefix that Wine 10 has touched is upgraded and is no use to Wine 8.

VELTRANE_ROOT="${VELTRANE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
VELTRANE_DEBIAN13_ROOT="$VELTRANE_ROOT/build/debian13-root"
declare -F veltrane_debian_mirror >/dev/null || source "$VELTRANE_ROOT/scripts/lib/deps.sh"

# What the tests need in the root. Recommends are left out to keep it small,
# except those the host has and Wine's X11 driver loads when present (for
# both word sizes): without them windows, monitors and text differ from the
# host's runs.
VELTRANE_DEBIAN13_PACKAGES=(
  wine wine64 wine32:i386 fonts-wine fonts-liberation
  xvfb xdotool imagemagick x11-utils x11-xserver-utils x11-xkb-utils icewm
  python3 python3-pytest python3-pytest-timeout procps
  libx11-6 libxfixes3 libxtst6
  libxrender1 libxrandr2 libxi6 libxinerama1 libxcursor1 libxcomposite1 libxxf86vm1
  libxrender1:i386 libxrandr2:i386 libxi6:i386 libxinerama1:i386 libxcursor1:i386
  libxcomposite1:i386 libxxf86vm1:i386 libxfixes3:i386
)

# Makes the root once, or completes one whose making stopped part way, or
# reuses a complete one. The stamp, written last, holds the package list it
# was made with: a root made with a shorter list is completed.
veltrane_debian13_root() {
  local root=$VELTRANE_DEBIAN13_ROOT stamp=$VELTRANE_DEBIAN13_ROOT/.veltrane-complete
  local want="${VELTRANE_DEBIAN13_PACKAGES[*]}"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
    echo "== Debian 13 root: ${root#"$VELTRANE_ROOT"/} (reused)"
    return 0
  fi
  if [ "$(id -u)" -ne 0 ]; then
    if command -v sudo >/dev/null; then
      sudo VELTRANE_ROOT="$VELTRANE_ROOT" bash -c 'source "$VELTRANE_ROOT/scripts/lib/debian13-root.sh" && veltrane_debian13_root'
      return
    fi
    echo "cannot make the Debian 13 root: it needs root, and sudo is not installed"
    return 1
  fi
  mkdir -p "$(dirname "$root")"
  # Two makers at once would debootstrap into the same directory.
  local lockfd
  exec {lockfd}>"$root.lock"
  flock -w 3600 "$lockfd" || { echo "cannot make the Debian 13 root: $root.lock stayed busy for an hour"; return 1; }
  local rc=0
  veltrane_debian13_make "$root" "$stamp" "$want" || rc=1
  exec {lockfd}>&-
  return $rc
}

veltrane_debian13_make() {
  local root=$1 stamp=$2 want=$3 started=$SECONDS
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ] && { echo "== Debian 13 root: ${root#"$VELTRANE_ROOT"/} (reused)"; return 0; }
  local log="$root.log" mirror
  mirror=$(veltrane_debian_mirror)
  [ -n "$mirror" ] || { echo "cannot make the Debian 13 root: no Debian archive in this machine's apt sources"; return 1; }

  # debootstrap removes its own directory inside the root when it has done.
  if [ ! -x "$root/usr/bin/apt-get" ] || [ -d "$root/debootstrap" ]; then
    command -v debootstrap >/dev/null ||
      { echo "cannot make the Debian 13 root: debootstrap is not installed"; return 1; }
    [ -e /usr/share/debootstrap/scripts/trixie ] ||
      { echo "cannot make the Debian 13 root: this debootstrap knows no trixie"; return 1; }
    if grep -qF " $root" /proc/self/mountinfo; then
      echo "cannot make the Debian 13 root: something is still mounted in $root"
      return 1
    fi
    rm -rf --one-file-system "$root"
    echo "== making the Debian 13 root in ${root#"$VELTRANE_ROOT"/} (debootstrap trixie, minbase)"
    if ! debootstrap --variant=minbase --arch=amd64 trixie "$root" "$mirror" >"$log" 2>&1; then
      local said
      said=$(grep -E '^E: ' "$log" | tail -n1)
      [ -n "$said" ] || said=$(tail -n1 "$root/debootstrap/debootstrap.log" 2>/dev/null)
      echo "cannot make the Debian 13 root: debootstrap: ${said:-failed (see $log)}"
      return 1
    fi
    echo "== debootstrap done in $((SECONDS - started)) s"
  fi

  # Only the release suite (see above); no daemon starts inside the root.
  echo "deb $mirror trixie main" >"$root/etc/apt/sources.list"
  rm -f "$root"/etc/apt/sources.list.d/*
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  cp -L /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

  local step=$SECONDS
  echo "== installing in the Debian 13 root: $want"
  # A mirror caught mid-sync fails an index now and then: once more.
  local try
  for try in 1 2; do
    veltrane_in_debian13_root sh -c 'dpkg --add-architecture i386 && apt-get update -q' >"$log" 2>&1 && break
    [ $try -eq 1 ] && sleep 5
  done
  local fetch
  fetch=$(grep -m1 -E '^(E|W): Failed to fetch' "$log" | sed 's/ \[IP: [^]]*\]//')
  # An install cut short leaves packages unpacked but not configured.
  veltrane_in_debian13_root dpkg --configure -a >/dev/null 2>&1
  # shellcheck disable=SC2086
  if ! veltrane_in_debian13_root env DEBIAN_FRONTEND=noninteractive \
         apt-get install -y -q --no-install-recommends $want >"$log" 2>&1; then
    echo "cannot make the Debian 13 root: $(veltrane_apt_reason "$log")${fetch:+ (after apt-get update: $fetch)}"
    return 1
  fi
  echo "== $(grep -m1 'upgraded,.*newly installed' "$log" | sed 's/\.$//'), in $((SECONDS - step)) s"
  veltrane_in_debian13_root apt-get clean >/dev/null 2>&1
  rm -rf "$root"/var/lib/apt/lists/*_dists_* 2>/dev/null
  echo "$want" >"$stamp"
  rm -f "$log"
  echo "== Debian 13 root made in $((SECONDS - started)) s: $(du -sh "$root" 2>/dev/null | cut -f1), $(veltrane_debian13_wine_version)"
}

# Runs CMD ARGS... as root inside the root, from the checkout (bound at its own
# path), in a private mount namespace: its mounts end with it. The host's /tmp
# is shared, so X displays started on either side see each other's locks and
# sockets. WINEPREFIX is not passed on: prefixes follow VELTRANE_RUN_DIR.
veltrane_in_debian13_root() {
  local root=$VELTRANE_DEBIAN13_ROOT
  [ $# -gt 0 ] || { echo "veltrane_in_debian13_root: which command?" >&2; return 2; }
  [ -x "$root/bin/sh" ] || { echo "veltrane_in_debian13_root: no root in $root (veltrane_debian13_root makes it)" >&2; return 1; }
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  local env=(PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root
             LANG=C.UTF-8 VELTRANE_ROOT="$VELTRANE_ROOT"
             VELTRANE_RUN_DIR="${VELTRANE_RUN_DIR:-$VELTRANE_ROOT/build/wine10}")
  local v
  for v in $(compgen -e); do
    case $v in
      VELTRANE_ROOT|VELTRANE_RUN_DIR) ;;
      VELTRANE_*|DISPLAY|WINEDEBUG|WINE_ENV_SCREEN|TERM|CI|TZ) env+=("$v=${!v}") ;;
    esac
  done
  # shellcheck disable=SC2016
  $sudo unshare --mount --propagation private -- /bin/bash -c '
    set -e
    root=$1 checkout=$2; shift 2
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"    # with /dev/pts and /dev/shm
    mount --bind /tmp "$root/tmp"
    mkdir -p "$root$checkout"
    mount --bind "$checkout" "$root$checkout"
    exec chroot "$root" /usr/bin/env -i "$@"
  ' bash "$root" "$VELTRANE_ROOT" "${env[@]}" /bin/sh -c 'cd "$VELTRANE_ROOT" && exec "$@"' sh "$@"
}

# "Wine 10.0": the version of the Wine in the root, as a summary names it.
veltrane_debian13_wine_version() {
  veltrane_wine_version_of veltrane_in_debian13_root
}

# $@ runs a command where the Wine is; 64-bit loader first, then the 32-bit.
veltrane_wine_version_of() {
  local said
  said=$("$@" sh -c '/usr/lib/wine/wine64 --version 2>/dev/null || /usr/lib/wine/wine --version' 2>/dev/null </dev/null)
  said=$(printf '%s\n' "$said" | sed -n 's/^wine-\([^ ]*\).*/Wine \1/p' | head -n1)
  [ -n "$said" ] || { echo "no Wine"; return 1; }
  echo "$said"
}
