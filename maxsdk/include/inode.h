// A node of the scene: a named object with its wire colour and material.
#pragma once

#include "maxheap.h"
#include "maxtypes.h"
#include "strbasic.h"

class Mtl;

class INode : public MaxHeapOperators {
public:
    virtual ~INode() {}
    virtual const MCHAR* GetName() = 0;
    // The colour of the node's wireframe: red in bits 0 to 7, green 8 to 15, blue 16 to 23.
    virtual DWORD GetWireColor() = 0;
    // The node's material, or null when it has none.
    virtual Mtl* GetMtl() = 0;
    // The identifier the renderer writes into the node render-identifier channel.
    virtual UWORD GetRenderID() = 0;
};
