#!/usr/bin/env bash
# Builds fennick and runs the whole test suite on every platform it is built
# for:
#   native     optimised build of this machine (Linux x86-64)
#   sanitized  the same under AddressSanitizer and UndefinedBehaviorSanitizer
#              (no recovery, leaks reported)
#   windows    Windows x86 (mingw-w64), run under Wine
#   bigendian  32-bit PowerPC Linux, run under qemu-user
# With no argument all four run, in that order; name some to run only those
# (the big-endian comparison uses the native build, so it builds it if
# needed). The first failure stops the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=${JOBS:-$(nproc)}
export JOBS=$jobs

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(native sanitized windows bigendian)

run_native() {
  cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFENNICK_WERROR=ON
  cmake --build "$root/build" -j "$jobs"
  ctest --test-dir "$root/build" --output-on-failure -j "$jobs"
}

run_sanitized() {
  cmake -S "$root" -B "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DFENNICK_SANITIZE=ON -DFENNICK_WERROR=ON -DFENNICK_BUILD_BENCH=OFF
  cmake --build "$root/build-asan" -j "$jobs"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs"
}

for target in "${targets[@]}"; do
  start=$SECONDS
  echo "test.sh: --- $target ---"
  case $target in
    native) run_native ;;
    sanitized) run_sanitized ;;
    windows|bigendian) "$root/scripts/cross-test.sh" "$target" ;;
    *) echo "test.sh: unknown target '$target' (native, sanitized, windows, bigendian)" >&2; exit 2 ;;
  esac
  echo "test.sh: $target passed in $((SECONDS - start)) s"
done
