// The stand-in host's state, shared by its sources.
#pragma once

#include "maxsdk_host/host_state.h"

namespace MaxHost {

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
