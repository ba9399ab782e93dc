"""The module's figures against the orvo tool's: every pixel of a panorama, a face of each
revision and a parallel view, bit for bit; the view record and object table against
orvo info; directions back to panorama pixels."""
import json

import numpy as np
import pytest

import orvo
from conftest import program, query_all, run

VIEW_FIELDS = ['eye_point', 'right_axis', 'up_axis', 'view_direction', 'spare_axis',
               'corner_top_left', 'corner_bottom_right', 'near_depth', 'far_depth']
PANORAMA_FIELDS = ['eye_point', 'up_axis', 'view_direction', 'centre_point', 'scalar',
                   'face_size', 'near_depth', 'far_depth']


def camel(name):
    head, *rest = name.split('_')
    return head + ''.join(word.capitalize() for word in rest)


def as_json(value):
    return list(value) if isinstance(value, tuple) else value


@pytest.mark.parametrize('name, stated', [('panorama', None), ('rolled', None),
                                          ('rolled', (True, False)), ('face', None),
                                          ('sample', None), ('parallel', None)])
def test_every_pixel_equals_orvo_query(files, name, stated):
    """The rolled rig's faces are found rolled, as the tool finds them, or taken as stated."""
    path = files[name]
    options = []
    if stated:
        f = orvo.read(path, rolls=orvo.FaceRolls(*stated))
        options = ['--rolls', ','.join('180' if s else '0' for s in stated)]
    else:
        f = orvo.read(path)
    assert f.rolls == orvo.FaceRolls(*(stated or [name == 'rolled'] * 2))
    info = json.loads(run(program('ORVO_TOOL'), 'info', '--json', path))
    assert (f.revision, f.width, f.height) == (info['revision'], info['width'], info['height'])
    if f.panorama is not None:
        record, fields = f.panorama, PANORAMA_FIELDS
        expected = info['panorama']
    else:
        record, fields = f.view, VIEW_FIELDS
        expected = info['view']
        assert record.window == tuple(expected['window'][k]
                                      for k in ('left', 'top', 'right', 'bottom'))
    assert {k: as_json(getattr(record, k)) for k in fields} == {k: expected[camel(k)]
                                                                for k in fields}
    assert (record.projection_name, record.unit, record.unit_code, record.unit_scale) == (
        expected['projectionName'], expected['unitName'], expected['unitCode'],
        expected['unitScale'])
    assert sorted((o.id, o.name, list(o.colour)) for o in f.objects) == [
        (o['id'], o['name'], o['colour']) for o in info['objects']]

    depth, distance, points = f.depth(), f.distance(), f.points()
    rows, columns = np.indices((f.height, f.width))
    origin, direction = f.ray(columns, rows)
    # The ray's own arithmetic, as the tool does it, must land on the same points.
    along = origin + depth[..., None] * direction
    names = f.object_names
    answers = query_all(path, f.width, f.height, *options)
    assert len(answers) == f.width * f.height
    hits = 0
    for (x, y), a in answers.items():
        where = '%s pixel (%d, %d)' % (name, x, y)
        assert a['colour'] == f.colour[y, x].tolist(), where
        assert a['id'] == f.ids[y, x], where
        assert a['name'] == (names.get(a['id']) if a['id'] else None), where
        if f.panorama is not None:
            assert a['slot'] == x // f.panorama.face_size
        if a['depth'] is None:
            assert np.isnan([depth[y, x], distance[y, x], *points[y, x], *along[y, x]]).all()
            continue
        hits += 1
        assert (depth[y, x], distance[y, x]) == (a['depth'], a['distance']), where
        assert points[y, x].tolist() == a['point'] == along[y, x].tolist(), where
    # Pixels of both kinds were compared where the file has both.
    assert 0 < hits and (hits < len(answers) or name in ('face', 'sample'))

    for object_name in set(names.values()):
        ids = [i for i, n in names.items() if n == object_name]
        np.testing.assert_array_equal(f.mask(object_name), np.isin(f.ids, ids))


def unit(vectors):
    return vectors / np.linalg.norm(vectors, axis=-1, keepdims=True)


@pytest.mark.parametrize('rolls', [orvo.FaceRolls(), orvo.FaceRolls(True, False),
                                   orvo.FaceRolls(False, True)])
def test_directions_meet_the_pixels_they_leave(files, rolls):
    f = orvo.read(files['panorama'])
    n = f.panorama.face_size
    f.rolls = rolls
    rows, columns = np.indices((f.height, f.width))
    _, direction = f.ray(columns, rows)
    x, y = f.pixel_of(direction * 3.5)
    # A border pixel shares its ray with the neighbouring face's border pixel; any pixel
    # met looks along the same ray.
    _, back = f.ray(x, y)
    np.testing.assert_allclose(unit(back), unit(direction), atol=1e-12)
    interior = (columns % n > 0) & (columns % n < n - 1) & (rows > 0) & (rows < n - 1)
    np.testing.assert_array_equal(x[interior], columns[interior])
    np.testing.assert_array_equal(y[interior], rows[interior])
    slot, column, row = f.face_point(direction)
    np.testing.assert_array_equal(slot[interior], columns[interior] // n)
    np.testing.assert_allclose(column[interior], columns[interior] % n, atol=1e-9)
    np.testing.assert_allclose(row[interior], rows[interior], atol=1e-9)
    # The world points of the pixels seen from the eye point show the same objects.
    points = f.points()
    hit = ~np.isnan(points[..., 0]) & interior
    px, py = f.pixel_of(points[hit] - f.panorama.eye_point)
    np.testing.assert_array_equal(f.ids[py, px], f.ids[hit])
