// A ray: an origin and a direction.
#pragma once

#include "maxheap.h"
#include "point3.h"

class Ray : public MaxHeapOperators {
public:
    Point3 p;   // origin
    Point3 dir; // direction, of length 1
};
