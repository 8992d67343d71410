#!/usr/bin/python3
"""Reads an Orvo file written by writer_sample_file with tifffile and checks
that its three pictures hold the known patterns of SamplePattern.h.

usage: check_with_tifffile.py <file> <width> <height>
"""
import sys

import numpy as np
import tifffile

NO_DEPTH = 0xFFFFFFFF
SUBFILE_TAG = 34953


def expected(width, height):
    y, x = np.mgrid[0:height, 0:width].astype(np.uint64)
    rgb = np.stack([(x * 31 + y * 17 + c * 85) % 256 for c in range(3)], axis=-1).astype(np.uint8)
    depth = np.where((x + y) % 5 == 0, NO_DEPTH, x * 65537 + y * 257 + 0x01000000).astype(np.uint32)
    material = ((x // 3 + y) % 4 + (x % 2) * 0x0100).astype(np.uint16)
    return [rgb, depth, material]


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    failures = []
    with tifffile.TiffFile(path) as tif:
        if len(tif.pages) != 3:
            failures.append(f"{path}: {len(tif.pages)} directories, expected 3")
        for index, (page, want) in enumerate(zip(tif.pages, expected(width, height))):
            got = page.asarray()
            where = f"{path}: directory {index}"
            if got.dtype != want.dtype or got.shape != want.shape:
                failures.append(f"{where}: {got.dtype} {got.shape}, expected {want.dtype} {want.shape}")
            elif not np.array_equal(got, want):
                row, col = np.argwhere(got != want)[0][:2]
                failures.append(f"{where}: first difference at row {row}, column {col}")
            if SUBFILE_TAG not in page.tags:
                failures.append(f"{where}: no tag {SUBFILE_TAG}")
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
