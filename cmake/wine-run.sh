#!/bin/bash
# Runs one Windows program under Wine with the tests' environment: a prefix of the
# build's own, code page 932, no debug noise. The prefix is booted once; a
# persistent wineserver with closed streams keeps ctest from waiting on Wine's
# helper processes. With ZR_WINE_FRESH=1 the program runs in a throw-away copy
# of the booted prefix, so it sees a registry and drive no other test touched.
# With ZR_WINE_DPI=<dpi> as well, the copy has that display scale (96 is 100 %),
# set as a person sets it (HKCU\Control Panel\Desktop "LogPixels") before
# Wine first reads it.
# With ZR_PRIVATE_DISPLAY=1 the program gets an X display of its own, so that
# tests run side by side never cover each other's windows (the prefix's
# services stay on $DISPLAY, which outlives them). A 32-bit program on a
# machine that cannot run one ends with the skip code (wine-env.sh), before
# any prefix is touched.
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/wine-env.sh"
zr_skip_32bit "$1"
export WINEDEBUG=-all LC_ALL=ja_JP.UTF-8 WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win64
# Another user language for one test: the code page stays 932, Wine takes the
# user language from LC_MESSAGES.
if [ -n "${ZR_USER_LANGUAGE:-}" ]; then
    unset LC_ALL
    export LANG=ja_JP.UTF-8 LC_MESSAGES="$ZR_USER_LANGUAGE"
fi

zr_boot_prefix "$WINEPREFIX" unmanaged

fresh=
if [ "${ZR_WINE_FRESH:-0}" = 1 ]; then
    fresh=$(mktemp -d "$(dirname "$WINEPREFIX")/fresh-prefix.XXXXXX")
    zr_copy_prefix "$WINEPREFIX" "$fresh"
    export WINEPREFIX="$fresh"
    if [ -n "${ZR_WINE_DPI:-}" ]; then
        # A key named twice in a registry file is loaded as one.
        printf '\n[Control Panel\\\\Desktop]\n"LogPixels"=dword:%08x\n' "$ZR_WINE_DPI" >>"$fresh/user.reg"
    fi
fi
zr_start_wineserver

private=0
if [ "${ZR_PRIVATE_DISPLAY:-0}" = 1 ] && [ -n "${DISPLAY:-}" ]; then
    . "$here/../scripts/xvfb.sh"
    unset DISPLAY
    zr_start_xvfb
    private=1
fi
finish() {
    [ $private = 1 ] && zr_stop_xvfb
    if [ -n "$fresh" ]; then
        wineserver -k >/dev/null 2>&1
        wineserver -w >/dev/null 2>&1
        rm -rf "$fresh"
    fi
}
trap finish EXIT
trap 'exit 143' INT TERM

wine "$@"
