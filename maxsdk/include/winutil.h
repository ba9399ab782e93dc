// Window helpers of the host.
#pragma once

#include "coreexp.h"
#include "maxtypes.h"

// Centres a window over its parent window.
CoreExport void CenterWindow(HWND window, HWND parent);
