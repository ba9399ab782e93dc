#include "pixel_ray.h"

#include "orvo/panorama.h"

#include <cmath>

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

PixelRay PanoramaRay(const OrvoDocument& document, int column, int row) {
    const int n = document.height;
    if (document.width != 6 * n) {
        throw FileError(document.path, "a panorama of " + std::to_string(document.width) + " x " +
                                           std::to_string(n) +
                                           " pixels is not six square faces side by side");
    }
    const Vector3 direction = PanoramaPixelDirection(n, column, row, document.rolls);
    return {document.panorama->eyePoint, direction, column / n};
}

} // namespace

double Length(const Vector3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

ViewWindow WindowOf(const PerspectiveView& view) {
    const Vector3& a = view.cornerTopLeft;
    const Vector3& b = view.cornerBottomRight;
    if (view.projection == ProjectionParallel) {
        return {a.x, a.y, b.x, b.y};
    }
    return {a.x / a.z, a.y / a.z, b.x / b.z, b.y / b.z};
}

PixelRay RayThroughPixel(const OrvoDocument& document, int column, int row) {
    if (document.panorama) {
        return PanoramaRay(document, column, row);
    }
    if (!document.view) {
        throw FileError(document.path, "has no depth layer, so no view record");
    }
    const PerspectiveView& view = *document.view;
    const ViewWindow window = WindowOf(view);
    const double x = Between(window.left, window.right, column, document.width);
    const double y = Between(window.top, window.bottom, row, document.height);
    const Vector3 offset = Add(Scaled(view.rightAxis, x), Scaled(view.upAxis, y));
    if (view.projection == ProjectionParallel) {
        // Parallel rays leave the camera plane through the eye point, all along the view.
        return {Add(view.eyePoint, offset), view.viewDirection, -1};
    }
    if (view.projection != ProjectionPerspective) {
        throw FileError(document.path, "its view record has the unknown projection " +
                                           std::to_string(view.projection));
    }
    return {view.eyePoint, Add(view.viewDirection, offset), -1};
}

const char* SlotName(int slot) {
    return PanoramaSlotName(slot);
}
