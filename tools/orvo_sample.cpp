// orvo_sample: writes a small Orvo file with all three layers through OrvoStreamWriter and
// prints what it wrote. The picture is a ray-cast scene (a floor and two spheres under a sky),
// so the depth layer holds real depths along the view direction and the object-id layer real
// object outlines.
#include "orvo/stream_writer.h"
#include "platform/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <string>

namespace {

const int Width = 160;
const int Height = 100;
const double HalfWidth = 0.6; // of the image plane at distance 1
const double HalfHeight = HalfWidth * Height / Width;
const double NearDepth = 1.0;
const double FarDepth = 50.0;
const double EyeHeight = 1.6; // metres above the floor

struct Sphere {
    std::uint16_t id;
    Vector3 centre; // camera space: x right, y up, looking along -z
    double radius;
    double red, green, blue;
};

const Sphere Spheres[] = {
    {2, {-1.0, 1.0 - EyeHeight, -6.0}, 1.0, 0.86, 0.16, 0.16},
    {3, {1.8, 0.7 - EyeHeight, -9.0}, 0.7, 0.16, 0.31, 0.86},
};

struct ObjectInfo {
    std::uint16_t id;
    const wchar_t* name;
    std::uint8_t red, green, blue;
};

const ObjectInfo Objects[] = {
    {1, L"Floor", 120, 160, 90},
    {2, L"Red sphere", 220, 40, 40},
    {3, L"Blue sphere \u00b7 glass", 40, 80, 220},
};

// Camera-space direction through the centre of a pixel, scaled so that z is -1: a ray's
// parameter is then its depth along the view direction.
Vector3 PixelRay(int x, int y) {
    return {-HalfWidth + (x + 0.5) * 2 * HalfWidth / Width,
            HalfHeight - (y + 0.5) * 2 * HalfHeight / Height, -1.0};
}

struct Hit {
    double depth = -1; // < 0: nothing hit
    std::uint16_t id = 0;
    double shade[3] = {0, 0, 0};
};

Hit Trace(const Vector3& d) {
    Hit hit;
    // The light comes from above, behind the viewer's right shoulder.
    const double light[3] = {0.4, 0.8, 0.45};
    for (const Sphere& s : Spheres) {
        // |t d - c|^2 = r^2
        const double a = d.x * d.x + d.y * d.y + d.z * d.z;
        const double b = -2 * (d.x * s.centre.x + d.y * s.centre.y + d.z * s.centre.z);
        const double c = s.centre.x * s.centre.x + s.centre.y * s.centre.y +
                         s.centre.z * s.centre.z - s.radius * s.radius;
        const double discriminant = b * b - 4 * a * c;
        if (discriminant < 0) {
            continue;
        }
        const double t = (-b - std::sqrt(discriminant)) / (2 * a);
        if (t > 0 && (hit.depth < 0 || t < hit.depth)) {
            const double n[3] = {(t * d.x - s.centre.x) / s.radius,
                                 (t * d.y - s.centre.y) / s.radius,
                                 (t * d.z - s.centre.z) / s.radius};
            const double lambert =
                std::max(0.0, n[0] * light[0] + n[1] * light[1] + n[2] * light[2]);
            const double level = 0.25 + 0.75 * lambert;
            hit.depth = t;
            hit.id = s.id;
            hit.shade[0] = s.red * level;
            hit.shade[1] = s.green * level;
            hit.shade[2] = s.blue * level;
        }
    }
    // The floor, y = -EyeHeight, as far as the depth range reaches.
    if (d.y < 0) {
        const double t = -EyeHeight / d.y;
        if (t < FarDepth && (hit.depth < 0 || t < hit.depth)) {
            const bool dark =
                (static_cast<int>(std::floor(t * d.x)) + static_cast<int>(std::floor(t * d.z))) %
                    2 !=
                0;
            const double fade = 1.0 - 0.6 * t / FarDepth;
            hit.depth = t;
            hit.id = 1;
            hit.shade[0] = (dark ? 0.35 : 0.55) * fade;
            hit.shade[1] = (dark ? 0.45 : 0.68) * fade;
            hit.shade[2] = (dark ? 0.25 : 0.40) * fade;
        }
    }
    return hit;
}

std::uint8_t Byte(double value) {
    return static_cast<std::uint8_t>(std::lround(std::min(1.0, std::max(0.0, value)) * 255));
}

// Depth code c stands for NearDepth + c (FarDepth - NearDepth) / 2^32.
std::uint32_t DepthCode(double depth) {
    const double code = std::floor((depth - NearDepth) / (FarDepth - NearDepth) * 4294967296.0);
    return static_cast<std::uint32_t>(std::min(4294967294.0, std::max(0.0, code)));
}

void Usage(std::FILE* out) {
    std::fputs("Usage: orvo_sample <path>\n"
               "Writes a 160 x 100 Orvo file with colour, depth and object-id layers (a floor\n"
               "and two spheres) and prints what it wrote.\n",
               out);
}

int Run(const std::string& path) {
    PerspectiveView view;
    InitPerspectiveView(view);
    view.projection = ProjectionPerspective;
    view.eyePoint = {0, 0, EyeHeight};
    view.rightAxis = {1, 0, 0};
    view.upAxis = {0, 0, 1};
    view.viewDirection = {0, 1, 0};
    // The record's corners are mirrored in x and y, as a render camera's screen mapping gives
    // them, so that x/z and y/z are the window's offsets to the right and upwards.
    const Vector3 topLeft = PixelRay(0, 0);
    const Vector3 bottomRight = PixelRay(Width - 1, Height - 1);
    view.cornerTopLeft = {-topLeft.x, -topLeft.y, topLeft.z};
    view.cornerBottomRight = {-bottomRight.x, -bottomRight.y, bottomRight.z};
    view.nearDepth = NearDepth;
    view.farDepth = FarDepth;
    view.unitScale = 1.0;
    view.unitCode = UnitMetre;

    std::map<std::uint16_t, long> pixels;
    OrvoStreamWriter writer(platform::AnsiToWide(path), Width, Height, L"orvo_sample",
                            L"Sample scene", L"Orvo", L"", view);
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; ++x) {
            const Hit hit = Trace(PixelRay(x, y));
            unsigned char* rgb = writer.ColourRow() + 3 * x;
            if (hit.depth < 0) {
                // Sky: paler towards the horizon; no depth and no object.
                const double up = 1.0 - static_cast<double>(y) / Height;
                rgb[0] = Byte(0.75 - 0.35 * up);
                rgb[1] = Byte(0.85 - 0.25 * up);
                rgb[2] = Byte(0.98);
                writer.DepthRow()[x] = NoDepthCode;
                writer.IdRow()[x] = NoObjectId;
            } else {
                rgb[0] = Byte(hit.shade[0]);
                rgb[1] = Byte(hit.shade[1]);
                rgb[2] = Byte(hit.shade[2]);
                writer.DepthRow()[x] = DepthCode(hit.depth);
                writer.IdRow()[x] = hit.id;
            }
            ++pixels[hit.id];
        }
        writer.WriteRow();
    }
    for (const ObjectInfo& object : Objects) {
        writer.AddObject(object.id, object.red, object.green, object.blue, object.name);
    }
    writer.Close();

    std::printf("Wrote %s (%ju bytes): %d x %d pixels, colour, depth and object-id layers\n",
                path.c_str(), static_cast<std::uintmax_t>(std::filesystem::file_size(path)), Width,
                Height);
    std::printf("  camera: perspective, eye (0, 0, %.1f) m, looking along +y, "
                "depth codes over %.0f to %.0f m\n",
                EyeHeight, NearDepth, FarDepth);
    std::printf("  sky: %ld pixels without depth (id 0)\n", pixels[0]);
    std::printf("  objects:\n");
    for (const ObjectInfo& object : Objects) {
        std::printf("    %u  %-22s colour %3u %3u %3u  %5ld pixels\n", object.id,
                    platform::WideToAnsi(object.name).c_str(), object.red, object.green,
                    object.blue, pixels[object.id]);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        Usage(stdout);
        return 0;
    }
    if (argc != 2) {
        Usage(stderr);
        return 2;
    }
    try {
        return Run(argv[1]);
    } catch (const OrvoFile::Error& error) {
        std::fprintf(stderr, "orvo_sample: cannot write %s: %s\n", argv[1], error.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orvo_sample: %s\n", error.what());
    }
    return 1;
}
