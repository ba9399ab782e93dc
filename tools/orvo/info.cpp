// orvo info: everything a file holds, as text for people or as JSON for scripts.
#include "commands.h"
#include "json_writer.h"
#include "orvo_document.h"
#include "pixel_ray.h"
#include "shown_text.h"

#include "platform/text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

const char InfoSynopsis[] = "orvo info [--json] [--rolls UP,DOWN] FILE [FILE ...]";

const char InfoHelp[] =
    "Usage: orvo info [--json] [--rolls UP,DOWN] FILE [FILE ...]\n"
    "\n"
    "Tells what each Orvo file holds, one file after the other: its revision and layers, the TIFF "
    "directories as libtiff\n"
    "prints them (with the lines of the private tags), the view record (a rendered view's or\n"
    "a panorama's), the object table and, for every layer, what its pixels use: the depths\n"
    "actually present and the pixels without depth, the object ids present and their pixels.\n"
    "\n"
    "Lengths are in the file's scene unit, depths along the view direction. The view window\n"
    "is given at the centres of the corner pixels; its angles are measured from the view\n"
    "direction, positive to the right and upwards.\n"
    "\n"
    "For a panorama it tells how its up and down faces were turned (see orvo query --help):\n"
    "the roll of each, whether it was found from the face's edges, not determined there (and\n"
    "taken as 0) or stated with --rolls, and the evidence: of the edge pixel pairs that\n"
    "carry depth (and of those with colour), the share that agree under either roll.\n"
    "\n"
    "A file that cannot be read is named on standard error with the problem, and the files\n"
    "after it are still reported.\n"
    "\n"
    "  --json      print the same as JSON: for one file one object; for several an array\n"
    "              with one element a file, in the order given, the object or, for a file\n"
    "              that cannot be read, {\"file\": FILE, \"error\": "
    "PROBLEM}\n" ORVO_ROLLS_OPTION_HELP "  -h, --help  print this text\n"
    "\n"
    "Exit status: 0 success, 1 a file cannot be read, 2 wrong usage.\n";

namespace {

const double Pi = 3.14159265358979323846;

double Degrees(double radians) {
    return radians * 180.0 / Pi;
}

struct DepthStatistics {
    std::size_t withDepth = 0;
    std::size_t withoutDepth = 0;
    std::uint32_t lowest = NoDepthCode;
    std::uint32_t highest = 0;
};

DepthStatistics CountDepths(const std::vector<std::uint32_t>& codes) {
    DepthStatistics statistics;
    for (const std::uint32_t code : codes) {
        if (code == NoDepthCode) {
            ++statistics.withoutDepth;
        } else {
            ++statistics.withDepth;
            statistics.lowest = std::min(statistics.lowest, code);
            statistics.highest = std::max(statistics.highest, code);
        }
    }
    return statistics;
}

std::map<std::uint16_t, std::size_t> CountIds(const std::vector<std::uint16_t>& ids) {
    std::map<std::uint16_t, std::size_t> counts;
    for (const std::uint16_t id : ids) {
        ++counts[id];
    }
    return counts;
}

// The view window's extent and, for a perspective view, its angles; across the pixel
// centres, and across the whole image (half a pixel further on every side).
struct WindowFigures {
    ViewWindow centres;
    ViewWindow image;
    bool hasImage; // a single row or column has no pixel pitch to extend by
    bool perspective;
};

WindowFigures Figures(const PerspectiveView& view, int width, int height) {
    WindowFigures figures = {};
    figures.centres = WindowOf(view);
    figures.perspective = view.projection != ProjectionParallel;
    figures.hasImage = width > 1 && height > 1;
    const ViewWindow& c = figures.centres;
    if (figures.hasImage) {
        const double halfX = 0.5 * (c.right - c.left) / (width - 1);
        const double halfY = 0.5 * (c.top - c.bottom) / (height - 1);
        figures.image = {c.left - halfX, c.top + halfY, c.right + halfX, c.bottom - halfY};
    }
    return figures;
}

std::string Fixed(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string VectorText(const Vector3& v) {
    char text[128];
    std::snprintf(text, sizeof text, "%.9g, %.9g, %.9g", v.x, v.y, v.z);
    return text;
}

void Line(const char* name, const std::string& value) {
    std::printf("  %-20s %s\n", name, value.c_str());
}

void PrintWindow(const WindowFigures& w) {
    const ViewWindow& c = w.centres;
    if (w.perspective) {
        Line("window", "left " + Fixed("%.4g", c.left) + ", top " + Fixed("%.4g", c.top) +
                           ", right " + Fixed("%.4g", c.right) + ", bottom " +
                           Fixed("%.4g", c.bottom) + " on the image plane at distance 1");
        Line("window angles", "left " + Fixed("%.3f", Degrees(std::atan(c.left))) + "°, top " +
                                  Fixed("%.3f", Degrees(std::atan(c.top))) + "°, right " +
                                  Fixed("%.3f", Degrees(std::atan(c.right))) + "°, bottom " +
                                  Fixed("%.3f", Degrees(std::atan(c.bottom))) +
                                  "° (pixel centres)");
        std::string fov = Fixed("%.3f", Degrees(std::atan(c.right) - std::atan(c.left))) + "° x " +
                          Fixed("%.3f", Degrees(std::atan(c.top) - std::atan(c.bottom))) +
                          "° across the pixel centres";
        if (w.hasImage) {
            const ViewWindow& i = w.image;
            fov += ", " + Fixed("%.3f", Degrees(std::atan(i.right) - std::atan(i.left))) + "° x " +
                   Fixed("%.3f", Degrees(std::atan(i.top) - std::atan(i.bottom))) +
                   "° across the image";
        }
        Line("field of view", fov);
    } else {
        Line("window", "left " + Fixed("%.6g", c.left) + ", top " + Fixed("%.6g", c.top) +
                           ", right " + Fixed("%.6g", c.right) + ", bottom " +
                           Fixed("%.6g", c.bottom) + " from the eye point (pixel centres)");
        std::string size = Fixed("%.6g", c.right - c.left) + " x " +
                           Fixed("%.6g", c.top - c.bottom) + " across the pixel centres";
        if (w.hasImage) {
            size += ", " + Fixed("%.6g", w.image.right - w.image.left) + " x " +
                    Fixed("%.6g", w.image.top - w.image.bottom) + " across the image";
        }
        Line("window size", size);
    }
}

std::string RangeText(double nearDepth, double farDepth, const DepthScale& scale) {
    return Fixed("%.9g", nearDepth) + " to " + Fixed("%.9g", farDepth) + " " + UnitPhrase(scale);
}

std::string UnitText(const DepthScale& scale) {
    return std::string(UnitName(scale.unitCode)) + " (code " + std::to_string(scale.unitCode) +
           "), scale " + Fixed("%.9g", scale.unitScale);
}

std::string Indented(const std::string& text) {
    std::istringstream lines(text);
    std::string line;
    std::string out;
    while (std::getline(lines, line)) {
        out += "    " + line + "\n";
    }
    return out;
}

// Object records sorted by id; records of one id keep the file's order, newest first.
std::vector<const ObjectEntry*> SortedObjects(const OrvoDocument& document) {
    std::vector<const ObjectEntry*> sorted;
    for (const ObjectEntry& entry : document.objects) {
        sorted.push_back(&entry);
    }
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ObjectEntry* a, const ObjectEntry* b) { return a->id < b->id; });
    return sorted;
}

int RollDegrees(bool rolled) {
    return rolled ? 180 : 0;
}

const char* RollSource(const RollsSettled& settled, const FaceRollFinding* finding) {
    return settled.stated ? "stated" : finding->determined ? "found" : "assumed";
}

const char* CueName(RollCue cue) {
    return cue == RollCueDepth ? "distance" : cue == RollCueColour ? "colour" : nullptr;
}

std::string Percent(const EdgeAgreement& agreement) {
    return Fixed("%.1f%%", 100.0 * AgreementFraction(agreement)) + " of " +
           std::to_string(agreement.compared);
}

// One kind of evidence, the chosen roll first: "agree on 97.9% of 96 edge pixels at 180°, on
// 3.1% of 96 at 0°".
std::string EvidenceText(const EdgeAgreement (&evidence)[2], bool rolled, const char* missing) {
    const int first = rolled ? 1 : 0;
    if (evidence[0].compared == 0 && evidence[1].compared == 0) {
        return missing;
    }
    return "agree on " + Percent(evidence[first]) + " edge pixels at " +
           std::to_string(RollDegrees(first == 1)) + "°, on " + Percent(evidence[1 - first]) +
           " at " + std::to_string(RollDegrees(first == 0)) + "°";
}

void PrintRoll(const char* face, const RollsSettled& settled, const FaceRollFinding* finding,
               bool rolled, const OrvoDocument& document) {
    std::string text = std::to_string(RollDegrees(rolled)) + "°";
    if (settled.stated) {
        text += ", as stated with --rolls";
    } else if (finding->determined) {
        text += std::string(", found from the ") + CueName(finding->cue) + "s along its edges";
    } else {
        text += ", not determined from its edges: the render host's roll is assumed";
    }
    Line((std::string(face) + " face roll").c_str(), text);
    if (finding != nullptr) {
        Line("  distances", EvidenceText(finding->depth, rolled,
                                         document.HasDepth() ? "none: no edge pixel has depth"
                                                             : "none: no depth layer"));
        Line("  colours", EvidenceText(finding->colour, rolled, "none: no colour layer"));
    }
}

void PrintText(const OrvoDocument& document, const RollsSettled& settled) {
    std::printf("%s\n", Shown(document.path).c_str());
    std::printf("  revision %s, %d x %d pixels, %zu layer%s\n", document.Revision().c_str(),
                document.width, document.height, document.layers.size(),
                document.layers.size() == 1 ? "" : "s");
    std::printf("layers\n");
    for (const LayerDirectory& layer : document.layers) {
        std::printf("  directory %d: %-15s kind %u, version %u.%u, %u x %u pixels, %u x %u bits\n",
                    layer.directory, KindName(layer.kind), layer.kind, layer.major, layer.minor,
                    layer.width, layer.height, layer.samplesPerPixel, layer.bitsPerSample);
    }

    std::printf("TIFF directories\n");
    for (std::size_t i = 0; i < document.directoryListings.size(); ++i) {
        std::printf("  directory %zu\n%s", i,
                    Indented(Shown(document.directoryListings[i], true)).c_str());
    }

    const DepthScale scale = document.Scale();
    if (document.view) {
        const PerspectiveView& view = *document.view;
        std::printf("view record\n");
        Line("projection", std::string(ProjectionName(view.projection)) + " (" +
                               std::to_string(view.projection) + ")");
        Line("eye point", VectorText(view.eyePoint));
        Line("right axis", VectorText(view.rightAxis));
        Line("up axis", VectorText(view.upAxis));
        Line("view direction", VectorText(view.viewDirection));
        Line("spare axis", VectorText(view.spareAxis));
        Line("top-left corner", VectorText(view.cornerTopLeft));
        Line("bottom-right corner", VectorText(view.cornerBottomRight));
        PrintWindow(Figures(view, document.width, document.height));
        Line("depth range", RangeText(view.nearDepth, view.farDepth, scale));
        Line("unit", UnitText(scale));
    }
    if (document.panorama) {
        const PanoramaView& view = *document.panorama;
        std::printf("panorama view record\n");
        Line("projection", std::string(ProjectionName(view.projection)) + " (" +
                               std::to_string(view.projection) + ")");
        Line("eye point", VectorText(view.eyePoint));
        Line("up axis", VectorText(view.upAxis));
        Line("view direction", VectorText(view.viewDirection));
        Line("centre point", VectorText(view.centrePoint));
        Line("scalar", Fixed("%.9g", view.scalar));
        if (document.width == 6 * document.height) {
            std::string slots;
            for (int slot = 0; slot < 6; ++slot) {
                slots += std::string(slot == 0 ? "" : ", ") + SlotName(slot);
            }
            Line("faces", "six of " + std::to_string(document.height) + " x " +
                              std::to_string(document.height) + " pixels: " + slots);
            const PanoramaRollFinding* found = settled.finding ? &*settled.finding : nullptr;
            PrintRoll("up", settled, found ? &found->up : nullptr, document.rolls.upRolled,
                      document);
            PrintRoll("down", settled, found ? &found->down : nullptr, document.rolls.downRolled,
                      document);
        } else {
            Line("faces", "not six square faces side by side");
        }
        Line("depth range", RangeText(view.nearDepth, view.farDepth, scale));
        Line("unit", UnitText(scale));
    }

    if (document.HasIds()) {
        std::printf("object table: %zu record%s\n", document.objects.size(),
                    document.objects.size() == 1 ? "" : "s");
        for (const ObjectEntry* entry : SortedObjects(document)) {
            std::printf("  %5u  #%02X%02X%02X (%3u %3u %3u)  %s\n", entry->id, entry->red,
                        entry->green, entry->blue, entry->red, entry->green, entry->blue,
                        Shown(platform::WideToAnsi(entry->name)).c_str());
        }
    }

    std::printf("layer statistics\n");
    const std::string size =
        std::to_string(document.width) + " x " + std::to_string(document.height) + " pixels";
    if (document.HasColour()) {
        Line("colour", size);
    }
    if (document.HasDepth()) {
        const DepthStatistics depths = CountDepths(document.depth);
        std::string text = size + ", " + std::to_string(depths.withDepth) + " with depth, " +
                           std::to_string(depths.withoutDepth) + " without";
        if (depths.withDepth != 0) {
            text += "; depths used " +
                    RangeText(scale.Depth(depths.lowest), scale.Depth(depths.highest), scale);
        }
        Line("depth", text);
    }
    if (document.HasIds()) {
        const auto counts = CountIds(document.ids);
        const auto byId = document.ObjectsById();
        Line("object id", size + ", " + std::to_string(counts.size()) + " id" +
                              (counts.size() == 1 ? "" : "s") + " in use");
        for (const auto& count : counts) {
            const auto entry = byId.find(count.first);
            const std::string name = count.first == NoObjectId ? "(no object)"
                                     : entry == byId.end()
                                         ? "(not in the object table)"
                                         : Shown(platform::WideToAnsi(entry->second->name));
            std::printf("  %27u  %9zu px  %s\n", count.first, count.second, name.c_str());
        }
    }
}

void WriteWindow(JsonWriter& json, const WindowFigures& w) {
    const ViewWindow& c = w.centres;
    json.BeginObject();
    json.Key("left").Number(c.left);
    json.Key("top").Number(c.top);
    json.Key("right").Number(c.right);
    json.Key("bottom").Number(c.bottom);
    if (w.perspective) {
        json.Key("leftAngle").Number(Degrees(std::atan(c.left)));
        json.Key("topAngle").Number(Degrees(std::atan(c.top)));
        json.Key("rightAngle").Number(Degrees(std::atan(c.right)));
        json.Key("bottomAngle").Number(Degrees(std::atan(c.bottom)));
        json.Key("horizontalFieldOfView").Number(Degrees(std::atan(c.right) - std::atan(c.left)));
        json.Key("verticalFieldOfView").Number(Degrees(std::atan(c.top) - std::atan(c.bottom)));
        if (w.hasImage) {
            const ViewWindow& i = w.image;
            json.Key("imageHorizontalFieldOfView")
                .Number(Degrees(std::atan(i.right) - std::atan(i.left)));
            json.Key("imageVerticalFieldOfView")
                .Number(Degrees(std::atan(i.top) - std::atan(i.bottom)));
        }
    } else {
        json.Key("width").Number(c.right - c.left);
        json.Key("height").Number(c.top - c.bottom);
        if (w.hasImage) {
            json.Key("imageWidth").Number(w.image.right - w.image.left);
            json.Key("imageHeight").Number(w.image.top - w.image.bottom);
        }
    }
    json.EndObject();
}

void WriteUnit(JsonWriter& json, const DepthScale& scale) {
    json.Key("unitScale").Number(scale.unitScale);
    json.Key("unitCode").Integer(scale.unitCode);
    json.Key("unitName").String(UnitName(scale.unitCode));
}

void WriteLayerStatistics(JsonWriter& json, const OrvoDocument& document,
                          const LayerDirectory& layer) {
    const bool isDepth = layer.kind == KindPerspectiveDepth || layer.kind == KindPanoramaDepth;
    if (isDepth && document.HasDepth()) {
        const DepthStatistics depths = CountDepths(document.depth);
        const DepthScale scale = document.Scale();
        json.Key("depthPixels").Integer(static_cast<std::int64_t>(depths.withDepth));
        json.Key("noDepthPixels").Integer(static_cast<std::int64_t>(depths.withoutDepth));
        if (depths.withDepth != 0) {
            json.Key("nearestDepth").Number(scale.Depth(depths.lowest));
            json.Key("farthestDepth").Number(scale.Depth(depths.highest));
        } else {
            json.Key("nearestDepth").Null();
            json.Key("farthestDepth").Null();
        }
    } else if (layer.kind == KindObjectId && document.HasIds()) {
        const auto byId = document.ObjectsById();
        json.Key("idsInUse").BeginArray();
        for (const auto& count : CountIds(document.ids)) {
            json.BeginObject();
            json.Key("id").Integer(count.first);
            json.Key("pixels").Integer(static_cast<std::int64_t>(count.second));
            const auto entry = byId.find(count.first);
            json.Key("name");
            if (entry != byId.end()) {
                json.String(platform::WideToAnsi(entry->second->name));
            } else {
                json.Null();
            }
            json.EndObject();
        }
        json.EndArray();
    }
}

void WriteEvidence(JsonWriter& json, const char* key, const EdgeAgreement (&evidence)[2]) {
    json.Key(key).BeginObject();
    json.Key("compared").BeginArray(true);
    json.Integer(evidence[0].compared);
    json.Integer(evidence[1].compared);
    json.EndArray();
    json.Key("agreeing").BeginArray(true);
    json.Integer(evidence[0].agreeing);
    json.Integer(evidence[1].agreeing);
    json.EndArray();
    json.EndObject();
}

void WriteRoll(JsonWriter& json, const char* key, const RollsSettled& settled,
               const FaceRollFinding* finding, bool rolled) {
    json.Key(key).BeginObject();
    json.Key("roll").Integer(RollDegrees(rolled));
    json.Key("source").String(RollSource(settled, finding));
    json.Key("cue");
    const char* cue = finding != nullptr ? CueName(finding->cue) : nullptr;
    if (cue != nullptr) {
        json.String(cue);
        const EdgeAgreement(&evidence)[2] =
            finding->cue == RollCueDepth ? finding->depth : finding->colour;
        json.Key("agreement").Number(AgreementFraction(evidence[rolled ? 1 : 0]));
        json.Key("otherAgreement").Number(AgreementFraction(evidence[rolled ? 0 : 1]));
    } else {
        json.Null();
        json.Key("agreement").Null();
        json.Key("otherAgreement").Null();
    }
    if (finding != nullptr) {
        // Index 0 under the unrolled face, 1 under the rolled one.
        WriteEvidence(json, "distance", finding->depth);
        WriteEvidence(json, "colour", finding->colour);
    }
    json.EndObject();
}

void WriteJson(JsonWriter& json, const OrvoDocument& document, const RollsSettled& settled) {
    json.BeginObject();
    json.Key("file").String(document.path);
    json.Key("revision").String(document.Revision());
    json.Key("width").Integer(document.width);
    json.Key("height").Integer(document.height);

    json.Key("layers").BeginArray();
    for (const LayerDirectory& layer : document.layers) {
        json.BeginObject();
        json.Key("directory").Integer(layer.directory);
        json.Key("kind").Integer(layer.kind);
        json.Key("kindName").String(KindName(layer.kind));
        json.Key("version").String(std::to_string(layer.major) + "." + std::to_string(layer.minor));
        json.Key("width").Integer(layer.width);
        json.Key("height").Integer(layer.height);
        json.Key("bitsPerSample").Integer(layer.bitsPerSample);
        json.Key("samplesPerPixel").Integer(layer.samplesPerPixel);
        WriteLayerStatistics(json, document, layer);
        json.EndObject();
    }
    json.EndArray();

    json.Key("tiffDirectories").BeginArray();
    for (const std::string& listing : document.directoryListings) {
        json.String(listing);
    }
    json.EndArray();

    const DepthScale scale = document.Scale();
    if (document.view) {
        const PerspectiveView& view = *document.view;
        json.Key("view").BeginObject();
        json.Key("projection").Integer(view.projection);
        json.Key("projectionName").String(ProjectionName(view.projection));
        json.Key("eyePoint").Vector(view.eyePoint);
        json.Key("rightAxis").Vector(view.rightAxis);
        json.Key("upAxis").Vector(view.upAxis);
        json.Key("viewDirection").Vector(view.viewDirection);
        json.Key("spareAxis").Vector(view.spareAxis);
        json.Key("cornerTopLeft").Vector(view.cornerTopLeft);
        json.Key("cornerBottomRight").Vector(view.cornerBottomRight);
        json.Key("window");
        WriteWindow(json, Figures(view, document.width, document.height));
        json.Key("nearDepth").Number(view.nearDepth);
        json.Key("farDepth").Number(view.farDepth);
        WriteUnit(json, scale);
        json.EndObject();
    }
    if (document.panorama) {
        const PanoramaView& view = *document.panorama;
        json.Key("panorama").BeginObject();
        json.Key("projection").Integer(view.projection);
        json.Key("projectionName").String(ProjectionName(view.projection));
        json.Key("eyePoint").Vector(view.eyePoint);
        json.Key("upAxis").Vector(view.upAxis);
        json.Key("viewDirection").Vector(view.viewDirection);
        json.Key("centrePoint").Vector(view.centrePoint);
        json.Key("scalar").Number(view.scalar);
        json.Key("faceSize");
        if (document.width == 6 * document.height) {
            json.Integer(document.height);
            const PanoramaRollFinding* found = settled.finding ? &*settled.finding : nullptr;
            json.Key("rolls").BeginObject();
            WriteRoll(json, "up", settled, found ? &found->up : nullptr, document.rolls.upRolled);
            WriteRoll(json, "down", settled, found ? &found->down : nullptr,
                      document.rolls.downRolled);
            json.EndObject();
        } else {
            json.Null();
        }
        json.Key("nearDepth").Number(view.nearDepth);
        json.Key("farDepth").Number(view.farDepth);
        WriteUnit(json, scale);
        json.EndObject();
    }

    json.Key("objects").BeginArray();
    for (const ObjectEntry* entry : SortedObjects(document)) {
        json.BeginObject();
        json.Key("id").Integer(entry->id);
        json.Key("name").String(platform::WideToAnsi(entry->name));
        json.Key("colour").BeginArray(true);
        json.Integer(entry->red);
        json.Integer(entry->green);
        json.Integer(entry->blue);
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

} // namespace

int RunInfo(const Arguments& arguments) {
    bool asJson = false;
    std::optional<FaceRolls> rolls;
    std::vector<std::string> files;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--json") {
            asJson = true;
        } else if (argument == "--rolls") {
            rolls = RollsOption(arguments, ++i);
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option \"" + argument + "\"");
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) {
        throw UsageError("no file");
    }
    LoadOptions options;
    options.directoryListings = true;
    if (files.size() == 1) {
        // One file keeps its plain report: a failure is thrown to main, which names it.
        OrvoDocument document = LoadOrvoDocument(files[0], options);
        const RollsSettled settled = SettleFaceRolls(document, rolls);
        if (asJson) {
            JsonWriter json(stdout);
            WriteJson(json, document, settled);
            json.Finish();
        } else {
            PrintText(document, settled);
        }
        return 0;
    }

    int failed = 0;
    JsonWriter json(stdout);
    if (asJson) {
        json.BeginArray();
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        std::string named = files[i];
        std::string problem;
        try {
            OrvoDocument document = LoadOrvoDocument(files[i], options);
            const RollsSettled settled = SettleFaceRolls(document, rolls);
            if (asJson) {
                WriteJson(json, document, settled);
            } else {
                std::printf("%s", i == 0 ? "" : "\n");
                PrintText(document, settled);
            }
        } catch (const FileError& error) {
            named = error.File();
            problem = error.what();
        } catch (const std::bad_alloc&) {
            problem = "out of memory";
        }
        if (!problem.empty()) {
            ++failed;
            // The message follows the reports before it, also where both streams are one.
            std::fflush(stdout);
            std::fprintf(stderr, "orvo: %s: %s\n", Shown(named).c_str(), Shown(problem).c_str());
            if (asJson) {
                json.BeginObject();
                json.Key("file").String(files[i]);
                json.Key("error").String(problem);
                json.EndObject();
            }
        }
    }
    if (asJson) {
        json.EndArray();
        json.Finish();
    }
    return failed == 0 ? 0 : 1;
}
