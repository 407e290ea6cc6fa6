#!/bin/bash
# Runs a test program (through wine-run.sh, given first) with three drives
# mapped into the Wine prefix, and removes them again whatever happens:
#   F: a tmpfs of 64 KiB: copies fail with "disk full" while folders are still made;
#   R: a tmpfs mounted read-only, holding an old backup tree made before;
#   S: a scratch folder, for operations that must never touch a whole drive;
#   T: a tmpfs of 1 MiB, for backups and restores that do not fit.
# Mounting needs root. When it fails the program is told nothing about F: and
# R:, and their tests skip with a message; this says so loudly here too.
set -u
: "${WINEPREFIX:?WINEPREFIX must be set}"
run=$1
shift

dosdevices="$WINEPREFIX/dosdevices"

unmount_all() {
    for m in "$1/full" "$1/ro" "$1/tight"; do
        if mountpoint -q "$m"; then
            # The persistent wineserver may still hold a handle for a moment.
            umount "$m" 2>/dev/null || { sleep 1; umount "$m" 2>/dev/null; } || umount -l "$m"
        fi
    done
    rm -rf "$1"
}

# A run killed outright had no chance to clean up: its owner is gone now.
for old in /tmp/zr-test-drives.*; do
    [ -d "$old" ] || continue
    owner=$(cat "$old/owner" 2>/dev/null)
    if [ -n "$owner" ] && ! kill -0 "$owner" 2>/dev/null; then unmount_all "$old"; fi
done

dir=$(mktemp -d /tmp/zr-test-drives.XXXXXX)
echo $$ >"$dir/owner"
mkdir -p "$dir/full" "$dir/ro" "$dir/tight" "$dir/scratch" "$dosdevices"

cleanup() {
    rm -f "$dosdevices/f:" "$dosdevices/r:" "$dosdevices/s:" "$dosdevices/t:"
    unmount_all "$dir"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mounted=0
if mount -t tmpfs -o size=64k,mode=0777 tmpfs "$dir/full" 2>/dev/null &&
    mount -t tmpfs -o size=1m,mode=0777 tmpfs "$dir/tight" 2>/dev/null &&
    mount -t tmpfs -o size=256k,mode=0777 tmpfs "$dir/ro" 2>/dev/null; then
    # An old backup on the read-only medium, as a user's earlier run left it.
    mkdir -p "$dir/ro/Old/BackupData/DB/NMLDB" "$dir/ro/Old/BackupData/GUI(new)/UPL"
    echo old >"$dir/ro/Old/BackupData/DB/NMLDB/contents.db"
    echo old >"$dir/ro/Old/BackupData/BackupRestore.ini"
    if mount -o remount,ro "$dir/ro" 2>/dev/null; then mounted=1; fi
fi

ln -sfn "$dir/scratch" "$dosdevices/s:"
export ZR_SCRATCH_DRIVE=S:
if [ "$mounted" = 1 ]; then
    ln -sfn "$dir/full" "$dosdevices/f:"
    ln -sfn "$dir/ro" "$dosdevices/r:"
    ln -sfn "$dir/tight" "$dosdevices/t:"
    export ZR_FULL_DRIVE=F: ZR_READONLY_DRIVE=R: ZR_TIGHT_DRIVE=T:
else
    echo "!!! with-test-drives.sh: cannot mount a tmpfs (not root?): the full-disk, read-only and space tests are SKIPPED !!!" >&2
fi

"$run" "$@"
