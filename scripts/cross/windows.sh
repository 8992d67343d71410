# Windows x86: mingw-w64 (posix threads) builds, Wine runs.
CROSS_PACKAGES=(dpkg-dev g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686 wine wine32:i386)
CROSS_TOOLCHAIN=$ROOT/cmake/toolchains/mingw-i686.cmake
# libtiff's Win32 I/O does not set errno; the POSIX-style I/O of the C
# runtime (_wopen, write) does, so the writer can report the system's reason.
CROSS_TIFF_ARGS=(-Dwin32-io=OFF)
# A 32-bit Wine prefix of the build's own, created on first use.
export WINEPREFIX=$CROSS_ROOT/wineprefix WINEARCH=win32 WINEDEBUG=-all
