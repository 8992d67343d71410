#!/usr/bin/env bash
# Builds everything and runs `orvo demo`: a built-in scene rendered, saved as
# out/demo/demo.ovq through the plug-in, with previews beside it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=${JOBS:-$(nproc)}
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$root/build" -j "$jobs"
"$root/build/bin/orvo" demo "$root/out/demo" "$@"
