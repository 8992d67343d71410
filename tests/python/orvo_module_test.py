#!/usr/bin/python3
"""The Python module `orvo` against readers of its own: tifffile for the
pictures, and a struct-based read of the blocks written from the byte
layout, on files of every kind: little- and big-endian, LZW-compressed, a
planar and a panoramic camera, with and without a material directory, and a
damaged one. The camera, the table and the texts are also compared with
what `orvo info --json` reports.

The writer writes the machine's byte order only, so the big-endian files are
made here: every number of the header, the directories, the uncompressed
strips and the blocks reversed in place, offsets unchanged.

usage: orvo_module_test.py FIXED_SAVE_PROGRAM ORVO_TOOL (with the module on
PYTHONPATH)
"""
import json
import os
import struct
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import tifffile

import orvo

FIXED_SAVE, ORVO_TOOL = None, None

SUBFILE_TAG = 34953
IMAGE_WIDTH, IMAGE_LENGTH, BITS_PER_SAMPLE, COMPRESSION = 256, 257, 258, 259
STRIP_OFFSETS, STRIP_BYTE_COUNTS = 273, 279
NO_COMPRESSION = 1
NO_DEPTH = 0xFFFFFFFF
DEPTH_SCALE = 4294967294.0
AXES_TOLERANCE = 1e-4

# TIFF field types: bytes a value takes, and how many numbers to reverse in
# it (a RATIONAL is two LONGs).
TYPE_SIZES = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8}
TYPE_PARTS = {5: 2, 10: 2}

# The blocks' layouts: (key, struct format) in file order after the 12-byte
# head (block code, version, kind, count).
HEAD = [("blockCode", "I"), ("version", "H"), ("blockKind", "H"), ("count", "I")]
COLOUR = [("shadowFlag", "H"), ("secondFlag", "H")]
COLOUR_TEXT = [("textEnd", "I"), ("textLength", "I")]
PLANAR = [("kind", "I")] + [(k, "3d") for k in (
    "position", "xAxis", "yAxis", "zAxis", "spareAxis", "topLeft", "bottomRight")]
PANORAMIC = [("kind", "I")] + [(k, "3d") for k in (
    "position", "direction1", "direction2", "direction3")] + [("angle", "d")]
CAMERA_TAIL = [("nearDistance", "d"), ("farDistance", "d"), ("scale", "d"), ("code", "I")]
MATERIAL_BLOCK = [("listHead", "I")]
RECORD = [("previous", "I"), ("tag", "H"), ("rgb", "3B")]
PLANAR_CODE, PANORAMIC_CODE = 1, 8


def fields(data, offset, layout, order, swapped=None):
    """The fields of `layout` at `offset`, and the offset after them; each
    number's bytes reversed in `swapped` when given."""
    values = {}
    for key, fmt in layout:
        size = struct.calcsize(fmt)
        value = struct.unpack_from(order + fmt, data, offset)
        values[key] = value if len(value) > 1 else value[0]
        if swapped is not None:
            part = struct.calcsize(fmt[-1])
            for at in range(offset, offset + size, part):
                swapped[at:at + part] = swapped[at:at + part][::-1]
        offset += size
    return values, offset


def directories(data, order, swapped=None):
    """Each directory's entries as {tag: (type, count, values)}, in chain
    order."""
    def reverse(at, size):
        if swapped is not None:
            swapped[at:at + size] = swapped[at:at + size][::-1]
    dirs = []
    offset = struct.unpack_from(order + "I", data, 4)[0]
    reverse(2, 2)
    reverse(4, 4)
    while offset:
        count = struct.unpack_from(order + "H", data, offset)[0]
        reverse(offset, 2)
        entries = {}
        for i in range(count):
            at = offset + 2 + 12 * i
            tag, kind, n = struct.unpack_from(order + "HHI", data, at)
            for field, size in ((at, 2), (at + 2, 2), (at + 4, 4)):
                reverse(field, size)
            size = TYPE_SIZES[kind] * n
            where = at + 8
            if size > 4:
                where = struct.unpack_from(order + "I", data, at + 8)[0]
                reverse(at + 8, 4)
            part = TYPE_SIZES[kind] // TYPE_PARTS.get(kind, 1)
            if part > 1:
                for p in range(where, where + size, part):
                    reverse(p, part)
            fmt = {1: "B", 2: "s", 3: "H", 4: "I", 12: "d"}.get(kind)
            values = struct.unpack_from(f"{order}{n}{fmt}", data, where) if fmt else None
            entries[tag] = (kind, n, values)
        next_at = offset + 2 + 12 * count
        reverse(next_at, 4)
        dirs.append((offset, next_at, entries))
        offset = struct.unpack_from(order + "I", data, next_at)[0]
    return dirs


def blocks(data, order, dirs, swapped=None):
    """The camera (its fields by key, with blockCode) and the material
    records (tag, name, (r, g, b)) in list order, read from the blocks."""
    camera, records = None, []
    for _, _, entries in dirs:
        at = entries[SUBFILE_TAG][2][0]
        head, after = fields(data, at, HEAD, order, swapped)
        if head["blockCode"] == 0:
            colour, after = fields(data, after, COLOUR, order, swapped)
            if colour["shadowFlag"]:
                fields(data, after, COLOUR_TEXT, order, swapped)
        elif head["blockCode"] in (PLANAR_CODE, PANORAMIC_CODE):
            layout = PLANAR if head["blockCode"] == PLANAR_CODE else PANORAMIC
            camera, _ = fields(data, after, layout + CAMERA_TAIL, order, swapped)
            camera["blockCode"] = head["blockCode"]
        else:
            record = fields(data, after, MATERIAL_BLOCK, order, swapped)[0]["listHead"]
            while record:
                r, name_at = fields(data, record, RECORD, order, swapped)
                name = data[name_at:data.index(b"\0", name_at)].decode()
                records.append((r["tag"], name, r["rgb"]))
                record = r["previous"]
    return camera, records


def byte_order(data):
    return "<" if data[:2] == b"II" else ">"


def big_endian_copy(source, target):
    """`source`, a little-endian file with uncompressed strips, written to
    `target` with every number big-endian."""
    data = open(source, "rb").read()
    assert data[:2] == b"II", source
    swapped = bytearray(data)
    swapped[:2] = b"MM"
    dirs = directories(data, "<", swapped)
    for _, _, entries in dirs:
        assert entries[COMPRESSION][2][0] == NO_COMPRESSION, source
        sample = entries[BITS_PER_SAMPLE][2][0] // 8
        for start, length in zip(entries[STRIP_OFFSETS][2], entries[STRIP_BYTE_COUNTS][2]):
            for at in range(start, start + length, sample):
                swapped[at:at + sample] = swapped[at:at + sample][::-1]
    blocks(data, "<", dirs, swapped)
    open(target, "wb").write(swapped)


def without_materials(source, target):
    """`source` with its directory chain ended after the depth directory."""
    data = bytearray(open(source, "rb").read())
    order = byte_order(data)
    _, next_at, _ = directories(bytes(data), order)[1]
    data[next_at:next_at + 4] = struct.pack(order + "I", 0)
    open(target, "wb").write(data)


def expected_camera(camera):
    """The camera as the module should give it, from the bytes: every key
    of both kinds, None for those of the other kind, vectors as tuples."""
    planar = camera["blockCode"] == PLANAR_CODE
    keys = [k for k, _ in PLANAR + PANORAMIC + CAMERA_TAIL]
    expected = {k: camera.get(k) for k in keys}
    expected["blockCode"] = camera["blockCode"]
    expected["projection"] = "planar" if planar else "panoramic"
    expected["axesOrthonormal"] = None
    if planar:
        axes = np.array([camera["xAxis"], camera["yAxis"], camera["zAxis"]])
        gram = axes @ axes.T
        expected["axesOrthonormal"] = bool(
            np.all(np.abs(np.sqrt(np.diag(gram)) - 1) <= AXES_TOLERANCE)
            and np.all(np.abs(gram[np.triu_indices(3, 1)]) <= AXES_TOLERANCE))
    return expected


def info_json(path):
    run = subprocess.run([ORVO_TOOL, "info", "--json", path], capture_output=True, text=True)
    return json.loads(run.stdout)


def tuples(value):
    return tuple(tuples(v) for v in value) if isinstance(value, list) else value


class OrvoModule(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.TemporaryDirectory()
        folder = cls.scratch.name
        subprocess.run([FIXED_SAVE, folder], check=True, capture_output=True)
        cls.folder = folder
        big_endian_copy(cls.path("saved.ovq"), cls.path("saved_big.ovq"))
        big_endian_copy(cls.path("lit.ovq"), cls.path("lit_big.ovq"))
        without_materials(cls.path("saved_big.ovq"), cls.path("no_materials.ovq"))
        # name: (byte order, whether the pictures are compressed, panoramic,
        # has materials)
        cls.files = {
            "saved.ovq": ("little", False, False, True),
            "lit.ovq": ("little", False, True, True),
            "lzw.ovq": ("little", True, True, True),
            "saved_big.ovq": ("big", False, False, True),
            "lit_big.ovq": ("big", False, True, True),
            "no_materials.ovq": ("big", False, False, False),
        }

    @classmethod
    def path(cls, name):
        return os.path.join(cls.folder, name)

    @classmethod
    def tearDownClass(cls):
        cls.scratch.cleanup()

    def test_pictures_equal_tifffiles_in_every_kind_of_file(self):
        no_depth_seen = False
        for name, (order, compressed, _, has_materials) in self.files.items():
            with self.subTest(file=name):
                # tifffile decodes LZW only with a package Debian lacks; the
                # compressed file holds the pictures of lit.ovq.
                with tifffile.TiffFile(self.path("lit.ovq" if compressed else name)) as tif:
                    self.assertEqual(tif.byteorder, {"little": "<", "big": ">"}[order])
                    pictures = [page.asarray() for page in tif.pages]
                colour, codes = pictures[:2]
                data = open(self.path(name), "rb").read()
                far = blocks(data, byte_order(data), directories(data, byte_order(data)))[0][
                    "farDistance"]

                f = orvo.open(self.path(name))
                self.assertEqual((f.width, f.height, f.byte_order),
                                 (colour.shape[1], colour.shape[0], order))
                for got, want, dtype in ((f.colour, colour, np.uint8),
                                         (f.depth_codes, codes, np.uint32)):
                    self.assertEqual((got.dtype, got.shape), (np.dtype(dtype), want.shape))
                    np.testing.assert_array_equal(got, want)
                no_depth_seen |= bool(np.isnan(f.distance).any())
                distance = np.where(codes == NO_DEPTH, np.nan,
                                    codes.astype(np.float64) / DEPTH_SCALE * far)
                self.assertEqual(f.distance.dtype, np.float32)
                np.testing.assert_array_equal(f.distance, distance.astype(np.float32))
                if has_materials:
                    self.assertEqual(f.materials.dtype, np.uint16)
                    np.testing.assert_array_equal(f.materials, pictures[2])
                    self.assertGreater(len(np.unique(f.materials)), 2)
                else:
                    self.assertEqual(len(pictures), 2)
                    self.assertIsNone(f.materials)
        self.assertTrue(no_depth_seen)

    def test_camera_table_and_texts_equal_the_bytes_and_info(self):
        kinds = set()
        for name, (_, _, panoramic, has_materials) in self.files.items():
            with self.subTest(file=name):
                data = open(self.path(name), "rb").read()
                camera, records = blocks(data, byte_order(data),
                                         directories(data, byte_order(data)))
                info = info_json(self.path(name))
                f = orvo.open(self.path(name))

                self.assertEqual(f.camera, expected_camera(camera))
                self.assertEqual(list(f.camera), list(info["camera"]))
                self.assertEqual(f.camera, {k: tuples(v) for k, v in info["camera"].items()})
                self.assertEqual(f.camera["projection"], "panoramic" if panoramic else "planar")
                kinds.add(f.camera["projection"])

                table = sorted(records, key=lambda r: r[0]) if has_materials else []
                self.assertEqual(f.material_table, table)
                self.assertEqual(f.material_table, [
                    (m["tag"], m["name"], tuple(m["colour"])) for m in info["materials"] or []])
                self.assertEqual(bool(f.material_table), has_materials)

                self.assertEqual(f.texts, {k: info[k] for k in (
                    "software", "dateTime", "documentName", "artist", "copyright")})
                r = info["resolution"]
                self.assertEqual(f.resolution, r and (r["x"], r["y"], r["unit"]))
                self.assertEqual(f.property_list, info["propertyList"])
                self.assertEqual(f"{f.byte_order}-endian", info["byteOrder"])
        self.assertEqual(kinds, {"planar", "panoramic"})
        lit = orvo.open(self.path("lit_big.ovq"))
        self.assertEqual(lit.texts["artist"], "\u00c4rtist \u03bb")
        self.assertEqual(lit.resolution, (118.0, 119.0, "centimetre"))
        self.assertIn("<", lit.property_list)
        self.assertIsNone(orvo.open(self.path("saved.ovq")).property_list)

    def test_each_picture_is_read_once_into_one_read_only_array(self):
        f = orvo.open(self.path("saved.ovq"))
        for attribute in ("colour", "depth_codes", "distance", "materials"):
            with self.subTest(picture=attribute):
                first = getattr(f, attribute)
                self.assertIs(getattr(f, attribute), first)
                self.assertFalse(first.flags.writeable)
                self.assertTrue(first.flags.c_contiguous and first.flags.owndata)
                with self.assertRaises(ValueError):
                    first[0, 0] = 1

    def test_a_damaged_file_raises_the_readers_message(self):
        damaged = self.path("cut_in_half.ovq")
        data = open(self.path("saved.ovq"), "rb").read()
        open(damaged, "wb").write(data[:len(data) // 2])
        with self.assertRaises(orvo.Error) as raised:
            orvo.open(damaged)
        message = str(raised.exception)
        self.assertTrue(message.startswith(damaged + ": "), message)
        self.assertEqual(message, info_json(damaged)["error"])


if __name__ == "__main__":
    FIXED_SAVE, ORVO_TOOL = sys.argv[1:3]
    unittest.main(argv=sys.argv[:1] + sys.argv[3:])
