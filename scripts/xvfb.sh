#!/bin/bash
# Sourced: when there is no $DISPLAY, starts Xvfb on a free display and exports
# DISPLAY; zr_stop_xvfb ends it again.
zr_start_xvfb() {
    if [ -n "${DISPLAY:-}" ]; then return 0; fi
    local fdfile
    fdfile=$(mktemp)
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fdfile" >/dev/null 2>&1 &
    ZR_XVFB_PID=$!
    for _ in $(seq 1 100); do
        [ -s "$fdfile" ] && break
        sleep 0.1
    done
    export DISPLAY=":$(head -n1 "$fdfile")"
    rm -f "$fdfile"
}

zr_stop_xvfb() {
    if [ -n "${ZR_XVFB_PID:-}" ]; then
        kill "$ZR_XVFB_PID" 2>/dev/null || true
        wait "$ZR_XVFB_PID" 2>/dev/null || true
        unset ZR_XVFB_PID
    fi
}
