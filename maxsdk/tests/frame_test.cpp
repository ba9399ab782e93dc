// The stand-in host's frames, cameras, numbered names and scene, as a renderer and a plug-in
// see them.
#include "bmmlib.h"
#include "max.h"
#include "maxsdk_host/host_state.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <string>

namespace {

std::wstring Numbered(const wchar_t* name, int frame) {
    MCHAR out[MAX_PATH] = L"unchanged";
    return BMMCreateNumberedFilename(name, frame, out) ? std::wstring(out)
                                                       : L"failed:" + std::wstring(out);
}

// A camera at (1, 2, 3) looking along world +Y, with Z up: its x axis is world +X, its y axis
// world +Z, and its z axis (backwards) world -Y.
Matrix3 CameraAlongY() {
    return Matrix3(Point3(1.0f, 0.0f, 0.0f), Point3(0.0f, 0.0f, 1.0f), Point3(0.0f, -1.0f, 0.0f),
                   Point3(1.0f, 2.0f, 3.0f));
}

void ExpectNear(const Point3& actual, const Point3& expected) {
    EXPECT_NEAR(actual.x, expected.x, 1e-6f);
    EXPECT_NEAR(actual.y, expected.y, 1e-6f);
    EXPECT_NEAR(actual.z, expected.z, 1e-6f);
}

class Frames : public testing::Test {
protected:
    void SetUp() override { MaxHost::Reset(); }
    void TearDown() override { MaxHost::Reset(); }
};

} // namespace

TEST(NumberedFilename, FrameNumberGoesBeforeTheExtension) {
    EXPECT_EQ(Numbered(L"/renders/face.orv", 7), L"/renders/face0007.orv");
    EXPECT_EQ(Numbered(L"/renders/face.orv", 0), L"/renders/face0000.orv");
    EXPECT_EQ(Numbered(L"/renders/face.orv", 123456), L"/renders/face123456.orv");
    EXPECT_EQ(Numbered(L"/renders.v2/face", 7), L"/renders.v2/face0007");
    EXPECT_EQ(Numbered(L"C:\\renders.v2\\face.a.orv", 31), L"C:\\renders.v2\\face.a0031.orv");
    EXPECT_EQ(Numbered(L"/renders/face.orv", -1), L"failed:");
    EXPECT_EQ(Numbered(L"", 7), L"failed:");
    const std::wstring longest(MAX_PATH - 4, L'a');
    EXPECT_EQ(Numbered(longest.c_str(), 7), L"failed:");
    EXPECT_EQ(Numbered(longest.substr(1).c_str(), 7), longest.substr(1) + L"0007");
}

TEST(Cameras, PerspectiveRaysPassThroughPixelCentres) {
    RenderInfo info;
    // 90 degrees across 4 pixels: the image plane at distance 1 spans -1 to +1, half a unit
    // a pixel.
    MaxHost::SetPerspectiveCamera(info, 4, 2, static_cast<float>(M_PI / 2), CameraAlongY());
    EXPECT_EQ(info.projType, ProjPerspective);
    const Ray corner = info.MapScreenToCamRay(Point2(0.5f, 0.5f));
    ExpectNear(corner.p, Point3(0.0f, 0.0f, 0.0f));
    ExpectNear(corner.dir, Normalize(Point3(-0.75f, 0.25f, -1.0f)));
    const Ray centre = info.MapScreenToCamRay(Point2(2.0f, 1.0f));
    ExpectNear(centre.dir, Point3(0.0f, 0.0f, -1.0f));
    // A point on the ray is seen where the ray started.
    const Point2 seen = info.MapCamToScreen(corner.dir * 5.0f);
    EXPECT_NEAR(seen.x, 0.5f, 1e-5f);
    EXPECT_NEAR(seen.y, 0.5f, 1e-5f);

    // In the world the camera looks along +Y from its position.
    const Ray world = info.MapScreenToWorldRay(Point2(2.0f, 1.0f));
    ExpectNear(world.p, Point3(1.0f, 2.0f, 3.0f));
    ExpectNear(world.dir, Point3(0.0f, 1.0f, 0.0f));
    const Point2 onAxis = info.MapWorldToScreen(Point3(1.0f, 12.0f, 3.0f));
    EXPECT_NEAR(onAxis.x, 2.0f, 1e-5f);
    EXPECT_NEAR(onAxis.y, 1.0f, 1e-5f);
}

TEST_F(Frames, TypedBitmapsHaveStorageWithChannelsOnRequest) {
    BitmapInfo none(L"none");
    none.SetWidth(3);
    none.SetHeight(2);
    Bitmap* plain = TheManager->Create(&none);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->Storage(), nullptr);
    plain->DeleteThis();

    BitmapInfo info(L"frame");
    info.SetWidth(3);
    info.SetHeight(2);
    info.SetType(BMM_TRUE_64);
    const long objects = MaxHost::LiveHeapObjects();
    Bitmap* bitmap = TheManager->Create(&info);
    ASSERT_NE(bitmap, nullptr);
    BitmapStorage* storage = bitmap->Storage();
    ASSERT_NE(storage, nullptr);
    EXPECT_EQ(storage->Width(), 3);
    EXPECT_EQ(storage->Height(), 2);
    EXPECT_EQ(storage->GetRenderInfo(), nullptr);
    EXPECT_EQ(storage->AllocRenderInfo(), storage->AllocRenderInfo());

    BMM_Color_64 row[3] = {{1, 2, 3, 4}, {5, 6, 7, 8}, {9, 10, 11, 12}};
    EXPECT_TRUE(storage->PutPixels(0, 1, 3, row));
    EXPECT_FALSE(storage->PutPixels(1, 1, 3, row));
    // A count that runs past the row is refused, however large.
    EXPECT_FALSE(storage->PutPixels(1, 1, INT_MAX, row));
    BMM_Color_64 back[2] = {};
    EXPECT_TRUE(storage->GetPixels(1, 1, 2, back));
    EXPECT_EQ(back[0].r, 5);
    EXPECT_EQ(back[1].a, 12);

    ULONG type = 99;
    EXPECT_EQ(storage->GetChannel(BMM_CHAN_Z, type), nullptr);
    EXPECT_EQ(storage->CreateChannels(BMM_CHAN_Z | BMM_CHAN_NODE_RENDER_ID),
              static_cast<ULONG>(BMM_CHAN_Z | BMM_CHAN_NODE_RENDER_ID));
    const auto* z = static_cast<const float*>(storage->GetChannel(BMM_CHAN_Z, type));
    ASSERT_NE(z, nullptr);
    EXPECT_EQ(type, static_cast<ULONG>(BMM_CHAN_TYPE_32));
    EXPECT_EQ(z[0], -1.0e30f);
    EXPECT_EQ(z[5], -1.0e30f);
    auto* ids = static_cast<WORD*>(storage->GetChannel(BMM_CHAN_NODE_RENDER_ID, type));
    ASSERT_NE(ids, nullptr);
    EXPECT_EQ(type, static_cast<ULONG>(BMM_CHAN_TYPE_16));
    EXPECT_EQ(ids[5], 0);
    storage->DeleteChannels(BMM_CHAN_Z);
    EXPECT_EQ(storage->ChannelsPresent(), static_cast<ULONG>(BMM_CHAN_NODE_RENDER_ID));

    bitmap->DeleteThis();
    EXPECT_EQ(MaxHost::LiveHeapObjects(), objects);
}
