#!/usr/bin/env bash
# Builds fennick for another platform and runs its whole test suite there,
# through an emulator on this machine:
#   scripts/cross-test.sh windows     Windows x86 (mingw-w64, run under Wine)
#   scripts/cross-test.sh bigendian   32-bit PowerPC Linux (run under qemu-user)
# Installs what it needs, builds libtiff and GoogleTest from source into
# build-cross/<target>/deps (reused when present), then builds the project
# into build-cross/<target>/build and runs ctest there.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
CROSS_TARGET=${1:-}
# Only the targets: the other scripts beside them are their helpers.
case $CROSS_TARGET in
  windows | bigendian) ;;
  *)
    echo "usage: scripts/cross-test.sh windows|bigendian" >&2
    exit 2
    ;;
esac
JOBS=${JOBS:-$(nproc)}
CROSS_ROOT=$ROOT/build-cross/$CROSS_TARGET
mkdir -p "$CROSS_ROOT"

source scripts/cross/common.sh
source "scripts/cross/$CROSS_TARGET.sh"

cross_install_packages
cross_build_deps
cross_build_and_test
if declare -F cross_after_suite >/dev/null; then cross_after_suite; fi
cross_log "passed"
