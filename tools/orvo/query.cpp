// orvo query: what one pixel shows, and where in the world its surface lies.
#include "commands.h"
#include "json_writer.h"
#include "orvo_document.h"
#include "pixel_ray.h"
#include "shown_text.h"

#include "platform/text.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>

const char QuerySynopsis[] = "orvo query [--json] [--rolls UP,DOWN] FILE X Y [X Y ...]  |  "
                             "orvo query [--json] [--rolls UP,DOWN] FILE -";

const char QueryHelp[] =
    "Usage: orvo query [--json] [--rolls UP,DOWN] FILE X Y [X Y ...]\n"
    "       orvo query [--json] [--rolls UP,DOWN] FILE -\n"
    "\n"
    "Tells for a pixel (X from the left, Y from the top, both from 0) its colour, its object\n"
    "id and name, its depth along the view direction and its distance along its ray, both in\n"
    "the file's scene unit, and the world position of the surface it shows.\n"
    "\n"
    "With -, the pixels come from standard input, \"X Y\" a line, and each is answered on one\n"
    "line of tab-separated fields:\n"
    "  X  Y  red  green  blue  id  depth  distance  worldX  worldY  worldZ  name\n"
    "A field the file has no value for is \"-\" (no colour layer, no depth at that pixel, an\n"
    "id of 0 or one missing from the object table). Each line is answered as soon as it is\n"
    "read, and the answer is flushed, so a program can ask one pixel at a time. A line that\n"
    "is not two whole numbers inside the image, or is longer than 4096 bytes, gets a message\n"
    "of its own on standard error (\"orvo: standard input: line N ...\") and the others are\n"
    "still answered; blank lines are skipped. With --json the answers are the elements of\n"
    "one array, each written as its line is read. Pixels given as arguments are all checked\n"
    "before anything is printed.\n"
    "\n"
    "Where the rays run:\n"
    "  perspective view: through the pixel centres on the image plane at distance 1, between\n"
    "    the centres of the corner pixels that the view record gives; a surface at depth t\n"
    "    lies at eye + t * (view + x * right + y * up).\n"
    "  parallel view: the corner vectors' x and y are taken as the offsets, in scene units,\n"
    "    of the corner pixels' rays from the eye point in the camera plane (as a parallel\n"
    "    render camera maps the screen), and all rays run along the view direction: a\n"
    "    surface at depth t lies at eye + x * right + y * up + t * view.\n"
    "  panorama: six square faces of N pixels side by side, each seen from the panorama's\n"
    "    eye point by the camera a render host aims along that axis, world Z up, as\n"
    "    (forward; right; up):\n"
    "      slot 0 +Y  (+Y; +X; +Z)     slot 3 -X  (-X; +Y; +Z)\n"
    "      slot 1 +X  (+X; -Y; +Z)     slot 4 up  (+Z; +X; -Y)\n"
    "      slot 2 -Y  (-Y; -X; +Z)     slot 5 down (-Z; +X; +Y)\n"
    "    A rig may roll the up or the down camera by 180 degrees (right and up reversed),\n"
    "    and a panorama does not record it: the roll of each is the one under which the\n"
    "    face's border pixels hold the same distances and colours as the side faces'\n"
    "    border pixels on the same rays (orvo info tells what was found), or --rolls.\n"
    "    The centres of a face's pixels 0 and N-1 lie on the cube's edges: pixel j of a\n"
    "    face's row r looks along forward + x * right + y * up with x = -1 + 2j/(N-1),\n"
    "    y = 1 - 2r/(N-1).\n"
    "\n"
    "  --json      print a JSON array with one object a pixel\n" ORVO_ROLLS_OPTION_HELP
    "  -h, --help  print this text\n"
    "\n"
    "Exit status: 0 success, 1 the file cannot be read, a pixel lies outside it, a line of\n"
    "standard input failed or standard input cannot be read, 2 wrong usage.\n";

namespace {

struct Pixel {
    long x;
    long y;
};

struct Answer {
    Pixel pixel;
    std::optional<std::array<unsigned, 3>> colour;
    std::optional<std::uint16_t> id;
    std::optional<std::string> name;
    std::optional<double> depth;
    std::optional<double> distance;
    std::optional<Vector3> point;
    int slot;
};

using ObjectIndex = std::map<std::uint16_t, const ObjectEntry*>;

// Why the pixel cannot be answered, or nothing when it lies inside the image.
std::string OutsideProblem(const OrvoDocument& document, const Pixel& pixel) {
    if (pixel.x < 0 || pixel.y < 0 || pixel.x >= document.width || pixel.y >= document.height) {
        return "pixel (" + std::to_string(pixel.x) + ", " + std::to_string(pixel.y) +
               ") lies outside the image of " + std::to_string(document.width) + " x " +
               std::to_string(document.height) + " pixels";
    }
    return std::string();
}

Answer Ask(const OrvoDocument& document, const ObjectIndex& byId, const Pixel& pixel) {
    const std::string outside = OutsideProblem(document, pixel);
    if (!outside.empty()) {
        throw FileError(document.path, outside);
    }
    const std::size_t i = std::size_t(pixel.y) * std::size_t(document.width) + std::size_t(pixel.x);
    Answer answer = {};
    answer.pixel = pixel;
    answer.slot = -1;
    if (document.HasColour()) {
        answer.colour = {document.colour[3 * i], document.colour[3 * i + 1],
                         document.colour[3 * i + 2]};
    }
    if (document.HasIds()) {
        answer.id = document.ids[i];
        const auto entry = byId.find(document.ids[i]);
        if (document.ids[i] != NoObjectId && entry != byId.end()) {
            answer.name = platform::WideToAnsi(entry->second->name);
        }
    }
    if (document.HasDepth()) {
        const PixelRay ray =
            RayThroughPixel(document, static_cast<int>(pixel.x), static_cast<int>(pixel.y));
        answer.slot = ray.slot;
        const std::uint32_t code = document.depth[i];
        if (code != NoDepthCode) {
            const double depth = document.Scale().Depth(code);
            answer.depth = depth;
            answer.distance = depth * Length(ray.direction);
            answer.point = Vector3{ray.origin.x + depth * ray.direction.x,
                                   ray.origin.y + depth * ray.direction.y,
                                   ray.origin.z + depth * ray.direction.z};
        }
    }
    return answer;
}

std::string Number(double value) {
    char text[40];
    std::snprintf(text, sizeof text, "%.9g", value);
    return text;
}

void PrintBlock(const OrvoDocument& document, const Answer& a) {
    std::printf("pixel %ld, %ld", a.pixel.x, a.pixel.y);
    if (a.slot >= 0) {
        std::printf(" (panorama face %s, column %ld of it)", SlotName(a.slot),
                    a.pixel.x % document.height);
    }
    std::printf("\n");
    if (a.colour) {
        std::printf("  %-14s %u %u %u (#%02X%02X%02X)\n", "colour", (*a.colour)[0], (*a.colour)[1],
                    (*a.colour)[2], (*a.colour)[0], (*a.colour)[1], (*a.colour)[2]);
    }
    if (a.id) {
        const std::string name = *a.id == NoObjectId ? "(no object)"
                                 : a.name            ? Shown(*a.name)
                                                     : "(not in the object table)";
        std::printf("  %-14s %u %s\n", "object", *a.id, name.c_str());
    }
    if (!document.HasDepth()) {
        std::printf("  %-14s none: the file has no depth layer\n", "depth");
        return;
    }
    if (!a.depth) {
        std::printf("  %-14s none: nothing was hit\n", "depth");
        return;
    }
    const std::string unit = UnitPhrase(document.Scale());
    std::printf("  %-14s %s %s along the view direction\n", "depth", Number(*a.depth).c_str(),
                unit.c_str());
    std::printf("  %-14s %s %s along the ray\n", "distance", Number(*a.distance).c_str(),
                unit.c_str());
    std::printf("  %-14s %s, %s, %s\n", "world point", Number(a.point->x).c_str(),
                Number(a.point->y).c_str(), Number(a.point->z).c_str());
}

void PrintLine(const Answer& a) {
    std::string line = std::to_string(a.pixel.x) + "\t" + std::to_string(a.pixel.y);
    for (int c = 0; c < 3; ++c) {
        line += "\t" + (a.colour ? std::to_string((*a.colour)[c]) : std::string("-"));
    }
    line += "\t" + (a.id ? std::to_string(*a.id) : std::string("-"));
    const auto field = [](const std::optional<double>& v) {
        return "\t" + (v ? Number(*v) : std::string("-"));
    };
    line += field(a.depth) + field(a.distance);
    line += field(a.point ? std::optional<double>(a.point->x) : std::nullopt);
    line += field(a.point ? std::optional<double>(a.point->y) : std::nullopt);
    line += field(a.point ? std::optional<double>(a.point->z) : std::nullopt);
    // Shown escapes tabs and newlines too, so that a name cannot add columns or lines.
    line += "\t" + (a.name ? Shown(*a.name) : std::string("-"));
    std::printf("%s\n", line.c_str());
}

void WriteJson(JsonWriter& json, const OrvoDocument& document, const Answer& a) {
    json.BeginObject();
    json.Key("x").Integer(a.pixel.x);
    json.Key("y").Integer(a.pixel.y);
    if (document.panorama) {
        json.Key("slot").Integer(a.slot);
        json.Key("face").String(SlotName(a.slot));
    }
    json.Key("colour");
    if (a.colour) {
        json.BeginArray(true);
        for (const unsigned c : *a.colour) {
            json.Integer(c);
        }
        json.EndArray();
    } else {
        json.Null();
    }
    json.Key("id");
    if (a.id) {
        json.Integer(*a.id);
    } else {
        json.Null();
    }
    json.Key("name");
    if (a.name) {
        json.String(*a.name);
    } else {
        json.Null();
    }
    const auto optional = [&json](const char* key, const std::optional<double>& v) {
        json.Key(key);
        if (v) {
            json.Number(*v);
        } else {
            json.Null();
        }
    };
    optional("depth", a.depth);
    optional("distance", a.distance);
    json.Key("point");
    if (a.point) {
        json.Vector(*a.point);
    } else {
        json.Null();
    }
    json.EndObject();
}

// A whole number as a pixel coordinate; false for anything else.
bool ParseCoordinate(const std::string& text, long& value) {
    if (text.empty()) {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return *end == '\0' && errno == 0;
}

// A line of standard input longer than this is refused without being kept.
const std::size_t MaxLineBytes = 4096;

enum class LineRead { Line, TooLong, End };

// The next line of the input without its newline, at most MaxLineBytes of it. A read error
// throws FileError.
LineRead ReadLine(std::FILE* in, std::string& line) {
    line.clear();
    bool tooLong = false;
    int c;
    while ((c = std::getc(in)) != EOF && c != '\n') {
        if (line.size() < MaxLineBytes) {
            line.push_back(static_cast<char>(c));
        } else {
            tooLong = true;
        }
    }
    if (c == EOF && std::ferror(in)) {
        throw FileError("standard input", std::strerror(errno));
    }
    if (c == EOF && line.empty() && !tooLong) {
        return LineRead::End;
    }
    return tooLong ? LineRead::TooLong : LineRead::Line;
}

// The pixel of an input line "X Y"; false for anything else. Blank lines are skipped by the
// caller before.
bool ParsePixelLine(const std::string& line, Pixel& pixel) {
    std::istringstream fields(line);
    std::string x, y, more;
    return (fields >> x) && (fields >> y) && !(fields >> more) && ParseCoordinate(x, pixel.x) &&
           ParseCoordinate(y, pixel.y);
}

bool IsBlank(const std::string& line) {
    return line.find_first_not_of(" \t\r\f\v") == std::string::npos;
}

void FlushAnswers() {
    if (std::fflush(stdout) != 0) {
        throw FileError("standard output", "cannot write");
    }
}

// Answers the pixels of standard input line by line, each as soon as its line is read, so
// that a program can talk to this one a line at a time. A line that is no pixel of the image
// gets its own message on standard error and the others are still answered; the result is
// 1 when any line failed.
int AnswerInputLines(const OrvoDocument& document, bool asJson) {
    const ObjectIndex byId = document.ObjectsById();
    JsonWriter json(stdout);
    if (asJson) {
        json.BeginArray();
        FlushAnswers();
    }
    int failed = 0;
    std::string line;
    for (long number = 1;; ++number) {
        const LineRead read = ReadLine(stdin, line);
        if (read == LineRead::End) {
            break;
        }
        std::string problem; // what follows "line N" in the message
        Pixel pixel = {};
        if (read == LineRead::TooLong) {
            problem = " is longer than " + std::to_string(MaxLineBytes) + " bytes";
        } else if (IsBlank(line)) {
            continue; // blank lines separate nothing
        } else if (!ParsePixelLine(line, pixel)) {
            problem = " is not a pixel \"X Y\" of whole numbers";
        } else {
            const std::string outside = OutsideProblem(document, pixel);
            if (!outside.empty()) {
                problem = ": " + outside;
            }
        }
        if (!problem.empty()) {
            ++failed;
            FlushAnswers();
            std::fprintf(stderr, "orvo: standard input: line %ld%s\n", number, problem.c_str());
            std::fflush(stderr);
            continue;
        }
        const Answer answer = Ask(document, byId, pixel);
        if (asJson) {
            WriteJson(json, document, answer);
        } else {
            PrintLine(answer);
        }
        FlushAnswers();
    }
    if (asJson) {
        json.EndArray();
        json.Finish();
    }
    return failed == 0 ? 0 : 1;
}

} // namespace

int RunQuery(const Arguments& arguments) {
    bool asJson = false;
    std::optional<FaceRolls> rolls;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--json") {
            asJson = true;
        } else if (argument == "--rolls") {
            rolls = RollsOption(arguments, ++i);
        } else if (argument.size() > 1 && argument[0] == '-' &&
                   !(argument[1] >= '0' && argument[1] <= '9')) {
            throw UsageError("unknown option \"" + argument + "\"");
        } else {
            words.push_back(argument);
        }
    }
    if (words.empty()) {
        throw UsageError("no file");
    }
    const bool fromInput = words.size() == 2 && words[1] == "-";
    std::vector<Pixel> pixels;
    if (!fromInput) {
        if (words.size() < 3 || words.size() % 2 == 0) {
            throw UsageError("pixels come as pairs X Y after the file");
        }
        for (std::size_t i = 1; i < words.size(); i += 2) {
            Pixel pixel = {};
            if (!ParseCoordinate(words[i], pixel.x) || !ParseCoordinate(words[i + 1], pixel.y)) {
                throw UsageError("\"" + words[i] + " " + words[i + 1] +
                                 "\" is not a pixel of whole numbers");
            }
            pixels.push_back(pixel);
        }
    }
    OrvoDocument document = LoadOrvoDocument(words[0]);
    SettleFaceRolls(document, rolls);
    if (fromInput) {
        return AnswerInputLines(document, asJson);
    }
    // Every pixel is answered before any is printed, so that a bad one leaves no half answer.
    std::vector<Answer> answers;
    answers.reserve(pixels.size());
    const ObjectIndex byId = document.ObjectsById();
    for (const Pixel& pixel : pixels) {
        answers.push_back(Ask(document, byId, pixel));
    }
    if (asJson) {
        JsonWriter json(stdout);
        json.BeginArray();
        for (const Answer& answer : answers) {
            WriteJson(json, document, answer);
        }
        json.EndArray();
        json.Finish();
    } else {
        for (std::size_t i = 0; i < answers.size(); ++i) {
            if (i != 0) {
                std::printf("\n");
            }
            PrintBlock(document, answers[i]);
        }
    }
    return 0;
}
