#include "test_faces.h"

#include "orvo/stream_writer.h"
#include "orvo/tessaly_orvo_file.h"
#include "platform/kernel32.h"
#include "platform/text.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <new>

namespace testfaces {

void SetCubeAxes(PerspectiveView& view, int slot) {
    // Right, up and view direction of a camera turned to each cube direction.
    static const Vector3 axes[SlotCount][3] = {
        {{1, 0, 0}, {0, 0, 1}, {0, 1, 0}},   // +Y
        {{0, -1, 0}, {0, 0, 1}, {1, 0, 0}},  // +X
        {{-1, 0, 0}, {0, 0, 1}, {0, -1, 0}}, // -Y
        {{0, 1, 0}, {0, 0, 1}, {-1, 0, 0}},  // -X
        {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}},  // up: the front camera tilted up
        {{1, 0, 0}, {0, 1, 0}, {0, 0, -1}},  // down: the front camera tilted down
    };
    view.rightAxis = axes[slot][0];
    view.upAxis = axes[slot][1];
    view.viewDirection = axes[slot][2];
}

void SetWindow(PerspectiveView& view, double extentX, double extentY) {
    // A renderer stores (-d.x, -d.y, d.z) of the camera ray d through the pixel centre: the
    // top-left ray (-ex, +ey, -1) becomes (ex, -ey, -1), whose x/z and y/z are -ex and +ey.
    view.cornerTopLeft = {extentX, -extentY, -1};
    view.cornerBottomRight = {-extentX, extentY, -1};
}

FacePlan CubeFace(int slot, int size, double extent) {
    FacePlan plan;
    plan.slot = slot;
    plan.width = size;
    plan.height = size;
    InitPerspectiveView(plan.view);
    plan.view.projection = ProjectionPerspective;
    SetCubeAxes(plan.view, slot);
    SetWindow(plan.view, extent, extent);
    plan.view.eyePoint = {0, 0, 0};
    plan.view.nearDepth = 1.0;
    plan.view.farDepth = 100.0;
    plan.view.unitScale = 1.0;
    plan.view.unitCode = UnitMetre;
    return plan;
}

void ColourAt(int seed, int x, int y, unsigned char rgb[3]) {
    rgb[0] = static_cast<unsigned char>(seed * 37 + x * 11 + y);
    rgb[1] = static_cast<unsigned char>(x * 5 + y * 13 + seed);
    rgb[2] = static_cast<unsigned char>(x ^ (y << 3) ^ (seed * 19));
}

std::uint32_t DepthAt(int seed, int x, int y) {
    if (x == 0 && y == 0) {
        return 0;
    }
    if (x == 1 && y == 0) {
        return 0xFFFFFFFEu;
    }
    if ((x + 2 * y + seed) % 7 == 3) {
        return NoDepthCode;
    }
    const std::uint64_t mixed = static_cast<std::uint64_t>(x) * 2654435761u +
                                static_cast<std::uint64_t>(y) * 40503u +
                                static_cast<std::uint64_t>(seed) * 2246822519u;
    const std::uint32_t code = static_cast<std::uint32_t>(mixed);
    return code == NoDepthCode ? code - 1 : code;
}

std::uint16_t IdAt(int seed, int x, int y, const std::vector<ObjectEntry>& objects) {
    if (DepthAt(seed, x, y) == NoDepthCode) {
        return NoObjectId;
    }
    const std::size_t k = static_cast<std::size_t>(x + 3 * y + seed) % (objects.size() + 2);
    if (k < objects.size()) {
        return objects[k].id;
    }
    return k == objects.size() ? NoObjectId : AbsentId;
}

namespace {

template <typename T> T* AllocatePlane(std::size_t samples) {
    void* plane = VirtualAlloc(nullptr, samples * sizeof(T), MEM_COMMIT, PAGE_READWRITE);
    if (plane == nullptr) {
        throw std::bad_alloc();
    }
    return static_cast<T*>(plane);
}

// Puts back what the file held before the writer was closed: what a killed writer leaves.
template <typename Writer> void LeaveAsKilled(Writer& writer, const std::string& path) {
    const std::string left = ReadBytes(path);
    try {
        writer.Close();
    } catch (...) {
        // The stream writer refuses to close before its last row.
    }
    WriteBytes(path, left);
}

template <typename Writer>
void WriteRows(Writer& writer, const std::string& path, const FacePlan& plan, int seed,
               unsigned char* colour, std::uint32_t* depth, std::uint16_t* ids) {
    for (int y = 0; y < plan.height; ++y) {
        if (y == plan.killedAfterRows) {
            LeaveAsKilled(writer, path);
            return;
        }
        for (int x = 0; x < plan.width; ++x) {
            ColourAt(seed, x, y, colour + 3 * x);
            depth[x] = DepthAt(seed, x, y);
            ids[x] = IdAt(seed, x, y, plan.objects);
        }
        writer.WriteRow();
    }
    if (plan.killedAfterRows == plan.height) {
        LeaveAsKilled(writer, path);
        return;
    }
    for (const ObjectEntry& entry : plan.objects) {
        writer.AddObject(entry.id, entry.red, entry.green, entry.blue, entry.name);
    }
    writer.Close();
}

std::uint32_t LayerMask(const FacePlan& plan) {
    return (plan.writeColour ? LayerColour : 0) | (plan.writeDepth ? LayerDepth : 0) |
           (plan.writeIds ? LayerObjectId : 0);
}

} // namespace

void FillFace(FaceImage& face, const FacePlan& plan, int seed) {
    const std::size_t pixels = static_cast<std::size_t>(plan.width) * plan.height;
    face.width = plan.width;
    face.height = plan.height;
    face.view = plan.view;
    face.objects.assign(plan.objects.rbegin(), plan.objects.rend());
    if (plan.writeColour) {
        face.colour = AllocatePlane<unsigned char>(3 * pixels);
    }
    if (plan.writeDepth) {
        face.depth = AllocatePlane<std::uint32_t>(pixels);
    }
    if (plan.writeIds) {
        face.ids = AllocatePlane<std::uint16_t>(pixels);
    }
    if (!plan.fillPixels) {
        return;
    }
    for (int y = 0; y < plan.height; ++y) {
        for (int x = 0; x < plan.width; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * plan.width + x;
            if (face.colour != nullptr) {
                ColourAt(seed, x, y, face.colour + 3 * at);
            }
            if (face.depth != nullptr) {
                face.depth[at] = DepthAt(seed, x, y);
            }
            if (face.ids != nullptr) {
                face.ids[at] = IdAt(seed, x, y, plan.objects);
            }
        }
    }
}

void WriteFaceFile(const std::string& path, const FacePlan& plan, int seed) {
    OrvoStreamWriter writer(platform::AnsiToWide(path), static_cast<std::uint16_t>(plan.width),
                            static_cast<std::uint16_t>(plan.height), L"face writer", L"", L"", L"",
                            plan.view);
    writer.SetLayers(LayerMask(plan));
    WriteRows(writer, path, plan, seed, writer.ColourRow(), writer.DepthRow(), writer.IdRow());
}

void WriteFaceFileRevision13(const std::string& path, const FacePlan& plan, int seed) {
    std::unique_ptr<Tessaly::Orvo::OrvoFile> writer = Tessaly::Orvo::CreateOrvoFile(
        platform::AnsiToWide(path), static_cast<std::uint16_t>(plan.width),
        static_cast<std::uint16_t>(plan.height), L"face writer", L"", L"", L"", plan.view);
    writer->SetLayers(LayerMask(plan));
    WriteRows(*writer, path, plan, seed, writer->ColourRow(), writer->DepthRow(), writer->IdRow());
}

MergeResult ReferenceMerge(const std::vector<std::vector<ObjectEntry>>& faceObjects, bool useTag) {
    MergeResult result;
    for (const auto& objects : faceObjects) {
        std::map<std::uint16_t, std::uint16_t> idMap;
        for (const ObjectEntry& entry : objects) {
            std::size_t p = 0;
            while (p < result.merged.size()) {
                const ObjectEntry& m = result.merged[p];
                if (m.red == entry.red && m.green == entry.green && m.blue == entry.blue &&
                    m.name == entry.name && (!useTag || m.id == entry.id)) {
                    break;
                }
                ++p;
            }
            if (p == result.merged.size()) {
                result.merged.push_back(entry);
            }
            idMap[entry.id] = static_cast<std::uint16_t>(p + 1);
        }
        result.idMaps.push_back(idMap);
    }
    return result;
}

std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace testfaces
