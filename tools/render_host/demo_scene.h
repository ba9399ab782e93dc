// The render host's demo scene and its ray caster: a furnished room of wall panels,
// axis-aligned boxes and spheres, traced in double precision. It is deliberately plain: it
// exists to give the plug-in honest frames (every depth and every object outline follows from
// the geometry below) and to answer, for any ray, what a test should find along it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace RenderHost {

struct Vec3 {
    double x, y, z;
};

inline Vec3 operator+(const Vec3& a, const Vec3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vec3 operator-(const Vec3& a, const Vec3& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vec3 operator*(const Vec3& a, double f) {
    return {a.x * f, a.y * f, a.z * f};
}
inline double Dot(const Vec3& a, const Vec3& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 Normalised(const Vec3& v);

struct Material {
    std::wstring name;
    double red, green, blue; // diffuse colour, 0 to 1
};

// A scene node as the host knows it. Its render identifier is its index in the scene.
struct Node {
    std::wstring name;
    int material;            // index into the scene's materials, -1 for none
    std::uint32_t wireColor; // red in bits 0 to 7, green 8 to 15, blue 16 to 23
};

// A rectangle across one axis (0 x, 1 y, 2 z) at the given position, spanning low to high on
// the other two axes, with an optional rectangular opening through which rays pass.
struct Panel {
    int node;
    int axis;
    double position;
    Vec3 low, high;
    bool hasOpening;
    Vec3 openingLow, openingHigh;
};

// A solid axis-aligned box.
struct Box {
    int node;
    Vec3 low, high;
};

struct Sphere {
    int node;
    Vec3 centre;
    double radius;
};

struct Hit {
    double t;    // the ray's parameter at the surface: origin + t * direction
    int node;    // index into the scene's nodes
    Vec3 normal; // of length 1, facing the ray's origin
};

struct Colour {
    double red, green, blue; // linear, 0 to 1
};

class Scene {
public:
    std::vector<Material> materials;
    std::vector<Node> nodes;
    std::vector<Panel> panels;
    std::vector<Box> boxes;
    std::vector<Sphere> spheres;
    Vec3 roomLow, roomHigh; // the room's inside; the panels lie on its faces
    Vec3 light;             // a point light under the ceiling

    // The first surface along the ray (t > 0), or none. The direction need not have length 1.
    std::optional<Hit> Trace(const Vec3& origin, const Vec3& direction) const;
    // Lambert shading under the point light, with its shadow, over some ambient light.
    Colour Shade(const Vec3& origin, const Vec3& direction, const Hit& hit) const;
    // What the plug-in names a node's object: its material's name when it has a material and
    // objects are named by material, otherwise its own name.
    const std::wstring& ObjectName(int node, bool byMaterial) const;
    // Why a camera cannot stand at the point (outside the room, inside a solid), or empty.
    std::wstring Obstruction(const Vec3& point) const;
};

// The room at a moment of its animation, time 0 to 1: a ball rolls across the floor.
Scene DemoScene(double time);

} // namespace RenderHost
