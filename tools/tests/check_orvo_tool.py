"""Runs orvo_info on a file that orvo_sample wrote and checks what it prints and the PNG
previews it writes against the file's own layers, read with tifffile."""
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib

import numpy
import tifffile


def read_png(path):
    """Decodes an 8-bit, non-interlaced grey or RGB PNG file."""
    with open(path, 'rb') as f:
        data = f.read()
    assert data[:8] == b'\x89PNG\r\n\x1a\n', 'not a PNG file'
    pos, idat, header = 8, b'', None
    while pos < len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b'IHDR':
            header = struct.unpack('>IIBBBBB', body)
        elif kind == b'IDAT':
            idat += body
        pos += 12 + length
    width, height, depth, colour_type, _, _, interlace = header
    assert depth == 8 and interlace == 0 and colour_type in (0, 2)
    channels = 3 if colour_type == 2 else 1
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        filter_type = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - channels] if i >= channels else 0
            b = previous[i]
            c = previous[i - channels] if i >= channels else 0
            if filter_type == 1:
                line[i] = (line[i] + a) & 255
            elif filter_type == 2:
                line[i] = (line[i] + b) & 255
            elif filter_type == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif filter_type == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        previous = line
    image = numpy.frombuffer(b''.join(rows), dtype=numpy.uint8)
    return image.reshape((height, width, channels) if channels == 3 else (height, width))


def main(sample, info):
    with tempfile.TemporaryDirectory() as folder:
        path = os.path.join(folder, 'sample.orv')
        subprocess.run([sample, path], check=True, stdout=subprocess.DEVNULL)
        prefix = os.path.join(folder, 'preview')
        result = subprocess.run([info, '--png', prefix, path], capture_output=True, text=True)
        assert result.returncode == 0, result.stderr
        assert path + ': 160 x 100' in result.stdout, result.stdout
        assert 'objects: 3 (newest first)' in result.stdout, result.stdout
        assert re.search(r'unit +1 metre', result.stdout), result.stdout

        pages = tifffile.TiffFile(path).pages
        colour, depth, ids = (page.asarray() for page in pages)
        assert (read_png(prefix + '_colour.png') == colour).all()

        grey = read_png(prefix + '_depth.png')
        hit = depth != 0xFFFFFFFF
        assert (grey[~hit] == 0).all() and (grey[hit] >= 40).all()
        nearest = numpy.unravel_index(numpy.argmin(numpy.where(hit, depth, 2**32)), depth.shape)
        assert grey[nearest] == 255

        # Each object in its table colour, as the sample writes them.
        table = {1: (120, 160, 90), 2: (220, 40, 40), 3: (40, 80, 220)}
        preview = read_png(prefix + '_ids.png')
        for object_id, rgb in table.items():
            assert (preview[ids == object_id] == rgb).all(), object_id
        assert (preview[ids == 0] == 0).all()

        # A file that is no Orvo file counts as a failure; misuse is exit 2.
        junk = os.path.join(folder, 'junk.orv')
        with open(junk, 'wb') as f:
            f.write(b'not a tiff file')
        result = subprocess.run([info, path, junk], capture_output=True, text=True)
        assert result.returncode == 1 and 'junk.orv' in result.stderr, result
        assert subprocess.run([info], capture_output=True).returncode == 2
        result = subprocess.run([info, '--help'], capture_output=True, text=True)
        assert result.returncode == 0 and result.stdout.startswith('Usage:')
    print('orvo_info checks passed')


if __name__ == '__main__':
    main(sys.argv[1], sys.argv[2])
