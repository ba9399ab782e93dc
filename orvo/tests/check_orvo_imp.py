"""Independent checks of the plug-in writer's files with tifffile and plistlib.

Usage:
  check_orvo_imp.py pages FILE WIDTH HEIGHT ROWS LAYERS
      The file's pages are the layers of the LAYERS mask (1 colour, 2 depth, 4 object id)
      as tifffile sees them; the first ROWS rows hold the test pattern, the rest zeros.
  check_orvo_imp.py plist FILE NAME SHADOWS
      The colour layer's block holds a property list that plistlib parses into the keys
      Version (4), Name (NAME) and Shadows (SHADOWS), in that order.
Exit status 0 when every check holds; otherwise the failures are printed.
"""
import plistlib
import struct
import sys

import numpy
import tifffile

NO_DEPTH = 0xFFFFFFFF
SUBFILE_DATA = 34953


def pattern(width, height):
    """The pixel formulas of the C++ test, as arrays."""
    y, x = numpy.mgrid[0:height, 0:width].astype(numpy.uint64)
    colour = numpy.stack([(x * 7 + y * 13 + c * 50 + 1) & 0xFF for c in range(3)], axis=-1)
    depth = ((y * 0x01000193) ^ (x * 0x9E3779B1)) & 0xFFFFFFFF
    none = (x + y) % 5 == 4
    depth[none] = NO_DEPTH
    ids = (x * 31 + y * 7 + 1) & 0xFFFF
    ids[none] = 0
    return (colour.astype(numpy.uint8), depth.astype(numpy.uint32), ids.astype(numpy.uint16))


def check_pages(path, width, height, rows, layers):
    failures = []
    colour, depth, ids = pattern(width, height)
    expected = [(bit, data) for bit, data in ((1, colour), (2, depth), (4, ids)) if layers & bit]
    with tifffile.TiffFile(path) as tif:
        if tif.byteorder != "<" or tif.is_bigtiff:
            failures.append("not a classic little-endian TIFF")
        if len(tif.pages) != len(expected):
            failures.append(f"{len(tif.pages)} pages, expected {len(expected)}")
            return failures
        for page, (bit, data) in zip(tif.pages, expected):
            image = page.asarray()
            want = data.copy()
            want[rows:] = 0
            if image.shape != want.shape or image.dtype != want.dtype:
                failures.append(f"layer {bit}: {image.shape} {image.dtype}, "
                                f"expected {want.shape} {want.dtype}")
            elif not numpy.array_equal(image, want):
                bad = numpy.argwhere(image != want)[0]
                failures.append(f"layer {bit}: first difference at {tuple(bad)}")
            if SUBFILE_DATA not in page.tags:
                failures.append(f"layer {bit}: no tag {SUBFILE_DATA}")
        if layers & 1 and tif.pages[0].photometric != tifffile.PHOTOMETRIC.RGB:
            failures.append("the colour layer is not RGB")
    return failures


def check_plist(path, name, shadows):
    failures = []
    with tifffile.TiffFile(path) as tif:
        offset = tif.pages[0].tags[SUBFILE_DATA].value
    with open(path, "rb") as f:
        f.seek(offset)
        head = f.read(24)
        kind, major, minor, fixed, flag, _, end, length = struct.unpack("<IHHIHHII", head)
        if (kind, major, minor, fixed, flag) != (0, 1, 3, 5, 1):
            failures.append(f"colour block starts {(kind, major, minor, fixed, flag)}")
        text = f.read(length + 1)
    if end != offset + 24 + length:
        failures.append(f"end of text {end}, expected {offset + 24 + length}")
    if not text.endswith(b"\n</plist>\0"):
        failures.append("text does not end with </plist> and a NUL")
    try:
        document = plistlib.loads(text[:-1], fmt=plistlib.FMT_XML)
    except Exception as error:  # any parse failure is the finding
        return failures + [f"plistlib: {error}"]
    if list(document.keys()) != ["Version", "Name", "Shadows"]:
        failures.append(f"keys {list(document.keys())}")
    if document.get("Version") != 4:
        failures.append(f"Version {document.get('Version')!r}")
    if document.get("Name") != name:
        failures.append(f"Name {document.get('Name')!r}, expected {name!r}")
    if document.get("Shadows") != shadows:
        failures.append(f"Shadows {document.get('Shadows')!r}, expected {shadows!r}")
    return failures


def main(argv):
    if len(argv) == 7 and argv[1] == "pages":
        failures = check_pages(argv[2], *map(int, argv[3:7]))
    elif len(argv) == 5 and argv[1] == "plist":
        failures = check_plist(argv[2], argv[3], argv[4])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    for failure in failures:
        print(f"{argv[2]}: {failure}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
