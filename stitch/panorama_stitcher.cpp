#include "panorama_stitcher.h"

#include "orvo/stream_writer.h"
#include "platform/files.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <unordered_map>
#include <utility>

const std::int32_t PanoramaStitcher::MaximumPanoramaWidth;
const std::size_t PanoramaStitcher::MaximumObjects;

namespace {

// Depth codes of a whole common range: the largest code a hit may have.
const double CodesPerRange = 4294967294.0;
const std::uint32_t LargestHitCode = 0xFFFFFFFEu;

const std::size_t IdCount = 65536;

inline std::uint32_t RemapCode(std::uint32_t code, double scale, double offset) {
    if (code == NoDepthCode) {
        return code;
    }
    const double value = code * scale + offset;
    if (!(value >= 0)) { // NaN as well
        return 0;
    }
    if (value >= CodesPerRange) {
        return LargestHitCode;
    }
    return static_cast<std::uint32_t>(value);
}

} // namespace

// Finds the first merged entry with the same colour and name (and id when ids take part) in
// constant time. Entries are only ever appended, so the position stored when a key is first
// seen stays the first match a search from the start of the table would find.
class PanoramaStitcher::ObjectIndex {
public:
    explicit ObjectIndex(bool useTag) : useTag_(useTag) {}

    // Position of the first entry matching entry; when there is none, candidate is recorded as
    // its position and returned with added set.
    std::size_t FindOrAdd(const ObjectEntry& entry, std::size_t candidate, bool& added) {
        const auto result = positions_.emplace(KeyOf(entry), candidate);
        added = result.second;
        return result.first->second;
    }

private:
    struct Key {
        std::uint64_t colourAndId;
        std::wstring name;
        bool operator==(const Key& other) const {
            return colourAndId == other.colourAndId && name == other.name;
        }
    };
    struct KeyHash {
        std::size_t operator()(const Key& key) const {
            return std::hash<std::wstring>()(key.name) ^
                   static_cast<std::size_t>(key.colourAndId * 0x9E3779B97F4A7C15ull);
        }
    };

    Key KeyOf(const ObjectEntry& entry) const {
        std::uint64_t packed = (static_cast<std::uint64_t>(entry.red) << 16) |
                               (static_cast<std::uint64_t>(entry.green) << 8) | entry.blue;
        if (useTag_) {
            packed |= static_cast<std::uint64_t>(entry.id) << 24;
        }
        return Key{packed, entry.name};
    }

    bool useTag_;
    std::unordered_map<Key, std::size_t, KeyHash> positions_;
};

PanoramaStitcher::PanoramaStitcher(const std::vector<std::string>& facePaths, double tolerance,
                                   bool useTag)
    : PanoramaStitcher(facePaths, tolerance, useTag,
                       [](const std::string& path, FaceImage& face) { return face.Read(path); }) {}

PanoramaStitcher::PanoramaStitcher(const std::vector<std::string>& facePaths, double tolerance,
                                   bool useTag, const FaceLoader& loadFace)
    : ok_(true), inRegularFile_(false), panoramaWidth_(0), faceSize_(0) {
    InitPanoramaView(panoramaView_);
    slots_.fill(-1);
    for (auto& table : idTables_) {
        table.assign(IdCount, NoObjectId);
    }
    depthOffsets_.fill(0.0);
    depthScales_.fill(1.0);

    const auto pathOf = [&facePaths](std::size_t k) {
        return k < facePaths.size() ? facePaths[k] : std::string();
    };
    ObjectIndex index(useTag);
    for (std::size_t i = 0; i < SlotCount && ok_; ++i) {
        const std::string path = pathOf(i);
        faces_.emplace_back();
        FaceImage& face = faces_.back();
        if (!loadFace(path, face)) {
            Fail(path + " - Read failed");
            break;
        }
        // Assembly reads all three planes of every face; a face without a depth plane has no
        // perspective view and is refused below.
        if (face.colour == nullptr || face.ids == nullptr) {
            Fail(path + " - Missing colour or object-id layer");
            break;
        }
        if (!MergeObjects(i, index)) {
            Fail(path + " - Too many objects");
            break;
        }
        if (face.view.projection != ProjectionPerspective || face.depth == nullptr) {
            Fail(path + " - Wrong projection type");
            break;
        }
        const int slot = ClassifyViewDirection(face.view, tolerance);
        if (slot == NonStandardDirection) {
            Fail(path + " - Non-standard view direction");
            break;
        }
        const std::int32_t holder = slots_[static_cast<std::size_t>(slot)];
        if (holder >= 0) {
            Fail(pathOf(static_cast<std::size_t>(holder)) + " and " + path +
                 " - Contain the same face");
            break;
        }
        slots_[static_cast<std::size_t>(slot)] = static_cast<std::int32_t>(i);
        std::int32_t size = 0;
        if (!face.FitToCubeFace(size)) {
            Fail(path + " - Pixels are not square or area is too small");
            break;
        }
        const PerspectiveView& view = face.view;
        if (i == 0) {
            faceSize_ = size;
            panoramaWidth_ = size <= std::numeric_limits<std::int32_t>::max() / SlotCount
                                 ? SlotCount * size
                                 : std::numeric_limits<std::int32_t>::max();
            panoramaView_.eyePoint = view.eyePoint;
            panoramaView_.centrePoint = view.eyePoint;
            panoramaView_.scalar = 0.0;
            panoramaView_.nearDepth = view.nearDepth;
            panoramaView_.farDepth = view.farDepth;
            panoramaView_.unitScale = view.unitScale;
            panoramaView_.unitCode = view.unitCode;
            continue;
        }
        const std::string firstPath = pathOf(0);
        if (size != faceSize_) {
            Fail(firstPath + " and " + path + " - Resolutions do not match");
            break;
        }
        panoramaView_.farDepth = std::max(panoramaView_.farDepth, view.farDepth);
        panoramaView_.nearDepth = std::min(panoramaView_.nearDepth, view.nearDepth);
        const Vector3& eye = faces_[0].view.eyePoint;
        if (std::fabs(view.eyePoint.x - eye.x) >= tolerance ||
            std::fabs(view.eyePoint.y - eye.y) >= tolerance ||
            std::fabs(view.eyePoint.z - eye.z) >= tolerance) {
            Fail(firstPath + " and " + path + " - Eye points do not match");
            break;
        }
        if (view.unitScale != faces_[0].view.unitScale ||
            view.unitCode != faces_[0].view.unitCode) {
            Fail(firstPath + " and " + path + " - Units do not match");
            break;
        }
    }
    if (ok_) {
        ComputeDepthFactors();
    }
}

PanoramaStitcher::~PanoramaStitcher() = default;

void PanoramaStitcher::Fail(const std::string& message) {
    ok_ = false;
    errorMessage_ = message;
}

bool PanoramaStitcher::MergeObjects(std::size_t face, ObjectIndex& index) {
    std::vector<std::uint16_t>& table = idTables_[face];
    for (const ObjectEntry& entry : faces_[face].objects) {
        bool added = false;
        const std::size_t position = index.FindOrAdd(entry, mergedObjects_.size(), added);
        if (added) {
            if (mergedObjects_.size() >= MaximumObjects) {
                return false;
            }
            mergedObjects_.push_back(entry);
        }
        // Id 0 marks pixels without an object whatever a table says about it.
        if (entry.id != NoObjectId) {
            table[entry.id] = static_cast<std::uint16_t>(position + 1);
        }
    }
    return true;
}

void PanoramaStitcher::ComputeDepthFactors() {
    const double commonNear = panoramaView_.nearDepth;
    const double commonRange = panoramaView_.farDepth - commonNear;
    // Faces that all code one single depth keep their codes: scale 1 and offset 0, as the
    // factors start.
    if (commonRange == 0) {
        return;
    }
    for (std::size_t f = 0; f < SlotCount; ++f) {
        const PerspectiveView& view = faces_[f].view;
        depthOffsets_[f] = (view.nearDepth - commonNear) * CodesPerRange / commonRange;
        depthScales_[f] = (view.farDepth - view.nearDepth) / commonRange;
    }
}

std::uint32_t PanoramaStitcher::RemapDepth(int face, std::uint32_t code) const {
    const std::size_t f = static_cast<std::size_t>(face);
    return RemapCode(code, depthScales_[f], depthOffsets_[f]);
}

bool PanoramaStitcher::BuildPanorama(const std::string& target) {
    if (!ok_) {
        return false;
    }
    const std::int64_t width = static_cast<std::int64_t>(SlotCount) * faceSize_;
    if (width > MaximumPanoramaWidth) {
        Fail(target + " - Panorama too wide (" + std::to_string(width) + " pixels, at most " +
             std::to_string(MaximumPanoramaWidth) + ")");
        return false;
    }
    // The panorama takes the target's place only once complete; a device or a pipe is
    // written in place.
    platform::TargetFile output;
    int error = output.Open(target, "stitch");
    if (error != 0) {
        Fail(OrvoFile::Error(error).what());
        return false;
    }
    try {
        WritePanorama(output.TakeStream());
    } catch (const OrvoFile::Error& failure) {
        Fail(failure.what());
        return false;
    }
    error = output.Commit();
    if (error != 0) {
        Fail(OrvoFile::Error(error).what());
        return false;
    }
    inRegularFile_ = !output.InPlace();
    return true;
}

void PanoramaStitcher::WritePanorama(platform::StdioFile stream) {
    OrvoPanoramaFile file;
    file.width = static_cast<std::uint16_t>(panoramaWidth_);
    file.height = static_cast<std::uint16_t>(faceSize_);
    file.software = L"Zenbrook";
    file.view = panoramaView_;
    OrvoStreamWriter writer(file, std::move(stream));
    for (std::int32_t row = 0; row < faceSize_; ++row) {
        AssembleRow(row, writer.ColourRow(), writer.DepthRow(), writer.IdRow());
        writer.WriteRow();
    }
    for (std::size_t k = 0; k < mergedObjects_.size(); ++k) {
        const ObjectEntry& entry = mergedObjects_[k];
        writer.AddObject(static_cast<std::uint16_t>(k + 1), entry.red, entry.green, entry.blue,
                         entry.name);
    }
    writer.Close();
}

void PanoramaStitcher::AssembleRow(std::int32_t row, unsigned char* colour, std::uint32_t* depth,
                                   std::uint16_t* ids) const {
    const std::size_t size = static_cast<std::size_t>(faceSize_);
    for (std::size_t slot = 0; slot < SlotCount; ++slot) {
        const std::size_t f = static_cast<std::size_t>(slots_[slot]);
        const FaceImage& face = faces_[f];
        // The face's N x N window, neither rotated nor mirrored.
        const std::size_t source =
            static_cast<std::size_t>(face.cropRow + row) * static_cast<std::size_t>(face.width) +
            static_cast<std::size_t>(face.cropColumn);
        const std::size_t column = slot * size;

        std::memcpy(colour + 3 * column, face.colour + 3 * source, 3 * size);

        const std::uint32_t* codes = face.depth + source;
        const double scale = depthScales_[f];
        const double offset = depthOffsets_[f];
        std::uint32_t* depthOut = depth + column;
        // Rounding keeps c * scale + offset growing with c, so when the largest hit code
        // lands below 2^32 - 1 no hit needs the clamps, and the loop is one multiply-add and
        // one select a pixel.
        if (scale >= 0 && offset >= 0 && LargestHitCode * scale + offset < 4294967295.0) {
            for (std::size_t j = 0; j < size; ++j) {
                const std::uint32_t code = codes[j];
                const auto mapped =
                    static_cast<std::uint32_t>(static_cast<std::int64_t>(code * scale + offset));
                depthOut[j] = code == NoDepthCode ? code : mapped;
            }
        } else {
            for (std::size_t j = 0; j < size; ++j) {
                depthOut[j] = RemapCode(codes[j], scale, offset);
            }
        }

        const std::uint16_t* faceIds = face.ids + source;
        const std::uint16_t* table = idTables_[f].data();
        std::uint16_t* idsOut = ids + column;
        for (std::size_t j = 0; j < size; ++j) {
            idsOut[j] = table[faceIds[j]];
        }
    }
}
