#!/bin/bash
# The whole job through the tool's window, on two simulated PCs (two Wine
# prefixes that share an "external disk" E:). PC 1 gets the first host 7.0
# with a generated library; the driver backs it up to E:\Backup through the
# tool's window. PC 2 gets the second host 1.0 with a small library of its
# own; the driver restores the backup there. A screenshot of every step goes
# to WORK/shots (and WORK/contact-sheet.png); the summary compares the
# stand-in host's listings of the library before and after.
#
#   end-to-end.sh --bin BUILD_DIR --work DIR [--base-prefix PREFIX] [--tracks N] [--show]
#
# --base-prefix: a prefix to copy the PCs from (booted here when it is not);
# without it WORK/base is booted once and kept. --show prepares PC 1 and opens
# the tool there for a person instead. Exit 0 when both jobs went through and
# the restored library is whole. Needs $DISPLAY (starts Xvfb when unset).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bin= work= base= tracks=300 show=0
while [ $# -gt 0 ]; do
    case $1 in
        --bin) bin=$(cd "$2" && pwd); shift 2 ;;
        --work) work=$2; shift 2 ;;
        --base-prefix) base=$2; shift 2 ;;
        --tracks) tracks=$2; shift 2 ;;
        --show) show=1; shift ;;
        *) echo "end-to-end.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
[ -n "$bin" ] && [ -n "$work" ] || { echo "usage: end-to-end.sh --bin BUILD_DIR --work DIR [...]" >&2; exit 2; }
mkdir -p "$work"
work=$(cd "$work" && pwd)
base=${base:-$work/base}

# One place decides which loader starts the programs here (and whether a
# 32-bit build can run at all).
. "$root/cmake/wine-env.sh"
zr_skip_32bit "$bin/src/ZuderaRurarizIdir.exe"

. "$root/scripts/pcs.sh"
driver() { local pc=$1; shift; on_pc_utf8 "$pc" "$bin/tests/e2e/e2e_driver.exe" "$@"; }

. "$root/scripts/xvfb.sh"
# Beside other tests, a display of its own.
[ "${ZR_PRIVATE_DISPLAY:-0}" = 1 ] && unset DISPLAY
zr_start_xvfb
trap stop_pcs_and_display EXIT

tool=$(winpath "$bin/src/ZuderaRurarizIdir.exe")
shots=$work/shots
rm -rf "$shots" "$work/disk" "$work"/*.txt "$work/contact-sheet.png"
mkdir -p "$shots" "$work/disk/Backup"
started=$(now)
boot_base

echo "== PC 1: SD-Talvane 7.0 with a library of $tracks tracks"
new_pc pc1
hostsim pc1 install --host talvane --version 7.0 >/dev/null || exit 1
hostsim pc1 library --tracks "$tracks" --folders $(( (tracks + 24) / 25 )) --size 16384 --pictures 3 \
    --secure 6 --missing 1 --drive-root on || exit 1
hostsim pc1 list --digest --out "$(winpath "$work/before.txt")" || exit 1

if [ "$show" = 1 ]; then
    cat <<TEXT

The tool opens on PC 1 (SD-Talvane 7.0, the library above). To back it up:
  1. 音楽データのバックアップ, then OK on the warning about SD cards.
  2. 参照, pick E:\\Backup (E: is $work/disk), OK, then 実行.
  3. Watch the progress; the result view lists the track whose file is
     missing; close it (閉じる) and OK the completion message.
To restore on this PC: バックアップしたデータのリストア（復元）, OK, 参照 E:\\Backup,
次へ, keep the proposed destination, 実行. Quit with 終了.
The library's listing is in $work/before.txt (Shift-JIS);
compare after a restore with: WINEPREFIX=$work/pc1 wine $bin/hostsim/cli/hostsim.exe list --digest
TEXT
    on_pc pc1 "$tool"
    exit 0
fi

echo "== PC 1: backup through the tool's window"
backup_started=$(now)
driver pc1 backup --tool "$tool" --folder 'E:\Backup' --shots "$(winpath "$shots")" \
    --report "$(winpath "$work/backup-report.txt")"
backup_rc=$?
echo "   (driven in $(since "$backup_started") s)"
stop_pc pc1

echo "== PC 2: SD-Corvell 1.0 with a small library of its own"
new_pc pc2
hostsim pc2 install --host corvell --version 1.0 --level 50 --serial HSIM-0002-0002 >/dev/null || exit 1
hostsim pc2 library --tracks 12 --folders 2 --pictures 1 --secure 2 --missing 0 >/dev/null || exit 1
hostsim pc2 list --digest --out "$(winpath "$work/replaced.txt")" || exit 1
backup_db='E:\Backup\BackupData\DB\NMLDB\contents.db'
hostsim pc2 list --db "$backup_db" --out "$(winpath "$work/backup-db.txt")" || exit 1
read -r hostile_track hostile_title < <(iconv -f CP932 -t UTF-8 "$work/backup-db.txt" |
    awk -F'\t' '$1 ~ /^track / && $4 ~ /^attr=0x000000(08|10)$/ && $2 ~ /^Track / { print substr($1, 7), $2; exit }')
echo "   hostile row: track $hostile_track ($hostile_title) of the backup now climbs out of RestoreData"
hostsim pc2 set-path --db "$backup_db" --track "$hostile_track" --path 'Disc 1\../../../../../../windows/win.ini' || exit 1
echo "   its GUI data: $(head -c 40 "$work/pc2/drive_c/ProgramData/Nerith/SDTL/mirs.dat" 2>/dev/null | tr -d '\r\n')"
first=$(awk -F'\t' '$1 == "next-shot" { print $2 + 0 }' "$work/backup-report.txt" 2>/dev/null)

echo "== PC 2: restore of E:\\Backup through the tool's window"
restore_started=$(now)
driver pc2 restore --tool "$tool" --folder 'E:\Backup' --shots "$(winpath "$shots")" --first "${first:-20}" \
    --report "$(winpath "$work/restore-report.txt")"
restore_rc=$?
echo "   (driven in $(since "$restore_started") s)"
hostsim pc2 list --digest --out "$(winpath "$work/after.txt")"

driver pc2 summary --backup "$(winpath "$work/backup-report.txt")" --restore "$(winpath "$work/restore-report.txt")" \
    --before "$(winpath "$work/before.txt")" --after "$(winpath "$work/after.txt")" \
    --from 'PC 1 (SD-Talvane 7.0)' --to 'PC 2 (SD-Corvell 1.0)' --left-out "$hostile_title"
summary_rc=$?
stop_pc pc2

# GUI data (playlists, mirs.dat, usrdic.dic, the rule file): both hosts keep it
# in the common application data folder, and each file names the host that wrote it.
gui=drive_c/ProgramData/Nerith/SDTL
gui_rc=1
if diff -r "$work/pc1/$gui" "$work/pc2/$gui" >/dev/null 2>&1; then
    gui_rc=0
    echo "GUI data on PC 2: the same as PC 1's ($(find "$work/pc2/$gui" -type f | wc -l) files; mirs.dat: $(head -c 40 "$work/pc2/$gui/mirs.dat" | tr -d '\r\n'))"
else
    echo "GUI data on PC 2: NOT the same as PC 1's"
fi

font=/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf
[ -f "$font" ] || font=
if ls "$shots"/*.png >/dev/null 2>&1; then
    montage ${font:+-font "$font"} -pointsize 13 -label '%t' "$shots"/*.png -tile 4x -geometry '440x340>+10+10' \
        -background '#e8e8e8' "$work/contact-sheet.png" 2>/dev/null
fi
echo "Screenshots: $shots ($(ls "$shots" | wc -l) steps)"
[ -f "$work/contact-sheet.png" ] && echo "Contact sheet: $work/contact-sheet.png"
echo "Listings: $work/before.txt, $work/after.txt (PC 2's own library before the restore: $work/replaced.txt)"
echo "Whole run: $(since "$started") s"
[ "$backup_rc" = 0 ] && [ "$restore_rc" = 0 ] && [ "$summary_rc" = 0 ] && [ "$gui_rc" = 0 ]
