"""Files for the module's tests, made by the project's own programs, which ctest names in the
environment (python/CMakeLists.txt): the demo room's cube faces through the saveorvo plug-in
(revision 1.3) and stitched into a panorama (revision 1.0), the sample scene of the stream
writer (revision 1.0), and a parallel view whose every value the test chose (orvo_fixture).
"""
import json
import os
import subprocess

import numpy as np
import pytest

FACES = ['face_py.orv', 'face_px.orv', 'face_ny.orv', 'face_nx.orv', 'face_pz.orv', 'face_nz.orv']
NO_DEPTH = 0xFFFFFFFF


def program(name):
    path = os.environ.get(name)
    if not path:
        raise RuntimeError('%s is not set: run these tests through ctest (ctest -R Python)' % name)
    return path


def run(*arguments, input_text=None):
    result = subprocess.run([str(a) for a in arguments], input=input_text, capture_output=True,
                            text=True, check=False)
    assert result.returncode == 0, (arguments, result.stderr)
    return result.stdout


def query_all(path, width, height, *options):
    """orvo query --json for every pixel, by (x, y)."""
    pixels = ''.join('%d %d\n' % (x, y) for y in range(height) for x in range(width))
    answers = json.loads(run(program('ORVO_TOOL'), 'query', '--json', *options, path, '-',
                             input_text=pixels))
    return {(a['x'], a['y']): a for a in answers}


def render_panorama(folder, size, *options):
    """The demo room's six faces of size pixels, and the panorama stitched from them."""
    name = '%d%s' % (size, ''.join(options))
    faces = os.path.join(folder, 'faces_' + name)
    run(program('ORVO_RENDER_HOST'), 'faces', '--size', size, *options, '--out', faces)
    panorama = os.path.join(folder, 'panorama_%s.orv' % name)
    run(program('ORVO_STITCH'), panorama, *[os.path.join(faces, f) for f in FACES],
        '1e-7', '0', '1')
    return panorama, faces


def parallel_view(path):
    """A parallel view with axes turned away from the world's, an off-centre window, random
    colours, codes (a fifth of them no depth) and ids, through the plug-in's writer."""
    width, height = 23, 17
    rng = np.random.default_rng(5)
    view = np.array([0.48, 0.79, -0.38])
    view /= np.linalg.norm(view)
    right = np.cross(view, [0, 0, 1])
    right /= np.linalg.norm(right)
    up = np.cross(right, view)
    numbers = [*(1.5, -2.0, 1.25), *right, *up, *view, *(-3.0, 2.0, -1.0),
               *(2.5, -1.5, -1.0), 0.25, 37.5, 0.3048, 8]
    lines = ['writer tessaly', 'size %d %d' % (width, height),
             'perspective 1 ' + ' '.join('%r' % float(v) for v in numbers),
             'object 1 120 160 90 Floor', 'object 2 220 40 40 Stuhl \u00b7 gr\u00fcn',
             'object 5 40 80 220 Unseen', 'pixels']
    codes = rng.integers(0, 2**32 - 1, (height, width), dtype=np.uint64)
    codes[rng.random((height, width)) < 0.2] = NO_DEPTH
    ids = rng.choice([0, 1, 2, 9], (height, width))
    colour = rng.integers(0, 256, (height, width, 3))
    for y in range(height):
        for x in range(width):
            lines.append('%d %d %d %d %d' % (*colour[y, x], codes[y, x], ids[y, x]))
    run(program('ORVO_FIXTURE'), path, input_text='\n'.join(lines) + '\n')
    return path


@pytest.fixture(scope='session')
def files(tmp_path_factory):
    """Paths by name: 'panorama' (24-pixel faces), 'face' (its up face, revision 1.3),
    'rolled' (the panorama of a rig that rolls its up and down cameras), 'sample' (revision
    1.0), 'parallel', and 'faces', the folder of the six faces."""
    folder = str(tmp_path_factory.mktemp('orvo_files'))
    panorama, faces = render_panorama(folder, 24)
    rolled, _ = render_panorama(folder, 24, '--roll-up', '--roll-down')
    sample = os.path.join(folder, 'sample.orv')
    run(program('ORVO_SAMPLE'), sample)
    return {'panorama': panorama, 'rolled': rolled, 'faces': faces, 'face': os.path.join(faces, 'face_pz.orv'),
            'sample': sample, 'parallel': parallel_view(os.path.join(folder, 'parallel.orv'))}
