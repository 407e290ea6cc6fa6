# Simulated PCs for the scripts that run whole jobs through the tool's window
# (end-to-end.sh, scale-job.sh): Wine prefixes copied from one booted base,
# sharing $work/disk as drive E:. Sourced after cmake/wine-env.sh; expects
# $bin (the build folder), $work and $base (the booted prefix to copy), and
# $show=1 when a person's desktop frames the windows.
export WINEDEBUG=-all WINEARCH=win64 LC_ALL=ja_JP.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEPREFIX

# A Unix path as the PCs see it (Wine's Z: drive).
winpath() { printf 'Z:%s' "$1" | tr / '\\'; }
now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

boot_base() {
    [ -f "$base/.zr-booted" ] || echo "Preparing a Wine prefix (once, about a minute)..."
    zr_boot_prefix "$base"
}

# A PC: a copy of the booted prefix with the shared disk as E:.
new_pc() {
    local pc=$work/$1
    rm -rf "$pc"
    zr_copy_prefix "$base" "$pc"
    # Shown to a person, a desktop's window manager frames the windows.
    [ "${show:-0}" = 1 ] || zr_unmanaged_windows "$pc"
    ln -sfn "$work/disk" "$pc/dosdevices/e:"
    zr_start_wineserver "$pc"
}
# Wine's note that the Unix root (Z:) has no volume label is noise here.
on_pc() {
    local pc=$1
    shift
    WINEPREFIX=$work/$pc wine "$@" </dev/null 2> >(grep -v 'FS volume label and serial are not available' >&2)
}
stop_pc() { WINEPREFIX=$work/$1 wineserver -k >/dev/null 2>&1; WINEPREFIX=$work/$1 wineserver -w >/dev/null 2>&1; }
# Programs print in the ANSI code page; the terminal wants UTF-8.
on_pc_utf8() { on_pc "$@" | iconv -f CP932 -t UTF-8; return "${PIPESTATUS[0]}"; }
hostsim() { local pc=$1; shift; on_pc_utf8 "$pc" "$bin/hostsim/cli/hostsim.exe" "$@"; }
# At exit: both PCs' servers, then the display scripts/xvfb.sh started.
stop_pcs_and_display() {
    for pc in pc1 pc2; do [ -d "$work/$pc" ] && stop_pc "$pc"; done
    zr_stop_xvfb
}
