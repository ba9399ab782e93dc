#include "face_image.h"

#include "test_faces.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using testfaces::SetCubeAxes;
using testfaces::SetWindow;

namespace {

const double Tolerance = 1e-7;

PerspectiveView CubeView(int slot) {
    PerspectiveView view;
    InitPerspectiveView(view);
    view.projection = ProjectionPerspective;
    SetCubeAxes(view, slot);
    return view;
}

TEST(ClassifyViewDirection, EachCubeCameraFindsItsSlot) {
    for (int slot = 0; slot < SlotCount; ++slot) {
        EXPECT_EQ(ClassifyViewDirection(CubeView(slot), Tolerance), slot) << "slot " << slot;
    }
    // Components below the tolerance count as zero; so do the ones never examined.
    PerspectiveView view = CubeView(SlotPositiveX);
    view.viewDirection = {1, 0.9e-7, 0.5};
    view.rightAxis = {-0.9e-7, -1, 123};
    view.upAxis = {0.9e-7, -0.9e-7, 1};
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), SlotPositiveX);
    // The top face's right axis x and the sign of its up axis y are not examined.
    view = CubeView(SlotUp);
    view.rightAxis.x = -1;
    view.upAxis.y = 1;
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), SlotUp);
}

TEST(ClassifyViewDirection, UpsideDownAndTiltedCamerasAreNonStandard) {
    PerspectiveView view = CubeView(SlotPositiveY);
    view.upAxis = {0, 0, -1}; // a side face upside down
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);

    view = CubeView(SlotPositiveY);
    view.upAxis.x = 0.5; // rolled
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);

    view = CubeView(SlotPositiveY);
    view.upAxis = {0, 0.7, 0.7}; // both up components non-zero
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);

    view = CubeView(SlotPositiveY);
    view.viewDirection = {0.7, 0.7, 0}; // looking along a diagonal
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);

    view = CubeView(SlotPositiveY);
    view.rightAxis = {0.7, 0.7, 0};
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);

    view = CubeView(SlotDown);
    view.viewDirection.y = 0.1; // not straight down
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);

    view = CubeView(SlotDown);
    view.rightAxis.z = 0.1;
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);

    view = CubeView(SlotPositiveY);
    view.upAxis = {0, 0, 0}; // no up axis at all
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);
}

TEST(ClassifyViewDirection, AComponentEqualToTheToleranceIsNonZero) {
    PerspectiveView view = CubeView(SlotPositiveY);
    view.upAxis.x = 1e-3;
    EXPECT_EQ(ClassifyViewDirection(view, 1e-3), NonStandardDirection);
    EXPECT_EQ(ClassifyViewDirection(view, 1.0000001e-3), SlotPositiveY);

    view = CubeView(SlotNegativeX);
    view.viewDirection.y = 1e-3;
    EXPECT_EQ(ClassifyViewDirection(view, 1e-3), NonStandardDirection);
    EXPECT_EQ(ClassifyViewDirection(view, 2e-3), SlotNegativeX);
}

TEST(ClassifyViewDirection, TopFaceUpAlongMinusYPassesAndSignsDecideTheSlot) {
    PerspectiveView view = CubeView(SlotUp);
    ASSERT_EQ(view.upAxis.y, -1.0);
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), SlotUp);
    // A bottom face is anything vertical that does not look up, a zero z included.
    view.viewDirection.z = 0;
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), SlotDown);
    view.viewDirection.z = -3;
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), SlotDown);
}

TEST(ClassifyViewDirection, NotANumberNeverPicksASlot) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    PerspectiveView view = CubeView(SlotPositiveX);
    view.viewDirection.x = nan;
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);
    view = CubeView(SlotUp);
    view.viewDirection.z = nan;
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);
    view = CubeView(SlotPositiveY);
    view.upAxis.z = nan;
    EXPECT_EQ(ClassifyViewDirection(view, Tolerance), NonStandardDirection);
}

struct Fit {
    bool ok;
    std::int32_t size;
    std::int32_t column;
    std::int32_t row;
};

Fit FitFace(int width, int height, const Vector3& topLeft, const Vector3& bottomRight) {
    FaceImage face;
    face.width = width;
    face.height = height;
    face.view.cornerTopLeft = topLeft;
    face.view.cornerBottomRight = bottomRight;
    Fit fit{false, -1, -1, -1};
    fit.ok = face.FitToCubeFace(fit.size);
    fit.column = face.cropColumn;
    fit.row = face.cropRow;
    return fit;
}

Fit FitWindow(int width, int height, double extentX, double extentY) {
    PerspectiveView view;
    SetWindow(view, extentX, extentY);
    return FitFace(width, height, view.cornerTopLeft, view.cornerBottomRight);
}

void ExpectFit(const Fit& fit, std::int32_t size, std::int32_t column, std::int32_t row) {
    EXPECT_TRUE(fit.ok);
    EXPECT_EQ(fit.size, size);
    EXPECT_EQ(fit.column, column);
    EXPECT_EQ(fit.row, row);
}

TEST(FitToCubeFace, ExactRenderIsTheWholeImage) {
    for (int size : {1, 2, 5, 64, 2048}) {
        SCOPED_TRACE(size);
        ExpectFit(FitWindow(size, size, 1.0, 1.0), size, 0, 0);
    }
    // Scaling a corner vector does not move the window.
    ExpectFit(FitFace(5, 5, {3, -3, -3}, {-0.5, 0.5, -0.5}), 5, 0, 0);
}

TEST(FitToCubeFace, WiderRenderIsCroppedToItsMiddle) {
    // 9 pixels over [-2, 2]: two pixels a unit, the face is the middle 5 columns from 2.
    ExpectFit(FitWindow(9, 9, 2.0, 2.0), 5, 2, 2);
    // A wide, short image whose pixels are still square.
    ExpectFit(FitWindow(9, 7, 2.0, 1.5), 5, 2, 1);
    // Slightly wider than 90 degrees.
    ExpectFit(FitWindow(101, 101, 1.01, 1.01), 100, 0, 0);
    ExpectFit(FitWindow(106, 106, 1.05, 1.05), 101, 3, 3);
}

TEST(FitToCubeFace, NarrowerOrStretchedRenderDoesNotFit) {
    EXPECT_FALSE(FitWindow(9, 9, 0.9, 0.9).ok);  // covers less than the face
    EXPECT_FALSE(FitWindow(9, 9, 1.0, 1.2).ok);  // pixels taller than wide
    EXPECT_FALSE(FitWindow(9, 11, 1.0, 1.0).ok); // ditto, by the pixel count
    // An off-centre window [0, 2] that misses the face's left half.
    EXPECT_FALSE(FitFace(5, 5, {0, -1, -1}, {-2, 1, -1}).ok);
    // Mirrored windows give negative densities: nothing of one pixel or more fits.
    EXPECT_FALSE(FitWindow(5, 5, -1.0, -1.0).ok);
}

TEST(FitToCubeFace, NonFiniteOrHugeValuesDoNotFit) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // A zero-width window: infinite density.
    EXPECT_FALSE(FitFace(5, 5, {0, 0, -1}, {0, 0, -1}).ok);
    // A one-pixel image over a zero-width window: 0 / 0.
    EXPECT_FALSE(FitFace(1, 1, {0, 0, -1}, {0, 0, -1}).ok);
    // Corner vectors with z = 0.
    EXPECT_FALSE(FitFace(5, 5, {1, -1, 0}, {-1, 1, -1}).ok);
    EXPECT_FALSE(FitFace(5, 5, {1, -1, -1}, {-1, 1, 0}).ok);
    EXPECT_FALSE(FitFace(5, 5, {nan, -1, -1}, {-1, 1, -1}).ok);
    EXPECT_FALSE(FitFace(5, 5, {1, -1, -1}, {-1, inf, -1}).ok);
    // Densities whose step counts do not fit an int.
    EXPECT_FALSE(FitFace(5, 5, {1e-12, -1e-12, -1}, {-1e-12, 1e-12, -1}).ok);
}

TEST(FitToCubeFace, TheLargestImageFitsWithoutOverflow) {
    ExpectFit(FitWindow(2147483647, 2147483647, 1.0, 1.0), 2147483647, 0, 0);
}

} // namespace
