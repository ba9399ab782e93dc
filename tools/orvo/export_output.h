// Encoders of the exports' image files and JSON tables, and the remap's shares of work among
// the processors.
#pragma once

#include "json_writer.h"
#include "orvo_document.h"

#include "orvo/panorama.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// A PNG file written a band of rows at a time: 8-bit RGB (3 samples a pixel) or 16-bit
// grey (1 sample a pixel, in the host's byte order). Failures throw FileError naming name.
class PngRowWriter {
public:
    enum Kind { Rgb8, Grey16 };
    // Creates the file at path and writes its header.
    PngRowWriter(const std::string& path, std::string name, Kind kind, int width, int height);
    PngRowWriter(const PngRowWriter&) = delete;
    PngRowWriter& operator=(const PngRowWriter&) = delete;
    ~PngRowWriter();
    // The next count rows, one after the other in memory.
    void WriteRows(const void* rows, int count);
    // Ends the file once every row is written, and closes it.
    void Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// A TIFF file of one 32-bit floating-point sample a pixel, Deflate-compressed, written a
// band of rows at a time. Failures throw FileError naming name.
class FloatTiffRowWriter {
public:
    FloatTiffRowWriter(const std::string& path, std::string name, int width, int height);
    FloatTiffRowWriter(const FloatTiffRowWriter&) = delete;
    FloatTiffRowWriter& operator=(const FloatTiffRowWriter&) = delete;
    ~FloatTiffRowWriter();
    void WriteRows(const float* rows, int count);
    void Finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// How many pixels each id has.
template <typename Ids> std::vector<std::size_t> CountIds(const Ids& ids) {
    std::vector<std::size_t> counts(65536, 0);
    for (const auto id : ids) {
        ++counts[id & 0xFFFF];
    }
    return counts;
}
// Adds the ids' pixels to counts, which has 65536 of them.
inline void AddIdCounts(const std::uint16_t* ids, std::size_t count,
                        std::vector<std::size_t>& counts) {
    for (std::size_t i = 0; i < count; ++i) {
        ++counts[ids[i]];
    }
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

// Runs each task on a thread of its own, the last on the calling one, and returns when all
// are done. The first task's exception, in their order, is thrown again here.
void RunTogether(const std::vector<std::function<void()>>& tasks);

// Calls run(row, first, end) for runs of the columns [first, end) of every row of a rows x
// columns image, no run longer than RunLength, on a thread a processor as ForRowBands does,
// tile by tile: an output row runs along a curve through the faces, and output pixels near
// each other, taken together, read face pixels that are still in the cache. Tiles as tall as
// this were the fastest on faces of 2730 pixels, by a fifth against 16 rows; a run's 64
// pixels keep its places in the first-level cache.
const int RunLength = 64;
const int TileRows = 128;
template <typename Run> void ForRunsInTiles(int rows, int columns, const Run& run) {
    ForRowBands(rows, [&](int first, int end) {
        for (int top = first; top < end; top += TileRows) {
            const int bottom = std::min(end, top + TileRows);
            for (int left = 0; left < columns; left += RunLength) {
                const int right = std::min(columns, left + RunLength);
                for (int row = top; row < bottom; ++row) {
                    run(row, left, right);
                }
            }
        }
    });
}

// The same runs for the rows [top, bottom) of an image alone, tile by tile as above, each
// tile's columns shared out among the threads instead of the rows, so that a thread's runs
// go down tiles as tall as ForRunsInTiles's.
template <typename Run> void ForRunsInRows(int top, int bottom, int columns, const Run& run) {
    const int runs = (columns + RunLength - 1) / RunLength;
    for (int tileTop = top; tileTop < bottom; tileTop += TileRows) {
        const int tileBottom = std::min(bottom, tileTop + TileRows);
        ForRowBands(runs, [&](int firstRun, int endRun) {
            for (int left = firstRun * RunLength; left < endRun * RunLength; left += RunLength) {
                const int right = std::min(columns, left + RunLength);
                for (int row = tileTop; row < tileBottom; ++row) {
                    run(row, left, right);
                }
            }
        });
    }
}

// Where a run of output pixels meets the strip, as PanoramaPointOf gives it for each: worked
// out for the whole run before any face pixel is read, so that the sampling loop after it is
// short and its reads of face pixels do not wait on the geometry.
struct StripPlaces {
    int slot[RunLength];
    double column[RunLength];
    double row[RunLength];
};

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

// PanoramaPointOf for the pixels of a latitude-longitude picture, whose direction at column i
// of a row is (east[i] c, north[i] c, z): the column's horizontal unit vector scaled by the
// row's cosine of the elevation c, and the row's sine of it z, each product taken in Real and
// then widened, as the picture's own direction function takes them. A column looks at one
// side face wherever it looks at a side face at all, so that face is settled once a column;
// what is left a pixel is choosing between it and the up or the down face and two divisions,
// with PanoramaPointOf's order and tie-break: the same point to the last bit, as FacePointer.
template <typename Real> class LatLongPointer {
public:
    LatLongPointer(int faceSize, const FaceRolls& rolls, const std::vector<Real>& east,
                   const std::vector<Real>& north)
        : faceSize_(faceSize), rolls_(rolls), east_(east), north_(north) {
        SlotCamera cameras[PanoramaSlotCount];
        for (int slot = 0; slot < PanoramaSlotCount; ++slot) {
            cameras[slot] = PanoramaSlotCamera(slot, rolls);
        }
        // The side faces look, and their columns grow, along the horizon; their rows against
        // the vertical. The up and the down face look along the vertical.
        for (int slot = 0; slot < 4; ++slot) {
            const SlotCamera& c = cameras[slot];
            exact_ = exact_ && c.forward.z == 0 && c.right.z == 0 && c.up.x == 0 && c.up.y == 0;
        }
        for (int slot = PanoramaSlotUp; slot <= PanoramaSlotDown; ++slot) {
            const SlotCamera& c = cameras[slot];
            exact_ =
                exact_ && c.forward.x == 0 && c.forward.y == 0 && c.right.z == 0 && c.up.z == 0;
        }
        const SlotCamera& up = cameras[PanoramaSlotUp];
        const SlotCamera& down = cameras[PanoramaSlotDown];
        upAlong_ = Real(up.forward.z);
        downAlong_ = Real(down.forward.z);
        const std::size_t columns = east.size();
        sideSlot_.resize(columns);
        for (auto* table :
             {&sideAlong_, &sideRight_, &sideUp_, &upRight_, &upUp_, &downRight_, &downUp_}) {
            table->resize(columns);
        }
        for (std::size_t i = 0; i < columns; ++i) {
            // Each coefficient is 0 or 1 with its sign, so every product and sum below is
            // exact: the sign of one component, as the dot products of PanoramaPointOf give.
            const auto horizontal = [&](const Vector3& axis) {
                return Real(axis.x) * east[i] + Real(axis.y) * north[i];
            };
            int best = 0;
            for (int slot = 1; slot < 4; ++slot) {
                if (horizontal(cameras[slot].forward) > horizontal(cameras[best].forward)) {
                    best = slot;
                }
            }
            // The products with a positive cosine keep this order unless two components
            // lie within a rounding of each other, which no column of a picture has; a
            // table that had one would give way to PanoramaPointOf.
            for (int slot = 0; slot < 4; ++slot) {
                const Real other = horizontal(cameras[slot].forward);
                exact_ = exact_ && (slot == best ||
                                    other < horizontal(cameras[best].forward) * (1 - Real(1e-6)));
            }
            sideSlot_[i] = best;
            sideAlong_[i] = horizontal(cameras[best].forward);
            sideRight_[i] = horizontal(cameras[best].right);
            sideUp_[i] = Real(cameras[best].up.z);
            upRight_[i] = horizontal(up.right);
            upUp_[i] = horizontal(up.up);
            downRight_[i] = horizontal(down.right);
            downUp_[i] = horizontal(down.up);
        }
    }

    // The points of columns [first, end) of a row, at most RunLength of them.
    void Place(int first, int end, Real c, Real z, StripPlaces& places) const {
        // Only where the cosine is positive does the order of a column's horizontal
        // components hold for the direction's; it is not at the poles of a picture whose
        // latitudes were rounded to float.
        if (!exact_ || !(c > 0)) {
            for (int i = first; i < end; ++i) {
                const Vector3 direction = {double(east_[i] * c), double(north_[i] * c), double(z)};
                const PanoramaPoint point = PanoramaPointOf(direction, faceSize_, rolls_);
                places.slot[i - first] = point.slot;
                places.column[i - first] = point.column;
                places.row[i - first] = point.row;
            }
            return;
        }
        const double last = faceSize_ - 1;
        const double upAlong = double(upAlong_ * z);
        const double downAlong = double(downAlong_ * z);
        for (int i = first; i < end; ++i) {
            // The side face, then the up and the down face, each taking over from the best
            // so far only when it looks along the direction strictly more.
            double along = double(sideAlong_[i] * c);
            double right = double(sideRight_[i] * c);
            double up = double(sideUp_[i] * z);
            int slot = sideSlot_[i];
            if (upAlong > along) {
                along = upAlong;
                right = double(upRight_[i] * c);
                up = double(upUp_[i] * c);
                slot = PanoramaSlotUp;
            }
            if (downAlong > along) {
                along = downAlong;
                right = double(downRight_[i] * c);
                up = double(downUp_[i] * c);
                slot = PanoramaSlotDown;
            }
            const double x = right / along;
            const double y = up / along;
            places.column[i - first] = std::min(last, std::max(0.0, (x + 1.0) * 0.5 * last));
            places.row[i - first] = std::min(last, std::max(0.0, (1.0 - y) * 0.5 * last));
            places.slot[i - first] = slot;
        }
    }

private:
    int faceSize_;
    FaceRolls rolls_;
    std::vector<Real> east_, north_;
    bool exact_ = true;
    Real upAlong_, downAlong_;
    // Per column: the side face and its camera's components, and those of the up and the
    // down face's right and up axes.
    std::vector<int> sideSlot_;
    std::vector<Real> sideAlong_, sideRight_, sideUp_, upRight_, upUp_, downRight_, downUp_;
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
