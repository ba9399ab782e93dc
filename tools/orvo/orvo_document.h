// Everything an Orvo file holds, loaded at once for the orvo tool's subcommands: the layer
// header of every directory, the three planes, the view record of either kind and the object
// table, all from one walk of the file under the inspector's rules (orvo/walker.h).
#pragma once

#include "orvo/format.h"
#include "orvo/panorama.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A problem with one file: the tool reports it as "orvo: <file>: <what()>" and exits with 1.
class FileError : public std::runtime_error {
public:
    FileError(std::string file, const std::string& problem)
        : std::runtime_error(problem), file_(std::move(file)) {}
    const std::string& File() const noexcept { return file_; }

private:
    std::string file_;
};

// One TIFF directory that carries an Orvo layer header.
struct LayerDirectory {
    int directory; // position in the TIFF chain, from 0
    std::uint32_t kind;
    std::uint16_t major;
    std::uint16_t minor;
    std::uint32_t width;
    std::uint32_t height;
    std::uint16_t bitsPerSample;
    std::uint16_t samplesPerPixel;
};

// The depth range and scene unit of whichever view record the file has.
struct DepthScale {
    double nearDepth;
    double farDepth;
    double unitScale;
    std::uint32_t unitCode;

    // Depth along the view direction, in scene units, of a code other than NoDepthCode.
    double Depth(std::uint32_t code) const {
        return nearDepth + static_cast<double>(code) * ((farDepth - nearDepth) / 4294967296.0);
    }
};

struct OrvoDocument {
    std::string path;
    int width = 0;
    int height = 0;
    std::vector<LayerDirectory> layers;
    std::optional<PerspectiveView> view;
    std::optional<PanoramaView> panorama;
    FaceRolls rolls = UnrolledFaces;
    std::deque<ObjectEntry> objects; // as the file lists them: newest record first
    // Row after row from the top; empty when the file lacks the layer.
    std::vector<unsigned char> colour; // R, G, B a pixel
    std::vector<std::uint32_t> depth;  // depth codes, of either kind of depth layer
    std::vector<std::uint16_t> ids;
    // TIFFPrintDirectory's text for every directory of the chain, Orvo layer or not; filled
    // only when asked for.
    std::vector<std::string> directoryListings;

    std::size_t PixelCount() const { return std::size_t(width) * std::size_t(height); }
    bool HasColour() const { return !colour.empty(); }
    bool HasDepth() const { return !depth.empty(); }
    bool HasIds() const { return !ids.empty(); }
    // The depth layer's range and unit; only with a depth layer.
    DepthScale Scale() const;
    // "1.0" or "1.3", from the minor versions of the layer headers.
    std::string Revision() const;
    // The object table by id; where an id has several records, the newest wins, as in the
    // id preview.
    std::map<std::uint16_t, const ObjectEntry*> ObjectsById() const;
};

struct LoadOptions {
    bool directoryListings = false;
};

// Loads the file or throws FileError naming the file and the problem (cannot be opened, not
// a TIFF file, a TIFF file without Orvo layers, damaged, incomplete), as OrvoWalk::Reason
// words it.
OrvoDocument LoadOrvoDocument(const std::string& path, const LoadOptions& options = {});

// What the file's lengths are measured in: "metre" for a unit of scale 1, "units of 2.54
// centimetre" for another scale, "scene units" when the unit is none.
std::string UnitPhrase(const DepthScale& scale);

// How the up and down faces of a panorama were turned, as the tool settled it.
struct RollsSettled {
    bool stated; // the user's --rolls; otherwise found from the pixels
    // The finder's evidence; only for a panorama whose rolls were not stated.
    std::optional<PanoramaRollFinding> finding;
};

// Settles document.rolls once after loading, for every command that looks at a panorama's
// up and down faces: the rolls the user stated, or those FindPanoramaRolls finds in the
// strip's colour and depth (unrolled for a face it cannot determine). A file that is no
// panorama of six square faces keeps UnrolledFaces.
RollsSettled SettleFaceRolls(OrvoDocument& document, const std::optional<FaceRolls>& stated);

// The value of --rolls, "UP,DOWN" with each 0 or 180 (degrees); false for anything else.
bool ParseFaceRolls(const std::string& text, FaceRolls& rolls);
// The option's lines for the commands' --help texts.
#define ORVO_ROLLS_OPTION_HELP                                                                     \
    "  --rolls UP,DOWN\n"                                                                          \
    "              how a panorama's up and down faces were turned: 0 is the render host's\n"       \
    "              camera (looking up with the image's up along -Y, looking down with it\n"        \
    "              along +Y), 180 that camera rolled about its view axis. Without it each\n"       \
    "              is found from the face's edges, whose pixels must hold the distances\n"         \
    "              and colours of the side faces' pixels on the same rays; a face whose\n"         \
    "              edges cannot tell (no depth and no colour detail there) is taken as 0\n"
