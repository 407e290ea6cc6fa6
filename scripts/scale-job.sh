#!/bin/bash
# A whole job of a large library through the tool's window, on two simulated
# PCs as scripts/end-to-end.sh has them (two Wine prefixes sharing the disk E:).
# PC 1 gets the first host 7.0 with a generated library of N tracks, M of them
# without their files; scale_bench backs it up to E:\Backup through the window.
# M audio files are then taken out of the backup, and PC 2 (the second host
# 1.0) restores it through the window. Both result views hold M rows. Not a
# test: it prints each job's figures (benchmarks/ScaleBench.cpp says which).
#
#   scale-job.sh [--bin BUILD_DIR] [--work DIR] [--tracks N] [--missing M] [--size BYTES]
#
# Defaults: build/x86_64, build/scale, 50000 tracks, 5000 missing, 16384 bytes.
# Needs $DISPLAY (starts Xvfb when unset) and room for three copies of the
# library's files.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bin=$root/build/x86_64 work=$root/build/scale tracks=50000 missing=5000 size=16384
while [ $# -gt 0 ]; do
    case $1 in
        --bin) bin=$(cd "$2" && pwd); shift 2 ;;
        --work) work=$2; shift 2 ;;
        --tracks) tracks=$2; shift 2 ;;
        --missing) missing=$2; shift 2 ;;
        --size) size=$2; shift 2 ;;
        *) echo "scale-job.sh: unknown argument $1" >&2; exit 2 ;;
    esac
done
mkdir -p "$work"
work=$(cd "$work" && pwd)
base=$work/base

. "$root/cmake/wine-env.sh"
zr_skip_32bit "$bin/src/ZuderaRurarizIdir.exe"
. "$root/scripts/pcs.sh"
bench() { local pc=$1; shift; on_pc_utf8 "$pc" "$bin/benchmarks/scale_bench.exe" "$@"; }

. "$root/scripts/xvfb.sh"
zr_start_xvfb
trap stop_pcs_and_display EXIT

tool=$(winpath "$bin/src/ZuderaRurarizIdir.exe")
rm -rf "$work/disk" "$work/pc1" "$work/pc2"
mkdir -p "$work/disk/Backup"
boot_base

echo "== PC 1: SD-Talvane 7.0, $tracks tracks of $size bytes, $missing without their files"
new_pc pc1
hostsim pc1 install --host talvane --version 7.0 >/dev/null || exit 1
step=$(now)
hostsim pc1 library --tracks "$tracks" --folders $(( (tracks + 24) / 25 )) --size "$size" --pictures 1 \
    --secure $(( tracks / 100 )) --missing "$missing" >/dev/null || exit 1
echo "   library made in $(since "$step") s"
bench pc1 backup --tool "$tool" --folder 'E:\Backup' --expect-rows "$missing"
backup_rc=$?
stop_pc pc1
rm -rf "$work/pc1"

echo
echo "== PC 2: SD-Corvell 1.0; $missing audio files taken out of the backup first"
find "$work/disk/Backup/BackupData/Data/Audio" -type f | sort | head -n "$missing" | xargs -r -d '\n' rm -f
new_pc pc2
hostsim pc2 install --host corvell --version 1.0 --level 50 --serial HSIM-0002-0002 >/dev/null || exit 1
hostsim pc2 library --tracks 12 --folders 2 --pictures 1 --secure 2 --missing 0 >/dev/null || exit 1
bench pc2 restore --tool "$tool" --folder 'E:\Backup' --expect-rows "$missing"
restore_rc=$?
stop_pc pc2
rm -rf "$work/pc2" "$work/disk"

[ "$backup_rc" = 0 ] && [ "$restore_rc" = 0 ]
