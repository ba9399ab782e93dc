#!/usr/bin/python3
"""Writes the hand-made regression inputs of the fuzz targets into fuzz/regressions/, each made
from a seed of the corpus (orvo_reader_corpus FOLDER writes them) by rewriting its classic
little-endian TIFF structure:

  damaged_text_tags.orv     text tags and object names with ESC, BEL, a C1 control and bytes
                            that are not UTF-8
  claims_12000x12000.orv    Deflate layers that claim 12000 x 12000 pixels and would decode to
                            them: every strip of a layer points at one compressed block
  tall_272x65286.orv        272 x 65286 pixels, one row a strip, with two strips present

Beside them the folder keeps, as they were found, inputs on which a fuzz target failed.

Usage: make_regressions.py SEED_FOLDER [OUT_FOLDER, default fuzz/regressions]
"""
import os
import struct
import sys
import zlib

SIZES = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 6: 1, 7: 1, 8: 2, 9: 4, 10: 8, 11: 4, 12: 8}
WIDTH, LENGTH, BITS, STRIP_OFFSETS, SAMPLES, ROWS_PER_STRIP, STRIP_BYTE_COUNTS = (
    256, 257, 258, 273, 277, 278, 279)
SOFTWARE, ARTIST = 305, 315
SHORT, LONG = 3, 4


class Tiff:
    """A little-endian classic TIFF file patched in place: values are changed where they lie,
    and what no longer fits is appended, so that the private blocks, which hold offsets of
    their own, stay where they are."""

    def __init__(self, data):
        assert data[:4] == b'II*\0'
        self.data = bytearray(data)
        self.directories = []  # per directory: {tag: offset of its entry}
        offset = struct.unpack_from('<I', data, 4)[0]
        while offset:
            count = struct.unpack_from('<H', data, offset)[0]
            self.directories.append({struct.unpack_from('<H', data, offset + 2 + 12 * i)[0]:
                                     offset + 2 + 12 * i for i in range(count)})
            offset = struct.unpack_from('<I', data, offset + 2 + 12 * count)[0]

    def value_at(self, directory, tag):
        """The offset of the entry's value, and its size."""
        at = self.directories[directory][tag]
        kind, count = struct.unpack_from('<HI', self.data, at + 2)
        size = SIZES[kind] * count
        return (at + 8 if size <= 4 else struct.unpack_from('<I', self.data, at + 8)[0]), size

    def number(self, directory, tag):
        at, _ = self.value_at(directory, tag)
        kind = struct.unpack_from('<H', self.data, self.directories[directory][tag] + 2)[0]
        return struct.unpack_from('<H' if kind == SHORT else '<I', self.data, at)[0]

    def set_number(self, directory, tag, value):
        """A SHORT or LONG entry of one value set to another that fits its type."""
        at = self.directories[directory][tag]
        kind = struct.unpack_from('<H', self.data, at + 2)[0]
        struct.pack_into('<HI', self.data, at + 2, kind, 1)
        self.data[at + 8:at + 12] = struct.pack('<HH' if kind == SHORT else '<I',
                                                *((value, 0) if kind == SHORT else (value,)))

    def set_text(self, directory, tag, text):
        at, size = self.value_at(directory, tag)
        assert len(text) + 1 == size, 'text of another length'
        self.data[at:at + size] = text + b'\0'

    def append(self, blob):
        self.data += b'\0' * (len(self.data) % 2)
        at = len(self.data)
        self.data += blob
        return at

    def set_longs(self, directory, tag, values):
        at = self.directories[directory][tag]
        struct.pack_into('<HII', self.data, at + 2, LONG, len(values),
                         self.append(struct.pack('<%dI' % len(values), *values)))


def damaged_text(seed):
    tiff = Tiff(seed)
    tiff.set_text(0, SOFTWARE, b'\x1b[2J\xff\x07')  # was "corpus"
    tiff.set_text(0, ARTIST, b'\xc3(\xc2\x9b')  # was "me  "
    data = bytes(tiff.data)
    # The object names, kept at their lengths so that the object table stays whole.
    for name, damaged in ((b'Node0', b'\x1b[31m'), (b'Node1', b'N\xffd\x9b\r')):
        assert data.count(name) == 1
        data = data.replace(name, damaged)
    return data


def huge_claim(seed, width=12000, height=12000, rows=16):
    tiff = Tiff(seed)
    strips = height // rows
    for d in range(len(tiff.directories)):
        row_bytes = width * tiff.number(d, SAMPLES) * tiff.number(d, BITS) // 8
        tiff.set_number(d, WIDTH, width)
        tiff.set_number(d, LENGTH, height)
        tiff.set_number(d, ROWS_PER_STRIP, rows)
        block = zlib.compress(bytes(row_bytes * rows), 9)
        tiff.set_longs(d, STRIP_OFFSETS, [tiff.append(block)] * strips)
        tiff.set_longs(d, STRIP_BYTE_COUNTS, [len(block)] * strips)
    return bytes(tiff.data)


def tall(seed, width=272, height=65286):
    tiff = Tiff(seed)
    for d in range(len(tiff.directories)):
        tiff.set_number(d, WIDTH, width)
        tiff.set_number(d, LENGTH, height)
        tiff.set_number(d, ROWS_PER_STRIP, 1)
    return bytes(tiff.data)


def main():
    seeds = sys.argv[1]
    out = sys.argv[2] if len(sys.argv) > 2 else os.path.join(os.path.dirname(__file__),
                                                            'regressions')
    os.makedirs(out, exist_ok=True)

    def seed(name):
        with open(os.path.join(seeds, name), 'rb') as f:
            return f.read()

    for name, data in (
            ('damaged_text_tags.orv', damaged_text(seed('plugin_all_3x2_3_objects.orv'))),
            ('claims_12000x12000.orv', huge_claim(seed('libtiff_deflate_8_bit_ids_4x2.orv'))),
            ('tall_272x65286.orv', tall(seed('stream_all_1x1.orv')))):
        with open(os.path.join(out, name), 'wb') as f:
            f.write(data)
        print('%s: %d bytes' % (name, len(data)))


if __name__ == '__main__':
    main()
