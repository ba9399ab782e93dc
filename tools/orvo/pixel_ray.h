// Where the pixels of an Orvo file look: the ray through a pixel's centre in world
// coordinates, for the three kinds of view a file can record.
#pragma once

#include "orvo_document.h"

#include <cstdint>

// The ray of one pixel: the surface behind a pixel of depth t (along the view direction)
// lies at origin + t * direction, and its distance along the ray is t * |direction|.
struct PixelRay {
    Vector3 origin;
    Vector3 direction;
    int slot; // the panorama's face slot the pixel lies in, or -1
};

// The view window from the corner vectors, at the centres of the corner pixels: for a
// perspective view the offsets on the image plane at distance 1 (x/z and y/z of the corners),
// for a parallel view the offsets of the rays' origins from the eye point in scene units
// (x and y of the corners). x grows to the right, y upwards.
struct ViewWindow {
    double left;
    double top;
    double right;
    double bottom;
};
ViewWindow WindowOf(const PerspectiveView& view);

// The ray of pixel (column, row), counted from the top-left. The document needs a view
// record; a panorama must be six square faces side by side. Throws FileError otherwise.
PixelRay RayThroughPixel(const OrvoDocument& document, int column, int row);

// The panorama's slot names, left to right: "+Y", "+X", "-Y", "-X", "+Z (up)", "-Z (down)".
const char* SlotName(int slot);

double Length(const Vector3& v);
