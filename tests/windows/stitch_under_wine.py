#!/usr/bin/env python3
"""Runs the Windows stitch.exe under Wine and the native stitch on the same inputs and checks
that they behave alike: the same exit code, the same message (read from Wine's relay trace of
MessageBoxA on the Windows side, from the stand-in's echo on standard error on the native
side), the same faces deleted or kept, and the same panorama apart from its DateTime text.
The faces are rendered by the native render_host through the plug-in.

Usage: stitch_under_wine.py RENDER_HOST NATIVE_STITCH WINDOWS_STITCH WINE [unittest args]
The environment names the Wine prefix (WINEPREFIX); relay tracing of the two message-box
calls must be switched on in it (HKCU\\Software\\Wine\\Debug RelayInclude).
"""
import hashlib
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest

import tifffile

RENDER_HOST = NATIVE_STITCH = WINDOWS_STITCH = WINE = None

FACES = {'+x': 'face_px.orv', '-x': 'face_nx.orv', '+y': 'face_py.orv',
         '-y': 'face_ny.orv', '+z': 'face_pz.orv', '-z': 'face_nz.orv'}
USAGE = ('Usage: stitch target face1 face2 face3 face4 face5 face6 '
         '[tolerance [use_tag [leave_faces]]]')

# One traced call: MessageBoxA(owner,text "...",caption "...",style). Wine writes the strings
# with C escapes.
RELAY_CALL = re.compile(r'Call user32\.MessageBox([AW])\(([0-9a-f]+),[0-9a-f]+ (L?"(?:[^"\\]|\\.)*"),'
                        r'[0-9a-f]+ (L?"(?:[^"\\]|\\.)*"),([0-9a-f]+)\)')
DATE_TIME = re.compile(rb'\d{4}:\d\d:\d\d \d\d:\d\d:\d\d\0')


def unescape(quoted):
    """The text of a string as Wine's relay trace quotes it. A byte written as \\xNN in a narrow
    string is a character of the ANSI code page, Windows-1252 in Wine's default locale."""
    body = quoted[2:-1] if quoted.startswith('L') else quoted[1:-1]
    simple = {'n': '\n', 'r': '\r', 't': '\t', '\\': '\\', '"': '"', "'": "'"}
    out, i = [], 0
    while i < len(body):
        if body[i] == '\\' and i + 1 < len(body):
            c = body[i + 1]
            if c == 'x':
                out.append(bytes([int(body[i + 2:i + 4], 16)]).decode('cp1252', 'replace'))
                i += 4
            elif c == 'u':
                out.append(chr(int(body[i + 2:i + 6], 16)))
                i += 6
            else:
                out.append(simple.get(c, c))
                i += 2
        else:
            out.append(body[i])
            i += 1
    return ''.join(out)


def relay_message_boxes(trace):
    """(function, caption, text, style) of every message box in a relay trace."""
    return [('MessageBox' + m.group(1), unescape(m.group(4)), unescape(m.group(3)),
             int(m.group(5), 16)) for m in RELAY_CALL.finditer(trace)]


def render(*arguments):
    result = subprocess.run([RENDER_HOST] + [str(a) for a in arguments], capture_output=True,
                            text=True, check=False)
    if result.returncode != 0:
        raise AssertionError('render_host failed: ' + result.stderr)


def folder_state(folder):
    """Every file of a folder with its bytes' digest; DateTime texts are blanked first."""
    state = {}
    for name in sorted(os.listdir(folder)):
        with open(os.path.join(folder, name), 'rb') as f:
            data = DATE_TIME.sub(b'0000:00:00 00:00:00\0', f.read())
        state[name] = hashlib.sha256(data).hexdigest()
    return state


class Outcome:
    def __init__(self, code, boxes, files):
        self.code, self.boxes, self.files = code, boxes, files

    def __repr__(self):
        return 'exit %d, boxes %r, files %r' % (self.code, self.boxes, sorted(self.files))


class StitchUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='stitch_wine_')
        cls.inputs = os.path.join(cls.work, 'inputs')
        os.mkdir(cls.inputs)
        for folder, extra in [('cube', []), ('moved', ['--faces', '+x', '--eye', '0.4,-0.6,1.5']),
                              ('narrow', ['--faces', '+x', '--fov', 90]),
                              ('small', ['--faces', '+x', '--size', 12])]:
            render('faces', '--size', 16, '--out', os.path.join(cls.work, folder), *extra)
        for label, name in FACES.items():
            shutil.copy(os.path.join(cls.work, 'cube', name), cls.inputs)
        for folder in ('moved', 'narrow', 'small'):
            shutil.copy(os.path.join(cls.work, folder, 'face_px.orv'),
                        os.path.join(cls.inputs, folder + '_px.orv'))
        render('sequence', '--frames', 1, '--size', 16, '--out', cls.inputs)
        with open(os.path.join(cls.inputs, 'notes.orv'), 'w') as f:
            f.write('not a TIFF file\n')
        # A face whose scene unit is not the others': the view record's unit code patched.
        with open(os.path.join(cls.inputs, 'face_px.orv'), 'rb') as f:
            data = bytearray(f.read())
        depth_header = tifffile.TiffFile(os.path.join(cls.inputs, 'face_px.orv')).pages[1] \
            .tags[34953].value
        unit_at = depth_header + 8 + 4 + 4 + 24 * 8
        struct.pack_into('<I', data, unit_at, struct.unpack_from('<I', data, unit_at)[0] + 1)
        with open(os.path.join(cls.inputs, 'inches_px.orv'), 'wb') as f:
            f.write(data)
        # A finished panorama offered as a face: not a perspective view.
        faces = [FACES[k] for k in ('+x', '-x', '+y', '-y', '+z', '-z')]
        cls.run_native(cls.inputs, ['panorama_in.orv'] + faces + ['1e-7', '0', '1'])

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    @staticmethod
    def run_native(folder, arguments):
        return subprocess.run([NATIVE_STITCH] + arguments, cwd=folder, capture_output=True,
                              text=True, check=False)

    def outcome(self, program, arguments, files):
        """Runs one build of stitch in a folder of its own holding copies of the inputs."""
        folder = tempfile.mkdtemp(prefix=program + '_', dir=self.work)
        for name in files:
            shutil.copy(os.path.join(self.inputs, name), folder)
        if program == 'native':
            result = self.run_native(folder, arguments)
            boxes = []
            if result.stderr:
                caption, _, text = result.stderr.partition(': ')
                self.assertTrue(text.endswith('\n'), result.stderr)
                boxes = [('MessageBoxA', caption, text[:-1], 0x40)]
        else:
            environment = dict(os.environ, WINEDEBUG='+relay')
            result = subprocess.run([WINE, WINDOWS_STITCH] + arguments, cwd=folder,
                                    stdin=subprocess.DEVNULL, capture_output=True,
                                    env=environment, check=False, timeout=120)
            boxes = relay_message_boxes(result.stderr.decode('utf-8', 'replace'))
        return Outcome(result.returncode, boxes, folder_state(folder))

    def check_alike(self, arguments, files, code, message=None):
        native = self.outcome('native', arguments, files)
        windows = self.outcome('windows', arguments, files)
        expected_boxes = [] if message is None else [('MessageBoxA', 'Error', message, 0x40)]
        self.assertEqual((native.code, native.boxes), (code, expected_boxes), native)
        self.assertEqual((windows.code, windows.boxes), (code, expected_boxes), windows)
        self.assertEqual(windows.files, native.files)
        return native, windows

    def test_faces_in_any_order_make_the_same_panorama(self):
        shuffled = [FACES[k] for k in ('-z', '+x', '+z', '-y', '+y', '-x')]
        native, _ = self.check_alike(['pano.orv'] + shuffled, shuffled, 0)
        self.assertEqual(sorted(native.files), ['pano.orv'])
        native, _ = self.check_alike(['pano.orv'] + shuffled + ['1e-7', '0', '1'], shuffled, 0)
        self.assertEqual(sorted(native.files), sorted(shuffled + ['pano.orv']))
        # A target that is one of the faces holds the panorama afterwards; one that exists is
        # replaced.
        native, _ = self.check_alike([FACES['+y']] + shuffled, shuffled, 0)
        self.assertEqual(sorted(native.files), [FACES['+y']])
        native, _ = self.check_alike(['notes.orv'] + shuffled, shuffled + ['notes.orv'], 0)
        self.assertEqual(sorted(native.files), ['notes.orv'])
        # Names beyond ASCII pass through the ANSI code page both ways.
        native, _ = self.check_alike(['fa\u00e7ade.orv'] + shuffled, shuffled, 0)
        self.assertEqual(sorted(native.files), ['fa\u00e7ade.orv'])

    def test_every_check_shows_its_message_and_keeps_the_faces(self):
        face = dict(FACES)
        six = [face[k] for k in ('+x', '-x', '+y', '-y', '+z', '-z')]
        others = six[1:]
        cases = [
            (['a', 'b'], [], 2, 'Wrong number of arguments.\n\n' + USAGE),
            (['pano.orv', 'gone.orv'] + others, others, 1, 'gone.orv - Read failed'),
            (['pano.orv', '\u00e9t\u00e9.orv'] + others, others, 1,
             '\u00e9t\u00e9.orv - Read failed'),
            (['pano.orv', 'notes.orv'] + others, others + ['notes.orv'], 1,
             'notes.orv - Read failed'),
            (['pano.orv', 'panorama_in.orv'] + others, others + ['panorama_in.orv'], 1,
             'panorama_in.orv - Wrong projection type'),
            (['pano.orv', 'walk0000.orv'] + others, others + ['walk0000.orv'], 1,
             'walk0000.orv - Non-standard view direction'),
            (['pano.orv', face['-x'], face['-x']] + six[2:], six[1:], 1,
             face['-x'] + ' and ' + face['-x'] + ' - Contain the same face'),
            (['pano.orv', 'narrow_px.orv'] + others, others + ['narrow_px.orv'], 1,
             'narrow_px.orv - Pixels are not square or area is too small'),
            (['pano.orv'] + others + ['small_px.orv'], others + ['small_px.orv'], 1,
             face['-x'] + ' and small_px.orv - Resolutions do not match'),
            (['pano.orv'] + others + ['moved_px.orv'], others + ['moved_px.orv'], 1,
             face['-x'] + ' and moved_px.orv - Eye points do not match'),
            (['pano.orv'] + others + ['inches_px.orv'], others + ['inches_px.orv'], 1,
             face['-x'] + ' and inches_px.orv - Units do not match'),
            (['missing/pano.orv'] + six, six, 1, 'No such file or directory'),
        ]
        for arguments, files, code, message in cases:
            with self.subTest(message=message):
                self.check_alike(arguments, files, code, message)

    def test_relay_trace_is_read_exactly(self):
        trace = ('0024:Call user32.MessageBoxA(00000000,0021fa10 "a \\"b\\"\\nc\\\\d\\xe9",'
                 '1400872fe "Error",00000040) ret=140001cb2\n')
        self.assertEqual(relay_message_boxes(trace),
                         [('MessageBoxA', 'Error', 'a "b"\nc\\d\u00e9', 0x40)])


if __name__ == '__main__':
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    RENDER_HOST, NATIVE_STITCH, WINDOWS_STITCH, WINE = sys.argv[1:5]
    unittest.main(argv=[sys.argv[0]] + sys.argv[5:])
