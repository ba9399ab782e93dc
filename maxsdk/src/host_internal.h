// The stand-in host's state, shared by its sources.
#pragma once

#include "imtl.h"
#include "inode.h"
#include "maxsdk_host/host_state.h"
#include "render.h"
#include "units.h"

#include <map>
#include <memory>
#include <vector>

// The render channels of one bitmap storage: each channel's bytes and the element type it
// reports.
struct BitmapStorage::Channels {
    struct Channel {
        ULONG type;
        std::vector<unsigned char> bytes;
    };
    std::map<ULONG, Channel> byId;
};

namespace MaxHost {

class SceneMaterial : public Mtl {
public:
    SceneMaterial(const std::wstring& name, const Color& diffuse) : diffuse(diffuse) {
        SetName(name.c_str());
    }
    // The scene's colour belongs to sub-material 0 and the front face; anything else is
    // asked of a part the material does not have, and answered with black.
    Color GetAmbient(int mtlNum, BOOL backFace) override { return GetDiffuse(mtlNum, backFace); }
    Color GetDiffuse(int mtlNum, BOOL backFace) override {
        return mtlNum == 0 && !backFace ? diffuse : Color(0.0f, 0.0f, 0.0f);
    }

private:
    Color diffuse;
};

class SceneNode : public INode {
public:
    SceneNode(UWORD renderId, const std::wstring& name, DWORD wireColor, Mtl* material)
        : renderId(renderId), name(name), wireColor(wireColor), material(material) {}
    const MCHAR* GetName() override { return name.c_str(); }
    DWORD GetWireColor() override { return wireColor; }
    Mtl* GetMtl() override { return material; }
    UWORD GetRenderID() override { return renderId; }

private:
    UWORD renderId;
    std::wstring name;
    DWORD wireColor;
    Mtl* material;
};

class SceneRenderer : public IScanRenderer {
public:
    SceneRenderer(const Class_ID& classId, bool antialias)
        : classId(classId), antialias(antialias ? TRUE : FALSE) {}
    Class_ID ClassID() override { return classId; }
    void SetAntialias(BOOL b) override { antialias = b; }
    BOOL GetAntialias() override { return antialias; }

private:
    Class_ID classId;
    BOOL antialias;
};

struct HostState {
    HWND mainWindow = nullptr;
    bool silent = false;
    std::wstring plugCfgFolder;
    BMMRES errorResult = BMMRES_ERRORTAKENCARE;
    std::vector<ErrorReport> errorReports;
    std::vector<CenteredWindow> centered;
    long liveObjects = 0;
    long liveBlocks = 0;
    int failingAllocations = 0;

    bool interfaceAvailable = true;
    DWORD version = VERSION_3DSMAX;
    std::unique_ptr<SceneRenderer> renderer;
    std::vector<std::unique_ptr<SceneMaterial>> materials;
    std::vector<std::unique_ptr<SceneNode>> nodes;
    std::vector<UWORD> nodeQueries;
    int unitType = UNITS_INCHES;
    float unitScale = 1.0f;
    DispInfo display = DefaultDisplay();

    static DispInfo DefaultDisplay() {
        DispInfo info;
        info.dispType = UNITDISP_GENERIC;
        info.metricDisp = UNIT_METRIC_DISP_M;
        info.usDisp = UNIT_US_DISP_FT_FRAC_IN;
        info.usFrac = 0;
        info.customName = L"FL";
        info.customValue = 660.0f;
        info.customUnit = UNITS_FEET;
        return info;
    }
};

HostState& State();

// Whether the next allocation is one that a test asked to fail; counts it down.
inline bool AllocationFails() {
    HostState& state = State();
    if (state.failingAllocations > 0) {
        --state.failingAllocations;
        return true;
    }
    return false;
}

} // namespace MaxHost
