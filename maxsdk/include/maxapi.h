// The host's main interface, as TheManager->Max() hands it out.
#pragma once

#include "coreexp.h"
#include "maxheap.h"
#include "maxtypes.h"

class INode;
class Renderer;

class Interface : public MaxHeapOperators {
public:
    virtual ~Interface() {}
    // The host's main window, owner of every message box a plug-in shows.
    virtual HWND GetMAXHWnd() = 0;
    // The scene node whose render identifier is id, or null when there is none.
    virtual INode* GetINodeFromRenderID(UWORD id) = 0;
    // The renderer in use; when there is none yet, a new default one if the flag is true,
    // otherwise null.
    virtual Renderer* GetCurrentRenderer(bool createRendererIfItDoesntExist = true) = 0;
};
