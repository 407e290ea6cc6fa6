#!/bin/bash
# Configures and builds one target (x86_64 or i686) into build/<target>.
set -euo pipefail
target=$1
shift
root=$(cd "$(dirname "$0")/.." && pwd)
dir="$root/build/$target"
if [ ! -f "$dir/build.ninja" ]; then
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$target.cmake" >/dev/null
fi
ninja -C "$dir" "$@"
