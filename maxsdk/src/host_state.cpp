// The stand-in host: its main interface, its bitmap manager and the state tests script.
#include "maxsdk_host/host_state.h"

#include "host_internal.h"
#include "max.h"

namespace {

class HostInterface : public Interface {
public:
    HWND GetMAXHWnd() override { return MaxHost::State().mainWindow; }

    INode* GetINodeFromRenderID(UWORD id) override {
        MaxHost::HostState& state = MaxHost::State();
        state.nodeQueries.push_back(id);
        for (const auto& node : state.nodes) {
            if (node->GetRenderID() == id) {
                return node.get();
            }
        }
        return nullptr;
    }

    Renderer* GetCurrentRenderer(bool createRendererIfItDoesntExist) override {
        MaxHost::HostState& state = MaxHost::State();
        if (!state.renderer && createRendererIfItDoesntExist) {
            // The host's default: its scanline renderer as installed, antialiasing on.
            state.renderer.reset(new MaxHost::SceneRenderer(Class_ID(SREND_CLASS_ID, 0), true));
        }
        return state.renderer.get();
    }
};

} // namespace

// The stand-in's bitmap manager; its name is the one the SDK's bitmap classes befriend.
class BitmapManagerImp : public BitmapManager {
public:
    Interface* Max() override { return MaxHost::State().interfaceAvailable ? &host : nullptr; }
    BOOL SilentMode() override { return MaxHost::State().silent ? TRUE : FALSE; }
    const MCHAR* GetDir(int which) override {
        return which == APP_PLUGCFG_DIR ? MaxHost::State().plugCfgFolder.c_str() : L"";
    }
    Bitmap* Create(BitmapInfo* info) override {
        return info == nullptr ? nullptr : MakeBitmap(*info);
    }

    static void SetChannelType(BitmapStorage* storage, ULONG channel, ULONG type) {
        const auto found = storage->channels->byId.find(channel);
        if (found != storage->channels->byId.end()) {
            found->second.type = type;
        }
    }

private:
    HostInterface host;
};

namespace {

BitmapManagerImp manager;

} // namespace

BitmapManager* TheManager = &manager;

namespace MaxHost {

HostState& State() {
    // Never destroyed: host objects may still be freed while the process shuts down.
    static HostState* state = new HostState();
    return *state;
}

void Reset() {
    HostState& state = State();
    // The scene's objects come from the host's heap: release them before the counts are kept.
    state.renderer.reset();
    state.nodes.clear();
    state.materials.clear();
    const long objects = state.liveObjects;
    const long blocks = state.liveBlocks;
    state = HostState();
    // What is allocated stays allocated; only the scripted answers start afresh.
    state.liveObjects = objects;
    state.liveBlocks = blocks;
}

void SetMainWindow(HWND window) {
    State().mainWindow = window;
}

void SetSilentMode(bool silent) {
    State().silent = silent;
}

void SetPlugCfgFolder(const std::wstring& folder) {
    State().plugCfgFolder = folder;
}

void SetErrorResult(BMMRES result) {
    State().errorResult = result;
}

const std::vector<ErrorReport>& ErrorReports() {
    return State().errorReports;
}

void ClearErrorReports() {
    State().errorReports.clear();
}

const std::vector<CenteredWindow>& CenteredWindows() {
    return State().centered;
}

long LiveHeapObjects() {
    return State().liveObjects;
}

long LiveHeapBlocks() {
    return State().liveBlocks;
}

void FailNextAllocations(int count) {
    State().failingAllocations = count;
}

void SetChannelType(BitmapStorage* storage, ULONG channel, ULONG type) {
    BitmapManagerImp::SetChannelType(storage, channel, type);
}

} // namespace MaxHost

void CenterWindow(HWND window, HWND parent) {
    // Nothing is drawn here; the call is what a test can see.
    MaxHost::State().centered.push_back({window, parent});
}
