// Materials of the scene.
#pragma once

#include "color.h"
#include "coreexp.h"
#include "maxheap.h"
#include "maxtypes.h"
#include "strclass.h"

// What materials and texture maps share: a name.
class MtlBase : public MaxHeapOperators {
public:
    virtual ~MtlBase() {}
    MSTR& GetName() { return name; }
    void SetName(MSTR s) { name = s; }

private:
    MSTR name;
};

// A material. Its colours are asked for one sub-material and one side of a face.
class Mtl : public MtlBase {
public:
    virtual Color GetAmbient(int mtlNum = 0, BOOL backFace = FALSE) = 0;
    virtual Color GetDiffuse(int mtlNum = 0, BOOL backFace = FALSE) = 0;
};
