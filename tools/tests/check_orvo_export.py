"""Runs orvo export on files whose every pixel the test chose and reads the results with
other programs' readers: Pillow and tifffile for the equirectangular images, OpenEXR's
exrheader and, through exr_probe, OpenEXR's own library and environment-map functions for
the EXR files. Each exported pixel's direction, worked out from the orientation that
orvo export --help states or from OpenEXR's functions, must meet in the panorama the pixel
whose id and distance orvo query answers. Then damaged and foreign files and misuse.

Usage: check_orvo_export.py ORVO ORVO_FIXTURE EXR_PROBE EXRHEADER [unittest arguments]
"""
import json
import math
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import tifffile
from PIL import Image

import check_orvo_tool as base
from check_orvo_tool import NO_DEPTH, SLOTS, Camera, Picture, orvo, orvo_json

PROBE = EXRHEADER = None
N = 9
EYE = np.array([0.25, -0.5, 1.5])
ROOM = (np.array([-2.0, -3.0, 0.0]), np.array([3.0, 2.5, 2.75]))


def face_ray(column, row):
    forward, right, up = (np.array(v, dtype=float) for v in SLOTS[column // N])
    return forward + (-1 + 2 * (column % N) / (N - 1)) * right + (1 - 2 * row / (N - 1)) * up


def smooth_colour(direction):
    """The colour the panorama shows along a direction: smooth all round, so that the
    interpolated colour of any direction is known."""
    d = np.asarray(direction, dtype=float)
    d = d / np.linalg.norm(d, axis=-1, keepdims=True)
    return 127.5 + 120.0 * np.stack([d[..., 0], d[..., 1], d[..., 2]], axis=-1)


def srgb_decode(code):
    c = np.asarray(code, dtype=float) / 255.0
    return np.where(c <= 0.04045, c / 12.92, ((c + 0.055) / 1.055) ** 2.4)


def strip_pixels(direction):
    """The face pixels a direction meets, by the slot table of orvo query --help: one, or
    those it could be where it lies on a border between faces or pixels."""
    d = np.asarray(direction, dtype=float)
    along = [d @ np.array(forward, dtype=float) for forward, _, _ in SLOTS]
    pixels = []
    for slot in range(6):
        if along[slot] < max(along) * (1 - 1e-5):
            continue
        _, right, up = (np.array(v, dtype=float) for v in SLOTS[slot])
        column = min(max((d @ right / along[slot] + 1) / 2 * (N - 1), 0), N - 1)
        row = min(max((1 - d @ up / along[slot]) / 2 * (N - 1), 0), N - 1)
        for c in {int(math.floor(column + 0.5 - 1e-4)), int(math.floor(column + 0.5 + 1e-4))}:
            for r in {int(math.floor(row + 0.5 - 1e-4)), int(math.floor(row + 0.5 + 1e-4))}:
                pixels.append((slot * N + min(c, N - 1), min(r, N - 1)))
    return pixels


class ExportCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='orvo_export_')
        self.addCleanup(shutil.rmtree, self.work)

    def path(self, name):
        return os.path.join(self.work, name)

    def panorama(self):
        """A room around the eye: depths from the walls, colours from the directions, ids at
        random; a window onto nothing. Returns the path and query's answer for every pixel."""
        low, high = ROOM
        depths = np.full((N, 6 * N), np.nan)
        picture = Picture(6 * N, N, seed=21)
        for row in range(N):
            for column in range(6 * N):
                d = face_ray(column, row)
                depths[row, column] = min((np.where(d > 0, high, low) - EYE)[d != 0] / d[d != 0])
                picture.colour[row, column] = np.round(smooth_colour(d))
        depths[4, 3] = depths[2, 40] = depths[8, 50] = np.nan
        picture.set_depths(depths, near=0.1, far=12.0)
        path = self.path('room.orv')
        picture.write(path, 'stream', 'panorama %s 0.1 12.0 2.54 3' % base.vector_text(EYE))
        pixels = [(c, r) for r in range(N) for c in range(6 * N)]
        answers = orvo_json('query', path, '-', input_text=''.join('%d %d\n' % p for p in pixels))
        return path, picture, {(a['x'], a['y']): a for a in answers}

    def check_ray(self, direction, answers, got_id, got_distance, nothing, where):
        """The exported id and distance of a pixel are those query gives the face pixel its
        direction meets (one of them, where it lies on a border); True where that was one
        pixel for sure."""
        candidates = strip_pixels(direction)
        for pixel in candidates:
            answer = answers[pixel]
            if answer['distance'] is None:
                same = nothing(got_distance)
            else:
                same = abs(got_distance - answer['distance']) <= 1e-6 * answer['distance']
            if same and got_id == answer['id']:
                return len(candidates) == 1
        self.fail('%r: id %d, distance %r; query: %r' % (
            where, got_id, got_distance, [answers[p] for p in candidates]))

    def probe(self, exr):
        result = subprocess.run([PROBE, exr], capture_output=True, text=True, check=True)
        lines = result.stdout.splitlines()
        info = {line.split()[0]: line.split()[1:] for line in lines if not line.startswith('p')}
        pixels = np.array([[float(v) for v in line.split()[1:]] for line in lines
                           if line.startswith('pixel ')])
        return info, pixels

    def exrheader(self, exr):
        result = subprocess.run([EXRHEADER, exr], capture_output=True, text=True, check=True)
        return result.stdout


class Equirect(ExportCase):
    def test_pixels_look_where_help_says(self):
        path, picture, answers = self.panorama()
        help_text = orvo('export', '--help').stdout
        self.assertIn('image centre looks along +Y', help_text)
        self.assertIn('the top\n  row looks straight up (+Z)', help_text)
        result = orvo('export', 'equirect', path, self.path('default'))
        self.assertEqual(result.returncode, 0, result.stderr)
        with Image.open(self.path('default/room_colour.png')) as image:
            self.assertEqual(image.size, (4 * N, 2 * N))

        # Wide enough for the rows to pass in several bands, the last one short.
        w, h = 520, 260
        result = orvo('export', 'equirect', path, self.path('out'), '--width', w)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(sorted(os.listdir(self.path('out'))),
                         ['room.json', 'room_colour.png', 'room_distance.tif', 'room_ids.png'])
        for name, depth_and_type in (('colour', b'\x08\x02'), ('ids', b'\x10\x00')):
            with open(self.path('out/room_%s.png' % name), 'rb') as f:
                self.assertEqual(f.read(26)[24:], depth_and_type, name)  # 8-bit RGB, 16-bit grey
        with Image.open(self.path('out/room_colour.png')) as image:
            colour = np.asarray(image).astype(float)
        with Image.open(self.path('out/room_ids.png')) as image:
            ids = np.asarray(image)
        self.assertEqual((colour.shape, ids.shape), ((h, w, 3), (h, w)))
        distance = tifffile.imread(self.path('out/room_distance.tif'))
        self.assertEqual((distance.dtype, distance.shape), (np.float32, (h, w)))

        j, i = np.mgrid[0:h, 0:w]
        azimuth = 2 * math.pi * ((i + 0.5) / w - 0.5)
        elevation = math.pi * (0.5 - (j + 0.5) / h)
        rays = np.stack([np.sin(azimuth) * np.cos(elevation), np.cos(azimuth) * np.cos(elevation),
                         np.sin(elevation)], axis=-1)
        # Smooth across every face and edge: the colour of the ray's own direction.
        self.assertLess(abs(colour - smooth_colour(rays)).max(), 4.0)
        rows = sorted(set(range(0, h, 4)) | {127, 128, 129, 255, 256, h - 1})
        columns = range(0, w, 8)
        checked = sum(self.check_ray(rays[y, x], answers, int(ids[y, x]), float(distance[y, x]),
                                     math.isnan, (x, y))
                      for y in rows for x in columns)
        self.assertGreater(checked, 0.97 * len(rows) * len(columns))

        with open(self.path('out/room.json')) as f:
            table = json.load(f)
        self.assertEqual(table['unit'], {'name': 'centimetre', 'code': 3, 'scale': 2.54})
        self.assertEqual(table['eyePoint'], list(EYE))
        values, counts = np.unique(ids, return_counts=True)
        named = picture.table()
        expected = [{'id': int(v), 'name': named[v][0] if v in named else None,
                     'colour': list(named[v][1]) if v in named else None, 'pixels': int(c)}
                    for v, c in zip(values, counts) if v != 0]
        expected.append({'id': 7, 'name': 'Unseen', 'colour': [1, 2, 3], 'pixels': 0})
        self.assertEqual(table['objects'], sorted(expected, key=lambda o: o['id']))
        self.assertEqual(table['noObjectPixels'], int((ids == 0).sum()))


class Exr(ExportCase):
    def test_environment_maps(self):
        path, picture, answers = self.panorama()
        for layout, size in (('latlong', (4 * N, 2 * N)), ('cube', (N, 6 * N))):
            with self.subTest(layout=layout):
                exr = self.path('room_%s.exr' % layout)
                result = orvo('export', 'exr', path, exr, '--layout', layout)
                self.assertEqual(result.returncode, 0, result.stderr)
                header = self.exrheader(exr)
                for line in ('B, 16-bit floating-point', 'G, 16-bit floating-point',
                             'R, 16-bit floating-point', 'Z, 32-bit floating-point',
                             'objectId, 32-bit unsigned integer',
                             'envmap (type envmap): %s' % ('cube-face map' if layout == 'cube'
                                                           else 'latitude-longitude map'),
                             'compression (type compression): zip',
                             'orvoUnit (type string): "centimetre"',
                             'orvoUnitScale (type double): 2.54',
                             'orvoAxes (type string): "envmap direction (x, y, z) = scene '
                             'direction (-X, Z, Y)',
                             'orvoZ (type string): "distance from the eye point along the ray'):
                    self.assertIn(line, header)
                info, pixels = self.probe(exr)
                self.assertEqual(tuple(map(int, info['size'])), size)
                self.assertEqual(len(pixels), size[0] * size[1])
                self.assertEqual(len({(x, y) for x, y in pixels[:, :2]}), len(pixels))
                checked = 0
                for x, y, dx, dy, dz, r, g, b, z, object_id in pixels:
                    scene = np.array([-dx, dz, dy])  # the mapping orvoAxes states
                    want = srgb_decode(smooth_colour(scene))
                    # Half floats keep three decimal digits; bilinear interpolation of the
                    # linear colour stays within a few 8-bit steps of the true one.
                    np.testing.assert_allclose([r, g, b], want, atol=0.025, err_msg=str((x, y)))
                    checked += self.check_ray(scene, answers, int(object_id), z, math.isinf,
                                              (layout, x, y))
                self.assertGreater(checked, 0.5 * len(pixels))
                objects = header.split('orvoObjects (type string): "', 1)[1].split('\n"\n')[0]
                ids = pixels[:, 9].astype(int)
                self.assertEqual({o['id']: o['pixels'] for o in json.loads(objects)},
                                 {i: int((ids == i).sum()) for i in set(ids) | {1, 2, 5, 7}
                                  if i != 0})

    def test_rendered_views_keep_their_camera(self):
        for writer, projection in (('tessaly', 0), ('stream', 0), ('stream', 1)):
            with self.subTest(writer=writer, projection=projection):
                camera = Camera(projection, 23, 17)
                picture = Picture(23, 17, seed=22)
                picture.set_depths(camera.depths(), 0.5, 40.0)
                path = self.path('view.orv')
                picture.write(path, writer, camera.view_line(0.5, 40.0))
                exr = self.path('view.exr')
                result = orvo('export', 'exr', path, exr)
                self.assertEqual(result.returncode, 0, result.stderr)
                header = self.exrheader(exr)
                self.assertNotIn('envmap', header)
                for name in ('worldToCamera (type m44f)', 'worldToNDC (type m44f)',
                             'screenWindowWidth', 'orvoZ (type string): "depth along the view'):
                    self.assertIn(name, header)
                info, pixels = self.probe(exr)
                to_camera = np.array(info['worldToCamera'], dtype=float).reshape(4, 4)
                to_ndc = np.array(info['worldToNDC'], dtype=float).reshape(4, 4)
                answers = orvo_json('query', path, '-', input_text=''.join(
                    '%d %d\n' % (x, y) for x, y, *_ in pixels))
                for (x, y, _, _, _, r, g, b, z, object_id), answer in zip(pixels, answers):
                    where = (x, y)
                    self.assertEqual(int(object_id), answer['id'], where)
                    np.testing.assert_allclose(
                        [r, g, b], srgb_decode(answer['colour']).astype(np.float16).astype(float), rtol=1e-6,
                        err_msg=str(where))
                    if answer['depth'] is None:
                        self.assertTrue(math.isinf(z), where)
                        continue
                    self.assertAlmostEqual(z, answer['depth'], delta=1e-6 * answer['depth'])
                    # The surface point projects back onto the centre of its pixel, at the
                    # depth the Z channel holds.
                    point = np.append(answer['point'], 1.0)
                    self.assertAlmostEqual((point @ to_camera)[2], z, delta=1e-4 * z)
                    ndc = point @ to_ndc
                    np.testing.assert_allclose(ndc[:2] / ndc[3] * (23, 17) - 0.5, where,
                                               atol=2e-3, err_msg=str(where))


class BadInput(ExportCase):
    def assert_refused(self, path, message=None, forms=('equirect', 'exr')):
        """Both exports fail with the one-line message orvo info gives, and leave nothing."""
        out = self.path('out')
        os.makedirs(out, exist_ok=True)
        for form in forms:
            target = out if form == 'equirect' else os.path.join(out, 'x.exr')
            result = orvo('export', form, path, target)
            self.assertEqual(result.returncode, 1, (form, result))
            self.assertRegex(result.stderr, '^orvo: [^\n]+\n$')
            if message is None:
                self.assertEqual(result.stderr, orvo('info', path).stderr)
            else:
                self.assertIn(message, result.stderr)
            self.assertEqual(os.listdir(out), [], form)

    def write(self, name, data):
        with open(self.path(name), 'wb') as f:
            f.write(data)
        return self.path(name)

    def test_bad_and_foreign_files(self):
        path, _, _ = self.panorama()
        with open(path, 'rb') as f:
            data = f.read()
        self.assert_refused(self.write('empty.orv', b''))
        self.assert_refused(self.write('gif.orv', b'GIF89a, no TIFF at all'))
        tifffile.imwrite(self.path('plain.tif'), np.zeros((4, 5, 3), dtype=np.uint8))
        self.assert_refused(self.path('plain.tif'))
        self.assert_refused(self.path('missing.orv'))
        for length in (8, len(data) // 3, len(data) - 40):
            self.assert_refused(self.write('cut.orv', data[:length]))
        odd = Picture(12, 3, seed=1)
        odd.set_depths(np.full((3, 12), 1.0), 0.0, 2.0)
        odd.write(self.path('odd.orv'), 'stream', 'panorama 0 0 0 0.0 2.0 1 4')
        self.assert_refused(self.path('odd.orv'), 'is not six square faces')
        camera = Camera(0, 5, 4)
        view = Picture(5, 4, seed=2)
        view.set_depths(camera.depths(), 0.5, 40.0)
        view.write(self.path('view.orv'), 'tessaly', camera.view_line(0.5, 40.0))
        self.assert_refused(self.path('view.orv'), 'is a rendered view, not a panorama',
                            forms=('equirect',))
        result = orvo('export', 'exr', self.path('view.orv'), self.path('v.exr'), '--layout', 'cube')
        self.assertEqual((result.returncode, os.path.exists(self.path('v.exr'))), (1, False))

        # An output that cannot be written fails before any output takes its name.
        os.makedirs(self.path('out/room_ids.png'))
        result = orvo('export', 'equirect', path, self.path('out'))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, 'orvo: %s: is a folder\n' % self.path('out/room_ids.png'))
        self.assertEqual(os.listdir(self.path('out')), ['room_ids.png'])
        # Files that fill up partway, a size limit standing in for a full disk, fail the
        # export and leave no output, whole or partial.
        def size_limit():
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
            resource.setrlimit(resource.RLIMIT_FSIZE, (20000, 20000))
        result = subprocess.run([base.ORVO, 'export', 'equirect', path, self.path('full'),
                                 '--width', '1024'], capture_output=True, text=True,
                                preexec_fn=size_limit, check=False)
        self.assertEqual(result.returncode, 1)
        self.assertRegex(result.stderr, r'^orvo: %s/room_\w+\.(png|tif): cannot write the '
                         r'(PNG|TIFF) file: File too large\n$' % self.path('full'))
        self.assertEqual(os.listdir(self.path('full')), [])
        result = orvo('export', 'exr', path, self.path('nowhere/x.exr'))
        self.assertEqual(result.returncode, 1)
        self.assertEqual(result.stderr, 'orvo: %s: No such file or directory\n'
                         % self.path('nowhere/x.exr'))

    def test_misuse(self):
        for arguments in (('export',), ('export', 'png', 'a.orv', 'b'), ('export', 'exr', 'a.orv'),
                          ('export', 'equirect', 'a.orv', 'o', '--width', '7'),
                          ('export', 'equirect', 'a.orv', 'o', '--width'),
                          ('export', 'exr', 'a.orv', 'b.exr', '--layout', 'sphere'),
                          ('export', 'exr', 'a.orv', 'b.exr', '--width', '8'),
                          ('export', 'equirect', 'a.orv', 'o', '--layout', 'cube')):
            result = orvo(*arguments)
            self.assertEqual((result.returncode, result.stdout), (2, ''), arguments)
            self.assertTrue(result.stderr.startswith('orvo: '), result.stderr)
        result = orvo('export', '--help')
        self.assertEqual((result.returncode, result.stderr), (0, ''))
        self.assertTrue(result.stdout.startswith('Usage: orvo export equirect'))


if __name__ == '__main__':
    base.ORVO, base.FIXTURE, PROBE, EXRHEADER = sys.argv[1:5]
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:], verbosity=2)
