// PanoramaStitcher loads six cube faces, checks that they form one cube around one eye point,
// merges their object tables, and writes them side by side as one panorama strip with one
// common depth range.
#pragma once

#include "face_image.h"

#include "orvo/format.h"
#include "platform/stdio_file.h"

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

class PanoramaStitcher {
public:
    // Fills one face from the file at path; the default reads it with FaceImage::Read. Tests
    // hand in faces built in memory instead.
    using FaceLoader = std::function<bool(const std::string& path, FaceImage& face)>;

    // Widest panorama the stitcher's writer can store: a depth row of 4 bytes a pixel must
    // fit a 16-bit byte count.
    static const std::int32_t MaximumPanoramaWidth = 16383;
    // Panorama object ids are 16-bit positions in the merged table.
    static const std::size_t MaximumObjects = 65535;

    // Reads and checks the six faces (paths as typed on the command line), stopping at the
    // first failure. Never throws for a bad face: the result is Ok() and ErrorMessage().
    // tolerance decides when a view-vector component counts as zero and how far eye points
    // may lie apart; with useTag set, object entries merge only when their ids agree too.
    PanoramaStitcher(const std::vector<std::string>& facePaths, double tolerance, bool useTag);
    PanoramaStitcher(const std::vector<std::string>& facePaths, double tolerance, bool useTag,
                     const FaceLoader& loadFace);
    PanoramaStitcher(const PanoramaStitcher&) = delete;
    PanoramaStitcher& operator=(const PanoramaStitcher&) = delete;
    virtual ~PanoramaStitcher();

    // Writes the panorama to target. A regular target gets the panorama only once it is
    // complete (platform::TargetFile), so a failure or a kill leaves an existing target as it
    // was and no partial file behind; a device or a pipe is written in place. False when the
    // faces failed their checks or the write failed; ErrorMessage() then tells why.
    bool BuildPanorama(const std::string& target);
    // True after a successful BuildPanorama that left the panorama in a regular file named
    // target, false when it went to a device or a pipe and is kept nowhere.
    bool InRegularFile() const { return inRegularFile_; }

    // The text of the first failure; empty while there is none.
    const std::string& ErrorMessage() const { return errorMessage_; }
    bool Ok() const { return ok_; }

    // A face's depth code carried onto the panorama's common depth range. The no-depth code
    // stays; any other result is clamped to 0..0xFFFFFFFE so a hit never becomes no-depth.
    std::uint32_t RemapDepth(int face, std::uint32_t code) const;
    // A face's object id as a panorama object id; 0 for 0 and for ids the face's object table
    // lacks.
    std::uint16_t RemapObjectId(int face, std::uint16_t id) const {
        return idTables_[static_cast<std::size_t>(face)][id];
    }

    std::int32_t PanoramaWidth() const { return panoramaWidth_; }
    std::int32_t FaceSize() const { return faceSize_; }
    const PanoramaView& View() const { return panoramaView_; }
    // The face index shown in a slot (Slot* constants), or -1.
    std::int32_t FaceInSlot(int slot) const { return slots_[static_cast<std::size_t>(slot)]; }
    const std::vector<ObjectEntry>& MergedObjects() const { return mergedObjects_; }
    const std::deque<FaceImage>& Faces() const { return faces_; }
    double DepthScale(int face) const { return depthScales_[static_cast<std::size_t>(face)]; }
    double DepthOffset(int face) const { return depthOffsets_[static_cast<std::size_t>(face)]; }

private:
    class ObjectIndex;

    void Fail(const std::string& message);
    bool MergeObjects(std::size_t face, ObjectIndex& index);
    void ComputeDepthFactors();
    void WritePanorama(platform::StdioFile stream);
    void AssembleRow(std::int32_t row, unsigned char* colour, std::uint32_t* depth,
                     std::uint16_t* ids) const;

    bool ok_;
    bool inRegularFile_;
    std::string errorMessage_;
    std::int32_t panoramaWidth_;
    std::int32_t faceSize_;
    PanoramaView panoramaView_;
    std::array<std::int32_t, SlotCount> slots_;
    std::vector<ObjectEntry> mergedObjects_;
    // Per face, every possible object id's panorama id: the face's id map spread out so that
    // a pixel costs one array lookup. Entries the face's table does not name hold 0.
    std::array<std::vector<std::uint16_t>, SlotCount> idTables_;
    std::array<double, SlotCount> depthOffsets_;
    std::array<double, SlotCount> depthScales_;
    std::deque<FaceImage> faces_;
};
