#!/bin/bash
# Takes the screenshots that the user manual shows (docs/manual/images/*.png)
# from the real tool under Wine and Xvfb, on a simulated host in a throw-away
# prefix (without a window manager: the pictures show the windows' insides). The
# main window is captured here; the pictures of the other dialogs
# are taken over from build/screenshots/<name>.png when a test run saved them
# there (names: backup-folder, restore-page1, restore-page2, progress, result).
# Rebuild afterwards to put them into Lomvard2.pdf.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
. cmake/wine-env.sh
# The shipped 32-bit build where this machine can run it.
target=${1:-$([ "$ZR_WINE32" = yes ] && echo i686 || echo x86_64)}
bin="$root/build/$target"
images="$root/docs/manual/images"
mkdir -p "$images"

bash scripts/build.sh "$target" -j2 ZuderaRurarizIdir hostsim NerithMediaLibrary >/dev/null

work="$root/build/manual-shots"
rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/wineprefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine_ja() { LC_ALL=ja_JP.UTF-8 wine "$@"; }

. scripts/xvfb.sh
unset DISPLAY
zr_start_xvfb
trap 'wineserver -k 2>/dev/null || true; zr_stop_xvfb; rm -rf "$work"' EXIT

wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w
wine_ja "$bin/hostsim/cli/hostsim.exe" install --host talvane --version 7.0 >/dev/null
wine_ja "$bin/hostsim/cli/hostsim.exe" library --tracks 10 >/dev/null

wine_ja "$bin/src/ZuderaRurarizIdir.exe" </dev/null >/dev/null 2>&1 &
window=
for _ in $(seq 1 120); do
    window=$(xwininfo -root -tree 2>/dev/null | awk '/Backup&Restore/ { print $1; exit }')
    [ -n "$window" ] && break
    sleep 0.5
done
if [ -z "$window" ]; then
    echo "The tool's main window did not appear" >&2
    exit 1
fi
sleep 2
import -window "$window" "$images/main.png"
echo "Saved $images/main.png"

for name in backup-folder restore-page1 restore-page2 progress result; do
    if [ -f "$root/build/screenshots/$name.png" ]; then
        cp "$root/build/screenshots/$name.png" "$images/$name.png"
        echo "Took over $images/$name.png"
    fi
done
