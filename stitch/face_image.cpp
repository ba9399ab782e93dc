#include "face_image.h"

#include "orvo/reader.h"
#include "platform/kernel32.h"

#include <cmath>
#include <limits>

namespace {

// Truncates toward zero; false when the result is not finite or does not fit an int32.
bool TruncateToInt32(double value, std::int32_t& result) {
    const double whole = std::trunc(value);
    if (!std::isfinite(whole) || whole < std::numeric_limits<std::int32_t>::min() ||
        whole > std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    result = static_cast<std::int32_t>(whole);
    return true;
}

void ReleasePlane(void* plane) {
    if (plane != nullptr) {
        VirtualFree(plane, 0, MEM_RELEASE);
    }
}

} // namespace

int ClassifyViewDirection(const PerspectiveView& view, double tolerance) {
    // NaN is not below the tolerance, so it counts as non-zero; a NaN whose sign decides the
    // slot makes the direction non-standard instead of falling to an arbitrary slot.
    const auto nonZero = [tolerance](double component) {
        return !(std::fabs(component) < tolerance);
    };
    const Vector3& up = view.upAxis;
    const Vector3& forward = view.viewDirection;
    const Vector3& right = view.rightAxis;

    if (nonZero(up.x) || nonZero(up.y) == nonZero(up.z)) {
        return NonStandardDirection;
    }
    if (nonZero(up.z)) {
        if (!(up.z > 0)) {
            return NonStandardDirection;
        }
        if (nonZero(forward.x) == nonZero(forward.y) || nonZero(right.x) == nonZero(right.y)) {
            return NonStandardDirection;
        }
        const double along = nonZero(forward.x) ? forward.x : forward.y;
        if (std::isnan(along)) {
            return NonStandardDirection;
        }
        if (nonZero(forward.x)) {
            return along > 0 ? SlotPositiveX : SlotNegativeX;
        }
        return along > 0 ? SlotPositiveY : SlotNegativeY;
    }
    if (nonZero(forward.x) || nonZero(forward.y) || nonZero(right.y) || nonZero(right.z) ||
        std::isnan(forward.z)) {
        return NonStandardDirection;
    }
    return forward.z > 0 ? SlotUp : SlotDown;
}

FaceImage::FaceImage()
    : depth(nullptr), ids(nullptr), colour(nullptr), width(0), height(0), cropColumn(0),
      cropRow(0) {
    InitPerspectiveView(view);
}

FaceImage::~FaceImage() {
    ReleasePlane(depth);
    ReleasePlane(ids);
    ReleasePlane(colour);
}

bool FaceImage::Read(const std::string& path) {
    int readWidth = width;
    int readHeight = height;
    const bool ok = ReadOrvoFile(path, readWidth, readHeight, view, objects, colour, depth, ids);
    width = readWidth;
    height = readHeight;
    return ok;
}

bool FaceImage::FitToCubeFace(std::int32_t& faceSize) {
    const double left = view.cornerTopLeft.x / view.cornerTopLeft.z;
    const double top = view.cornerTopLeft.y / view.cornerTopLeft.z;
    const double right = view.cornerBottomRight.x / view.cornerBottomRight.z;
    const double bottom = view.cornerBottomRight.y / view.cornerBottomRight.z;
    // Pixels per unit of the image plane at distance 1.
    const double densityX = (width - 1.0) / (right - left);
    const double densityY = (height - 1.0) / (top - bottom);
    if (!std::isfinite(left) || !std::isfinite(top) || !std::isfinite(right) ||
        !std::isfinite(bottom) || !std::isfinite(densityX) || !std::isfinite(densityY)) {
        return false;
    }
    // Pixel steps across the cube face, which spans -1 to +1 in both directions.
    std::int32_t stepsX;
    std::int32_t stepsY;
    if (!TruncateToInt32(2 * densityX + 0.5, stepsX) ||
        !TruncateToInt32(2 * densityY + 0.5, stepsY) || stepsX != stepsY) {
        return false;
    }
    // Where the face's top-left corner (-1, +1) falls in the image.
    std::int32_t column;
    std::int32_t row;
    if (!TruncateToInt32(0.5 - (left + 1) * densityX, column) ||
        !TruncateToInt32((top - 1) * densityY + 0.5, row)) {
        return false;
    }
    // A mirrored window gives negative steps; no face of fewer than one pixel exists.
    if (stepsX < 0 || stepsX == std::numeric_limits<std::int32_t>::max()) {
        return false;
    }
    const std::int32_t size = stepsX + 1;
    if (column < 0 || row < 0 || static_cast<std::int64_t>(column) + size > width ||
        static_cast<std::int64_t>(row) + size > height) {
        return false;
    }
    cropColumn = column;
    cropRow = row;
    faceSize = size;
    return true;
}
