// render_host: a small render host on the SDK stand-in. It renders a built-in demo scene
// with its own ray caster and hands every image to the saveorvo plug-in, loaded at run time
// and driven as 3ds Max drives an image output, so that the plug-in writes the Orvo files.
#include "demo_scene.h"
#include "plugin_output.h"

#include "maxsdk_host/host_state.h"
#include "platform/text.h"
#include "platform/user32.h"
#ifndef _WIN32
#include "platform/user32_script.h"
#endif
#include "units.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace RenderHost {

namespace {

const char Usage[] =
    "Usage: render_host faces [--size N] [--margin M] [--fov DEGREES] [--eye X,Y,Z]\n"
    "                         [--faces LIST] [--roll-up] [--roll-down] [--faces-only]\n"
    "                         [options]\n"
    "       render_host sequence [--size N] [--fov DEGREES] [--frames F] [options]\n"
    "       render_host probe [--frame K] [--frames F] [--names KIND]\n"
    "       render_host configure|about [--names KIND] [--plugcfg DIR] [--press LIST]\n"
    "       render_host --help | --version\n"
    "\n"
    "Renders a furnished room with a small ray caster and writes every image as an Orvo\n"
    "file through the saveorvo plug-in, loaded at run time as 3ds Max loads it.\n"
    "\n"
    "  faces     the six cube faces around the eye point, for stitch: face_px.orv (looking\n"
    "            along +X), face_nx.orv (-X), face_py.orv, face_ny.orv, face_pz.orv (up) and\n"
    "            face_nz.orv (down)\n"
    "  sequence  an animation, one file per frame (walk0000.orv, walk0001.orv, ...): the\n"
    "            camera walks and turns, a ball rolls; objects keep their ids in every frame\n"
    "  probe     reads rays \"ox oy oz dx dy dz\" from standard input, one a line, and prints\n"
    "            for each the parameter t of its first hit (at origin + t * direction) and\n"
    "            the name of the object hit, separated by a tab, or \"none\"\n"
    "  configure the plug-in's configuration dialog, as the render settings' Setup button\n"
    "            opens it; then prints whether it was confirmed, the naming the writer now\n"
    "            uses and the bytes of its configuration file (ORV.cfg in --plugcfg)\n"
    "  about     the plug-in's About box; prints \"about: closed\" when it is closed\n"
    "\n"
    "Options:\n"
    "  --out DIR        folder of the files (default: the current folder)\n"
    "  --size N         faces: the cube face's side in pixels; sequence: the frame's (256)\n"
    "  --margin M       faces: render M more pixels on every side, with the view widened so\n"
    "                   that the cube face stays the image's middle N x N pixels (0)\n"
    "  --fov DEGREES    field of view across the image. Faces default to the whole face,\n"
    "                   with the centres of the outer pixels on the cube's edges:\n"
    "                   2*atan(W/(N-1)) for W = N + 2M pixels. stitch crops wider views and\n"
    "                   refuses narrower ones, 90 included. Sequence default 70\n"
    "  --eye X,Y,Z      faces: the eye point (default 0.4,-0.6,1.6; the room spans -4..4,\n"
    "                   -3..3 and 0..2.8 metres)\n"
    "  --faces LIST     faces: which faces to render, in this order (default +x,-x,+y,-y,+z,-z),\n"
    "                   each at most once\n"
    "  --roll-up        faces: roll the camera aimed up by 180 degrees about its view axis\n"
    "                   (right axis -X, up axis +Y instead of +X and -Y), as some rigs do\n"
    "  --roll-down      faces: the same for the camera aimed down (right -X, up -Y instead\n"
    "                   of +X and +Y)\n"
    "  --faces-only     faces: render faces that stitch cannot join. Without it, faces whose\n"
    "                   cube face is wider than 2730 pixels are refused before anything is\n"
    "                   rendered: stitch writes panoramas of at most 16383 pixels (6 faces)\n"
    "  --frames F       sequence: number of frames (8); probe: of the sequence probed\n"
    "  --frame K        probe: the scene at frame K of the sequence (default: frame 0)\n"
    "  --names KIND     material (default): objects are named after their materials;\n"
    "                   node: after their nodes\n"
    "  --plugin PATH    the plug-in module (default: the one this build made)\n"
    "  --plugcfg DIR    configure, about: the host's plug-in configuration folder (default:\n"
    "                   the current folder)\n"
    "  --press LIST     configure, about: the controls the user presses in the dialog, in\n"
    "                   turn, comma-separated: ok, cancel, close (the title bar's close\n"
    "                   button) or a control's number. Only where the dialogs are the\n"
    "                   platform layer's stand-ins; on Windows the user presses them\n"
    "  -h, --help       print this text\n"
    "\n"
    "Exit status: 0 success, 1 a render or write failed, 2 wrong usage.\n";

// Misuse of the command line; main reports it and points to --help.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

const double Pi = 3.14159265358979323846;

// A camera's axes as a 3D application's cameras give them when aimed along the six axis
// directions, world Z up: the side cameras stand upright with right = forward x up; the
// cameras aimed straight up and down are the +Y camera tilted, so they keep its right axis +X.
struct CubeFace {
    const char* label;
    const char* file;
    Vec3 forward, right, up;
};
const CubeFace CubeFaces[] = {
    {"+x", "face_px.orv", {1, 0, 0}, {0, -1, 0}, {0, 0, 1}},
    {"-x", "face_nx.orv", {-1, 0, 0}, {0, 1, 0}, {0, 0, 1}},
    {"+y", "face_py.orv", {0, 1, 0}, {1, 0, 0}, {0, 0, 1}},
    {"-y", "face_ny.orv", {0, -1, 0}, {-1, 0, 0}, {0, 0, 1}},
    {"+z", "face_pz.orv", {0, 0, 1}, {1, 0, 0}, {0, -1, 0}},
    {"-z", "face_nz.orv", {0, 0, -1}, {1, 0, 0}, {0, 1, 0}},
};

struct Options {
    std::string command;
    std::filesystem::path out = ".";
    int size = 256;
    int margin = 0;
    double fov = 0; // degrees; 0: the command's default
    Vec3 eye = {0.4, -0.6, 1.6};
    std::vector<const CubeFace*> faces;
    int frames = 8;
    int frame = 0;
    bool byMaterial = true;
    bool facesOnly = false;
    bool rollUp = false;
    bool rollDown = false;
    std::string plugin = RENDER_HOST_PLUGIN;
    std::filesystem::path plugCfg = ".";
    std::vector<int> presses; // control identifiers; 0 closes the dialog
};

// The widest panorama stitch writes: six faces side by side.
const int MaximumPanoramaWidth = 16383;
const int MaximumStitchedFace = MaximumPanoramaWidth / 6;

// A perspective camera with square pixels, its image centred on the view axis.
struct Camera {
    Vec3 eye, forward, right, up;
    int width, height;
    double pitch; // pixel size on the image plane at distance 1

    // The direction through the image point (x, y) in pixels from the top-left corner,
    // scaled so that its component along the view is 1: a hit's ray parameter is then its
    // depth along the view direction.
    Vec3 PixelRay(double x, double y) const {
        return forward + right * ((x - 0.5 * width) * pitch) + up * ((0.5 * height - y) * pitch);
    }
    double FieldOfView() const { return 2 * std::atan(0.5 * width * pitch); }
    // Rows: the camera's x axis, y axis and z axis (backwards), and its position.
    Matrix3 CamToWorld() const {
        return Matrix3(Point3(right.x, right.y, right.z), Point3(up.x, up.y, up.z),
                       Point3(-forward.x, -forward.y, -forward.z), Point3(eye.x, eye.y, eye.z));
    }
};

int ParseInt(const std::string& option, const char* text, int low, int high) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) {
        throw UsageError(option + " needs a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + text + "\"");
    }
    return static_cast<int>(value);
}

double ParseNumber(const std::string& option, const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) {
        throw UsageError(option + " needs a number, not \"" + text + "\"");
    }
    return value;
}

std::vector<std::string> SplitCommas(const std::string& text) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    std::string part;
    while (std::getline(stream, part, ',')) {
        parts.push_back(part);
    }
    return parts;
}

// The pixel size on the image plane at distance 1 of the faces' cameras.
double FacePitch(const Options& options) {
    const int width = options.size + 2 * options.margin;
    return options.fov > 0 ? 2 * std::tan(options.fov * Pi / 360) / width
                           : 2.0 / (options.size - 1);
}

// The side in pixels of the cube face that stitch finds in these faces: the pixel steps
// across the face's two units of the image plane, rounded as stitch rounds them, plus one.
int CubeFaceSize(const Options& options) {
    const double steps = std::floor(2 / FacePitch(options) + 0.5);
    return steps < 65536 ? static_cast<int>(steps) + 1 : 65536;
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    if (argc < 2) {
        throw UsageError("no command");
    }
    options.command = argv[1];
    if (options.command != "faces" && options.command != "sequence" && options.command != "probe" &&
        options.command != "configure" && options.command != "about") {
        throw UsageError("unknown command \"" + options.command + "\"");
    }
    // Which command takes which option.
    const std::map<std::string, std::string> takenBy = {
        {"--out", "faces sequence"},
        {"--size", "faces sequence"},
        {"--margin", "faces"},
        {"--fov", "faces sequence"},
        {"--eye", "faces"},
        {"--faces", "faces"},
        {"--frames", "sequence probe"},
        {"--frame", "probe"},
        {"--names", "faces sequence probe configure"},
        {"--plugin", "faces sequence configure about"},
        {"--plugcfg", "configure about"},
        {"--press", "configure about"},
        {"--faces-only", "faces"},
        {"--roll-up", "faces"},
        {"--roll-down", "faces"},
    };
    for (int i = 2; i < argc; ++i) {
        const std::string option = argv[i];
        const auto taken = takenBy.find(option);
        if (taken == takenBy.end()) {
            throw UsageError("unknown option \"" + option + "\"");
        }
        if (taken->second.find(options.command) == std::string::npos) {
            throw UsageError(option + " does not apply to " + options.command);
        }
        if (option == "--faces-only" || option == "--roll-up" || option == "--roll-down") {
            (option == "--faces-only" ? options.facesOnly
             : option == "--roll-up"  ? options.rollUp
                                      : options.rollDown) = true;
            continue;
        }
        if (i + 1 == argc) {
            throw UsageError(option + " needs a value");
        }
        const char* value = argv[++i];
        if (option == "--out") {
            options.out = value;
        } else if (option == "--size") {
            options.size = ParseInt(option, value, 2, 16384);
        } else if (option == "--margin") {
            options.margin = ParseInt(option, value, 0, 16384);
        } else if (option == "--fov") {
            options.fov = ParseNumber(option, value);
            if (!(options.fov > 0 && options.fov < 180)) {
                throw UsageError("--fov needs an angle between 0 and 180 degrees");
            }
        } else if (option == "--eye") {
            const std::vector<std::string> parts = SplitCommas(value);
            if (parts.size() != 3) {
                throw UsageError("--eye needs three numbers X,Y,Z");
            }
            options.eye = {ParseNumber(option, parts[0]), ParseNumber(option, parts[1]),
                           ParseNumber(option, parts[2])};
        } else if (option == "--faces") {
            options.faces.clear();
            for (const std::string& label : SplitCommas(value)) {
                const auto face = std::find_if(std::begin(CubeFaces), std::end(CubeFaces),
                                               [&](const CubeFace& f) { return label == f.label; });
                if (face == std::end(CubeFaces)) {
                    throw UsageError("--faces takes +x, -x, +y, -y, +z and -z, not \"" + label +
                                     "\"");
                }
                if (std::find(options.faces.begin(), options.faces.end(), face) !=
                    options.faces.end()) {
                    throw UsageError("--faces names " + label + " twice");
                }
                options.faces.push_back(face);
            }
        } else if (option == "--frames") {
            options.frames = ParseInt(option, value, 1, 9999);
        } else if (option == "--frame") {
            options.frame = ParseInt(option, value, 0, 9998);
        } else if (option == "--names") {
            const std::string kind = value;
            if (kind != "material" && kind != "node") {
                throw UsageError("--names takes material or node, not \"" + kind + "\"");
            }
            options.byMaterial = kind == "material";
        } else if (option == "--plugcfg") {
            options.plugCfg = value;
        } else if (option == "--press") {
#ifdef _WIN32
            throw UsageError("--press scripts the stand-in dialogs; on Windows the dialog "
                             "waits for the user");
#else
            options.presses.clear();
            for (const std::string& control : SplitCommas(value)) {
                options.presses.push_back(control == "ok"       ? IDOK
                                          : control == "cancel" ? IDCANCEL
                                          : control == "close"
                                              ? 0
                                              : ParseInt(option, control.c_str(), 1, 65535));
            }
#endif
        } else {
            options.plugin = value;
        }
    }
    if (options.faces.empty()) {
        for (const CubeFace& face : CubeFaces) {
            options.faces.push_back(&face);
        }
    }
    if (options.size + 2 * options.margin > 65535) {
        throw UsageError("--size and --margin give an image wider than 65535 pixels");
    }
    if (options.frame >= options.frames) {
        throw UsageError("--frame must be below --frames");
    }
    if (options.command == "faces" && !options.facesOnly) {
        const int face = CubeFaceSize(options);
        if (face > MaximumStitchedFace) {
            throw UsageError("cube faces of " + std::to_string(face) + " pixels make a panorama " +
                             std::to_string(6LL * face) +
                             " pixels wide, and stitch joins at most " +
                             std::to_string(MaximumPanoramaWidth) + " (faces of at most " +
                             std::to_string(MaximumStitchedFace) +
                             " pixels); --faces-only renders them all the same");
        }
    }
    return options;
}

WORD Component16(double linear) {
    // Displays expect gamma-encoded values.
    const double encoded = std::pow(std::clamp(linear, 0.0, 1.0), 1 / 2.2);
    return static_cast<WORD>(encoded * 65535 + 0.5);
}

// Renders the scene through the camera into the output's frame: colour, the Z-buffer
// (camera-space Z, negative in front; -1e30 where nothing is hit, as the host marks it), the
// node render identifiers (0xFFFF, the host's "no node", where nothing is hit) and the render
// information.
void Render(const Scene& scene, const Camera& camera, OutputFrame& frame) {
    MaxHost::SetPerspectiveCamera(frame.Camera(), camera.width, camera.height,
                                  static_cast<float>(camera.FieldOfView()), camera.CamToWorld());
    std::vector<BMM_Color_64> row(camera.width);
    float* depth = frame.Depth();
    WORD* renderIds = frame.RenderIds();
    for (int y = 0; y < camera.height; ++y) {
        for (int x = 0; x < camera.width; ++x) {
            const Vec3 direction = camera.PixelRay(x + 0.5, y + 0.5);
            const std::optional<Hit> hit = scene.Trace(camera.eye, direction);
            const std::size_t i = static_cast<std::size_t>(y) * camera.width + x;
            BMM_Color_64 colour = {0, 0, 0, 0xFFFF};
            if (hit) {
                const Colour shade = scene.Shade(camera.eye, direction, *hit);
                colour = {Component16(shade.red), Component16(shade.green), Component16(shade.blue),
                          0xFFFF};
            }
            row[x] = colour;
            if (depth != nullptr) {
                depth[i] = hit ? static_cast<float>(-hit->t) : -1e30f;
            }
            if (renderIds != nullptr) {
                renderIds[i] = hit ? static_cast<WORD>(hit->node) : 0xFFFF;
            }
        }
        frame.PutRow(y, row.data());
    }
}

// The host's scene as the plug-in asks about it: every node by its render identifier, with
// its name, wire colour and material.
void PublishScene(const Scene& scene) {
    std::vector<Mtl*> materials;
    for (const Material& material : scene.materials) {
        materials.push_back(
            MaxHost::AddMaterial(material.name, Color(static_cast<float>(material.red),
                                                      static_cast<float>(material.green),
                                                      static_cast<float>(material.blue))));
    }
    for (std::size_t i = 0; i < scene.nodes.size(); ++i) {
        const Node& node = scene.nodes[i];
        MaxHost::AddNode(static_cast<UWORD>(i), node.name, node.wireColor,
                         node.material >= 0 ? materials[node.material] : nullptr);
    }
    // One scene unit is one metre.
    SetMasterUnitInfo(UNITS_METERS, 1.0f);
    DispInfo display = {};
    display.dispType = UNITDISP_GENERIC;
    SetUnitDisplayInfo(&display);
}

double SequenceTime(int frame, int frames) {
    return frames > 1 ? static_cast<double>(frame) / (frames - 1) : 0.0;
}

void CheckEye(const Scene& scene, const Vec3& eye) {
    const std::wstring obstruction = scene.Obstruction(eye);
    if (!obstruction.empty()) {
        char text[96];
        std::snprintf(text, sizeof text, "%g,%g,%g", eye.x, eye.y, eye.z);
        throw UsageError(std::string("the eye point ") + text + " lies " +
                         platform::WideToAnsi(obstruction));
    }
}

std::wstring OutputPath(const Options& options, const char* file) {
    std::filesystem::create_directories(options.out);
    return platform::AnsiToWide((options.out / file).string());
}

void RunFaces(const Options& options) {
    const Scene scene = DemoScene(0);
    CheckEye(scene, options.eye);
    PublishScene(scene);
    const PluginModule module(options.plugin);
    const int width = options.size + 2 * options.margin;
    const double pitch = FacePitch(options);
    std::size_t done = 0;
    for (const CubeFace* face : options.faces) {
        const std::wstring path = OutputPath(options, face->file);
        std::printf("Rendering face %s (%zu of %zu), %d x %d pixels: %s\n", face->label, ++done,
                    options.faces.size(), width, width, platform::WideToAnsi(path).c_str());
        std::fflush(stdout);
        Camera camera = {options.eye, face->forward, face->right, face->up, width, width, pitch};
        const bool rolled = face->forward.z > 0   ? options.rollUp
                            : face->forward.z < 0 ? options.rollDown
                                                  : false;
        if (rolled) {
            camera.right = camera.right * -1.0;
            camera.up = camera.up * -1.0;
        }
        OrvoOutput output(module, options.byMaterial, path, width, width);
        Render(scene, camera, output.Frame());
        output.Write(BMM_SINGLEFRAME);
    }
}

// The walk of the sequence: from the room's south-west towards its middle, turning from the
// north wall to the east wall and looking slightly down.
Camera SequenceCamera(double time, int size, double fov) {
    const double yaw = (15 + 105 * time) * Pi / 180;
    const double tilt = -12 * Pi / 180;
    const Vec3 forward = {std::sin(yaw) * std::cos(tilt), std::cos(yaw) * std::cos(tilt),
                          std::sin(tilt)};
    const Vec3 right = Normalised(Cross(forward, {0, 0, 1}));
    const Vec3 up = Cross(right, forward);
    const Vec3 eye = {-2.8 + 4.0 * time, -2.2 + 0.8 * time, 1.5};
    return {eye, forward, right, up, size, size, 2 * std::tan(fov * Pi / 360) / size};
}

void RunSequence(const Options& options) {
    PublishScene(DemoScene(0));
    const PluginModule module(options.plugin);
    const std::wstring path = OutputPath(options, "walk.orv");
    OrvoOutput output(module, options.byMaterial, path, options.size, options.size);
    for (int frame = 0; frame < options.frames; ++frame) {
        const double time = SequenceTime(frame, options.frames);
        std::printf("Rendering frame %d of %d\n", frame + 1, options.frames);
        std::fflush(stdout);
        Render(DemoScene(time),
               SequenceCamera(time, options.size, options.fov > 0 ? options.fov : 70),
               output.Frame());
        output.Write(frame);
    }
    wchar_t first[MAX_PATH];
    wchar_t last[MAX_PATH];
    if (BMMCreateNumberedFilename(path.c_str(), 0, first) &&
        BMMCreateNumberedFilename(path.c_str(), options.frames - 1, last)) {
        std::printf("Wrote %s to %s\n", platform::WideToAnsi(first).c_str(),
                    platform::WideToAnsi(last).c_str());
    }
}

// The dialog's presses for the stand-in, which otherwise closes a dialog right away.
void ScriptPresses(const Options& options) {
#ifdef _WIN32
    (void)options;
#else
    std::vector<platform::DialogAction> actions;
    for (const int control : options.presses) {
        actions.push_back(control == 0 ? platform::CloseDialog() : platform::ClickControl(control));
    }
    platform::ScriptDialogs({actions});
#endif
}

void RunDialog(const Options& options) {
    PublishScene(DemoScene(0));
    MaxHost::SetPlugCfgFolder(platform::AnsiToWide(options.plugCfg.string()));
    const PluginModule module(options.plugin);
    const std::unique_ptr<BitmapIO> writer = module.CreateWriter(options.byMaterial);
    // The host's main window owns the dialogs; this host has none, so they have no owner.
    Interface* host = TheManager->Max();
    const HWND owner = host != nullptr ? host->GetMAXHWnd() : nullptr;
    ScriptPresses(options);
    if (options.command == "about") {
        writer->ShowAbout(owner);
        std::puts("about: closed");
        return;
    }
    const BOOL confirmed = writer->ShowControl(owner, static_cast<DWORD>(BMMIO_CONTROLWRITE));
    BYTE block = 0;
    if (!writer->SaveConfigure(&block)) {
        throw std::runtime_error("the plug-in does not give its configuration");
    }
    std::printf("configure: %s\nnames: %s\n", confirmed ? "confirmed" : "cancelled",
                block != 0 ? "material" : "node");
    std::ifstream file(options.plugCfg / "ORV.cfg", std::ios::binary);
    if (!file) {
        std::puts("ORV.cfg: none");
        return;
    }
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    std::printf("ORV.cfg:");
    for (const char byte : bytes) {
        std::printf(" %02x", static_cast<unsigned char>(byte));
    }
    std::printf("\n");
}

void RunProbe(const Options& options) {
    const Scene scene = DemoScene(SequenceTime(options.frame, options.frames));
    std::string line;
    int number = 0;
    while (std::getline(std::cin, line)) {
        ++number;
        std::istringstream fields(line);
        double v[6];
        if (!(fields >> v[0] >> v[1] >> v[2] >> v[3] >> v[4] >> v[5]) ||
            !(fields >> std::ws).eof()) {
            throw std::runtime_error("line " + std::to_string(number) +
                                     " of the input is not six numbers");
        }
        const std::optional<Hit> hit = scene.Trace({v[0], v[1], v[2]}, {v[3], v[4], v[5]});
        if (hit) {
            std::printf(
                "%.17g\t%s\n", hit->t,
                platform::WideToAnsi(scene.ObjectName(hit->node, options.byMaterial)).c_str());
        } else {
            std::puts("none");
        }
    }
}

} // namespace

} // namespace RenderHost

int main(int argc, char** argv) {
    using namespace RenderHost;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "-h" || std::string(argv[i]) == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
    }
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::puts("render_host " ORVO_VERSION);
        return 0;
    }
    try {
        const Options options = ParseOptions(argc, argv);
        if (options.command == "faces") {
            RunFaces(options);
        } else if (options.command == "sequence") {
            RunSequence(options);
        } else if (options.command == "configure" || options.command == "about") {
            RunDialog(options);
        } else {
            RunProbe(options);
        }
        return 0;
    } catch (const UsageError& error) {
        std::fprintf(stderr, "Error: %s\nSee render_host --help.\n", error.what());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "Error: %s\n", error.what());
        return 1;
    }
}
