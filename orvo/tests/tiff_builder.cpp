#include "tiff_builder.h"

#include "orvo/format.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace test {

void Order::U16(Bytes& out, std::uint16_t value) const {
    const unsigned char low = static_cast<unsigned char>(value & 0xFF);
    const unsigned char high = static_cast<unsigned char>(value >> 8);
    if (bigEndian) {
        out.insert(out.end(), {high, low});
    } else {
        out.insert(out.end(), {low, high});
    }
}

void Order::U32(Bytes& out, std::uint32_t value) const {
    if (bigEndian) {
        U16(out, static_cast<std::uint16_t>(value >> 16));
        U16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    } else {
        U16(out, static_cast<std::uint16_t>(value & 0xFFFF));
        U16(out, static_cast<std::uint16_t>(value >> 16));
    }
}

void Order::F64(Bytes& out, double value) const {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const auto high = static_cast<std::uint32_t>(bits >> 32);
    const auto low = static_cast<std::uint32_t>(bits & 0xFFFFFFFFu);
    U32(out, bigEndian ? high : low);
    U32(out, bigEndian ? low : high);
}

TiffBuilder::TiffBuilder(bool bigEndian) {
    order_.bigEndian = bigEndian;
    const unsigned char mark = bigEndian ? 'M' : 'I';
    bytes_ = {mark, mark};
    order_.U16(bytes_, 42);
    order_.U32(bytes_, 0);
}

std::uint32_t TiffBuilder::Append(const Bytes& bytes) {
    const std::uint32_t offset = Size();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    if (bytes_.size() % 2 != 0) {
        bytes_.push_back(0);
    }
    return offset;
}

Entry TiffBuilder::Short(std::uint16_t tag, const std::vector<std::uint16_t>& values) const {
    Entry entry{tag, TypeShort, static_cast<std::uint32_t>(values.size()), {}};
    for (std::uint16_t value : values) {
        order_.U16(entry.value, value);
    }
    return entry;
}

Entry TiffBuilder::Long(std::uint16_t tag, const std::vector<std::uint32_t>& values) const {
    Entry entry{tag, TypeLong, static_cast<std::uint32_t>(values.size()), {}};
    for (std::uint32_t value : values) {
        order_.U32(entry.value, value);
    }
    return entry;
}

Entry TiffBuilder::Rational(std::uint16_t tag, std::uint32_t numerator,
                            std::uint32_t denominator) const {
    Entry entry{tag, TypeRational, 1, {}};
    order_.U32(entry.value, numerator);
    order_.U32(entry.value, denominator);
    return entry;
}

Entry TiffBuilder::Ascii(std::uint16_t tag, const std::string& text) const {
    Entry entry{tag, TypeAscii, static_cast<std::uint32_t>(text.size() + 1), {}};
    entry.value.assign(text.begin(), text.end());
    entry.value.push_back(0);
    return entry;
}

Entry TiffBuilder::Place(Entry entry) {
    if (entry.value.size() > 4) {
        const std::uint32_t at = Append(entry.value);
        entry.value.clear();
        order_.U32(entry.value, at);
    }
    return entry;
}

std::uint32_t TiffBuilder::AddDirectory(std::vector<Entry> entries) {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
    // Values over four bytes go first, so the directory can be written in one piece.
    for (Entry& entry : entries) {
        entry = Place(entry);
    }
    Bytes directory;
    order_.U16(directory, static_cast<std::uint16_t>(entries.size()));
    for (const Entry& entry : entries) {
        order_.U16(directory, entry.tag);
        order_.U16(directory, entry.type);
        order_.U32(directory, entry.count);
        Bytes value = entry.value;
        value.resize(4, 0);
        directory.insert(directory.end(), value.begin(), value.end());
    }
    order_.U32(directory, 0);
    const std::uint32_t offset = Append(directory);
    PatchU32(lastLink_, offset);
    lastLink_ = NextLinkOf(offset);
    return offset;
}

std::uint32_t TiffBuilder::NextLinkOf(std::uint32_t directoryOffset) const {
    const unsigned char* count = bytes_.data() + directoryOffset;
    const std::uint32_t entries =
        order_.bigEndian ? (count[0] << 8 | count[1]) : (count[1] << 8 | count[0]);
    return directoryOffset + 2 + entries * 12;
}

void TiffBuilder::PatchEntry(std::uint32_t directoryOffset, std::uint16_t tag,
                             std::uint32_t value) {
    for (std::uint32_t at = directoryOffset + 2; at < NextLinkOf(directoryOffset); at += 12) {
        const unsigned char* entry = bytes_.data() + at;
        const std::uint32_t entryTag =
            order_.bigEndian ? (entry[0] << 8 | entry[1]) : (entry[1] << 8 | entry[0]);
        if (entryTag == tag) {
            PatchU32(at + 8, value);
            return;
        }
    }
    throw std::runtime_error("no such entry");
}

void TiffBuilder::PatchU32(std::uint32_t offset, std::uint32_t value) {
    Bytes encoded;
    order_.U32(encoded, value);
    std::copy(encoded.begin(), encoded.end(), bytes_.begin() + offset);
}

std::uint32_t AddLayer(TiffBuilder& builder, const LayerSpec& layer) {
    std::vector<std::uint32_t> offsets;
    std::vector<std::uint32_t> counts;
    for (const Bytes& row : layer.rows) {
        offsets.push_back(builder.Append(row));
        counts.push_back(static_cast<std::uint32_t>(row.size()));
    }
    std::vector<Entry> entries = {
        builder.Long(TIFFTAG_IMAGEWIDTH, {layer.width}),
        builder.Long(TIFFTAG_IMAGELENGTH, {layer.height}),
        builder.Short(TIFFTAG_COMPRESSION, {COMPRESSION_NONE}),
        builder.Short(TIFFTAG_SAMPLESPERPIXEL, {layer.samplesPerPixel}),
        builder.Long(TIFFTAG_ROWSPERSTRIP, {1}),
        builder.Long(TIFFTAG_STRIPOFFSETS, offsets),
        builder.Long(TIFFTAG_STRIPBYTECOUNTS, counts),
    };
    if (layer.samplesPerPixel == 3) {
        entries.push_back(builder.Short(TIFFTAG_PHOTOMETRIC, {PHOTOMETRIC_RGB}));
    }
    if (!layer.bitsPerSample.empty()) {
        entries.push_back(builder.Short(TIFFTAG_BITSPERSAMPLE, layer.bitsPerSample));
    }
    if (layer.hasSubfileData) {
        entries.push_back(builder.Long(TagQuorvaneSubfileData, {layer.subfileData}));
    }
    // An extra entry replaces the default entry of its tag.
    for (const Entry& extra : layer.extra) {
        entries.erase(std::remove_if(entries.begin(), entries.end(),
                                     [&](const Entry& e) { return e.tag == extra.tag; }),
                      entries.end());
        entries.push_back(extra);
    }
    return builder.AddDirectory(entries);
}

Bytes EncodeLayerHeader(const Order& order, std::uint32_t kind, std::uint16_t minor) {
    Bytes out;
    order.U32(out, kind);
    order.U16(out, 1);
    order.U16(out, minor);
    return out;
}

namespace {

void Vector(const Order& order, Bytes& out, const Vector3& v) {
    order.F64(out, v.x);
    order.F64(out, v.y);
    order.F64(out, v.z);
}

} // namespace

Bytes EncodePerspectiveBlock(const Order& order, const PerspectiveView& view) {
    Bytes out = EncodeLayerHeader(order, KindPerspectiveDepth);
    order.U32(out, 0);
    order.U32(out, view.projection);
    for (const Vector3* v : {&view.eyePoint, &view.rightAxis, &view.upAxis, &view.viewDirection,
                             &view.spareAxis, &view.cornerTopLeft, &view.cornerBottomRight}) {
        Vector(order, out, *v);
    }
    order.F64(out, view.nearDepth);
    order.F64(out, view.farDepth);
    order.F64(out, view.unitScale);
    order.U32(out, view.unitCode);
    return out;
}

Bytes EncodePanoramaBlock(const Order& order, const PanoramaView& view) {
    Bytes out = EncodeLayerHeader(order, KindPanoramaDepth);
    order.U32(out, 0);
    order.U32(out, view.projection);
    for (const Vector3* v :
         {&view.eyePoint, &view.upAxis, &view.viewDirection, &view.centrePoint}) {
        Vector(order, out, *v);
    }
    order.F64(out, view.scalar);
    order.F64(out, view.nearDepth);
    order.F64(out, view.farDepth);
    order.F64(out, view.unitScale);
    order.U32(out, view.unitCode);
    return out;
}

Bytes EncodeObjectTableBlock(const Order& order, std::uint32_t count, std::uint32_t head,
                             std::uint16_t minor) {
    Bytes out = EncodeLayerHeader(order, KindObjectId, minor);
    order.U32(out, count);
    order.U32(out, head);
    return out;
}

Bytes EncodeObjectRecord(const Order& order, std::uint32_t previous, std::uint16_t id,
                         std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                         const std::string& name, bool withNul) {
    Bytes out;
    order.U32(out, previous);
    order.U16(out, id);
    out.insert(out.end(), {red, green, blue});
    out.insert(out.end(), name.begin(), name.end());
    if (withNul) {
        out.push_back(0);
    }
    return out;
}

PerspectiveView SampleView() {
    PerspectiveView view;
    InitPerspectiveView(view);
    view.projection = ProjectionPerspective;
    double value = 1.5;
    for (Vector3* vector : {&view.eyePoint, &view.rightAxis, &view.upAxis, &view.viewDirection,
                            &view.spareAxis, &view.cornerTopLeft, &view.cornerBottomRight}) {
        *vector = {value, -value - 0.25, value + 0.5};
        value += 1.0;
    }
    view.nearDepth = 0.125;
    view.farDepth = 1234.5;
    view.unitScale = 2.54;
    view.unitCode = UnitInch;
    return view;
}

namespace {

char testSubfileDataName[] = "QuorvaneSubfileData";

// The test's own definition of the tag, so that files are written without the library's
// registration.
const TIFFFieldInfo testField[] = {{static_cast<ttag_t>(TagQuorvaneSubfileData), 1, 1, TIFF_LONG,
                                    FIELD_CUSTOM, 1, 0, testSubfileDataName}};

std::uint32_t AppendAtEnd(TIFF* tif, const Bytes& bytes) {
    thandle_t handle = TIFFClientdata(tif);
    const toff_t end = TIFFGetSeekProc(tif)(handle, 0, SEEK_END);
    Bytes copy = bytes;
    if (end > 0xFFFFFFFFu || TIFFGetWriteProc(tif)(handle, copy.data(), tmsize_t(copy.size())) !=
                                 tmsize_t(copy.size())) {
        throw std::runtime_error("cannot append a private block");
    }
    return static_cast<std::uint32_t>(end);
}

} // namespace

std::vector<LibtiffLayer> OrvoLayers(const Order& file, std::uint32_t width, std::uint32_t height,
                                     std::uint16_t compression, std::uint16_t idBits,
                                     const std::vector<TestObject>& objects) {
    std::vector<LibtiffLayer> layers(3);
    for (LibtiffLayer& layer : layers) {
        layer.width = width;
        layer.height = height;
        layer.compression = compression;
    }
    layers[0].samplesPerPixel = 3;
    layers[0].block = EncodeLayerHeader(file, KindColour);
    layers[1].bitsPerSample = 32;
    layers[1].block = EncodePerspectiveBlock(file, SampleView());
    layers[2].bitsPerSample = idBits;
    layers[2].objectTable = true;
    layers[2].objects = objects;
    return layers;
}

std::vector<std::uint32_t> WriteTiffWithBlocks(const std::string& path, const char* mode,
                                               const std::vector<LibtiffLayer>& layers) {
    Order order;
    order.bigEndian = std::strchr(mode, 'b') != nullptr;
    TIFF* tif = TIFFOpen(path.c_str(), mode);
    if (tif == nullptr) {
        throw std::runtime_error("cannot create " + path);
    }
    std::vector<std::uint32_t> places;
    for (const LibtiffLayer& layer : layers) {
        TIFFMergeFieldInfo(tif, testField, 1);
        bool ok =
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, layer.width) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, layer.height) &&
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, layer.bitsPerSample) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, layer.samplesPerPixel) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, layer.compression) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC,
                         layer.samplesPerPixel == 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1u);
        std::uint32_t place;
        if (layer.objectTable) {
            std::uint32_t previous = 0;
            for (const TestObject& object : layer.objects) {
                previous =
                    AppendAtEnd(tif, EncodeObjectRecord(order, previous, object.id, object.red,
                                                        object.green, object.blue, object.name));
            }
            place = AppendAtEnd(tif, EncodeObjectTableBlock(
                                         order, std::uint32_t(layer.objects.size()), previous, 1));
        } else {
            place = AppendAtEnd(tif, layer.block);
        }
        places.push_back(place);
        ok = ok && TIFFSetField(tif, TagQuorvaneSubfileData, place);
        for (std::uint32_t row = 0; ok && row < layer.rows.size(); ++row) {
            Bytes copy = layer.rows[row]; // libtiff swaps a big-endian file's samples in place
            ok = TIFFWriteEncodedStrip(tif, row, copy.data(), tmsize_t(copy.size())) >= 0;
        }
        ok = ok && TIFFWriteDirectory(tif);
        if (!ok) {
            TIFFClose(tif);
            throw std::runtime_error("libtiff refused a layer of " + path);
        }
    }
    TIFFClose(tif);
    return places;
}

} // namespace test
