"""Files the module must refuse: it raises OrvoError with the reader's reason, the words
orvo info prints for the same file, and never crashes, on the fuzz target's seed corpus and
on thousands of files cut and damaged from it."""
import json
import os
import random
import subprocess
import sys

import pytest

import orvo
from conftest import program, run

# Reads every file it is given and prints, for each, null or the error's text; then the
# derived values of the files that read, each failing only as OrvoError. Run in a process of
# its own so that a crash is a failure of the test rather than of the test runner.
READER = r'''
import json, sys
import orvo
results = {}
for path in sys.argv[1:]:
    try:
        f = orvo.read(path)
    except orvo.OrvoError as error:
        assert isinstance(error, OSError) and isinstance(error, ValueError)
        assert error.path == path
        results[path] = str(error)
        continue
    results[path] = None
    for name in ['depth', 'distance', 'points']:
        try:
            getattr(f, name)()
        except orvo.OrvoError:
            pass
    try:
        f.ray(f.width - 1, f.height - 1)
        f.pixel_of([[0.3, -1.0, 0.2], [0.0, 0.0, -1.0]])
    except orvo.OrvoError:
        pass
    for name in set(f.object_names.values()):
        try:
            f.mask(name)
        except orvo.OrvoError:
            pass
json.dump(results, sys.stdout)
'''


def reasons_of_orvo_info(paths):
    """What orvo info says of each file: None when it reads, else its reason."""
    result = subprocess.run([program('ORVO_TOOL'), 'info', *paths], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, check=False)
    # libtiff's messages may quote bytes of the file that are not UTF-8.
    stderr = result.stderr.decode('utf-8', 'replace')
    reasons = dict.fromkeys(paths)
    for line in stderr.splitlines():
        for path in paths:
            prefix = 'orvo: %s: ' % path
            if line.startswith(prefix):
                reasons[path] = line[len(prefix):]
    assert (result.returncode != 0) == any(reasons.values()), stderr[-2000:]
    return reasons


def damaged_copies(seed_path, folder, rng):
    """The seed cut at every third byte, and with bytes or 32-bit fields overwritten."""
    with open(seed_path, 'rb') as seed:
        data = seed.read()
    stem = os.path.join(folder, os.path.basename(seed_path))
    copies = {}
    for length in range(0, len(data), 3):
        copies['%s.cut%d' % (stem, length)] = data[:length]
    for number in range(60):
        damaged = bytearray(data)
        at = rng.randrange(len(data) - 4)
        if number % 2:
            damaged[at:at + 4] = rng.choice([b'\xff\xff\xff\xff', b'\x00\x00\x00\x00',
                                             b'\xff\xff\x00\x00', b'\x08\x00\x00\x00'])
        else:
            damaged[at] = rng.randrange(256)
        copies['%s.hit%d' % (stem, number)] = bytes(damaged)
    for path, contents in copies.items():
        with open(path, 'wb') as out:
            out.write(contents)
    return list(copies)


def test_corpus_reads_as_the_orvo_tool_reads_it(tmp_path):
    seeds = tmp_path / 'seeds'
    seeds.mkdir()
    run(program('ORVO_CORPUS'), seeds)
    originals = sorted(str(p) for p in seeds.iterdir())
    assert len(originals) >= 8
    rng = random.Random(20)
    paths = list(originals)
    for seed in originals:
        paths += damaged_copies(seed, str(tmp_path), rng)
    child = subprocess.run([sys.executable, '-c', READER, *paths], capture_output=True,
                           text=True, check=False)
    assert child.returncode == 0, child.stderr[-3000:]
    module = json.loads(child.stdout)
    tool = reasons_of_orvo_info(paths)
    assert module == tool
    assert all(module[path] is None for path in originals)
    refused = sum(reason is not None for reason in module.values())
    assert 0.2 * len(paths) < refused < len(paths)


def test_bad_files_raise_the_readers_reason(files, tmp_path):
    with open(files['panorama'], 'rb') as f:
        panorama = f.read()
    with open(files['face'], 'rb') as f:
        face = f.read()
    cases = {'missing.orv': None, 'empty.orv': b'', 'text.orv': b'not a TIFF file at all\n',
             'cut.orv': panorama[:len(panorama) // 2],
             'cut_face.orv': face[:len(face) * 2 // 3]}
    paths = []
    for name, contents in cases.items():
        path = str(tmp_path / name)
        if contents is not None:
            with open(path, 'wb') as out:
                out.write(contents)
        paths.append(path)
    expected = reasons_of_orvo_info(paths)
    for path in paths:
        with pytest.raises(orvo.OrvoError) as raised:
            orvo.read(path)
        assert str(raised.value) == expected[path], path
        assert raised.value.path == path
    assert expected[paths[0]] == os.strerror(2)
    assert expected[paths[1]] == 'not an Orvo file: the file is empty'
    # A missing file is an OSError like any other; a foreign one a ValueError as well.
    with pytest.raises(OSError):
        orvo.read(paths[0])
    with pytest.raises(ValueError):
        orvo.read(paths[2])


def test_values_a_file_lacks_raise_what_the_tool_says(files, tmp_path):
    strip = str(tmp_path / 'strip.orv')
    pixels = ''.join('1 2 3 %d 0\n' % (1000 * i) for i in range(30))
    run(program('ORVO_FIXTURE'), strip,
        input_text='writer stream\nsize 10 3\npanorama 0 0 1 0.5 20 1 4\npixels\n' + pixels)
    result = subprocess.run([program('ORVO_TOOL'), 'query', strip, '1', '1'],
                            capture_output=True, text=True, check=False)
    f = orvo.read(strip)
    assert f.depth()[0, 1] == 0.5 + 1000 * (19.5 / 2**32)
    for call in [f.distance, f.points, lambda: f.ray(0, 0), lambda: f.pixel_of([1.0, 0, 0])]:
        with pytest.raises(orvo.OrvoError) as raised:
            call()
        assert result.stderr == 'orvo: %s: %s\n' % (strip, raised.value)
