// orvo export: a file's layers in the formats other programs read. Each export is two steps,
// so that the benchmark can time them apart: the remapping into images or bands of rows held
// in memory, and the encoding of those into files.
#pragma once

#include "orvo_document.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

// An output file written under a temporary name beside its target and renamed onto it only
// when Commit is called; otherwise the destructor removes it, so that a failed export leaves
// no partial file.
class TemporaryOutput {
public:
    explicit TemporaryOutput(std::string target);
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;
    ~TemporaryOutput();
    const std::string& Path() const { return temporary_; }
    const std::string& Target() const { return target_; }
    // Calls write with the temporary's name; a FileError it throws is thrown again naming
    // the target.
    void Write(const std::function<void(const std::string& path)>& write);
    // Renames the temporary onto the target; throws FileError naming the target.
    void Commit();

private:
    std::string target_;
    std::string temporary_;
    bool committed_ = false;
};

// An allocator whose new elements are left as they come: the remapping writes every pixel of
// its images, which would otherwise be zeroed first, in a pass over memory as large as them.
template <typename T> struct UninitialisedAllocator : std::allocator<T> {
    template <typename U> struct rebind { using other = UninitialisedAllocator<U>; };
    UninitialisedAllocator() = default;
    template <typename U> UninitialisedAllocator(const UninitialisedAllocator<U>&) noexcept {}
    template <typename U> void construct(U* p) noexcept { ::new (static_cast<void*>(p)) U; }
    template <typename U, typename... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};
// The pixels of an output image, row after row from the top.
template <typename T> using Pixels = std::vector<T, UninitialisedAllocator<T>>;

// Throws FileError when the document is no panorama of six square faces.
void CheckPanorama(const OrvoDocument& document);

// Rows [top, top + count) of the equirectangular images, each layer's pixels row after row
// from the first of them; null for a layer the file lacks.
struct EquirectRows {
    int top = 0;
    int count = 0;
    const unsigned char* colour = nullptr; // R, G, B a pixel
    const float* distance = nullptr;       // NaN where nothing was hit
    const std::uint16_t* ids = nullptr;
};

// Rows of the equirectangular images in memory that is kept from one band of rows to the
// next, so that the pages are provided once.
struct EquirectTile {
    int top = 0;
    int count = 0;
    Pixels<unsigned char> colour;
    Pixels<float> distance;
    Pixels<std::uint16_t> ids;
    EquirectRows Rows() const;
};

// The panorama as equirectangular images: colour interpolated, distance and ids from the
// nearest face pixel.
class EquirectRemap {
public:
    // Throws FileError when the document is no panorama; width must be even and at least
    // 2, and the height is half of it.
    EquirectRemap(const OrvoDocument& document, int width);
    EquirectRemap(const EquirectRemap&) = delete;
    EquirectRemap& operator=(const EquirectRemap&) = delete;
    ~EquirectRemap();
    int Width() const;
    int Height() const;
    bool HasColour() const;
    bool HasIds() const;
    // Remaps the rows [top, top + count) into the tile, whose memory grows as needed, on a
    // thread a processor.
    void Remap(int top, int count, EquirectTile& tile) const;

private:
    struct Tables;
    std::unique_ptr<const Tables> tables_;
};

// Writes STEM_colour.png, STEM_distance.tif, STEM_ids.png and STEM.json (those of the
// layers the remap has) from rows handed over in order, all or none of them: each under a
// temporary name, renamed in Commit. The JSON's pixel counts are taken as the rows pass.
class EquirectWriter {
public:
    // Makes every temporary before any is written, so that a target that cannot be written
    // fails the export before any work.
    EquirectWriter(const OrvoDocument& document, const EquirectRemap& remap,
                   const std::string& stem);
    EquirectWriter(const EquirectWriter&) = delete;
    EquirectWriter& operator=(const EquirectWriter&) = delete;
    ~EquirectWriter();
    // Encodes the rows that follow those written so far into each image at once, a thread
    // an image.
    void Write(const EquirectRows& rows);
    // Ends the images, writes the JSON table and gives every file its name. Prints the names.
    void Commit();

private:
    struct Files;
    std::unique_ptr<Files> files_;
};

// The whole equirectangular export: each band of rows is encoded while the next is
// remapped, so that the images are never whole in memory.
void ExportEquirect(const OrvoDocument& document, int width, const std::string& stem);

enum class ExrLayout { LatLong, Cube };

// The channels of the EXR image, row after row from the top, and what they mean.
struct ExrImage {
    int width = 0;
    int height = 0;
    bool environment = false; // an environment map, else a rendered view
    ExrLayout layout = ExrLayout::LatLong;
    Pixels<std::uint16_t> red, green, blue; // half floats; empty without colour
    Pixels<float> z;                        // +infinity where nothing was hit
    Pixels<std::uint32_t> ids;              // empty without an object-id layer
};

ExrImage RemapExr(const OrvoDocument& document, ExrLayout layout);
// Writes the image with its header attributes to path, whole or not at all.
void WriteExr(const OrvoDocument& document, const ExrImage& image, const std::string& path);
