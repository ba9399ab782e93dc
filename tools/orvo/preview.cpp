// orvo preview: PNG pictures of a file's layers, for eyes and for image viewers.
#include "commands.h"
#include "orvo_document.h"

#include "platform/files.h"
#include "platform/stdio_file.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sstream>

const char PreviewSynopsis[] = "orvo preview [--layers LIST] FILE OUTDIR";

const char PreviewHelp[] =
    "Usage: orvo preview [--layers LIST] FILE OUTDIR\n"
    "\n"
    "Writes PNG pictures of the file's layers into OUTDIR (made if missing), named after the\n"
    "file (panorama.orv gives panorama_colour.png and so on):\n"
    "  STEM_colour.png  the colour layer, RGB\n"
    "  STEM_depth.png   the depth layer, grey with alpha: the nearest depth present is white\n"
    "                   (255), the farthest dark grey (32), linear in depth between them;\n"
    "                   pixels without depth are transparent\n"
    "  STEM_ids.png     the object-id layer, RGBA: each id in its object table colour; id 0\n"
    "                   (no object) transparent; an id missing from the table magenta\n"
    "                   (255, 0, 255)\n"
    "\n"
    "  --layers LIST  the layers to write, comma-separated from colour, depth and ids;\n"
    "                 a layer the file lacks is then an error. Default: every layer the\n"
    "                 file has\n"
    "  -h, --help     print this text\n"
    "\n"
    "Exit status: 0 success, 1 the file cannot be read, lacks a layer asked for or a picture\n"
    "cannot be written, 2 wrong usage.\n";

namespace {

// Grey of the nearest and of the farthest depth present.
const double NearGrey = 255.0;
const double FarGrey = 32.0;
// The colour of an id that the object table lacks.
const unsigned char UnknownIdColour[3] = {255, 0, 255};

// libpng's write and info structures, released together.
struct PngWrite {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    PngWrite() = default;
    PngWrite(const PngWrite&) = delete;
    PngWrite& operator=(const PngWrite&) = delete;
    ~PngWrite() { png_destroy_write_struct(&png, &info); }
};

int ColourType(int channels) {
    switch (channels) {
    case 2:
        return PNG_COLOR_TYPE_GRAY_ALPHA;
    case 3:
        return PNG_COLOR_TYPE_RGB;
    case 4:
        return PNG_COLOR_TYPE_RGB_ALPHA;
    default:
        return PNG_COLOR_TYPE_GRAY;
    }
}

// libpng reports its failures by a long jump back to the start of this function, which
// therefore owns nothing that needs destroying.
bool EncodePng(const PngWrite& write, std::FILE* file, int width, int height, int channels,
               const unsigned char* pixels) {
    if (setjmp(png_jmpbuf(write.png)) != 0) {
        return false;
    }
    png_init_io(write.png, file);
    png_set_IHDR(write.png, write.info, static_cast<png_uint_32>(width),
                 static_cast<png_uint_32>(height), 8, ColourType(channels), PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(write.png, write.info);
    for (int row = 0; row < height; ++row) {
        png_write_row(write.png, pixels + std::size_t(row) * width * channels);
    }
    png_write_end(write.png, nullptr);
    return true;
}

void WritePng(const std::string& path, int width, int height, int channels,
              const unsigned char* pixels) {
    errno = 0;
    platform::StdioFile file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        throw FileError(path, std::strerror(errno != 0 ? errno : EIO));
    }
    const PngWrite write;
    errno = 0;
    const bool encoded =
        write.info != nullptr && EncodePng(write, file.get(), width, height, channels, pixels);
    const int encodeError = errno;
    // Closing flushes the last bytes, so its failure is a failed write too.
    const bool closed = std::fclose(file.release()) == 0;
    const int closeError = errno;
    if (!encoded || !closed) {
        const int error = !encoded ? encodeError : closeError;
        throw FileError(path, std::string("cannot write the PNG file: ") +
                                  (error != 0 ? std::strerror(error) : "libpng failed"));
    }
    std::printf("wrote %s\n", path.c_str());
}

std::vector<unsigned char> DepthPicture(const std::vector<std::uint32_t>& codes) {
    std::uint32_t lowest = NoDepthCode;
    std::uint32_t highest = 0;
    for (const std::uint32_t code : codes) {
        if (code != NoDepthCode) {
            lowest = std::min(lowest, code);
            highest = std::max(highest, code);
        }
    }
    // Codes are linear in depth, so the grey can follow the codes.
    const double span = highest > lowest ? double(highest) - double(lowest) : 1.0;
    std::vector<unsigned char> greyAlpha(2 * codes.size(), 0);
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (codes[i] != NoDepthCode) {
            const double grey = NearGrey - (NearGrey - FarGrey) * (codes[i] - lowest) / span;
            greyAlpha[2 * i] = static_cast<unsigned char>(std::lround(grey));
            greyAlpha[2 * i + 1] = 255;
        }
    }
    return greyAlpha;
}

std::vector<unsigned char> IdPicture(const OrvoDocument& document) {
    const auto byId = document.ObjectsById();
    std::vector<unsigned char> rgba(4 * document.ids.size(), 0);
    for (std::size_t i = 0; i < document.ids.size(); ++i) {
        const std::uint16_t id = document.ids[i];
        if (id == NoObjectId) {
            continue;
        }
        unsigned char* out = &rgba[4 * i];
        const auto entry = byId.find(id);
        if (entry != byId.end()) {
            out[0] = entry->second->red;
            out[1] = entry->second->green;
            out[2] = entry->second->blue;
        } else {
            std::copy(UnknownIdColour, UnknownIdColour + 3, out);
        }
        out[3] = 255;
    }
    return rgba;
}

struct LayerChoice {
    bool colour = false;
    bool depth = false;
    bool ids = false;
    bool given = false;
};

LayerChoice ParseLayers(const std::string& list) {
    LayerChoice choice;
    choice.given = true;
    std::istringstream items(list);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (item == "colour" || item == "color") {
            choice.colour = true;
        } else if (item == "depth") {
            choice.depth = true;
        } else if (item == "ids") {
            choice.ids = true;
        } else {
            throw UsageError("--layers takes colour, depth and ids, not \"" + item + "\"");
        }
    }
    if (!choice.colour && !choice.depth && !choice.ids) {
        throw UsageError("--layers needs at least one layer");
    }
    return choice;
}

} // namespace

int RunPreview(const Arguments& arguments) {
    LayerChoice choice;
    std::vector<std::string> words;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--layers") {
            if (i + 1 == arguments.size()) {
                throw UsageError("--layers needs a list");
            }
            choice = ParseLayers(arguments[++i]);
        } else if (argument.size() > 1 && argument[0] == '-') {
            throw UsageError("unknown option \"" + argument + "\"");
        } else {
            words.push_back(argument);
        }
    }
    if (words.size() != 2) {
        throw UsageError(words.empty()       ? "no file"
                         : words.size() == 1 ? "no output folder"
                                             : "too many arguments");
    }
    const std::string& file = words[0];
    const std::string& folder = words[1];
    const OrvoDocument document = LoadOrvoDocument(file);
    if (!choice.given) {
        choice.colour = document.HasColour();
        choice.depth = document.HasDepth();
        choice.ids = document.HasIds();
    }
    const auto require = [&](bool wanted, bool present, const char* layer) {
        if (wanted && !present) {
            throw FileError(file, std::string("has no ") + layer + " layer");
        }
    };
    require(choice.colour, document.HasColour(), "colour");
    require(choice.depth, document.HasDepth(), "depth");
    require(choice.ids, document.HasIds(), "object-id");

    const int error = platform::CreateFolders(folder);
    if (error != 0) {
        throw FileError(folder, std::strerror(error));
    }
    const std::string stem = platform::PathInFolder(folder, platform::FileStem(file));
    if (choice.colour) {
        WritePng(stem + "_colour.png", document.width, document.height, 3, document.colour.data());
    }
    if (choice.depth) {
        WritePng(stem + "_depth.png", document.width, document.height, 2,
                 DepthPicture(document.depth).data());
    }
    if (choice.ids) {
        WritePng(stem + "_ids.png", document.width, document.height, 4, IdPicture(document).data());
    }
    return 0;
}
