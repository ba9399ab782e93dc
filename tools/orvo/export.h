// orvo export: a file's layers in the formats other programs read. Each export is two steps,
// so that the benchmark can time them apart: the remapping into images held in memory, and
// the encoding of those images into files.
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

// The panorama as an equirectangular image pair: colour interpolated, distance and ids from
// the nearest face pixel. Row after row from the top.
struct EquirectImages {
    int width = 0;
    int height = 0;
    Pixels<unsigned char> colour; // R, G, B a pixel; empty without a colour layer
    Pixels<float> distance;       // NaN where nothing was hit
    Pixels<std::uint16_t> ids;    // empty without an object-id layer
};

// Throws FileError when the document is no panorama of six square faces.
void CheckPanorama(const OrvoDocument& document);
// width must be even and at least 2; the height is half of it.
EquirectImages RemapEquirect(const OrvoDocument& document, int width);
// Writes STEM_colour.png, STEM_distance.tif, STEM_ids.png and STEM.json (those the images
// have), all or none of them. Prints the names written.
void WriteEquirect(const OrvoDocument& document, const EquirectImages& images,
                   const std::string& stem);

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
