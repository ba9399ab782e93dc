// A point or vector of the image plane.
#pragma once

#include "maxheap.h"

class Point2 : public MaxHeapOperators {
public:
    float x, y;

    Point2() = default;
    Point2(float X, float Y) : x(X), y(Y) {}
    Point2(double X, double Y) : x(static_cast<float>(X)), y(static_cast<float>(Y)) {}
};
