#!/bin/bash
# Builds the distributable: build/ZuderaRurarizIdir.zip with the 32-bit
# ZuderaRurarizIdir.exe and its manual Lomvard2.pdf side by side in one folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

bash scripts/setup-deps.sh
bash scripts/build.sh i686 -j2 package_zip >/dev/null
cp build/i686/ZuderaRurarizIdir.zip build/ZuderaRurarizIdir.zip
echo "Package: $root/build/ZuderaRurarizIdir.zip"
cmake -E tar tf build/ZuderaRurarizIdir.zip | sed 's/^/  /'
