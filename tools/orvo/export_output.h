// Encoders of the exports' image files and JSON tables: each writes a whole file from an
// image in memory, or throws FileError naming the file.
#pragma once

#include "json_writer.h"
#include "orvo_document.h"

#include "orvo/panorama.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// 8-bit RGB (3 samples a pixel) or 16-bit grey (1 sample a pixel) PNG files.
void EncodeRgbPng(const std::string& path, int width, int height, const unsigned char* rgb);
void EncodeGrey16Png(const std::string& path, int width, int height, const std::uint16_t* grey);
// A TIFF file of one 32-bit floating-point sample a pixel, Deflate-compressed.
void EncodeFloatTiff(const std::string& path, int width, int height, const float* samples);

// How many pixels each id has.
template <typename Id> std::vector<std::size_t> CountIds(const std::vector<Id>& ids) {
    std::vector<std::size_t> counts(65536, 0);
    for (const Id id : ids) {
        ++counts[id & 0xFFFF];
    }
    return counts;
}

// The object table as a JSON array: every object of the file's table (the newest record of
// an id) with its pixel count, then the ids in use that the table lacks, with null name and
// colour; sorted by id. Id 0, no object, is left out.
void WriteObjectTable(JsonWriter& json, const OrvoDocument& document,
                      const std::vector<std::size_t>& counts);
// The same table as a JSON text.
std::string ObjectTableText(const OrvoDocument& document, const std::vector<std::size_t>& counts);

// Calls work(first, end) on bands of the rows [0, rows) that together cover them, each band
// on a thread of its own, one a processor; returns when all are done. An exception of any
// band is thrown again here.
void ForRowBands(int rows, const std::function<void(int first, int end)>& work);

// Calls pixel(row, column) for every pixel of a rows x columns image, on a thread a
// processor as ForRowBands does, tile by tile: an output row runs along a curve through the
// faces, and output pixels near each other, taken together, read face pixels that are still
// in the cache.
template <typename Pixel> void ForPixelsInTiles(int rows, int columns, const Pixel& pixel) {
    const int tileRows = 16;
    const int tileColumns = 64;
    ForRowBands(rows, [&](int first, int end) {
        for (int top = first; top < end; top += tileRows) {
            const int bottom = std::min(end, top + tileRows);
            for (int left = 0; left < columns; left += tileColumns) {
                const int right = std::min(columns, left + tileColumns);
                for (int row = top; row < bottom; ++row) {
                    for (int column = left; column < right; ++column) {
                        pixel(row, column);
                    }
                }
            }
        }
    });
}

// PanoramaPointOf for many directions of one panorama. Every slot camera's axes are axes of
// the world, so each dot product of PanoramaPointOf is one component of the direction, with
// its sign: this takes those components straight, in PanoramaPointOf's order and with its
// tie-break (the first slot in strip order wins), and gives the same point to the last bit at
// a fraction of the work, which matters at one call an output pixel.
class FacePointer {
public:
    FacePointer(int faceSize, const FaceRolls& rolls) : faceSize_(faceSize), rolls_(rolls) {
        for (int slot = 0; slot < PanoramaSlotCount; ++slot) {
            const SlotCamera camera = PanoramaSlotCamera(slot, rolls);
            axisAligned_ = Axis(camera.forward, forward_[slot]) &&
                           Axis(camera.right, right_[slot]) && Axis(camera.up, up_[slot]) &&
                           axisAligned_;
        }
    }

    PanoramaPoint operator()(const Vector3& direction) const {
        if (!axisAligned_) {
            return PanoramaPointOf(direction, faceSize_, rolls_);
        }
        const double d[3] = {direction.x, direction.y, direction.z};
        int best = 0;
        double bestAlong = forward_[0].Of(d);
        for (int slot = 1; slot < PanoramaSlotCount; ++slot) {
            const double along = forward_[slot].Of(d);
            if (along > bestAlong) {
                best = slot;
                bestAlong = along;
            }
        }
        const double x = right_[best].Of(d) / bestAlong;
        const double y = up_[best].Of(d) / bestAlong;
        const double last = faceSize_ - 1;
        const double column = std::min(last, std::max(0.0, (x + 1.0) * 0.5 * last));
        const double row = std::min(last, std::max(0.0, (1.0 - y) * 0.5 * last));
        return {best, column, row};
    }

private:
    // A world axis with its sign: the dot product with it is that component.
    struct SignedAxis {
        int component = 0;
        bool negative = false;
        double Of(const double* d) const { return negative ? -d[component] : d[component]; }
    };
    static bool Axis(const Vector3& v, SignedAxis& axis) {
        const double c[3] = {v.x, v.y, v.z};
        int found = 0;
        for (int k = 0; k < 3; ++k) {
            if (c[k] == 1.0 || c[k] == -1.0) {
                axis = {k, c[k] < 0};
                ++found;
            } else if (c[k] != 0.0) {
                return false;
            }
        }
        return found == 1;
    }

    int faceSize_;
    FaceRolls rolls_;
    bool axisAligned_ = true;
    SignedAxis forward_[PanoramaSlotCount], right_[PanoramaSlotCount], up_[PanoramaSlotCount];
};

// The face pixel nearest to a position within a face: its column and row in the face and
// its index in the strip of 6 faceSize x faceSize pixels.
struct NearestPixel {
    int column;
    int row;
    std::size_t index;
};
inline NearestPixel NearestFacePixel(int faceSize, int slot, double column, double row) {
    const int c = static_cast<int>(column + 0.5);
    const int r = static_cast<int>(row + 0.5);
    return {c, r, std::size_t(r) * std::size_t(6 * faceSize) + std::size_t(slot) * faceSize + c};
}

// The length of a face pixel's direction as PanoramaPixelDirection gives it, which the
// distance along the ray is the depth times: every slot's axes are unit and perpendicular,
// so it is sqrt(1 + x^2 + y^2) of the pixel's offsets x and y on the face.
class RayLengths {
public:
    explicit RayLengths(int faceSize) : squares_(faceSize) {
        for (int i = 0; i < faceSize; ++i) {
            const double offset = faceSize > 1 ? -1.0 + 2.0 * i / (faceSize - 1) : 0.0;
            squares_[i] = offset * offset;
        }
    }
    double operator()(int column, int row) const {
        return std::sqrt(squares_[column] + 1.0 + squares_[row]);
    }

private:
    std::vector<double> squares_;
};
