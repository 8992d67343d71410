#!/usr/bin/env bash
# Runs a 32-bit PowerPC Linux program under qemu-user for CTest (the
# toolchain's emulator), with the cross C and C++ runtimes as its root.
exec qemu-ppc -L /usr/powerpc-linux-gnu "$@"
