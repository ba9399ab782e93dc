// One walk through an Orvo file's directory chain, opening the file once.
//
// The walker reports what every directory holds (its layer header, size, sample layout, view
// record and object table), reads the layers' planes, and stops at the first thing that keeps
// the file from being read, saying what and where, with libtiff's own message where libtiff
// refused. ReadOrvoFile is a thin function over it; the orvo tool and other inspectors use the
// whole report.
//
// Two ways of walking differ only in what stops the walk:
// - WalkRules::Reader keeps ReadOrvoFile's rules: a directory whose layer header lies outside
//   the file, a view record or object table that cannot be read, panorama depth layers and
//   kinds of later revisions are passed over; only what would leave a plane incomplete or
//   wrong stops the walk.
// - WalkRules::Inspector stops at those too, and also reads a panorama's depth codes, so that
//   a file it accepts is whole in every part an inspector shows.
//
// Limits shared by both: a side of 1..65535 pixels; a compressed layer may not claim more than
// LargestCompressionRatio bytes of samples for every byte of the file; an uncompressed layer's
// strips must all lie inside the file; and every strip must hold bytes (the writers leave the
// strips of rows they never wrote empty, so a frame cut off while being written is refused as
// incomplete).
#pragma once

#include "orvo/format.h"

#include "platform/mapped_file.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

// Decoded bytes a compressed layer may claim for each byte of the file. Deflate cannot pass
// about 1032:1 on any input and real renders stay far below 100:1 even in their emptiest
// layers; a claim beyond this is a damaged header, refused before anything is allocated.
const std::uint64_t LargestCompressionRatio = 256;

// Committed page memory (VirtualAlloc) for one plane, released with VirtualFree when this
// object is destroyed, unless Release handed it over first.
template <typename Sample> class PagePlane {
public:
    PagePlane() = default;
    PagePlane(PagePlane&& other) noexcept : data_(other.data_) { other.data_ = nullptr; }
    PagePlane& operator=(PagePlane&& other) noexcept;
    PagePlane(const PagePlane&) = delete;
    PagePlane& operator=(const PagePlane&) = delete;
    ~PagePlane() { Reset(); }

    // Width x height samples of samplesPerPixel each; false, allocating nothing, when the size
    // does not fit in memory or the memory cannot be had.
    bool Allocate(std::uint32_t width, std::uint32_t height, std::size_t samplesPerPixel);
    Sample* Get() const noexcept { return data_; }
    bool Empty() const noexcept { return data_ == nullptr; }
    // Gives up ownership: the caller releases the memory with VirtualFree.
    Sample* Release() noexcept {
        Sample* data = data_;
        data_ = nullptr;
        return data;
    }
    void Reset() noexcept;

private:
    Sample* data_ = nullptr;
};

enum class WalkRules { Reader, Inspector };

struct WalkOptions {
    WalkRules rules = WalkRules::Reader;
    // Keep TIFFPrintDirectory's text of every directory, Orvo layer or not.
    bool listings = false;
    // Layers (a mask of Layer* bits) whose plane the caller holds already: a directory of such
    // a layer stops the walk as a second one, as ReadOrvoFile's contract asks.
    std::uint32_t layersHeld = 0;
};

// Why a walk stopped. Every value but Complete means the file was not read completely.
enum class WalkStop {
    Complete,            // every directory was read
    CannotOpen,          // the system refused to open or read the file (systemMessage)
    NotRegularFile,      // a pipe, a device or a socket: refused before any byte is read
    Empty,               // the file has no bytes
    NotTiff,             // the first bytes are not a TIFF header
    HeaderCutShort,      // a TIFF signature, but fewer than 8 bytes
    NoDirectory,         // the header links no directory: the writing was cut off before any
    FirstOutside,        // the first directory lies past the end of the file: cut short
    LibraryRefused,      // libtiff refused the first directory (libraryMessage)
    DirectoryUnreadable, // a link past the end of the file or back into the chain
    LinkCutOff,          // the last directory's next-directory link is cut off by the file's end
    NoSize,              // a layer without ImageWidth or ImageLength
    SizeOutOfRange,      // a side of 0 or above 65535
    SizeDiffers,         // a layer of another size than the first
    SecondLayer,         // a second layer of a kind already read
    SampleLayout,        // samples that are not the layer's (3 x 8-bit, 32-bit, 8/16-bit) in rows
    ClaimTooLarge,       // a compressed layer claims more than LargestCompressionRatio allows
    OutOfMemory,         // a plane or the report cannot be allocated
    Incomplete,          // a layer never finished, or a strip never written (stopRow)
    RowUnreadable,       // libtiff could not decode a row (stopRow, libraryMessage)
    // Inspector rules only:
    BigTiff,          // a BigTIFF file, which no writer makes
    NoLayers,         // a TIFF file without any Orvo layer
    HeaderOutside,    // the layer header lies outside the file
    ViewOutside,      // the view record lies outside the file
    TableOutside,     // the object table's count and head lie outside the file
    ObjectsLost,      // the object table lists more records than can be read
    SecondDepthLayer, // a perspective and a panorama depth layer
};

// What the walk found in one directory of the chain.
struct WalkedDirectory {
    int index = 0;                 // position in the chain, from 0
    bool hasLayer = false;         // carries QuorvaneSubfileData
    std::uint32_t layerOffset = 0; // its value: where the layer header lies
    bool headerRead = false;       // the layer header lies inside the file
    LayerHeader header = {0, 0, 0};
    bool hasSize = false; // ImageWidth and ImageLength are both there
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    bool hasBitsPerSample = false;
    std::uint16_t bitsPerSample = 1; // libtiff's defaults where the tags are missing
    std::uint16_t samplesPerPixel = 1;
    std::uint16_t planarConfig = 1;
    std::uint16_t compression = 1;
    bool tiled = false;
    std::uint64_t scanlineBytes = 0;
    // The view record of a depth layer, as far as it could be read.
    bool hasPerspectiveView = false;
    PerspectiveView perspectiveView;
    bool hasPanoramaView = false;
    PanoramaView panoramaView;
    // The object table of an object-id layer: the count and head it states, and how many
    // records the walk could follow.
    bool hasObjectTable = false;
    std::uint32_t objectCount = 0;
    std::uint32_t objectHead = 0;
    std::size_t objectsRead = 0;
    // The layer's plane was read completely.
    bool rowsRead = false;
    std::string listing; // only with WalkOptions::listings
};

struct OrvoWalk {
    std::string path;
    WalkStop stop = WalkStop::Complete;
    int stopDirectory = -1;     // directory the walk stopped in, -1 before the first
    std::uint32_t stopRow = 0;  // row, for Incomplete and RowUnreadable
    std::string libraryMessage; // libtiff's last error before the stop, when it gave one
    std::string systemMessage;  // the system's text, for CannotOpen
    bool bigEndian = false;     // "MM" byte order
    bool bigTiff = false;       // a BigTIFF header
    std::uint64_t fileSize = 0; // in bytes, once the file is open
    platform::FileKind kind = platform::FileKind::Regular; // what the path named, once open

    std::vector<WalkedDirectory> directories; // every directory reached, Orvo layer or not
    // Size of the first layer; 0 before there is one.
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Planes, row after row from the top: R, G, B bytes; depth codes; object ids. The depth
    // plane holds the perspective depth layer, panoramaDepth a panorama's (inspector only).
    PagePlane<unsigned char> colour;
    PagePlane<std::uint32_t> depth;
    PagePlane<std::uint32_t> panoramaDepth;
    PagePlane<std::uint16_t> ids;
    // The perspective view of the first depth layer whose view record could be read.
    bool hasView = false;
    PerspectiveView view;
    bool hasPanorama = false;
    PanoramaView panorama;
    std::deque<ObjectEntry> objects; // newest record first

    bool Complete() const { return stop == WalkStop::Complete; }
    // The number of directories that carry an Orvo layer.
    std::size_t LayerCount() const;
    // One line on why the walk stopped, as the orvo tool reports it ("damaged: directory 1:
    // row 3 of the depth layer is missing: the file was cut off while being written"); empty
    // when it did not.
    std::string Reason() const;
};

// Walks the file at path (narrow, as platform::File opens it). Never throws.
OrvoWalk WalkOrvoFile(const std::string& path, const WalkOptions& options = WalkOptions());
