#!/usr/bin/env bash
# Brings a Debian 12 (bookworm) or 13 (trixie) machine to the point where Tavorine
# builds and its tests run; with --build, only to where it builds (scripts/release.sh).
# Idempotent: when everything is already there it only checks and returns.
set -euo pipefail
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }
require_cmds() {
    for c in "$@"; do
        have_cmd "$c" || { echo "setup: $c is still missing" >&2; exit 1; }
    done
}

pkgs=(cmake make python3 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev googletest)
[ "${1:-}" = --build ] || pkgs+=(python3-pefile wine wine32:i386 wine64 libfreetype6:i386
    libfontconfig1:i386 gcc-multilib xvfb x11-utils locales fonts-ipafont-gothic fonts-wine imagemagick)
for p in "${pkgs[@]}"; do have_pkg "$p" || need+=("$p"); done

if [ "${#need[@]}" -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "setup: installing ${need[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    # A mirror caught mid-sync fails one index; what the others give may still be enough.
    $sudo apt-get update -qq || echo "setup: apt-get update reported errors; trying with what it fetched"
    install() {
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "$@" "${need[@]}" >/dev/null
    }
    # Without the security index for i386, the 32-bit libraries cannot match their 64-bit
    # twins at the security versions; taking both from the release itself keeps them in step.
    install || { echo "setup: retrying with $release's own versions"; install -t "$release"; }
fi
if [ "${1:-}" = --build ]; then
    require_cmds i686-w64-mingw32-g++-posix i686-w64-mingw32-windres cmake python3
    exit 0
fi

# The ANSI code page under Wine follows the locale: ja_JP.UTF-8 gives 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "setup: generating ja_JP.UTF-8"
    $sudo sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
fi

# Some virtual machines run no 32-bit x86 code: their kernel has its ia32 emulation off.
# There the 32-bit Wine loader runs under qemu-i386, through binfmt_misc, at version 10:
# bookworm's own 7.2 spent two minutes starting each Wine process, and hung at times
# making a prefix, so Debian 12 takes it from bookworm-backports; Debian 13's own is 10.0.
# A qemu-i386 entry of binfmt_misc, once there, runs every 32-bit program, so where one
# is, this is the path too.
binfmt=/proc/sys/fs/binfmt_misc
if [ -e "$binfmt/qemu-i386" ] || ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
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
    /usr/lib/wine/wine --version >/dev/null 2>&1 || { echo "setup: the 32-bit Wine still does not run" >&2; exit 1; }
fi

require_cmds i686-w64-mingw32-g++-posix i686-w64-mingw32-windres wine Xvfb xwininfo setpriv cmake
