// A colour of three floats, nominally 0 to 1.
#pragma once

#include "maxheap.h"

class Color : public MaxHeapOperators {
public:
    float r, g, b;

    Color() = default;
    Color(float R, float G, float B) : r(R), g(G), b(B) {}
};
