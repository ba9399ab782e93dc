#!/usr/bin/env python3
"""End-to-end tests of the whole pipeline on real files: render_host renders cube faces and
animations of its demo room and writes them through the saveorvo module it loads at run time;
stitch joins the faces. The files are read with tifffile and the Orvo blocks are unpacked here
from the format's rules; what each pixel should show comes from the ray caster's exact
geometry, asked of `render_host probe`.

Usage: end_to_end.py RENDER_HOST STITCH [unittest arguments, e.g. a test class]
"""
import hashlib
import os
import random
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import tifffile

RENDER_HOST = None
STITCH = None

NO_DEPTH = 0xFFFFFFFF
KIND_PERSPECTIVE = 1
KIND_OBJECT_ID = 2
KIND_PANORAMA = 8
UNIT_METRE = 4

# The panorama's slots, left to right: the face's view direction, right axis and up axis. The
# side faces stand upright; the faces looking up and down keep +X as their right axis.
SLOTS = [
    ((0, 1, 0), (1, 0, 0), (0, 0, 1)),
    ((1, 0, 0), (0, -1, 0), (0, 0, 1)),
    ((0, -1, 0), (-1, 0, 0), (0, 0, 1)),
    ((-1, 0, 0), (0, 1, 0), (0, 0, 1)),
    ((0, 0, 1), (1, 0, 0), (0, -1, 0)),
    ((0, 0, -1), (1, 0, 0), (0, 1, 0)),
]
FACE_FILES = {'+x': 'face_px.orv', '-x': 'face_nx.orv', '+y': 'face_py.orv',
              '-y': 'face_ny.orv', '+z': 'face_pz.orv', '-z': 'face_nz.orv'}


def run(*arguments, input_text=None):
    return subprocess.run([str(a) for a in arguments], input=input_text, capture_output=True,
                          text=True, check=False)


def render(*arguments):
    result = run(RENDER_HOST, *arguments)
    if result.returncode != 0:
        raise AssertionError('render_host %s failed: %s' % (' '.join(map(str, arguments)),
                                                            result.stderr))


class OrvoFile:
    """The layers, view record and object table of an Orvo file of either revision."""

    def __init__(self, path):
        with open(path, 'rb') as f:
            data = f.read()
        self.layers = {}
        with tifffile.TiffFile(path) as tif:
            for page in tif.pages:
                header = page.tags[34953].value
                kind, major = struct.unpack_from('<IH', data, header)
                assert major == 1, major
                self.layers[kind] = page.asarray()
                body = header + 8
                if kind == KIND_PERSPECTIVE:
                    values = struct.unpack_from('<II24dI', data, body)
                    d = values[2:26]
                    self.projection, self.unit_code = values[1], values[26]
                    self.eye, self.right, self.up, self.view = d[0:3], d[3:6], d[6:9], d[9:12]
                    self.corner_top_left, self.corner_bottom_right = d[15:18], d[18:21]
                    self.near, self.far, self.unit_scale = d[21:24]
                elif kind == KIND_PANORAMA:
                    values = struct.unpack_from('<II16dI', data, body)
                    d = values[2:18]
                    self.projection, self.unit_code = values[1], values[18]
                    self.eye = d[0:3]
                    self.near, self.far, self.unit_scale = d[13:16]
                elif kind == KIND_OBJECT_ID:
                    self.objects = self._object_records(data, body)

    @staticmethod
    def _object_records(data, body):
        """(id, name, (red, green, blue)) in the order written: the list runs newest first."""
        count, offset = struct.unpack_from('<II', data, body)
        records = []
        while offset != 0 and len(records) < count:
            previous, object_id, red, green, blue = struct.unpack_from('<IHBBB', data, offset)
            name_start = offset + 9
            name = data[name_start:data.index(b'\0', name_start)].decode('utf-8')
            records.append((object_id, name, (red, green, blue)))
            offset = previous
        return records[::-1]

    def colour(self):
        return self.layers[0]

    def depth(self):
        return self.layers[KIND_PERSPECTIVE if KIND_PERSPECTIVE in self.layers else KIND_PANORAMA]

    def ids(self):
        return self.layers[KIND_OBJECT_ID]

    def names(self):
        return {object_id: name for object_id, name, _ in self.objects}


def probe(eye, directions, extra=()):
    """What the ray caster finds along each direction from the eye: (t, name) or None."""
    lines = ''.join('%.17g %.17g %.17g %.17g %.17g %.17g\n' % (tuple(eye) + tuple(map(float, d)))
                    for d in directions)
    result = run(RENDER_HOST, 'probe', *extra, input_text=lines)
    if result.returncode != 0:
        raise AssertionError('render_host probe failed: ' + result.stderr)
    answers = []
    for line in result.stdout.splitlines():
        if line == 'none':
            answers.append(None)
        else:
            t, name = line.split('\t', 1)
            answers.append((float(t), name))
    assert len(answers) == len(directions)
    return answers


def stable_answers(eye, rays, spread, extra=()):
    """Per ray (centre, image-plane x step, image-plane y step): the probe's answer when the
    ray and four rays moved by `spread` steps either way agree on the object, else 'edge'.
    Pixels on an outline are left out: there the renderer's ray and ours may part ways."""
    directions = []
    for centre, step_x, step_y in rays:
        directions += [centre, centre + spread * step_x, centre - spread * step_x,
                       centre + spread * step_y, centre - spread * step_y]
    answers = probe(eye, directions, extra)
    stable = []
    for i in range(len(rays)):
        group = answers[5 * i:5 * i + 5]
        names = {None if a is None else a[1] for a in group}
        stable.append(group[0] if len(names) == 1 else 'edge')
    return stable


def depth_tolerance(t, common_range):
    """How far a decoded panorama depth may lie from the exact depth t.

    The plug-in: Z is stored as a float (2^-24 t); the plug-in subtracts the near depth (2^-24
    t), works out its scale 2^32 / (far - near) with two float roundings (2^-23 t), multiplies
    (2^-24 t) and truncates (one code of the face's range, which lies within the common range).
    The stitcher: re-codes in double and truncates (one code of the common range) and counts
    the common range as 2^32 - 2 codes when shifting a face's codes, which moves a depth by up
    to two more codes. Together 5 * 2^-24 * t + 4 codes of the common range."""
    return 5 * 2.0 ** -24 * t + 4 * common_range / 2.0 ** 32


class Work(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='orvo_end_to_end_')
        self.addCleanup(shutil.rmtree, self.work)

    def path(self, *parts):
        return os.path.join(self.work, *parts)


class CubePanorama(Work):
    N = 40
    EYE = (0.3, -0.5, 1.45)

    def test_faces_in_any_order_become_the_scene_around_the_eye(self):
        n = self.N
        rng = random.Random(8)
        labels = list(FACE_FILES)
        rng.shuffle(labels)
        # Two faces rendered wider than the cube face, for stitch to crop.
        margins = {labels[1]: 3, labels[4]: 1}
        eye_text = '%r,%r,%r' % self.EYE
        for label in labels:
            render('faces', '--faces', label, '--size', n, '--margin', margins.get(label, 0),
                   '--eye', eye_text, '--out', self.path('faces'))
        faces = [self.path('faces', FACE_FILES[label]) for label in labels]
        rng.shuffle(faces)
        target = self.path('panorama.orv')
        result = run(STITCH, target, *faces)
        self.assertEqual((result.returncode, result.stderr), (0, ''))
        self.assertEqual([f for f in faces if os.path.exists(f)], [])

        panorama = OrvoFile(target)
        colour, depth, ids = panorama.colour(), panorama.depth(), panorama.ids()
        self.assertEqual(depth.shape, (n, 6 * n))
        self.assertEqual(panorama.projection, 3)
        self.assertEqual(panorama.eye, tuple(float(np.float32(c)) for c in self.EYE))
        self.assertEqual((panorama.unit_code, panorama.unit_scale), (UNIT_METRE, 1.0))

        # One record per object, numbered 1 to n in the order written, merged across faces.
        record_ids = [object_id for object_id, _, _ in panorama.objects]
        self.assertEqual(record_ids, list(range(1, len(record_ids) + 1)))
        names = panorama.names()
        self.assertEqual(len(set(names.values())), len(names))

        # The panorama pixel in column j, row r of slot s looks along that face's direction
        # through (u, v) = (-1 + 2j / (N - 1), 1 - 2r / (N - 1)) on the cube face.
        step = 2.0 / (n - 1)
        rays, places = [], []
        for slot, (forward, right, up) in enumerate(SLOTS):
            forward, right, up = np.array(forward), np.array(right), np.array(up)
            for r in range(n):
                for j in range(n):
                    u, v = -1 + j * step, 1 - r * step
                    rays.append((forward + u * right + v * up, step * right, -step * up))
                    places.append((r, slot * n + j))
        answers = stable_answers(self.EYE, rays, 1e-4)

        common_range = panorama.far - panorama.near
        checked = misses = 0
        worst = 0.0
        seen = set()
        for (row, column), answer in zip(places, answers):
            where = 'pixel (%d, %d)' % (column, row)
            if answer == 'edge':
                continue
            checked += 1
            if answer is None:
                misses += 1
                self.assertEqual(depth[row, column], NO_DEPTH, where)
                self.assertEqual(ids[row, column], 0, where)
                self.assertEqual(list(colour[row, column]), [0, 0, 0], where)
                continue
            t, name = answer
            code = int(depth[row, column])
            self.assertNotEqual(code, NO_DEPTH, where)
            decoded = panorama.near + code * common_range / 2.0 ** 32
            tolerance = depth_tolerance(t, common_range)
            self.assertLessEqual(abs(decoded - t), tolerance, '%s: %r against %r' %
                                 (where, decoded, t))
            worst = max(worst, abs(decoded - t) / tolerance)
            self.assertEqual(names.get(int(ids[row, column])), name, where)
            seen.add(name)
        # Nearly every pixel is checked, the window shows the void, and the objects of the
        # table are the objects seen.
        self.assertGreater(checked, 0.97 * len(places))
        self.assertGreater(misses, 0)
        self.assertEqual(seen, set(names.values()))
        print('\n%d of %d pixels checked, %d through the window; largest depth error %.2f of '
              'the tolerance' % (checked, len(places), misses, worst), file=sys.stderr)


class Sequence(Work):
    FRAMES = 5

    def test_objects_keep_their_ids_from_frame_to_frame(self):
        frames = self.FRAMES
        render('sequence', '--frames', frames, '--size', 48, '--names', 'node',
               '--out', self.path('walk'))
        earlier = []
        for k in range(frames):
            frame = OrvoFile(self.path('walk', 'walk%04d.orv' % k))
            # Every object keeps the id, name and colour of the frame that first saw it; new
            # objects continue the count.
            self.assertEqual(frame.objects[:len(earlier)], earlier, 'frame %d' % k)
            self.assertEqual([o[0] for o in frame.objects],
                             list(range(1, len(frame.objects) + 1)))
            names = frame.names()
            self.assertEqual(len(set(names.values())), len(names))
            earlier = frame.objects
            self.check_pixels_name_their_nodes(frame, k, names)
        self.assertGreater(len(earlier), len(OrvoFile(self.path('walk', 'walk0000.orv')).objects))

    def check_pixels_name_their_nodes(self, frame, k, names):
        ids = frame.ids()
        height, width = ids.shape
        # Image-plane positions of the corner pixels' centres, at distance 1.
        left = frame.corner_top_left[0] / frame.corner_top_left[2]
        top = frame.corner_top_left[1] / frame.corner_top_left[2]
        right = frame.corner_bottom_right[0] / frame.corner_bottom_right[2]
        bottom = frame.corner_bottom_right[1] / frame.corner_bottom_right[2]
        view, across, up = np.array(frame.view), np.array(frame.right), np.array(frame.up)
        step_x = (right - left) / (width - 1) * across
        step_y = (bottom - top) / (height - 1) * up
        rays = [(view + (left * across + top * up) + x * step_x + y * step_y, step_x, step_y)
                for y in range(height) for x in range(width)]
        answers = stable_answers(frame.eye, rays, 1e-2,
                                 ('--frame', str(k), '--frames', str(self.FRAMES), '--names',
                                  'node'))
        checked = 0
        for i, answer in enumerate(answers):
            if answer == 'edge':
                continue
            checked += 1
            expected = None if answer is None else answer[1]
            self.assertEqual(names.get(int(ids.flat[i])), expected,
                             'frame %d, pixel %d' % (k, i))
        self.assertGreater(checked, 0.9 * len(rays))


def file_digests(paths):
    digests = {}
    for path in paths:
        with open(path, 'rb') as f:
            digests[path] = hashlib.sha256(f.read()).hexdigest()
    return digests


class FailedStitch(Work):
    def test_a_failed_check_leaves_every_face_in_place(self):
        render('faces', '--size', 16, '--out', self.path('cube'))
        render('faces', '--size', 16, '--faces', '+x', '--eye', '0.4,-0.6,1.5',
               '--out', self.path('moved'))
        # Exactly 90 degrees from edge to edge puts the corner pixels' centres inside the cube
        # face: too little of the face for stitch.
        render('faces', '--size', 16, '--faces', '+x', '--fov', 90, '--out', self.path('narrow'))
        face = {label: self.path('cube', name) for label, name in FACE_FILES.items()}
        moved = self.path('moved', 'face_px.orv')
        narrow = self.path('narrow', 'face_px.orv')
        missing = face['-z']
        os.rename(missing, self.path('spare.orv'))
        cases = [
            ([face['+x'], face['-x'], missing, face['+y'], face['-y'], face['+z']],
             missing + ' - Read failed'),
            ([face['-x'], face['+y'], moved, face['-y'], face['+z'], self.path('spare.orv')],
             face['-x'] + ' and ' + moved + ' - Eye points do not match'),
            ([face['-x'], narrow, face['+y'], face['-y'], face['+z'], self.path('spare.orv')],
             narrow + ' - Pixels are not square or area is too small'),
        ]
        for faces, message in cases:
            present = [f for f in faces if os.path.exists(f)]
            before = file_digests(present)
            target = self.path('panorama.orv')
            result = run(STITCH, target, *faces, '1e-7', '0', '0')
            self.assertEqual((result.returncode, result.stderr), (1, 'Error: ' + message + '\n'))
            self.assertEqual(file_digests(present), before)
            self.assertFalse(os.path.exists(target))


if __name__ == '__main__':
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    RENDER_HOST, STITCH = sys.argv[1], sys.argv[2]
    unittest.main(argv=[sys.argv[0]] + sys.argv[3:])
