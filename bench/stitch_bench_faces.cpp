// Writes six cube faces for the stitch benchmark with the library's own writer: exact
// 90-degree perspective faces of N x N pixels around one eye point, with smooth colours,
// depths on ranges that differ from face to face, and object ids drawn from a table that
// every face shares.
//
// Usage: stitch_bench_faces folder N [objects]
// Writes folder/face_0.orv .. face_5.orv (slots +Y, +X, -Y, -X, up, down).
#include "orvo/stream_writer.h"
#include "platform/text.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

namespace {

void SetAxes(PerspectiveView& view, int slot) {
    static const Vector3 axes[6][3] = {
        {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},   {{0, -1, 0}, {0, 0, 1}, {1, 0, 0}},
        {{-1, 0, 0}, {0, 0, 1}, {0, -1, 0}}, {{0, 1, 0}, {0, 0, 1}, {-1, 0, 0}},
        {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}},  {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}},
    };
    view.rightAxis = axes[slot][0];
    view.upAxis = axes[slot][1];
    view.viewDirection = axes[slot][2];
}

void WriteFace(const std::string& path, int slot, int size, int objects) {
    PerspectiveView view;
    InitPerspectiveView(view);
    view.projection = ProjectionPerspective;
    SetAxes(view, slot);
    view.cornerTopLeft = {1, -1, -1};
    view.cornerBottomRight = {-1, 1, -1};
    view.eyePoint = {10, 20, 1.7};
    view.nearDepth = 0.5 + slot;
    view.farDepth = 50.0 + 10 * slot;
    view.unitScale = 1.0;
    view.unitCode = UnitMetre;

    const auto side = static_cast<std::uint16_t>(size);
    OrvoStreamWriter writer(platform::AnsiToWide(path), side, side, L"stitch_bench_faces", L"", L"",
                            L"", view);
    unsigned char* colour = writer.ColourRow();
    std::uint32_t* depth = writer.DepthRow();
    std::uint16_t* ids = writer.IdRow();
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            colour[3 * x] = static_cast<unsigned char>(x * 255 / size);
            colour[3 * x + 1] = static_cast<unsigned char>(y * 255 / size);
            colour[3 * x + 2] = static_cast<unsigned char>(slot * 40);
            const bool sky = slot == 4 && y < size / 2;
            depth[x] = sky ? NoDepthCode
                           : static_cast<std::uint32_t>((static_cast<std::uint64_t>(x) + y) *
                                                        0xFFFFFFFEull / (2ull * size));
            ids[x] = sky || objects == 0
                         ? 0
                         : static_cast<std::uint16_t>(1 + ((x / 64 + (y / 64) * 37) % objects));
        }
        writer.WriteRow();
    }
    for (int k = 1; k <= objects; ++k) {
        writer.AddObject(static_cast<std::uint16_t>(k), static_cast<std::uint8_t>(k),
                         static_cast<std::uint8_t>(k >> 8), 7, L"Object " + std::to_wstring(k));
    }
    writer.Close();
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fputs("Usage: stitch_bench_faces folder N [objects]\n", stderr);
        return 2;
    }
    const int size = std::atoi(argv[2]);
    const int objects = argc > 3 ? std::atoi(argv[3]) : 200;
    if (size < 1 || size > 2730 || objects < 0 || objects > 65535) {
        std::fputs("stitch_bench_faces: N must be 1..2730 and objects 0..65535\n", stderr);
        return 2;
    }
    try {
        for (int slot = 0; slot < 6; ++slot) {
            WriteFace(std::string(argv[1]) + "/face_" + std::to_string(slot) + ".orv", slot, size,
                      objects);
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "stitch_bench_faces: %s\n", error.what());
        return 1;
    }
    return 0;
}
