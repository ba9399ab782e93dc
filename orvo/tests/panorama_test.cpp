#include "orvo/panorama.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

bool SameRay(const Vector3& a, const Vector3& b) {
    // Both end on the unit cube, so the same ray means the same point.
    return std::fabs(a.x - b.x) < 1e-12 && std::fabs(a.y - b.y) < 1e-12 &&
           std::fabs(a.z - b.z) < 1e-12;
}

} // namespace

// Every pixel's direction leads back to the pixel, or, on a cube edge, to a pixel of the
// neighbouring face that looks along the same ray; every border pixel has such a twin, so
// the faces meet without a gap or an overlap, with either roll of the up and down faces.
TEST(PanoramaGeometry, PixelsAndDirectionsMeetAcrossEveryEdge) {
    for (const int n : {2, 5}) {
        for (const FaceRolls rolls : {FaceRolls{false, false}, FaceRolls{true, false},
                                      FaceRolls{false, true}, FaceRolls{true, true}}) {
            for (int column = 0; column < 6 * n; ++column) {
                for (int row = 0; row < n; ++row) {
                    const Vector3 d = PanoramaPixelDirection(n, column, row, rolls);
                    const PanoramaPoint p = PanoramaPointOf(d, n, rolls);
                    const int c = p.slot * n + static_cast<int>(std::lround(p.column));
                    const int r = static_cast<int>(std::lround(p.row));
                    ASSERT_TRUE(SameRay(d, PanoramaPixelDirection(n, c, r, rolls)))
                        << column << "," << row;
                    const bool border =
                        column % n == 0 || column % n == n - 1 || row == 0 || row == n - 1;
                    int twins = 0;
                    for (int other = 0; other < 6 * n && border; ++other) {
                        for (int otherRow = 0; otherRow < n; ++otherRow) {
                            twins += other / n != column / n &&
                                     SameRay(d, PanoramaPixelDirection(n, other, otherRow, rolls));
                        }
                    }
                    const bool corner =
                        (column % n == 0 || column % n == n - 1) && (row == 0 || row == n - 1);
                    EXPECT_EQ(twins, !border ? 0 : corner ? 2 : 1) << column << "," << row;
                }
            }
        }
    }
}

// A rolled face shows what the unrolled one shows at the opposite pixel, and the side faces
// do not move.
TEST(PanoramaGeometry, RollTurnsOnlyItsOwnFace) {
    const int n = 4;
    for (int column = 0; column < 6 * n; ++column) {
        for (int row = 0; row < n; ++row) {
            const int slot = column / n;
            const Vector3 rolled = PanoramaPixelDirection(n, column, row, {true, true});
            const int turned = slot * n + (n - 1 - column % n);
            const Vector3 expected =
                slot >= PanoramaSlotUp
                    ? PanoramaPixelDirection(n, turned, n - 1 - row, UnrolledFaces)
                    : PanoramaPixelDirection(n, column, row, UnrolledFaces);
            EXPECT_TRUE(SameRay(rolled, expected)) << column << "," << row;
        }
    }
    // The up face's bottom row meets the +Y face's top row when unrolled.
    EXPECT_TRUE(SameRay(PanoramaPixelDirection(n, 4 * n + 1, n - 1, UnrolledFaces),
                        PanoramaPixelDirection(n, 1, 0, UnrolledFaces)));
}

// A strip of a box room around an off-centre eye, rendered with the given rolls: the finder
// gives those rolls back from the distances alone, and nothing without depth and colour.
TEST(PanoramaRolls, FoundFromTheEdgesDistances) {
    const int n = 9;
    const double low[3] = {-2.0, -3.0, 0.0};
    const double high[3] = {3.0, 0.5, 2.5};
    const double eye[3] = {2.2, -0.1, 1.6};
    for (const FaceRolls rolls : {FaceRolls{false, false}, FaceRolls{true, false},
                                  FaceRolls{false, true}, FaceRolls{true, true}}) {
        std::vector<std::uint32_t> codes(std::size_t(6) * n * n);
        for (int row = 0; row < n; ++row) {
            for (int column = 0; column < 6 * n; ++column) {
                const Vector3 d = PanoramaPixelDirection(n, column, row, rolls);
                const double v[3] = {d.x, d.y, d.z};
                double t = 1e9;
                for (int k = 0; k < 3; ++k) {
                    if (v[k] != 0) {
                        t = std::min(t, ((v[k] > 0 ? high[k] : low[k]) - eye[k]) / v[k]);
                    }
                }
                // Depths over [0, 16], coded as the writers code them.
                codes[std::size_t(row) * 6 * n + column] =
                    static_cast<std::uint32_t>(t / 16.0 * 4294967296.0);
            }
        }
        const PanoramaRollFinding found = FindPanoramaRolls({n, nullptr, codes.data(), 0.0, 16.0});
        EXPECT_EQ(found.rolls.upRolled, rolls.upRolled);
        EXPECT_EQ(found.rolls.downRolled, rolls.downRolled);
        for (const FaceRollFinding* face : {&found.up, &found.down}) {
            EXPECT_TRUE(face->determined);
            EXPECT_EQ(face->cue, RollCueDepth);
            EXPECT_EQ(face->depth[face->rolled].agreeing, 4 * n);
            EXPECT_LT(AgreementFraction(face->depth[!face->rolled]), 0.5);
            EXPECT_EQ(face->colour[0].compared, 0);
        }
    }
    const PanoramaRollFinding none = FindPanoramaRolls({n, nullptr, nullptr, 0.0, 1.0});
    EXPECT_FALSE(none.up.determined || none.down.determined);
    EXPECT_EQ(none.up.cue, RollCueNone);
    // Faces of one pixel have no pixels on the cube's edges.
    const std::uint32_t single[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_FALSE(FindPanoramaRolls({1, nullptr, single, 0.0, 1.0}).up.determined);
}
