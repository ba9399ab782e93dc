// TIFF bytes assembled by tests from the format's rules, without the library's own writers
// or byte helpers:
//
// - TiffBuilder assembles a classic TIFF byte by byte, in either byte order, with directories,
//   strips and private blocks wherever a test wants them, malformed ones included;
// - the Encode* functions build the format's private blocks from its field list;
// - WriteTiffWithBlocks writes a file through libtiff itself (any compression, either byte
//   order) and appends the private blocks through the handle's own procedures.
#pragma once

#include "test_files.h"

#include "orvo/format.h"

#include <cstdint>
#include <string>
#include <vector>

namespace test {

// Field encoders in a chosen byte order.
struct Order {
    bool bigEndian = false;
    void U16(Bytes& out, std::uint16_t value) const;
    void U32(Bytes& out, std::uint32_t value) const;
    void F64(Bytes& out, double value) const;
};

// TIFF field types.
const std::uint16_t TypeShort = 3;
const std::uint16_t TypeLong = 4;
const std::uint16_t TypeRational = 5;
const std::uint16_t TypeAscii = 2;

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    Bytes value; // already in the file's byte order; stored at an offset when over 4 bytes
};

class TiffBuilder {
public:
    explicit TiffBuilder(bool bigEndian = false);

    const Order& ByteOrder() const { return order_; }
    std::uint32_t Size() const { return static_cast<std::uint32_t>(bytes_.size()); }
    Bytes& Data() { return bytes_; }

    // Appends bytes, then a zero byte when they end at an odd offset; returns their offset.
    std::uint32_t Append(const Bytes& bytes);

    Entry Short(std::uint16_t tag, const std::vector<std::uint16_t>& values) const;
    Entry Long(std::uint16_t tag, const std::vector<std::uint32_t>& values) const;
    Entry Rational(std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator) const;
    // The text and its NUL, which the count includes.
    Entry Ascii(std::uint16_t tag, const std::string& text) const;

    // Appends the values of an entry that do not fit in it now, as Append does, and returns
    // the entry pointing at them; for files whose values lie in an order of their own rather
    // than right before their directory. An entry whose values fit is returned as it is.
    Entry Place(Entry entry);

    // Appends a directory (entries sorted by tag here), after the values that do not fit in
    // their entries, and links it behind the last one, or from the header for the first.
    // Returns its offset.
    std::uint32_t AddDirectory(std::vector<Entry> entries);

    // Overwrites a u32 in place, e.g. a directory's next link.
    void PatchU32(std::uint32_t offset, std::uint32_t value);
    // Overwrites the inline value of a LONG entry of the directory at directoryOffset.
    void PatchEntry(std::uint32_t directoryOffset, std::uint16_t tag, std::uint32_t value);
    // Offset of the next-directory link of the directory at offset.
    std::uint32_t NextLinkOf(std::uint32_t directoryOffset) const;

    void Write(const std::string& path) const { WriteFileBytes(path, bytes_); }

private:
    Order order_;
    Bytes bytes_;
    std::uint32_t lastLink_ = 4; // where the next directory's offset goes
};

// One image directory of a layer: strips of one row each, appended as given, and the
// directory's entries. rows holds height rows of raw sample bytes in the file's byte order.
struct LayerSpec {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint16_t> bitsPerSample; // empty: no BitsPerSample entry
    std::uint16_t samplesPerPixel = 1;
    std::vector<Bytes> rows;
    bool hasSubfileData = true;
    std::uint32_t subfileData = 0;
    std::vector<Entry> extra; // each replaces the default entry of its tag
};
std::uint32_t AddLayer(TiffBuilder& builder, const LayerSpec& layer);

// The format's private blocks, from its field list.
Bytes EncodeLayerHeader(const Order& order, std::uint32_t kind, std::uint16_t minor = 0);
// The header and the 204-byte body: reserved u32, projection, 24 doubles, unitCode.
Bytes EncodePerspectiveBlock(const Order& order, const PerspectiveView& view);
// The header and the panorama body: reserved u32, projection, 16 doubles, unitCode.
Bytes EncodePanoramaBlock(const Order& order, const PanoramaView& view);
Bytes EncodeObjectTableBlock(const Order& order, std::uint32_t count, std::uint32_t head,
                             std::uint16_t minor = 0);
// previous, id, red, green, blue, the name bytes and a NUL (left out when withNul is false).
Bytes EncodeObjectRecord(const Order& order, std::uint32_t previous, std::uint16_t id,
                         std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                         const std::string& name, bool withNul = true);

// A view record with a different value in every field, so that a field out of place shows.
PerspectiveView SampleView();

// A whole file through libtiff: one directory per layer, one row per strip, written with
// TIFFWriteEncodedStrip; each layer's private block is appended at the end of the file just
// before its directory is written, and QuorvaneSubfileData points to it.
struct TestObject {
    std::uint16_t id;
    std::uint8_t red, green, blue;
    std::string name;
};
struct LibtiffLayer {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::uint16_t bitsPerSample = 8;
    std::uint16_t samplesPerPixel = 1;
    std::uint16_t compression = 1;
    std::vector<Bytes> rows; // samples in the host's byte order, as libtiff takes them
    Bytes block;             // the private block, unless objectTable is set
    // An object-id layer: the records are appended oldest first, linked, and followed by an
    // object-id header with their count and the newest one's offset.
    bool objectTable = false;
    std::vector<TestObject> objects;
};
// The colour (3 x 8 bits), depth (32 bits) and object-id (idBits) layers of an Orvo file, each
// width x height with the given compression, their blocks in the byte order of file and the
// objects in the table; the caller adds the rows.
std::vector<LibtiffLayer> OrvoLayers(const Order& file, std::uint32_t width, std::uint32_t height,
                                     std::uint16_t compression, std::uint16_t idBits,
                                     const std::vector<TestObject>& objects);
// Writes the layers and returns where each block landed. mode is "w" or "wb" (big-endian).
std::vector<std::uint32_t> WriteTiffWithBlocks(const std::string& path, const char* mode,
                                               const std::vector<LibtiffLayer>& layers);

} // namespace test
