// orvo export exr: a panorama as an OpenEXR environment map, a rendered view as an OpenEXR
// image with its camera, each with depth and object ids, for compositors and renderers.
#include "export.h"
#include "export_output.h"
#include "pixel_ray.h"

#include "orvo/panorama.h"

#include <ImfChannelList.h>
#include <ImfDoubleAttribute.h>
#include <ImfEnvmap.h>
#include <ImfFrameBuffer.h>
#include <ImfHeader.h>
#include <ImfMatrixAttribute.h>
#include <ImfOutputFile.h>
#include <ImfStandardAttributes.h>
#include <ImfStringAttribute.h>
#include <ImfVecAttribute.h>
#include <half.h>

#include <cmath>
#include <cstring>
#include <exception>
#include <limits>
#include <thread>

namespace {

// The sRGB colours of the 8-bit codes, decoded to linear light.
struct LinearColours {
    float value[256];
    std::uint16_t half[256];
    LinearColours() {
        for (int code = 0; code < 256; ++code) {
            const double c = code / 255.0;
            value[code] =
                static_cast<float>(c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4));
            half[code] = Imath::half(value[code]).bits();
        }
    }
};

// Envmap directions have OpenEXR's axes, y up; the file's world has Z up. The envmap's z,
// the centre of a latitude-longitude map, is the panorama's first face, +Y, and its x is -X,
// so that the turn from the centre to the right is the turn from +Y to +X.
Vector3 SceneDirection(const Imath::V3f& envmap) {
    return {-double(envmap.x), double(envmap.z), double(envmap.y)};
}

const char EnvmapAxes[] = "envmap direction (x, y, z) = scene direction (-X, Z, Y): the envmap's "
                          "y is the scene's up, +Z; its z the scene's +Y; its x the scene's -X";

// Samples the strip at a run of places into the image's pixels at[0], at[1] and so on: the
// colour blended bilinearly in linear light within one face (whose border pixels lie on the
// cube's edges), Z and the id from the nearest face pixel.
struct StripSampler {
    int faceSize;
    std::size_t stride; // pixels a strip row
    const unsigned char* colour;
    const std::uint32_t* depth;
    const std::uint16_t* ids;
    DepthScale scale;
    const RayLengths* lengths;
    const LinearColours* linear;

    void Sample(const StripPlaces& places, int count, const std::size_t* at,
                ExrImage& image) const {
        // The fields as locals, read once a run.
        const int n = faceSize;
        const std::size_t strideOf = stride;
        const unsigned char* const plane = colour;
        if (plane != nullptr) {
            const float* value = linear->value;
            std::uint16_t* out[3] = {image.red.data(), image.green.data(), image.blue.data()};
            for (int k = 0; k < count; ++k) {
                const double column = places.column[k];
                const double row = places.row[k];
                const int c0 = static_cast<int>(column);
                const int r0 = static_cast<int>(row);
                const std::size_t right = c0 + 1 < n ? 3 : 0;
                const std::size_t down = r0 + 1 < n ? 3 * strideOf : 0;
                const float fc = static_cast<float>(column - c0);
                const float fr = static_cast<float>(row - r0);
                const unsigned char* top =
                    plane + 3 * (std::size_t(r0) * strideOf + std::size_t(places.slot[k]) * n + c0);
                const unsigned char* bottom = top + down;
                for (int j = 0; j < 3; ++j) {
                    const float a = value[top[j]];
                    const float b = value[top[right + j]];
                    const float c = value[bottom[j]];
                    const float d = value[bottom[right + j]];
                    const float upper = a + fc * (b - a);
                    const float lower = c + fc * (d - c);
                    out[j][at[k]] = Imath::half(upper + fr * (lower - upper)).bits();
                }
            }
        }
        float* z = image.z.data();
        std::uint32_t* id = ids != nullptr ? image.ids.data() : nullptr;
        for (int k = 0; k < count; ++k) {
            const NearestPixel nearest =
                NearestFacePixel(n, places.slot[k], places.column[k], places.row[k]);
            const std::uint32_t code = depth[nearest.index];
            z[at[k]] = code == NoDepthCode
                           ? std::numeric_limits<float>::infinity()
                           : static_cast<float>(scale.Depth(code) *
                                                (*lengths)(nearest.column, nearest.row));
            if (id != nullptr) {
                id[at[k]] = ids[nearest.index];
            }
        }
    }
};

// OpenEXR's directions and map positions of one cube face's pixels, worked out from those of
// the face's first row and first column: each component of either follows the column alone,
// the row alone or neither, as a cube face's two axes do, so those values give every pixel's
// to the bit without two library calls a pixel. A face whose values show otherwise, or
// where the table disagrees with the library on a test pixel, keeps calling the library.
class CubeFaceTable {
public:
    CubeFaceTable(Imf::CubeMapFace face, const Imath::Box2i& window, int n)
        : face_(face), window_(window) {
        for (int i = 0; i < n; ++i) {
            byColumn_.push_back(Library(i, 0));
            byRow_.push_back(Library(0, i));
        }
        for (int k = 0; k < Components; ++k) {
            bool column = false;
            bool row = false;
            for (int i = 0; i < n; ++i) {
                column = column || !Same(byColumn_[i].value[k], byColumn_[0].value[k]);
                row = row || !Same(byRow_[i].value[k], byRow_[0].value[k]);
            }
            separable_ = separable_ && !(column && row);
            follows_[k] = row ? FollowsRow : column ? FollowsColumn : FollowsNeither;
        }
        for (const int row : {0, n / 3, n - 1}) {
            for (const int column : {0, n / 2, n - 1}) {
                const Values table = Composed(column, row);
                const Values library = Library(column, row);
                for (int k = 0; k < Components; ++k) {
                    separable_ = separable_ && Same(table.value[k], library.value[k]);
                }
            }
        }
    }

    // The direction of the face's pixel (column, row) and its position in the map.
    void At(int column, int row, Imath::V3f& direction, Imath::V2f& position) const {
        const Values v = separable_ ? Composed(column, row) : Library(column, row);
        direction = Imath::V3f(v.value[0], v.value[1], v.value[2]);
        position = Imath::V2f(v.value[3], v.value[4]);
    }

private:
    static const int Components = 5; // the direction's x, y, z, the position's x, y
    enum Follows { FollowsNeither, FollowsColumn, FollowsRow };
    struct Values {
        float value[Components];
    };

    static bool Same(float a, float b) {
        std::uint32_t x, y;
        std::memcpy(&x, &a, sizeof x);
        std::memcpy(&y, &b, sizeof y);
        return x == y;
    }
    Values Library(int column, int row) const {
        const Imath::V2f inFace(static_cast<float>(column), static_cast<float>(row));
        const Imath::V3f d = Imf::CubeMap::direction(face_, window_, inFace);
        const Imath::V2f p = Imf::CubeMap::pixelPosition(face_, window_, inFace);
        return {{d.x, d.y, d.z, p.x, p.y}};
    }
    Values Composed(int column, int row) const {
        Values v;
        for (int k = 0; k < Components; ++k) {
            v.value[k] = follows_[k] == FollowsRow      ? byRow_[row].value[k]
                         : follows_[k] == FollowsColumn ? byColumn_[column].value[k]
                                                        : byColumn_[0].value[k];
        }
        return v;
    }

    Imf::CubeMapFace face_;
    Imath::Box2i window_;
    std::vector<Values> byColumn_; // along the first row
    std::vector<Values> byRow_;    // along the first column
    Follows follows_[Components] = {};
    bool separable_ = true;
};

void Allocate(const OrvoDocument& document, ExrImage& image) {
    const std::size_t count = std::size_t(image.width) * image.height;
    if (document.HasColour()) {
        image.red.resize(count);
        image.green.resize(count);
        image.blue.resize(count);
    }
    if (document.HasDepth()) {
        image.z.resize(count);
    }
    if (document.HasIds()) {
        image.ids.resize(count);
    }
}

ExrImage RemapEnvironment(const OrvoDocument& document, ExrLayout layout) {
    CheckPanorama(document);
    const int n = document.height;
    ExrImage image;
    image.environment = true;
    image.layout = layout;
    image.width = layout == ExrLayout::LatLong ? 4 * n : n;
    image.height = layout == ExrLayout::LatLong ? 2 * n : 6 * n;
    Allocate(document, image);
    const Imath::Box2i window(Imath::V2i(0, 0), Imath::V2i(image.width - 1, image.height - 1));
    const LinearColours linear;
    const RayLengths lengths(n);
    const StripSampler sampler = {n,
                                  std::size_t(document.width),
                                  image.red.empty() ? nullptr : document.colour.data(),
                                  document.depth.data(),
                                  image.ids.empty() ? nullptr : document.ids.data(),
                                  document.Scale(),
                                  &lengths,
                                  &linear};
    if (layout == ExrLayout::Cube) {
        // Each face in turn, a row of it at a time: OpenEXR places the face's pixels in the
        // map turned and mirrored as its cube layout has them.
        const FacePointer pointOf(n, document.rolls);
        std::vector<CubeFaceTable> faces;
        for (int face = 0; face < 6; ++face) {
            faces.emplace_back(static_cast<Imf::CubeMapFace>(face), window, n);
        }
        ForRunsInTiles(6 * n, n, [&](int k, int first, int end) {
            const CubeFaceTable& face = faces[std::size_t(k / n)];
            StripPlaces places;
            std::size_t at[RunLength];
            for (int column = first; column < end; ++column) {
                Imath::V3f d;
                Imath::V2f position;
                face.At(column, k % n, d, position);
                const PanoramaPoint point = pointOf(SceneDirection(d));
                places.slot[column - first] = point.slot;
                places.column[column - first] = point.column;
                places.row[column - first] = point.row;
                // The positions are those of pixels, whole numbers; rounded as lround does
                // for positive ones.
                at[column - first] = std::size_t(double(position.y) + 0.5) * image.width +
                                     std::size_t(double(position.x) + 0.5);
            }
            sampler.Sample(places, end - first, at, image);
        });
        return image;
    }
    // Latitude depends on the row alone and longitude on the column alone, so each is
    // looked up once; the direction is then the one LatLongMap::direction gives, in the
    // scene's axes (SceneDirection): (-sin longitude, cos longitude) scaled by the cosine of
    // the latitude, and its sine up.
    std::vector<float> east(image.width), north(image.width);
    for (int x = 0; x < image.width; ++x) {
        const float longitude = Imf::LatLongMap::latLong(window, Imath::V2f(float(x), 0.0f)).y;
        east[x] = -std::sin(longitude);
        north[x] = std::cos(longitude);
    }
    std::vector<float> sinLatitude(image.height), cosLatitude(image.height);
    for (int y = 0; y < image.height; ++y) {
        const float latitude = Imf::LatLongMap::latLong(window, Imath::V2f(0.0f, float(y))).x;
        sinLatitude[y] = std::sin(latitude);
        cosLatitude[y] = std::cos(latitude);
    }
    const LatLongPointer<float> pointer(n, document.rolls, east, north);
    ForRunsInTiles(image.height, image.width, [&](int y, int first, int end) {
        StripPlaces places;
        pointer.Place(first, end, cosLatitude[y], sinLatitude[y], places);
        std::size_t at[RunLength];
        for (int x = first; x < end; ++x) {
            at[x - first] = std::size_t(y) * image.width + x;
        }
        sampler.Sample(places, end - first, at, image);
    });
    return image;
}

ExrImage CopyView(const OrvoDocument& document) {
    ExrImage image;
    image.width = document.width;
    image.height = document.height;
    Allocate(document, image);
    const LinearColours linear;
    const DepthScale scale = document.Scale();
    const std::size_t count = document.PixelCount();
    for (std::size_t i = 0; i < count; ++i) {
        if (!image.red.empty()) {
            image.red[i] = linear.half[document.colour[3 * i]];
            image.green[i] = linear.half[document.colour[3 * i + 1]];
            image.blue[i] = linear.half[document.colour[3 * i + 2]];
        }
        if (!image.z.empty()) {
            const std::uint32_t code = document.depth[i];
            image.z[i] = code == NoDepthCode ? std::numeric_limits<float>::infinity()
                                             : static_cast<float>(scale.Depth(code));
        }
        if (!image.ids.empty()) {
            image.ids[i] = document.ids[i];
        }
    }
    return image;
}

// The camera of a rendered view in OpenEXR's terms: the screen window on the plane z = 1
// (perspective) or in scene units (parallel), spanning the whole image, half a pixel beyond
// the corner pixels' centres; camera space x right, y up, z along the view.
void AddCamera(const OrvoDocument& document, Imf::Header& header) {
    if (!document.view || document.width < 2 || document.height < 2) {
        return;
    }
    const PerspectiveView& view = *document.view;
    const bool parallel = view.projection == ProjectionParallel;
    const ViewWindow c = WindowOf(view);
    const double halfX = 0.5 * (c.right - c.left) / (document.width - 1);
    const double halfY = 0.5 * (c.top - c.bottom) / (document.height - 1);
    const double left = c.left - halfX, right = c.right + halfX;
    const double top = c.top + halfY, bottom = c.bottom - halfY;
    const Vector3& r = view.rightAxis;
    const Vector3& u = view.upAxis;
    const Vector3& v = view.viewDirection;
    const Vector3& e = view.eyePoint;
    const Imath::M44d cameraToWorld(r.x, r.y, r.z, 0, u.x, u.y, u.z, 0, v.x, v.y, v.z, 0, e.x, e.y,
                                    e.z, 1);
    if (!(right > left) || !(top > bottom) || !std::isfinite(right - left + top - bottom) ||
        std::abs(cameraToWorld.determinant()) < 1e-12 ||
        (view.projection != ProjectionPerspective && !parallel)) {
        return; // no camera that a reader could use
    }
    const Imath::M44d worldToCamera = cameraToWorld.inverse();
    // Camera space to NDC: (0, 0) the image's top-left corner, (1, 1) its bottom-right.
    Imath::M44d toNdc(0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    toNdc[0][0] = 1.0 / (right - left);
    toNdc[1][1] = -1.0 / (top - bottom);
    if (parallel) {
        toNdc[3][0] = -left / (right - left);
        toNdc[3][1] = top / (top - bottom);
        toNdc[2][2] = 1.0;
        toNdc[3][3] = 1.0;
    } else {
        toNdc[2][0] = -left / (right - left);
        toNdc[2][1] = top / (top - bottom);
        toNdc[3][2] = 1.0;
        toNdc[2][3] = 1.0;
    }
    const Imath::M44d worldToNdc = worldToCamera * toNdc;
    header.screenWindowCenter() =
        Imath::V2f(float(0.5 * (left + right)), float(0.5 * (top + bottom)));
    header.screenWindowWidth() = float(right - left);
    header.pixelAspectRatio() =
        float(((right - left) / document.width) / ((top - bottom) / document.height));
    Imf::addWorldToCamera(header, Imath::M44f(worldToCamera));
    Imf::addWorldToNDC(header, Imath::M44f(worldToNdc));
    header.insert("orvoProjection", Imf::StringAttribute(parallel ? "parallel" : "perspective"));
}

} // namespace

ExrImage RemapExr(const OrvoDocument& document, ExrLayout layout) {
    if (document.panorama) {
        return RemapEnvironment(document, layout);
    }
    return CopyView(document);
}

void WriteExr(const OrvoDocument& document, const ExrImage& image, const std::string& path) {
    Imf::Header header(image.width, image.height);
    header.compression() = Imf::ZIP_COMPRESSION;
    const DepthScale scale = document.Scale();
    if (document.view || document.panorama) { // the unit comes with the view record
        header.insert("orvoUnit", Imf::StringAttribute(UnitName(scale.unitCode)));
        header.insert("orvoUnitScale", Imf::DoubleAttribute(scale.unitScale));
    }
    header.insert("orvoSource", Imf::StringAttribute(document.path));
    if (image.environment) {
        Imf::addEnvmap(header,
                       image.layout == ExrLayout::Cube ? Imf::ENVMAP_CUBE : Imf::ENVMAP_LATLONG);
        header.insert("orvoAxes", Imf::StringAttribute(EnvmapAxes));
        const Vector3& eye = document.panorama->eyePoint;
        header.insert("orvoEyePoint",
                      Imf::V3fAttribute(Imath::V3f(Imath::V3d(eye.x, eye.y, eye.z))));
        // Scene points to envmap directions: the axes above, about the eye point.
        const Imath::M44d rotation(-1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1);
        Imath::M44d toEye;
        toEye.setTranslation(Imath::V3d(-eye.x, -eye.y, -eye.z));
        header.insert("orvoWorldToEnvmap", Imf::M44fAttribute(Imath::M44f(toEye * rotation)));
    } else {
        AddCamera(document, header);
    }
    if (!image.z.empty()) {
        header.insert("orvoZ",
                      Imf::StringAttribute(
                          image.environment
                              ? "distance from the eye point along the ray, in the scene unit; "
                                "+inf where nothing was hit"
                              : "depth along the view direction (camera z), in the scene unit; "
                                "+inf where nothing was hit"));
    }
    if (!image.ids.empty()) {
        header.insert("orvoObjects",
                      Imf::StringAttribute(ObjectTableText(document, CountIds(image.ids))));
    }

    Imf::FrameBuffer frame;
    const std::size_t w = std::size_t(image.width);
    const auto add = [&](const char* name, Imf::PixelType type, const void* data,
                         std::size_t size) {
        header.channels().insert(name, Imf::Channel(type));
        frame.insert(name, Imf::Slice(type, const_cast<char*>(static_cast<const char*>(data)), size,
                                      size * w));
    };
    if (!image.red.empty()) {
        add("R", Imf::HALF, image.red.data(), 2);
        add("G", Imf::HALF, image.green.data(), 2);
        add("B", Imf::HALF, image.blue.data(), 2);
    }
    if (!image.z.empty()) {
        add("Z", Imf::FLOAT, image.z.data(), 4);
    }
    if (!image.ids.empty()) {
        add("objectId", Imf::UINT, image.ids.data(), 4);
    }

    TemporaryOutput output(path);
    try {
        const int threads = std::max(1u, std::thread::hardware_concurrency());
        Imf::OutputFile file(output.Path().c_str(), header, threads);
        file.setFrameBuffer(frame);
        file.writePixels(image.height);
    } catch (const std::bad_alloc&) {
        throw;
    } catch (const std::exception& error) {
        throw FileError(path, std::string("cannot write the OpenEXR file: ") + error.what());
    }
    output.Commit();
    std::printf("wrote %s\n", path.c_str());
}
