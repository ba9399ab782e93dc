#include "view_geometry.h"

#include <cmath>

namespace orvo_python {

namespace {

Vector3 Add(const Vector3& a, const Vector3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}

Vector3 Scaled(const Vector3& v, double s) {
    return {v.x * s, v.y * s, v.z * s};
}

// The offset of pixel i of n between the centres of the first and the last pixel.
double Between(double first, double last, int i, int n) {
    return n > 1 ? first + i * (last - first) / (n - 1) : 0.5 * (first + last);
}

} // namespace

double Length(const Vector3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

Window WindowOf(const PerspectiveView& view) {
    const Vector3& a = view.cornerTopLeft;
    const Vector3& b = view.cornerBottomRight;
    if (view.projection == ProjectionParallel) {
        return {a.x, a.y, b.x, b.y};
    }
    return {a.x / a.z, a.y / a.z, b.x / b.z, b.y / b.z};
}

ViewGeometry::ViewGeometry(const PerspectiveView& view, int width, int height)
    : isParallel_(view.projection == ProjectionParallel), width_(width), height_(height),
      view_(view), window_(WindowOf(view)), range_{view.nearDepth, view.farDepth} {
    if (view.projection != ProjectionPerspective && view.projection != ProjectionParallel) {
        throw GeometryError("its view record has the unknown projection " +
                            std::to_string(view.projection));
    }
}

ViewGeometry::ViewGeometry(const PanoramaView& panorama, int width, int height,
                           const FaceRolls& rolls)
    : isPanorama_(true), width_(width), height_(height), eye_(panorama.eyePoint),
      rolls_(rolls), range_{panorama.nearDepth, panorama.farDepth} {
    if (width != 6 * height) {
        throw GeometryError("a panorama of " + std::to_string(width) + " x " +
                            std::to_string(height) +
                            " pixels is not six square faces side by side");
    }
}

Ray ViewGeometry::RayOf(int column, int row) const {
    if (isPanorama_) {
        return {eye_, PanoramaPixelDirection(height_, column, row, rolls_)};
    }
    const double x = Between(window_.left, window_.right, column, width_);
    const double y = Between(window_.top, window_.bottom, row, height_);
    const Vector3 offset = Add(Scaled(view_.rightAxis, x), Scaled(view_.upAxis, y));
    if (isParallel_) {
        // Parallel rays leave the camera plane through the eye point, all along the view.
        return {Add(view_.eyePoint, offset), view_.viewDirection};
    }
    return {view_.eyePoint, Add(view_.viewDirection, offset)};
}

} // namespace orvo_python
