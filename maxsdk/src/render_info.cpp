// The render camera's mapping between camera space and the screen.
#include "bitmap.h"

RenderInfo::RenderInfo()
    : projType(ProjPerspective), kx(1.0f), ky(1.0f), xc(0.0f), yc(0.0f), fieldRender(FALSE),
      fieldOdd(FALSE) {
    renderTime[0] = renderTime[1] = 0;
    for (int field = 0; field < 2; ++field) {
        worldToCam[field].IdentityMatrix();
        camToWorld[field].IdentityMatrix();
    }
}

Point2 RenderInfo::MapCamToScreen(Point3 p) {
    if (projType == ProjPerspective) {
        return Point2(xc + kx * p.x / -p.z, yc - ky * p.y / -p.z);
    }
    return Point2(xc + kx * p.x, yc - ky * p.y);
}

Ray RenderInfo::MapScreenToCamRay(Point2 p) {
    // Where the screen point lies on the image plane: at distance 1 for a perspective
    // camera, in scene units for a parallel one.
    const float x = (p.x - xc) / kx;
    const float y = (yc - p.y) / ky;
    Ray ray;
    if (projType == ProjPerspective) {
        ray.p = Point3(0.0f, 0.0f, 0.0f);
        ray.dir = Normalize(Point3(x, y, -1.0f));
    } else {
        ray.p = Point3(x, y, 0.0f);
        ray.dir = Point3(0.0f, 0.0f, -1.0f);
    }
    return ray;
}

Ray RenderInfo::MapScreenToWorldRay(Point2 p, int field) {
    const Ray camera = MapScreenToCamRay(p);
    Ray world;
    world.p = camToWorld[field] * camera.p;
    world.dir = Normalize(VectorTransform(camToWorld[field], camera.dir));
    return world;
}
