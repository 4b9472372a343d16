# Sourced by the scripts: the environment every Wine process of this project gets.
# A Japanese locale gives the ANSI code page 932; mono and gecko are never installed.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# Starts Xvfb on a free display when there is no display; sets XVFB_PID.
start_xvfb_if_needed() {
    XVFB_PID=""
    [ -n "${DISPLAY:-}" ] && return 0
    local n
    for n in $(seq 91 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        local i
        for i in $(seq 1 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && { export DISPLAY=":$n"; return 0; }
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    done
    echo "could not start Xvfb" >&2
    return 1
}

stop_xvfb() {
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
}

# Creates a fresh 32-bit prefix at $1 (removing whatever was there).
make_prefix() {
    rm -rf "$1"
    mkdir -p "$(dirname "$1")"
    WINEPREFIX="$1" wineboot -i >/dev/null 2>&1
    # Without a window manager Wine must draw captions and frames itself.
    WINEPREFIX="$1" wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    WINEPREFIX="$1" wineserver -w
    [ -d "$1/drive_c/windows/system32" ] || { echo "wine prefix $1 was not created" >&2; return 1; }
}
