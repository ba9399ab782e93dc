// orvo export: the command line of the two exports.
#include "export.h"
#include "commands.h"

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>

const char ExportSynopsis[] = "orvo export equirect FILE OUTDIR [--width W]  |  "
                              "orvo export exr FILE OUT.exr [--layout latlong|cube]";

const char ExportHelp[] =
    "Usage: orvo export equirect [--rolls UP,DOWN] FILE OUTDIR [--width W]\n"
    "       orvo export exr [--rolls UP,DOWN] FILE OUT.exr [--layout latlong|cube]\n"
    "\n"
    "Writes the file's layers in the formats that other programs read. Lengths are in the\n"
    "file's scene unit, as orvo info names it. A file that fails is written not at all: each\n"
    "output is written under a temporary name beside it and renamed only when every one is\n"
    "whole.\n"
    "\n"
    "equirect: a panorama as equirectangular images of W x W/2 pixels into OUTDIR (made if\n"
    "missing), named after the file (panorama.orv gives panorama_colour.png and so on):\n"
    "  STEM_colour.png    8-bit RGB, interpolated between the face pixels\n"
    "  STEM_distance.tif  one 32-bit float a pixel: the distance from the eye point along the\n"
    "                     ray; NaN where nothing was hit\n"
    "  STEM_ids.png       16-bit grey: the object ids\n"
    "  STEM.json          the unit and its scale, the eye point and the object table: id,\n"
    "                     name, colour and the pixels of each in STEM_ids.png\n"
    "  Distance and ids are those of the face pixel nearest to the ray, never blended. A\n"
    "  layer the file lacks gives no picture.\n"
    "  Orientation, in the file's world (Z up) and the face conventions of orvo query: the\n"
    "  image centre looks along +Y (the strip's first face), a quarter of the width to its\n"
    "  right along +X, to its left along -X, the left and the right edge along -Y; the top\n"
    "  row looks straight up (+Z), the bottom row straight down (-Z). Pixel (i, j) looks\n"
    "  along (sin a cos e, cos a cos e, sin e) with the azimuth a = 360 deg ((i + 0.5)/W -\n"
    "  0.5) from +Y towards +X and the elevation e = 180 deg (0.5 - (j + 0.5)/(W/2)).\n"
    "  --width W  the image width, an even number of pixels from 2 to 32768; default four\n"
    "             times the face size\n"
    "\n"
    "exr: one OpenEXR file, ZIP-compressed, with the channels R, G, B (half, linear light:\n"
    "the file's sRGB colour decoded), Z (float) and objectId (unsigned integer; 0 is no\n"
    "object), and the attributes orvoUnit and orvoUnitScale (the scene unit), orvoZ (what Z\n"
    "holds), orvoObjects (the object table as JSON text, as in STEM.json) and orvoSource.\n"
    "  A panorama becomes an environment map (the envmap attribute) in OpenEXR's latitude-\n"
    "  longitude layout, 4N x 2N pixels for faces of N, or its cube layout, N x 6N. Z is the\n"
    "  distance from the eye point along the ray, +inf where nothing was hit; Z and objectId\n"
    "  come from the nearest face pixel, the colour is interpolated. OpenEXR's environment\n"
    "  maps are y up; their directions map onto the file's Z-up world as\n"
    "    envmap (x, y, z) = world (-X, Z, Y)\n"
    "  so the centre of a latitude-longitude map looks along +Y, a quarter of the width to\n"
    "  its right along +X, and the top row straight up. The attribute orvoAxes says the same,\n"
    "  orvoWorldToEnvmap is the matrix from world points to envmap directions and\n"
    "  orvoEyePoint the eye point.\n"
    "  A rendered view becomes an ordinary image of its size with its camera: worldToCamera\n"
    "  (camera x right, y up, z along the view), worldToNDC, screenWindowCenter and\n"
    "  screenWindowWidth (on the plane z = 1 for a perspective view, in scene units for a\n"
    "  parallel one; the window spans the whole image, half a pixel beyond the corner\n"
    "  pixels' centres), pixelAspectRatio and orvoProjection. Z is the depth along the view\n"
    "  direction (camera z), +inf where nothing was hit.\n"
    "  --layout latlong|cube  the environment map's layout; default latlong. Panoramas only\n"
    "\n"
    "Both exports of a panorama aim its up and down faces by their rolls:\n" ORVO_ROLLS_OPTION_HELP
    "  -h, --help  print this text\n"
    "\n"
    "Exit status: 0 success, 1 the file cannot be read, is not of the kind the export needs\n"
    "or an output cannot be written, 2 wrong usage.\n";

namespace {

int ParseWidth(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long width = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || width < 2 || width > 32768 ||
        width % 2 != 0) {
        throw UsageError("--width takes an even number of pixels from 2 to 32768, not \"" + text +
                         "\"");
    }
    return static_cast<int>(width);
}

} // namespace

int RunExport(const Arguments& arguments) {
    std::vector<std::string> words;
    std::optional<int> width;
    std::optional<ExrLayout> layout;
    std::optional<FaceRolls> rolls;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--width" || argument == "--layout") {
            if (i + 1 == arguments.size()) {
                throw UsageError(argument + " needs a value");
            }
            const std::string& value = arguments[++i];
            if (argument == "--width") {
                width = ParseWidth(value);
            } else if (value == "latlong" || value == "cube") {
                layout = value == "cube" ? ExrLayout::Cube : ExrLayout::LatLong;
            } else {
                throw UsageError("--layout takes latlong or cube, not \"" + value + "\"");
            }
        } else if (argument == "--rolls") {
            rolls = RollsOption(arguments, ++i);
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option \"" + argument + "\"");
        } else {
            words.push_back(argument);
        }
    }
    if (words.empty()) {
        throw UsageError("no export named: equirect or exr");
    }
    const std::string form = words[0];
    if (form != "equirect" && form != "exr") {
        throw UsageError("unknown export \"" + form + "\": equirect or exr");
    }
    if (words.size() != 3) {
        throw UsageError(words.size() == 1 ? "no file"
                         : words.size() == 2
                             ? (form == "exr" ? "no output file" : "no output folder")
                             : "too many arguments");
    }
    if (form == "equirect" && layout) {
        throw UsageError("--layout belongs to the exr export");
    }
    if (form == "exr" && width) {
        throw UsageError("--width belongs to the equirect export");
    }
    const std::string& file = words[1];
    OrvoDocument document = LoadOrvoDocument(file);
    SettleFaceRolls(document, rolls);
    if (form == "exr") {
        if (layout && !document.panorama) {
            throw FileError(file, "is a rendered view: --layout applies to panoramas only");
        }
        const ExrImage image = RemapExr(document, layout.value_or(ExrLayout::LatLong));
        WriteExr(document, image, words[2]);
        return 0;
    }
    CheckPanorama(document);
    const std::filesystem::path folder = words[2];
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        throw FileError(folder.string(), error.message());
    }
    ExportEquirect(document, width.value_or(4 * document.height),
                   (folder / std::filesystem::path(file).stem()).string());
    return 0;
}
