#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine (as root), builds libkavo in release mode
# and shows the home screen of the bundled example with the kavo tool.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
generator=()
if command -v ninja >/dev/null 2>&1; then generator=(-G Ninja); fi
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)"
if [ -x build/tools/kavo ]; then
  build/tools/kavo home
else
  echo "bootstrap: built build/libkavo.so"
fi
