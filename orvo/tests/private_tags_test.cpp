// The stitcher's tag registration: installation, the per-directory record behind the set,
// get and print hooks, coexistence with the plug-in's registration, and the handles' private
// block reads.
#include "orvo/format.h"
#include "orvo/private_tags.h"

#include "tiff_builder.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using test::Bytes;
using test::Entry;
using test::TiffBuilder;

namespace {

// A one-pixel grey directory with the given extra entries.
std::uint32_t AddPixel(TiffBuilder& builder, std::vector<Entry> extra) {
    test::LayerSpec layer;
    layer.width = 1;
    layer.height = 1;
    layer.bitsPerSample = {8};
    layer.rows = {{0x7F}};
    layer.hasSubfileData = false;
    layer.extra = std::move(extra);
    return test::AddLayer(builder, layer);
}

// Three directories: the first holds both private tags (and a DocumentName), the second only
// QuorvanePartialTileOffsets and a DocumentName, the third neither.
std::string WriteThreeDirectories(const test::TemporaryFolder& folder) {
    TiffBuilder builder;
    AddPixel(builder, {builder.Long(TagQuorvaneSubfileData, {111}),
                       builder.Long(TagQuorvanePartialTileOffsets, {1, 2, 3}),
                       builder.Ascii(TIFFTAG_DOCUMENTNAME, "first")});
    AddPixel(builder, {builder.Long(TagQuorvanePartialTileOffsets, {9}),
                       builder.Ascii(TIFFTAG_DOCUMENTNAME, "second")});
    AddPixel(builder, {builder.Ascii(TIFFTAG_DOCUMENTNAME, "third")});
    const std::string path = folder.Path("three.tif");
    builder.Write(path);
    return path;
}

std::string PrintDirectory(TIFF* tif) {
    std::FILE* out = std::tmpfile();
    if (out == nullptr) {
        return "";
    }
    TIFFPrintDirectory(tif, out, 0);
    std::string text;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) {
        text += static_cast<char>(c);
    }
    std::fclose(out);
    return text;
}

std::vector<std::uint32_t> PartialOffsets(TIFF* tif, bool& present) {
    std::uint16_t count = 0;
    std::uint32_t* values = nullptr;
    present = TIFFGetField(tif, TagQuorvanePartialTileOffsets, &count, &values) == 1;
    return present ? std::vector<std::uint32_t>(values, values + count)
                   : std::vector<std::uint32_t>();
}

int parentCalls = 0;
TIFFExtendProc extenderBeforeParent = nullptr;

void CountingParent(TIFF* tif) {
    ++parentCalls;
    if (extenderBeforeParent != nullptr) {
        extenderBeforeParent(tif);
    }
}

// Runs a body in a process of its own (a fresh run of this test program), so that it sees
// the process before any installation. The body calls std::exit(1) on a failure it finds.
void InFreshProcess(test::TemporaryFolder& folder, const std::function<void()>& body) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            body();
            folder.Remove();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "failed: %s\n", what);
        std::exit(1);
    }
}

} // namespace

TEST(PrivateTagInstallation, InstallsOnceAndCallsTheParentForEveryFile) {
    test::TemporaryFolder folder;
    const std::string three = WriteThreeDirectories(folder);
    InFreshProcess(folder, [&] {
        extenderBeforeParent = TIFFSetTagExtender(CountingParent);
        TIFF* first = OpenStitcherTiff(three, "r");
        Require(first != nullptr, "first open");
        const int afterFirstOpen = parentCalls;
        Require(TIFFReadDirectory(first) == 1, "second directory");
        Require(parentCalls == afterFirstOpen + 1, "parent called for the second directory");
        CloseTiff(first);

        const TIFFExtendProc installed = TIFFSetTagExtender(nullptr);
        TIFFSetTagExtender(installed);
        Require(installed != CountingParent, "the library's extender is installed");

        const int beforeSecondFile = parentCalls;
        TIFF* second = OpenStitcherTiff(three, "r");
        Require(second != nullptr, "second open");
        Require(parentCalls > beforeSecondFile, "parent called for the second file");
        std::uint32_t value = 0;
        Require(TIFFGetField(second, TagQuorvaneSubfileData, &value) == 1 && value == 111,
                "the second file's tag");
        CloseTiff(second);

        InstallPrivateTagExtender();
        const TIFFExtendProc stillInstalled = TIFFSetTagExtender(nullptr);
        TIFFSetTagExtender(stillInstalled);
        // A second installation would have chained the extender to itself.
        Require(stillInstalled == installed, "installed once");
    });
}

// Both generations define QuorvaneSubfileData alike, so a process that installs both, in
// either order, reads and writes the private tags the same way.
TEST(PrivateTagInstallation, WorksWithThePluginsRegistrationInEitherOrder) {
    test::TemporaryFolder folder;
    const std::string three = WriteThreeDirectories(folder);
    const std::string written = folder.Path("written.tif");
    auto exercise = [&]() {
        // A handle opened elsewhere: libtiff keeps the values itself and writes them.
        TIFF* out = TIFFOpen(written.c_str(), "w");
        Require(out != nullptr, "open for writing");
        const std::uint32_t offsets[2] = {5, 6};
        unsigned char pixel = 1;
        Require(TIFFSetField(out, TIFFTAG_IMAGEWIDTH, 1u) &&
                    TIFFSetField(out, TIFFTAG_IMAGELENGTH, 1u) &&
                    TIFFSetField(out, TIFFTAG_BITSPERSAMPLE, 8) &&
                    TIFFSetField(out, TagQuorvaneSubfileData, 4242u) &&
                    TIFFSetField(out, TagQuorvanePartialTileOffsets, 2, offsets) &&
                    TIFFWriteEncodedStrip(out, 0, &pixel, 1) == 1 && TIFFWriteDirectory(out),
                "write the private tags");
        TIFFClose(out);

        TIFF* in = OpenStitcherTiff(written, "r");
        Require(in != nullptr, "reopen");
        std::uint32_t value = 0;
        Require(TIFFGetField(in, TagQuorvaneSubfileData, &value) == 1 && value == 4242,
                "QuorvaneSubfileData read back");
        bool present = false;
        Require(PartialOffsets(in, present) == std::vector<std::uint32_t>({5, 6}),
                "QuorvanePartialTileOffsets read back");
        Require(PrintDirectory(in).find("Quorvane Tags\n") != std::string::npos, "print hook");
        CloseTiff(in);

        TIFF* again = OpenStitcherTiff(three, "r");
        Require(again != nullptr && TIFFReadDirectory(again) == 1, "second directory");
        Require(TIFFGetField(again, TagQuorvaneSubfileData, &value) == 0,
                "absent tag is not found");
        CloseTiff(again);
    };
    InFreshProcess(folder, [&] {
        Tessaly::Orvo::InstallTagExtender();
        InstallPrivateTagExtender();
        exercise();
    });
    InFreshProcess(folder, [&] {
        InstallPrivateTagExtender();
        Tessaly::Orvo::InstallTagExtender();
        exercise();
    });
}

TEST(PrivateTagRecord, ValuesBelongToTheirDirectoryOnly) {
    test::TemporaryFolder folder;
    TiffHandle tif(OpenStitcherTiff(WriteThreeDirectories(folder), "r"));
    ASSERT_NE(tif, nullptr);

    std::uint32_t value = 0;
    bool present = false;
    EXPECT_EQ(TIFFGetField(tif.get(), TagQuorvaneSubfileData, &value), 1);
    EXPECT_EQ(value, 111u);
    EXPECT_EQ(PartialOffsets(tif.get(), present), std::vector<std::uint32_t>({1, 2, 3}));
    EXPECT_TRUE(present);

    // The second directory holds other custom tags (DocumentName), which libtiff's own check
    // lets through to the get hook; the hook must still report the absent tag as absent.
    ASSERT_EQ(TIFFReadDirectory(tif.get()), 1);
    value = 0;
    EXPECT_EQ(TIFFGetField(tif.get(), TagQuorvaneSubfileData, &value), 0);
    EXPECT_EQ(value, 0u);
    EXPECT_EQ(PartialOffsets(tif.get(), present), std::vector<std::uint32_t>({9}));
    EXPECT_TRUE(present);

    ASSERT_EQ(TIFFReadDirectory(tif.get()), 1);
    EXPECT_EQ(TIFFGetField(tif.get(), TagQuorvaneSubfileData, &value), 0);
    PartialOffsets(tif.get(), present);
    EXPECT_FALSE(present);
    const char* name = nullptr;
    ASSERT_EQ(TIFFGetField(tif.get(), TIFFTAG_DOCUMENTNAME, &name), 1);
    EXPECT_STREQ(name, "third");

    // Going back reads the first directory's values again.
    ASSERT_EQ(TIFFSetDirectory(tif.get(), 0), 1);
    EXPECT_EQ(TIFFGetField(tif.get(), TagQuorvaneSubfileData, &value), 1);
    EXPECT_EQ(value, 111u);
}

TEST(PrivateTagRecord, PrintsItsTagsAfterLibtiffsOwnOutput) {
    test::TemporaryFolder folder;
    TiffBuilder builder;
    AddPixel(builder, {builder.Long(TagQuorvaneSubfileData, {77})});
    AddPixel(builder, {});
    AddPixel(builder, {builder.Long(TagQuorvaneSubfileData, {78}),
                       builder.Long(TagQuorvanePartialTileOffsets, {4, 5, 6})});
    const std::string path = folder.Path("print.tif");
    builder.Write(path);
    TiffHandle tif(OpenStitcherTiff(path, "r"));
    ASSERT_NE(tif, nullptr);

    const std::string only = PrintDirectory(tif.get());
    const std::string tail = "Quorvane Tags\n  Quorvane Subfile Data: present\n";
    ASSERT_GE(only.size(), tail.size());
    EXPECT_EQ(only.substr(only.size() - tail.size()), tail) << only;
    // libtiff's own lines come first, its custom tag among them.
    EXPECT_EQ(only.find("TIFF Directory at offset"), 0u) << only;
    EXPECT_LT(only.find("Image Width: 1"), only.find("Quorvane Tags"));
    EXPECT_LT(only.find("QuorvaneSubfileData: 77"), only.find("Quorvane Tags"));

    ASSERT_EQ(TIFFReadDirectory(tif.get()), 1);
    EXPECT_EQ(PrintDirectory(tif.get()).find("Quorvane"), std::string::npos);

    ASSERT_EQ(TIFFReadDirectory(tif.get()), 1);
    const std::string both = PrintDirectory(tif.get());
    const std::string bothTail = "Quorvane Tags\n  Quorvane Subfile Data: present\n"
                                 "  Quorvane Partial Tile Offsets: 3 set\n";
    ASSERT_GE(both.size(), bothTail.size());
    EXPECT_EQ(both.substr(both.size() - bothTail.size()), bothTail) << both;
    // Installed once for the directory although two private tags were set.
    EXPECT_EQ(both.find("Quorvane Tags"), both.rfind("Quorvane Tags"));
}

TEST(PrivateTagRecord, SettingPartialTileOffsetsTwiceKeepsTheSecondArray) {
    test::TemporaryFolder folder;
    const std::string path = folder.Path("set.tif");
    {
        TiffHandle tif(OpenStitcherTiff(path, "w"));
        ASSERT_NE(tif, nullptr);
        std::uint32_t first[3] = {1, 2, 3};
        std::uint32_t second[2] = {70, 80};
        unsigned char pixel = 9;
        ASSERT_EQ(TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, 1u), 1);
        ASSERT_EQ(TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, 1u), 1);
        ASSERT_EQ(TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, 8), 1);
        ASSERT_EQ(TIFFSetField(tif.get(), TagQuorvanePartialTileOffsets, 3, first), 1);
        ASSERT_EQ(TIFFSetField(tif.get(), TagQuorvanePartialTileOffsets, 2, second), 1);
        // The record holds a copy: changing the caller's array afterwards changes nothing.
        second[0] = 0;
        bool present = false;
        EXPECT_EQ(PartialOffsets(tif.get(), present), std::vector<std::uint32_t>({70, 80}));
        ASSERT_EQ(TIFFSetField(tif.get(), TagQuorvaneSubfileData, 5u), 1);
        ASSERT_EQ(TIFFSetField(tif.get(), TagQuorvaneSubfileData, 6u), 1);
        ASSERT_EQ(TIFFWriteEncodedStrip(tif.get(), 0, &pixel, 1), 1);
        ASSERT_EQ(TIFFWriteDirectory(tif.get()), 1);
    }
    TiffHandle tif(OpenStitcherTiff(path, "r"));
    ASSERT_NE(tif, nullptr);
    bool present = false;
    EXPECT_EQ(PartialOffsets(tif.get(), present), std::vector<std::uint32_t>({70, 80}));
    std::uint32_t value = 0;
    EXPECT_EQ(TIFFGetField(tif.get(), TagQuorvaneSubfileData, &value), 1);
    EXPECT_EQ(value, 6u);

    // What libtiff wrote, seen by an independent reader.
    const std::string script =
        std::string(ORVO_PYTHON) +
        " -c \"import tifffile,sys; t=tifffile.TiffFile(sys.argv[1]).pages[0]"
        ".tags; print(t[34953].value, list(t[34954].value))\" " +
        path;
    std::FILE* pipe = popen(script.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[256] = {};
    const bool got = std::fgets(line, sizeof line, pipe) != nullptr;
    EXPECT_EQ(pclose(pipe), 0);
    ASSERT_TRUE(got);
    EXPECT_STREQ(line, "6 [70, 80]\n");
}

TEST(PrivateTagRecord, HandlesOpenedElsewhereKeepTheValuesInLibtiff) {
    test::TemporaryFolder folder;
    const std::string path = WriteThreeDirectories(folder);
    InstallPrivateTagExtender();
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tif, nullptr);
    std::uint32_t value = 0;
    EXPECT_EQ(TIFFGetField(tif, TagQuorvaneSubfileData, &value), 1);
    EXPECT_EQ(value, 111u);
    bool present = false;
    EXPECT_EQ(PartialOffsets(tif, present), std::vector<std::uint32_t>({1, 2, 3}));
    EXPECT_EQ(ReadTiffBlock(tif, 0, &value, 4), true);
    EXPECT_EQ(value, 0x002A4949u);
    TIFFClose(tif);
}

TEST(TiffHandles, ReadPrivateBlocksFromTheMappingOrThroughTheHandle) {
    test::TemporaryFolder folder;
    TiffBuilder builder;
    const Bytes block = {'b', 'l', 'o', 'c', 'k', '!'};
    const std::uint32_t at = builder.Append(block);
    test::LayerSpec layer;
    layer.width = 2;
    layer.height = 3;
    layer.bitsPerSample = {8};
    layer.rows = {{1, 2}, {3, 4}, {5, 6}};
    layer.subfileData = at;
    test::AddLayer(builder, layer);
    const std::string path = folder.Path("blocks.tif");
    builder.Write(path);
    const std::uint64_t size = builder.Size();

    for (const char* mode : {"r", "rm"}) {
        SCOPED_TRACE(mode);
        TiffHandle tif(OpenStitcherTiff(path, mode));
        ASSERT_NE(tif, nullptr);
        EXPECT_EQ(IsTiffMapped(tif.get()), std::string(mode) == "r");
        EXPECT_EQ(TiffFileSize(tif.get()), size);

        // Blocks read between rows leave libtiff's reading undisturbed.
        unsigned char row[2];
        Bytes got(block.size());
        for (std::uint32_t y = 0; y < 3; ++y) {
            ASSERT_TRUE(ReadTiffBlock(tif.get(), at, got.data(), got.size()));
            EXPECT_EQ(got, block);
            ASSERT_EQ(TIFFReadScanline(tif.get(), row, y, 0), 1);
            EXPECT_EQ(row[0], 2 * y + 1);
            EXPECT_EQ(row[1], 2 * y + 2);
        }

        unsigned char last[4];
        EXPECT_TRUE(ReadTiffBlock(tif.get(), size - 4, last, 4));
        EXPECT_FALSE(ReadTiffBlock(tif.get(), size - 3, last, 4));
        EXPECT_FALSE(ReadTiffBlock(tif.get(), size + 1, last, 0));
        EXPECT_FALSE(ReadTiffBlock(tif.get(), ~std::uint64_t(0) - 1, last, 4));
        EXPECT_TRUE(ReadTiffBlock(tif.get(), size, last, 0));
    }
}

TEST(TiffHandles, OpenFilesThatAreAlreadyOpen) {
    test::TemporaryFolder folder;
    const std::string path = WriteThreeDirectories(folder);
    TiffHandle tif(
        OpenStitcherTiff(platform::File::Open(path, platform::FileAccess::Read), "three", "r"));
    ASSERT_NE(tif, nullptr);
    EXPECT_STREQ(TIFFFileName(tif.get()), "three");
    EXPECT_TRUE(IsTiffMapped(tif.get()));
    std::uint32_t value = 0;
    EXPECT_EQ(TIFFGetField(tif.get(), TagQuorvaneSubfileData, &value), 1);
    EXPECT_EQ(value, 111u);
    EXPECT_EQ(OpenStitcherTiff(platform::File(), "closed", "r"), nullptr);
    const std::string text = folder.Path("text");
    test::WriteFileBytes(text, {'n', 'o', 't', ' ', 'T', 'I', 'F', 'F'});
    EXPECT_EQ(OpenStitcherTiff(platform::File::Open(text, platform::FileAccess::Read), "text", "r"),
              nullptr);
}

TEST(TiffHandles, KeepLibtiffsMessagesOffStandardError) {
    test::TemporaryFolder folder;
    const std::string notTiff = folder.Path("not.tif");
    test::WriteFileBytes(notTiff, {'I', 'I', 42, 0, 0xFF, 0xFF, 0xFF, 0x7F});
    TiffBuilder builder;
    const std::uint32_t directory =
        AddPixel(builder, {builder.Long(65000, {1}), builder.Short(TIFFTAG_PHOTOMETRIC, {77})});
    builder.PatchU32(builder.NextLinkOf(directory), 0xFFFFFF00u);
    const std::string odd = folder.Path("odd.tif");
    builder.Write(odd);

    testing::internal::CaptureStderr();
    TIFF* none = OpenStitcherTiff(notTiff, "r");
    TIFF* missing = OpenStitcherTiff(folder.Path("missing.tif"), "r");
    TiffHandle tif(OpenStitcherTiff(odd, "r"));
    const bool nextRead = tif != nullptr && TIFFReadDirectory(tif.get()) == 1;
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(missing, nullptr);
    EXPECT_NE(tif, nullptr);
    EXPECT_FALSE(nextRead);
    EXPECT_EQ(said, "");
}
