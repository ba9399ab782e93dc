#include "demo_scene.h"

#include <algorithm>
#include <cmath>

namespace RenderHost {

namespace {

// Rays start this far past their origin, so that a shadow ray leaving a surface does not find
// the surface itself.
const double SmallestT = 1e-9;

double Component(const Vec3& v, int axis) {
    return axis == 0 ? v.x : (axis == 1 ? v.y : v.z);
}

Vec3 AxisVector(int axis, double length) {
    return {axis == 0 ? length : 0.0, axis == 1 ? length : 0.0, axis == 2 ? length : 0.0};
}

// Whether the point lies within low..high on both axes other than the given one.
bool WithinAcross(const Vec3& point, int axis, const Vec3& low, const Vec3& high) {
    for (int other = 0; other < 3; ++other) {
        if (other != axis && (Component(point, other) < Component(low, other) ||
                              Component(point, other) > Component(high, other))) {
            return false;
        }
    }
    return true;
}

std::optional<Hit> TracePanel(const Panel& panel, const Vec3& origin, const Vec3& direction) {
    const double along = Component(direction, panel.axis);
    if (along == 0) {
        return std::nullopt;
    }
    const double t = (panel.position - Component(origin, panel.axis)) / along;
    if (!(t > SmallestT)) {
        return std::nullopt;
    }
    const Vec3 point = origin + direction * t;
    if (!WithinAcross(point, panel.axis, panel.low, panel.high) ||
        (panel.hasOpening &&
         WithinAcross(point, panel.axis, panel.openingLow, panel.openingHigh))) {
        return std::nullopt;
    }
    return Hit{t, panel.node, AxisVector(panel.axis, along > 0 ? -1.0 : 1.0)};
}

std::optional<Hit> TraceBox(const Box& box, const Vec3& origin, const Vec3& direction) {
    // Slabs: the ray is inside the box between its last entry and its first exit.
    double entry = -INFINITY;
    double exit = INFINITY;
    int entryAxis = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const double o = Component(origin, axis);
        const double d = Component(direction, axis);
        const double low = Component(box.low, axis);
        const double high = Component(box.high, axis);
        if (d == 0) {
            if (o < low || o > high) {
                return std::nullopt;
            }
            continue;
        }
        const double t0 = ((d > 0 ? low : high) - o) / d;
        const double t1 = ((d > 0 ? high : low) - o) / d;
        if (t0 > entry) {
            entry = t0;
            entryAxis = axis;
        }
        exit = std::min(exit, t1);
    }
    if (!(entry > SmallestT) || entry > exit) {
        return std::nullopt;
    }
    return Hit{entry, box.node,
               AxisVector(entryAxis, Component(direction, entryAxis) > 0 ? -1.0 : 1.0)};
}

std::optional<Hit> TraceSphere(const Sphere& sphere, const Vec3& origin, const Vec3& direction) {
    const Vec3 offset = origin - sphere.centre;
    const double a = Dot(direction, direction);
    const double b = 2 * Dot(direction, offset);
    const double c = Dot(offset, offset) - sphere.radius * sphere.radius;
    const double discriminant = b * b - 4 * a * c;
    if (discriminant < 0) {
        return std::nullopt;
    }
    const double t = (-b - std::sqrt(discriminant)) / (2 * a);
    if (!(t > SmallestT)) {
        return std::nullopt;
    }
    return Hit{t, sphere.node, Normalised(origin + direction * t - sphere.centre)};
}

void Nearer(std::optional<Hit>& best, const std::optional<Hit>& candidate) {
    if (candidate && (!best || candidate->t < best->t)) {
        best = candidate;
    }
}

bool Inside(const Vec3& point, const Vec3& low, const Vec3& high) {
    return point.x > low.x && point.x < high.x && point.y > low.y && point.y < high.y &&
           point.z > low.z && point.z < high.z;
}

} // namespace

Vec3 Normalised(const Vec3& v) {
    const double length = std::sqrt(Dot(v, v));
    return length == 0 ? v : v * (1 / length);
}

std::optional<Hit> Scene::Trace(const Vec3& origin, const Vec3& direction) const {
    std::optional<Hit> best;
    for (const Panel& panel : panels) {
        Nearer(best, TracePanel(panel, origin, direction));
    }
    for (const Box& box : boxes) {
        Nearer(best, TraceBox(box, origin, direction));
    }
    for (const Sphere& sphere : spheres) {
        Nearer(best, TraceSphere(sphere, origin, direction));
    }
    return best;
}

Colour Scene::Shade(const Vec3& origin, const Vec3& direction, const Hit& hit) const {
    const Node& node = nodes[hit.node];
    Colour base;
    if (node.material >= 0) {
        const Material& material = materials[node.material];
        base = {material.red, material.green, material.blue};
    } else {
        // The host shows a node without material in its wire colour.
        base = {(node.wireColor & 0xFF) / 255.0, ((node.wireColor >> 8) & 0xFF) / 255.0,
                ((node.wireColor >> 16) & 0xFF) / 255.0};
    }
    const Vec3 point = origin + direction * hit.t;
    const Vec3 toLight = light - point;
    const double distance = std::sqrt(Dot(toLight, toLight));
    const Vec3 towards = toLight * (1 / distance);
    double direct = std::max(0.0, Dot(hit.normal, towards)) / (1 + 0.04 * distance * distance);
    const std::optional<Hit> blocker = Trace(point + hit.normal * 1e-7, towards);
    if (blocker && blocker->t < distance) {
        direct = 0;
    }
    const double brightness = 0.25 + 0.75 * direct;
    return {base.red * brightness, base.green * brightness, base.blue * brightness};
}

const std::wstring& Scene::ObjectName(int node, bool byMaterial) const {
    const Node& found = nodes[node];
    return byMaterial && found.material >= 0 ? materials[found.material].name : found.name;
}

std::wstring Scene::Obstruction(const Vec3& point) const {
    if (!Inside(point, roomLow, roomHigh)) {
        return L"outside the room";
    }
    for (const Box& box : boxes) {
        if (Inside(point, box.low, box.high)) {
            return L"inside " + nodes[box.node].name;
        }
    }
    for (const Sphere& sphere : spheres) {
        const Vec3 offset = point - sphere.centre;
        if (Dot(offset, offset) < sphere.radius * sphere.radius) {
            return L"inside " + nodes[sphere.node].name;
        }
    }
    return L"";
}

Scene DemoScene(double time) {
    Scene scene;
    // Metres; the room is 8 by 6 by 2.8, its floor at z = 0.
    scene.roomLow = {-4, -3, 0};
    scene.roomHigh = {4, 3, 2.8};
    scene.light = {0.6, -0.4, 2.6};
    enum { OakFloor, CeilingPaint, Plaster, Walnut, Pine, BlueGlaze };
    scene.materials = {
        {L"Oak floor", 0.55, 0.36, 0.20}, {L"Ceiling paint", 0.92, 0.92, 0.90},
        {L"Plaster", 0.80, 0.76, 0.68},   {L"Walnut", 0.36, 0.22, 0.13},
        {L"Pine", 0.78, 0.62, 0.38},      {L"Blue glaze", 0.16, 0.32, 0.78},
    };
    // Four walls share the plaster and three pieces of furniture the walnut; the stone ball
    // has no material.
    scene.nodes = {
        {L"Floor", OakFloor, 0x00305070},     {L"Ceiling", CeilingPaint, 0x00C0C0C0},
        {L"Wall north", Plaster, 0x00B0A090}, {L"Wall east", Plaster, 0x00A0B090},
        {L"Wall south", Plaster, 0x0090A0B0}, {L"Wall west", Plaster, 0x00A090B0},
        {L"Table", Walnut, 0x00203A5C},       {L"Cabinet", Walnut, 0x00402040},
        {L"Shelf", Walnut, 0x00204060},       {L"Crate", Pine, 0x004080C0},
        {L"Ball", BlueGlaze, 0x00E06020},     {L"Vase", BlueGlaze, 0x00C08020},
        {L"Stone ball", -1, 0x00608C78},
    };
    const Vec3 low = scene.roomLow;
    const Vec3 high = scene.roomHigh;
    const Vec3 none = {0, 0, 0};
    scene.panels = {
        {0, 2, low.z, low, high, false, none, none},
        {1, 2, high.z, low, high, false, none, none},
        // A window in the north wall opens onto nothing: rays through it hit no surface.
        {2, 1, high.y, low, high, true, {-1.5, 0, 0.9}, {0.5, 0, 2.1}},
        {3, 0, high.x, low, high, false, none, none},
        {4, 1, low.y, low, high, false, none, none},
        {5, 0, low.x, low, high, false, none, none},
    };
    scene.boxes = {
        {6, {-0.5, 0.9, 0}, {1.3, 1.9, 0.75}},
        {7, {2.9, -1.2, 0}, {3.9, 0.6, 1.6}},
        {8, {-3.9, -2.5, 1.2}, {-3.55, -0.5, 1.28}},
        {9, {-3.6, 1.8, 0}, {-2.8, 2.7, 0.8}},
    };
    scene.spheres = {
        {10, {-2.0 + 3.2 * time, -1.6, 0.3}, 0.3},
        {11, {0.9, 1.4, 0.95}, 0.2},
        {12, {3.4, -0.3, 1.85}, 0.25},
    };
    return scene;
}

} // namespace RenderHost
