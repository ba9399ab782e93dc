#include "view_capture.h"

#include "max.h"
#include "render.h"
#include "units.h"

namespace {

// The one host release (2000, API 5) whose files get the record's depth range doubled, when
// its default scanline renderer runs with antialiasing off.
const DWORD doubledRangeRelease = 0x07D00500;

Vector3 ToVector(const Point3& p) {
    return {p.x, p.y, p.z};
}

// The corner vector stored for the ray through a pixel centre: for a perspective camera only
// the direction counts; a parallel camera's rays differ in their origins, which go in too.
Vector3 CornerVector(const Ray& ray, bool perspective) {
    if (perspective) {
        return ToVector(Point3(-ray.dir.x, -ray.dir.y, ray.dir.z));
    }
    return ToVector(Point3(ray.p.x - ray.dir.x, ray.p.y - ray.dir.y, ray.p.z + ray.dir.z));
}

bool RecordRangeIsDoubled() {
    if (Get3DSMAXVersion() != doubledRangeRelease) {
        return false;
    }
    Interface* host = TheManager->Max();
    if (host == nullptr) {
        return false;
    }
    Renderer* renderer = host->GetCurrentRenderer(true);
    if (renderer == nullptr || renderer->ClassID() != Class_ID(SREND_CLASS_ID, 0)) {
        return false;
    }
    return !static_cast<IScanRenderer*>(renderer)->GetAntialias();
}

} // namespace

bool IsNoHit(float z) {
    const double value = z;
    return value > 9.99e29 || value < -9.99e29;
}

PerspectiveView FillPerspectiveView(const CaptureState& state, RenderInfo* info) {
    PerspectiveView view;
    InitPerspectiveView(view);
    if (info == nullptr) {
        // No camera to describe, but the record's range still matches the frame's codes.
        view.nearDepth = state.depthNear;
        view.farDepth = state.depthFar;
        return view;
    }

    const bool perspective = info->projType == ProjPerspective;
    view.projection = perspective ? ProjectionPerspective : ProjectionParallel;
    const Matrix3& camToWorld = info->camToWorld[0];
    view.eyePoint = ToVector(camToWorld.GetTrans());
    view.rightAxis = ToVector(VectorTransform(camToWorld, Point3(1.0f, 0.0f, 0.0f)));
    view.upAxis = ToVector(VectorTransform(camToWorld, Point3(0.0f, 1.0f, 0.0f)));
    view.viewDirection = ToVector(VectorTransform(camToWorld, Point3(0.0f, 0.0f, -1.0f)));
    view.cornerTopLeft = CornerVector(info->MapScreenToCamRay(Point2(0.5f, 0.5f)), perspective);
    view.cornerBottomRight = CornerVector(
        info->MapScreenToCamRay(Point2(state.width - 0.5, state.height - 0.5)), perspective);

    view.nearDepth = state.depthNear;
    view.farDepth = state.depthFar;
    if (RecordRangeIsDoubled()) {
        view.nearDepth *= 2.0;
        view.farDepth *= 2.0;
    }
    const SceneUnits units = GetSceneUnits();
    view.unitCode = units.unitCode;
    view.unitScale = units.unitScale;
    return view;
}

void ComputeDepthRange(CaptureState& state) {
    const std::size_t count = static_cast<std::size_t>(state.width) * state.height;
    bool hit = false;
    float lowest = -2.0f;
    float highest = -1.0f;
    for (std::size_t i = 0; i < count; ++i) {
        const float z = state.depthChannel[i];
        if (IsNoHit(z)) {
            continue;
        }
        if (!hit) {
            hit = true;
            lowest = z;
            highest = z;
        } else if (z < lowest) {
            lowest = z;
        } else if (z > highest) {
            highest = z;
        }
    }
    if (hit) {
        // Widen the range so that every hit codes strictly inside it.
        if (!(highest > 0.0f)) {
            highest *= 0.5f;
            lowest = lowest == 0.0f ? -1.0f : lowest * 2.0f;
        } else if (highest == lowest) {
            highest += 1.0f;
            lowest -= 1.0f;
        } else {
            const float margin = (highest - lowest) * 0.5f;
            highest += margin;
            lowest -= margin;
        }
    }
    state.depthNear = -highest;
    state.depthFar = -lowest;
}

bool FillDepthRow(const CaptureState& state, std::uint32_t* row, int y) {
    if (y < 0 || y >= state.height) {
        return false;
    }
    const float scale = 4294967296.0f / (state.depthFar - state.depthNear);
    const float* z = state.depthChannel + static_cast<std::size_t>(y) * state.width;
    for (int x = 0; x < state.width; ++x) {
        if (IsNoHit(z[x])) {
            row[x] = NoDepthCode;
            continue;
        }
        const float code = (-z[x] - state.depthNear) * scale;
        // A range too narrow for single precision makes the scale infinite; such a code has
        // no integer value and stands for the near end.
        row[x] = code > -9.2e18f && code < 9.2e18f
                     ? static_cast<std::uint32_t>(static_cast<std::int64_t>(code))
                     : 0u;
    }
    return true;
}

SceneUnits GetSceneUnits() {
    SceneUnits units = {UnitNone, 1.0};
    // A sentinel for "the display option has already decided the code".
    const int fromDisplay = 100;
    int systemType = -1;
    DispInfo display;
    GetUnitDisplayInfo(&display);
    switch (display.dispType) {
    case UNITDISP_GENERIC: {
        float scale = 1.0f;
        GetMasterUnitInfo(&systemType, &scale);
        units.unitScale = scale;
        break;
    }
    case UNITDISP_METRIC: {
        systemType = fromDisplay;
        const std::uint32_t metric[] = {UnitMillimetre, UnitCentimetre, UnitMetre, UnitKilometre};
        if (display.metricDisp >= 0 && display.metricDisp < 4) {
            units.unitCode = metric[display.metricDisp];
        }
        break;
    }
    case UNITDISP_US:
        systemType = fromDisplay;
        if (display.usDisp == UNIT_US_DISP_FRAC_IN || display.usDisp == UNIT_US_DISP_DEC_IN) {
            units.unitCode = UnitInch;
        } else if (display.usDisp >= UNIT_US_DISP_FRAC_FT &&
                   display.usDisp <= UNIT_US_DISP_FT_DEC_IN) {
            units.unitCode = UnitFoot;
        }
        break;
    case UNITDISP_CUSTOM:
        units.unitScale = display.customValue;
        systemType = display.customUnit;
        break;
    default:
        break;
    }
    if (units.unitScale == -1.0) {
        units.unitScale = 1.0;
    }
    switch (systemType) {
    case UNITS_INCHES:
        units.unitCode = UnitInch;
        break;
    case UNITS_FEET:
        units.unitCode = UnitFoot;
        break;
    case UNITS_MILES:
        units.unitCode = UnitFoot;
        units.unitScale *= 5280.0;
        break;
    case UNITS_MILLIMETERS:
        units.unitCode = UnitMillimetre;
        break;
    case UNITS_CENTIMETERS:
        units.unitCode = UnitCentimetre;
        break;
    case UNITS_METERS:
        units.unitCode = UnitMetre;
        break;
    case UNITS_KILOMETERS:
        units.unitCode = UnitKilometre;
        break;
    case fromDisplay:
        break;
    default:
        units.unitCode = UnitNone;
        break;
    }
    return units;
}
