#!/bin/bash
# Builds the tool (the 32-bit build that ships) and the stand-in host, installs
# a simulated host with a small library into a demo Wine prefix and starts the
# tool. With $DISPLAY the tool opens there; without, it runs under Xvfb, a
# screenshot of what it shows is saved and its path printed, and the tool is closed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup-deps.sh
bash scripts/build.sh i686 -j2 ZuderaRurarizIdir hostsim NerithMediaLibrary >/dev/null

bin="$root/build/i686"
demo="$root/build/demo"
mkdir -p "$demo"
export WINEPREFIX="$demo/wineprefix" WINEDEBUG=-all WINEARCH=win64
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine_ja() { LC_ALL=ja_JP.UTF-8 wine "$@"; }
# hostsim prints in the ANSI code page; the terminal wants UTF-8.
hostsim() { wine_ja "$bin/hostsim/cli/hostsim.exe" "$@" | iconv -f CP932 -t UTF-8; }

if [ ! -f "$WINEPREFIX/.zr-booted" ]; then
    echo "Preparing the demo Wine prefix (once, about a minute)..."
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
    touch "$WINEPREFIX/.zr-booted"
fi

echo "Installing the simulated host..."
hostsim uninstall >/dev/null 2>&1 || true
hostsim install --host talvane --version 7.0
hostsim library --tracks 40 --folders 8 --pictures 2 --secure 4 --missing 2 --drive-root on

. scripts/xvfb.sh
if [ -n "${DISPLAY:-}" ]; then
    wine_ja "$bin/src/ZuderaRurarizIdir.exe"
    exit 0
fi

zr_start_xvfb
trap 'wineserver -k 2>/dev/null || true; zr_stop_xvfb' EXIT
wine_ja "$bin/src/ZuderaRurarizIdir.exe" </dev/null >/dev/null 2>&1 &
for _ in $(seq 1 120); do
    xwininfo -root -tree 2>/dev/null | grep -q 'Backup&Restore' && break
    sleep 0.5
done
sleep 2
shot="$demo/screenshot.png"
import -window root "$shot"
echo "Screenshot of the tool: $shot"
