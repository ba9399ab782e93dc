#include "orvo/format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

// Little-endian bytes of a double, built from its bit pattern by hand.
std::vector<unsigned char> DoubleBytes(double value, bool bigEndian = false) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    std::vector<unsigned char> bytes;
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<unsigned char>(bits >> (8 * i)));
    }
    if (bigEndian) {
        std::reverse(bytes.begin(), bytes.end());
    }
    return bytes;
}

} // namespace

TEST(ViewRecords, DefaultsAreTheFormatsDefaults) {
    PerspectiveView view;
    std::memset(&view, 0x5A, sizeof view);
    InitPerspectiveView(view);
    EXPECT_EQ(view.projection, 1u);
    EXPECT_EQ(view.rightAxis.x, 1.0);
    EXPECT_EQ(view.upAxis.z, 1.0);
    EXPECT_EQ(view.viewDirection.y, 1.0);
    EXPECT_EQ(view.spareAxis.z, 1.0);
    EXPECT_EQ(view.cornerTopLeft.y, 1.0);
    EXPECT_EQ(view.cornerBottomRight.x, 1.0);
    EXPECT_EQ(view.eyePoint.x + view.eyePoint.y + view.eyePoint.z, 0.0);
    EXPECT_EQ(view.nearDepth, 0.0);
    EXPECT_EQ(view.farDepth, 1.0);
    EXPECT_EQ(view.unitScale, 1.0);
    EXPECT_EQ(view.unitCode, 0u);

    PanoramaView panorama;
    std::memset(&panorama, 0x5A, sizeof panorama);
    InitPanoramaView(panorama);
    EXPECT_EQ(panorama.projection, 3u);
    EXPECT_EQ(panorama.upAxis.z, 1.0);
    EXPECT_EQ(panorama.viewDirection.y, 1.0);
    EXPECT_EQ(panorama.centrePoint.y, 1.0);
    EXPECT_EQ(panorama.scalar, 60.0);
    EXPECT_EQ(panorama.farDepth, 1.0);
    EXPECT_EQ(panorama.unitScale, 1.0);
    EXPECT_EQ(panorama.unitCode, 0u);
}

TEST(ViewRecords, PerspectiveViewPacksToTwoHundredLittleEndianBytesAndBack) {
    PerspectiveView view;
    InitPerspectiveView(view);
    view.projection = 0;
    view.eyePoint = {1.5, -2.25, 3.0};
    view.cornerBottomRight = {0.75, -0.5, -1.0};
    view.nearDepth = 0.125;
    view.farDepth = 1e6;
    view.unitScale = 2.54;
    view.unitCode = UnitInch;

    unsigned char packed[PackedPerspectiveViewSize];
    PackPerspectiveView(view, packed);
    // projection, then eyePoint.x at 4, cornerBottomRight.z at 4 + 20 * 8, nearDepth at 172,
    // unitCode in the last four bytes.
    EXPECT_EQ(std::vector<unsigned char>(packed, packed + 4),
              (std::vector<unsigned char>{0, 0, 0, 0}));
    EXPECT_EQ(std::vector<unsigned char>(packed + 4, packed + 12), DoubleBytes(1.5));
    EXPECT_EQ(std::vector<unsigned char>(packed + 164, packed + 172), DoubleBytes(-1.0));
    EXPECT_EQ(std::vector<unsigned char>(packed + 172, packed + 180), DoubleBytes(0.125));
    EXPECT_EQ(std::vector<unsigned char>(packed + 196, packed + 200),
              (std::vector<unsigned char>{7, 0, 0, 0}));

    PerspectiveView back;
    InitPerspectiveView(back);
    UnpackPerspectiveView(packed, back);
    EXPECT_EQ(std::memcmp(&back.eyePoint, &view.eyePoint, 24 * 8), 0);
    EXPECT_EQ(back.projection, 0u);
    EXPECT_EQ(back.unitCode, UnitInch);
}

TEST(ViewRecords, PanoramaViewPacksTo136BytesAndBigEndianBytesUnpack) {
    PanoramaView view;
    InitPanoramaView(view);
    view.eyePoint = {10, 20, 30};
    view.scalar = 0.0;
    view.nearDepth = 0.5;
    view.farDepth = 250.0;
    view.unitCode = UnitMetre;
    unsigned char packed[PackedPanoramaViewSize];
    PackPanoramaView(view, packed);
    EXPECT_EQ(packed[0], 3);
    EXPECT_EQ(std::vector<unsigned char>(packed + 4 + 12 * 8, packed + 4 + 13 * 8),
              DoubleBytes(0.0));
    EXPECT_EQ(std::vector<unsigned char>(packed + 4 + 14 * 8, packed + 4 + 15 * 8),
              DoubleBytes(250.0));
    EXPECT_EQ(packed[132], 4);

    // The same record as a big-endian file stores it.
    std::vector<unsigned char> big = {0, 0, 0, 3};
    const double values[16] = {10, 20, 30, 0, 0, 1, 0, 1, 0, 0, 1, 0, 0.0, 0.5, 250.0, 1.0};
    for (double value : values) {
        auto bytes = DoubleBytes(value, true);
        big.insert(big.end(), bytes.begin(), bytes.end());
    }
    big.insert(big.end(), {0, 0, 0, 4});
    ASSERT_EQ(big.size(), PackedPanoramaViewSize);
    PanoramaView back;
    InitPanoramaView(back);
    UnpackPanoramaView(big.data(), back, true);
    EXPECT_EQ(back.eyePoint.z, 30.0);
    EXPECT_EQ(back.farDepth, 250.0);
    EXPECT_EQ(back.unitCode, UnitMetre);
    EXPECT_EQ(back.projection, 3u);
}
