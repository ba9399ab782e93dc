#!/usr/bin/env python3
"""Runs the Windows programs under Wine and the native ones on the same inputs, and checks that
they behave alike.

- The Windows render host loads the Windows saveorvo.bmi and renders the demo scene's faces and
  an animation through it: the files must be the native plug-in's, byte for byte, apart from
  their DateTime texts.
- orvo.exe and the native orvo, given the same files and commands, must print the same text
  (line ends aside), exit alike and write the same PNG files, byte for byte.
- On a virtual display (Xvfb), in a Wine desktop of its own, the Windows render host shows the
  plug-in's configuration dialog and About box from saveorvo.bmi's resources, and stitch.exe
  its failure message box: dialog_probe checks that every control lies inside its window and
  that every text fits its control, the buttons are pressed with real input (xdotool), and the
  results must be the native render host's with the same presses scripted. Screenshots go to
  $ORVO_SCREENSHOTS when it names a folder.
- stitch.exe and the native stitch, given the same faces and arguments, must give the same exit
  code, the same message (read from Wine's relay trace of MessageBoxA on the Windows side, from
  the stand-in's echo on standard error on the native side), the same faces deleted or kept,
  and the same panorama apart from its DateTime text.

Usage: programs_under_wine.py NATIVE_BUILD_DIR WINDOWS_BIN_DIR WINE [unittest arguments]
The environment names the Wine prefix (WINEPREFIX); relay tracing of the two message-box
calls must be switched on in it (HKCU\\Software\\Wine\\Debug RelayInclude).
"""
import contextlib
import ctypes
import hashlib
import os
import re
import shutil
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

import tifffile

RENDER_HOST = NATIVE_STITCH = WINDOWS_RENDER_HOST = WINDOWS_STITCH = WINE = None
NATIVE_ORVO = WINDOWS_ORVO = DIALOG_PROBE = None

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


def end_with_parent():
    """In a child before it runs its program: the kernel kills the child when this script
    ends (PR_SET_PDEATHSIG)."""
    ctypes.CDLL(None, use_errno=True).prctl(1, signal.SIGKILL)


def render(*arguments):
    result = subprocess.run([RENDER_HOST] + [str(a) for a in arguments], capture_output=True,
                            text=True, check=False)
    if result.returncode != 0:
        raise AssertionError('render_host failed: ' + result.stderr)


def run_under_wine(program, arguments, folder, trace=False):
    environment = dict(os.environ, WINEDEBUG='+relay' if trace else '-all')
    return subprocess.run([WINE, program] + [str(a) for a in arguments], cwd=folder,
                          stdin=subprocess.DEVNULL, capture_output=True, env=environment,
                          check=False, timeout=300)


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


class Binaries(unittest.TestCase):
    """What Windows needs to start the two deliverables, read from their PE headers."""
    SYSTEM_DLLS = {'kernel32.dll', 'user32.dll', 'msvcrt.dll'}

    def headers(self, name):
        objdump = shutil.which('x86_64-w64-mingw32-objdump')
        self.assertIsNotNone(objdump, 'mingw-w64 binutils missing')
        text = subprocess.run([objdump, '-p', os.path.join(os.path.dirname(WINDOWS_STITCH),
                                                           name)],
                              capture_output=True, text=True, check=True).stdout
        subsystem = re.search(r'^Subsystem\s+\S+\s+\((.*)\)', text, re.M).group(1)
        dlls = {m.lower() for m in re.findall(r'DLL Name: (\S+)', text)}
        return subsystem, dlls

    def test_stitch_is_a_gui_program_that_needs_only_system_dlls(self):
        subsystem, dlls = self.headers('stitch.exe')
        self.assertEqual(subsystem, 'Windows GUI')
        self.assertLessEqual(dlls, self.SYSTEM_DLLS)

    def test_plugin_needs_only_system_dlls_and_the_hosts(self):
        _, dlls = self.headers('saveorvo.bmi')
        self.assertLessEqual(dlls, self.SYSTEM_DLLS | {'libmaxsdk.dll'})


class PluginUnderWine(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix='plugin_wine_')

    def tearDown(self):
        shutil.rmtree(self.work)

    def render_both(self, *arguments):
        """Renders with both hosts into folders of their own; returns the two folders."""
        native = os.path.join(self.work, 'native')
        windows = os.path.join(self.work, 'windows')
        render(*arguments, '--out', native)
        result = run_under_wine(WINDOWS_RENDER_HOST, list(arguments) + ['--out', 'windows'],
                                self.work)
        self.assertEqual(result.returncode, 0, result.stderr.decode('utf-8', 'replace'))
        return native, windows

    def test_faces_and_frames_are_the_native_plugins_files(self):
        for arguments in [('faces', '--size', 24, '--margin', 2),
                          ('sequence', '--size', 20, '--frames', 3, '--names', 'node'),
                          ('sequence', '--size', 20, '--frames', 2)]:
            with self.subTest(arguments=arguments):
                native, windows = self.render_both(*arguments)
                self.assertTrue(os.listdir(native))
                self.assertEqual(folder_state(windows), folder_state(native))
                shutil.rmtree(native)
                shutil.rmtree(windows)

    def test_a_failed_write_is_reported_to_the_host_alike(self):
        # A folder where the face file should go: the plug-in cannot create the file.
        os.makedirs(os.path.join(self.work, 'native', 'face_px.orv'))
        os.makedirs(os.path.join(self.work, 'windows', 'face_px.orv'))
        native = subprocess.run([RENDER_HOST, 'faces', '--size', '8', '--faces', '+x',
                                 '--out', 'native'], cwd=self.work, capture_output=True,
                                text=True, check=False)
        windows = run_under_wine(WINDOWS_RENDER_HOST,
                                 ['faces', '--size', 8, '--faces', '+x', '--out', 'windows'],
                                 self.work)
        message = 'Error: the plug-in could not write %s: Error writing Orvo file\n'
        self.assertEqual((native.returncode, native.stderr),
                         (1, message % os.path.join('native', 'face_px.orv')))
        # Windows programs end their text lines with CR LF.
        windows_text = windows.stderr.decode('utf-8', 'replace').replace('\r\n', '\n')
        self.assertEqual((windows.returncode, windows_text),
                         (1, message % 'windows\\face_px.orv'))


class OrvoUnderWine(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='orvo_wine_')
        cls.inputs = os.path.join(cls.work, 'inputs')
        render('faces', '--size', 12, '--out', cls.inputs)
        faces = sorted(FACES.values())
        # A name beyond ASCII and beyond the Windows-1252 code page too.
        subprocess.run([NATIVE_STITCH, '\u03c0\u03b1\u03bd\u03cc.orv'] + faces + ['1e-7', '0', '1'],
                       cwd=cls.inputs, check=True)
        render('sequence', '--size', 10, '--frames', 1, '--names', 'node', '--out', cls.inputs)
        with open(os.path.join(cls.inputs, 'notes.orv'), 'w') as f:
            f.write('not a TIFF file\n')

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def outcome(self, build, arguments, given=b''):
        """Exit code, output, error text and written files of one build of orvo, run in a
        copy of the inputs."""
        folder = os.path.join(self.work, build)
        shutil.rmtree(folder, ignore_errors=True)
        shutil.copytree(self.inputs, folder)
        before = set(folder_state(folder))
        if build == 'native':
            result = subprocess.run([NATIVE_ORVO] + arguments, cwd=folder, input=given,
                                    capture_output=True, check=False, timeout=300)
        else:
            result = subprocess.run([WINE, WINDOWS_ORVO] + arguments, cwd=folder, input=given,
                                    capture_output=True, check=False, timeout=300,
                                    env=dict(os.environ, WINEDEBUG='-all'))
        written = {}
        for root, _, names in os.walk(folder):
            for name in names:
                path = os.path.join(root, name)
                relative = os.path.relpath(path, folder)
                if relative not in before:
                    with open(path, 'rb') as f:
                        written[relative] = f.read()
        text = [t.replace(b'\r\n', b'\n').decode('utf-8') for t in (result.stdout, result.stderr)]
        return result.returncode, text[0], text[1], written

    def check_alike(self, arguments, code, given=b''):
        native = self.outcome('native', arguments, given)
        windows = self.outcome('windows', arguments, given)
        self.assertEqual(native[0], code, native)
        self.assertEqual(windows[:3], native[:3])
        self.assertEqual(sorted(windows[3]), sorted(native[3]))
        for name, data in native[3].items():
            self.assertEqual(windows[3][name], data, name)
        return native

    def test_info_query_and_preview_match_the_native_tool(self):
        pano = '\u03c0\u03b1\u03bd\u03cc.orv'
        cases = [
            (['info', pano, 'face_px.orv', 'walk0000.orv'], 0, b''),
            (['info', '--json', pano], 0, b''),
            (['info', 'walk0000.orv', 'gone.orv', 'notes.orv'], 1, b''),
            (['query', pano, '0', '0', '30', '6', '71', '11'], 0, b''),
            (['query', '--json', 'face_nz.orv', '5', '5', '11', '0'], 0, b''),
            (['query', pano, '-'], 1, b'1 2\n9 9\n5000 1\nfour two\n70 3\n'),
            (['preview', pano, '\u00e9t\u00e9/\u03b2'], 0, b''),
            (['preview', '--layers', 'depth,ids', 'walk0000.orv', '.'], 0, b''),
            (['preview', 'face_px.orv', 'notes.orv/sub'], 1, b''),
            (['preview', 'gone.orv', 'out'], 1, b''),
            (['query', pano, '1'], 2, b''),
            (['frobnicate'], 2, b''),
        ]
        for arguments, code, given in cases:
            with self.subTest(arguments=arguments):
                native = self.check_alike(arguments, code, given)
                if arguments[0] == 'preview' and code == 0:
                    self.assertEqual(len(native[3]), 3 if len(arguments) == 3 else 2)
                    self.assertTrue(all(d.startswith(b'\x89PNG') for d in native[3].values()))


class DialogsUnderWine(unittest.TestCase):
    """Every step waits a bounded time: a program whose window does not appear, or that does
    not end, is killed with the Windows programs it started, and the test fails saying so."""
    shown = 0
    WAIT = 20  # seconds that any one step may take; each takes one or two

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='dialogs_wine_')
        cls.shots = os.environ.get('ORVO_SCREENSHOTS') or cls.work
        os.makedirs(cls.shots, exist_ok=True)
        # Xvfb picks a free display number and writes it to the descriptor it is given; it
        # ends with this script, however the script ends.
        read, write = os.pipe()
        cls.xvfb = subprocess.Popen(['Xvfb', '-displayfd', str(write), '-screen', '0',
                                     '800x600x24', '-nolisten', 'tcp'], pass_fds=[write],
                                    stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                    preexec_fn=end_with_parent)
        os.close(write)
        with os.fdopen(read) as f:
            number = f.readline().strip()
        if not number:
            cls.xvfb.kill()
            raise RuntimeError('Xvfb did not start')
        cls.display = ':' + number
        cls.environment = dict(os.environ, DISPLAY=cls.display, WINEDEBUG='-all')

    @classmethod
    def tearDownClass(cls):
        cls.xvfb.terminate()
        cls.xvfb.wait()
        shutil.rmtree(cls.work)

    def launch(self, program, arguments, folder):
        """Starts a Windows program through dialog_probe --run on this test's Wine desktop, in
        a process group of its own, with its output in files rather than pipes: Wine's
        programs may outlive the loader that started them and hold pipes open. An explorer
        that joins a desktop another one made ends as soon as it has started the program, so
        the program's end is read from the probe's last line, "exit N"."""
        out, err = tempfile.TemporaryFile(), tempfile.TemporaryFile()
        started = subprocess.Popen([WINE, 'explorer', '/desktop=%s,640x480' % self.desktop,
                                    DIALOG_PROBE, '--run', program] + arguments, cwd=folder,
                                   env=self.environment, stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=err, start_new_session=True)
        started.out, started.err, started.name = out, err, os.path.basename(program)

        def end():
            # The explorer and every Windows program it started share its process group.
            try:
                os.killpg(started.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            started.wait()
            out.close()
            err.close()
        self.addCleanup(end)
        return started

    @staticmethod
    def output(started):
        texts = []
        for f in (started.out, started.err):
            f.seek(0)
            texts.append(f.read().decode('utf-8', 'replace').replace('\r\n', '\n'))
        return texts

    def start(self, program, arguments, folder, title):
        """Starts a Windows program on a new desktop and waits until its window titled title
        is on the screen. Every program gets a desktop of its own: Wine keeps an ended
        desktop's name a while, tied to the X window that went with it."""
        DialogsUnderWine.shown += 1
        self.desktop = 'orvo_tests%d' % self.shown
        started = self.launch(program, arguments, folder)
        # Until the window is up its program may not have made the desktop yet, and a probe
        # started first would make it and own it.
        try:
            subprocess.run(['xdotool', 'search', '--sync', '--onlyvisible', '--name',
                            '^%s$' % title], env=self.environment, stdout=subprocess.DEVNULL,
                           check=True, timeout=self.WAIT)
        except subprocess.TimeoutExpired:
            self.fail('%s showed no window titled "%s" within %d s: %r' % (
                started.name, title, self.WAIT, self.output(started)))
        return started

    def finish(self, started, after):
        """The program's standard output and error once it has ended, its output ending in
        its exit status."""
        deadline = time.monotonic() + self.WAIT
        while True:
            out, err = self.output(started)
            if re.search(r'(^|\n)exit \d+\n$', out):
                return out, err
            if time.monotonic() > deadline:
                self.fail('%s did not end within %d s of %s: %r' % (started.name, self.WAIT,
                                                                    after, (out, err)))
            time.sleep(0.1)

    def look(self, title, shot, *template):
        """The controls of the window titled title, by identifier, after the probe found each
        inside the window with its text fitting; takes a screenshot of the display."""
        probe = self.launch(DIALOG_PROBE, [title] + list(template), self.work)
        out, err = self.finish(probe, 'starting')
        subprocess.run(['import', '-display', self.display, '-window', 'root',
                        os.path.join(self.shots, shot)], check=True, timeout=self.WAIT)
        self.assertTrue(out.endswith('\nexit 0\n'), out + err)
        controls = {}
        for line in out.splitlines():
            m = re.match(r'control (-?\d+) (\S+) ("(?:[^"\\]|\\.)*") .* click (\d+) (\d+) ok$',
                         line)
            if m:
                text = unescape(m.group(3))
                controls.setdefault(int(m.group(1)), []).append(
                    (m.group(2), text, (int(m.group(4)), int(m.group(5)))))
        return controls

    def press(self, controls, identifier):
        (_, _, (x, y)), = controls[identifier]
        subprocess.run(['xdotool', 'mousemove', str(x), str(y), 'click', '1'],
                       env=self.environment, check=True, timeout=self.WAIT)

    def test_configuration_dialog_answers_presses_as_the_scripted_one(self):
        plugin = os.path.join(os.path.dirname(WINDOWS_STITCH), 'saveorvo.bmi')
        title = 'Orvo output configuration'
        # Presses by control: 50 and 51 the two naming radio buttons, 1 OK, 2 Cancel.
        for number, presses in enumerate([(51, 1), (50, 2), (51, 2), (1,)]):
            # Each dialog's programs are ended before the next one's start.
            with self.subTest(presses=presses), contextlib.ExitStack() as stack:
                stack.callback(self.doCleanups)
                folder = os.path.join(self.work, 'configure%d' % number)
                os.makedirs(os.path.join(folder, 'native'))
                os.makedirs(os.path.join(folder, 'windows'))
                names = ['--names', 'node'] if number == 1 else []
                native = subprocess.run([RENDER_HOST, 'configure', '--plugcfg', 'native',
                                         '--press', ','.join(map(str, presses))] + names,
                                        cwd=folder, capture_output=True, text=True, check=False)
                self.assertEqual(native.returncode, 0, native.stderr)
                started = self.start(WINDOWS_RENDER_HOST,
                                     ['configure', '--plugcfg', 'windows'] + names, folder, title)
                controls = self.look(title, 'configure%d.png' % number, plugin, '112')
                self.assertEqual({i: [c[:2] for c in controls[i]] for i in controls},
                                 {1: [('Button', 'OK')], 2: [('Button', 'Cancel')],
                                  50: [('Button', 'Use material names')],
                                  51: [('Button', 'Use object names')]})
                for control in presses:
                    self.press(controls, control)
                out, err = self.finish(started, 'the presses')
                self.assertEqual(out, native.stdout + 'exit 0\n', err)

    def test_about_box_closes_with_ok_as_the_scripted_one(self):
        plugin = os.path.join(os.path.dirname(WINDOWS_STITCH), 'saveorvo.bmi')
        title = 'About Orvo File Writer'
        native = subprocess.run([RENDER_HOST, 'about', '--press', 'ok'], cwd=self.work,
                                capture_output=True, text=True, check=False)
        started = self.start(WINDOWS_RENDER_HOST, ['about'], self.work, title)
        controls = self.look(title, 'about.png', plugin, '111')
        # The texts are static controls without an identifier of their own (0xFFFF).
        self.assertEqual(sorted(text for _, text, _ in controls[0xFFFF]),
                         ['Copyright (c) 2016 Tessaly. All rights reserved.',
                          'Orvo File Writer Version 1.2.17', 'www.tessaly.com'])
        self.press(controls, 1)
        out, err = self.finish(started, 'pressing OK')
        self.assertEqual((native.returncode, out), (0, native.stdout + 'exit 0\n'), err)

    def test_stitch_failure_box_shows_the_message_and_waits_for_ok(self):
        native = subprocess.run([NATIVE_STITCH, 'a', 'b'], cwd=self.work, capture_output=True,
                                text=True, check=False)
        started = self.start(WINDOWS_STITCH, ['a', 'b'], self.work, 'Error')
        controls = self.look('Error', 'stitch_error.png')
        texts = [text for entries in controls.values() for kind, text, _ in entries
                 if kind == 'Static' and text]
        self.assertEqual(['Error: ' + text + '\n' for text in texts], [native.stderr])
        self.assertEqual([c[:2] for c in controls[1]], [('Button', 'OK')])
        # The box waits for OK, holding stitch open.
        self.assertNotIn('exit', self.output(started)[0])
        self.press(controls, 1)
        out, _ = self.finish(started, 'pressing OK')
        self.assertEqual((native.returncode, out), (2, 'exit 2\n'))


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
            result = run_under_wine(WINDOWS_STITCH, arguments, folder, trace=True)
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

    def test_faces_from_the_windows_plugin_make_the_native_panorama(self):
        render_folder = os.path.join(self.work, 'windows_faces')
        os.mkdir(render_folder)
        result = run_under_wine(WINDOWS_RENDER_HOST, ['faces', '--size', 16, '--out', '.'],
                                render_folder)
        self.assertEqual(result.returncode, 0)
        faces = [FACES[k] for k in ('+y', '-x', '+z', '+x', '-z', '-y')]
        result = run_under_wine(WINDOWS_STITCH, ['pano.orv'] + faces, render_folder)
        self.assertEqual(result.returncode, 0)
        native = self.outcome('native', ['pano.orv'] + faces, faces)
        self.assertEqual(folder_state(render_folder), native.files)

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

    def test_version_goes_to_standard_output_or_else_to_a_message_box(self):
        native = subprocess.run([NATIVE_STITCH, '--version'], capture_output=True, text=True,
                                check=False)
        self.assertEqual((native.returncode, native.stderr), (0, ''))
        windows = run_under_wine(WINDOWS_STITCH, ['--version'], self.work)
        self.assertEqual((windows.returncode, windows.stdout.decode().replace('\r\n', '\n')),
                         (0, native.stdout))
        # Started without standard output, as from a desktop, it shows the version in a box.
        closed = subprocess.run(['sh', '-c', 'exec "$@" >&-', 'sh', WINE, WINDOWS_STITCH,
                                 '--version'], cwd=self.work, stdin=subprocess.DEVNULL,
                                stderr=subprocess.PIPE, env=dict(os.environ, WINEDEBUG='+relay'),
                                check=False, timeout=300)
        self.assertEqual((closed.returncode,
                          relay_message_boxes(closed.stderr.decode('utf-8', 'replace'))),
                         (0, [('MessageBoxA', 'stitch', native.stdout.rstrip('\n'), 0x40)]))

    def test_relay_trace_is_read_exactly(self):
        trace = ('0024:Call user32.MessageBoxA(00000000,0021fa10 "a \\"b\\"\\nc\\\\d\\xe9",'
                 '1400872fe "Error",00000040) ret=140001cb2\n')
        self.assertEqual(relay_message_boxes(trace),
                         [('MessageBoxA', 'Error', 'a "b"\nc\\d\u00e9', 0x40)])


if __name__ == '__main__':
    if len(sys.argv) < 4:
        sys.exit(__doc__)
    native_build, windows_bin, WINE = sys.argv[1:4]
    RENDER_HOST = os.path.join(native_build, 'tools', 'render_host')
    NATIVE_STITCH = os.path.join(native_build, 'stitch', 'stitch')
    WINDOWS_RENDER_HOST = os.path.join(windows_bin, 'render_host.exe')
    WINDOWS_STITCH = os.path.join(windows_bin, 'stitch.exe')
    NATIVE_ORVO = os.path.join(native_build, 'tools', 'orvo')
    WINDOWS_ORVO = os.path.join(windows_bin, 'orvo.exe')
    DIALOG_PROBE = os.path.join(windows_bin, 'dialog_probe.exe')
    unittest.main(argv=[sys.argv[0]] + sys.argv[4:])
