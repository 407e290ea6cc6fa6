#!/bin/bash
# Unpacks the distributable the way a user would, then runs the given test
# program in a throw-away prefix with $ZR_PACKAGE_DIR naming what was unpacked.
# usage: run-unpacked.sh ZIP PROGRAM [ARGS...]
set -u
zip=$1
shift
: "${ZR_BIN_DIR:?ZR_BIN_DIR must be set}"
staging=$(mktemp -d "$ZR_BIN_DIR/package-unpacked.XXXXXX")
trap 'rm -rf "$staging"' EXIT
(cd "$staging" && cmake -E tar xf "$zip") || { echo "cannot unpack $zip" >&2; exit 1; }
ZR_PACKAGE_DIR="$staging" ZR_WINE_FRESH=1 bash "$(dirname "$0")/../../cmake/wine-run.sh" "$@"
