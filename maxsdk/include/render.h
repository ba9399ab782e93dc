// Renderers.
#pragma once

#include "maxheap.h"
#include "maxtypes.h"
#include "plugapi.h"

class Renderer : public MaxHeapOperators {
public:
    virtual ~Renderer() {}
    virtual Class_ID ClassID() = 0;
};

// The host's default scanline renderer, class Class_ID(SREND_CLASS_ID, 0), and its settings.
class IScanRenderer : public Renderer {
public:
    virtual void SetAntialias(BOOL b) = 0;
    virtual BOOL GetAntialias() = 0;
};
