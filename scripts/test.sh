#!/usr/bin/env bash
# Builds fennick and runs the whole test suite on every platform it is built
# for:
#   native     optimised build of this machine (Linux x86-64)
#   sanitized  the same under AddressSanitizer and UndefinedBehaviorSanitizer
#              (no recovery, leaks reported)
#   windows    Windows x86 (mingw-w64), run under Wine
#   bigendian  32-bit PowerPC Linux, run under qemu-user
#   fuzz       each libFuzzer target for FUZZ_SECONDS (45) on its corpus,
#              built with clang and instrumented throughout; any finding fails
# With no argument all five run, in that order; name some to run only those
# (the big-endian comparison uses the native build, so it builds it if
# needed). The first failure stops the run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
jobs=${JOBS:-$(nproc)}
export JOBS=$jobs

targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(native sanitized windows bigendian fuzz)

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

# New inputs the fuzzer finds go to a scratch folder: the committed corpus is
# only read. A finding is saved in build-fuzz/findings/ and fails the run;
# it belongs in fuzz/corpus/<target>/ under a name that says what it is.
# Warnings are not errors here: the g++ builds above hold that line, and
# clang's -Wformat-security flags the log call that forwards its format.
run_fuzz() {
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DFENNICK_BUILD_FUZZ=ON -DFENNICK_WERROR=OFF -DFENNICK_BUILD_TESTS=OFF -DFENNICK_BUILD_BENCH=OFF \
    -DFENNICK_BUILD_TOOLS=OFF
  cmake --build "$root/build-fuzz" -j "$jobs" --target fuzz_targets
  local seconds=${FUZZ_SECONDS:-45} findings="$root/build-fuzz/findings" scratch fuzzer name
  mkdir -p "$findings"
  for fuzzer in "$root"/build-fuzz/fuzz/*_fuzz; do
    name=$(basename "$fuzzer" _fuzz)
    scratch=$(mktemp -d)
    echo "test.sh: fuzzing $name for $seconds s"
    if ! "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/$name-" "$scratch" "$root/fuzz/corpus/$name" 2>"$findings/$name.log"; then
      tail -n 60 "$findings/$name.log" >&2
      echo "test.sh: fuzz target $name found a fault; the input is in $findings" >&2
      rm -rf "$scratch"
      return 1
    fi
    # Executions, coverage and memory of the run, for docs/robustness.md.
    grep -E '^#[0-9]+' "$findings/$name.log" | tail -n 1 || true
    rm -rf "$scratch"
  done
}

for target in "${targets[@]}"; do
  start=$SECONDS
  echo "test.sh: --- $target ---"
  case $target in
    native) run_native ;;
    sanitized) run_sanitized ;;
    windows|bigendian) "$root/scripts/cross-test.sh" "$target" ;;
    fuzz) run_fuzz ;;
    *) echo "test.sh: unknown target '$target' (native, sanitized, windows, bigendian, fuzz)" >&2; exit 2 ;;
  esac
  echo "test.sh: $target passed in $((SECONDS - start)) s"
done
echo "suites: ${#targets[@]} passed, 0 failed"
