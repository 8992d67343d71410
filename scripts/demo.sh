#!/usr/bin/env bash
# Builds the tool and the plug-in (not the tests) and runs `orvo demo`: a
# built-in scene rendered, saved as out/demo/demo.ovq through the plug-in,
# with previews and the camera it was saved with beside it. Arguments go to
# `orvo demo` (`--size 1280x720`).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=${JOBS:-$(nproc)}
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The tool depends on the plug-in it loads, so this builds both.
cmake --build "$root/build" -j "$jobs" --target orvo
# `orvo demo` creates only the last folder of its output path, as every
# command of the tool does: out/ is made here.
mkdir -p "$root/out"
"$root/build/bin/orvo" demo "$root/out/demo" "$@"
