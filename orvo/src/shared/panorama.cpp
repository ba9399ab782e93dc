#include "orvo/panorama.h"

#include <algorithm>

namespace {

const char* const SlotNames[PanoramaSlotCount] = {"+Y", "+X", "-Y", "-X", "+Z (up)", "-Z (down)"};

const SlotCamera UnrolledCameras[PanoramaSlotCount] = {
    {{0, 1, 0}, {1, 0, 0}, {0, 0, 1}},   {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}},
    {{0, -1, 0}, {-1, 0, 0}, {0, 0, 1}}, {{-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
    {{0, 0, 1}, {1, 0, 0}, {0, -1, 0}},  {{0, 0, -1}, {1, 0, 0}, {0, 1, 0}},
};

Vector3 Negated(const Vector3& v) {
    return {-v.x, -v.y, -v.z};
}

double Dot(const Vector3& a, const Vector3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// The offset of pixel i of n between the centres of the first and the last pixel, which
// lie at -1 and 1.
double Offset(int i, int n) {
    return n > 1 ? -1.0 + 2.0 * i / (n - 1) : 0.0;
}

} // namespace

SlotCamera PanoramaSlotCamera(int slot, const FaceRolls& rolls) {
    SlotCamera camera = UnrolledCameras[slot];
    const bool rolled = (slot == PanoramaSlotUp && rolls.upRolled) ||
                        (slot == PanoramaSlotDown && rolls.downRolled);
    if (rolled) {
        camera.right = Negated(camera.right);
        camera.up = Negated(camera.up);
    }
    return camera;
}

const char* PanoramaSlotName(int slot) {
    return slot >= 0 && slot < PanoramaSlotCount ? SlotNames[slot] : "";
}

Vector3 PanoramaPixelDirection(int faceSize, int column, int row, const FaceRolls& rolls) {
    const SlotCamera camera = PanoramaSlotCamera(column / faceSize, rolls);
    const double x = Offset(column % faceSize, faceSize);
    const double y = -Offset(row, faceSize);
    return {camera.forward.x + x * camera.right.x + y * camera.up.x,
            camera.forward.y + x * camera.right.y + y * camera.up.y,
            camera.forward.z + x * camera.right.z + y * camera.up.z};
}

PanoramaPoint PanoramaPointOf(const Vector3& direction, int faceSize, const FaceRolls& rolls) {
    int best = 0;
    double bestAlong = Dot(direction, UnrolledCameras[0].forward);
    for (int slot = 1; slot < PanoramaSlotCount; ++slot) {
        const double along = Dot(direction, UnrolledCameras[slot].forward);
        if (along > bestAlong) {
            best = slot;
            bestAlong = along;
        }
    }
    const SlotCamera camera = PanoramaSlotCamera(best, rolls);
    const double x = Dot(direction, camera.right) / bestAlong;
    const double y = Dot(direction, camera.up) / bestAlong;
    const double last = faceSize - 1;
    const double column = std::min(last, std::max(0.0, (x + 1.0) * 0.5 * last));
    const double row = std::min(last, std::max(0.0, (1.0 - y) * 0.5 * last));
    return {best, column, row};
}
