// ReadOrvoFile on files of the stream writer, on files that libtiff writes in other byte
// orders and compressions, and on files assembled byte by byte: the format's edge cases and
// malformed input of every kind. The plug-in writer's files are read back in its own tests.
#include "orvo/reader.h"
#include "orvo/stream_writer.h"
#include "orvo/walker.h"

#include "platform/kernel32.h"

#include "tiff_builder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>

#include <cerrno>

#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

using test::Bytes;
using test::TestObject;
using test::TiffBuilder;

namespace {

// The pixels every test file carries, so that any row or byte mix-up shows.
std::uint8_t Red(std::uint32_t x, std::uint32_t y) {
    return static_cast<std::uint8_t>(10 * x + y + 1);
}
std::uint8_t Green(std::uint32_t x, std::uint32_t y) {
    return static_cast<std::uint8_t>(100 + x + 7 * y);
}
std::uint8_t Blue(std::uint32_t x, std::uint32_t y) {
    return static_cast<std::uint8_t>(250 - x - 3 * y);
}
std::uint32_t Code(std::uint32_t x, std::uint32_t y) {
    return (x + y) % 4 == 3 ? NoDepthCode : 0x01020304u * (y + 1) + 0x10000u * x;
}
std::uint16_t Id(std::uint32_t x, std::uint32_t y) {
    return Code(x, y) == NoDepthCode ? 0 : static_cast<std::uint16_t>(0x0101u * ((x + 2 * y) % 5));
}

// The result of one read; releases the planes with VirtualFree as the reader's caller must.
struct Loaded {
    bool ok = false;
    int width = -7;
    int height = -7;
    PerspectiveView view;
    std::deque<ObjectEntry> objects;
    unsigned char* colour = nullptr;
    std::uint32_t* depth = nullptr;
    std::uint16_t* ids = nullptr;

    Loaded() { InitPerspectiveView(view); }
    ~Loaded() {
        for (void* plane :
             {static_cast<void*>(colour), static_cast<void*>(depth), static_cast<void*>(ids)}) {
            if (plane != nullptr) {
                EXPECT_TRUE(VirtualFree(plane, 0, MEM_RELEASE));
            }
        }
    }
    Loaded(const Loaded&) = delete;
    Loaded& operator=(const Loaded&) = delete;
};

std::unique_ptr<Loaded> Read(const std::string& path) {
    auto loaded = std::make_unique<Loaded>();
    loaded->ok = ReadOrvoFile(path, loaded->width, loaded->height, loaded->view, loaded->objects,
                              loaded->colour, loaded->depth, loaded->ids);
    return loaded;
}

void ExpectSameVector(const Vector3& a, const Vector3& b) {
    EXPECT_EQ(a.x, b.x);
    EXPECT_EQ(a.y, b.y);
    EXPECT_EQ(a.z, b.z);
}

void ExpectSameView(const PerspectiveView& got, const PerspectiveView& want) {
    EXPECT_EQ(got.projection, want.projection);
    ExpectSameVector(got.eyePoint, want.eyePoint);
    ExpectSameVector(got.rightAxis, want.rightAxis);
    ExpectSameVector(got.upAxis, want.upAxis);
    ExpectSameVector(got.viewDirection, want.viewDirection);
    ExpectSameVector(got.spareAxis, want.spareAxis);
    ExpectSameVector(got.cornerTopLeft, want.cornerTopLeft);
    ExpectSameVector(got.cornerBottomRight, want.cornerBottomRight);
    EXPECT_EQ(got.nearDepth, want.nearDepth);
    EXPECT_EQ(got.farDepth, want.farDepth);
    EXPECT_EQ(got.unitScale, want.unitScale);
    EXPECT_EQ(got.unitCode, want.unitCode);
}

void ExpectUntouchedView(const PerspectiveView& got) {
    PerspectiveView initial;
    ExpectSameView(got, InitPerspectiveView(initial));
}

void ExpectPlanes(const Loaded& got, std::uint32_t width, std::uint32_t height) {
    ASSERT_EQ(got.width, int(width));
    ASSERT_EQ(got.height, int(height));
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            SCOPED_TRACE(testing::Message() << "pixel " << x << "," << y);
            const std::size_t i = std::size_t(y) * width + x;
            if (got.colour != nullptr) {
                EXPECT_EQ(got.colour[3 * i], Red(x, y));
                EXPECT_EQ(got.colour[3 * i + 1], Green(x, y));
                EXPECT_EQ(got.colour[3 * i + 2], Blue(x, y));
            }
            if (got.depth != nullptr) {
                EXPECT_EQ(got.depth[i], Code(x, y));
            }
            if (got.ids != nullptr) {
                EXPECT_EQ(got.ids[i], Id(x, y));
            }
        }
    }
}

void ExpectObjects(const std::deque<ObjectEntry>& got, const std::vector<TestObject>& oldestFirst) {
    ASSERT_EQ(got.size(), oldestFirst.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        const TestObject& want = oldestFirst[oldestFirst.size() - 1 - i];
        SCOPED_TRACE(testing::Message() << "entry " << i);
        EXPECT_EQ(got[i].id, want.id);
        EXPECT_EQ(got[i].red, want.red);
        EXPECT_EQ(got[i].green, want.green);
        EXPECT_EQ(got[i].blue, want.blue);
        EXPECT_EQ(got[i].name, std::wstring(want.name.begin(), want.name.end()));
    }
}

// Rows in the file's byte order for byte-built files, in the host's for libtiff-written ones.
Bytes ColourRow(std::uint32_t width, std::uint32_t y) {
    Bytes row;
    for (std::uint32_t x = 0; x < width; ++x) {
        row.insert(row.end(), {Red(x, y), Green(x, y), Blue(x, y)});
    }
    return row;
}
Bytes DepthRow(const test::Order& order, std::uint32_t width, std::uint32_t y) {
    Bytes row;
    for (std::uint32_t x = 0; x < width; ++x) {
        order.U32(row, Code(x, y));
    }
    return row;
}
Bytes IdRow(const test::Order& order, std::uint32_t width, std::uint32_t y, int bits = 16) {
    Bytes row;
    for (std::uint32_t x = 0; x < width; ++x) {
        if (bits == 8) {
            row.push_back(static_cast<unsigned char>(Id(x, y)));
        } else {
            order.U16(row, Id(x, y));
        }
    }
    return row;
}
test::Order HostOrder() {
    const std::uint16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    test::Order order;
    order.bigEndian = first == 0;
    return order;
}

// The three layers of the test pattern for libtiff to write: samples in the host's byte order,
// private blocks in the file's.
std::vector<test::LibtiffLayer> LibtiffLayers(const test::Order& file, std::uint32_t width,
                                              std::uint32_t height, std::uint16_t compression,
                                              int idBits, const std::vector<TestObject>& objects) {
    std::vector<test::LibtiffLayer> layers = test::OrvoLayers(
        file, width, height, compression, static_cast<std::uint16_t>(idBits), objects);
    for (std::uint32_t y = 0; y < height; ++y) {
        layers[0].rows.push_back(ColourRow(width, y));
        layers[1].rows.push_back(DepthRow(HostOrder(), width, y));
        layers[2].rows.push_back(IdRow(HostOrder(), width, y, idBits));
    }
    return layers;
}

// Layers assembled byte by byte, each preceded by its private block.
test::LayerSpec ColourLayer(TiffBuilder& builder, std::uint32_t width, std::uint32_t height) {
    test::LayerSpec layer;
    layer.width = width;
    layer.height = height;
    layer.bitsPerSample = {8, 8, 8};
    layer.samplesPerPixel = 3;
    for (std::uint32_t y = 0; y < height; ++y) {
        layer.rows.push_back(ColourRow(width, y));
    }
    layer.subfileData = builder.Append(test::EncodeLayerHeader(builder.ByteOrder(), KindColour));
    return layer;
}
test::LayerSpec DepthLayer(TiffBuilder& builder, std::uint32_t width, std::uint32_t height,
                           const PerspectiveView& view) {
    test::LayerSpec layer;
    layer.width = width;
    layer.height = height;
    layer.bitsPerSample = {32};
    for (std::uint32_t y = 0; y < height; ++y) {
        layer.rows.push_back(DepthRow(builder.ByteOrder(), width, y));
    }
    layer.subfileData = builder.Append(test::EncodePerspectiveBlock(builder.ByteOrder(), view));
    return layer;
}
// The records are appended oldest first, each linking to the one before.
test::LayerSpec IdLayer(TiffBuilder& builder, std::uint32_t width, std::uint32_t height,
                        const std::vector<TestObject>& objects, int bits = 16) {
    test::LayerSpec layer;
    layer.width = width;
    layer.height = height;
    layer.bitsPerSample = {static_cast<std::uint16_t>(bits)};
    for (std::uint32_t y = 0; y < height; ++y) {
        layer.rows.push_back(IdRow(builder.ByteOrder(), width, y, bits));
    }
    std::uint32_t head = 0;
    for (const TestObject& object : objects) {
        head = builder.Append(test::EncodeObjectRecord(builder.ByteOrder(), head, object.id,
                                                       object.red, object.green, object.blue,
                                                       object.name));
    }
    layer.subfileData = builder.Append(test::EncodeObjectTableBlock(
        builder.ByteOrder(), static_cast<std::uint32_t>(objects.size()), head));
    return layer;
}

const std::vector<TestObject> someObjects = {
    {3, 255, 0, 0, "Teapot"},
    {0x0404, 1, 2, 3, ""},
    {257, 10, 20, 30, "Box01"},
};

// A whole file of the three layers, assembled byte by byte.
TiffBuilder WholeFile(std::uint32_t width, std::uint32_t height, bool bigEndian = false) {
    TiffBuilder builder(bigEndian);
    test::AddLayer(builder, ColourLayer(builder, width, height));
    test::AddLayer(builder, DepthLayer(builder, width, height, test::SampleView()));
    test::AddLayer(builder, IdLayer(builder, width, height, someObjects));
    return builder;
}

std::string Save(const test::TemporaryFolder& folder, const std::string& name,
                 const TiffBuilder& builder) {
    const std::string path = folder.Path(name);
    builder.Write(path);
    return path;
}

// Feeds the test pattern to a writer, then its objects, and closes it.
void WriteAll(OrvoStreamWriter& writer, std::uint32_t width, std::uint32_t height,
              const std::vector<TestObject>& objects) {
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            writer.ColourRow()[3 * x] = Red(x, y);
            writer.ColourRow()[3 * x + 1] = Green(x, y);
            writer.ColourRow()[3 * x + 2] = Blue(x, y);
            writer.DepthRow()[x] = Code(x, y);
            writer.IdRow()[x] = Id(x, y);
        }
        writer.WriteRow();
    }
    for (const TestObject& object : objects) {
        writer.AddObject(object.id, object.red, object.green, object.blue,
                         std::wstring(object.name.begin(), object.name.end()));
    }
    writer.Close();
}

} // namespace

// The stream writer's files, and libtiff's in other byte orders and compressions.

TEST(ReadOrvoFile, ReadsAStreamWriterFileBackToItsPlanesViewAndObjectsNewestFirst) {
    test::TemporaryFolder folder;
    const std::string path = folder.Path("stream.orv");
    const std::uint32_t width = 5; // odd, so rows are padded in the file
    const std::uint32_t height = 3;
    const PerspectiveView view = test::SampleView();
    const std::vector<TestObject> objects = {
        {3, 255, 0, 0, "Teapot"},
        {0x0404, 1, 2, 3, ""},
        {9, 4, 5, 6, std::string(200, 'n')},
        {65535, 7, 8, 9, "Box01"},
    };
    OrvoStreamWriter writer(std::wstring(path.begin(), path.end()), width, height, L"sw", L"doc",
                            L"", L"", view);
    WriteAll(writer, width, height, objects);
    const auto got = Read(path);
    ASSERT_TRUE(got->ok);
    ASSERT_NE(got->colour, nullptr);
    ASSERT_NE(got->depth, nullptr);
    ASSERT_NE(got->ids, nullptr);
    ExpectPlanes(*got, width, height);
    ExpectSameView(got->view, view);
    ExpectObjects(got->objects, objects);
}

TEST(ReadOrvoFile, LeavesTheLayersAFileLacksNull) {
    test::TemporaryFolder folder;
    const std::string colourOnly = folder.Path("colour.orv");
    const std::string depthAndIds = folder.Path("depth_ids.orv");
    for (const std::string* path : {&colourOnly, &depthAndIds}) {
        OrvoStreamWriter writer(std::wstring(path->begin(), path->end()), 2, 2, L"", L"", L"", L"",
                                test::SampleView());
        writer.SetLayers(path == &colourOnly ? LayerColour : LayerDepth | LayerObjectId);
        WriteAll(writer, 2, 2, {{5, 1, 1, 1, "Ball"}});
    }

    const auto colour = Read(colourOnly);
    ASSERT_TRUE(colour->ok);
    EXPECT_NE(colour->colour, nullptr);
    EXPECT_EQ(colour->depth, nullptr);
    EXPECT_EQ(colour->ids, nullptr);
    EXPECT_TRUE(colour->objects.empty());
    ExpectUntouchedView(colour->view);
    ExpectPlanes(*colour, 2, 2);

    const auto rest = Read(depthAndIds);
    ASSERT_TRUE(rest->ok);
    EXPECT_EQ(rest->colour, nullptr);
    EXPECT_NE(rest->depth, nullptr);
    EXPECT_NE(rest->ids, nullptr);
    ExpectSameView(rest->view, test::SampleView());
    ExpectObjects(rest->objects, {{5, 1, 1, 1, "Ball"}});
    ExpectPlanes(*rest, 2, 2);
}

TEST(ReadOrvoFile, SwapsTheFieldsOfABigEndianFile) {
    test::TemporaryFolder folder;
    const std::uint32_t width = 3;
    const std::uint32_t height = 2;
    test::Order big;
    big.bigEndian = true;

    // Written by libtiff in big-endian order, with big-endian private blocks.
    const std::string byLibtiff = folder.Path("libtiff_big.orv");
    test::WriteTiffWithBlocks(byLibtiff, "wb",
                              LibtiffLayers(big, width, height, COMPRESSION_NONE, 16, someObjects));
    ASSERT_EQ(test::ReadFileBytes(byLibtiff)[0], 'M');

    // Assembled byte by byte in big-endian order.
    const std::string byHand = Save(folder, "hand_big.orv", WholeFile(width, height, true));

    for (const std::string* path : {&byLibtiff, &byHand}) {
        SCOPED_TRACE(*path);
        const auto got = Read(*path);
        ASSERT_TRUE(got->ok);
        ASSERT_NE(got->depth, nullptr);
        ASSERT_NE(got->ids, nullptr);
        ExpectPlanes(*got, width, height);
        ExpectSameView(got->view, test::SampleView());
        ExpectObjects(got->objects, someObjects);
    }
}

TEST(ReadOrvoFile, ReadsDeflateCompressedLayersAndWidensEightBitIds) {
    test::TemporaryFolder folder;
    const std::uint32_t width = 40;
    const std::uint32_t height = 5;
    const std::string path = folder.Path("deflate.orv");
    test::WriteTiffWithBlocks(path, "w",
                              LibtiffLayers(test::Order(), width, height, COMPRESSION_ADOBE_DEFLATE,
                                            8, {{4, 1, 2, 3, "Eight"}}));
    // Compressed for real, as libtiff itself sees it.
    TIFF* written = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(written, nullptr);
    int directories = 0;
    do {
        std::uint16_t compression = 0;
        EXPECT_EQ(TIFFGetField(written, TIFFTAG_COMPRESSION, &compression), 1);
        EXPECT_EQ(compression, COMPRESSION_ADOBE_DEFLATE);
        ++directories;
    } while (TIFFReadDirectory(written));
    TIFFClose(written);
    EXPECT_EQ(directories, 3);

    const auto got = Read(path);
    ASSERT_TRUE(got->ok);
    ASSERT_NE(got->colour, nullptr);
    ASSERT_NE(got->depth, nullptr);
    ASSERT_NE(got->ids, nullptr);
    // Id() is a multiple of 0x0101; its low byte, widened, is what the 8-bit layer gives back.
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            ASSERT_EQ(got->ids[y * width + x], Id(x, y) & 0xFF) << x << "," << y;
            got->ids[y * width + x] = Id(x, y);
        }
    }
    ExpectPlanes(*got, width, height);
    ExpectSameView(got->view, test::SampleView());
    ExpectObjects(got->objects, {{4, 1, 2, 3, "Eight"}});
}

// A compressed layer that claims far more samples than its file could hold is refused before
// its plane is allocated: 65535 x 4 pixels of zeros deflate to a few kilobytes.
TEST(ReadOrvoFile, RefusesACompressedLayerClaimingMoreThanItsFileCanHold) {
    test::TemporaryFolder folder;
    const std::uint32_t width = 65535;
    const std::uint32_t height = 4;
    std::vector<test::LibtiffLayer> layers =
        test::OrvoLayers(test::Order(), width, height, COMPRESSION_ADOBE_DEFLATE, 16, {});
    for (test::LibtiffLayer& layer : layers) {
        const std::size_t rowBytes =
            std::size_t(width) * layer.samplesPerPixel * (layer.bitsPerSample / 8);
        layer.rows.assign(height, Bytes(rowBytes, 0));
    }
    const std::string path = folder.Path("claims.orv");
    test::WriteTiffWithBlocks(path, "w", layers);
    const std::uint64_t fileSize = test::ReadFileBytes(path).size();
    ASSERT_GT(std::uint64_t(width) * height * 4, LargestCompressionRatio * fileSize);

    EXPECT_FALSE(Read(path)->ok);
    const OrvoWalk walk = WalkOrvoFile(path);
    EXPECT_EQ(walk.stop, WalkStop::ClaimTooLarge);
    EXPECT_EQ(walk.Reason().rfind("damaged: directory ", 0), 0u) << walk.Reason();
}

// The edge cases of the directory walk.

TEST(ReadOrvoFile, ReadsAnOrdinaryTiffAsTrueWithNothingSet) {
    test::TemporaryFolder folder;
    TiffBuilder builder;
    test::LayerSpec layer = ColourLayer(builder, 2, 2);
    layer.hasSubfileData = false;
    test::AddLayer(builder, layer);
    const auto got = Read(Save(folder, "plain.tif", builder));
    EXPECT_TRUE(got->ok);
    EXPECT_EQ(got->width, -7);
    EXPECT_EQ(got->height, -7);
    EXPECT_EQ(got->colour, nullptr);
    EXPECT_EQ(got->depth, nullptr);
    EXPECT_EQ(got->ids, nullptr);
    ExpectUntouchedView(got->view);
}

TEST(ReadOrvoFile, SkipsPanoramaDepthUnknownKindsAndUnreadableHeaders) {
    test::TemporaryFolder folder;
    TiffBuilder builder;
    test::AddLayer(builder, ColourLayer(builder, 3, 2));
    // A panorama depth layer of the stitcher's own output.
    test::LayerSpec panorama = DepthLayer(builder, 3, 2, test::SampleView());
    PanoramaView panoramaView;
    InitPanoramaView(panoramaView);
    panorama.subfileData =
        builder.Append(test::EncodePanoramaBlock(builder.ByteOrder(), panoramaView));
    test::AddLayer(builder, panorama);
    // A kind of a later revision, and a header offset past the end of the file.
    test::LayerSpec later = DepthLayer(builder, 3, 2, test::SampleView());
    later.subfileData = builder.Append(test::EncodeLayerHeader(builder.ByteOrder(), 5));
    test::AddLayer(builder, later);
    test::LayerSpec lost = DepthLayer(builder, 3, 2, test::SampleView());
    lost.subfileData = 0x7FFFFFF0u;
    test::AddLayer(builder, lost);
    const auto got = Read(Save(folder, "skips.orv", builder));
    EXPECT_TRUE(got->ok);
    EXPECT_NE(got->colour, nullptr);
    EXPECT_EQ(got->depth, nullptr);
    ExpectUntouchedView(got->view);
    ExpectPlanes(*got, 3, 2);
}

TEST(ReadOrvoFile, KeepsTheCallersViewWhenTheViewCannotBeReadButReadsTheDepths) {
    test::TemporaryFolder folder;
    TiffBuilder builder;
    const std::uint32_t directory =
        test::AddLayer(builder, DepthLayer(builder, 2, 2, test::SampleView()));
    // The header alone, at the very end: the view that should follow it lies outside the file.
    builder.PatchEntry(
        directory, TagQuorvaneSubfileData,
        builder.Append(test::EncodeLayerHeader(builder.ByteOrder(), KindPerspectiveDepth)));
    const auto got = Read(Save(folder, "no_view.orv", builder));
    EXPECT_TRUE(got->ok);
    ASSERT_NE(got->depth, nullptr);
    ExpectUntouchedView(got->view);
    ExpectPlanes(*got, 2, 2);
}

// The object table's walk.

namespace {

// An object-id layer of 2 x 1 pixels whose table the test lays out itself.
struct TableFile {
    TiffBuilder builder;
    std::uint32_t directory;

    TableFile() { directory = test::AddLayer(builder, IdLayer(builder, 2, 1, {})); }
    std::uint32_t Record(std::uint32_t previous, std::uint16_t id, const std::string& name,
                         bool withNul = true) {
        return builder.Append(
            test::EncodeObjectRecord(builder.ByteOrder(), previous, id, 1, 2, 3, name, withNul));
    }
    // Appends the object-id header and points the directory at it.
    std::uint32_t Table(std::uint32_t count, std::uint32_t head) {
        const std::uint32_t at =
            builder.Append(test::EncodeObjectTableBlock(builder.ByteOrder(), count, head));
        builder.PatchEntry(directory, TagQuorvaneSubfileData, at);
        return at;
    }
    std::deque<ObjectEntry> Objects(const test::TemporaryFolder& folder, const std::string& name) {
        const auto got = Read(Save(folder, name, builder));
        EXPECT_TRUE(got->ok);
        EXPECT_NE(got->ids, nullptr);
        return got->objects;
    }
};

std::vector<std::uint16_t> Ids(const std::deque<ObjectEntry>& objects) {
    std::vector<std::uint16_t> ids;
    for (const ObjectEntry& entry : objects) {
        ids.push_back(entry.id);
    }
    return ids;
}

} // namespace

TEST(ObjectTable, EndsAtAPreviousLinkOfZeroBeforeTheCount) {
    test::TemporaryFolder folder;
    TableFile file;
    file.Record(0, 1, "first");
    const std::uint32_t second = file.Record(0, 2, "second");
    const std::uint32_t third = file.Record(second, 3, "third");
    file.Table(3, third);
    const auto objects = file.Objects(folder, "count3.orv");
    EXPECT_EQ(Ids(objects), (std::vector<std::uint16_t>{3, 2}));
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[1].name, L"second");
    EXPECT_EQ(objects[1].red, 1);
    EXPECT_EQ(objects[1].green, 2);
    EXPECT_EQ(objects[1].blue, 3);
}

TEST(ObjectTable, EndsAfterCountRecordsAndReadsNoneFromAHeadOfZeroOrPastTheEnd) {
    test::TemporaryFolder folder;
    TableFile two;
    const std::uint32_t first = two.Record(0, 1, "a");
    const std::uint32_t second = two.Record(first, 2, "b");
    two.Table(1, second);
    EXPECT_EQ(Ids(two.Objects(folder, "count1.orv")), (std::vector<std::uint16_t>{2}));
    two.Table(0xFFFFFFFFu, second);
    EXPECT_EQ(Ids(two.Objects(folder, "huge_count.orv")), (std::vector<std::uint16_t>{2, 1}));
    two.Table(5, 0);
    EXPECT_TRUE(two.Objects(folder, "head0.orv").empty());
    two.Table(5, 0xFFFFFFF0u);
    EXPECT_TRUE(two.Objects(folder, "head_past_end.orv").empty());
}

// Revision 1.3 puts its newest records just before its object-id header at the end of the
// file, closer to the end than a whole window.
TEST(ObjectTable, ShrinksTheWindowToTheBytesLeftAndStopsBelowTenBytes) {
    test::TemporaryFolder folder;
    TableFile file;
    const std::uint32_t first = file.Record(0, 1, "older");
    const std::uint32_t table = file.Table(2, 0);
    const std::uint32_t last = file.Record(first, 2, "xy"); // 12 bytes, the file's last
    ASSERT_EQ(file.builder.Size(), last + 12);
    file.builder.PatchU32(table + 12, last);
    const auto objects = file.Objects(folder, "tail.orv");
    EXPECT_EQ(Ids(objects), (std::vector<std::uint16_t>{2, 1}));
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0].name, L"xy");
    EXPECT_EQ(objects[1].name, L"older");

    // Ten bytes (an empty name's NUL) still make a record; nine do not.
    for (const bool withNul : {true, false}) {
        TableFile tiny;
        const std::uint32_t head = tiny.Table(1, 0);
        const Bytes record =
            test::EncodeObjectRecord(tiny.builder.ByteOrder(), 0, 7, 1, 2, 3, "", withNul);
        const std::uint32_t at = tiny.builder.Size();
        tiny.builder.Data().insert(tiny.builder.Data().end(), record.begin(), record.end());
        tiny.builder.PatchU32(head + 12, at);
        const auto got = tiny.Objects(folder, withNul ? "ten.orv" : "nine.orv");
        EXPECT_EQ(Ids(got), withNul ? std::vector<std::uint16_t>{7} : std::vector<std::uint16_t>{});
    }
}

TEST(ObjectTable, EndsANameWithoutNulAtTheWindowsEnd) {
    test::TemporaryFolder folder;
    TableFile file;
    // A 300-byte name: its NUL lies beyond the window, so 255 bytes of it are taken.
    const std::uint32_t longName = file.Record(0, 1, std::string(300, 'L'));
    const std::uint32_t table = file.Table(2, 0);
    // A name that runs into the end of the file.
    const std::uint32_t cut = file.Record(longName, 2, "cut", false);
    file.builder.Data().resize(cut + 12); // no pad byte after it
    file.builder.PatchU32(table + 12, cut);
    const auto objects = file.Objects(folder, "no_nul.orv");
    ASSERT_EQ(Ids(objects), (std::vector<std::uint16_t>{2, 1}));
    EXPECT_EQ(objects[0].name, L"cut");
    EXPECT_EQ(objects[1].name, std::wstring(255, L'L'));
}

TEST(ObjectTable, StopsChainsThatDoNotRunBackwardsOrThatOverlap) {
    test::TemporaryFolder folder;

    TableFile self;
    const std::uint32_t at = self.builder.Size();
    self.Record(at, 1, "self");
    self.Table(10, at);
    EXPECT_EQ(Ids(self.Objects(folder, "self.orv")), (std::vector<std::uint16_t>{1}));

    TableFile forward;
    const std::uint32_t first = forward.builder.Size();
    forward.Record(first + 16, 1, "fw"); // 12 bytes, so the next record is at first + 12
    const std::uint32_t second = forward.Record(first, 2, "back");
    ASSERT_EQ(second, first + 12);
    forward.builder.PatchU32(first, second);
    forward.Table(10, first);
    EXPECT_EQ(Ids(forward.Objects(folder, "forward.orv")), (std::vector<std::uint16_t>{1}));

    // A link to six bytes before the newest record: the record read there would run into the
    // newest one, so the walk ends before it.
    TableFile overlap;
    overlap.Record(0, 1, "some name");
    const std::uint32_t newest = overlap.builder.Size();
    overlap.Record(newest - 6, 2, "newest");
    overlap.Table(10, newest);
    EXPECT_EQ(Ids(overlap.Objects(folder, "overlap.orv")), (std::vector<std::uint16_t>{2}));
}

TEST(ObjectTable, AddsNothingWhenTheTableCannotBeReadButStillReadsTheIds) {
    test::TemporaryFolder folder;
    TableFile file;
    // The header's eight bytes are the file's last: count and head lie past its end.
    file.builder.PatchEntry(
        file.directory, TagQuorvaneSubfileData,
        file.builder.Append(test::EncodeLayerHeader(file.builder.ByteOrder(), KindObjectId)));
    const auto got = Read(Save(folder, "no_table.orv", file.builder));
    EXPECT_TRUE(got->ok);
    EXPECT_TRUE(got->objects.empty());
    ASSERT_NE(got->ids, nullptr);
    ExpectPlanes(*got, 2, 1);
}

// Malformed files: every one reads as false, without a crash, a leak or a message.

namespace {

void ExpectFails(const std::string& path) {
    SCOPED_TRACE(path);
    const auto got = Read(path);
    EXPECT_FALSE(got->ok);
}

std::string WriteStreamFile(const test::TemporaryFolder& folder, const std::string& name) {
    const std::string path = folder.Path(name);
    OrvoStreamWriter writer(std::wstring(path.begin(), path.end()), 3, 2, L"s", L"", L"a", L"",
                            test::SampleView());
    for (int y = 0; y < 2; ++y) {
        writer.WriteRow();
    }
    writer.AddObject(1, 2, 3, 4, L"One");
    writer.AddObject(2, 3, 4, 5, L"Two");
    writer.Close();
    return path;
}

} // namespace

TEST(ReadOrvoFileFailures, MissingEmptyAndForeignFiles) {
    test::TemporaryFolder folder;
    const std::string empty = folder.Path("empty.orv");
    test::WriteFileBytes(empty, {});
    const std::string text = folder.Path("text.orv");
    test::WriteFileBytes(text, {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'});
    ExpectFails("");
    ExpectFails(folder.Path("missing.orv"));
    ExpectFails(folder.Path(""));
    ExpectFails(empty);
    ExpectFails(text);
}

TEST(ReadOrvoFileFailures, PipesAndDevicesAreRefusedBeforeAnyByteIsRead) {
    test::TemporaryFolder folder;
    const std::string pipe = folder.Path("pipe.orv");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    // Opening a pipe that no process writes would wait for ever.
    ExpectFails(pipe);
    EXPECT_EQ(WalkOrvoFile(pipe).Reason(), "not an Orvo file: a pipe, not a regular file");
    ExpectFails("/dev/zero");
    EXPECT_EQ(WalkOrvoFile("/dev/zero").Reason(), "not an Orvo file: a device, not a regular file");
    EXPECT_EQ(WalkOrvoFile(folder.path()).Reason(), std::strerror(EISDIR));
}

TEST(ReadOrvoFileFailures, EveryTruncationOfAWrittenFile) {
    test::TemporaryFolder folder;
    const std::string whole = WriteStreamFile(folder, "whole.orv");
    ASSERT_TRUE(Read(whole)->ok);
    const Bytes bytes = test::ReadFileBytes(whole);
    const std::string cut = folder.Path("cut.orv");
    for (std::size_t size = 0; size < bytes.size(); ++size) {
        test::WriteFileBytes(cut, Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(size)));
        const auto got = Read(cut);
        EXPECT_FALSE(got->ok) << "cut to " << size << " of " << bytes.size() << " bytes";
    }
}

TEST(ReadOrvoFileFailures, TwoDirectoriesOfOneKindAfterTheFirstPlane) {
    test::TemporaryFolder folder;
    TiffBuilder colours;
    test::AddLayer(colours, ColourLayer(colours, 2, 2));
    test::AddLayer(colours, ColourLayer(colours, 2, 2));
    const auto twoColours = Read(Save(folder, "two_colours.orv", colours));
    EXPECT_FALSE(twoColours->ok);
    ASSERT_NE(twoColours->colour, nullptr);
    ExpectPlanes(*twoColours, 2, 2);

    TiffBuilder depths;
    test::AddLayer(depths, DepthLayer(depths, 2, 2, test::SampleView()));
    test::AddLayer(depths, DepthLayer(depths, 2, 2, test::SampleView()));
    const auto twoDepths = Read(Save(folder, "two_depths.orv", depths));
    EXPECT_FALSE(twoDepths->ok);
    EXPECT_NE(twoDepths->depth, nullptr);

    TiffBuilder ids;
    test::AddLayer(ids, IdLayer(ids, 2, 2, someObjects));
    test::AddLayer(ids, IdLayer(ids, 2, 2, someObjects));
    const auto twoIds = Read(Save(folder, "two_ids.orv", ids));
    EXPECT_FALSE(twoIds->ok);
    EXPECT_NE(twoIds->ids, nullptr);
}

TEST(ReadOrvoFileFailures, LayersOfDifferentSizes) {
    test::TemporaryFolder folder;
    TiffBuilder wider;
    test::AddLayer(wider, ColourLayer(wider, 3, 2));
    test::AddLayer(wider, DepthLayer(wider, 2, 2, test::SampleView()));
    const auto got = Read(Save(folder, "wider.orv", wider));
    EXPECT_FALSE(got->ok);
    EXPECT_EQ(got->width, 3); // from the first directory
    EXPECT_EQ(got->depth, nullptr);

    TiffBuilder taller;
    test::AddLayer(taller, IdLayer(taller, 2, 2, {}));
    test::AddLayer(taller, DepthLayer(taller, 2, 3, test::SampleView()));
    ExpectFails(Save(folder, "taller.orv", taller));
}

TEST(ReadOrvoFileFailures, SampleLayoutsOtherThanTheFormats) {
    test::TemporaryFolder folder;
    struct Case {
        const char* name;
        std::uint32_t kind;
        std::uint32_t width;
        std::uint16_t samples;
        std::vector<std::uint16_t> bits; // empty: no BitsPerSample entry
        std::vector<std::pair<std::uint16_t, std::vector<std::uint32_t>>> entries;
    };
    const std::vector<Case> cases = {
        {"ids_without_bits", KindObjectId, 2, 1, {}, {}},
        {"colour_without_bits", KindColour, 2, 3, {}, {}},
        {"colour_rgba", KindColour, 2, 4, {8, 8, 8, 8}, {}},
        {"colour_16_bit", KindColour, 1, 3, {16, 16, 16}, {}},
        {"colour_planes_apart", KindColour, 2, 3, {8, 8, 8}, {{TIFFTAG_PLANARCONFIG, {2}}}},
        {"colour_subsampled",
         KindColour,
         2,
         3,
         {8, 8, 8},
         {{TIFFTAG_PHOTOMETRIC, {PHOTOMETRIC_YCBCR}}, {TIFFTAG_YCBCRSUBSAMPLING, {2, 2}}}},
        {"colour_tiled",
         KindColour,
         16,
         3,
         {8, 8, 8},
         {{TIFFTAG_TILEWIDTH, {16}}, {TIFFTAG_TILELENGTH, {16}}}},
        {"depth_16_bit", KindPerspectiveDepth, 2, 1, {16}, {}},
        {"depth_two_samples", KindPerspectiveDepth, 1, 2, {32, 32}, {}},
        {"ids_32_bit", KindObjectId, 2, 1, {32}, {}},
        {"ids_4_bit", KindObjectId, 2, 1, {4}, {}},
        {"wider_than_the_format", KindColour, 65536, 3, {8, 8, 8}, {}},
        // Rows as long as the format's, samples that are not.
        {"colour_one_24_bit_sample", KindColour, 2, 1, {24}, {}},
        {"depth_four_8_bit_samples", KindPerspectiveDepth, 2, 4, {8, 8, 8, 8}, {}},
        {"ids_two_8_bit_samples", KindObjectId, 2, 2, {8, 8}, {}},
    };
    for (const Case& c : cases) {
        TiffBuilder builder;
        test::LayerSpec layer = c.kind == KindColour ? ColourLayer(builder, 1, 2)
                                : c.kind == KindObjectId
                                    ? IdLayer(builder, 1, 2, {})
                                    : DepthLayer(builder, 1, 2, test::SampleView());
        layer.width = c.width;
        layer.samplesPerPixel = c.samples;
        layer.bitsPerSample = c.bits;
        const std::size_t bits = c.bits.empty() ? 1 : c.bits[0];
        layer.rows.assign(2, Bytes((c.width * c.samples * bits + 7) / 8, 0x11));
        for (const auto& entry : c.entries) {
            const bool isShort =
                entry.first != TIFFTAG_TILEWIDTH && entry.first != TIFFTAG_TILELENGTH;
            std::vector<std::uint16_t> shorts(entry.second.begin(), entry.second.end());
            layer.extra.push_back(isShort ? builder.Short(entry.first, shorts)
                                          : builder.Long(entry.first, entry.second));
        }
        test::AddLayer(builder, layer);
        ExpectFails(Save(folder, std::string(c.name) + ".orv", builder));
    }
}

TEST(ReadOrvoFileFailures, StripsAndArraysPastTheEnd) {
    test::TemporaryFolder folder;
    const auto withEntries = [&](const std::string& name, std::vector<test::Entry> entries) {
        TiffBuilder builder;
        test::LayerSpec layer = ColourLayer(builder, 2, 2);
        layer.rows.clear();
        layer.extra = std::move(entries);
        test::AddLayer(builder, layer);
        ExpectFails(Save(folder, name, builder));
    };
    TiffBuilder order;
    withEntries("strip_past_end.orv", {order.Long(TIFFTAG_STRIPOFFSETS, {8, 0x7FFFFF00u}),
                                       order.Long(TIFFTAG_STRIPBYTECOUNTS, {6, 6})});
    withEntries("huge_byte_count.orv", {order.Long(TIFFTAG_STRIPOFFSETS, {8, 8}),
                                        order.Long(TIFFTAG_STRIPBYTECOUNTS, {6, 0xFFFFFFF0u})});
    // A count of a million strip offsets stored past the end of the file.
    test::Entry huge = order.Long(TIFFTAG_STRIPOFFSETS, {0});
    huge.count = 1000000;
    huge.value = Bytes(8, 0xEE); // makes the builder store it at an offset, patched below
    TiffBuilder builder;
    test::LayerSpec layer = ColourLayer(builder, 2, 2);
    layer.rows.clear();
    layer.extra = {huge, builder.Long(TIFFTAG_STRIPBYTECOUNTS, {6, 6})};
    const std::uint32_t directory = test::AddLayer(builder, layer);
    builder.PatchEntry(directory, TIFFTAG_STRIPOFFSETS, 0x7FFF0000u);
    ExpectFails(Save(folder, "huge_strip_count.orv", builder));
}

TEST(ReadOrvoFileFailures, DirectoryChainsThatBreakOrLoop) {
    test::TemporaryFolder folder;
    TiffBuilder pastEnd;
    const std::uint32_t colour = test::AddLayer(pastEnd, ColourLayer(pastEnd, 2, 2));
    pastEnd.PatchU32(pastEnd.NextLinkOf(colour), 0x7FFFFFF0u);
    ExpectFails(Save(folder, "link_past_end.orv", pastEnd));

    TiffBuilder loop;
    const std::uint32_t first = test::AddLayer(loop, ColourLayer(loop, 2, 2));
    const std::uint32_t second = test::AddLayer(loop, DepthLayer(loop, 2, 2, test::SampleView()));
    loop.PatchU32(loop.NextLinkOf(second), first);
    ExpectFails(Save(folder, "loop.orv", loop));
}

TEST(ReadOrvoFileFailures, APlaneThatIsNotNullOnEntry) {
    test::TemporaryFolder folder;
    const std::string path = Save(folder, "whole.orv", WholeFile(2, 2));
    int width = 0;
    int height = 0;
    PerspectiveView view;
    InitPerspectiveView(view);
    std::deque<ObjectEntry> objects;
    unsigned char* colour = static_cast<unsigned char*>(
        VirtualAlloc(nullptr, 12, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    unsigned char* const given = colour;
    std::uint32_t* depth = nullptr;
    std::uint16_t* ids = nullptr;
    EXPECT_FALSE(ReadOrvoFile(path, width, height, view, objects, colour, depth, ids));
    EXPECT_EQ(colour, given);
    EXPECT_TRUE(VirtualFree(colour, 0, MEM_RELEASE));
    EXPECT_EQ(depth, nullptr);
}

// Random damage to a whole file, in the spirit of the fuzz target but small enough for every
// test run: whatever the result, the sanitizers see no fault.
TEST(ReadOrvoFileFailures, SurvivesDamagedBytes) {
    test::TemporaryFolder folder;
    const Bytes whole = WholeFile(3, 2).Data();
    const std::string path = folder.Path("damaged.orv");
    std::mt19937 random(20240611);
    int failed = 0;
    for (int round = 0; round < 1500; ++round) {
        Bytes bytes = whole;
        const int changes = 1 + int(random() % 4);
        for (int i = 0; i < changes; ++i) {
            bytes[random() % bytes.size()] = static_cast<unsigned char>(random());
        }
        test::WriteFileBytes(path, bytes);
        failed += Read(path)->ok ? 0 : 1;
    }
    // Damage somewhere in the directories or strips is common enough to fail some reads.
    EXPECT_GT(failed, 0);
}

TEST(ReadOrvoFileFailures, ReportNothing) {
    test::TemporaryFolder folder;
    TiffBuilder builder;
    test::LayerSpec layer = ColourLayer(builder, 2, 2);
    layer.extra = {builder.Long(TIFFTAG_STRIPBYTECOUNTS, {6, 0xFFFFFFF0u}),
                   builder.Short(TIFFTAG_PHOTOMETRIC, {99}), builder.Long(60000, {1})};
    test::AddLayer(builder, layer);
    const std::string odd = Save(folder, "odd.orv", builder);
    const std::string text = folder.Path("text.orv");
    test::WriteFileBytes(text, {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0, 1, 2});
    testing::internal::CaptureStderr();
    const bool oddRead = Read(odd)->ok;
    const bool textRead = Read(text)->ok;
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(oddRead);
    EXPECT_FALSE(textRead);
    EXPECT_EQ(said, "");
}
