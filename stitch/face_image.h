// One cube face as the stitcher holds it: the three planes of a face file, its view record and
// its object table, and where the cube face lies in the image.
#pragma once

#include "orvo/format.h"

#include <cstdint>
#include <deque>
#include <string>

// Cube directions, in the order the faces stand in the panorama strip.
const int SlotPositiveY = 0;
const int SlotPositiveX = 1;
const int SlotNegativeY = 2;
const int SlotNegativeX = 3;
const int SlotUp = 4;   // +Z
const int SlotDown = 5; // -Z
const int SlotCount = 6;
const int NonStandardDirection = -1;

// The slot of a view looking along one of the six axis directions, or NonStandardDirection.
// A vector component counts as zero when its magnitude is below tolerance. Only the
// components that tell the directions apart are examined: for a side face the camera's up
// must be +Z and its view and right axes horizontal; for the top and bottom faces the view
// must be vertical, the right axis along X and the up axis along Y.
int ClassifyViewDirection(const PerspectiveView& view, double tolerance);

class FaceImage {
public:
    // No planes, zero sizes, the default view and no objects.
    FaceImage();
    FaceImage(const FaceImage&) = delete;
    FaceImage& operator=(const FaceImage&) = delete;
    // Releases the planes that are present.
    ~FaceImage();

    // Loads the face file at path with the library's reader. On false the planes read so far
    // stay with this face and are released with it.
    bool Read(const std::string& path);

    // Fits the 90-degree cube face into the image described by the view's corner vectors:
    // on true, faceSize is the side of the square cube face in pixels and cropColumn and
    // cropRow say where its top-left pixel lies in the image. False when the pixels are not
    // square, when the image covers less than the whole face, or when any ratio, density,
    // size or crop value is not finite or does not fit a 32-bit int (a zero-width window, a
    // corner vector with z = 0).
    bool FitToCubeFace(std::int32_t& faceSize);

    // Planes of width x height pixels, row after row, as the reader allocates them (page
    // memory owned by this face): one depth code, one object id, three colour bytes a pixel.
    std::uint32_t* depth;
    std::uint16_t* ids;
    unsigned char* colour;
    std::int32_t width;
    std::int32_t height;
    std::int32_t cropColumn;
    std::int32_t cropRow;
    PerspectiveView view;
    std::deque<ObjectEntry> objects;
};
