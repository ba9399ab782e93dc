#!/usr/bin/env python3
"""Makes the release packages with cpack as a user does and checks what a user gets from them.

- DebianPackage (native build): orvo_VERSION_ARCH.deb names the files it should and no others,
  owned by root with the right modes; every library its programs and modules need is either
  in the package or belongs to a package its Depends names, and apt accepts it on this
  machine. Unpacked into a scratch root, its programs run from there on their own libraries:
  the installed plug-in writes faces for the render host, the installed stitch joins them,
  the installed orvo reads the panorama and writes the viewer from the installed copy.
- WindowsZip (cross build): orvo-VERSION-win64.zip holds the Windows programs, the viewer,
  the README and INSTALL.txt; unpacked, its programs run under Wine: the Windows render host
  writes faces through the ZIP's saveorvo.bmi and the ZIP's stitch.exe joins them.

Usage:
  release_packages.py deb BUILD_DIR CPACK RENDER_HOST VERSION SOURCE_DIR
  release_packages.py zip BUILD_DIR CPACK WINE VERSION SOURCE_DIR HAS_ORVO
"""
import os
import re
import shutil
import subprocess
import sys
import sysconfig
import tempfile
import unittest

import tifffile

ARGS = {}
# The file name ending of this interpreter's extension modules, which the package's module has.
PYTHON_SUFFIX = sysconfig.get_config_var('EXT_SUFFIX')
FACES = ['face_px.orv', 'face_nx.orv', 'face_py.orv', 'face_ny.orv', 'face_pz.orv',
         'face_nz.orv']
# A comment the tests add to the installed viewer's style sheet, to tell its copy from the
# source tree's.
MARK = '\n/* the installed copy */\n'


def run(command, **options):
    options.setdefault('capture_output', True)
    options.setdefault('text', True)
    return subprocess.run([str(c) for c in command], check=False, timeout=300, **options)


def make_package(generator, work):
    result = run([ARGS['cpack'], '-G', generator, '--config',
                  os.path.join(ARGS['build'], 'CPackConfig.cmake'), '-B', work])
    if result.returncode != 0:
        raise AssertionError('cpack failed:\n' + result.stdout + result.stderr)
    made = [n for n in os.listdir(work) if n.endswith('.deb') or n.endswith('.zip')]
    if len(made) != 1:
        raise AssertionError('cpack made %r' % made)
    return os.path.join(work, made[0])


def viewer_files():
    """The viewer's own files, relative to viewer/: not its tests or hidden files."""
    top = os.path.join(ARGS['source'], 'viewer')
    files = set()
    for folder, folders, names in os.walk(top):
        folders[:] = [f for f in folders if f != 'tests' and not f.startswith('.')]
        for name in names:
            if not name.startswith('.'):
                files.add(os.path.relpath(os.path.join(folder, name), top))
    return files


class DebianPackage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='orvo_deb_')
        cls.deb = make_package('DEB', os.path.join(cls.work, 'package'))
        cls.root = os.path.join(cls.work, 'root')
        extracted = run(['dpkg-deb', '-x', cls.deb, cls.root])
        assert extracted.returncode == 0, extracted.stderr
        # The folder of the project's own libraries and the plug-in.
        found = [folder for folder, _, names in os.walk(os.path.join(cls.root, 'usr', 'lib'))
                 if 'saveorvo.bmi' in names]
        assert len(found) == 1, found
        cls.private = found[0]

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def field(self, name):
        result = run(['dpkg-deb', '-f', self.deb, name])
        self.assertEqual(result.returncode, 0, result.stderr)
        return result.stdout.strip()

    def test_name_and_files(self):
        architecture = run(['dpkg', '--print-architecture']).stdout.strip()
        self.assertEqual(os.path.basename(self.deb),
                         'orvo_%s_%s.deb' % (ARGS['version'], architecture))
        self.assertEqual((self.field('Package'), self.field('Version')),
                         ('orvo', ARGS['version']))
        listing = run(['dpkg-deb', '-c', self.deb]).stdout.splitlines()
        files = {}
        for line in listing:
            mode, owner, _, _, _, path = line.split(None, 5)
            self.assertEqual(owner, 'root/root', line)
            if not mode.startswith('d'):
                files[path[len('./'):]] = mode
        executable, data = '-rwxr-xr-x', '-rw-r--r--'
        private = os.path.relpath(self.private, self.root)
        self.assertRegex(private, r'^usr/lib/[^/]+-linux-gnu[^/]*/orvo$')
        expected = {'usr/bin/stitch': executable, 'usr/bin/orvo': executable,
                    private + '/saveorvo.bmi': data, private + '/libplatform.so': data,
                    private + '/libmaxsdk.so': data, 'usr/share/doc/orvo/README.md': data,
                    'usr/share/man/man1/stitch.1.gz': data,
                    'usr/share/man/man1/orvo.1.gz': data,
                    # The Python module, where Debian's interpreter looks for it.
                    'usr/lib/python3/dist-packages/orvo' + PYTHON_SUFFIX: data}
        expected.update({'usr/share/orvo/viewer/' + f: data for f in viewer_files()})
        self.assertEqual(files, expected)
        # No maintainer scripts: removing the package leaves nothing behind to purge.
        control = run(['dpkg-deb', '--ctrl-tarfile', self.deb], text=False).stdout
        members = run(['tar', '-t'], input=control, text=False).stdout.decode().split()
        self.assertEqual(sorted(m for m in members if m != './'),
                         ['./control', './md5sums'])

    def test_every_library_needed_is_packaged_or_a_dependency(self):
        depends = {re.sub(r'\s*\(.*\)', '', d).strip()
                   for d in self.field('Depends').split(',')}
        self.assertLessEqual({'libtiff6', 'libpng16-16'}, depends)
        known = {}
        for line in run(['ldconfig', '-p']).stdout.splitlines()[1:]:
            name, _, path = line.strip().partition(' => ')
            known.setdefault(name.split(' ')[0], path)
        private = self.private
        for binary in [os.path.join(self.root, 'usr', 'bin', 'stitch'),
                       os.path.join(self.root, 'usr', 'bin', 'orvo'),
                       os.path.join(private, 'saveorvo.bmi'),
                       os.path.join(private, 'libplatform.so'),
                       os.path.join(private, 'libmaxsdk.so')]:
            dynamic = run(['readelf', '-d', binary]).stdout
            for needed in re.findall(r'\(NEEDED\)\s+Shared library: \[(.*)\]', dynamic):
                with self.subTest(binary=binary, needed=needed):
                    if os.path.exists(os.path.join(private, needed)):
                        continue
                    self.assertIn(needed, known)
                    owner = run(['dpkg', '-S', os.path.realpath(known[needed])]).stdout
                    if not owner:
                        owner = run(['dpkg', '-S', known[needed]]).stdout
                    self.assertIn(owner.split(':')[0], depends)
        # apt takes the package on this machine, its dependencies met by Debian's packages.
        simulated = run(['apt-get', 'install', '-s', '-q', os.path.abspath(self.deb)])
        self.assertEqual(simulated.returncode, 0, simulated.stdout + simulated.stderr)
        self.assertRegex(simulated.stdout, r'(?m)^Inst orvo ')

    def test_manual_pages_come_from_the_programs_help(self):
        pages = os.path.join(self.root, 'usr', 'share', 'man', 'man1')
        for name, synopsis in [('stitch', ['face1']),
                               ('orvo', ['info', 'query', 'preview', 'web', 'export'])]:
            with self.subTest(page=name):
                text = run(['gzip', '-dc', os.path.join(pages, name + '.1.gz')]).stdout
                self.assertIn('.TH %s "1"' % name.upper(), text)
                self.assertIn('"%s %s"' % (name, ARGS['version']), text)
                lines = text[text.index('.SH SYNOPSIS'):text.index('.SH DESCRIPTION')]
                for word in synopsis:
                    self.assertIn(word, lines)
        orvo = run(['gzip', '-dc', os.path.join(pages, 'orvo.1.gz')]).stdout
        for command in ['info', 'query', 'preview', 'web', 'export']:
            self.assertIn('.SS "orvo %s"' % command, orvo)
        self.assertIn('slot 0 +Y', orvo)

    def test_installed_programs_work_from_the_scratch_root(self):
        bin_dir = os.path.join(self.root, 'usr', 'bin')
        environment = {k: v for k, v in os.environ.items() if k != 'LD_LIBRARY_PATH'}
        # The programs load the package's own platform layer.
        for name in ['stitch', 'orvo']:
            program = os.path.join(bin_dir, name)
            libraries = run(['ldd', program], env=environment).stdout
            found = re.search(r'libplatform\.so => (\S+)', libraries)
            self.assertIsNotNone(found, libraries)
            self.assertEqual(os.path.realpath(found.group(1)),
                             os.path.join(self.private, 'libplatform.so'))
            version = run([program, '--version'], env=environment)
            self.assertEqual((version.returncode, version.stdout),
                             (0, '%s %s\n' % (name, ARGS['version'])))
        work = os.path.join(self.work, 'use')
        os.mkdir(work)
        plugin = os.path.join(self.private, 'saveorvo.bmi')
        rendered = run([ARGS['render_host'], 'faces', '--size', 16, '--plugin', plugin,
                        '--out', 'faces'], cwd=work, env=environment)
        self.assertEqual(rendered.returncode, 0, rendered.stderr)
        stitched = run([os.path.join(bin_dir, 'stitch'), 'pano.orv'] +
                       [os.path.join('faces', f) for f in FACES], cwd=work, env=environment)
        self.assertEqual((stitched.returncode, stitched.stderr), (0, ''))
        self.assertEqual(os.listdir(os.path.join(work, 'faces')), [])
        info = run([os.path.join(bin_dir, 'orvo'), 'info', 'pano.orv'], cwd=work,
                   env=environment)
        self.assertEqual(info.returncode, 0, info.stderr)
        self.assertIn('panorama', info.stdout)
        # orvo web takes the viewer from the installed share/orvo/viewer.
        css = os.path.join(self.root, 'usr', 'share', 'orvo', 'viewer', 'viewer.css')
        with open(css, 'a') as f:
            f.write(MARK)
        web = run([os.path.join(bin_dir, 'orvo'), 'web', 'pano.orv', 'web'], cwd=work,
                  env=environment)
        self.assertEqual(web.returncode, 0, web.stderr)
        with open(os.path.join(work, 'web', 'viewer.css')) as f:
            self.assertTrue(f.read().endswith(MARK))
        self.assertTrue(os.path.isfile(os.path.join(work, 'web', 'js', 'orvo_reader.js')))
        self.assertFalse(os.path.exists(os.path.join(work, 'web', 'tests')))


class WindowsZip(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix='orvo_zip_')
        cls.zip = make_package('ZIP', os.path.join(cls.work, 'package'))
        cls.top = 'orvo-%s-win64' % ARGS['version']
        unpacked = run(['unzip', '-q', cls.zip, '-d', cls.work])
        assert unpacked.returncode == 0, unpacked.stderr
        cls.folder = os.path.join(cls.work, cls.top)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work)

    def wine(self, program, arguments):
        """Runs a program under Wine in the work folder; standard output with LF line ends."""
        result = run([ARGS['wine'], program] + arguments, cwd=self.work,
                     stdin=subprocess.DEVNULL, text=False)
        return (result.returncode, result.stdout.decode('utf-8', 'replace').replace('\r\n', '\n'),
                result.stderr.decode('utf-8', 'replace'))

    def test_contents(self):
        self.assertEqual(os.path.basename(self.zip), self.top + '.zip')
        names = run(['unzip', '-Z1', self.zip]).stdout.split()
        files = {n[len(self.top) + 1:] for n in names if not n.endswith('/')}
        expected = {'stitch.exe', 'saveorvo.bmi', 'README.md', 'INSTALL.txt'}
        expected |= {'viewer/' + f.replace(os.sep, '/') for f in viewer_files()}
        if ARGS['has_orvo']:
            expected.add('orvo.exe')
        self.assertEqual(files, expected)
        self.assertTrue(all(n.startswith(self.top + '/') for n in names), names)

    def test_install_text_says_where_the_plugin_goes(self):
        with open(os.path.join(self.folder, 'INSTALL.txt'), 'rb') as f:
            text = f.read()
        self.assertNotIn(b'@', text)
        self.assertEqual(text.count(b'\n'), text.count(b'\r\n'))
        text = text.decode('ascii')
        self.assertIn('Orvo %s' % ARGS['version'], text)
        self.assertIn('saveorvo.bmi into the plugins folder', text)
        self.assertIn('stitch.exe panorama.orv face_px.orv', text)
        self.assertEqual('orvo.exe info' in text, bool(ARGS['has_orvo']))

    def test_programs_run_under_wine(self):
        code, out, err = self.wine(os.path.join(self.top, 'stitch.exe'), ['--version'])
        self.assertEqual((code, out), (0, 'stitch %s\n' % ARGS['version']), err)
        # The build's Windows render host, with the SDK stand-in beside it, loads the ZIP's
        # plug-in; the ZIP's stitch.exe joins the faces.
        host = os.path.join(ARGS['build'], 'bin', 'render_host.exe')
        plugin = self.top + '\\saveorvo.bmi'
        code, _, err = self.wine(host, ['faces', '--size', '16', '--plugin', plugin,
                                        '--out', 'faces'])
        self.assertEqual(code, 0, err)
        code, _, err = self.wine(os.path.join(self.top, 'stitch.exe'),
                                 ['pano.orv'] + ['faces\\' + f for f in FACES])
        self.assertEqual(code, 0, err)
        self.assertEqual(os.listdir(os.path.join(self.work, 'faces')), [])
        with tifffile.TiffFile(os.path.join(self.work, 'pano.orv')) as tiff:
            self.assertEqual(tiff.pages[0].shape, (16, 96, 3))
        if not ARGS['has_orvo']:
            return
        orvo = os.path.join(self.top, 'orvo.exe')
        code, out, err = self.wine(orvo, ['--version'])
        self.assertEqual((code, out), (0, 'orvo %s\n' % ARGS['version']), err)
        code, out, err = self.wine(orvo, ['info', 'pano.orv'])
        self.assertEqual(code, 0, err)
        self.assertIn('panorama', out)
        # orvo.exe web takes the viewer from beside itself.
        with open(os.path.join(self.folder, 'viewer', 'viewer.css'), 'a') as f:
            f.write(MARK)
        code, out, err = self.wine(orvo, ['web', 'pano.orv', 'web'])
        self.assertEqual(code, 0, err)
        with open(os.path.join(self.work, 'web', 'viewer.css'), newline='') as f:
            self.assertTrue(f.read().endswith(MARK))


if __name__ == '__main__':
    if len(sys.argv) < 7:
        sys.exit(__doc__)
    kind = sys.argv[1]
    ARGS.update(build=os.path.abspath(sys.argv[2]), cpack=sys.argv[3], version=sys.argv[5],
                source=sys.argv[6])
    if kind == 'deb':
        ARGS['render_host'] = sys.argv[4]
        rest, case = sys.argv[7:], 'DebianPackage'
    else:
        ARGS['wine'] = sys.argv[4]
        ARGS['has_orvo'] = sys.argv[7] not in ('0', 'OFF', 'FALSE', '')
        rest, case = sys.argv[8:], 'WindowsZip'
    unittest.main(argv=[sys.argv[0], case] + rest)
