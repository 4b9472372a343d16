# Sourced by the scripts: building, and the environment every Wine process of this project gets.
# A Japanese locale gives the ANSI code page 932; mono and gecko are never installed.
# Which Wine runs them, and how: scripts/which-wine.sh.
. "$(dirname "${BASH_SOURCE[0]}")/which-wine.sh"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
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

# A Wine step that the scripts wait on, bounded: under qemu a step was seen to
# wait for good after its wineserver had gone. The limit suits the slowest path
# (qemu). A hang returns 124 with HUNG naming the step; STEP names the last step.
WINE_STEP_LIMIT=${WINE_STEP_LIMIT:-240}
wine_step() {
    local what=$1 rc=0
    shift
    STEP=$what
    timeout -k 10 "$WINE_STEP_LIMIT" "$@" || rc=$?
    if [ "$rc" -eq 124 ] || [ "$rc" -eq 137 ]; then
        HUNG=$what
        return 124
    fi
    return "$rc"
}

# One try at making a prefix at $1: the kind that 32-bit programs get (WINE_ARCH32: 32-bit
# where Wine can make one), or 64-bit when $2 is win64.
make_prefix_once() {
    local p=$1 arch=${2:-$WINE_ARCH32} loader=$WINE
    rm -rf "$p"
    mkdir -p "$(dirname "$p")"
    [ "$arch" = win64 ] && loader=$WINE64
    # Sid's Wine aborts making a prefix whenever TMPDIR is set.
    WINEPREFIX="$p" WINEARCH=$arch wine_step "wineboot -i" env -u TMPDIR "$loader" wineboot -i >/dev/null 2>&1 \
        || return
    # Without a window manager Wine must draw captions and frames itself.
    WINEPREFIX="$p" wine_step "wine reg add" "$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
        >/dev/null 2>&1 || return
    # The Japanese dialog font, from Debian's IPA fonts.
    WINEPREFIX="$p" wine_step "wine reg add" "$WINE" reg add 'HKCU\Software\Wine\Fonts\Replacements' \
        /v 'MS UI Gothic' /d IPAPGothic /f >/dev/null 2>&1 || return
    # Wine draws the caption buttons with Marlett, which it does not find by itself here.
    cp /usr/share/wine/fonts/marlett.ttf "$p/drive_c/windows/Fonts/" 2>/dev/null || true
    WINEPREFIX="$p" wine_step "wineserver -w" "$WINESERVER" -w || return
    [ -d "$p/drive_c/windows/system32" ] || { echo "wine prefix $p was not created" >&2; return 1; }
}

# Creates a fresh prefix at $1 (removing whatever was there), of the kind that
# make_prefix_once makes. A step that hangs or fails is tried once more, from the start,
# and named: a fresh machine's first prefix was once refused without a word.
make_prefix() {
    local try rc
    for try in 1 2; do
        rc=0
        STEP=""
        make_prefix_once "$@" || rc=$?
        [ "$rc" -eq 0 ] && return 0
        WINEPREFIX="$1" "$WINESERVER" -k 2>/dev/null || true
        if [ "$rc" -eq 124 ]; then
            echo "wine: making the prefix $1 hung at '$HUNG' for ${WINE_STEP_LIMIT} s (try $try of 2)" >&2
        else
            echo "wine: making the prefix $1 failed at '${STEP:-its start}' with status $rc (try $try of 2)" >&2
        fi
    done
    echo "wine: giving up on the prefix $1" >&2
    return 1
}

# A fresh prefix at $1 (as make_prefix) for the test programs, which run only
# where the token in the prefix matches TAVORINE_TEST_TOKEN.
make_test_prefix() {
    make_prefix "$@"
    # No crash debugger: a program that crashes ends at once and its test fails. Under
    # qemu, winedbg hangs, holding the test's output. Both registry views of a 64-bit prefix.
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' view ok=1
    local views=(/reg:32)
    [ "${2:-$WINE_ARCH32}" = win64 ] && views+=(/reg:64)
    for view in "${views[@]}"; do
        WINEPREFIX="$1" wine_step "wine reg add" "$WINE" reg add "$key" /v Debugger /d "" /f "$view" >/dev/null 2>&1 \
            || ok=0
    done
    WINEPREFIX="$1" wine_step "wineserver -w" "$WINESERVER" -w || ok=0
    if [ "$ok" = 0 ]; then
        echo "wine: turning the crash debugger off in $1 failed or hung" >&2
        return 1
    fi
    printf '%s' "$TAVORINE_TEST_TOKEN" > "$1/drive_c/tavorine-test-prefix"
}

# The system directory that a 32-bit program sees in the prefix at $1: syswow64 in a 64-bit one.
sysdir32() {
    if [ -d "$1/drive_c/windows/syswow64" ]; then echo "$1/drive_c/windows/syswow64"; else echo "$1/drive_c/windows/system32"; fi
}

# Configures and builds the tree at $1 into $2; further arguments name targets.
build_tree() {
    local src=$1 dir=$2
    shift 2
    cmake -S "$src" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$src/cmake/toolchain-i686-w64-mingw32.cmake" \
          -DCMAKE_BUILD_TYPE=MinSizeRel -DFAULT_CFLAGS="$WINE_UNIX_CFLAGS" >/dev/null
    local t=()
    for target in "$@"; do t+=(--target "$target"); done
    cmake --build "$dir" -j "$(nproc)" "${t[@]}" >/dev/null
}

# One wineserver for a whole run keeps each program's start short. Wine's own
# services start with the first program and outlive it: start them here, away
# from any caller's output pipes, which they would otherwise hold open.
start_wineserver() {
    "$WINESERVER" -p </dev/null >/dev/null 2>&1
    wine_step "wine cmd /c exit" "$WINE" cmd /c exit </dev/null >/dev/null 2>&1 || {
        echo "wine: starting Wine's services in $WINEPREFIX failed or hung (${HUNG:-})" >&2
        return 1
    }
}

# The rest of the calling script runs in a fresh test prefix at $1, on a
# display of its own when there is none; both are stopped when it exits.
open_sandbox() {
    export WINEPREFIX=$1
    TAVORINE_TEST_TOKEN=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
    export TAVORINE_TEST_TOKEN
    SANDBOX_PREFIXES=("$1")
    trap close_sandbox EXIT
    start_xvfb_if_needed
    make_test_prefix "$WINEPREFIX"
    start_wineserver
}

# A second test prefix at $1, 64-bit, on the same display and under the same token
# (under new WoW64 the first is 64-bit too).
open_sandbox64() {
    SANDBOX_PREFIXES+=("$1")
    make_test_prefix "$1" win64
    WINEPREFIX=$1 start_wineserver
}

close_sandbox() {
    local p
    for p in "${SANDBOX_PREFIXES[@]}"; do
        WINEPREFIX=$p "$WINESERVER" -k 2>/dev/null || true
    done
    stop_xvfb
}
