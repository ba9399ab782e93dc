// The capture code on its own: depth range and codes, the view record, units, and object ids
// with their names and colours.
#include "attached_module.h"
#include "object_capture.h"
#include "test_frame.h"
#include "view_capture.h"

#include <cmath>
#include <tuple>
#include <vector>

namespace {

// A frame's capture state over a Z-buffer and node channel the test owns.
struct Frame {
    Frame(int width, int height) : z(width * height, -1.0e30f), ids(width * height, 0) {
        state.width = width;
        state.height = height;
        state.depthChannel = z.data();
        state.objectIdChannel = ids.data();
    }
    std::vector<float> z;
    std::vector<WORD> ids;
    CaptureState state;
};

void ExpectEntry(const ObjectEntry& entry, WORD id, const std::wstring& name, int red, int green,
                 int blue) {
    EXPECT_EQ(entry.id, id);
    EXPECT_EQ(entry.name, name);
    EXPECT_EQ(std::make_tuple(int(entry.red), int(entry.green), int(entry.blue)),
              std::make_tuple(red, green, blue))
        << "entry " << id;
}

class Capture : public AttachedModule {
protected:
    void SetUp() override {
        AttachedModule::SetUp();
        // The process-wide naming values as a freshly loaded plug-in has them.
        ModuleNaming() = ProcessNaming();
    }
};

} // namespace

TEST_F(Capture, DepthRangeWidensTheHitsAndCodesThemInsideIt) {
    Frame empty(3, 2);
    ComputeDepthRange(empty.state);
    EXPECT_EQ(empty.state.depthNear, 1.0f);
    EXPECT_EQ(empty.state.depthFar, 2.0f);
    std::uint32_t row[3] = {1, 2, 3};
    EXPECT_TRUE(FillDepthRow(empty.state, row, 1));
    EXPECT_EQ(std::vector<std::uint32_t>(row, row + 3), std::vector<std::uint32_t>(3, NoDepthCode));
    EXPECT_FALSE(FillDepthRow(empty.state, row + 0, 2));

    // One distance d: d/2 to 2d. Only +-1e30 and beyond mark nothing hit; -1e29 is a hit.
    Frame flat(3, 1);
    flat.z = {-1.0e30f, -8.0f, 1.0e30f};
    ComputeDepthRange(flat.state);
    EXPECT_EQ(flat.state.depthNear, 4.0f);
    EXPECT_EQ(flat.state.depthFar, 16.0f);
    flat.z[2] = -1.0e29f;
    ComputeDepthRange(flat.state);
    EXPECT_EQ(flat.state.depthNear, 4.0f);
    EXPECT_FLOAT_EQ(flat.state.depthFar, 2.0e29f);

    // A hit at Z = 0 keeps the near end at 0; when all hits are there the range is 0 to 1.
    Frame touching(2, 1);
    touching.z = {0.0f, -3.0f};
    ComputeDepthRange(touching.state);
    EXPECT_EQ(touching.state.depthNear, 0.0f);
    EXPECT_EQ(touching.state.depthFar, 6.0f);
    touching.z = {0.0f, 0.0f};
    ComputeDepthRange(touching.state);
    EXPECT_EQ(touching.state.depthNear, 0.0f);
    EXPECT_EQ(touching.state.depthFar, 1.0f);
    // Hits behind the camera widen by half their spread, or by 1 at one value.
    touching.z = {2.0f, 2.0f};
    ComputeDepthRange(touching.state);
    EXPECT_EQ(touching.state.depthNear, -3.0f);
    EXPECT_EQ(touching.state.depthFar, -1.0f);
    touching.z = {4.0f, -2.0f};
    ComputeDepthRange(touching.state);
    EXPECT_EQ(touching.state.depthNear, -7.0f);
    EXPECT_EQ(touching.state.depthFar, 5.0f);

    // Every hit codes strictly inside the range, and decodes to its distance within a step.
    Frame scene(4, 1);
    scene.z = {-2.5f, -1.0e30f, -100.0f, -37.25f};
    ComputeDepthRange(scene.state);
    std::uint32_t codes[4];
    ASSERT_TRUE(FillDepthRow(scene.state, codes, 0));
    EXPECT_EQ(codes[1], NoDepthCode);
    const double near = scene.state.depthNear;
    const double far = scene.state.depthFar;
    for (int x : {0, 2, 3}) {
        EXPECT_GT(codes[x], 0u);
        EXPECT_LT(codes[x], NoDepthCode);
        EXPECT_NEAR(near + codes[x] * (far - near) / 4294967296.0, -scene.z[x],
                    CodeStep(near, far, codes[x]))
            << x;
    }
}

TEST_F(Capture, ViewRecordOfAParallelCameraCarriesTheRayOrigins) {
    Frame frame(4, 2);
    frame.z[0] = -6.0f;
    RenderInfo info;
    Matrix3 camToWorld;
    camToWorld.IdentityMatrix();
    MaxHost::SetParallelCamera(info, 4, 2, 8.0f, camToWorld);
    ComputeDepthRange(frame.state);
    const PerspectiveView view = FillPerspectiveView(frame.state, &info);
    EXPECT_EQ(view.projection, ProjectionParallel);
    // Two scene units a pixel: the corner pixels' rays start at (-3, 1) and (3, -1).
    EXPECT_EQ(std::make_tuple(view.cornerTopLeft.x, view.cornerTopLeft.y, view.cornerTopLeft.z),
              std::make_tuple(-3.0, 1.0, -1.0));
    EXPECT_EQ(std::make_tuple(view.cornerBottomRight.x, view.cornerBottomRight.y,
                              view.cornerBottomRight.z),
              std::make_tuple(3.0, -1.0, -1.0));
    EXPECT_EQ(view.viewDirection.z, -1.0);
    EXPECT_EQ(view.nearDepth, 3.0);
    EXPECT_EQ(view.farDepth, 12.0);
}

TEST_F(Capture, WithoutRenderInformationOnlyTheDepthRangeIsFilled) {
    Frame frame(2, 1);
    frame.z = {-4.0f, -1.0e30f};
    PerspectiveView defaults;
    InitPerspectiveView(defaults);
    ComputeDepthRange(frame.state);
    const PerspectiveView view = FillPerspectiveView(frame.state, nullptr);
    EXPECT_EQ(frame.state.depthNear, 2.0f);
    EXPECT_EQ(frame.state.depthFar, 8.0f);
    EXPECT_EQ(view.nearDepth, 2.0);
    EXPECT_EQ(view.farDepth, 8.0);
    PerspectiveView rest = view;
    rest.nearDepth = defaults.nearDepth;
    rest.farDepth = defaults.farDepth;
    unsigned char restBytes[PackedPerspectiveViewSize], defaultBytes[PackedPerspectiveViewSize];
    PackPerspectiveView(rest, restBytes);
    PackPerspectiveView(defaults, defaultBytes);
    EXPECT_EQ(std::vector<unsigned char>(restBytes, restBytes + sizeof restBytes),
              std::vector<unsigned char>(defaultBytes, defaultBytes + sizeof defaultBytes));
}

TEST_F(Capture, DepthRangeIsDoubledOnlyForOneReleaseWithTheScanlineRendererNotAntialiasing) {
    Frame frame(1, 1);
    frame.z[0] = -10.0f;
    RenderInfo info;
    MaxHost::SetPerspectiveCamera(
        info, 1, 1, 1.0f,
        Matrix3(Point3(1, 0, 0), Point3(0, 1, 0), Point3(0, 0, 1), Point3(0, 0, 0)));
    const DWORD release = 0x07D00500;
    const Class_ID scanline(SREND_CLASS_ID, 0);
    struct Case {
        DWORD version;
        bool renderer;
        Class_ID classId;
        bool antialias;
        bool interface;
        double near;
    };
    const Case cases[] = {
        {release, true, scanline, false, true, 10.0},
        {release, true, scanline, true, true, 5.0},
        {release + 1, true, scanline, false, true, 5.0},
        {VERSION_3DSMAX, true, scanline, false, true, 5.0},
        {release, true, Class_ID(2, 0), false, true, 5.0},
        {release, false, scanline, false, true, 5.0}, // the host's default antialiases
        {release, true, scanline, false, false, 5.0},
    };
    for (const Case& c : cases) {
        MaxHost::SetHostVersion(c.version);
        MaxHost::RemoveRenderer();
        if (c.renderer) {
            MaxHost::SetCurrentRenderer(c.classId, c.antialias);
        }
        MaxHost::SetInterfaceAvailable(c.interface);
        ComputeDepthRange(frame.state);
        const PerspectiveView view = FillPerspectiveView(frame.state, &info);
        EXPECT_EQ(view.nearDepth, c.near) << &c - cases;
        EXPECT_EQ(view.farDepth, 4.0 * c.near) << &c - cases;
        EXPECT_EQ(frame.state.depthNear, 5.0f);
    }
}

TEST_F(Capture, SceneUnitsForEveryDisplayType) {
    struct Case {
        int dispType, metricDisp, usDisp;
        float customValue;
        int customUnit;
        int systemType;
        float systemScale;
        std::uint32_t code;
        double scale;
    };
    const Case cases[] = {
        {UNITDISP_GENERIC, 0, 0, 0, 0, UNITS_INCHES, 2.5f, UnitInch, 2.5},
        {UNITDISP_GENERIC, 0, 0, 0, 0, UNITS_FEET, 1.0f, UnitFoot, 1.0},
        {UNITDISP_GENERIC, 0, 0, 0, 0, UNITS_MILES, 0.5f, UnitFoot, 2640.0},
        {UNITDISP_GENERIC, 0, 0, 0, 0, UNITS_MILLIMETERS, 1.0f, UnitMillimetre, 1.0},
        {UNITDISP_GENERIC, 0, 0, 0, 0, UNITS_CENTIMETERS, 1.0f, UnitCentimetre, 1.0},
        {UNITDISP_GENERIC, 0, 0, 0, 0, UNITS_METERS, 0.25f, UnitMetre, 0.25},
        {UNITDISP_GENERIC, 0, 0, 0, 0, UNITS_KILOMETERS, 1.0f, UnitKilometre, 1.0},
        {UNITDISP_GENERIC, 0, 0, 0, 0, 7, 3.0f, UnitNone, 3.0},
        {UNITDISP_GENERIC, 0, 0, 0, 0, UNITS_METERS, -1.0f, UnitMetre, 1.0},
        {UNITDISP_METRIC, UNIT_METRIC_DISP_MM, 0, 0, 0, UNITS_MILES, 9.0f, UnitMillimetre, 1.0},
        {UNITDISP_METRIC, UNIT_METRIC_DISP_KM, 0, 0, 0, UNITS_INCHES, 9.0f, UnitKilometre, 1.0},
        {UNITDISP_METRIC, 4, 0, 0, 0, UNITS_INCHES, 9.0f, UnitNone, 1.0},
        {UNITDISP_US, 0, UNIT_US_DISP_DEC_IN, 0, 0, UNITS_METERS, 9.0f, UnitInch, 1.0},
        {UNITDISP_US, 0, UNIT_US_DISP_FT_DEC_IN, 0, 0, UNITS_METERS, 9.0f, UnitFoot, 1.0},
        {UNITDISP_US, 0, 6, 0, 0, UNITS_METERS, 9.0f, UnitNone, 1.0},
        {UNITDISP_CUSTOM, 0, 0, 660.0f, UNITS_FEET, UNITS_METERS, 9.0f, UnitFoot, 660.0},
        {UNITDISP_CUSTOM, 0, 0, 2.0f, UNITS_MILES, UNITS_METERS, 9.0f, UnitFoot, 10560.0},
        {UNITDISP_CUSTOM, 0, 0, -1.0f, UNITS_CENTIMETERS, UNITS_METERS, 9.0f, UnitCentimetre, 1.0},
        {4, 0, 0, 0, 0, UNITS_METERS, 9.0f, UnitNone, 1.0},
    };
    for (const Case& c : cases) {
        DispInfo display = {};
        display.dispType = c.dispType;
        display.metricDisp = c.metricDisp;
        display.usDisp = c.usDisp;
        display.customValue = c.customValue;
        display.customUnit = c.customUnit;
        SetUnitDisplayInfo(&display);
        SetMasterUnitInfo(c.systemType, c.systemScale);
        const SceneUnits units = GetSceneUnits();
        EXPECT_EQ(units.unitCode, c.code) << &c - cases;
        EXPECT_EQ(units.unitScale, c.scale) << &c - cases;
    }
}

TEST_F(Capture, RenderIdentifierColoursFollowTheGoldenSequence) {
    double phase = 0.0;
    const int expected[][3] = {{146, 255, 236}, {255, 218, 165}, {199, 183, 255}, {202, 255, 181}};
    for (const auto& colour : expected) {
        std::uint8_t rgb[3];
        NextRenderIdColour(phase, rgb);
        EXPECT_EQ(std::make_tuple(int(rgb[0]), int(rgb[1]), int(rgb[2])),
                  std::make_tuple(colour[0], colour[1], colour[2]));
    }
    for (int i = 0; i < 200; ++i) {
        std::uint8_t rgb[3];
        NextRenderIdColour(phase, rgb);
        const int high = (rgb[0] == 255) + (rgb[1] == 255) + (rgb[2] == 255);
        EXPECT_GE(high, 1);
        for (std::uint8_t component : rgb) {
            EXPECT_GE(component, 128);
        }
    }
    EXPECT_EQ(ColourByte(-0.5f), 0);
    EXPECT_EQ(ColourByte(0.5f), 128);
    EXPECT_EQ(ColourByte(1.0f / 255.0f * 0.49f), 0);
    EXPECT_EQ(ColourByte(1.5f), 255);
    EXPECT_EQ(ColourByte(std::nanf("")), 0);
}

TEST_F(Capture, ObjectsAreNamedByMaterialOrByNode) {
    Mtl* steel = MaxHost::AddMaterial(L"Steel", Color(0.2f, 0.4f, 1.0f));
    Mtl* twin = MaxHost::AddMaterial(L"Steel", Color(1.0f, 0.0f, 0.0f));
    MaxHost::AddNode(1, L"Box", 0x00030201, steel);
    MaxHost::AddNode(2, L"Lid", 0x00060504, steel);
    MaxHost::AddNode(3, L"Ball", 0x00090807, nullptr);
    MaxHost::AddNode(4, L"Cone", 0x000C0B0A, twin);
    MaxHost::AddNode(5, L"", 0x000F0E0D, nullptr);

    // Pixels in raster order: the first appearance of each object makes its entry.
    Frame frame(4, 2);
    frame.z = {-1, -1, -1, -1, -1, -1, -1.0e30f, -1};
    frame.ids = {3, 1, 2, 0xFFFF, 4, 12, 5, 5};
    std::uint16_t top[4], bottom[4];
    FillObjectIdRow(frame.state, top, 0);
    FillObjectIdRow(frame.state, bottom, 1);
    EXPECT_EQ(std::vector<std::uint16_t>(top, top + 4), (std::vector<std::uint16_t>{1, 2, 2, 0}));
    EXPECT_EQ(std::vector<std::uint16_t>(bottom, bottom + 4),
              (std::vector<std::uint16_t>{3, 4, 0, 5}));
    ASSERT_EQ(frame.state.objectEntries.size(), 5u);
    ExpectEntry(frame.state.objectEntries[0], 1, L"Ball", 7, 8, 9);
    ExpectEntry(frame.state.objectEntries[1], 2, L"Steel", 51, 102, 255);
    ExpectEntry(frame.state.objectEntries[2], 3, L"Steel", 255, 0, 0);
    ExpectEntry(frame.state.objectEntries[3], 4, L"Node ID 12", 146, 255, 236);
    ExpectEntry(frame.state.objectEntries[4], 5, L"", 13, 14, 15);
    EXPECT_EQ(frame.state.nextObjectId, 6);
    // The host was asked once for each render identifier, never for the no-node mark, and not
    // for the node seen only where nothing was hit.
    EXPECT_EQ(MaxHost::NodeQueries(), (std::vector<UWORD>{3, 1, 2, 4, 12, 5}));
    EXPECT_EQ(frame.state.objectIdByRenderId.at(0xFFFF), 0);

    // By node: every node its own entry with its wire colour.
    Frame byNode(2, 1);
    byNode.state.useMaterialNames = false;
    byNode.z = {-1, -1};
    byNode.ids = {1, 2};
    FillObjectIdRow(byNode.state, top, 0);
    EXPECT_EQ(std::vector<std::uint16_t>(top, top + 2), (std::vector<std::uint16_t>{1, 2}));
    ExpectEntry(byNode.state.objectEntries[0], 1, L"Box", 1, 2, 3);
    ExpectEntry(byNode.state.objectEntries[1], 2, L"Lid", 4, 5, 6);
}

TEST_F(Capture, IdsAreNeverReusedAndRunOutAfter65535) {
    Frame frame(1, 1);
    frame.state.nextObjectId = 65535;
    EXPECT_EQ(ObjectIdForRenderId(frame.state, 40), 65535);
    EXPECT_EQ(ObjectIdForRenderId(frame.state, 41), 0);
    EXPECT_EQ(UnknownObjectId(frame.state), 0);
    EXPECT_EQ(ObjectIdForRenderId(frame.state, 40), 65535);
    EXPECT_EQ(frame.state.nextObjectId, 0);
    ASSERT_EQ(frame.state.objectEntries.size(), 1u);
    EXPECT_EQ(frame.state.objectEntries[0].id, 65535);

    // Without the host's interface no render identifier names an object.
    MaxHost::SetInterfaceAvailable(false);
    Frame alone(1, 1);
    EXPECT_EQ(ObjectIdForRenderId(alone.state, 7), 0);
    EXPECT_TRUE(alone.state.objectEntries.empty());
}
