#!/usr/bin/env bash
# Brings a Debian machine, 12 (bookworm), 13 (trixie) or sid, to the point where Tavorine
# builds and its tests run; with --build, only to where it builds (scripts/release.sh).
# Idempotent: when everything is already there it only checks and returns. It exits with
# 77 where this machine cannot run 32-bit Windows programs at all.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }
require_cmds() {
    for c in "$@"; do
        have_cmd "$c" || { echo "setup: $c is still missing" >&2; exit 1; }
    done
}
# Installs those of the packages that are missing.
apt_install() {
    local need=() p
    for p in "$@"; do have_pkg "$p" || need+=("$p"); done
    [ "${#need[@]}" -gt 0 ] || return 0
    echo "setup: installing ${need[*]}"
    # A mirror caught mid-sync fails one index; what the others give may still be enough.
    $sudo apt-get update -qq || echo "setup: apt-get update reported errors; trying with what it fetched"
    get() { DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null; }
    # Without the security index for i386, the 32-bit libraries cannot match their 64-bit
    # twins at the security versions; taking both from the release itself keeps them in step.
    # Sid calls itself by the next release's name, which its sources do not name.
    get && return
    apt-get indextargets --format '$(RELEASE)' | grep -qx "$release" || return 1
    echo "setup: retrying with $release's own versions"
    get -t "$release"
}

apt_install cmake make python3 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev googletest
if [ "${1:-}" = --build ]; then
    require_cmds i686-w64-mingw32-g++-posix i686-w64-mingw32-windres cmake python3
    exit 0
fi
apt_install python3-pefile wine gcc libc6-dev libfreetype6 libfontconfig1 xvfb x11-utils locales \
    fonts-ipafont-gothic fonts-wine imagemagick
unset TAVORINE_WINE_ASKED  # asked afresh, after the installs
. "$here/which-wine.sh"
if [ -z "$WINE" ]; then
    # This Wine runs no 32-bit program by itself (Debian 12 and 13): its 32-bit part is i386's.
    # A Wine in the new WoW64 mode (Debian sid) needs none of this.
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    apt_install wine32:i386 libfreetype6:i386 libfontconfig1:i386 gcc-multilib
    find_wine
    [ -n "$WINE" ] || { echo "setup: no Wine that runs 32-bit programs could be installed" >&2; exit 1; }
fi

# The ANSI code page under Wine follows the locale: ja_JP.UTF-8 gives 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "setup: generating ja_JP.UTF-8"
    $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
fi

if [ -n "$WINE_WOW64" ]; then
    # New WoW64 runs a 32-bit program's code inside a 64-bit process, which qemu-i386 cannot
    # stand in for: where the kernel offers no 32-bit code segment, Wine cannot run Tavorine.
    probe=$(mktemp -d)
    gcc -O2 -o "$probe/runs-32bit-code" "$here/runs-32bit-code.c"
    rc=0
    # In a shell of its own, which reports the crash to /dev/null rather than to ours.
    bash -c '"$0"; exit $?' "$probe/runs-32bit-code" 2>/dev/null || rc=$?
    rm -rf "$probe"
    if [ "$rc" -ne 0 ]; then
        echo "setup: this machine runs no 32-bit x86 code, not even inside a 64-bit process as Wine's" \
             "new WoW64 runs it, so no 32-bit Windows program runs here" >&2
        exit 77
    fi
elif ! "$WINE" --version >/dev/null 2>&1; then
    # Some virtual machines run no 32-bit x86 code: their kernel has its ia32 emulation off.
    # There the 32-bit Wine loader runs under qemu-i386, through binfmt_misc, at version 10:
    # bookworm's own 7.2 spent two minutes starting each Wine process, and hung at times
    # making a prefix, so Debian 12 takes it from bookworm-backports; Debian 13's own is 10.0.
    binfmt=/proc/sys/fs/binfmt_misc
    if ! /usr/bin/qemu-i386 --version 2>/dev/null | grep -q 'version 1[0-9]\.'; then
        echo "setup: this machine runs no 32-bit code; running the 32-bit Wine under qemu-i386"
        suite=$release
        if [ "$release" = bookworm ]; then
            $sudo apt-get update -qq || true
            # The backports suite of the mirror that this machine's own entry names.
            mirror=$(apt-get indextargets --format '$(REPO_URI) $(RELEASE)' | awk '$2 == "bookworm" { print $1; exit }')
            [ -n "$mirror" ] || { echo "setup: no bookworm entry among the APT sources" >&2; exit 1; }
            echo "deb $mirror bookworm-backports main" | $sudo tee /etc/apt/sources.list.d/bookworm-backports.list >/dev/null
            suite=bookworm-backports
        fi
        $sudo apt-get update -qq || true
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
            -t "$suite" qemu-user >/dev/null
    fi
    [ -e "$binfmt/register" ] || $sudo mount -t binfmt_misc binfmt_misc "$binfmt"
    if ! grep -qx 'interpreter /usr/bin/qemu-i386' "$binfmt/qemu-i386" 2>/dev/null; then
        [ -e "$binfmt/qemu-i386" ] && echo -1 | $sudo tee "$binfmt/qemu-i386" >/dev/null
        printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386:F' \
            | $sudo tee "$binfmt/register" >/dev/null
    fi
    "$WINE" --version >/dev/null 2>&1 || { echo "setup: the 32-bit Wine still does not run" >&2; exit 1; }
fi

require_cmds i686-w64-mingw32-g++-posix i686-w64-mingw32-windres Xvfb xwininfo setpriv cmake gcc
