// The stand-in host's scene, release and unit settings, and the render cameras it makes.
#include "host_internal.h"
#include "max.h"

#include <cmath>

DWORD Get3DSMAXVersion() {
    return MaxHost::State().version;
}

void GetMasterUnitInfo(int* type, float* scale) {
    *type = MaxHost::State().unitType;
    *scale = MaxHost::State().unitScale;
}

int SetMasterUnitInfo(int type, float scale) {
    MaxHost::State().unitType = type;
    MaxHost::State().unitScale = scale;
    return 1;
}

void GetUnitDisplayInfo(DispInfo* info) {
    *info = MaxHost::State().display;
}

int SetUnitDisplayInfo(DispInfo* info) {
    MaxHost::State().display = *info;
    return 1;
}

namespace MaxHost {

namespace {

void SetCamera(RenderInfo& info, ProjectionType projection, int width, int height,
               float pixelsPerUnit, const Matrix3& camToWorld) {
    info.projType = projection;
    info.kx = pixelsPerUnit;
    info.ky = pixelsPerUnit;
    info.xc = 0.5f * static_cast<float>(width);
    info.yc = 0.5f * static_cast<float>(height);
    info.fieldRender = FALSE;
    for (int field = 0; field < 2; ++field) {
        info.camToWorld[field] = camToWorld;
        info.worldToCam[field] = Inverse(camToWorld);
    }
}

} // namespace

void SetPerspectiveCamera(RenderInfo& info, int width, int height, float fieldOfView,
                          const Matrix3& camToWorld) {
    // The image's left and right edges lie at -tan(fov / 2) and +tan(fov / 2) on the plane
    // at distance 1.
    const float halfWidth = std::tan(0.5f * fieldOfView);
    SetCamera(info, ProjPerspective, width, height, 0.5f * static_cast<float>(width) / halfWidth,
              camToWorld);
}

void SetParallelCamera(RenderInfo& info, int width, int height, float viewWidth,
                       const Matrix3& camToWorld) {
    SetCamera(info, ProjParallel, width, height, static_cast<float>(width) / viewWidth, camToWorld);
}

Mtl* AddMaterial(const std::wstring& name, const Color& diffuse) {
    HostState& state = State();
    state.materials.emplace_back(new SceneMaterial(name, diffuse));
    return state.materials.back().get();
}

INode* AddNode(UWORD renderId, const std::wstring& name, DWORD wireColor, Mtl* material) {
    HostState& state = State();
    state.nodes.emplace_back(new SceneNode(renderId, name, wireColor, material));
    return state.nodes.back().get();
}

const std::vector<UWORD>& NodeQueries() {
    return State().nodeQueries;
}

void SetInterfaceAvailable(bool available) {
    State().interfaceAvailable = available;
}

void SetHostVersion(DWORD version) {
    State().version = version;
}

void SetCurrentRenderer(const Class_ID& classId, bool antialias) {
    State().renderer.reset(new SceneRenderer(classId, antialias));
}

void RemoveRenderer() {
    State().renderer.reset();
}

} // namespace MaxHost
