#!/bin/bash
# The check that decides whether this machine runs 32-bit programs, and the
# fallback it chooses when not (cmake/wine-env.sh), tried on any machine:
# a 32-bit loader that cannot start, the ZR_NO_32BIT switch, a 32-bit program
# reported as not run, a 64-bit program started by the 64-bit loader.
set -u
root=$(cd "$(dirname "$0")/../.." && pwd)
: "${WINEPREFIX:?WINEPREFIX must be set}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() {
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}

# The probe in a clean shell: nothing decided by a caller.
probe() { env -u ZR_WINE32 -u ZR_WINE32_WHY -u ZR_NO_32BIT "$@" bash -c '. "$0"; echo "$ZR_WINE32|$ZR_WINE32_WHY"' "$root/cmake/wine-env.sh"; }

# A kernel without 32-bit support, as Debian's wrapper meets it.
cat >"$work/broken-loader" <<'SH'
#!/bin/sh
echo "/usr/bin/wine: 40: exec: /usr/lib/wine/wine: Exec format error" >&2
exit 126
SH
printf '#!/bin/sh\necho wine-8.0\n' >"$work/working-loader"
chmod +x "$work/broken-loader" "$work/working-loader"

answer=$(probe ZR_WINE32_LOADER="$work/broken-loader")
check "a loader that cannot start answers no" [ "${answer%%|*}" = no ]
check "the reason names the failure: $answer" grep -q 'Exec format error' <<<"$answer"
answer=$(probe ZR_WINE32_LOADER="$work/working-loader")
if ls /proc/sys/fs/binfmt_misc/* >/dev/null 2>&1 && grep -lqs '^magic 7f454c4601010100000000000000000002000300' /proc/sys/fs/binfmt_misc/*; then
    check "an emulated loader answers no: $answer" [ "${answer%%|*}" = no ]
else
    check "a loader that starts answers yes: $answer" [ "${answer%%|*}" = yes ]
fi
answer=$(probe ZR_WINE32_LOADER="$work/working-loader" ZR_NO_32BIT=1)
check "the switch makes it answer no: $answer" [ "$answer" = "no|ZR_NO_32BIT=1 is set" ]

# A 32-bit program (a PE header of machine 0x014c is all the check reads) is
# reported as not run, before any prefix is touched.
{ printf 'MZ'; head -c 58 /dev/zero; printf '\x40\x00\x00\x00PE\x00\x00\x4c\x01'; } >"$work/program32.exe"
out=$(env -u ZR_WINE32 ZR_NO_32BIT=1 WINEPREFIX="$work/untouched" bash "$root/cmake/wine-run.sh" "$work/program32.exe" 2>/dev/null)
rc=$?
check "a 32-bit program ends with the skip code (got $rc)" [ $rc = 77 ]
check "and says why: $out" grep -q '^SKIPPED: program32.exe is a 32-bit program .*ZR_NO_32BIT=1 is set' <<<"$out"
check "and no prefix was made" [ ! -e "$work/untouched" ]
mkdir -p "$work/bin/src"
cp "$work/program32.exe" "$work/bin/src/ZuderaRurarizIdir.exe"
env -u ZR_WINE32 ZR_NO_32BIT=1 bash "$root/scripts/end-to-end.sh" --bin "$work/bin" --work "$work/e2e" >/dev/null 2>&1
rc=$?
check "the end-to-end run of a 32-bit build is not run either (got $rc)" [ $rc = 77 ]

# A 64-bit program starts, and through the 64-bit loader.
cat >"$work/loader64" <<SH
#!/bin/sh
echo "\$@" >>"$work/loader64.log"
exec /usr/lib/wine/wine64 "\$@"
SH
chmod +x "$work/loader64"
out=$(env -u ZR_WINE32 ZR_NO_32BIT=1 ZR_WINE64_LOADER="$work/loader64" bash "$root/cmake/wine-run.sh" cmd.exe /c echo zr-64-ok 2>&1)
rc=$?
check "a 64-bit program runs with the switch set (exit $rc)" [ $rc = 0 ]
check "and prints: $(tr -d '\r' <<<"$out" | tail -n 1)" grep -q zr-64-ok <<<"$out"
check "through the 64-bit loader" grep -q 'cmd.exe /c echo zr-64-ok' "$work/loader64.log"

[ $failures = 0 ] && echo "all passed" || echo "$failures failed"
[ $failures = 0 ]
