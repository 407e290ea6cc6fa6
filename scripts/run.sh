#!/bin/bash
# Builds the tool (the 32-bit build that ships; the x86_64 build on a machine
# that cannot run 32-bit programs), the stand-in host and the
# end-to-end driver, then shows the whole job (scripts/end-to-end.sh):
# without $DISPLAY, under Xvfb, the driver backs up a simulated library on one
# simulated PC and restores it on a second one through the tool's window,
# saving a screenshot of every step and printing a summary; with $DISPLAY the
# tool opens there on the first PC, with the host installed, and what to click
# is printed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup-deps.sh
. cmake/wine-env.sh
target=i686
if [ "$ZR_WINE32" = no ]; then
    target=x86_64
    echo "This machine cannot run 32-bit programs ($ZR_WINE32_WHY): the job is shown with the x86_64 build."
fi
echo "Building (the first time takes a few minutes)..."
mkdir -p build
if ! bash scripts/build.sh "$target" -j2 ZuderaRurarizIdir hostsim NerithMediaLibrary e2e_driver >build/run-build.log 2>&1; then
    tail -n 40 build/run-build.log
    echo "The build failed; its whole output is in build/run-build.log" >&2
    exit 1
fi

if [ -n "${DISPLAY:-}" ]; then
    exec bash scripts/end-to-end.sh --bin "build/$target" --work build/demo --show
fi
exec bash scripts/end-to-end.sh --bin "build/$target" --work build/demo
