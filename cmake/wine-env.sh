# Sourced by every script that starts a Windows program (the test wrapper, the
# end-to-end run, the package test, the manual's screenshots). It decides once,
# by trying, whether this machine runs 32-bit programs, and points `wine` and
# `wineboot` at a loader that works here:
#   ZR_WINE32=yes  Debian's wine as it is (it picks the 32-bit loader, which
#                  starts 64-bit programs too);
#   ZR_WINE32=no   the 64-bit loader for everything; 32-bit programs are not
#                  run (zr_skip_32bit), with the reason in ZR_WINE32_WHY.
# ZR_NO_32BIT=1 makes the check answer no, to try the fallback on a machine that
# could run both. ZR_WINE32_LOADER names the 32-bit loader to try (for the
# wrapper's own test). The answer is exported, so child scripts ask no again.

ZR_WINE64_LOADER=${ZR_WINE64_LOADER:-/usr/lib/wine/wine64}

# A 32-bit program that starts only through a user-mode emulator costs about a
# minute per start: for a test suite that is no way to run it.
zr_i386_emulated() {
    local entry
    for entry in /proc/sys/fs/binfmt_misc/*; do
        [ -f "$entry" ] || continue
        grep -qx enabled "$entry" 2>/dev/null || continue
        # The magic of a 32-bit x86 ELF file: class 1, machine 3.
        grep -q '^magic 7f454c4601010100000000000000000002000300' "$entry" 2>/dev/null && return 0
    done
    return 1
}

zr_wine_probe() {
    if [ "${ZR_WINE32:-}" = yes ] || [ "${ZR_WINE32:-}" = no ]; then return 0; fi
    local loader=${ZR_WINE32_LOADER:-/usr/lib/wine/wine} out rc
    if [ "${ZR_NO_32BIT:-0}" = 1 ]; then
        ZR_WINE32=no
        ZR_WINE32_WHY="ZR_NO_32BIT=1 is set"
    elif [ ! -e "$loader" ]; then
        ZR_WINE32=no
        ZR_WINE32_WHY="$loader is not installed"
    else
        rc=0
        out=$(timeout 60 "$loader" --version 2>&1 </dev/null) || rc=$?
        if [ $rc -ne 0 ]; then
            ZR_WINE32=no
            ZR_WINE32_WHY="$loader --version failed (exit $rc): $(printf '%s' "$out" | tail -n 1)"
        elif zr_i386_emulated; then
            ZR_WINE32=no
            ZR_WINE32_WHY="32-bit programs run here only through a user-mode emulator (binfmt_misc), far too slowly"
        else
            ZR_WINE32=yes
            ZR_WINE32_WHY=
        fi
    fi
    export ZR_WINE32 ZR_WINE32_WHY
}

# 0 when the file is a 32-bit x86 Windows program (PE machine 0x014c).
zr_is_32bit_program() {
    local file=$1 offset machine
    [ -f "$file" ] || return 1
    [ "$(head -c 2 "$file" 2>/dev/null)" = MZ ] || return 1
    offset=$(od -An -tu4 -j60 -N4 "$file" 2>/dev/null | tr -d ' ') || return 1
    [ -n "$offset" ] || return 1
    machine=$(od -An -tx1 -j$((offset + 4)) -N2 "$file" 2>/dev/null | tr -d ' ') || return 1
    [ "$machine" = 4c01 ]
}

# The exit code by which ctest reports a test as not run (SKIP_RETURN_CODE).
ZR_SKIP_CODE=77

# Ends the calling script with ZR_SKIP_CODE when the program is 32-bit and this
# machine cannot run it; says why on both streams, so a log shows it either way.
zr_skip_32bit() {
    zr_wine_probe
    [ "$ZR_WINE32" = no ] || return 0
    zr_is_32bit_program "$1" || return 0
    local text="SKIPPED: $(basename "$1") is a 32-bit program and this machine cannot run 32-bit programs ($ZR_WINE32_WHY)"
    echo "$text"
    echo "$text" >&2
    exit $ZR_SKIP_CODE
}

zr_wine_probe
if [ "$ZR_WINE32" = no ]; then
    # Debian's wrapper would pick the 32-bit loader whenever it is installed.
    export WINELOADER=$ZR_WINE64_LOADER
    wine() { "$ZR_WINE64_LOADER" "$@"; }
    wineboot() { "$ZR_WINE64_LOADER" wineboot.exe "$@"; }
fi

# Boots a prefix once (a lock keeps concurrent callers from booting it twice).
zr_boot_prefix() {
    local prefix=$1 windows=${2:-}
    mkdir -p "$(dirname "$prefix")"
    (
        flock 9
        if [ ! -f "$prefix/.zr-booted" ]; then
            WINEPREFIX=$prefix wineboot -i >/dev/null 2>&1 </dev/null
            WINEPREFIX=$prefix wineserver -w
            [ "$windows" = unmanaged ] && zr_unmanaged_windows "$prefix"
            touch "$prefix/.zr-booted"
        fi
    ) 9>"$prefix.lock"
}

# The tests' displays have no window manager. Told so, Wine draws the title
# bars itself (screenshots show them) and does not wait for a manager to
# withdraw each closed window (two seconds every time). Written into the
# registry file while no server holds the prefix; a key named twice in the
# file is loaded as one.
zr_unmanaged_windows() {
    printf '\n[Software\\\\Wine\\\\X11 Driver]\n"Decorated"="N"\n"Managed"="N"\n' >>"$1/user.reg"
}

# Copies a booted prefix for a throw-away run. The system folder is never
# written by tests: hard links make the copy cheap. Never a prefix update in
# the copy (the dot file is not copied, so Wine would start one): wineboot
# would rewrite the hard-linked system files in place, under the booted prefix
# and every other copy while their programs map them ("could not load
# kernel32.dll, status c0000020").
zr_copy_prefix() {
    local from=$1 to=$2
    mkdir -p "$to/drive_c"
    (
        flock -s 9
        cd "$from" || exit 1
        for entry in * .zr-booted; do
            if [ "$entry" = drive_c ]; then
                for sub in drive_c/*; do
                    if [ "$sub" = drive_c/windows ]; then cp -al "$sub" "$to/$sub"; else cp -a "$sub" "$to/$sub"; fi
                done
            else
                cp -a "$entry" "$to/"
            fi
        done
    ) 9>"$from.lock"
    echo disable >"$to/.update-timestamp"
}

# Wine's services start with the first program of a server; started with
# closed streams they never hold a caller's output pipe open.
zr_start_wineserver() {
    WINEPREFIX=${1:-$WINEPREFIX} wineserver -p10 </dev/null >/dev/null 2>&1
    WINEPREFIX=${1:-$WINEPREFIX} wine wineboot.exe -s </dev/null >/dev/null 2>&1
}
