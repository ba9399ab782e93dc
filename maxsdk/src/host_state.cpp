// The stand-in host: its main interface, its bitmap manager and the state tests script.
#include "maxsdk_host/host_state.h"

#include "host_internal.h"
#include "max.h"

namespace {

class HostInterface : public Interface {
public:
    HWND GetMAXHWnd() override { return MaxHost::State().mainWindow; }
};

class HostBitmapManager : public BitmapManager {
public:
    Interface* Max() override { return &host; }
    BOOL SilentMode() override { return MaxHost::State().silent ? TRUE : FALSE; }
    const MCHAR* GetDir(int which) override {
        return which == APP_PLUGCFG_DIR ? MaxHost::State().plugCfgFolder.c_str() : L"";
    }
    Bitmap* Create(BitmapInfo* info) override {
        return info == nullptr ? nullptr : MakeBitmap(*info);
    }

private:
    HostInterface host;
};

HostBitmapManager manager;

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

} // namespace MaxHost

void CenterWindow(HWND window, HWND parent) {
    // Nothing is drawn here; the call is what a test can see.
    MaxHost::State().centered.push_back({window, parent});
}
