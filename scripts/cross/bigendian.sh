# 32-bit PowerPC Linux, big-endian: Debian's cross compilers build, qemu-user
# runs.
CROSS_PACKAGES=(dpkg-dev g++-powerpc-linux-gnu qemu-user)
CROSS_TOOLCHAIN=$ROOT/cmake/toolchains/powerpc-linux-gnu.cmake
CROSS_TIFF_ARGS=()

# The proof that the big-endian files equal the little-endian ones, both
# ways: the fixed save of this build (run under qemu) is checked by the native
# build against its own save of the same, through the reader, tifffile and
# `orvo info`; and the native build's save is checked by this build's reader
# and tifffile against this build's own.
cross_after_suite() {
  local be_files=$CROSS_ROOT/fixed_save_be le_files=$CROSS_ROOT/fixed_save_le native=$ROOT/build
  local run=$ROOT/scripts/cross/bigendian-run.sh platform=tests/platform
  rm -rf "$be_files" "$le_files"
  if [ ! -f "$native/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFENNICK_WERROR=ON >"$CROSS_ROOT/native-configure.log"
  fi
  cmake --build "$native" -j "$JOBS" --target platform_order_compare platform_fixed_save \
    >"$CROSS_ROOT/native-build.log"

  cross_log "big-endian fixed save, checked by the native build"
  "$run" "$CROSS_ROOT/build/$platform/platform_fixed_save" "$be_files"
  "$native/$platform/platform_order_compare" "$be_files" MM

  cross_log "native fixed save, checked by the big-endian build"
  "$native/$platform/platform_fixed_save" "$le_files"
  "$run" "$CROSS_ROOT/build/$platform/platform_order_compare" "$le_files" II
}
