#include "orvo_document.h"

#include "orvo/private_tags.h"
#include "orvo/reader.h"

#include "platform/kernel32.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>

namespace {

// A plane from the reader, released with VirtualFree.
template <typename Sample> struct PagePlane {
    Sample* data = nullptr;
    PagePlane() = default;
    PagePlane(const PagePlane&) = delete;
    PagePlane& operator=(const PagePlane&) = delete;
    ~PagePlane() {
        if (data != nullptr) {
            VirtualFree(data, 0, MEM_RELEASE);
        }
    }
    template <typename Vector> void MoveInto(Vector& out, std::size_t samples) const {
        if (data != nullptr) {
            out.assign(data, data + samples);
        }
    }
};

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::uint32_t FieldU32(const unsigned char* p, bool big) {
    return big ? (std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 |
                  p[3])
               : (std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 |
                  p[0]);
}

std::uint16_t FieldU16(const unsigned char* p, bool big) {
    return static_cast<std::uint16_t>(big ? (p[0] << 8 | p[1]) : (p[1] << 8 | p[0]));
}

std::string Damaged(int directory, const std::string& problem) {
    return "damaged: directory " + std::to_string(directory) + ": " + problem;
}

// libtiff's own description of the current directory, with the private tags' lines that the
// print hook of OpenTiff's handles adds. libtiff prints only to a stream, so it goes through
// a temporary file.
std::string Listing(TIFF* tif) {
    const FileHandle file(std::tmpfile());
    if (!file) {
        return {};
    }
    TIFFPrintDirectory(tif, file.get(), TIFFPRINT_NONE);
    std::string text;
    std::rewind(file.get());
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, got);
    }
    return text;
}

// The first problem a look at the file's first bytes shows, so that a file libtiff refuses
// is reported for what it is.
void CheckTiffHeader(const std::string& path) {
    errno = 0;
    const FileHandle file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw FileError(path, std::strerror(errno != 0 ? errno : ENOENT));
    }
    unsigned char header[8];
    const std::size_t got = std::fread(header, 1, sizeof header, file.get());
    if (std::ferror(file.get()) != 0) {
        throw FileError(path, std::strerror(errno != 0 ? errno : EIO));
    }
    if (got == 0) {
        throw FileError(path, "not an Orvo file: the file is empty");
    }
    const bool little = got >= 4 && std::memcmp(header, "II\x2a\x00", 4) == 0;
    const bool big = got >= 4 && std::memcmp(header, "MM\x00\x2a", 4) == 0;
    const bool bigTiff = got >= 4 && (std::memcmp(header, "II\x2b\x00", 4) == 0 ||
                                      std::memcmp(header, "MM\x00\x2b", 4) == 0);
    if (bigTiff) {
        throw FileError(path, "not an Orvo file: a BigTIFF file");
    }
    if (!little && !big) {
        throw FileError(path, "not an Orvo file: not a TIFF file");
    }
    if (got < 8) {
        throw FileError(path, "damaged: the TIFF header is cut short");
    }
}

// What the reader leaves out, and what it needs to be told apart from a damaged file.
struct Walk {
    std::vector<LayerDirectory> layers;
    std::optional<PerspectiveView> view;
    std::optional<PanoramaView> panorama;
    std::vector<std::uint32_t> panoramaDepth;
    std::optional<std::uint32_t> objectCount; // as the object-id layer states it
    int objectDirectory = 0;
    std::vector<std::string> listings;
};

std::vector<std::uint32_t> ReadPanoramaCodes(TIFF* tif, const LayerDirectory& layer,
                                             const std::string& path) {
    // Rows are read straight into the plane, so the layout must be the one the writers use.
    std::uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    if (layer.bitsPerSample != 32 || layer.samplesPerPixel != 1 || TIFFIsTiled(tif) ||
        TIFFScanlineSize64(tif) != 4 * static_cast<tmsize_t>(layer.width)) {
        throw FileError(path, Damaged(layer.directory,
                                      "the depth layer is not one 32-bit sample a pixel in rows"));
    }
    // The plane grows with the rows read, so that a damaged file claiming a huge layer is
    // refused at its first missing row rather than after the whole plane was zeroed.
    std::vector<std::uint32_t> codes;
    for (std::uint32_t row = 0; row < layer.height; ++row) {
        codes.resize(std::size_t(row + 1) * layer.width);
        if (TIFFReadScanline(tif, &codes[std::size_t(row) * layer.width], row, 0) < 0) {
            throw FileError(path,
                            Damaged(layer.directory, "row " + std::to_string(row) +
                                                         " of the depth layer cannot be read"));
        }
    }
    return codes;
}

void ReadLayer(TIFF* tif, int index, std::uint32_t offset, Walk& walk, const std::string& path) {
    const bool big = TIFFIsBigEndian(tif) != 0;
    unsigned char header[LayerHeaderSize];
    if (!ReadTiffBlock(tif, offset, header, sizeof header)) {
        throw FileError(path, Damaged(index, "its layer header lies outside the file"));
    }
    LayerDirectory layer = {};
    layer.directory = index;
    layer.kind = FieldU32(header, big);
    layer.major = FieldU16(header + 4, big);
    layer.minor = FieldU16(header + 6, big);
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &layer.width) != 1 ||
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &layer.height) != 1) {
        throw FileError(path, Damaged(index, "it has no image width or height"));
    }
    if (layer.width == 0 || layer.height == 0 || layer.width > 65535 || layer.height > 65535) {
        throw FileError(path, Damaged(index, "its size " + std::to_string(layer.width) + " x " +
                                                 std::to_string(layer.height) +
                                                 " lies outside 1..65535"));
    }
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &layer.bitsPerSample);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &layer.samplesPerPixel);

    const std::uint64_t body = std::uint64_t(offset) + LayerHeaderSize;
    if (layer.kind == KindPerspectiveDepth && !walk.view) {
        unsigned char block[4 + PackedPerspectiveViewSize];
        if (!ReadTiffBlock(tif, body, block, sizeof block)) {
            throw FileError(path, Damaged(index, "its view record lies outside the file"));
        }
        PerspectiveView view;
        InitPerspectiveView(view);
        UnpackPerspectiveView(block + 4, view, big);
        walk.view = view;
    } else if (layer.kind == KindPanoramaDepth) {
        if (walk.panorama) {
            throw FileError(path, Damaged(index, "a second panorama depth layer"));
        }
        unsigned char block[4 + PackedPanoramaViewSize];
        if (!ReadTiffBlock(tif, body, block, sizeof block)) {
            throw FileError(path, Damaged(index, "its panorama view record lies outside the file"));
        }
        PanoramaView view;
        InitPanoramaView(view);
        UnpackPanoramaView(block + 4, view, big);
        walk.panorama = view;
        walk.panoramaDepth = ReadPanoramaCodes(tif, layer, path);
    } else if (layer.kind == KindObjectId && !walk.objectCount) {
        unsigned char table[8];
        if (!ReadTiffBlock(tif, body, table, sizeof table)) {
            throw FileError(path, Damaged(index, "its object table lies outside the file"));
        }
        walk.objectCount = FieldU32(table, big);
        walk.objectDirectory = index;
    }
    walk.layers.push_back(layer);
}

Walk WalkDirectories(const std::string& path, bool listings) {
    const TiffHandle tif(OpenTiff(path, "r"));
    if (!tif) {
        throw FileError(path, "damaged: libtiff cannot read its first directory");
    }
    Walk walk;
    for (int index = 0;; ++index) {
        if (listings) {
            walk.listings.push_back(Listing(tif.get()));
        }
        std::uint32_t offset = 0;
        if (TIFFGetField(tif.get(), TagQuorvaneSubfileData, &offset) == 1) {
            ReadLayer(tif.get(), index, offset, walk, path);
        }
        if (TIFFLastDirectory(tif.get())) {
            return walk;
        }
        if (!TIFFReadDirectory(tif.get())) {
            throw FileError(path, "damaged: directory " + std::to_string(index + 1) +
                                      " cannot be read (its link points past the end of the "
                                      "file or back into the chain)");
        }
    }
}

// Why the reader refused a file whose directories all looked readable, where the headers
// show it; otherwise the rows themselves are at fault.
std::string ReaderRefusal(const Walk& walk) {
    const LayerDirectory& first = walk.layers.front();
    std::set<std::uint32_t> kinds;
    int depthLayers = 0;
    for (const LayerDirectory& layer : walk.layers) {
        if (layer.width != first.width || layer.height != first.height) {
            return Damaged(layer.directory,
                           "its size " + std::to_string(layer.width) + " x " +
                               std::to_string(layer.height) + " differs from the first layer's " +
                               std::to_string(first.width) + " x " + std::to_string(first.height));
        }
        const bool known = layer.kind == KindColour || layer.kind == KindPerspectiveDepth ||
                           layer.kind == KindObjectId || layer.kind == KindPanoramaDepth;
        if (known && !kinds.insert(layer.kind).second) {
            return Damaged(layer.directory,
                           std::string("a second ") + KindName(layer.kind) + " layer");
        }
        depthLayers += layer.kind == KindPerspectiveDepth || layer.kind == KindPanoramaDepth;
        if (layer.kind == KindColour && (layer.samplesPerPixel != 3 || layer.bitsPerSample != 8)) {
            return Damaged(layer.directory, "the colour layer is not 3 x 8-bit RGB");
        }
        if (layer.kind == KindPerspectiveDepth &&
            (layer.samplesPerPixel != 1 || layer.bitsPerSample != 32)) {
            return Damaged(layer.directory, "the depth layer is not one 32-bit sample a pixel");
        }
        if (layer.kind == KindObjectId &&
            (layer.samplesPerPixel != 1 ||
             (layer.bitsPerSample != 16 && layer.bitsPerSample != 8))) {
            return Damaged(layer.directory,
                           "the object-id layer is not one 8- or 16-bit sample a pixel");
        }
    }
    if (depthLayers > 1) {
        return "damaged: two depth layers";
    }
    return "damaged: the rows of its layers cannot all be read (a truncated or corrupted file)";
}

} // namespace

DepthScale OrvoDocument::Scale() const {
    if (panorama) {
        return {panorama->nearDepth, panorama->farDepth, panorama->unitScale, panorama->unitCode};
    }
    if (view) {
        return {view->nearDepth, view->farDepth, view->unitScale, view->unitCode};
    }
    return {0.0, 1.0, 1.0, UnitNone};
}

std::string OrvoDocument::Revision() const {
    const LayerDirectory* colourLayer = nullptr;
    const LayerDirectory* idLayer = nullptr;
    for (const LayerDirectory& layer : layers) {
        if (layer.kind == KindColour && colourLayer == nullptr) {
            colourLayer = &layer;
        } else if (layer.kind == KindObjectId && idLayer == nullptr) {
            idLayer = &layer;
        }
    }
    // Revision 1.3 numbers its colour layer 1.3 and its id layer 1.1; revision 1.0 numbers
    // every layer 1.0. A depth layer alone is 1.0 in both.
    if (colourLayer != nullptr) {
        return std::to_string(colourLayer->major) + "." + std::to_string(colourLayer->minor);
    }
    if (idLayer != nullptr) {
        return idLayer->minor == 1 ? "1.3" : idLayer->minor == 0 ? "1.0" : "unknown";
    }
    return "1.0 or 1.3";
}

std::map<std::uint16_t, const ObjectEntry*> OrvoDocument::ObjectsById() const {
    std::map<std::uint16_t, const ObjectEntry*> byId;
    for (const ObjectEntry& entry : objects) {
        byId.emplace(entry.id, &entry); // newest first, so the newest record of an id stays
    }
    return byId;
}

OrvoDocument LoadOrvoDocument(const std::string& path, const LoadOptions& options) {
    CheckTiffHeader(path);
    Walk walk = WalkDirectories(path, options.directoryListings);
    if (walk.layers.empty()) {
        throw FileError(path, "not an Orvo file: a TIFF file without Orvo layers");
    }

    OrvoDocument document;
    document.path = path;
    PerspectiveView view;
    InitPerspectiveView(view);
    PagePlane<unsigned char> colour;
    PagePlane<std::uint32_t> depth;
    PagePlane<std::uint16_t> ids;
    if (!ReadOrvoFile(path, document.width, document.height, view, document.objects, colour.data,
                      depth.data, ids.data)) {
        throw FileError(path, ReaderRefusal(walk));
    }
    if (depth.data != nullptr && walk.panorama) {
        throw FileError(path, "damaged: two depth layers");
    }
    // Both writers link every record they count; a shorter chain lost records.
    if (walk.objectCount && document.objects.size() != *walk.objectCount) {
        throw FileError(path,
                        Damaged(walk.objectDirectory,
                                "the object table lists " + std::to_string(*walk.objectCount) +
                                    " records, " + std::to_string(document.objects.size()) +
                                    " of them can be read"));
    }
    const std::size_t count = document.PixelCount();
    colour.MoveInto(document.colour, 3 * count);
    depth.MoveInto(document.depth, count);
    ids.MoveInto(document.ids, count);
    if (walk.panorama) {
        document.depth = std::move(walk.panoramaDepth);
    }
    document.layers = std::move(walk.layers);
    document.view = walk.view;
    document.panorama = walk.panorama;
    document.directoryListings = std::move(walk.listings);
    return document;
}

std::string UnitPhrase(const DepthScale& scale) {
    const std::string name = UnitName(scale.unitCode);
    if (name == "none") {
        return "scene units";
    }
    if (scale.unitScale == 1.0) {
        return name;
    }
    char text[64];
    std::snprintf(text, sizeof text, "units of %.9g ", scale.unitScale);
    return text + name;
}
