#!/usr/bin/env bash
# Runs a Windows program under Wine for CTest (the toolchain's emulator).
# Defaults keep a run quiet and self-contained when started outside
# scripts/cross-test.sh.
export WINEARCH=${WINEARCH:-win32} WINEDEBUG=${WINEDEBUG:--all}
export WINEPREFIX=${WINEPREFIX:-$(cd "$(dirname "$0")/../.." && pwd)/build-cross/windows/wineprefix}
# Each test is a process of its own: a wine server that stays up between them
# (and ends by itself once the suite is over) saves its start-up for every
# test. Neither the server nor the prefix's background services that the
# first program starts may hold CTest's output pipes, or a test would last
# until they end: they are started here, without them, one caller at a time.
# A new prefix is made by the same start-up (the server needs its folder).
mkdir -p "$WINEPREFIX"
(
  flock 9
  if wineserver -p"${WINESERVER_LINGER_SECONDS:-20}" </dev/null >/dev/null 2>&1 9>&-; then
    wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$WINEPREFIX.start-lock"
exec wine "$@"
