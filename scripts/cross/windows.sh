# Windows x86: mingw-w64 (posix threads) builds, Wine runs.
# libtiff-tools and python3-tifffile read the files the Windows programs
# write, natively; locales gives Wine a second code page (see below).
CROSS_PACKAGES=(dpkg-dev g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686 wine wine32:i386
                libtiff-tools python3-numpy python3-tifffile locales)
CROSS_TOOLCHAIN=$ROOT/cmake/toolchains/mingw-i686.cmake
# libtiff's Win32 I/O does not set errno; the POSIX-style I/O of the C
# runtime (_wopen, write) does, so the writer can report the system's reason.
CROSS_TIFF_ARGS=(-Dwin32-io=OFF)
# A 32-bit Wine prefix of the build's own, created on first use.
export WINEPREFIX=$CROSS_ROOT/wineprefix WINEARCH=win32 WINEDEBUG=-all

# Wine's first start in a new prefix takes longer than CTest allows for
# listing a test program's tests: the prefix is made before the suite, by
# the same start-up the tests go through.
cross_before_suite() {
  cross_log "starting Wine in $WINEPREFIX"
  "$ROOT/scripts/cross/wine-run.sh" wineboot </dev/null >/dev/null 2>&1
}

# Wine takes the active code page from the locale it runs in: the suite runs
# in Western European 1252, where every byte is a character and no name can
# be refused. The tests of narrow names run once more in Japanese 932, a
# multi-byte code page, built as a private locale.
cross_after_suite() {
  local locales=$CROSS_ROOT/locale
  if [ ! -d "$locales/ja_JP.UTF-8" ]; then
    mkdir -p "$locales"
    localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8"
  fi
  cross_log "narrow file names under code page 932"
  LOCPATH=$locales LC_ALL=ja_JP.UTF-8 ctest --test-dir "$CROSS_ROOT/build" --output-on-failure -j "$JOBS" \
    -R '^(FileName|SaveFailure\.Name|SaveEndToEnd\.NonAscii)'
}
