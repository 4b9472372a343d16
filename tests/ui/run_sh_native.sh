#!/usr/bin/env bash
# run.sh --native in the run's prefix (WINEPREFIX), as a Wine user meets it: Wine's own msvcr71,
# msvcp71 and msvcr70 there, the user's own msvcp70.dll, and an override of the user's; the UI
# driver presses both buttons (ui/run_sh_flow.cpp). Then old programs built against the stand-ins
# load them from the system directory, with no override of their own.
# Usage: run_sh_native.sh ROOT BUILD
set -u
root=$1 build=$2
if [ -z "${TAVORINE_TEST_TOKEN:-}" ] ||
   [ "$(cat "${WINEPREFIX:-/nowhere}/drive_c/tavorine-test-prefix" 2>/dev/null)" != "$TAVORINE_TEST_TOKEN" ]; then
    echo "refusing to run: not in the prefix that scripts/test.sh made for this run" >&2
    exit 2
fi
. "$root/scripts/common.sh"
export TAVORINE_BUILD=$build
sys=$(sysdir32 "$WINEPREFIX")
key='HKCU\Software\Wine\DllOverrides'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failed=1; fi
}
runs() { timeout -k 5 60 "$WINE" "$build/tests/$1.exe" </dev/null >/dev/null 2>&1; }
fails() { ! runs "$1"; }
same() { cmp -s "$1" "$2"; }
overrides() { "$WINE" reg query "$key" 2>/dev/null | tr -d '\r' | grep REG_SZ | sort; }
state() { (cd "$sys" && ls -l --time-style=+%s && sha256sum msvc[pr]7[01].dll); overrides; }
wines_own() { dpkg-query -S "*/i386-windows/$1.dll" | sed 's|^[^/]*||' | head -n 1; }

rm -f "$sys"/MFC71.dll "$sys"/msvc[pr]7[01].dll "$sys"/Tavorine-*.tmp
for n in msvcr71 msvcp71 msvcr70; do cp "$(wines_own "$n")" "$sys/$n.dll"; done
{ cat "$build/standin/msvcp70.dll"; printf "the user's own"; } > "$work/users.dll"
cp "$work/users.dll" "$sys/msvcp70.dll"
"$WINE" reg delete "$key" /f >/dev/null 2>&1
"$WINE" reg add "$key" /v msvcr70 /d builtin /f >/dev/null 2>&1
mkdir "$work/VCRUNTIME"
cp "$build"/standin/*.dll "$work/VCRUNTIME/"
ls "$sys" > "$work/before"
other=$WINEPREFIX/drive_c/windows/system32
ls -l --time-style=+%s "$other" > "$work/other"
check "without the steps, Wine loads its own msvcr71" fails old_program_msvcr71

# A run cut short once it had set Wine's own aside; the next run puts them back first.
bash "$root/scripts/wine-native.sh" before >/dev/null
check "Wine's own set aside, the user's kept" \
    test ! -e "$sys/msvcr71.dll" -a ! -e "$sys/msvcr70.dll" -a "$(ls "$WINEPREFIX/tavorine-aside"/*/ | wc -l)" = 3
check "the user's msvcp70.dll kept" same "$sys/msvcp70.dll" "$work/users.dll"

bash "$root/scripts/run.sh" --native --prefix "$WINEPREFIX" --from "$work" >"$work/run.log" 2>&1 &
run=$!
timeout -k 5 170 "$WINE" "$build/tests/ui_tests.exe" --gtest_filter='RunShNative.*' </dev/null || {
    failed=1
    kill "$run"
}
wait "$run" || { echo "FAILED: run.sh ended with $?"; failed=1; }
cat "$work/run.log"

for n in MFC71 msvcp71 msvcr71 msvcr70; do
    check "$n.dll installed" same "$sys/$n.dll" "$work/VCRUNTIME/$n.dll"
done
check "the user's msvcp70.dll as it was" same "$sys/msvcp70.dll" "$work/users.dll"
check "Wine's own put back first" grep -q "msvcr71.dll: empty; Wine's own put back" "$work/run.log"
check "the user's override named" grep -q "replacing the override msvcr70=builtin" "$work/run.log"
check "native, then built-in for the four names" \
    test "$(overrides | awk '{ print $1 "=" $3 }' | tr '\n' ' ')" = \
         "msvcp70=native,builtin msvcp71=native,builtin msvcr70=native,builtin msvcr71=native,builtin "
check "nothing new in the system directory but MFC71.dll" \
    test "$(ls "$sys" | grep -vx MFC71.dll)" = "$(cat "$work/before")"
check "nothing left aside" test ! -e "$WINEPREFIX/tavorine-aside"
[ "$sys" = "$other" ] || check "the 64-bit system32 untouched" \
    test "$(ls -l --time-style=+%s "$other")" = "$(cat "$work/other")"
for p in old_program old_program_msvcr71 old_program_msvcr70; do
    check "$p runs on what was installed" runs "$p"
done

# Again, on a display of its own: nothing more changes.
state > "$work/settled"
env -u DISPLAY bash "$root/scripts/run.sh" --native --prefix "$WINEPREFIX" --from "$work" >"$work/run.log" 2>&1 ||
    { echo "FAILED: the second run.sh"; cat "$work/run.log"; failed=1; }
check "a second run changes nothing" test "$(state)" = "$(cat "$work/settled")"
check "a second run finds the four overrides set" test "$(grep -c 'native, then built-in, as it was' "$work/run.log")" = 4
exit "$failed"
