// orvo export equirect: a panorama as the equirectangular images that panorama viewers and
// data pipelines read.
#include "export.h"
#include "export_output.h"
#include "json_writer.h"

#include "orvo/panorama.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>

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

    void Sample(const StripPlaces& places, int count, std::size_t out,
                EquirectImages& images) const {
        if (colour != nullptr) {
            ids != nullptr ? Run<true, true>(places, count, out, images)
                           : Run<true, false>(places, count, out, images);
        } else {
            ids != nullptr ? Run<false, true>(places, count, out, images)
                           : Run<false, false>(places, count, out, images);
        }
    }

    template <bool Colour, bool Ids>
    void Run(const StripPlaces& places, int count, std::size_t out, EquirectImages& images) const {
        // Locals, as the stores of bytes below could otherwise change them for all that the
        // compiler knows, which would read them again at every pixel.
        const int n = faceSize;
        const std::size_t strideOf = stride;
        const unsigned char* const plane = colour;
        const std::uint32_t* const codes = depth;
        const std::uint16_t* const idPlane = ids;
        const DepthScale depthScale = scale;
        const RayLengths& length = *lengths;
        unsigned char* const rgb = Colour ? &images.colour[3 * out] : nullptr;
        float* const distance = &images.distance[out];
        std::uint16_t* const id = Ids ? &images.ids[out] : nullptr;
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

void WriteJsonFile(const std::string& path, const OrvoDocument& document,
                   const EquirectImages& images, const std::vector<std::size_t>& counts) {
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
        json.Key("width").Integer(images.width);
        json.Key("height").Integer(images.height);
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
        if (images.ids.empty()) {
            json.Null();
        } else {
            json.Integer(static_cast<std::int64_t>(counts[NoObjectId]));
        }
        json.Key("objects");
        WriteObjectTable(json, document, counts);
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

EquirectImages RemapEquirect(const OrvoDocument& document, int width) {
    CheckPanorama(document);
    EquirectImages images;
    images.width = width;
    images.height = width / 2;
    const int n = document.height;
    const std::size_t count = std::size_t(images.width) * images.height;
    // The azimuth turns from +Y towards +X, the elevation from the horizon upwards; both
    // through the pixel centres.
    std::vector<double> sinAzimuth(width), cosAzimuth(width);
    for (int i = 0; i < width; ++i) {
        const double azimuth = 2.0 * Pi * ((i + 0.5) / width - 0.5);
        sinAzimuth[i] = std::sin(azimuth);
        cosAzimuth[i] = std::cos(azimuth);
    }
    if (document.HasColour()) {
        images.colour.resize(3 * count);
    }
    images.distance.resize(count);
    if (document.HasIds()) {
        images.ids.resize(count);
    }
    const RayLengths lengths(n);
    const StripSampler sampler = {n,
                                  std::size_t(document.width),
                                  images.colour.empty() ? nullptr : document.colour.data(),
                                  document.depth.data(),
                                  images.ids.empty() ? nullptr : document.ids.data(),
                                  document.Scale(),
                                  &lengths};
    const LatLongPointer<double> pointer(n, document.rolls, sinAzimuth, cosAzimuth);
    std::vector<double> sinElevation(images.height), cosElevation(images.height);
    for (int j = 0; j < images.height; ++j) {
        const double elevation = Pi * (0.5 - (j + 0.5) / images.height);
        sinElevation[j] = std::sin(elevation);
        cosElevation[j] = std::cos(elevation);
    }
    ForRunsInTiles(images.height, width, [&](int j, int first, int end) {
        StripPlaces places;
        pointer.Place(first, end, cosElevation[j], sinElevation[j], places);
        sampler.Sample(places, end - first, std::size_t(j) * width + first, images);
    });
    return images;
}

void WriteEquirect(const OrvoDocument& document, const EquirectImages& images,
                   const std::string& stem) {
    // Every temporary is made before any is written, so that a target that cannot be
    // written fails the export before any work.
    std::vector<std::unique_ptr<TemporaryOutput>> outputs;
    const struct {
        const char* suffix;
        bool wanted;
    } planned[] = {{"_colour.png", !images.colour.empty()},
                   {"_distance.tif", true},
                   {"_ids.png", !images.ids.empty()},
                   {".json", true}};
    for (const auto& output : planned) {
        outputs.push_back(output.wanted ? std::make_unique<TemporaryOutput>(stem + output.suffix)
                                        : nullptr);
    }
    const auto write = [&outputs](int index,
                                  const std::function<void(const std::string&)>& encode) {
        if (outputs[index]) {
            outputs[index]->Write(encode);
        }
    };
    const int w = images.width;
    const int h = images.height;
    write(0, [&](const std::string& path) { EncodeRgbPng(path, w, h, images.colour.data()); });
    write(1, [&](const std::string& path) { EncodeFloatTiff(path, w, h, images.distance.data()); });
    write(2, [&](const std::string& path) { EncodeGrey16Png(path, w, h, images.ids.data()); });
    write(3, [&](const std::string& path) {
        WriteJsonFile(path, document, images, CountIds(images.ids));
    });
    // Every file is whole before any takes its name.
    for (const auto& file : outputs) {
        if (!file) {
            continue;
        }
        file->Commit();
        std::printf("wrote %s\n", file->Target().c_str());
    }
}
