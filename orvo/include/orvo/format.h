// The Orvo file format: records and constants shared by both writers and the reader.
//
// An Orvo file is a classic little-endian TIFF file with one image directory per layer
// (colour, then depth, then object id; absent layers are left out of the chain). Every
// directory carries the private tag QuorvaneSubfileData, which points to a layer header and
// its body; the body holds what TIFF has no tag for: the view record of the depth layer and
// the object table of the object-id layer.
//
// Two revisions exist. Revision 1.0 is written byte by byte by OrvoStreamWriter; revision
// 1.3 is written through libtiff by the plug-in's writer. The reader accepts both and uses
// only the fields of revision 1.0.
//
// The records below are the in-memory forms. They are never written to disk as they stand:
// the packing functions turn them into the packed little-endian bytes of the file and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Layer mask bits, as given to SetLayers.
const std::uint32_t LayerColour = 1;
const std::uint32_t LayerDepth = 2;
const std::uint32_t LayerObjectId = 4;
const std::uint32_t LayerAll = LayerColour | LayerDepth | LayerObjectId;

// Depth code of a pixel where nothing was hit. Any other code c stands for the depth
// nearDepth + c * (farDepth - nearDepth) / 2^32, measured along the view direction in scene
// units.
const std::uint32_t NoDepthCode = 0xFFFFFFFFu;

// Object id of a pixel that shows no object.
const std::uint16_t NoObjectId = 0;

// Private TIFF tags. QuorvaneSubfileData (LONG, 1) holds the offset of the directory's layer
// header. QuorvanePartialTileOffsets (LONG, variable) is registered but never written.
const unsigned TagQuorvaneSubfileData = 34953;
const unsigned TagQuorvanePartialTileOffsets = 34954;

// Layer header kinds.
const std::uint32_t KindColour = 0;
const std::uint32_t KindPerspectiveDepth = 1; // depth layer with a PerspectiveView body
const std::uint32_t KindObjectId = 2;
const std::uint32_t KindPanoramaDepth = 8; // depth layer with a PanoramaView body
// "colour", "depth", "object-id", "panorama depth"; "unknown" for any other kind.
const char* KindName(std::uint32_t kind);

// Projections of a view record.
const std::uint32_t ProjectionPerspective = 0;
const std::uint32_t ProjectionParallel = 1;
const std::uint32_t ProjectionPanorama = 3;
// "perspective", "parallel", "panorama"; "unknown" for any other projection.
const char* ProjectionName(std::uint32_t projection);

// Scene unit codes of a view record.
const std::uint32_t UnitNone = 0;
const std::uint32_t UnitMillimetre = 2;
const std::uint32_t UnitCentimetre = 3;
const std::uint32_t UnitMetre = 4;
const std::uint32_t UnitKilometre = 5;
const std::uint32_t UnitInch = 7;
const std::uint32_t UnitFoot = 8;
// "millimetre", "centimetre", "metre", "kilometre", "inch", "foot"; "none" for any other code.
const char* UnitName(std::uint32_t unitCode);

// Sizes in the file.
const std::size_t LayerHeaderSize = 8;
const std::size_t PackedPerspectiveViewSize = 200; // u32, 24 doubles, u32
const std::size_t PackedPanoramaViewSize = 136;    // u32, 16 doubles, u32

// 8 bytes at the offset in QuorvaneSubfileData, followed directly by the body of the kind.
struct LayerHeader {
    std::uint32_t kind;
    std::uint16_t major; // always 1
    std::uint16_t minor; // revision 1.0: 0; revision 1.3: colour 3, depth 0, object id 1
};
static_assert(sizeof(LayerHeader) == 8, "LayerHeader is 8 bytes");

struct Vector3 {
    double x;
    double y;
    double z;
};
static_assert(sizeof(Vector3) == 24, "Vector3 is three packed doubles");

// The view of a rendered image. World coordinates have Z up; lengths are in scene units.
struct PerspectiveView {
    std::uint32_t projection; // ProjectionPerspective or ProjectionParallel
    Vector3 eyePoint;         // camera position in world coordinates
    Vector3 rightAxis;        // camera x axis in world coordinates
    Vector3 upAxis;           // camera y axis (up) in world coordinates
    Vector3 viewDirection;    // direction of view in world coordinates (camera -z)
    Vector3 spareAxis;        // filled by no writer; keeps its default
    // Camera-space vectors through the centres of the top-left and bottom-right pixels. Only
    // x/z and y/z are meaningful: they give the view window's left, top, right and bottom on
    // the image plane at distance 1.
    Vector3 cornerTopLeft;
    Vector3 cornerBottomRight;
    double nearDepth;       // depth of depth code 0
    double farDepth;        // end of the depth code range (code 2^32, never reached)
    double unitScale;       // size of one scene unit in the unit of unitCode
    std::uint32_t unitCode; // Unit* constant
};
static_assert(sizeof(PerspectiveView) == 208, "PerspectiveView is 208 bytes in memory");

// The view of a cubic panorama strip.
struct PanoramaView {
    std::uint32_t projection; // ProjectionPanorama
    Vector3 eyePoint;         // common eye point of the six faces
    Vector3 upAxis;
    Vector3 viewDirection;
    Vector3 centrePoint;
    double scalar;
    double nearDepth; // smallest nearDepth of the faces
    double farDepth;  // largest farDepth of the faces
    double unitScale;
    std::uint32_t unitCode;
};
static_assert(sizeof(PanoramaView) == 144, "PanoramaView is 144 bytes in memory");

// One entry of an object table. Names are UTF-16 code units in memory; revision 1.0 stores
// them in the ANSI code page, revision 1.3 in UTF-8.
struct ObjectEntry {
    std::uint16_t id; // as stored in the object-id layer; never 0
    std::wstring name;
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
};

// Fill a view record with the format's defaults.
PerspectiveView& InitPerspectiveView(PerspectiveView& view);
PanoramaView& InitPanoramaView(PanoramaView& view);

// Packing to and from the file's little-endian bytes, field by field, correct on any host
// byte order. Unpacking with bigEndian set reads a file of the other byte order.
void PackPerspectiveView(const PerspectiveView& view, unsigned char out[PackedPerspectiveViewSize]);
void UnpackPerspectiveView(const unsigned char in[PackedPerspectiveViewSize], PerspectiveView& view,
                           bool bigEndian = false);
void PackPanoramaView(const PanoramaView& view, unsigned char out[PackedPanoramaViewSize]);
void UnpackPanoramaView(const unsigned char in[PackedPanoramaViewSize], PanoramaView& view,
                        bool bigEndian = false);
void PackLayerHeader(const LayerHeader& header, unsigned char out[LayerHeaderSize]);
