# Sourced helper: run Veltrane under Wine on a private X display.
#
#   source scripts/lib/wine-env.sh
#   wine_env_init            # prefix, env vars, cleanup trap
#   wine_env_start_xvfb      # private Xvfb on a free :91..:99 with a desktop
#                            # (IceWM and its system tray), exports DISPLAY
#   wine_env_prepare_prefix  # the 64-bit prefix; it serves both word sizes, and
#                            # WINE_ENV_NO_32BIT says why 32-bit programs cannot run
#   "$WINE32" some.exe &     # run things ($WINE for 64-bit programs)
#   (cleanup runs on exit: our wineserver -k, our IceWM, then our Xvfb)
#
# Only what this helper started is ever stopped: the Xvfb by its PID and the
# wine processes through `wineserver -k` of our own WINEPREFIX.

VELTRANE_ROOT="${VELTRANE_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)}"
WINE="${WINE:-/usr/lib/wine/wine64}"
WINE32="${WINE32:-/usr/lib/wine/wine}"
WINESERVER="${WINESERVER:-/usr/lib/wine/wineserver}"
WINE_ENV_XVFB_PID=""
WINE_ENV_WM_PID=""
WINE_ENV_XVFB_LOG=""
WINE_ENV_NO_32BIT=""

wine_env_die() { echo "wine-env: $*" >&2; exit 1; }

# Environment for every wine call; the prefix is created on first use.
wine_env_init() {
    [ -x "$WINE" ] || wine_env_die "$WINE not found (install the wine64 package)"
    export WINEPREFIX="${WINEPREFIX:-${VELTRANE_RUN_DIR:-$VELTRANE_ROOT/build}/wine-prefix}"
    export WINEARCH=win64
    export WINEDEBUG="${WINEDEBUG:--all}"
    # No Mono/Gecko installer dialogs in a fresh prefix.
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
    export WINE WINE32 WINESERVER
    # One run at a time per prefix: runs sharing it would share its wineserver,
    # and one run's cleanup would stop the other's programs.
    mkdir -p "$(dirname "$WINEPREFIX")"
    exec {WINE_ENV_LOCK_FD}>"$WINEPREFIX.lock"
    if ! flock -n "$WINE_ENV_LOCK_FD"; then
        echo "wine-env: waiting for another run that uses $WINEPREFIX" >&2
        flock -w 600 "$WINE_ENV_LOCK_FD" || wine_env_die "$WINEPREFIX stayed busy for 10 minutes"
    fi
    trap wine_env_cleanup EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
}

# Creates the prefix once (about 10 s); later runs reuse it. Then finds out
# whether the 32-bit loader runs in it: WINE_ENV_NO_32BIT is empty when it
# does and says why not otherwise. A prefix made while the loader was missing
# never runs it later ("could not load kernel32.dll"): such a prefix is made
# again, once, and this says so.
# Needs DISPLAY: call after wine_env_start_xvfb or with a real display.
wine_env_prepare_prefix() {
    if [ ! -f "$WINEPREFIX/system.reg" ] || [ ! -f "$WINEPREFIX/.veltrane-ready" ]; then
        wine_env_make_prefix
    fi
    WINE_ENV_NO_32BIT="$(wine_env_try_32bit)" && return 0
    if wine_env_loader_starts && ! grep -qx with-32bit-loader "$WINEPREFIX/.veltrane-ready"; then
        echo "wine-env: $WINEPREFIX was made without the 32-bit loader and cannot run it; making it again" >&2
        "$WINESERVER" -k >/dev/null 2>&1
        "$WINESERVER" -w >/dev/null 2>&1
        rm -rf "$WINEPREFIX"
        wine_env_make_prefix
        WINE_ENV_NO_32BIT="$(wine_env_try_32bit)"
    fi
    return 0
}

wine_env_make_prefix() {
    mkdir -p "$WINEPREFIX"
    echo "wine-env: creating Wine prefix $WINEPREFIX (once)" >&2
    "$WINE" wineboot -i >/dev/null 2>&1 || wine_env_die "wineboot -i failed"
    "$WINESERVER" -w
    # What the prefix was made with decides whether it is worth making again.
    if wine_env_loader_starts; then echo with-32bit-loader; else echo without-32bit-loader; fi \
        >"$WINEPREFIX/.veltrane-ready"
}

# Whether the kernel starts the 32-bit loader at all: it may be missing, or
# the kernel may run no 32-bit programs (scripts/lib/deps.sh then has them
# emulated).
wine_env_loader_starts() {
    "$WINE32" --version >/dev/null 2>&1 </dev/null
}

# Succeeds when the 32-bit loader runs a 32-bit program (Wine's own cmd) in
# the prefix; otherwise prints, on one line, why this machine cannot.
# Tried rather than assumed: the package can be missing, or the kernel can
# lack 32-bit support while the package is there.
wine_env_try_32bit() {
    local rc log="$WINEPREFIX.try32.log"
    if [ ! -x "$WINE32" ]; then
        echo "the 32-bit Wine loader $WINE32 is not installed (Debian package wine32:i386)"
        return 1
    fi
    # Asked of bash first: timeout hands a file the kernel will not run to sh,
    # whose syntax error would hide why.
    if ! "$WINE32" --version >/dev/null 2>"$log" </dev/null && grep -q 'Exec format error' "$log"; then
        echo "this kernel does not run 32-bit programs ($WINE32: Exec format error), and no emulation of them is set up (scripts/lib/deps.sh does that)"
        return 1
    fi
    timeout 120 "$WINE32" cmd /c exit 7 >"$log" 2>&1 </dev/null && rc=0 || rc=$?
    [ "$rc" -eq 7 ] && return 0
    local said
    said="$(tr -d '\r' <"$log" | grep -v '^[[:space:]]*$' | tail -n1)"
    echo "$WINE32 could not run a 32-bit program (cmd /c exit 7 gave exit code $rc)${said:+: $said}"
    return 1
}

# Keeps the wineserver (and the Wine desktop with its tray) alive between
# program runs, so each start does not pay for booting it again.
wine_env_keep_server() {
    "$WINESERVER" -p >/dev/null 2>&1 || true
}

# Starts Xvfb on the first free display of :91..:99 and exports DISPLAY.
# WINE_ENV_SCREEN sets its size (default 1280x1024x24).
wine_env_start_xvfb() {
    command -v Xvfb >/dev/null || wine_env_die "Xvfb not found (install the xvfb package)"
    local n tries
    for n in 91 92 93 94 95 96 97 98 99; do
        [ -e "/tmp/.X$n-lock" ] && continue
        [ -e "/tmp/.X11-unix/X$n" ] && continue
        WINE_ENV_XVFB_LOG="${TMPDIR:-/tmp}/veltrane-xvfb-$n.log"
        Xvfb ":$n" -screen 0 "${WINE_ENV_SCREEN:-1280x1024x24}" -nolisten tcp -noreset -r >"$WINE_ENV_XVFB_LOG" 2>&1 &
        WINE_ENV_XVFB_PID=$!
        for tries in $(seq 1 50); do
            if ! kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null; then
                break   # lost a race for this display number; try the next
            fi
            if [ -e "/tmp/.X11-unix/X$n" ] && xdpyinfo -display ":$n" >/dev/null 2>&1; then
                export DISPLAY=":$n"
                wine_env_map_fkeys
                wine_env_start_desktop
                return 0
            fi
            sleep 0.1
        done
        if kill -0 "$WINE_ENV_XVFB_PID" 2>/dev/null; then
            kill "$WINE_ENV_XVFB_PID" 2>/dev/null
            wait "$WINE_ENV_XVFB_PID" 2>/dev/null
        fi
        WINE_ENV_XVFB_PID=""
    done
    wine_env_die "no free X display in :91..:99"
}

# A desktop as Windows users have one: a window manager, which withdraws a
# hidden window at once and gives the screen its work area, and an XEmbed
# system tray, in which Wine docks notification icons. Started before any
# wine process, which looks for the tray once. Its own settings, not the
# user's, so that every run sees the same desktop; the Windows keys left to
# the programs, as the right one is a key Veltrane answers.
wine_env_start_desktop() {
    command -v icewm >/dev/null || wine_env_die "icewm not found (install the icewm package)"
    local cfg="${TMPDIR:-/tmp}/veltrane-icewm" tries
    mkdir -p "$cfg"
    echo 'Win95Keys=0' >"$cfg/preferences"
    ICEWM_PRIVCFG="$cfg" icewm >"$cfg/${DISPLAY#:}.log" 2>&1 &
    WINE_ENV_WM_PID=$!
    for tries in $(seq 1 100); do
        xwininfo -root -tree 2>/dev/null | grep -q '"SystemTray"' && return 0
        kill -0 "$WINE_ENV_WM_PID" 2>/dev/null || break
        sleep 0.1
    done
    wine_env_die "IceWM did not bring up its system tray on $DISPLAY (see $cfg/${DISPLAY#:}.log)"
}

# Xvfb's default keymap gives keycodes 191-193 (FK13-FK15) vendor keysyms,
# which Wine does not turn into VK_F13..VK_F15. Bind them to F13..F15 on our
# private display, before any wine process reads the keymap.
wine_env_map_fkeys() {
    local km
    km="$(xkbcomp -xkb "$DISPLAY" - 2>/dev/null)" || wine_env_die "xkbcomp cannot read the keymap of $DISPLAY"
    km="$(printf '%s\n' "$km" | sed -e 's/key <FK13> {[^}]*}/key <FK13> { [ F13 ] }/' \
                                  -e 's/key <FK14> {[^}]*}/key <FK14> { [ F14 ] }/' \
                                  -e 's/key <FK15> {[^}]*}/key <FK15> { [ F15 ] }/')"
    printf '%s\n' "$km" | xkbcomp - "$DISPLAY" >/dev/null 2>&1 || wine_env_die "xkbcomp cannot set the keymap of $DISPLAY"
    [ "$(xkbcomp -xkb "$DISPLAY" - 2>/dev/null | grep -cE 'key <FK1[345]> \{ *\[ *F1[345] *\] *\}')" = 3 ] ||
        wine_env_die "could not bind F13..F15 on $DISPLAY"
}

wine_env_cleanup() {
    local rc=$?
    trap - EXIT INT TERM
    if [ -n "${WINEPREFIX:-}" ] && [ -x "$WINESERVER" ]; then
        "$WINESERVER" -k >/dev/null 2>&1 || true
    fi
    if [ -n "$WINE_ENV_WM_PID" ]; then
        kill "$WINE_ENV_WM_PID" 2>/dev/null || true
        wait "$WINE_ENV_WM_PID" 2>/dev/null || true
        WINE_ENV_WM_PID=""
    fi
    if [ -n "$WINE_ENV_XVFB_PID" ]; then
        kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
        WINE_ENV_XVFB_PID=""
    fi
    return $rc
}

# Unix path -> the Z: drive path Wine programs see.
wine_env_winpath() {
    local p
    p="$(readlink -f "$1")"
    printf 'Z:%s\n' "${p//\//\\}"
}
