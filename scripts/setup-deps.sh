#!/bin/bash
# Installs what the build, the tests and the demo need on Debian 12, when missing
# (weasyprint and python3-markdown build the user manual; poppler-utils reads it back).
set -euo pipefail

packages=(cmake ninja-build g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools
          wine wine64 wine32:i386 xvfb x11-apps imagemagick fonts-ipafont-gothic locales
          googletest weasyprint python3-markdown poppler-utils)

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
# The SQLite sources come from an npm package; any working npm will do.
command -v npm >/dev/null 2>&1 || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Without the generated locale Wine reports code page 932 but mangles non-ASCII file names.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
