// orvo_info: tells what an Orvo file holds and, on request, writes PNG previews of its
// layers. It reads both revisions and both kinds of depth layer (a rendered view's and a
// panorama's), and exits with the number of files it could not read or preview (at most 125).
#include "orvo/format.h"
#include "orvo/private_tags.h"
#include "orvo/reader.h"

#include "platform/kernel32.h"
#include "platform/text.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

const char Usage[] =
    "Usage: orvo_info [--png PREFIX] FILE...\n"
    "\n"
    "Prints the layers, the view record and the object table of each Orvo file.\n"
    "\n"
    "  --png PREFIX  also write PREFIX_colour.png, PREFIX_depth.png (near is bright, no depth\n"
    "                is black) and PREFIX_ids.png (each object in its table colour); with\n"
    "                several files, PREFIX is followed by the file's position, from 1\n"
    "  -h, --help    print this text\n";

// A plane from the reader, released with VirtualFree.
template <typename Sample> struct Plane {
    Sample* data = nullptr;
    Plane() = default;
    Plane(const Plane&) = delete;
    Plane& operator=(const Plane&) = delete;
    ~Plane() {
        if (data != nullptr) {
            VirtualFree(data, 0, MEM_RELEASE);
        }
    }
};

struct LayerInfo {
    std::uint32_t kind;
    std::uint16_t major, minor;
    std::uint32_t width, height;
    std::uint16_t bitsPerSample, samplesPerPixel;
};

// What the reader leaves out: the layer headers of every directory, and a panorama's view
// record and depth codes.
struct Extras {
    std::vector<LayerInfo> layers;
    std::optional<PanoramaView> panorama;
    std::vector<std::uint32_t> panoramaDepth;
};

std::uint32_t FieldU32(const unsigned char* p, bool big) {
    return big ? (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
                  p[3])
               : (std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 |
                  p[0]);
}

std::uint16_t FieldU16(const unsigned char* p, bool big) {
    return static_cast<std::uint16_t>(big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
}

bool ReadExtras(const std::string& path, Extras& extras) {
    TiffHandle tif(OpenTiff(path, "r"));
    if (!tif) {
        return false;
    }
    const bool big = TIFFIsBigEndian(tif.get()) != 0;
    do {
        std::uint32_t offset = 0;
        if (TIFFGetField(tif.get(), TagQuorvaneSubfileData, &offset) != 1) {
            continue;
        }
        unsigned char header[LayerHeaderSize];
        if (!ReadTiffBlock(tif.get(), offset, header, sizeof header)) {
            continue;
        }
        LayerInfo layer = {};
        layer.kind = FieldU32(header, big);
        layer.major = FieldU16(header + 4, big);
        layer.minor = FieldU16(header + 6, big);
        TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &layer.width);
        TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &layer.height);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &layer.bitsPerSample);
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &layer.samplesPerPixel);
        extras.layers.push_back(layer);
        if (layer.kind != KindPanoramaDepth || extras.panorama) {
            continue;
        }
        unsigned char body[4 + PackedPanoramaViewSize];
        PanoramaView view;
        InitPanoramaView(view);
        if (ReadTiffBlock(tif.get(), std::uint64_t(offset) + LayerHeaderSize, body, sizeof body)) {
            UnpackPanoramaView(body + 4, view, big);
        }
        extras.panorama = view;
        // The codes themselves, when the layout is the one the writers use.
        if (layer.bitsPerSample == 32 && layer.samplesPerPixel == 1 &&
            TIFFScanlineSize64(tif.get()) == 4 * static_cast<tmsize_t>(layer.width)) {
            std::vector<std::uint32_t> codes(std::size_t(layer.width) * layer.height);
            for (std::uint32_t row = 0; row < layer.height; ++row) {
                if (TIFFReadScanline(tif.get(), &codes[std::size_t(row) * layer.width], row) < 0) {
                    codes.clear();
                    break;
                }
            }
            extras.panoramaDepth = std::move(codes);
        }
    } while (TIFFReadDirectory(tif.get()) == 1);
    return true;
}

const char* KindName(std::uint32_t kind) {
    switch (kind) {
    case KindColour:
        return "colour";
    case KindPerspectiveDepth:
        return "depth (view record)";
    case KindObjectId:
        return "object id";
    case KindPanoramaDepth:
        return "depth (panorama record)";
    default:
        return "unknown kind";
    }
}

const char* UnitName(std::uint32_t code) {
    switch (code) {
    case UnitMillimetre:
        return "millimetre";
    case UnitCentimetre:
        return "centimetre";
    case UnitMetre:
        return "metre";
    case UnitKilometre:
        return "kilometre";
    case UnitInch:
        return "inch";
    case UnitFoot:
        return "foot";
    default:
        return "none";
    }
}

void PrintVector(const char* name, const Vector3& v) {
    std::printf("  %-20s %.6g, %.6g, %.6g\n", name, v.x, v.y, v.z);
}

// The pixels of a depth plane that hit something, and their smallest and largest codes.
struct HitCodes {
    std::size_t hits = 0;
    std::uint32_t lowest = NoDepthCode;
    std::uint32_t highest = 0;
};

HitCodes ScanHits(const std::uint32_t* codes, std::size_t count) {
    HitCodes scan;
    for (std::size_t i = 0; i < count; ++i) {
        if (codes[i] != NoDepthCode) {
            ++scan.hits;
            scan.lowest = std::min(scan.lowest, codes[i]);
            scan.highest = std::max(scan.highest, codes[i]);
        }
    }
    return scan;
}

void PrintDepthRange(const std::uint32_t* codes, std::size_t count, double nearDepth,
                     double farDepth) {
    const HitCodes scan = ScanHits(codes, count);
    std::printf("  %-20s %zu of %zu pixels", "hit", scan.hits, count);
    if (scan.hits != 0) {
        const double step = (farDepth - nearDepth) / 4294967296.0;
        std::printf(", depths %.6g to %.6g", nearDepth + scan.lowest * step,
                    nearDepth + scan.highest * step);
    }
    std::printf("\n");
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// libpng's write and info structures, released together.
struct PngWrite {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    PngWrite() = default;
    PngWrite(const PngWrite&) = delete;
    PngWrite& operator=(const PngWrite&) = delete;
    ~PngWrite() { png_destroy_write_struct(&png, &info); }
};

// libpng reports its failures by a long jump back to the start of this function.
bool EncodePng(const PngWrite& write, std::FILE* file, int width, int height, int channels,
               const unsigned char* pixels) {
    if (setjmp(png_jmpbuf(write.png)) != 0) {
        return false;
    }
    png_init_io(write.png, file);
    png_set_IHDR(write.png, write.info, static_cast<png_uint_32>(width),
                 static_cast<png_uint_32>(height), 8,
                 channels == 3 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(write.png, write.info);
    for (int row = 0; row < height; ++row) {
        png_write_row(write.png, pixels + std::size_t(row) * width * channels);
    }
    png_write_end(write.png, nullptr);
    return true;
}

bool WritePng(const std::string& path, int width, int height, int channels,
              const unsigned char* pixels) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        std::fprintf(stderr, "orvo_info: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const PngWrite write;
    const bool ok =
        write.info != nullptr && EncodePng(write, file.get(), width, height, channels, pixels);
    // Closing flushes the last bytes, so its failure is a failed write too.
    if (std::fclose(file.release()) != 0 || !ok) {
        std::fprintf(stderr, "orvo_info: %s: could not write the PNG file\n", path.c_str());
        return false;
    }
    std::printf("  wrote %s\n", path.c_str());
    return true;
}

// Near surfaces bright, far ones dark, over the range of codes present; no depth is black.
std::vector<unsigned char> DepthPreview(const std::uint32_t* codes, std::size_t count) {
    const HitCodes scan = ScanHits(codes, count);
    std::vector<unsigned char> grey(count, 0);
    const double span = scan.highest > scan.lowest ? double(scan.highest) - scan.lowest : 1.0;
    for (std::size_t i = 0; i < count; ++i) {
        if (codes[i] != NoDepthCode) {
            grey[i] = static_cast<unsigned char>(255.0 - 215.0 * (codes[i] - scan.lowest) / span);
        }
    }
    return grey;
}

// Each object in its table colour; no object is black, an id missing from the table magenta.
std::vector<unsigned char> IdPreview(const std::uint16_t* ids, std::size_t count,
                                     const std::deque<ObjectEntry>& objects) {
    std::map<std::uint16_t, const ObjectEntry*> byId;
    for (const ObjectEntry& entry : objects) {
        byId.emplace(entry.id, &entry); // newest first, so the newest record of an id wins
    }
    std::vector<unsigned char> rgb(3 * count, 0);
    for (std::size_t i = 0; i < count; ++i) {
        if (ids[i] == NoObjectId) {
            continue;
        }
        const auto found = byId.find(ids[i]);
        const unsigned char colour[3] = {255, 0, 255};
        const unsigned char* source = colour;
        unsigned char table[3];
        if (found != byId.end()) {
            table[0] = found->second->red;
            table[1] = found->second->green;
            table[2] = found->second->blue;
            source = table;
        }
        std::copy(source, source + 3, &rgb[3 * i]);
    }
    return rgb;
}

bool Describe(const std::string& path, const std::string& pngPrefix) {
    int width = 0, height = 0;
    PerspectiveView view;
    InitPerspectiveView(view);
    std::deque<ObjectEntry> objects;
    Plane<unsigned char> colour;
    Plane<std::uint32_t> depth;
    Plane<std::uint16_t> ids;
    Extras extras;
    if (!ReadOrvoFile(path, width, height, view, objects, colour.data, depth.data, ids.data) ||
        !ReadExtras(path, extras)) {
        std::fprintf(stderr, "orvo_info: %s: not a readable Orvo file\n", path.c_str());
        return false;
    }
    std::printf("%s: %d x %d\n", path.c_str(), width, height);
    if (extras.layers.empty()) {
        std::printf("  no Orvo layers (an ordinary TIFF file)\n");
        return true;
    }
    for (const LayerInfo& layer : extras.layers) {
        std::printf("  layer %-24s revision %u.%u, %u x %u, %u x %u bits\n", KindName(layer.kind),
                    layer.major, layer.minor, layer.width, layer.height, layer.samplesPerPixel,
                    layer.bitsPerSample);
    }
    const std::size_t count = std::size_t(width) * std::size_t(height);
    if (depth.data != nullptr) {
        std::printf("view record\n");
        std::printf("  %-20s %s\n", "projection",
                    view.projection == ProjectionPerspective ? "perspective" : "parallel");
        PrintVector("eye point", view.eyePoint);
        PrintVector("right axis", view.rightAxis);
        PrintVector("up axis", view.upAxis);
        PrintVector("view direction", view.viewDirection);
        PrintVector("top-left corner", view.cornerTopLeft);
        PrintVector("bottom-right corner", view.cornerBottomRight);
        std::printf("  %-20s %.9g to %.9g\n", "depth range", view.nearDepth, view.farDepth);
        std::printf("  %-20s %.9g %s\n", "unit", view.unitScale, UnitName(view.unitCode));
        PrintDepthRange(depth.data, count, view.nearDepth, view.farDepth);
    }
    if (extras.panorama) {
        const PanoramaView& panorama = *extras.panorama;
        std::printf("panorama record\n");
        PrintVector("eye point", panorama.eyePoint);
        std::printf("  %-20s %.9g to %.9g\n", "depth range", panorama.nearDepth, panorama.farDepth);
        std::printf("  %-20s %.9g %s\n", "unit", panorama.unitScale, UnitName(panorama.unitCode));
        if (extras.panoramaDepth.size() == count) {
            PrintDepthRange(extras.panoramaDepth.data(), count, panorama.nearDepth,
                            panorama.farDepth);
        }
    }
    if (ids.data != nullptr) {
        std::map<std::uint16_t, std::size_t> pixels;
        for (std::size_t i = 0; i < count; ++i) {
            ++pixels[ids.data[i]];
        }
        std::printf("objects: %zu (newest first)\n", objects.size());
        for (const ObjectEntry& entry : objects) {
            const auto used = pixels.find(entry.id);
            std::printf("  %5u  #%02X%02X%02X  %8zu px  %s\n", entry.id, entry.red, entry.green,
                        entry.blue, used != pixels.end() ? used->second : std::size_t(0),
                        platform::WideToAnsi(entry.name).c_str());
        }
    }
    if (pngPrefix.empty()) {
        return true;
    }
    bool ok = true;
    if (colour.data != nullptr) {
        ok &= WritePng(pngPrefix + "_colour.png", width, height, 3, colour.data);
    }
    const std::uint32_t* codes = depth.data != nullptr ? depth.data
                                 : extras.panoramaDepth.size() == count
                                     ? extras.panoramaDepth.data()
                                     : nullptr;
    if (codes != nullptr) {
        ok &=
            WritePng(pngPrefix + "_depth.png", width, height, 1, DepthPreview(codes, count).data());
    }
    if (ids.data != nullptr) {
        ok &= WritePng(pngPrefix + "_ids.png", width, height, 3,
                       IdPreview(ids.data, count, objects).data());
    }
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    std::string pngPrefix;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-h" || argument == "--help") {
            std::fputs(Usage, stdout);
            return 0;
        }
        if (argument == "--png") {
            if (i + 1 == argc || argv[i + 1][0] == '\0') {
                std::fputs("orvo_info: --png needs a prefix\n", stderr);
                std::fputs(Usage, stderr);
                return 2;
            }
            pngPrefix = argv[++i];
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) {
        std::fputs(Usage, stderr);
        return 2;
    }
    int failures = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string prefix =
            pngPrefix.empty() || files.size() == 1 ? pngPrefix : pngPrefix + std::to_string(i + 1);
        if (!Describe(files[i], prefix)) {
            ++failures;
        }
    }
    return std::min(failures, 125);
}
