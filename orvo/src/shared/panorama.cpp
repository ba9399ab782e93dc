#include "orvo/panorama.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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

double Length(const Vector3& v) {
    return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
}

// The depth along its view direction that a code other than NoDepthCode stands for.
double DepthOf(const PanoramaPixels& pixels, std::uint32_t code) {
    return pixels.nearDepth +
           static_cast<double>(code) * ((pixels.farDepth - pixels.nearDepth) / 4294967296.0);
}

bool SameColour(const unsigned char* a, const unsigned char* b) {
    for (int k = 0; k < 3; ++k) {
        if (std::abs(int(a[k]) - int(b[k])) > RollColourTolerance) {
            return false;
        }
    }
    return true;
}

// Compares the pixel of the side face's row that touches the up or down face with the pixel
// of that face that looks along the same ray when the face has the given rolls.
void ComparePair(const PanoramaPixels& pixels, int slot, const FaceRolls& rolls, int sideColumn,
                 int sideRow, EdgeAgreement& depth, EdgeAgreement& colour) {
    const int n = pixels.faceSize;
    const std::size_t stride = std::size_t(6) * std::size_t(n);
    const Vector3 ray = PanoramaPixelDirection(n, sideColumn, sideRow, rolls);
    const SlotCamera camera = PanoramaSlotCamera(slot, rolls);
    const double along = Dot(ray, camera.forward);
    const double x = Dot(ray, camera.right) / along;
    const double y = Dot(ray, camera.up) / along;
    const int last = n - 1;
    const int column = std::min(last, std::max(0, int(std::lround((x + 1.0) * 0.5 * last))));
    const int row = std::min(last, std::max(0, int(std::lround((1.0 - y) * 0.5 * last))));
    const std::size_t side = std::size_t(sideRow) * stride + std::size_t(sideColumn);
    const std::size_t face = std::size_t(row) * stride + std::size_t(slot * n + column);
    if (pixels.depth != nullptr) {
        const std::uint32_t a = pixels.depth[side];
        const std::uint32_t b = pixels.depth[face];
        if (a != NoDepthCode || b != NoDepthCode) {
            ++depth.compared;
            if (a != NoDepthCode && b != NoDepthCode) {
                const Vector3 own = PanoramaPixelDirection(n, slot * n + column, row, rolls);
                const double tolerance =
                    (pixels.farDepth - pixels.nearDepth) * RollDistanceTolerance * Length(ray);
                const double distance = DepthOf(pixels, a) * Length(ray);
                const double faceDistance = DepthOf(pixels, b) * Length(own);
                depth.agreeing += std::fabs(distance - faceDistance) <= tolerance;
            }
        }
    }
    if (pixels.colour != nullptr) {
        ++colour.compared;
        colour.agreeing += SameColour(pixels.colour + 3 * side, pixels.colour + 3 * face);
    }
}

// Which roll one kind of evidence chooses: 0 or 1, or -1 when it does not decide.
int Decide(const EdgeAgreement (&evidence)[2], int faceSize) {
    const EdgeAgreement& u = evidence[0];
    const EdgeAgreement& r = evidence[1];
    // Compared as fractions agreeing/compared, without rounding.
    const long long unrolledScore = static_cast<long long>(u.agreeing) * r.compared;
    const long long rolledScore = static_cast<long long>(r.agreeing) * u.compared;
    const int better = rolledScore > unrolledScore ? 1 : 0;
    const EdgeAgreement& chosen = evidence[better];
    const EdgeAgreement& other = evidence[1 - better];
    const int chosenMisses = chosen.compared - chosen.agreeing;
    const int otherMisses = other.compared - other.agreeing;
    const bool decides = chosen.compared > 0 &&
                         chosen.agreeing >= RollAgreementNeeded * chosen.compared &&
                         otherMisses >= 4 * chosenMisses && 2 * otherMisses >= faceSize;
    return decides ? better : -1;
}

FaceRollFinding FindFaceRoll(const PanoramaPixels& pixels, int slot) {
    FaceRollFinding finding = {};
    const int n = pixels.faceSize;
    // The side faces' top rows touch the up face, their bottom rows the down face.
    const int sideRow = slot == PanoramaSlotUp ? 0 : n - 1;
    for (int rolled = 0; rolled < 2; ++rolled) {
        const FaceRolls rolls = {slot == PanoramaSlotUp && rolled == 1,
                                 slot == PanoramaSlotDown && rolled == 1};
        for (int sideColumn = 0; sideColumn < 4 * n; ++sideColumn) {
            ComparePair(pixels, slot, rolls, sideColumn, sideRow, finding.depth[rolled],
                        finding.colour[rolled]);
        }
    }
    int choice = Decide(finding.depth, n);
    finding.cue = RollCueDepth;
    if (choice < 0) {
        choice = Decide(finding.colour, n);
        finding.cue = RollCueColour;
    }
    finding.determined = choice >= 0;
    finding.rolled = choice == 1;
    if (!finding.determined) {
        finding.cue = RollCueNone;
    }
    return finding;
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

double AgreementFraction(const EdgeAgreement& agreement) {
    return agreement.compared > 0 ? double(agreement.agreeing) / agreement.compared : 0.0;
}

PanoramaRollFinding FindPanoramaRolls(const PanoramaPixels& pixels) {
    PanoramaRollFinding found = {};
    found.rolls = UnrolledFaces;
    if (pixels.faceSize < 2) {
        return found;
    }
    found.up = FindFaceRoll(pixels, PanoramaSlotUp);
    found.down = FindFaceRoll(pixels, PanoramaSlotDown);
    found.rolls = {found.up.rolled, found.down.rolled};
    return found;
}
