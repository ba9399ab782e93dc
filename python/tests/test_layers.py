"""The layers as arrays: the values tifffile reads from the same pages, looked at where the
reader put them (no copy, neither when reading nor when asked again), and the page memory
given back when the last array that looks at a plane goes."""
import gc
import os

import numpy as np
import pytest
import tifffile

import orvo
from conftest import render_panorama

PAGE = os.sysconf('SC_PAGE_SIZE')


def resident():
    with open('/proc/self/statm') as statm:
        return int(statm.read().split()[1]) * PAGE


@pytest.fixture(scope='module')
def demo(tmp_path_factory):
    """The demo panorama as scripts/demo.sh makes it: faces of 512 pixels."""
    return render_panorama(str(tmp_path_factory.mktemp('demo')), 512)[0]


@pytest.mark.parametrize('name', ['panorama', 'face', 'sample'])
def test_layers_are_the_pages_as_tifffile_reads_them(files, name):
    f = orvo.read(files[name])
    pages = tifffile.TiffFile(files[name]).pages
    layers = [f.colour, f.depth_codes, f.ids]
    for page, layer, dtype in zip(pages, layers, [np.uint8, np.uint32, np.uint16]):
        assert layer.dtype == dtype
        np.testing.assert_array_equal(layer, page.asarray())
        # Each array looks at the plane the reader filled: page memory of its own, owned by
        # the capsule that is its base.
        assert not layer.flags.owndata
        assert type(layer.base).__name__ == 'PyCapsule'
        assert layer.__array_interface__['data'][0] % PAGE == 0
        assert layer.flags.c_contiguous and layer.flags.writeable
    assert f.colour.shape == (f.height, f.width, 3)
    assert f.depth_codes.shape == f.ids.shape == (f.height, f.width)


def test_values_come_from_the_plane_itself(files):
    """The arrays and the derived values share one plane: a code written through the array
    is the one the depths are computed from, and asking again gives the same array."""
    f = orvo.read(files['face'])
    assert f.depth_codes is f.depth_codes and f.colour is f.colour and f.ids is f.ids
    codes = f.depth_codes
    assert np.shares_memory(codes, f.depth_codes[3:, 2])
    codes[3, 2] = 2**31
    view = f.view
    assert f.depth()[3, 2] == view.near_depth + 2**31 * ((view.far_depth - view.near_depth) / 2**32)
    codes[3, 2] = orvo.NO_DEPTH_CODE
    assert np.isnan(f.distance()[3, 2]) and np.isnan(f.points()[3, 2]).all()
    f.ids[3, 2] = 1
    assert f.mask(f.object_names[1])[3, 2]


def test_reading_makes_no_second_copy(demo):
    gc.collect()
    before = resident()
    f = orvo.read(demo)
    grown = resident() - before
    planes = f.colour.nbytes + f.depth_codes.nbytes + f.ids.nbytes
    assert planes == 3072 * 512 * 9
    # One copy of the planes, with room for the reader's own buffers, and not two.
    assert 0.9 * planes < grown < 1.4 * planes, (grown, planes)


def test_memory_goes_with_the_last_array(demo):
    first = orvo.read(demo)
    depth_bytes = first.depth_codes.nbytes
    del first
    gc.collect()
    start = resident()
    for _ in range(25):
        f = orvo.read(demo)
        assert f.colour[0, 0].sum() > 0
        del f
    gc.collect()
    # 25 reads of 14 MB each leave nothing behind.
    assert resident() - start < 0.5 * depth_bytes

    f = orvo.read(demo)
    expected = tifffile.imread(demo, key=1)[100:300]
    gc.collect()
    with_file = resident()
    rows = f.depth_codes[100:300]
    del f
    gc.collect()
    # The colour and id planes are gone; the depth plane lives on in the slice.
    freed = with_file - resident()
    assert 0.8 * 3072 * 512 * 5 < freed < 1.2 * 3072 * 512 * 5, freed
    np.testing.assert_array_equal(rows, expected)
    del expected
    gc.collect()
    kept = resident()
    del rows
    gc.collect()
    freed = kept - resident()
    assert 0.8 * depth_bytes < freed < 1.2 * depth_bytes, freed
