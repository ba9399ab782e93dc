#!/usr/bin/env python3
"""What a new user tries first, on files made by the real programs: the demo room's cube faces
written by the plug-in through render_host (revision 1.3) and their panorama written by stitch
(revision 1.0).

- OtherReaders: the TIFF readers people already have open every page of both files and read
  the pixels that tifffile reads: ImageMagick (identify, convert), Pillow, libvips, tiffinfo.
- Versions: stitch, orvo and render_host answer --version with the project's version.
- Refusals: render_host faces refuses faces stitch cannot join and a face named twice before
  it renders anything; scripts/demo.sh refuses a face size that is none before it touches
  out/.

Usage: first_use.py RENDER_HOST STITCH ORVO VERSION [unittest arguments, e.g. a class]
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

import numpy as np
import tifffile
from PIL import Image

RENDER_HOST = STITCH = ORVO = VERSION = None
SOURCE_DIR = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Debian's ImageMagick; another convert may come first on PATH.
IDENTIFY, CONVERT = '/usr/bin/identify', '/usr/bin/convert'
FACES = ['face_py.orv', 'face_px.orv', 'face_ny.orv', 'face_nx.orv', 'face_pz.orv', 'face_nz.orv']


def run(*arguments, **options):
    return subprocess.run([str(a) for a in arguments], capture_output=True, text=True,
                          check=False, **options)


class OtherReaders(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='first_use_')
        faces = os.path.join(cls.work, 'faces')
        result = run(RENDER_HOST, 'faces', '--size', 20, '--out', faces)
        assert result.returncode == 0, result.stderr
        cls.panorama = os.path.join(cls.work, 'panorama.orv')
        result = run(STITCH, cls.panorama, *[os.path.join(faces, f) for f in FACES], '1e-7', '0',
                     '1')
        assert result.returncode == 0, result.stderr
        # The +Y face has the window onto nothing.
        cls.files = {'1.0': cls.panorama, '1.3': os.path.join(faces, 'face_py.orv')}

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def pages(self, path):
        """The three pages as tifffile reads them: colour, depth codes, object ids."""
        with tifffile.TiffFile(path) as tif:
            pages = [page.asarray() for page in tif.pages]
        self.assertEqual([p.dtype for p in pages], [np.uint8, np.uint32, np.uint16])
        return pages

    def test_every_reader_opens_every_page(self):
        for revision, path in self.files.items():
            with self.subTest(revision=revision):
                colour, depth, ids = self.pages(path)
                height, width = ids.shape
                # The depth layer holds both hits and pixels that see nothing.
                self.assertTrue((depth == 0xFFFFFFFF).any() and (depth != 0xFFFFFFFF).any())

                result = run('tiffinfo', path)
                self.assertEqual(result.returncode, 0, result.stderr)
                self.assertEqual(result.stdout.count('TIFF Directory at offset'), 3)
                self.assertEqual(result.stdout.count('Photometric Interpretation: min-is-black'),
                                 2)

                result = run(IDENTIFY, path)
                self.assertEqual(result.returncode, 0, result.stderr)
                size = '%dx%d' % (width, height)
                self.assertEqual([line.split()[:6] for line in result.stdout.splitlines()],
                                 [['%s[%d]' % (path, n), 'TIFF', size, size + '+0+0', bits, space]
                                  for n, bits, space in ((0, '8-bit', 'sRGB'),
                                                         (1, '32-bit', 'Grayscale'),
                                                         (2, '16-bit', 'Grayscale'))])
                for n, want in enumerate((colour, depth, ids)):
                    png = os.path.join(self.work, 'page%d.png' % n)
                    result = run(CONVERT, '%s[%d]' % (path, n), png)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    with Image.open(png) as picture:
                        # A colour page of few colours may come as a palette PNG.
                        got = np.array(picture.convert('RGB') if n == 0 else picture)
                    got = got.astype(np.int64)
                    if n == 1:
                        # A 16-bit PNG of 32-bit codes: the codes scaled by 65535 / 2^32 - 1.
                        self.assertLessEqual(abs(got - want / 65537.0).max(), 1.0)
                    else:
                        np.testing.assert_array_equal(got, want)

                with Image.open(path) as image:
                    self.assertEqual(image.n_frames, 3)
                    for n, want in enumerate((colour, depth, ids)):
                        image.seek(n)
                        got = np.array(image)
                        self.assertEqual(got.shape, want.shape)
                        # Pillow holds 32-bit samples as signed integers.
                        np.testing.assert_array_equal(got.astype(want.dtype), want)

                for n, want in enumerate((colour, depth, ids)):
                    raw = os.path.join(self.work, 'page%d.raw' % n)
                    result = run('vips', 'rawsave', '%s[page=%d]' % (path, n), raw)
                    self.assertEqual(result.returncode, 0, result.stderr)
                    with open(raw, 'rb') as f:
                        self.assertEqual(f.read(), want.astype(want.dtype.newbyteorder('<'))
                                         .tobytes(), 'page %d' % n)


class Versions(unittest.TestCase):
    def test_each_program_answers_with_the_projects_version(self):
        for program in (STITCH, ORVO, RENDER_HOST):
            result = run(program, '--version')
            name = os.path.basename(program)
            self.assertEqual((result.returncode, result.stdout, result.stderr),
                             (0, '%s %s\n' % (name, VERSION), ''))
        # With no standard output to print to, stitch shows its message box instead (here its
        # stand-in writes the box to standard error).
        result = subprocess.run([STITCH, '--version'], stdout=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, text=True, check=False,
                                preexec_fn=lambda: os.close(1))
        self.assertEqual((result.returncode, result.stderr), (0, 'stitch: stitch %s\n' % VERSION))


class Refusals(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='first_use_')
        self.addCleanup(shutil.rmtree, self.work)

    def test_render_host_refuses_faces_stitch_cannot_join_before_rendering(self):
        out = os.path.join(self.work, 'out')
        for arguments, message in (
                (['--size', 2731], 'cube faces of 2731 pixels make a panorama 16386 pixels '
                                   'wide, and stitch joins at most 16383 (faces of at most '
                                   '2730 pixels)'),
                (['--size', 2731, '--margin', 10], 'cube faces of 2731 pixels'),
                (['--size', 8, '--faces', '+x,-y,+x'], '--faces names +x twice')):
            result = run(RENDER_HOST, 'faces', '--out', out, *arguments)
            self.assertEqual((result.returncode, result.stdout), (2, ''), arguments)
            self.assertIn(message, result.stderr)
            self.assertFalse(os.path.exists(out))
        # Faces that stitch crops to a smaller cube face pass, and so does anything asked for
        # as faces only; a missing plug-in stops them before the long render.
        missing = os.path.join(self.work, 'no_plugin.bmi')
        for arguments in (['--size', 2800, '--fov', 100], ['--size', 2731, '--faces-only']):
            result = run(RENDER_HOST, 'faces', '--plugin', missing, '--out', out, *arguments)
            self.assertEqual(result.returncode, 1, arguments)
            self.assertIn('cannot load the plug-in', result.stderr)
        result = run(RENDER_HOST, 'faces', '--size', 4, '--faces', '+z', '--faces-only', '--out',
                     out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(os.listdir(out), ['face_pz.orv'])

    def test_demo_refuses_a_size_that_is_none_before_touching_out(self):
        # A copy of the script in a tree of its own, whose setup step only leaves a mark.
        scripts = os.path.join(self.work, 'scripts')
        os.makedirs(os.path.join(self.work, 'out', 'faces'))
        os.mkdir(scripts)
        shutil.copy(os.path.join(SOURCE_DIR, 'scripts', 'demo.sh'), scripts)
        with open(os.path.join(scripts, 'setup.sh'), 'w') as f:
            f.write('#!/bin/sh\ntouch "$(dirname "$0")/../set_up"\nexit 1\n')
        os.chmod(os.path.join(scripts, 'setup.sh'), 0o755)
        demo = os.path.join(scripts, 'demo.sh')
        result = run('bash', demo, '--help')
        self.assertEqual((result.returncode, result.stderr), (0, ''))
        self.assertTrue(result.stdout.startswith('Usage: scripts/demo.sh [FACE_SIZE]\n'))
        for arguments in (['big'], ['0'], ['1'], ['2731'], ['-3'], ['64', 'x'], ['']):
            result = run('bash', demo, *arguments)
            self.assertEqual((result.returncode, result.stdout), (2, ''), arguments)
            self.assertIn('Usage: scripts/demo.sh', result.stderr)
        self.assertEqual(sorted(os.listdir(self.work)), ['out', 'scripts'])
        self.assertEqual(os.listdir(os.path.join(self.work, 'out')), ['faces'])
        # A face size it takes goes on to the setup step.
        result = run('bash', demo, '64')
        self.assertEqual(result.returncode, 1)
        self.assertTrue(os.path.exists(os.path.join(self.work, 'set_up')))


if __name__ == '__main__':
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    RENDER_HOST, STITCH, ORVO, VERSION = sys.argv[1:5]
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:], verbosity=2)
