#!/bin/bash
# Builds the tool, the stand-in host and the tests for both targets and runs
# every test under Wine (x86_64 and the 32-bit i686 build that ships).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup-deps.sh || exit 1
. scripts/xvfb.sh

status=0
for target in x86_64 i686; do
    echo "=== build $target"
    bash scripts/build.sh "$target" -j2 || { status=1; continue; }
done

zr_start_xvfb
trap 'zr_stop_xvfb' EXIT
for target in x86_64 i686; do
    echo "=== test $target"
    (cd "build/$target" && ctest -j2 --output-on-failure --timeout 900) || status=1
    # A persistent wineserver left behind keeps a captured shell waiting.
    WINEPREFIX="$root/build/$target/wineprefix" wineserver -k 2>/dev/null || true
done
exit $status
