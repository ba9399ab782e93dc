// The rays of an Orvo file's pixels and the depths of its codes, computed exactly as the orvo
// tool computes them (the same operations in the same order, in double precision), so that
// the module's figures equal `orvo query`'s to the last bit.
#pragma once

#include "orvo/format.h"
#include "orvo/panorama.h"

#include <cstdint>
#include <stdexcept>
#include <string>

namespace orvo_python {

// A file that has no values of the kind asked for (no depth layer, a panorama that is not six
// square faces); the module raises it as OrvoError.
class GeometryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The surface behind a pixel of depth t lies at origin + t * direction; its distance along the
// ray is t * |direction|.
struct Ray {
    Vector3 origin;
    Vector3 direction;
};

// The depth range of the file's view record.
struct DepthRange {
    double nearDepth;
    double farDepth;

    // Depth along the view direction of a code other than NoDepthCode.
    double Depth(std::uint32_t code) const {
        return nearDepth + static_cast<double>(code) * ((farDepth - nearDepth) / 4294967296.0);
    }
};

// The view window at the centres of the corner pixels (see WindowOf in the orvo tool): offsets
// on the image plane at distance 1 for a perspective view, offsets of the rays' origins from
// the eye point for a parallel one.
struct Window {
    double left;
    double top;
    double right;
    double bottom;
};
Window WindowOf(const PerspectiveView& view);

class ViewGeometry {
public:
    // A perspective or parallel view of an image of width x height pixels. Throws
    // GeometryError for another projection.
    ViewGeometry(const PerspectiveView& view, int width, int height);
    // A panorama strip of width x height pixels, whose up and down faces were turned as rolls
    // says. Throws GeometryError unless the strip is six square faces side by side.
    ViewGeometry(const PanoramaView& panorama, int width, int height, const FaceRolls& rolls);

    // The ray of pixel (column, row), counted from the top-left; both inside the image.
    Ray RayOf(int column, int row) const;
    const DepthRange& Range() const { return range_; }

private:
    bool isPanorama_ = false;
    bool isParallel_ = false;
    int width_;
    int height_;
    PerspectiveView view_ = {};
    Window window_ = {};
    Vector3 eye_ = {};
    FaceRolls rolls_ = UnrolledFaces;
    DepthRange range_ = {};
};

double Length(const Vector3& v);

} // namespace orvo_python
