// The texts that help(orvo) shows, in NumPy's docstring layout.
#pragma once

namespace orvo_python {
namespace docs {

const char Module[] = R"(Orvo files as NumPy arrays.

An Orvo file is a TIFF file whose pages are the layers of one render: a colour layer, a
depth layer of 32-bit codes with the camera that took the view, and an object-id layer with
a table of object names and colours. This module reads them with the project's own file
library, the same reader the ``orvo`` tool and ``stitch`` use, and hands out the layers as
NumPy arrays that look straight at the planes the reader filled, without a copy.

Values derived from the layers (depths and distances in scene units, world points, the ray
of a pixel, the pixel a direction meets in a panorama) are computed as ``orvo query``
computes them, in double precision, so that both give the same figures to the last bit.

Functions
---------
read
    Read an Orvo file into an `OrvoFile`.

Classes
-------
OrvoFile
    One file: its layers, view record and object table, and the derived values.
View, Panorama
    The view record of a perspective or parallel render, or of a cubic panorama strip.
FaceRolls
    How the up and down faces of a panorama were turned.
ObjectEntry
    One record of the object table.
OrvoError
    Raised when a file cannot be read (a subclass of both OSError and ValueError).

Examples
--------
>>> import numpy as np, orvo
>>> pano = orvo.read('out/panorama.orv')
>>> pano.colour.shape, pano.colour.dtype
((512, 3072, 3), dtype('uint8'))
>>> distance = pano.distance()              # float64, NaN where nothing was hit
>>> y, x = np.unravel_index(np.nanargmin(distance), distance.shape)
>>> pano.object_names[int(pano.ids[y, x])], round(distance[y, x], 3)
('Ceiling paint', 1.2)
)";

const char Read[] = R"(Read an Orvo file.

The file is walked once, directory by directory, under the rules of the ``orvo`` tool: a
file that reads is whole in every part the module shows. The planes are read into page
memory that the returned arrays take over; no copy of them is made.

Parameters
----------
path : str, bytes or os.PathLike
    The file to read.
rolls : FaceRolls, optional
    For a panorama, how its up and down faces were turned. By default each is found from
    the face's edges, as the ``orvo`` tool finds it: under the right roll the face's border
    pixels hold the distances and colours of the side faces' border pixels on the same rays.
    A face whose edges cannot tell (no depth and no colour detail there) is taken as
    unrolled. The result is the file's `OrvoFile.rolls`.

Returns
-------
OrvoFile
    The file's layers, view record and object table.

Raises
------
OrvoError
    If the file cannot be opened, is not an Orvo file, or is damaged or incomplete. The
    message says why, in the words of ``orvo info`` (for example "damaged: directory 1:
    row 3 of the depth layer is missing: the file was cut off while being written").

Examples
--------
>>> f = orvo.read('out/panorama.orv')
>>> f.revision, f.size
('1.0', (3072, 512))
)";

const char OrvoError[] = R"(An Orvo file that cannot be read or lacks what was asked of it.

A subclass of both OSError (the file could not be read) and ValueError (its contents are not
an Orvo file, or not whole). ``str(error)`` is the reader's reason, as ``orvo info`` words
it; the ``path`` attribute names the file.
)";

const char OrvoFile[] = R"(One Orvo file as `read` returns it.

Attributes
----------
path : str
    The file it was read from.
revision : str
    The format revision, from the layer headers: '1.0' (written by stitch) or '1.3' (the
    plug-in's); '1.0 or 1.3' for a file with a depth layer alone.
width, height : int
    The image size in pixels.
size : tuple of int
    ``(width, height)``.
big_endian : bool
    Whether the file is in the "MM" byte order.
colour : numpy.ndarray or None
    ``uint8``, ``(height, width, 3)``: red, green and blue of each pixel, rows from the top.
depth_codes : numpy.ndarray or None
    ``uint32``, ``(height, width)``: the depth layer's codes (of either kind of depth
    layer). `NO_DEPTH_CODE` marks a pixel where nothing was hit; see `depth`.
ids : numpy.ndarray or None
    ``uint16``, ``(height, width)``: the object id of each pixel, `NO_OBJECT_ID` where none.
view : View or None
    The view record of a perspective or parallel depth layer.
panorama : Panorama or None
    The view record of a panorama's depth layer.
objects : list of ObjectEntry
    The object table as the file lists it, newest record first.
object_names : dict of int to str
    Object id to name; where an id has several records, the newest wins.
rolls : FaceRolls
    How the panorama's up and down faces are taken to be turned by the methods that
    look along a panorama's rays (`distance`, `points`, `ray`, `pixel_of`, `face_point`)
    when they are given no ``rolls``: as given to `read`, or as found from the faces'
    edges (see `read`); unrolled for a file that is no panorama. May be set.

Notes
-----
The three layer arrays look at the planes the reader filled: each has a capsule as its
``base`` that frees its plane when the last array looking at it is gone. Slices and views of
them keep the plane alive in the same way.
)";

const char Depth[] = R"(Depth of every pixel along the view direction, in scene units.

A depth code c stands for ``near + c * (far - near) / 2**32`` with the near and far depth of
the view record.

Returns
-------
numpy.ndarray
    ``float64``, ``(height, width)``; NaN where nothing was hit.

Raises
------
OrvoError
    If the file has no depth layer.
)";

const char Distance[] =
    R"(Distance of every pixel's surface from where its ray starts, in scene units.

The depth times the length of the pixel's ray direction (see `ray`): for a perspective
view or a panorama the distance from the eye point, for a parallel view the depth itself.

Parameters
----------
rolls : FaceRolls, optional
    For a panorama, how its up and down faces were turned; `OrvoFile.rolls` by default.

Returns
-------
numpy.ndarray
    ``float64``, ``(height, width)``; NaN where nothing was hit.

Raises
------
OrvoError
    If the file has no depth layer, or is a panorama that is not six square faces.
)";

const char Points[] = R"(World position of every pixel's surface.

``origin + depth * direction`` of each pixel's ray (see `ray`), in world coordinates with
Z up.

Parameters
----------
rolls : FaceRolls, optional
    For a panorama, how its up and down faces were turned; `OrvoFile.rolls` by default.

Returns
-------
numpy.ndarray
    ``float64``, ``(height, width, 3)``: x, y and z; NaN where nothing was hit.

Raises
------
OrvoError
    If the file has no depth layer, or is a panorama that is not six square faces.
)";

const char Ray[] = R"(The rays through the centres of pixels.

The surface behind a pixel of depth t lies at ``origin + t * direction``. For a perspective
view the rays leave the eye point through the image plane at distance 1; for a parallel
view they leave the camera plane and run along the view direction; for a panorama they
leave the eye point through the face's pixel on the cube of half-edge 1 around it. The
directions are not of unit length.

Parameters
----------
x, y : int or array_like of int
    Pixel columns from the left and rows from the top, both from 0; broadcast together.
rolls : FaceRolls, optional
    For a panorama, how its up and down faces were turned; `OrvoFile.rolls` by default.

Returns
-------
origin, direction : numpy.ndarray
    ``float64``, the broadcast shape of `x` and `y` followed by 3.

Raises
------
IndexError
    If a pixel lies outside the image.
OrvoError
    If the file has no depth layer and so no view record, or is a panorama that is not six
    square faces.

Examples
--------
>>> f = orvo.read('out/panorama.orv')
>>> origin, direction = f.ray([0, 10], 5)
>>> origin.shape
(2, 3)
)";

const char PixelOf[] = R"(The panorama pixels that world directions meet.

Each direction, taken from the panorama's eye point, is followed to the face it meets and
to the pixel whose centre lies nearest (halfway between two centres rounds to the right or
the lower one). On a cube edge, where two faces' border pixels look along the same ray, the
face that comes first in the strip wins. To find where a world point shows, pass
``point - f.panorama.eye_point``.

Parameters
----------
directions : array_like of float
    Shape ``(..., 3)``: x, y and z of each direction; none may be zero.
rolls : FaceRolls, optional
    How the up and down faces were turned; `OrvoFile.rolls` by default.

Returns
-------
x, y : numpy.ndarray
    ``int64``, shape ``(...)``: the pixel's column in the strip and its row.

Raises
------
OrvoError
    If the file is not a panorama of six square faces.
ValueError
    If a direction is zero or not finite, or the last axis is not of length 3.

See Also
--------
face_point : the exact position within the face.
)";

const char FacePoint[] = R"(Where world directions meet a panorama's faces, in pixel centres.

Parameters
----------
directions : array_like of float
    Shape ``(..., 3)``: x, y and z of each direction, taken from the eye point; none may be
    zero.
rolls : FaceRolls, optional
    How the up and down faces were turned; `OrvoFile.rolls` by default.

Returns
-------
slot : numpy.ndarray
    ``int64``: the face's slot in the strip, 0 to 5 (see `SLOT_NAMES`).
column, row : numpy.ndarray
    ``float64``: the position within the face, 0 at the centre of its first pixel and
    ``face_size - 1`` at that of its last.

Raises
------
OrvoError
    If the file is not a panorama of six square faces.
ValueError
    If a direction is zero or not finite, or the last axis is not of length 3.
)";

const char Mask[] = R"(Where an object shows, by name.

Parameters
----------
name : str
    An object's name as the object table gives it. Every id whose newest record has this
    name is part of the mask.

Returns
-------
numpy.ndarray
    ``bool``, ``(height, width)``: True at the pixels of the object.

Raises
------
KeyError
    If no object of the table has this name.
OrvoError
    If the file has no object-id layer.

Examples
--------
>>> f = orvo.read('out/panorama.orv')
>>> int(f.mask('Stone ball').sum())
1447
)";

const char View[] = R"(The view record of a perspective or parallel render.

World coordinates have Z up; lengths are in scene units. Read-only.

Attributes
----------
projection : int
    0 perspective, 1 parallel.
projection_name : str
    'perspective' or 'parallel'.
eye_point, right_axis, up_axis, view_direction, spare_axis : tuple of float
    The camera's position and axes in world coordinates.
corner_top_left, corner_bottom_right : tuple of float
    Camera-space vectors through the centres of the corner pixels.
window : tuple of float
    ``(left, top, right, bottom)`` of the view window at the corner pixels' centres: on the
    image plane at distance 1 for a perspective view, in scene units from the eye point for
    a parallel one.
near_depth, far_depth : float
    Depth of code 0, and the end of the code range.
unit : str
    The scene unit's name: 'millimetre', 'centimetre', 'metre', 'kilometre', 'inch', 'foot'
    or 'none'.
unit_code : int
    The unit's code in the file.
unit_scale : float
    The size of one scene unit in `unit`.
)";

const char Panorama[] = R"(The view record of a cubic panorama strip.

Six square faces of `face_size` pixels side by side, in the slots of `SLOT_NAMES`, all seen
from `eye_point`. Read-only.

Attributes
----------
projection : int
    3.
projection_name : str
    'panorama'.
eye_point, up_axis, view_direction, centre_point : tuple of float
    As the file records them, in world coordinates.
scalar : float
face_size : int
    The side of one face in pixels.
near_depth, far_depth : float
    The smallest near and the largest far depth of the faces.
unit, unit_code, unit_scale
    The scene unit, as for `View`.
)";

const char FaceRolls[] = R"(How the up and down faces of a panorama were turned.

Unrolled, the camera that looks up is the +Y camera tilted up, so that its image's up is
-Y, and the one that looks down the same tilted down, its image's up +Y. A rig may instead
roll either by 180 degrees about its view direction.

Parameters
----------
up_rolled, down_rolled : bool, optional
    Whether the up or the down face is rolled by 180 degrees; False by default.
)";

const char ObjectEntry[] =
    R"(One record of the object table: id, name and colour ``(red, green, blue)``.)";

} // namespace docs
} // namespace orvo_python
