// Cube faces for the stitcher's tests: view records along the six axis directions, face
// pixels that differ at every position and in every face, faces in memory and in files of
// both format revisions.
#pragma once

#include "face_image.h"

#include "orvo/format.h"

#include "test_files.h"

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
    // From 0 on: the file is left as a render killed after writing that many rows leaves it,
    // with what had reached the file by then.
    int killedAfterRows = -1;
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

using test::TemporaryFolder;

// Whole files as text.
std::string ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::string& bytes);

} // namespace testfaces
