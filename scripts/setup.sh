#!/usr/bin/env bash
# Brings a Debian 12 machine to the point where Tavorine builds and its tests run.
# Idempotent: when everything is already there it only checks and returns.
set -euo pipefail

need=()
have_cmd() { command -v "$1" >/dev/null 2>&1; }
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'ok installed'; }

pkgs=(cmake make python3 g++-mingw-w64-i686-posix binutils-mingw-w64-i686 mingw-w64-i686-dev
      googletest wine wine32:i386 libfreetype6:i386 libfontconfig1:i386 xvfb locales fonts-ipafont-gothic fonts-wine imagemagick)
for p in "${pkgs[@]}"; do have_pkg "$p" || need+=("$p"); done

if [ "${#need[@]}" -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    echo "setup: installing ${need[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
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

for c in i686-w64-mingw32-g++-posix i686-w64-mingw32-windres wine Xvfb cmake; do
    have_cmd "$c" || { echo "setup: $c is still missing" >&2; exit 1; }
done
