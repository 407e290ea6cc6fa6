#!/bin/bash
# Builds the tool, the stand-in host and the tests for both targets and runs
# every test under Wine (x86_64 and the 32-bit i686 build that ships).
#
# The two targets overlap: the x86_64 tests, which mostly wait on windows and
# timers, run while the i686 build compiles. Each suite has an Xvfb of its own
# for its prefix's services, and each test program a display of its own
# (ZR_PRIVATE_DISPLAY), so that tests run side by side never cover each
# other's windows. On a machine that cannot run 32-bit programs the i686
# target is still built, and ctest reports its tests as not run.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup-deps.sh || exit 1
. cmake/wine-env.sh
. scripts/xvfb.sh

started=$(date +%s)
stamp() { echo "--- $(($(date +%s) - started)) s: $*"; }
jobs_per_suite=${ZR_TEST_JOBS:-4}

if [ "$ZR_WINE32" = no ]; then
    echo "=== This machine cannot run 32-bit programs ($ZR_WINE32_WHY):"
    echo "=== the i686 target is built, and its tests are reported as not run."
fi

# Booting a prefix takes a while and needs nothing built: both start now.
for target in x86_64 i686; do
    mkdir -p "build/$target"
    (WINEPREFIX="$root/build/$target/wineprefix" WINEARCH=win64 WINEDEBUG=-all \
        zr_boot_prefix "$root/build/$target/wineprefix" unmanaged >/dev/null 2>&1) &
done

# Runs one target's suite in the background; its output goes to a log that is
# shown once the suite is over.
suite_pids=()
start_suite() {
    local target=$1
    (
        unset DISPLAY
        zr_start_xvfb
        trap 'zr_stop_xvfb' EXIT
        export ZR_PRIVATE_DISPLAY=1
        cd "build/$target" && ctest -j"$jobs_per_suite" --output-on-failure --timeout 900
        rc=$?
        # A persistent wineserver left behind keeps a captured shell waiting.
        WINEPREFIX="$root/build/$target/wineprefix" wineserver -k 2>/dev/null
        exit $rc
    ) >"build/$target-tests.log" 2>&1 &
    suite_pids+=($!)
}

status=0
built=()
for target in x86_64 i686; do
    stamp "build $target"
    if bash scripts/build.sh "$target" -j2; then
        built+=("$target")
        stamp "test $target (in the background)"
        start_suite "$target"
    else
        status=1
    fi
done

for i in "${!suite_pids[@]}"; do
    target=${built[$i]}
    wait "${suite_pids[$i]}" || status=1
    echo "=== test $target"
    if [ "$target" = i686 ] && [ "$ZR_WINE32" = no ]; then
        echo "=== not run: this machine cannot run 32-bit programs ($ZR_WINE32_WHY)"
    fi
    cat "build/$target-tests.log"
    stamp "test $target done"
done
exit $status
