"""Runs the orvo tool on files whose every pixel and view the test chose, written by the
project's two writers through orvo_fixture, and checks its figures against what was written:
query's depths, distances and world positions (worked out here from the camera and the scene
the test built), info's statistics and JSON, and the PNG previews decoded here pixel by pixel.
Then damaged and foreign files, and misuse of the command line.

Usage: check_orvo_tool.py ORVO ORVO_FIXTURE ORVO_SAMPLE [unittest arguments, e.g. a class]
"""
import json
import math
import os
import random
import re
import select
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

import numpy as np
import tifffile

ORVO = FIXTURE = SAMPLE = None
NO_DEPTH = 0xFFFFFFFF
TWO_32 = 4294967296.0


def read_png(path):
    """Decodes an 8-bit, non-interlaced grey, grey+alpha, RGB or RGBA PNG file into an array
    of height x width x channels."""
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
    channels = {0: 1, 4: 2, 2: 3, 6: 4}[colour_type]
    assert depth == 8 and interlace == 0
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
    return np.frombuffer(b''.join(rows), dtype=np.uint8).reshape((height, width, channels))


def orvo(*arguments, input_text=None):
    return subprocess.run([ORVO] + [str(a) for a in arguments], input=input_text,
                          capture_output=True, text=True, check=False)


def orvo_json(*arguments, input_text=None):
    result = orvo(*arguments, '--json', input_text=input_text)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def unit(v):
    v = np.array(v, dtype=float)
    return v / np.linalg.norm(v)


class Picture:
    """What a fixture file is made of: the camera, the layers and the object table."""

    def __init__(self, width, height, seed):
        rng = np.random.default_rng(seed)
        self.width, self.height = width, height
        self.colour = rng.integers(0, 256, (height, width, 3), dtype=np.uint8)
        self.ids = rng.choice(np.array([0, 1, 2, 5, 9], dtype=np.uint16), (height, width))
        # Ids 1, 2 and 5 are in the table, 9 is not; id 7 is in the table but on no pixel.
        self.objects = [(1, 'Floor', (120, 160, 90)), (2, 'Stuhl \u00b7 gr\u00fcn', (220, 40, 40)),
                        (5, '\u6905\u5b50 "quoted"', (40, 80, 220)), (7, 'Unseen', (1, 2, 3))]
        self.codes = np.full((height, width), NO_DEPTH, dtype=np.uint32)

    def set_depths(self, depths, near, far):
        """Codes for depths along the view direction (NaN: nothing hit); the depths the codes
        stand for are kept as self.depths."""
        self.near, self.far = near, far
        hit = ~np.isnan(depths)
        codes = np.floor((np.where(hit, depths, near) - near) / (far - near) * TWO_32)
        self.codes = np.where(hit, codes, NO_DEPTH).astype(np.uint32)
        self.ids[~hit] = 0
        self.depths = np.where(hit, near + self.codes.astype(float) * ((far - near) / TWO_32),
                               np.nan)

    def write(self, path, writer, view_line, layers=7, killed_after=None):
        lines = ['writer ' + writer, 'size %d %d' % (self.width, self.height), view_line,
                 'layers %d' % layers]
        if killed_after is not None:
            lines.append('killed-after %d' % killed_after)
        lines += ['object %d %d %d %d %s' % ((i,) + rgb + (name,)) for i, name, rgb in self.objects]
        lines.append('pixels')
        for y in range(self.height):
            for x in range(self.width):
                r, g, b = self.colour[y, x]
                lines.append('%d %d %d %d %d' % (r, g, b, self.codes[y, x], self.ids[y, x]))
        result = subprocess.run([FIXTURE, path], input='\n'.join(lines) + '\n', text=True,
                                capture_output=True)
        assert result.returncode == (0 if killed_after is None else -signal.SIGKILL), \
            result.stderr

    def table(self):
        return {i: (name, rgb) for i, name, rgb in self.objects}


def vector_text(*vectors):
    return ' '.join('%r' % float(c) for v in vectors for c in v)


class Camera:
    """A camera turned away from the world axes, its window off centre, looking at a slanted
    plane; depths of every pixel worked out by intersecting its ray with the plane."""
    EYE = np.array([1.5, -2.0, 1.25])
    NORMAL = unit([0.2, -0.3, 1.0])  # the plane n . p = OFFSET, below and ahead of the eye
    OFFSET = -0.4

    def __init__(self, projection, width, height):
        yaw, pitch = math.radians(35), math.radians(-20)
        self.view = np.array([math.sin(yaw) * math.cos(pitch), math.cos(yaw) * math.cos(pitch),
                              math.sin(pitch)])
        self.right = unit(np.cross(self.view, [0, 0, 1]))
        self.up = np.cross(self.right, self.view)
        self.projection = projection
        self.width, self.height = width, height
        if projection == 0:
            self.left, self.top, self.right_edge, self.bottom = -0.7, 0.45, 0.5, -0.35
        else:
            self.left, self.top, self.right_edge, self.bottom = -3.0, 2.0, 2.5, -1.5

    def offsets(self, i, j):
        return (self.left + i * (self.right_edge - self.left) / (self.width - 1),
                self.top - j * (self.top - self.bottom) / (self.height - 1))

    def ray(self, i, j):
        """Origin and direction of pixel (i, j): a surface at depth t lies at o + t d."""
        x, y = self.offsets(i, j)
        if self.projection == 0:
            return self.EYE, self.view + x * self.right + y * self.up
        return self.EYE + x * self.right + y * self.up, self.view

    def view_line(self, near, far):
        if self.projection == 0:
            # The plug-in's corners: the camera-space ray mirrored in x and y, so x/z and y/z
            # are the offsets.
            corners = ((-self.left, -self.top, -1.0), (-self.right_edge, -self.bottom, -1.0))
        else:
            # A parallel camera's: the rays' origins on the camera plane, z the direction.
            corners = ((self.left, self.top, -1.0), (self.right_edge, self.bottom, -1.0))
        return 'perspective %d %s %r %r 2.54 3' % (
            self.projection, vector_text(self.EYE, self.right, self.up, self.view, *corners),
            near, far)

    def depths(self):
        depths = np.full((self.height, self.width), np.nan)
        for j in range(self.height):
            for i in range(self.width):
                origin, direction = self.ray(i, j)
                denominator = self.NORMAL @ direction
                if denominator < -1e-6:
                    t = (self.OFFSET - self.NORMAL @ origin) / denominator
                    if t < 30:
                        depths[j, i] = t
        return depths


class ToolCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='orvo_tool_')
        self.addCleanup(shutil.rmtree, self.work)

    def path(self, name):
        return os.path.join(self.work, name)

    def face(self, name, writer, width, height, seed, projection=0, near=0.5, far=40.0):
        """A rendered view of the camera's plane, written to the named file."""
        camera = Camera(projection, width, height)
        picture = Picture(width, height, seed)
        picture.set_depths(camera.depths(), near, far)
        path = self.path(name)
        picture.write(path, writer, camera.view_line(near, far))
        return camera, picture, path

    def check_statistics(self, info, picture):
        layers = {layer['kindName']: layer for layer in info['layers']}
        depth = layers.get('depth') or layers['panorama depth']
        hit = picture.codes != NO_DEPTH
        self.assertEqual(depth['noDepthPixels'], int((~hit).sum()))
        self.assertEqual(depth['depthPixels'], int(hit.sum()))
        self.assertAlmostEqual(depth['nearestDepth'], np.nanmin(picture.depths), delta=1e-12)
        self.assertAlmostEqual(depth['farthestDepth'], np.nanmax(picture.depths), delta=1e-12)
        values, counts = np.unique(picture.ids, return_counts=True)
        table = picture.table()
        self.assertEqual(layers['object-id']['idsInUse'],
                         [{'id': int(v), 'pixels': int(c),
                           'name': table[int(v)][0] if int(v) in table else None}
                          for v, c in zip(values, counts)])
        self.assertEqual(info['objects'], [{'id': i, 'name': name, 'colour': list(rgb)}
                                           for i, name, rgb in sorted(picture.objects)])

    def check_pixels(self, path, picture, ray, unit_scale_name):
        """Every pixel from standard input as lines, a few as JSON and as text."""
        pixels = [(i, j) for j in range(picture.height) for i in range(picture.width)]
        result = orvo('query', path, '-', input_text=''.join('%d %d\n' % p for p in pixels))
        self.assertEqual(result.returncode, 0, result.stderr)
        table = picture.table()
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), len(pixels))
        for (i, j), line in zip(pixels, lines):
            fields = line.split('\t')
            where = 'pixel (%d, %d)' % (i, j)
            self.assertEqual(fields[:6], [str(v) for v in (i, j, *picture.colour[j, i],
                                                           picture.ids[j, i])], where)
            object_id = int(picture.ids[j, i])
            self.assertEqual(fields[11], table[object_id][0] if object_id in table else '-')
            t = picture.depths[j, i]
            if math.isnan(t):
                self.assertEqual(fields[6:11], ['-'] * 5, where)
                continue
            origin, direction = ray(i, j)
            expected = [t, t * np.linalg.norm(direction), *(origin + t * direction)]
            # Text keeps nine significant digits.
            for got, want in zip(fields[6:11], expected):
                self.assertAlmostEqual(float(got), want, delta=2e-8 * max(1.0, abs(want)),
                                       msg=where)
        chosen = random.Random(3).sample(pixels, 12)
        answers = orvo_json('query', path, *[c for p in chosen for c in p])
        for (i, j), answer in zip(chosen, answers):
            t = picture.depths[j, i]
            self.assertEqual((answer['x'], answer['y'], answer['colour'], answer['id']),
                             (i, j, list(map(int, picture.colour[j, i])), int(picture.ids[j, i])))
            if math.isnan(t):
                self.assertEqual((answer['depth'], answer['point']), (None, None))
                continue
            origin, direction = ray(i, j)
            self.assertAlmostEqual(answer['depth'], t, delta=1e-12 * max(1, t))
            self.assertAlmostEqual(answer['distance'], t * np.linalg.norm(direction),
                                   delta=1e-12 * max(1, t))
            np.testing.assert_allclose(answer['point'], origin + t * direction, atol=1e-11)
        i, j = chosen[0]
        text = orvo('query', path, i, j).stdout
        self.assertTrue(text.startswith('pixel %d, %d' % (i, j)), text)
        if not math.isnan(picture.depths[j, i]):
            self.assertIn(unit_scale_name + ' along the ray', text)


class Revisions(ToolCase):
    """A perspective face written by both writers reads alike but for its revision."""

    def test_both_writers(self):
        for writer, revision, versions in (('stream', '1.0', ['1.0', '1.0', '1.0']),
                                           ('tessaly', '1.3', ['1.3', '1.0', '1.1'])):
            with self.subTest(writer=writer):
                camera, picture, path = self.face('face_%s.orv' % writer, writer, 23, 17, seed=5)
                self.assertGreater(np.isnan(picture.depths).sum(), 10)  # the sky above the plane
                info = orvo_json('info', path)
                self.assertEqual(info['revision'], revision)
                self.assertEqual([layer['version'] for layer in info['layers']], versions)
                self.assertEqual([layer['kindName'] for layer in info['layers']],
                                 ['colour', 'depth', 'object-id'])
                self.check_statistics(info, picture)
                view = info['view']
                self.assertEqual((view['projectionName'], view['unitName'], view['unitScale']),
                                 ('perspective', 'centimetre', 2.54))
                window = view['window']
                for key, value in (('left', camera.left), ('right', camera.right_edge),
                                   ('top', camera.top), ('bottom', camera.bottom)):
                    self.assertAlmostEqual(window[key], value, delta=1e-15)
                self.assertAlmostEqual(window['horizontalFieldOfView'],
                                       math.degrees(math.atan(0.5) + math.atan(0.7)), delta=1e-9)
                # Half a pixel more on each side: 1.2 / 22 and 0.8 / 16 on the image plane.
                self.assertAlmostEqual(window['imageVerticalFieldOfView'],
                                       math.degrees(math.atan(0.475) + math.atan(0.375)),
                                       delta=1e-9)
                self.assertEqual(len(info['tiffDirectories']), 3)
                for listing in info['tiffDirectories']:
                    self.assertIn('Quorvane Subfile Data: present', listing)
                self.check_pixels(path, picture, camera.ray, 'units of 2.54 centimetre')
                text = orvo('info', path).stdout
                for line in ('revision %s, 23 x 17 pixels, 3 layers' % revision,
                             'unit +centimetre \\(code 3\\), scale 2.54',
                             r' 9 +%d px  \(not in the object table\)' % (picture.ids == 9).sum(),
                             'Quorvane Tags'):
                    self.assertRegex(text, line)


class Parallel(ToolCase):
    def test_parallel_rays_leave_the_camera_plane(self):
        camera, picture, path = self.face('parallel.orv', 'stream', 19, 14, seed=6, projection=1,
                                          near=0.0, far=20.0)
        info = orvo_json('info', path)
        self.assertEqual(info['view']['projectionName'], 'parallel')
        self.assertAlmostEqual(info['view']['window']['width'], 5.5, delta=1e-12)
        self.check_statistics(info, picture)
        self.check_pixels(path, picture, camera.ray, 'units of 2.54 centimetre')
        # Every surface point lies on the plane the depths were made from.
        answers = orvo_json('query', path, *[c for i in range(19) for c in (i, 13)])
        points = np.array([a['point'] for a in answers if a['point'] is not None])
        self.assertGreater(len(points), 5)
        np.testing.assert_allclose(points @ Camera.NORMAL, Camera.OFFSET, atol=1e-7)


# The panorama's slots, left to right: forward, right, up of the camera that took the face.
SLOTS = [((0, 1, 0), (1, 0, 0), (0, 0, 1)), ((1, 0, 0), (0, -1, 0), (0, 0, 1)),
         ((0, -1, 0), (-1, 0, 0), (0, 0, 1)), ((-1, 0, 0), (0, 1, 0), (0, 0, 1)),
         ((0, 0, 1), (1, 0, 0), (0, -1, 0)), ((0, 0, -1), (1, 0, 0), (0, 1, 0))]


class Panorama(ToolCase):
    N = 7
    EYE = np.array([0.25, -0.5, 1.5])
    ROOM = (np.array([-2.0, -3.0, 0.0]), np.array([3.0, 2.5, 2.75]))  # an axis-aligned box

    def ray(self, column, row):
        forward, right, up = (np.array(v, dtype=float) for v in SLOTS[column // self.N])
        x = -1 + 2 * (column % self.N) / (self.N - 1)
        y = 1 - 2 * row / (self.N - 1)
        return self.EYE, forward + x * right + y * up

    def room_depths(self):
        n = self.N
        low, high = self.ROOM
        depths = np.full((n, 6 * n), np.nan)
        for row in range(n):
            for column in range(6 * n):
                _, d = self.ray(column, row)
                # Leaving the box: the nearest wall ahead along each axis.
                depths[row, column] = min((np.where(d > 0, high, low) - self.EYE)[d != 0] /
                                          d[d != 0])
        return depths

    def test_points_lie_on_the_room_around_the_eye(self):
        n = self.N
        low, high = self.ROOM
        depths = self.room_depths()
        depths[3, 5] = depths[0, 40] = np.nan  # a window onto nothing
        picture = Picture(6 * n, n, seed=7)
        picture.set_depths(depths, near=0.1, far=12.0)
        path = self.path('panorama.orv')
        picture.write(path, 'stream', 'panorama %s 0.1 12.0 1 4' % vector_text(self.EYE))
        info = orvo_json('info', path)
        self.assertEqual(info['panorama']['faceSize'], n)
        np.testing.assert_array_equal(info['panorama']['eyePoint'], self.EYE)
        self.assertEqual([layer['kindName'] for layer in info['layers']],
                         ['colour', 'panorama depth', 'object-id'])
        self.check_statistics(info, picture)
        self.check_pixels(path, picture, self.ray, 'metre')
        answers = orvo_json('query', path, *[c for col in range(6 * n) for c in (col, 2)])
        for column, answer in enumerate(answers):
            self.assertEqual(answer['slot'], column // n)
            point = np.array(answer['point'])
            on_wall = np.minimum(abs(point - low), abs(point - high)).min()
            self.assertLess(on_wall, 1e-8, 'column %d: %r' % (column, point))
        help_text = orvo('query', '--help').stdout
        self.assertIn('slot 4 up  (+Z; +X; -Y)', help_text)
        # A panorama strip that is not six square faces has no rays.
        odd = Picture(12, 3, seed=1)
        odd.set_depths(np.full((3, 12), 1.0), 0.0, 2.0)
        odd.write(self.path('odd.orv'), 'stream', 'panorama 0 0 0 0.0 2.0 1 4')
        result = orvo('query', self.path('odd.orv'), 0, 0)
        self.assertEqual(result.returncode, 1)
        self.assertIn('is not six square faces', result.stderr)


    def test_edges_that_cannot_tell_leave_the_render_hosts_roll(self):
        """Up and down faces whose edges, and the side faces' rows they meet, have no depth
        and one flat colour: neither roll can be told, so both stay as the render host turns
        them, unless --rolls states otherwise."""
        n = self.N
        depths = self.room_depths()
        picture = Picture(6 * n, n, seed=11)
        edge = np.zeros((n, 6 * n), dtype=bool)
        edge[[0, n - 1], :] = True
        for slot in (4, 5):
            edge[:, [slot * n, slot * n + n - 1]] = True
        depths[edge] = np.nan
        picture.set_depths(depths, near=0.1, far=12.0)
        picture.colour[edge] = (90, 90, 90)
        path = self.path('flat_edges.orv')
        picture.write(path, 'stream', 'panorama %s 0.1 12.0 1 4' % vector_text(self.EYE))
        rolls = orvo_json('info', path)['panorama']['rolls']
        for face in ('up', 'down'):
            self.assertEqual(rolls[face], {
                'roll': 0, 'source': 'assumed', 'cue': None, 'agreement': None,
                'otherAgreement': None, 'distance': {'compared': [0, 0], 'agreeing': [0, 0]},
                'colour': {'compared': [4 * n, 4 * n], 'agreeing': [4 * n, 4 * n]}}, face)
        text = orvo('info', path).stdout
        self.assertIn('up face roll         0°, not determined from its edges: the render '
                      "host's roll is assumed", text)
        self.assertIn('distances          none: no edge pixel has depth', text)
        # Inside the up and down faces, the points lie along the unrolled rays; stated rolls
        # turn the up face (each pixel then looks where the opposite pixel looked) and leave
        # the down face.
        pixels = [(4 * n + 1, 2), (5 * n + 2, 4)]
        for stated in ([], ['--rolls', '180,0']):
            answers = orvo_json('query', *stated, path, *[c for p in pixels for c in p])
            for (column, row), answer in zip(pixels, answers):
                t = picture.depths[row, column]
                if stated and column < 5 * n:
                    slot = column // n
                    column, row = slot * n + n - 1 - column % n, n - 1 - row
                origin, direction = self.ray(column, row)
                np.testing.assert_allclose(answer['point'], origin + t * direction, atol=1e-11)
        info = orvo_json('info', '--rolls', '180,0', path)['panorama']['rolls']
        self.assertEqual([info['up']['roll'], info['up']['source'], info['down']['roll']],
                         [180, 'stated', 0])
        for bad in ('90,0', '180', '0,0,0', ''):
            result = orvo('query', '--rolls', bad, path, 0, 0)
            self.assertEqual(result.returncode, 2, bad)
            self.assertIn('--rolls takes UP,DOWN', result.stderr)


class Previews(ToolCase):
    def check_previews(self, folder, stem, colour, codes, ids, table):
        self.assertTrue((read_png(os.path.join(folder, stem + '_colour.png')) == colour).all())

        depth = read_png(os.path.join(folder, stem + '_depth.png'))
        hit = codes != NO_DEPTH
        self.assertTrue((depth[..., 1] == np.where(hit, 255, 0)).all())
        low, high = codes[hit].min(), codes[hit].max()
        grey = 255 - 223 * (codes.astype(float) - float(low)) / (float(high) - float(low))
        self.assertLessEqual(abs(depth[..., 0][hit] - grey[hit]).max(), 0.5 + 1e-9)
        self.assertEqual(depth[..., 0][codes == low].min(), 255)
        self.assertEqual(depth[..., 0][codes == high].max(), 32)

        preview = read_png(os.path.join(folder, stem + '_ids.png'))
        for y, x in np.ndindex(ids.shape):
            i = int(ids[y, x])
            expected = [0, 0, 0, 0] if i == 0 else [*table[i], 255] if i in table else \
                [255, 0, 255, 255]
            self.assertEqual(list(preview[y, x]), expected, (x, y))

    def test_previews_show_the_layers(self):
        _, picture, path = self.face('face.orv', 'tessaly', 21, 13, seed=8)
        folder = self.path('new/previews')
        result = orvo('preview', path, folder)
        self.assertEqual(result.returncode, 0, result.stderr)
        table = {i: rgb for i, _, rgb in picture.objects}
        self.check_previews(folder, 'face', picture.colour, picture.codes, picture.ids, table)

    def test_ray_cast_sample(self):
        path = self.path('sample.orv')
        subprocess.run([SAMPLE, path], check=True, stdout=subprocess.DEVNULL)
        self.assertEqual(orvo('preview', path, self.work).returncode, 0)
        colour, codes, ids = (page.asarray() for page in tifffile.TiffFile(path).pages)
        table = {1: (120, 160, 90), 2: (220, 40, 40), 3: (40, 80, 220)}
        self.check_previews(self.work, 'sample', colour, codes, ids, table)

    def test_a_layer_asked_for_must_be_there(self):
        picture = Picture(4, 3, seed=9)
        path = self.path('colour_only.orv')
        picture.write(path, 'stream', 'perspective 0 ' + '0 ' * 18 + '0 1 1 0', layers=1)
        result = orvo('preview', '--layers', 'colour', path, self.work)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(self.work)), ['colour_only.orv', 'colour_only_colour.png'])
        result = orvo('preview', '--layers', 'colour,depth', path, self.work)
        self.assertEqual((result.returncode, result.stderr),
                         (1, 'orvo: %s: has no depth layer\n' % path))


class BadInput(ToolCase):
    def good_file(self):
        path = self.face('good.orv', 'tessaly', 9, 7, seed=10)[2]
        with open(path, 'rb') as f:
            return f.read()

    def assert_refused(self, data, problem=None, commands=(('info',), ('query', 0, 0))):
        path = self.path('bad.orv')
        with open(path, 'wb') as f:
            f.write(data)
        for command in commands:
            result = orvo(command[0], path, *command[1:])
            self.assertEqual(result.returncode, 1, (command, result))
            self.assertRegex(result.stderr, '^orvo: %s: [^\n]+\n$' % path)
            if problem is not None:
                self.assertIn(problem, result.stderr)

    def test_foreign_and_damaged_files(self):
        data = self.good_file()
        self.assert_refused(b'', 'the file is empty')
        self.assert_refused(b'GIF89a, no TIFF at all', 'not an Orvo file: not a TIFF file')
        plain = self.path('plain.tif')
        tifffile.imwrite(plain, np.zeros((4, 5, 3), dtype=np.uint8))
        with open(plain, 'rb') as f:
            self.assert_refused(f.read(), 'a TIFF file without Orvo layers')
        # The colour layer's header pointed past the end of the file.
        with tifffile.TiffFile(self.path('good.orv')) as tif:
            entry = tif.pages[0].tags[34953].offset
        moved = bytearray(data)
        moved[entry + 8:entry + 12] = struct.pack('<I', len(data) + 100)
        self.assert_refused(bytes(moved), 'directory 0: its layer header lies outside the file')
        for length in sorted({8, 100, len(data) // 3, len(data) // 2, len(data) - 40,
                              len(data) - 1} | set(range(0, len(data), len(data) // 25))):
            with self.subTest(length=length):
                self.assert_refused(data[:length])
        result = orvo('info', self.path('missing.orv'))
        self.assertEqual(result.stderr, 'orvo: %s: No such file or directory\n' %
                         self.path('missing.orv'))

    def test_a_frame_cut_off_while_written_is_incomplete(self):
        # What a render killed after a few rows leaves behind, from either writer, and from the
        # plug-in's writer killed after its last row, before it finished the object-id layer.
        view = 'perspective 0 ' + '0 ' * 18 + '0 1 1 0'
        for writer, rows, problem in (
                ('stream', 50, 'incomplete: the file holds no directory yet'),
                ('tessaly', 3, 'incomplete: directory 0: the colour layer ends at row 3 of 80'),
                ('tessaly', 80, 'incomplete: directory 2: its layer was never finished')):
            with self.subTest(writer=writer, rows=rows):
                path = self.path('cut_%s_%d.orv' % (writer, rows))
                Picture(100, 80, seed=12).write(path, writer, view, killed_after=rows)
                for command in (('info',), ('query', 0, 0)):
                    result = orvo(command[0], path, *command[1:])
                    self.assertEqual(result.returncode, 1, result)
                    self.assertRegex(result.stderr, '^orvo: %s: %s[^\n]*\n$'
                                     % (re.escape(path), re.escape(problem)))

    def test_damaged_text_reaches_no_terminal_and_keeps_json_valid(self):
        # The writer's Software tag and an object name overwritten, at their lengths, with a
        # terminal command, a bell, a C1 control and bytes that are not UTF-8.
        picture, path = self.face('good.orv', 'tessaly', 9, 7, seed=10)[1:]
        with open(path, 'rb') as f:
            data = f.read()
        for old, new in ((b'orvo_fixture', b'\x1b[2J\xff\x07\xc2\x9bfixt'),
                         (b'Floor', b'\x1b[1m\xc3')):
            self.assertEqual((data.count(old), len(new)), (1, len(old)), old)
            data = data.replace(old, new)
        with open(path, 'wb') as f:
            f.write(data)
        y, x = (str(v) for v in np.argwhere(picture.ids == 1)[0])
        run = lambda *arguments: subprocess.run([ORVO] + list(arguments), capture_output=True)
        texts = [run('info', path), run('info', path, path), run('query', path, x, y)]
        documents = [run('info', path, '--json'), run('query', path, x, y, '--json')]
        for result in texts + documents:
            self.assertEqual((result.returncode, result.stderr), (0, b''))
        for result in texts:
            self.assertIsNone(re.search(rb'[\x00-\x08\x0b-\x1f\x7f]|\xc2[\x80-\x9f]',
                                        result.stdout), result.stdout)
            text = result.stdout.decode('utf-8')
            self.assertIn(r'\x1b[1m', text)
        self.assertIn(r'Software: \x1b[2J\xff\x07\xc2\x9bfixt', texts[0].stdout.decode())
        info, pixels = (json.loads(r.stdout.decode('utf-8')) for r in documents)
        self.assertIn('Software: \x1b[2J\ufffd\x07\x9bfixt\n', info['tiffDirectories'][0])
        self.assertEqual({o['id']: o['name'] for o in info['objects']}[1], '\x1b[1m\ufffd')
        self.assertEqual(pixels[0]['name'], '\x1b[1m\ufffd')

    def test_corrupted_bytes_never_crash(self):
        data = self.good_file()
        rng = random.Random(11)
        path = self.path('corrupt.orv')
        for trial in range(40):
            corrupt = bytearray(data)
            for _ in range(rng.choice((1, 4, 16))):
                corrupt[rng.randrange(len(corrupt))] = rng.randrange(256)
            with open(path, 'wb') as f:
                f.write(corrupt)
            for command in (('info', path), ('query', path, 4, 3), ('preview', path, self.work)):
                result = orvo(*command)
                self.assertIn(result.returncode, (0, 1), (trial, command, result.stderr))
                if result.returncode == 1:
                    self.assertRegex(result.stderr, '^orvo: [^\n]+\n$')

    def test_pixels_outside_and_misuse(self):
        self.good_file()
        path = self.path('good.orv')
        result = orvo('query', path, 9, 0)
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (1, '', 'orvo: %s: pixel (9, 0) lies outside the image of 9 x 7 '
                                 'pixels\n' % path))
        with open(self.path('file'), 'w') as f:
            f.write('in the way')
        result = orvo('preview', path, self.path('file'))
        self.assertEqual(result.returncode, 1)
        self.assertTrue(result.stderr.startswith('orvo: %s' % self.path('file')), result.stderr)
        for arguments in ((), ('info',), ('info', '--yaml', path),
                          ('query', path), ('query', path, 1), ('query', path, 'a', 'b'),
                          ('preview', path), ('preview', '--layers', 'sky', path, self.work),
                          ('frobnicate', path)):
            result = orvo(*arguments)
            self.assertEqual((result.returncode, result.stdout), (2, ''), arguments)
            self.assertTrue(result.stderr.startswith(('orvo: ', 'Usage: ')), result.stderr)
        for arguments in (('--help',), ('info', '--help'), ('query', '-h'), ('preview', '--help')):
            result = orvo(*arguments)
            self.assertEqual((result.returncode, result.stderr), (0, ''), arguments)
            self.assertTrue(result.stdout.startswith('Usage: orvo'), result.stdout)

    def test_info_reports_every_file_and_query_answers_line_by_line(self):
        self.good_file()
        good = self.path('good.orv')
        with open(self.path('bad.orv'), 'wb') as f:
            f.write(b'II*\0 not much more')
        files = [good, self.path('missing.orv'), self.path('bad.orv'), good]
        result = orvo('info', *files)
        self.assertEqual(result.returncode, 1)
        single = orvo('info', good).stdout
        self.assertEqual(result.stdout, single + '\n' + single)
        self.assertRegex(result.stderr, '^orvo: %s: No such file or directory\norvo: %s: [^\n]+\n$'
                         % (files[1], files[2]))
        result = orvo('info', '--json', *files)
        self.assertEqual(result.returncode, 1)
        reports = json.loads(result.stdout)
        # One file keeps its single object; several give an array in their order.
        self.assertEqual([reports[0], reports[3]], [orvo_json('info', good)] * 2)
        self.assertEqual([sorted(r) for r in reports[1:3]], [['error', 'file']] * 2)
        self.assertEqual(reports[1], {'file': files[1], 'error': 'No such file or directory'})
        self.assertEqual(orvo('info', good, good).returncode, 0)

        # A script talks to query a line at a time: each answer comes before the next line
        # is sent, and a bad line gets its own message while the others are answered.
        process = subprocess.Popen([ORVO, 'query', good, '-'], stdin=subprocess.PIPE,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, bufsize=0)
        self.addCleanup(process.kill)

        def read_line(stream):
            data = b''
            while not data.endswith(b'\n'):
                ready, _, _ = select.select([stream], [], [], 60)
                self.assertTrue(ready, 'no answer within a minute')
                chunk = os.read(stream.fileno(), 65536)
                self.assertTrue(chunk, 'the stream ended')
                data += chunk
            return data.decode()

        for line, stream, answer in (
                ('1 2', process.stdout, '^1\t2\t'),
                ('9 0', process.stderr,
                 '^orvo: standard input: line 2: pixel \\(9, 0\\) lies outside the image of 9 x '
                 '7 pixels\n$'),
                ('3 x', process.stderr, '^orvo: standard input: line 3 is not a pixel'),
                ('7' * 5000, process.stderr, 'line 4 is longer than 4096 bytes\n$'),
                ('', None, None),
                (' 8 6 ', process.stdout, '^8\t6\t')):
            process.stdin.write(line.encode() + b'\n')
            if stream is not None:
                self.assertRegex(read_line(stream), answer)
        process.stdin.close()
        self.assertEqual(process.wait(60), 1)
        self.assertEqual(process.stdout.read() + process.stderr.read(), b'')
        self.assertEqual(orvo('query', good, '-', input_text='1 2\n\n3 4\n').returncode, 0)
        # A folder as standard input: reading it fails.
        folder = os.open(self.work, os.O_RDONLY)
        self.addCleanup(os.close, folder)
        result = subprocess.run([ORVO, 'query', good, '-'], stdin=folder, capture_output=True,
                                text=True, check=False)
        self.assertEqual((result.returncode, result.stdout), (1, ''))
        self.assertRegex(result.stderr, '^orvo: standard input: [^\n]+\n$')


if __name__ == '__main__':
    ORVO, FIXTURE, SAMPLE = sys.argv[1:4]
    unittest.main(argv=[sys.argv[0]] + sys.argv[4:], verbosity=2)
