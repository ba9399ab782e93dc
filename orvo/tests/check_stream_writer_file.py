"""Reads an Orvo file written by the stream writer test through tifffile and checks what a TIFF
reader sees: an RGB first page and a depth and an object-id page of the same size, with the
test's pixel pattern. The layer headers and the object table are followed from the private tag
by this script itself.

Usage: check_stream_writer_file.py FILE WIDTH HEIGHT [ID:R,G,B:HEXNAME ...]
The objects are listed newest first, as the table links them.
"""
import re
import struct
import sys

import numpy
import tifffile

NO_DEPTH = 0xFFFFFFFF
SUBFILE_DATA = 34953


def pattern(width, height):
    y, x = numpy.mgrid[0:height, 0:width].astype(numpy.uint64)
    background = (x + 2 * y) % 7 == 0
    depth = ((x * 2654435761 + y * 40503 + 7) % 2**32).astype(numpy.uint32)
    depth[background] = NO_DEPTH
    ids = (1 + (x + 3 * y) % 4).astype(numpy.uint16)
    ids[background] = 0
    colour = numpy.stack([(x * 37 + y * 11) % 256, (x * 5 + y * 67 + 1) % 256,
                          ((x ^ y) * 3) % 256], axis=-1).astype(numpy.uint8)
    return colour, depth, ids


def main():
    path, width, height = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    objects = []
    for item in sys.argv[4:]:
        ident, rgb, name = item.split(":")
        objects.append((int(ident), tuple(int(v) for v in rgb.split(",")), bytes.fromhex(name)))
    failures = []

    def check(condition, text):
        if not condition:
            failures.append(text)

    colour, depth, ids = pattern(width, height)
    raw = open(path, "rb").read()
    with tifffile.TiffFile(path) as tif:
        pages = tif.pages
        check(len(pages) == 3, f"{len(pages)} pages instead of 3")
        if len(pages) == 3:
            first, second, third = pages[0], pages[1], pages[2]
            check(first.photometric == tifffile.PHOTOMETRIC.RGB, "first page is not RGB")
            for page, want, name in ((first, colour, "colour"), (second, depth, "depth"),
                                     (third, ids, "object id")):
                data = page.asarray()
                check(data.shape == want.shape, f"{name} page has shape {data.shape}")
                check(data.dtype == want.dtype, f"{name} page has type {data.dtype}")
                check(data.shape == want.shape and numpy.array_equal(data, want),
                      f"{name} pixels differ")
            stamp = first.tags["DateTime"].value
            check(re.fullmatch(r"\d{4}:\d\d:\d\d \d\d:\d\d:\d\d", stamp) is not None,
                  f"DateTime {stamp!r}")

            kinds = []
            for page in (first, second, third):
                header = page.tags[SUBFILE_DATA].value
                kinds.append(struct.unpack_from("<IHH", raw, header))
            check(kinds == [(0, 1, 0), (1, 1, 0), (2, 1, 0)], f"layer headers {kinds}")

            count, head = struct.unpack_from("<II", raw, third.tags[SUBFILE_DATA].value + 8)
            found = []
            at = head
            while at != 0 and len(found) < count:
                previous, ident, red, green, blue = struct.unpack_from("<IHBBB", raw, at)
                name = raw[at + 9:raw.index(b"\0", at + 9)]
                found.append((ident, (red, green, blue), name))
                at = previous
            check(count == len(objects), f"object count {count}")
            check(found == objects, f"object table {found}")

    for failure in failures:
        print(failure)
    if not failures:
        print(f"tifffile reads {path}: RGB {width} x {height}, depth and object-id pages")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
