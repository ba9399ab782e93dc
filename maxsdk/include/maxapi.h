// The host's main interface, as TheManager->Max() hands it out.
#pragma once

#include "coreexp.h"
#include "maxheap.h"
#include "maxtypes.h"

class Interface : public MaxHeapOperators {
public:
    virtual ~Interface() {}
    // The host's main window, owner of every message box a plug-in shows.
    virtual HWND GetMAXHWnd() = 0;
};
