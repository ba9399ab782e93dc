// exr_probe: prints what the tests need of an OpenEXR file, read with OpenEXR's own library:
// the size, the envmap kind, the camera matrices, and every pixel with the direction that
// OpenEXR's environment-map functions give it.
//
//   size W H
//   envmap latlong|cube|none
//   worldToCamera M00 M01 ... M33        (when present, row after row)
//   worldToNDC M00 ... M33               (when present)
//   pixel X Y DX DY DZ R G B Z ID        (one a pixel; the direction 0 0 0 without envmap)
#include <ImfChannelList.h>
#include <ImfEnvmap.h>
#include <ImfFrameBuffer.h>
#include <ImfInputFile.h>
#include <ImfStandardAttributes.h>

#include <cstdio>
#include <exception>
#include <vector>

namespace {

void PrintMatrix(const char* name, const Imath::M44f& m) {
    std::printf("%s", name);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            std::printf(" %.9g", m[r][c]);
        }
    }
    std::printf("\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: exr_probe FILE.exr\n", stderr);
        return 2;
    }
    try {
        Imf::InputFile file(argv[1]);
        const Imf::Header& header = file.header();
        const Imath::Box2i window = header.dataWindow();
        const int width = window.max.x - window.min.x + 1;
        const int height = window.max.y - window.min.y + 1;
        std::vector<float> r(std::size_t(width) * height), g(r.size()), b(r.size()), z(r.size());
        std::vector<unsigned> ids(r.size());
        Imf::FrameBuffer frame;
        const std::size_t base = std::size_t(window.min.y) * width + window.min.x;
        const auto slice = [&](const char* name, Imf::PixelType type, void* data) {
            char* origin = static_cast<char*>(data) - base * 4;
            frame.insert(name, Imf::Slice(type, origin, 4, 4 * std::size_t(width)));
        };
        slice("R", Imf::FLOAT, r.data());
        slice("G", Imf::FLOAT, g.data());
        slice("B", Imf::FLOAT, b.data());
        slice("Z", Imf::FLOAT, z.data());
        slice("objectId", Imf::UINT, ids.data());
        file.setFrameBuffer(frame);
        file.readPixels(window.min.y, window.max.y);

        std::printf("size %d %d\n", width, height);
        const bool hasEnvmap = Imf::hasEnvmap(header);
        const Imf::Envmap kind = hasEnvmap ? Imf::envmap(header) : Imf::ENVMAP_LATLONG;
        std::printf("envmap %s\n", !hasEnvmap                 ? "none"
                                   : kind == Imf::ENVMAP_CUBE ? "cube"
                                                              : "latlong");
        if (Imf::hasWorldToCamera(header)) {
            PrintMatrix("worldToCamera", Imf::worldToCamera(header));
        }
        if (Imf::hasWorldToNDC(header)) {
            PrintMatrix("worldToNDC", Imf::worldToNDC(header));
        }
        const auto print = [&](int x, int y, const Imath::V3f& d) {
            const std::size_t i = std::size_t(y - window.min.y) * width + (x - window.min.x);
            std::printf("pixel %d %d %.9g %.9g %.9g %.9g %.9g %.9g %.9g %u\n", x, y, d.x, d.y, d.z,
                        r[i], g[i], b[i], z[i], ids[i]);
        };
        if (hasEnvmap && kind == Imf::ENVMAP_CUBE) {
            const int n = Imf::CubeMap::sizeOfFace(window);
            for (int f = Imf::CUBEFACE_POS_X; f <= Imf::CUBEFACE_NEG_Z; ++f) {
                const Imf::CubeMapFace face = static_cast<Imf::CubeMapFace>(f);
                for (int j = 0; j < n; ++j) {
                    for (int i = 0; i < n; ++i) {
                        const Imath::V2f inFace{float(i), float(j)};
                        const Imath::V2f at = Imf::CubeMap::pixelPosition(face, window, inFace);
                        print(int(at.x + 0.5f), int(at.y + 0.5f),
                              Imf::CubeMap::direction(face, window, inFace));
                    }
                }
            }
        } else {
            for (int y = window.min.y; y <= window.max.y; ++y) {
                for (int x = window.min.x; x <= window.max.x; ++x) {
                    print(x, y,
                          hasEnvmap ? Imf::LatLongMap::direction(window, Imath::V2f(x, y))
                                    : Imath::V3f(0, 0, 0));
                }
            }
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "exr_probe: %s\n", error.what());
        return 1;
    }
}
