"""The orvo tool on real renders: render_host writes the demo room's six cube faces through
the saveorvo plug-in (revision 1.3), stitch joins them into a panorama (revision 1.0), and
`orvo query` must put every pixel's surface where the scene has it.

Two checks that do not lean on the tool's own idea of the panorama's slots: each panorama
pixel's world point must equal the point the tool finds for the same pixel of the face it
came from, whose camera the plug-in recorded; and the ray caster behind the render, asked
along the line from the eye to that point, must hit the same object there.

With "rolls", the same room from a rig that rolls the up or the down camera or both by 180
degrees: `orvo info` must find each roll from the panorama's edges, and every pixel of the up
and down slots must show the point that the ray caster finds along the ray of the camera that
rendered it (built here from the rig, not from the tool's slots).

Usage: check_orvo_scene.py ORVO RENDER_HOST STITCH [rolls]
"""
import json
import os
import subprocess
import sys
import tempfile

import numpy as np

N = 24
EYE = (0.3, -0.5, 1.45)
# Face files in the panorama's slot order, left to right.
FACES = ['face_py.orv', 'face_px.orv', 'face_ny.orv', 'face_nx.orv', 'face_pz.orv', 'face_nz.orv']


def run(*arguments, input_text=None):
    result = subprocess.run([str(a) for a in arguments], input=input_text, capture_output=True,
                            text=True, check=False)
    assert result.returncode == 0, (arguments, result.stderr)
    return result.stdout


def query_all(orvo, path, width, height):
    pixels = ''.join('%d %d\n' % (x, y) for y in range(height) for x in range(width))
    answers = json.loads(run(orvo, 'query', '--json', path, '-', input_text=pixels))
    return {(a['x'], a['y']): a for a in answers}


def main(orvo, render_host, stitch):
    with tempfile.TemporaryDirectory(prefix='orvo_scene_') as work:
        faces = os.path.join(work, 'faces')
        run(render_host, 'faces', '--size', N, '--eye', '%r,%r,%r' % EYE, '--out', faces)
        panorama = os.path.join(work, 'panorama.orv')
        # The three trailing arguments keep the face files.
        run(stitch, panorama, *[os.path.join(faces, f) for f in FACES], '1e-7', '0', '1')

        info = json.loads(run(orvo, 'info', '--json', panorama))
        assert (info['revision'], info['panorama']['faceSize']) == ('1.0', N), info
        strip = query_all(orvo, panorama, 6 * N, N)

        compared = 0
        for slot, face in enumerate(FACES):
            path = os.path.join(faces, face)
            face_info = json.loads(run(orvo, 'info', '--json', path))
            assert face_info['revision'] == '1.3', face_info['revision']
            own = query_all(orvo, path, N, N)
            for (x, y), answer in own.items():
                merged = strip[(slot * N + x, y)]
                where = '%s pixel (%d, %d)' % (face, x, y)
                assert (answer['point'] is None) == (merged['point'] is None), where
                assert answer['name'] == merged['name'], where
                if answer['point'] is not None:
                    gap = np.linalg.norm(np.subtract(answer['point'], merged['point']))
                    assert gap < 1e-5, '%s: %r against %r' % (where, answer['point'],
                                                             merged['point'])
                    compared += 1

        # Along the line from the eye to each point, the scene's first hit is that point.
        hits = [a for a in strip.values() if a['point'] is not None]
        eye = np.array(info['panorama']['eyePoint'])
        lines = ''.join('%r %r %r %r %r %r\n' % (*eye, *(np.array(a['point']) - eye))
                        for a in hits)
        probed = run(render_host, 'probe', input_text=lines).splitlines()
        agree = 0
        for answer, line in zip(hits, probed):
            if line == 'none':
                continue
            t, name = line.split('\t', 1)
            # Depth codes and single-precision Z keep t within a few millionths of 1.
            agree += abs(float(t) - 1) < 2e-5 and name == answer['name']
        misses = len(strip) - len(hits)
        assert len(probed) == len(hits)
        # Pixels on an outline may see past an edge that the exact ray just touches.
        assert agree > 0.98 * len(hits), (agree, len(hits))
        assert misses > 0  # the window onto nothing
        print('%d face pixels match the panorama; %d of %d panorama points are where the scene '
              'has them; %d pixels see nothing' % (compared, agree, len(hits), misses))


# Near a corner and high up, so that the faces' edges see walls on two sides and the ceiling
# or the floor on the others: the distances along the edges tell the rolls apart.
CORNER_EYE = (3.4, 2.4, 2.1)
# The cameras aimed up and down as render_host aims them: forward, right, up.
UP_CAMERA = ((0, 0, 1), (1, 0, 0), (0, -1, 0))
DOWN_CAMERA = ((0, 0, -1), (1, 0, 0), (0, 1, 0))


def rolled(camera, roll):
    forward, right, up = (np.array(v, dtype=float) for v in camera)
    return (forward, -right, -up) if roll else (forward, right, up)


def check_rolls(orvo, render_host, stitch):
    eye = np.array(CORNER_EYE)
    with tempfile.TemporaryDirectory(prefix='orvo_rolls_') as work:
        for up_roll, down_roll in ((0, 0), (180, 0), (0, 180), (180, 180)):
            where = 'up %d, down %d' % (up_roll, down_roll)
            faces = os.path.join(work, 'faces_%d_%d' % (up_roll, down_roll))
            options = ['--roll-up'] * bool(up_roll) + ['--roll-down'] * bool(down_roll)
            run(render_host, 'faces', '--size', N, '--eye', '%r,%r,%r' % CORNER_EYE, *options,
                '--out', faces)
            panorama = faces + '.orv'
            run(stitch, panorama, *[os.path.join(faces, f) for f in FACES], '1e-7', '0', '1')

            rolls = json.loads(run(orvo, 'info', '--json', panorama))['panorama']['rolls']
            for face, roll in (('up', up_roll), ('down', down_roll)):
                found = rolls[face]
                assert (found['roll'], found['source']) == (roll, 'found'), (where, found)
                assert found['agreement'] > 0.9 > 0.5 > found['otherAgreement'], (where, found)

            # Every pixel of the up and down slots, along the ray of the camera that took it.
            pixels, rays = [], []
            for slot, camera, roll in ((4, UP_CAMERA, up_roll), (5, DOWN_CAMERA, down_roll)):
                forward, right, up = rolled(camera, roll)
                for y in range(N):
                    for x in range(N):
                        pixels.append((slot * N + x, y))
                        rays.append(forward + (-1 + 2 * x / (N - 1)) * right +
                                    (1 - 2 * y / (N - 1)) * up)
            lines = ''.join('%r %r %r %r %r %r\n' % (*eye, *d) for d in rays)
            probed = run(render_host, 'probe', input_text=lines).splitlines()
            asked = ''.join('%d %d\n' % p for p in pixels)
            answers = json.loads(run(orvo, 'query', '--json', panorama, '-', input_text=asked))
            agree = 0
            for ray, line, answer in zip(rays, probed, answers):
                if line == 'none' or answer['point'] is None:
                    assert line == 'none' and answer['point'] is None, (where, answer, line)
                    continue
                t, name = line.split('\t', 1)
                gap = np.linalg.norm(eye + float(t) * ray - np.array(answer['point']))
                agree += gap < 1e-4 and name == answer['name']
            assert agree == len(pixels), (where, agree, len(pixels))

            if (up_roll, down_roll) == (180, 180):
                # Read with the render host's roll stated instead, the same pixels land on the
                # far side of the eye: the check above tells the rolls apart.
                wrong = json.loads(run(orvo, 'query', '--json', '--rolls', '0,0', panorama, '-',
                                       input_text=asked))
                off = sum(np.linalg.norm(np.subtract(a['point'], b['point'])) > 0.1
                          for a, b in zip(wrong, answers) if a['point'] is not None)
                assert off > 0.9 * len(pixels), off
            print('%s: rolls found; %d up and down pixels where the render cameras saw them'
                  % (where, agree))


if __name__ == '__main__':
    if sys.argv[4:5] == ['rolls']:
        check_rolls(*sys.argv[1:4])
    else:
        main(*sys.argv[1:4])
