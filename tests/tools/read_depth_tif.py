#!/usr/bin/python3
"""Prints the distance picture that `orvo extract` writes (depth.tif) as two
common readers decode it, for the tool's tests to compare with the distances
they expect: first Python's tifffile, then Pillow, each as a line
"READER KIND WIDTH HEIGHT" (KIND the reader's name for the sample type:
tifffile's dtype, Pillow's mode) and then the samples row by row, one line a
row, each as Python's repr of its value ("nan" where there is no depth).

usage: read_depth_tif.py FILE; a reader that cannot decode the file ends the
script with its error and exit status 1.
"""
import sys

import tifffile
from PIL import Image


def show(reader, kind, rows):
    print(reader, kind, len(rows[0]), len(rows))
    for row in rows:
        print(" ".join(repr(float(v)) for v in row))


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    path = sys.argv[1]
    pixels = tifffile.imread(path)
    show("tifffile", str(pixels.dtype), pixels.tolist())
    with Image.open(path) as image:
        width, height = image.size
        show("Pillow", image.mode,
             [[image.getpixel((x, y)) for x in range(width)] for y in range(height)])
    return 0


if __name__ == "__main__":
    sys.exit(main())
