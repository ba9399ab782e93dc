// orvo export equirect: a panorama as the equirectangular images that panorama viewers and
// data pipelines read.
#include "export.h"
#include "export_output.h"
#include "json_writer.h"

#include "orvo/panorama.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

const double Pi = 3.14159265358979323846;

// Samples the strip at a run of places into the output pixels from out on. The colour is
// blended bilinearly within one face, at a position in pixel centres that lies in
// [0, faceSize - 1]: the faces' border pixels lie on the cube's edges, so no sample from a
// neighbouring face is needed for a seamless picture. Distance and id are the nearest face
// pixel's.
struct StripSampler {
    int faceSize;
    std::size_t stride; // pixels a strip row
    const unsigned char* colour;
    const std::uint32_t* depth;
    const std::uint16_t* ids;
    DepthScale scale;
    const RayLengths* lengths;

    void Sample(const StripPlaces& places, int count, std::size_t out, EquirectTile& tile) const {
        if (colour != nullptr) {
            ids != nullptr ? Run<true, true>(places, count, out, tile)
                           : Run<true, false>(places, count, out, tile);
        } else {
            ids != nullptr ? Run<false, true>(places, count, out, tile)
                           : Run<false, false>(places, count, out, tile);
        }
    }

    template <bool Colour, bool Ids>
    void Run(const StripPlaces& places, int count, std::size_t out, EquirectTile& tile) const {
        // Locals, as the stores of bytes below could otherwise change them for all that the
        // compiler knows, which would read them again at every pixel.
        const int n = faceSize;
        const std::size_t strideOf = stride;
        const unsigned char* const plane = colour;
        const std::uint32_t* const codes = depth;
        const std::uint16_t* const idPlane = ids;
        const DepthScale depthScale = scale;
        const RayLengths& length = *lengths;
        unsigned char* const rgb = Colour ? &tile.colour[3 * out] : nullptr;
        float* const distance = &tile.distance[out];
        std::uint16_t* const id = Ids ? &tile.ids[out] : nullptr;
        for (int k = 0; k < count; ++k) {
            const double column = places.column[k];
            const double row = places.row[k];
            const std::size_t face = std::size_t(places.slot[k]) * n;
            if (Colour) {
                const int c0 = static_cast<int>(column);
                const int r0 = static_cast<int>(row);
                const std::size_t right = c0 + 1 < n ? 3 : 0;
                const std::size_t down = r0 + 1 < n ? 3 * strideOf : 0;
                // Weights in 256ths of a pixel, so that the blend is integer arithmetic.
                const unsigned wc = static_cast<unsigned>((column - c0) * 256.0 + 0.5);
                const unsigned wr = static_cast<unsigned>((row - r0) * 256.0 + 0.5);
                const unsigned char* top = plane + 3 * (std::size_t(r0) * strideOf + face + c0);
                const unsigned char* bottom = top + down;
                for (int j = 0; j < 3; ++j) {
                    const unsigned upper = top[j] * (256 - wc) + top[right + j] * wc;
                    const unsigned lower = bottom[j] * (256 - wc) + bottom[right + j] * wc;
                    rgb[3 * k + j] =
                        static_cast<unsigned char>((upper * (256 - wr) + lower * wr + 32768) >> 16);
                }
            }
            const int c = static_cast<int>(column + 0.5);
            const int r = static_cast<int>(row + 0.5);
            const std::size_t nearest = std::size_t(r) * strideOf + face + c;
            const std::uint32_t code = codes[nearest];
            distance[k] = code == NoDepthCode
                              ? std::numeric_limits<float>::quiet_NaN()
                              : static_cast<float>(depthScale.Depth(code) * length(c, r));
            if (Ids) {
                id[k] = idPlane[nearest];
            }
        }
    }
};

void WriteJsonFile(const std::string& path, const OrvoDocument& document, int width, int height,
                   const std::vector<std::size_t>* counts) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        throw FileError(path, std::strerror(errno != 0 ? errno : EIO));
    }
    {
        const DepthScale scale = document.Scale();
        JsonWriter json(file);
        json.BeginObject();
        json.Key("file").String(document.path);
        json.Key("width").Integer(width);
        json.Key("height").Integer(height);
        json.Key("unit").BeginObject();
        json.Key("name").String(UnitName(scale.unitCode));
        json.Key("code").Integer(scale.unitCode);
        json.Key("scale").Number(scale.unitScale);
        json.EndObject();
        json.Key("eyePoint").Vector(document.panorama->eyePoint);
        json.Key("centre").Vector({0, 1, 0});
        json.Key("leftEdge").Vector({0, -1, 0});
        json.Key("topRow").Vector({0, 0, 1});
        json.Key("noObjectPixels");
        if (counts == nullptr) {
            json.Null();
        } else {
            json.Integer(static_cast<std::int64_t>((*counts)[NoObjectId]));
        }
        json.Key("objects");
        WriteObjectTable(json, document,
                         counts != nullptr ? *counts : std::vector<std::size_t>(65536, 0));
        json.EndObject();
        json.Finish();
    }
    const bool failed = std::ferror(file) != 0;
    const int error = errno;
    if (std::fclose(file) != 0 || failed) {
        throw FileError(path, std::strerror(error != 0 ? error : EIO));
    }
}

} // namespace

void CheckPanorama(const OrvoDocument& document) {
    if (!document.panorama) {
        throw FileError(document.path, document.view ? "is a rendered view, not a panorama"
                                                     : "is not a panorama: it has no depth layer");
    }
    if (document.width != 6 * document.height) {
        throw FileError(document.path, "a panorama of " + std::to_string(document.width) + " x " +
                                           std::to_string(document.height) +
                                           " pixels is not six square faces side by side");
    }
}

EquirectRows EquirectTile::Rows() const {
    EquirectRows rows;
    rows.top = top;
    rows.count = count;
    rows.colour = colour.empty() ? nullptr : colour.data();
    rows.distance = distance.data();
    rows.ids = ids.empty() ? nullptr : ids.data();
    return rows;
}

namespace {

// The sines or the cosines of the columns' azimuths. The azimuth turns from +Y towards +X,
// the elevation from the horizon upwards; both through the pixel centres.
std::vector<double> AzimuthTable(int width, bool cosine) {
    std::vector<double> values(width);
    for (int i = 0; i < width; ++i) {
        const double azimuth = 2.0 * Pi * ((i + 0.5) / width - 0.5);
        values[i] = cosine ? std::cos(azimuth) : std::sin(azimuth);
    }
    return values;
}

} // namespace

struct EquirectRemap::Tables {
    Tables(const OrvoDocument& document, int imageWidth)
        : width(imageWidth), height(imageWidth / 2), colour(document.HasColour()),
          ids(document.HasIds()), lengths(document.height),
          pointer(document.height, document.rolls, AzimuthTable(imageWidth, false),
                  AzimuthTable(imageWidth, true)),
          sinElevation(height),
          cosElevation(height), sampler{document.height,
                                        std::size_t(document.width),
                                        colour ? document.colour.data() : nullptr,
                                        document.depth.data(),
                                        ids ? document.ids.data() : nullptr,
                                        document.Scale(),
                                        &lengths} {
        for (int j = 0; j < height; ++j) {
            const double elevation = Pi * (0.5 - (j + 0.5) / height);
            sinElevation[j] = std::sin(elevation);
            cosElevation[j] = std::cos(elevation);
        }
    }
    int width;
    int height;
    bool colour;
    bool ids;
    RayLengths lengths;
    LatLongPointer<double> pointer;
    std::vector<double> sinElevation, cosElevation;
    StripSampler sampler;
};

EquirectRemap::EquirectRemap(const OrvoDocument& document, int width) {
    CheckPanorama(document);
    tables_.reset(new Tables(document, width));
}

EquirectRemap::~EquirectRemap() = default;

int EquirectRemap::Width() const {
    return tables_->width;
}
int EquirectRemap::Height() const {
    return tables_->height;
}
bool EquirectRemap::HasColour() const {
    return tables_->colour;
}
bool EquirectRemap::HasIds() const {
    return tables_->ids;
}

void EquirectRemap::Remap(int top, int count, EquirectTile& tile) const {
    const Tables& t = *tables_;
    const std::size_t pixels = std::size_t(count) * t.width;
    tile.top = top;
    tile.count = count;
    tile.colour.resize(t.colour ? 3 * pixels : 0);
    tile.distance.resize(pixels);
    tile.ids.resize(t.ids ? pixels : 0);
    ForRunsInRows(top, top + count, t.width, [&](int j, int first, int end) {
        StripPlaces places;
        t.pointer.Place(first, end, t.cosElevation[j], t.sinElevation[j], places);
        t.sampler.Sample(places, end - first, std::size_t(j - top) * t.width + first, tile);
    });
}

struct EquirectWriter::Files {
    Files(const OrvoDocument& source, int imageWidth, int imageHeight)
        : document(source), width(imageWidth), height(imageHeight) {}
    const OrvoDocument& document;
    int width;
    int height;
    // Every temporary before the encoders, which close their files first.
    std::unique_ptr<TemporaryOutput> colourFile, distanceFile, idsFile, jsonFile;
    std::unique_ptr<PngRowWriter> colour, ids;
    std::unique_ptr<FloatTiffRowWriter> distance;
    std::vector<std::size_t> counts;
    int written = 0;
};

EquirectWriter::EquirectWriter(const OrvoDocument& document, const EquirectRemap& remap,
                               const std::string& stem)
    : files_(new Files(document, remap.Width(), remap.Height())) {
    Files& f = *files_;
    if (remap.HasColour()) {
        f.colourFile = std::make_unique<TemporaryOutput>(stem + "_colour.png");
    }
    f.distanceFile = std::make_unique<TemporaryOutput>(stem + "_distance.tif");
    if (remap.HasIds()) {
        f.idsFile = std::make_unique<TemporaryOutput>(stem + "_ids.png");
    }
    f.jsonFile = std::make_unique<TemporaryOutput>(stem + ".json");
    if (f.colourFile) {
        f.colour = std::make_unique<PngRowWriter>(f.colourFile->Path(), f.colourFile->Target(),
                                                  PngRowWriter::Rgb8, f.width, f.height);
    }
    f.distance = std::make_unique<FloatTiffRowWriter>(f.distanceFile->Path(),
                                                      f.distanceFile->Target(), f.width, f.height);
    if (f.idsFile) {
        f.ids = std::make_unique<PngRowWriter>(f.idsFile->Path(), f.idsFile->Target(),
                                               PngRowWriter::Grey16, f.width, f.height);
        f.counts.assign(65536, 0);
    }
}

EquirectWriter::~EquirectWriter() = default;

void EquirectWriter::Write(const EquirectRows& rows) {
    Files& f = *files_;
    if (rows.top != f.written || rows.count < 0 || rows.count > f.height - f.written ||
        (f.colour && rows.colour == nullptr) || (f.ids && rows.ids == nullptr)) {
        throw std::logic_error("equirectangular rows out of order or without a layer");
    }
    std::vector<std::function<void()>> tasks;
    if (f.colour) {
        tasks.push_back([&] { f.colour->WriteRows(rows.colour, rows.count); });
    }
    if (f.ids) {
        tasks.push_back([&] {
            f.ids->WriteRows(rows.ids, rows.count);
            AddIdCounts(rows.ids, std::size_t(rows.count) * f.width, f.counts);
        });
    }
    tasks.push_back([&] { f.distance->WriteRows(rows.distance, rows.count); });
    RunTogether(tasks);
    f.written += rows.count;
}

void EquirectWriter::Commit() {
    Files& f = *files_;
    if (f.written != f.height) {
        throw std::logic_error("equirectangular images committed before their last row");
    }
    std::vector<std::function<void()>> tasks;
    if (f.colour) {
        tasks.push_back([&] { f.colour->Finish(); });
    }
    if (f.ids) {
        tasks.push_back([&] { f.ids->Finish(); });
    }
    tasks.push_back([&] { f.distance->Finish(); });
    RunTogether(tasks);
    f.jsonFile->Write([&](const std::string& path) {
        WriteJsonFile(path, f.document, f.width, f.height, f.ids ? &f.counts : nullptr);
    });
    // Every file is whole before any takes its name.
    for (TemporaryOutput* file :
         {f.colourFile.get(), f.distanceFile.get(), f.idsFile.get(), f.jsonFile.get()}) {
        if (file != nullptr) {
            file->Commit();
            std::printf("wrote %s\n", file->Target().c_str());
        }
    }
}

void ExportEquirect(const OrvoDocument& document, int width, const std::string& stem) {
    const EquirectRemap remap(document, width);
    EquirectWriter writer(document, remap, stem);
    const int height = remap.Height();
    EquirectTile tiles[2];
    remap.Remap(0, std::min(height, TileRows), tiles[0]);
    for (int top = 0, t = 0; top < height; top += TileRows, t = 1 - t) {
        const int next = top + TileRows;
        RunTogether({[&] { writer.Write(tiles[t].Rows()); },
                     [&] {
                         if (next < height) {
                             remap.Remap(next, std::min(height - next, TileRows), tiles[1 - t]);
                         }
                     }});
    }
    writer.Commit();
}
