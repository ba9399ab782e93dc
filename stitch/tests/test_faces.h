// Cube faces for the stitcher's tests: view records along the six axis directions, face
// pixels that differ at every position and in every face, faces in memory and in files of
// both format revisions, and a small independent reader of classic TIFF files.
#pragma once

#include "face_image.h"

#include "orvo/format.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace testfaces {

// A face image: its view (axes, window, eye, depth range, units), its size and its object
// table in the order it is written. Pixels come from the functions below.
struct FacePlan {
    int slot = SlotPositiveY;
    int width = 5;
    int height = 5;
    PerspectiveView view;
    std::vector<ObjectEntry> objects;
    bool writeColour = true;
    bool writeDepth = true;
    bool writeIds = true;
    // Off: planes are allocated but left zero, for faces too large to fill in a test.
    bool fillPixels = true;
};

// The camera axes of a view along the slot's direction, Z up, as a renderer turns its camera
// for that cube face.
void SetCubeAxes(PerspectiveView& view, int slot);

// Corner vectors of a window reaching extentX to either side and extentY up and down (the
// centres of the corner pixels), in the form a perspective render stores them: camera space,
// looking down -z.
void SetWindow(PerspectiveView& view, double extentX, double extentY);

// A perspective face along slot covering [-extent, extent] on both axes; eye point at the
// origin, depth range 1..100, unit metre.
FacePlan CubeFace(int slot, int size, double extent = 1.0);

// Pixel content, a function of the face's seed and the position: colours all different,
// depth codes that include 0, 0xFFFFFFFE and the no-depth code, ids that include 0, every id
// of the face's table and one id that the table lacks (AbsentId).
const std::uint16_t AbsentId = 4321;
void ColourAt(int seed, int x, int y, unsigned char rgb[3]);
std::uint32_t DepthAt(int seed, int x, int y);
std::uint16_t IdAt(int seed, int x, int y, const std::vector<ObjectEntry>& objects);

// Fills a face record in memory as the reader would: page-memory planes, view and objects
// (newest first, as the reader returns them).
void FillFace(FaceImage& face, const FacePlan& plan, int seed);

// Writes the face as a revision-1.0 file with the stitcher's writer, or as a revision-1.3 file
// with the plug-in's writer. Objects are added in the order of plan.objects.
void WriteFaceFile(const std::string& path, const FacePlan& plan, int seed);
void WriteFaceFileRevision13(const std::string& path, const FacePlan& plan, int seed);

// The merge of object tables as a plain search from the start of the merged table, the
// reference the stitcher's indexed merge must agree with. Faces' lists in reader order.
struct MergeResult {
    std::vector<ObjectEntry> merged;
    std::vector<std::map<std::uint16_t, std::uint16_t>> idMaps;
};
MergeResult ReferenceMerge(const std::vector<std::vector<ObjectEntry>>& faceObjects, bool useTag);

// A folder under /tmp removed with everything in it.
class TemporaryFolder {
public:
    TemporaryFolder();
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();
    std::string Path(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }
    // The names of the folder's entries, sorted.
    std::vector<std::string> Names() const;

private:
    std::string path_;
};

std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

// A classic little-endian TIFF file taken apart by hand: the directories in chain order with
// their entries, and helpers to read values at offsets.
class ClassicTiff {
public:
    struct Entry {
        std::uint16_t type;
        std::uint32_t count;
        std::uint32_t value; // the value field: inline data or an offset
    };
    using Directory = std::map<std::uint16_t, Entry>;

    explicit ClassicTiff(std::string bytes);
    const std::vector<Directory>& Directories() const { return directories_; }
    // The values of a SHORT or LONG entry, inline or at its offset.
    std::vector<std::uint32_t> Values(const Directory& directory, std::uint16_t tag) const;
    std::uint16_t U16(std::size_t offset) const;
    std::uint32_t U32(std::size_t offset) const;
    double F64(std::size_t offset) const;
    const std::string& Bytes() const { return bytes_; }

private:
    std::string bytes_;
    std::vector<Directory> directories_;
};

} // namespace testfaces
