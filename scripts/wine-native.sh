#!/usr/bin/env bash
# Lets the programs of a Wine prefix use the runtime libraries that Tavorine installs there,
# rather than Wine's own, which Wine loads first whatever file is at their names:
#   wine-native.sh before   before Tavorine runs: Wine's own msvcr71, msvcp71, msvcr70 and
#                           msvcp70 are set aside, so that Tavorine finds their names free
#   wine-native.sh after    when it has ended: a name that holds a file not Wine's gets
#                           "native, then built-in"; a name left empty gets Wine's own back
# In WINEPREFIX's system directory for 32-bit programs (syswow64 in a 64-bit prefix). Wine's
# files carry its mark 64 bytes in; a file without it is never moved, changed or deleted.
# What is set aside waits in the prefix, outside the system directory, and 'before' first
# settles what a run cut short left there. One line per name says what was done.
set -euo pipefail
. "$(dirname "$0")/common.sh"
prefix=${WINEPREFIX:?wine-native: WINEPREFIX names the prefix}
sys=$(sysdir32 "$prefix")
aside=$prefix/tavorine-aside/${sys##*/}
names=(msvcr71 msvcp71 msvcr70 msvcp70)
key='HKCU\Software\Wine\DllOverrides'
say() { echo "native: $*"; }

# What stands at a name in a folder, in any capitals, as Wine finds it; nothing where the
# folder is not there (nothing set aside).
at() { [ ! -d "$1" ] || find "$1" -maxdepth 1 -iname "$2.dll" -print -quit; }
is_wines() {
    case $(head -c 84 "$1" | tail -c +65 | tr -d '\0') in
        "Wine builtin DLL" | "Wine placeholder DLL") return 0 ;;
    esac
    return 1
}
# The move and its folders on the disk before the next step: a power cut loses no library.
move() { mv -- "$1" "$2" && sync -- "$2" "${1%/*}" "${2%/*}"; }

# The override now set for a name, empty where there is none.
override_of() { awk -v n="$1" 'tolower($1) == n && $2 == "REG_SZ" { print $3 }' <<<"$overrides" | tr -d '\r'; }

after() {
    if [ "${1:-}" = if-left ] && [ ! -d "$aside" ]; then return 0; fi
    local overrides n f kept old
    overrides=$(wine_step "wine reg query" "$WINE" reg query "$key" 2>/dev/null || true)
    for n in "${names[@]}"; do
        f=$(at "$sys" "$n") kept=$(at "$aside" "$n")
        if [ -z "$f" ]; then
            if [ -n "$kept" ]; then
                move "$kept" "$sys/${kept##*/}"
                say "$n.dll: empty; Wine's own put back"
            else
                say "$n.dll: empty, as it was"
            fi
        elif [ -d "$f" ]; then
            say "$n.dll: a folder; left alone"
        elif is_wines "$f"; then
            say "$n.dll: Wine's own; Wine loads it"
        else
            old=$(override_of "$n")
            case ${old// /} in
                n,b | native,builtin) say "$n.dll: not Wine's; native, then built-in, as it was" ;;
                *)
                    [ -z "$old" ] || say "$n.dll: replacing the override $n=$old"
                    wine_step "wine reg add" "$WINE" reg add "$key" /v "$n" /d native,builtin /f >/dev/null
                    say "$n.dll: not Wine's; $n=native,builtin set" ;;
            esac
        fi
        # Wine's own file, where the name holds another now, is no longer needed.
        kept=$(at "$aside" "$n")
        [ -z "$kept" ] || rm -f -- "$kept"
    done
    rmdir "$aside" "${aside%/*}" 2>/dev/null || true
}

before() {
    after if-left
    # A prefix that Wine must update is updated now: once the names are free, its wineboot -u
    # would put Wine's own files back there.
    wine_step "wine cmd /c exit" "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
    local n f
    for n in "${names[@]}"; do
        f=$(at "$sys" "$n")
        if [ -z "$f" ]; then
            say "$n.dll: empty"
        elif [ -f "$f" ] && is_wines "$f"; then
            mkdir -p "$aside"
            move "$f" "$aside/${f##*/}"
            say "$n.dll: Wine's own; set aside in $aside"
        else
            say "$n.dll: not Wine's; kept as it is"
        fi
    done
}

case ${1:-} in
    before | after) "$1" ;;
    *) echo "usage: wine-native.sh before|after" >&2; exit 2 ;;
esac
