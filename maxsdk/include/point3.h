// A point or vector in three dimensions, in single precision as everywhere in the host.
#pragma once

#include "maxheap.h"

#include <cmath>

class Point3 : public MaxHeapOperators {
public:
    float x, y, z;

    Point3() = default;
    Point3(float X, float Y, float Z) : x(X), y(Y), z(Z) {}
    Point3(int X, int Y, int Z)
        : x(static_cast<float>(X)), y(static_cast<float>(Y)), z(static_cast<float>(Z)) {}
    Point3(double X, double Y, double Z)
        : x(static_cast<float>(X)), y(static_cast<float>(Y)), z(static_cast<float>(Z)) {}

    float& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
    const float& operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

    Point3 operator-() const { return Point3(-x, -y, -z); }
    Point3 operator+(const Point3& p) const { return Point3(x + p.x, y + p.y, z + p.z); }
    Point3 operator-(const Point3& p) const { return Point3(x - p.x, y - p.y, z - p.z); }
    Point3 operator*(float f) const { return Point3(x * f, y * f, z * f); }
    Point3 operator/(float f) const { return Point3(x / f, y / f, z / f); }
    int operator==(const Point3& p) const { return x == p.x && y == p.y && z == p.z; }

    float Length() const { return std::sqrt(x * x + y * y + z * z); }
};

inline Point3 operator*(float f, const Point3& p) {
    return p * f;
}

inline float DotProd(const Point3& a, const Point3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

inline Point3 CrossProd(const Point3& a, const Point3& b) {
    return Point3(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
}

// The vector scaled to length 1; a zero vector stays zero.
inline Point3 Normalize(const Point3& p) {
    const float length = p.Length();
    return length == 0.0f ? p : p / length;
}
