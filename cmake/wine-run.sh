#!/bin/bash
# Runs one Windows program under Wine with the tests' environment: a prefix of the
# build's own, code page 932, no debug noise. The prefix is booted once; a
# persistent wineserver with closed streams keeps ctest from waiting on Wine's
# helper processes. With ZR_WINE_FRESH=1 the program runs in a throw-away copy
# of the booted prefix, so it sees a registry and drive no other test touched.
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
export WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# Another user language for one test: the code page stays 932, Wine takes the
# user language from LC_MESSAGES.
if [ -n "${ZR_USER_LANGUAGE:-}" ]; then
    unset LC_ALL
    export LANG=ja_JP.UTF-8 LC_MESSAGES="$ZR_USER_LANGUAGE"
fi

mkdir -p "$(dirname "$WINEPREFIX")"
(
    flock 9
    if [ ! -f "$WINEPREFIX/.zr-booted" ]; then
        wineboot -i >/dev/null 2>&1 </dev/null
        wineserver -w
        touch "$WINEPREFIX/.zr-booted"
    fi
) 9>"$WINEPREFIX.lock"

# Wine's services start with the first program of a server; started here with
# closed streams they never hold ctest's output pipe open.
start_server() {
    wineserver -p10 </dev/null >/dev/null 2>&1
    wine wineboot.exe -s </dev/null >/dev/null 2>&1
}

if [ "${ZR_WINE_FRESH:-0}" = 1 ]; then
    fresh=$(mktemp -d "$(dirname "$WINEPREFIX")/fresh-prefix.XXXXXX")
    # The system folder is never written by tests: hard links make the copy cheap.
    (
        flock -s 9
        cd "$WINEPREFIX" || exit 1
        for entry in * .zr-booted; do
            if [ "$entry" = drive_c ]; then
                mkdir -p "$fresh/drive_c"
                for sub in drive_c/*; do
                    if [ "$sub" = drive_c/windows ]; then cp -al "$sub" "$fresh/$sub"; else cp -a "$sub" "$fresh/$sub"; fi
                done
            else
                cp -a "$entry" "$fresh/"
            fi
        done
    ) 9>"$WINEPREFIX.lock"
    # Never a prefix update here (the dot file was not copied, so Wine would
    # start one): wineboot would rewrite the hard-linked system files in place,
    # under the booted prefix and every other copy while their programs map
    # them ("could not load kernel32.dll, status c0000020").
    echo disable >"$fresh/.update-timestamp"
    export WINEPREFIX="$fresh"
    start_server
    wine "$@"
    rc=$?
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    rm -rf "$fresh"
    exit $rc
fi

start_server
exec wine "$@"
