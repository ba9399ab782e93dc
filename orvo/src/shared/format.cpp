#include "orvo/format.h"

#include "shared/byte_order.h"

using namespace orvo_bytes;

namespace {

Vector3 Make(double x, double y, double z) {
    Vector3 v;
    v.x = x;
    v.y = y;
    v.z = z;
    return v;
}

unsigned char* PutVector(unsigned char* out, const Vector3& v) {
    PutF64(out, v.x);
    PutF64(out + 8, v.y);
    PutF64(out + 16, v.z);
    return out + 24;
}

const unsigned char* GetVector(const unsigned char* in, Vector3& v, bool bigEndian) {
    v.x = GetF64(in, bigEndian);
    v.y = GetF64(in + 8, bigEndian);
    v.z = GetF64(in + 16, bigEndian);
    return in + 24;
}

} // namespace

PerspectiveView& InitPerspectiveView(PerspectiveView& view) {
    view = PerspectiveView();
    view.projection = ProjectionParallel;
    view.eyePoint = Make(0, 0, 0);
    view.rightAxis = Make(1, 0, 0);
    view.upAxis = Make(0, 0, 1);
    view.viewDirection = Make(0, 1, 0);
    view.spareAxis = Make(0, 0, 1);
    view.cornerTopLeft = Make(0, 1, 0);
    view.cornerBottomRight = Make(1, 0, 0);
    view.nearDepth = 0.0;
    view.farDepth = 1.0;
    view.unitScale = 1.0;
    view.unitCode = UnitNone;
    return view;
}

PanoramaView& InitPanoramaView(PanoramaView& view) {
    view = PanoramaView();
    view.projection = ProjectionPanorama;
    view.eyePoint = Make(0, 0, 0);
    view.upAxis = Make(0, 0, 1);
    view.viewDirection = Make(0, 1, 0);
    view.centrePoint = Make(0, 1, 0);
    view.scalar = 60.0;
    view.nearDepth = 0.0;
    view.farDepth = 1.0;
    view.unitScale = 1.0;
    view.unitCode = UnitNone;
    return view;
}

void PackPerspectiveView(const PerspectiveView& view,
                         unsigned char out[PackedPerspectiveViewSize]) {
    PutU32(out, view.projection);
    unsigned char* p = out + 4;
    p = PutVector(p, view.eyePoint);
    p = PutVector(p, view.rightAxis);
    p = PutVector(p, view.upAxis);
    p = PutVector(p, view.viewDirection);
    p = PutVector(p, view.spareAxis);
    p = PutVector(p, view.cornerTopLeft);
    p = PutVector(p, view.cornerBottomRight);
    PutF64(p, view.nearDepth);
    PutF64(p + 8, view.farDepth);
    PutF64(p + 16, view.unitScale);
    PutU32(p + 24, view.unitCode);
}

void UnpackPerspectiveView(const unsigned char in[PackedPerspectiveViewSize], PerspectiveView& view,
                           bool bigEndian) {
    view.projection = GetU32(in, bigEndian);
    const unsigned char* p = in + 4;
    p = GetVector(p, view.eyePoint, bigEndian);
    p = GetVector(p, view.rightAxis, bigEndian);
    p = GetVector(p, view.upAxis, bigEndian);
    p = GetVector(p, view.viewDirection, bigEndian);
    p = GetVector(p, view.spareAxis, bigEndian);
    p = GetVector(p, view.cornerTopLeft, bigEndian);
    p = GetVector(p, view.cornerBottomRight, bigEndian);
    view.nearDepth = GetF64(p, bigEndian);
    view.farDepth = GetF64(p + 8, bigEndian);
    view.unitScale = GetF64(p + 16, bigEndian);
    view.unitCode = GetU32(p + 24, bigEndian);
}

void PackPanoramaView(const PanoramaView& view, unsigned char out[PackedPanoramaViewSize]) {
    PutU32(out, view.projection);
    unsigned char* p = out + 4;
    p = PutVector(p, view.eyePoint);
    p = PutVector(p, view.upAxis);
    p = PutVector(p, view.viewDirection);
    p = PutVector(p, view.centrePoint);
    PutF64(p, view.scalar);
    PutF64(p + 8, view.nearDepth);
    PutF64(p + 16, view.farDepth);
    PutF64(p + 24, view.unitScale);
    PutU32(p + 32, view.unitCode);
}

void UnpackPanoramaView(const unsigned char in[PackedPanoramaViewSize], PanoramaView& view,
                        bool bigEndian) {
    view.projection = GetU32(in, bigEndian);
    const unsigned char* p = in + 4;
    p = GetVector(p, view.eyePoint, bigEndian);
    p = GetVector(p, view.upAxis, bigEndian);
    p = GetVector(p, view.viewDirection, bigEndian);
    p = GetVector(p, view.centrePoint, bigEndian);
    view.scalar = GetF64(p, bigEndian);
    view.nearDepth = GetF64(p + 8, bigEndian);
    view.farDepth = GetF64(p + 16, bigEndian);
    view.unitScale = GetF64(p + 24, bigEndian);
    view.unitCode = GetU32(p + 32, bigEndian);
}

void PackLayerHeader(const LayerHeader& header, unsigned char out[LayerHeaderSize]) {
    PutU32(out, header.kind);
    PutU16(out + 4, header.major);
    PutU16(out + 6, header.minor);
}

const char* KindName(std::uint32_t kind) {
    switch (kind) {
    case KindColour:
        return "colour";
    case KindPerspectiveDepth:
        return "depth";
    case KindObjectId:
        return "object-id";
    case KindPanoramaDepth:
        return "panorama depth";
    default:
        return "unknown";
    }
}

const char* UnitName(std::uint32_t unitCode) {
    switch (unitCode) {
    case UnitMillimetre:
        return "millimetre";
    case UnitCentimetre:
        return "centimetre";
    case UnitMetre:
        return "metre";
    case UnitKilometre:
        return "kilometre";
    case UnitInch:
        return "inch";
    case UnitFoot:
        return "foot";
    default:
        return "none";
    }
}

const char* ProjectionName(std::uint32_t projection) {
    switch (projection) {
    case ProjectionPerspective:
        return "perspective";
    case ProjectionParallel:
        return "parallel";
    case ProjectionPanorama:
        return "panorama";
    default:
        return "unknown";
    }
}
