#!/usr/bin/python3
"""Reads two Orvo files of the same save with Python's tifffile and checks
that the second equals the first: byte orders as stated, the same number of
pages, the same pictures value for value, and the same tags with the same
values, except DateTime, the tags that hold file offsets and, for compressed
pages, the strip lengths. The pictures of compressed pages are left to the
other readers: tifffile decodes LZW only with the imagecodecs package, which
Debian does not ship.

usage: compare_with_tifffile.py EXPECTED EXPECTED_ORDER ACTUAL ACTUAL_ORDER
(orders "II" or "MM"); prints each difference and exits 1 when there is one.
"""
import sys

import numpy as np
import tifffile

BYTE_ORDERS = {"II": "<", "MM": ">"}
SUBFILE_TAG = 34953
# DateTime is the time of the save; the offsets are where libtiff put things.
NOT_COMPARED = {306, 273, SUBFILE_TAG}
NO_COMPRESSION = 1
# LZW codes the bytes as they lie in the file, so the compressed length of a
# strip of 16- or 32-bit samples depends on the byte order.
STRIP_BYTE_COUNTS = 279


def plain(value):
    if isinstance(value, np.ndarray):
        return value.tolist()
    if isinstance(value, bytes):
        return value
    if isinstance(value, (tuple, list)):
        return [plain(v) for v in value]
    return value


def read(path, order, failures):
    pages = []
    with tifffile.TiffFile(path) as tif:
        if tif.byteorder != BYTE_ORDERS[order]:
            failures.append(f"{path}: tifffile reads byte order '{tif.byteorder}', expected {order}")
        for page in tif.pages:
            if SUBFILE_TAG not in page.tags:
                failures.append(f"{path}: directory {len(pages)}: no tag {SUBFILE_TAG}")
            plain_strips = page.compression == NO_COMPRESSION
            skipped = NOT_COMPARED if plain_strips else NOT_COMPARED | {STRIP_BYTE_COUNTS}
            tags = {t.code: plain(t.value) for t in page.tags.values() if t.code not in skipped}
            pages.append((page.asarray() if plain_strips else None, tags))
    return pages


def main():
    if len(sys.argv) != 5 or sys.argv[2] not in BYTE_ORDERS or sys.argv[4] not in BYTE_ORDERS:
        print(__doc__, file=sys.stderr)
        return 2
    expected_path, expected_order, actual_path, actual_order = sys.argv[1:]
    failures = []
    expected = read(expected_path, expected_order, failures)
    actual = read(actual_path, actual_order, failures)
    if len(expected) != len(actual):
        failures.append(f"{actual_path}: {len(actual)} directories, expected {len(expected)}")
    for index, ((want, want_tags), (got, got_tags)) in enumerate(zip(expected, actual)):
        where = f"{actual_path}: directory {index}"
        if want is None or got is None:
            pass  # compressed: the tags say so, and they are compared below
        elif got.dtype.kind != want.dtype.kind or got.dtype.itemsize != want.dtype.itemsize \
                or got.shape != want.shape:
            failures.append(f"{where}: {got.dtype} {got.shape}, expected {want.dtype} {want.shape}")
        elif not np.array_equal(got, want):
            where_first = np.argwhere(got != want)[0]
            failures.append(f"{where}: first different value at {tuple(where_first)}: "
                            f"{got[tuple(where_first)]}, expected {want[tuple(where_first)]}")
        for code in sorted(set(want_tags) | set(got_tags)):
            if want_tags.get(code) != got_tags.get(code):
                failures.append(f"{where}: tag {code}: {got_tags.get(code)!r}, "
                                f"expected {want_tags.get(code)!r}")
    for failure in failures:
        print(failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
