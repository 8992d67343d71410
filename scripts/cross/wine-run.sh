#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest (the toolchain's emulator).
# Defaults keep a run quiet and self-contained when started outside
# scripts/cross-test.sh.
export WINEARCH=${WINEARCH:-win32} WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/../.." && pwd)/build-cross/windows/wineprefix}
exec wine "$@"
