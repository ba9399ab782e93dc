// The plug-in's writer, checked on its files: the directory chain and entries with the
// test's own TIFF walker, the private blocks against bytes assembled here from the format's
// rules, the pixels through libtiff and Python's tifffile, the property list through
// Python's plistlib.
#include "orvo/format.h"
#include "orvo/private_tags.h"
#include "orvo/reader.h"
#include "orvo/tessaly_orvo_file.h"
#include "platform/kernel32.h"
#include "platform/text.h"

#include "classic_tiff.h"
#include "tiff_builder.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

using namespace Tessaly::Orvo;
using namespace classic_tiff;
using test::ReadFileBytes;
namespace fs = std::filesystem;

namespace {

const std::uint16_t TagImageWidth = 256, TagImageLength = 257, TagBitsPerSample = 258,
                    TagCompression = 259, TagPhotometric = 262, TagDocumentName = 269,
                    TagStripOffsets = 273, TagSamplesPerPixel = 277, TagRowsPerStrip = 278,
                    TagStripByteCounts = 279, TagXResolution = 282, TagYResolution = 283,
                    TagPlanarConfig = 284, TagResolutionUnit = 296, TagSoftware = 305,
                    TagDateTime = 306, TagArtist = 315, TagCopyright = 33432,
                    TagSubfileData = 34953;

// Pixel values that differ in every byte from row to row and pixel to pixel, so that a
// swapped row, a shifted strip or a wrong byte order shows. The Python checks use the same
// formulas.
std::uint8_t ColourAt(unsigned x, unsigned y, unsigned c) {
    return static_cast<std::uint8_t>(x * 7 + y * 13 + c * 50 + 1);
}
std::uint32_t DepthAt(unsigned x, unsigned y) {
    if ((x + y) % 5 == 4) {
        return NoDepthCode;
    }
    return (y * 0x01000193u) ^ (x * 0x9E3779B1u);
}
std::uint16_t IdAt(unsigned x, unsigned y) {
    return DepthAt(x, y) == NoDepthCode ? 0 : static_cast<std::uint16_t>(x * 31 + y * 7 + 1);
}

const test::Order littleEndian;

Bytes ColourRowBytes(unsigned width, unsigned y) {
    Bytes row;
    for (unsigned x = 0; x < width; ++x) {
        for (unsigned c = 0; c < 3; ++c) {
            row.push_back(ColourAt(x, y, c));
        }
    }
    return row;
}
Bytes DepthRowBytes(unsigned width, unsigned y) {
    Bytes row;
    for (unsigned x = 0; x < width; ++x) {
        littleEndian.U32(row, DepthAt(x, y));
    }
    return row;
}
Bytes IdRowBytes(unsigned width, unsigned y) {
    Bytes row;
    for (unsigned x = 0; x < width; ++x) {
        littleEndian.U16(row, IdAt(x, y));
    }
    return row;
}

void FillRow(OrvoFile& file, unsigned width, unsigned y) {
    for (unsigned x = 0; x < width; ++x) {
        for (unsigned c = 0; c < 3; ++c) {
            file.ColourRow()[3 * x + c] = ColourAt(x, y, c);
        }
        file.DepthRow()[x] = DepthAt(x, y);
        file.IdRow()[x] = IdAt(x, y);
    }
}

const Bytes colourBlockWithoutText = {0, 0, 0, 0, 1, 0, 3, 0, 5, 0, 0, 0, 0, 0, 0, 0};

Bytes Slice(const Bytes& bytes, std::size_t at, std::size_t size) {
    if (at + size > bytes.size()) {
        ADD_FAILURE() << size << " bytes at " << at << " run past the end (" << bytes.size() << ")";
        return Bytes();
    }
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                 bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
}

// What a call throws, or "(nothing thrown)".
std::string WhatOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "(nothing thrown)";
}

std::wstring Wide(const fs::path& path) {
    return platform::AnsiToWide(path.string());
}

int RunPython(const std::string& arguments) {
    const std::string command = std::string(ORVO_PYTHON) + " " + ORVO_SOURCE_DIR +
                                "/orvo/tests/check_orvo_imp.py " + arguments;
    return std::system(command.c_str());
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

class OrvoFileImpTest : public testing::Test {
protected:
    fs::path Path(const std::string& name) const { return folder_.Path(name); }

    static std::unique_ptr<OrvoFile> Create(const fs::path& path, std::uint16_t width,
                                            std::uint16_t height,
                                            const std::wstring& software = L"Orvo test") {
        return CreateOrvoFile(Wide(path), width, height, software, L"", L"", L"",
                              test::SampleView());
    }

    static void WriteRows(OrvoFile& file, unsigned width, unsigned from, unsigned to) {
        for (unsigned y = from; y < to; ++y) {
            FillRow(file, width, y);
            file.WriteRow();
        }
    }

    test::TemporaryFolder folder_;
};

// The strips of one directory hold the expected rows; rows not yet written have no bytes.
void ExpectStrips(const Bytes& bytes, const Directory& directory, unsigned height,
                  unsigned rowsWritten, const std::function<Bytes(unsigned)>& row) {
    const Entry* offsets = directory.Find(TagStripOffsets);
    const Entry* counts = directory.Find(TagStripByteCounts);
    ASSERT_NE(offsets, nullptr);
    ASSERT_NE(counts, nullptr);
    EXPECT_EQ(offsets->type, TypeLong);
    ASSERT_EQ(offsets->count, height);
    ASSERT_EQ(counts->count, height);
    const std::vector<std::uint32_t> offsetValues = Numbers(bytes, *offsets);
    const std::vector<std::uint32_t> countValues = Numbers(bytes, *counts);
    for (unsigned y = 0; y < height; ++y) {
        if (y < rowsWritten) {
            const Bytes expected = row(y);
            EXPECT_EQ(countValues[y], expected.size()) << "row " << y;
            EXPECT_EQ(Slice(bytes, offsetValues[y], expected.size()), expected) << "row " << y;
        } else {
            EXPECT_EQ(countValues[y], 0u) << "row " << y;
            EXPECT_EQ(offsetValues[y], 0u) << "row " << y;
        }
    }
}

// libtiff, reading the file as any TIFF program would, finds the written rows.
void ExpectLibtiffReadsRows(const fs::path& path, unsigned width, unsigned rowsWritten,
                            std::uint32_t layers) {
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(path.c_str(), "r"), TIFFClose);
    ASSERT_TRUE(tiff);
    tdir_t directories = 0;
    for (std::uint32_t bit : {LayerColour, LayerDepth, LayerObjectId}) {
        if ((layers & bit) == 0) {
            continue;
        }
        ASSERT_TRUE(TIFFSetDirectory(tiff.get(), directories)) << "directory " << directories;
        ++directories;
        std::vector<unsigned char> buffer(static_cast<std::size_t>(TIFFScanlineSize(tiff.get())));
        for (unsigned y = 0; y < rowsWritten; ++y) {
            ASSERT_EQ(TIFFReadScanline(tiff.get(), buffer.data(), y), 1) << "row " << y;
            const Bytes expected = bit == LayerColour  ? ColourRowBytes(width, y)
                                   : bit == LayerDepth ? DepthRowBytes(width, y)
                                                       : IdRowBytes(width, y);
            EXPECT_EQ(Bytes(buffer.begin(), buffer.end()), expected) << "layer " << bit;
        }
    }
    EXPECT_EQ(TIFFNumberOfDirectories(tiff.get()), directories);
}

} // namespace

TEST_F(OrvoFileImpTest, ConstructedAndDestroyedWithoutRowsLeavesAHeaderWithoutDirectories) {
    const fs::path path = Path("empty.orv");
    Create(path, 4, 4).reset();
    EXPECT_EQ(ReadFileBytes(path), (Bytes{'I', 'I', 42, 0, 0, 0, 0, 0}));
}

TEST_F(OrvoFileImpTest, ThreeLayersWithTheirEntriesStripsAndBlocks) {
    const fs::path path = Path("three.orv");
    const unsigned width = 5, height = 3; // a colour row of 15 bytes: odd on purpose
    const std::time_t before = std::time(nullptr);
    testing::internal::CaptureStderr();
    {
        std::unique_ptr<OrvoFile> file = CreateOrvoFile(Wide(path), width, height, L"Orvo test",
                                                        L"doc", L"", L"(c) Me", test::SampleView());
        WriteRows(*file, width, 0, height);
        file->AddObject(7, 255, 128, 1, L"Cup");
        file->AddObject(9, 10, 20, 30, L"");
        file->AddObject(300, 0, 0, 255, std::wstring(1, wchar_t(0x20AC)) + L"1");
        file->Close();
    }
    // A plug-in lives in a GUI host: a normal write says nothing on standard error.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const Bytes bytes = ReadFileBytes(path);
    const std::vector<Directory> chain = ReadChain(bytes);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[2].next, 0u);

    const Directory& colour = chain[0];
    EXPECT_EQ(colour.Tags(),
              (std::vector<std::uint16_t>{
                  TagImageWidth, TagImageLength, TagBitsPerSample, TagCompression, TagPhotometric,
                  TagDocumentName, TagStripOffsets, TagSamplesPerPixel, TagRowsPerStrip,
                  TagStripByteCounts, TagXResolution, TagYResolution, TagPlanarConfig,
                  TagResolutionUnit, TagSoftware, TagDateTime, TagCopyright, TagSubfileData}));
    EXPECT_EQ(colour.Find(TagImageWidth)->type, TypeShort);
    EXPECT_EQ(Number(bytes, *colour.Find(TagImageWidth)), width);
    EXPECT_EQ(colour.Find(TagImageLength)->type, TypeShort);
    EXPECT_EQ(Number(bytes, *colour.Find(TagImageLength)), height);
    EXPECT_EQ(Numbers(bytes, *colour.Find(TagBitsPerSample)),
              (std::vector<std::uint32_t>{8, 8, 8}));
    EXPECT_EQ(Number(bytes, *colour.Find(TagCompression)), 1u);
    EXPECT_EQ(Number(bytes, *colour.Find(TagPhotometric)), 2u);
    EXPECT_EQ(AsciiBytes(bytes, *colour.Find(TagDocumentName)), std::string("doc \0", 5));
    EXPECT_EQ(Number(bytes, *colour.Find(TagSamplesPerPixel)), 3u);
    EXPECT_EQ(Number(bytes, *colour.Find(TagRowsPerStrip)), 1u);
    EXPECT_EQ(colour.Find(TagStripByteCounts)->type, TypeShort);
    EXPECT_EQ(Number(bytes, *colour.Find(TagPlanarConfig)), 1u);
    EXPECT_EQ(AsciiBytes(bytes, *colour.Find(TagSoftware)), std::string("Orvo test\0", 10));
    EXPECT_EQ(AsciiBytes(bytes, *colour.Find(TagCopyright)), std::string("(c) Me\0", 7));

    // DateTime: UTC, "YYYY:MM:DD HH:MM:SS", taken while the file was written.
    const Entry* dateTime = colour.Find(TagDateTime);
    ASSERT_EQ(dateTime->count, 20u);
    const std::string stamp = AsciiBytes(bytes, *dateTime);
    std::tm parsed = {};
    ASSERT_NE(strptime(stamp.c_str(), "%Y:%m:%d %H:%M:%S", &parsed), nullptr) << stamp;
    const std::time_t written = timegm(&parsed);
    EXPECT_GE(written, before - 1);
    EXPECT_LE(written, std::time(nullptr) + 1);

    ExpectStrips(bytes, colour, height, height,
                 [&](unsigned y) { return ColourRowBytes(width, y); });
    EXPECT_EQ(Slice(bytes, Number(bytes, *colour.Find(TagSubfileData)), 16),
              colourBlockWithoutText);

    const std::vector<std::uint16_t> layerTags = {
        TagImageWidth,      TagImageLength,  TagBitsPerSample,   TagCompression,
        TagPhotometric,     TagStripOffsets, TagSamplesPerPixel, TagRowsPerStrip,
        TagStripByteCounts, TagPlanarConfig, TagSubfileData};
    const Directory& depth = chain[1];
    EXPECT_EQ(depth.Tags(), layerTags);
    EXPECT_EQ(Number(bytes, *depth.Find(TagPhotometric)), 1u); // BlackIsZero
    EXPECT_EQ(Number(bytes, *depth.Find(TagBitsPerSample)), 32u);
    EXPECT_EQ(Number(bytes, *depth.Find(TagSamplesPerPixel)), 1u);
    ExpectStrips(bytes, depth, height, height, [&](unsigned y) { return DepthRowBytes(width, y); });
    const Bytes depthBlock = test::EncodePerspectiveBlock(littleEndian, test::SampleView());
    EXPECT_EQ(Slice(bytes, Number(bytes, *depth.Find(TagSubfileData)), depthBlock.size()),
              depthBlock);

    const Directory& ids = chain[2];
    EXPECT_EQ(ids.Tags(), layerTags);
    EXPECT_EQ(Number(bytes, *ids.Find(TagBitsPerSample)), 16u);
    EXPECT_EQ(Number(bytes, *ids.Find(TagPhotometric)), 1u);
    ExpectStrips(bytes, ids, height, height, [&](unsigned y) { return IdRowBytes(width, y); });

    // The object-id block comes last in the file; the records before it, newest first, with
    // no padding between them (the first record is 13 bytes long).
    const std::uint32_t idBlock = Number(bytes, *ids.Find(TagSubfileData));
    EXPECT_EQ(idBlock + 16u, bytes.size());
    EXPECT_EQ(Slice(bytes, idBlock, 8), (Bytes{2, 0, 0, 0, 1, 0, 1, 0}));
    EXPECT_EQ(U32(bytes, idBlock + 8), 3u);
    const std::vector<ObjectRecord> records = ObjectTable(bytes, idBlock);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].id, 300);
    EXPECT_EQ(records[0].name, "\xE2\x82\xAC"
                               "1");
    EXPECT_EQ(records[0].offset + 9u + 5u, idBlock);
    EXPECT_EQ(records[1].id, 9);
    EXPECT_EQ(records[1].name, "");
    EXPECT_EQ(Slice(bytes, records[1].offset + 4, 6), (Bytes{9, 0, 10, 20, 30, 0}));
    EXPECT_EQ(records[1].offset + 10u, records[0].offset);
    EXPECT_EQ(records[2].id, 7);
    EXPECT_EQ(records[2].name, "Cup");
    EXPECT_EQ((Bytes{records[2].red, records[2].green, records[2].blue}), (Bytes{255, 128, 1}));
    EXPECT_EQ(records[2].offset + 13u, records[1].offset);
    EXPECT_EQ(records[2].previous, 0u);

    ExpectLibtiffReadsRows(path, width, height, LayerAll);
}

TEST_F(OrvoFileImpTest, IsAValidTiffAfterEveryRow) {
    const fs::path path = Path("rows.orv");
    const unsigned width = 7, height = 6;
    std::unique_ptr<OrvoFile> file = Create(path, width, height);
    std::vector<std::uint32_t> directoryOffsets;
    for (unsigned k = 1; k <= height; ++k) {
        SCOPED_TRACE("after row " + std::to_string(k));
        WriteRows(*file, width, k - 1, k);
        const Bytes bytes = ReadFileBytes(path);
        const std::vector<Directory> chain = ReadChain(bytes);
        ASSERT_EQ(chain.size(), 3u);
        // Rewritten in place: the directories never move, and the blocks appended behind
        // them are never overwritten.
        std::vector<std::uint32_t> offsets;
        for (const Directory& directory : chain) {
            offsets.push_back(directory.offset);
        }
        const std::uint32_t colourAt = Number(bytes, *chain[0].Find(TagSubfileData));
        const std::uint32_t depthAt = Number(bytes, *chain[1].Find(TagSubfileData));
        if (k == 1) {
            directoryOffsets = offsets;
        }
        EXPECT_EQ(offsets, directoryOffsets);
        EXPECT_EQ(Slice(bytes, colourAt, 16), colourBlockWithoutText);
        EXPECT_EQ(Slice(bytes, depthAt, 212),
                  test::EncodePerspectiveBlock(littleEndian, test::SampleView()));
        EXPECT_EQ(Number(bytes, *chain[2].Find(TagSubfileData)), 0u);
        ExpectStrips(bytes, chain[0], height, k,
                     [&](unsigned y) { return ColourRowBytes(width, y); });
        ExpectStrips(bytes, chain[1], height, k,
                     [&](unsigned y) { return DepthRowBytes(width, y); });
        ExpectStrips(bytes, chain[2], height, k, [&](unsigned y) { return IdRowBytes(width, y); });
        ExpectLibtiffReadsRows(path, width, k, LayerAll);
        if (k == 2 || k == height) {
            EXPECT_EQ(RunPython("pages " + Quoted(path) + " " + std::to_string(width) + " " +
                                std::to_string(height) + " " + std::to_string(k) + " 7"),
                      0);
        }
    }
    file.reset();
    const Bytes closed = ReadFileBytes(path);
    const std::vector<Directory> chain = ReadChain(closed);
    ASSERT_EQ(chain.size(), 3u);
    const std::uint32_t idBlock = Number(closed, *chain[2].Find(TagSubfileData));
    EXPECT_EQ(Slice(closed, idBlock, 16), (Bytes{2, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(OrvoFileImpTest, ColourOnlyGivesOneDirectoryAndNoObjectIdBlock) {
    const fs::path path = Path("colour.orv");
    {
        std::unique_ptr<OrvoFile> file = Create(path, 3, 2);
        file->SetLayers(LayerColour);
        WriteRows(*file, 3, 0, 2);
        file->AddObject(1, 1, 2, 3, L"Ab");
    }
    const Bytes bytes = ReadFileBytes(path);
    const std::vector<Directory> chain = ReadChain(bytes);
    ASSERT_EQ(chain.size(), 1u);
    EXPECT_EQ(chain[0].next, 0u);
    EXPECT_EQ(Numbers(bytes, *chain[0].Find(TagBitsPerSample)),
              (std::vector<std::uint32_t>{8, 8, 8}));
    // The record is the last thing in the file: no object-id block follows it.
    const Bytes tail = Slice(bytes, bytes.size() - 12, 12);
    EXPECT_EQ(tail, (Bytes{0, 0, 0, 0, 1, 0, 1, 2, 3, 'A', 'b', 0}));
    ExpectLibtiffReadsRows(path, 3, 2, LayerColour);
}

TEST_F(OrvoFileImpTest, DepthAndObjectIdGetTheFirstTwoDirectories) {
    const fs::path path = Path("depth_id.orv");
    {
        std::unique_ptr<OrvoFile> file = Create(path, 4, 3);
        file->SetLayers(LayerDepth | LayerObjectId);
        WriteRows(*file, 4, 0, 3);
        file->AddObject(5, 9, 8, 7, L"Lamp");
        file->Close();
    }
    const Bytes bytes = ReadFileBytes(path);
    const std::vector<Directory> chain = ReadChain(bytes);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(Number(bytes, *chain[0].Find(TagBitsPerSample)), 32u);
    EXPECT_EQ(Number(bytes, *chain[1].Find(TagBitsPerSample)), 16u);
    EXPECT_EQ(Number(bytes, *chain[0].Find(TagPhotometric)), 1u); // BlackIsZero
    EXPECT_EQ(Number(bytes, *chain[1].Find(TagPhotometric)), 1u);
    // Close finished directory 1, the object-id layer, and left the depth layer's block alone.
    const Bytes depthBlock = test::EncodePerspectiveBlock(littleEndian, test::SampleView());
    EXPECT_EQ(Slice(bytes, Number(bytes, *chain[0].Find(TagSubfileData)), depthBlock.size()),
              depthBlock);
    const std::uint32_t idBlock = Number(bytes, *chain[1].Find(TagSubfileData));
    EXPECT_EQ(U32(bytes, idBlock), KindObjectId);
    const std::vector<ObjectRecord> records = ObjectTable(bytes, idBlock);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, "Lamp");
    ExpectLibtiffReadsRows(path, 4, 3, LayerDepth | LayerObjectId);
}

TEST_F(OrvoFileImpTest, ASecondCloseDoesNothing) {
    const fs::path path = Path("twice.orv");
    std::unique_ptr<OrvoFile> file = Create(path, 2, 2);
    WriteRows(*file, 2, 0, 2);
    file->AddObject(1, 0, 0, 0, L"x");
    file->Close();
    const Bytes first = ReadFileBytes(path);
    EXPECT_NO_THROW(file->Close());
    // A closed writer refuses more work and leaves the file alone.
    EXPECT_THROW(file->WriteRow(), std::runtime_error);
    EXPECT_THROW(file->AddObject(2, 0, 0, 0, L"y"), std::runtime_error);
    file.reset();
    EXPECT_EQ(ReadFileBytes(path), first);
    EXPECT_EQ(ReadChain(first).size(), 3u);
}

TEST_F(OrvoFileImpTest, TextTagsAreUtf8PaddedToFourBytesAndLeftOutWhenEmpty) {
    const fs::path path = Path("texts.orv");
    // e-acute (2 bytes), a surrogate pair (one 4-byte character), a lone surrogate.
    const std::wstring artist = platform::AnsiToWide("\xC3\xA9");
    const std::wstring copyright =
        std::wstring{wchar_t(0xD83D), wchar_t(0xDE00), wchar_t(0xD800), L'!'};
    {
        std::unique_ptr<OrvoFile> file =
            CreateOrvoFile(Wide(path), 2, 1, L"3d", L"", artist, copyright, test::SampleView());
        WriteRows(*file, 2, 0, 1);
    }
    const Bytes bytes = ReadFileBytes(path);
    const std::vector<Directory> chain = ReadChain(bytes);
    ASSERT_EQ(chain.size(), 3u);
    const Directory& colour = chain[0];
    EXPECT_EQ(colour.Find(TagDocumentName), nullptr);
    const Entry* software = colour.Find(TagSoftware);
    ASSERT_NE(software, nullptr);
    EXPECT_EQ(software->count, 5u);
    EXPECT_EQ(AsciiBytes(bytes, *software), std::string("3d  \0", 5));
    EXPECT_EQ(AsciiBytes(bytes, *colour.Find(TagArtist)), std::string("\xC3\xA9  \0", 5));
    EXPECT_EQ(AsciiBytes(bytes, *colour.Find(TagCopyright)),
              std::string("\xF0\x9F\x98\x80\xED\xA0\x80!\0", 9));

    // No software text: no Software entry at all.
    const fs::path bare = Path("bare.orv");
    CreateOrvoFile(Wide(bare), 2, 1, L"", L"", L"", L"", test::SampleView())->WriteRow();
    const Bytes bareBytes = ReadFileBytes(bare);
    const std::vector<Directory> bareChain = ReadChain(bareBytes);
    ASSERT_FALSE(bareChain.empty());
    EXPECT_EQ(bareChain[0].Find(TagSoftware), nullptr);
    EXPECT_EQ(bareChain[0].Find(TagArtist), nullptr);
    EXPECT_EQ(bareChain[0].Find(TagCopyright), nullptr);
}

TEST_F(OrvoFileImpTest, ResolutionDefaultsToNinetySixPerInchAndTakesOtherUnitsAsCentimetres) {
    const auto resolution = [&](const fs::path& path, int x, int y, int unit, bool set) {
        {
            std::unique_ptr<OrvoFile> file = Create(path, 1, 1);
            if (set) {
                file->SetResolution(x, y, unit);
            }
            WriteRows(*file, 1, 0, 1);
        }
        const Bytes bytes = ReadFileBytes(path);
        const std::vector<Directory> chain = ReadChain(bytes);
        std::vector<std::uint32_t> values;
        for (std::uint16_t tag : {TagXResolution, TagYResolution}) {
            const Entry* entry = chain.at(0).Find(tag);
            EXPECT_EQ(entry->type, TypeRational);
            values.push_back(U32(bytes, entry->valueField));
            values.push_back(U32(bytes, entry->valueField + 4));
        }
        values.push_back(Number(bytes, *chain.at(0).Find(TagResolutionUnit)));
        return values;
    };
    EXPECT_EQ(resolution(Path("default.orv"), 0, 0, 0, false),
              (std::vector<std::uint32_t>{96, 1, 96, 1, 2}));
    EXPECT_EQ(resolution(Path("cm.orv"), 300, 300, 2, true),
              (std::vector<std::uint32_t>{300, 1, 300, 1, 3}));
    EXPECT_EQ(resolution(Path("inch.orv"), 72, 150, 1, true),
              (std::vector<std::uint32_t>{72, 1, 150, 1, 2}));
}

TEST_F(OrvoFileImpTest, ReplacesAnExistingLongerFile) {
    const fs::path path = Path("existing.orv");
    {
        std::ofstream old(path, std::ios::binary);
        const std::string junk(200000, '\xAB');
        old << junk;
    }
    {
        std::unique_ptr<OrvoFile> file = Create(path, 2, 2);
        WriteRows(*file, 2, 0, 2);
    }
    const Bytes bytes = ReadFileBytes(path);
    ASSERT_LT(bytes.size(), 2000u);
    const std::vector<Directory> chain = ReadChain(bytes);
    ASSERT_EQ(chain.size(), 3u);
    // The file ends with the object-id block: nothing of the old file is left behind it.
    EXPECT_EQ(Number(bytes, *chain[2].Find(TagSubfileData)) + 16u, bytes.size());
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0xAB), 0);
}

TEST_F(OrvoFileImpTest, PastTheLastRowThrowsAndLeavesTheFileIntact) {
    const fs::path path = Path("extra.orv");
    std::unique_ptr<OrvoFile> file = Create(path, 3, 2);
    WriteRows(*file, 3, 0, 2);
    const Bytes before = ReadFileBytes(path);
    EXPECT_EQ(WhatOf([&] { file->WriteRow(); }), "more rows than the image height");
    EXPECT_EQ(ReadFileBytes(path), before);
    // A refused row is no failure: the file is still finished with its object table.
    file->AddObject(6, 1, 2, 3, L"Shelf");
    file->Close();
    ExpectLibtiffReadsRows(path, 3, 2, LayerAll);
    const Bytes bytes = ReadFileBytes(path);
    const std::vector<Directory> chain = ReadChain(bytes);
    ASSERT_EQ(chain.size(), 3u);
    const std::vector<ObjectRecord> records =
        ObjectTable(bytes, Number(bytes, *chain[2].Find(TagSubfileData)));
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].name, "Shelf");
}

// ---- The property list of the colour block ----

namespace {

struct ColourBlock {
    std::uint32_t offset = 0;
    std::uint16_t flag = 0;
    std::uint32_t textEnd = 0;
    std::uint32_t textLength = 0;
    std::string text;
    bool nulTerminated = false;
};

ColourBlock ReadColourBlock(const Bytes& bytes) {
    ColourBlock block;
    const std::vector<Directory> chain = ReadChain(bytes);
    if (chain.empty()) {
        ADD_FAILURE() << "no directory";
        return block;
    }
    block.offset = Number(bytes, *chain[0].Find(TagSubfileData));
    EXPECT_EQ(Slice(bytes, block.offset, 12),
              Bytes(colourBlockWithoutText.begin(), colourBlockWithoutText.begin() + 12));
    block.flag = U16(bytes, block.offset + 12);
    EXPECT_EQ(U16(bytes, block.offset + 14), 0);
    if (block.flag == 1) {
        block.textEnd = U32(bytes, block.offset + 16);
        block.textLength = U32(bytes, block.offset + 20);
        const Bytes text = Slice(bytes, block.offset + 24, block.textLength + 1);
        if (!text.empty()) {
            block.text.assign(text.begin(), text.end() - 1);
            block.nulTerminated = text.back() == 0;
        }
    }
    return block;
}

} // namespace

TEST_F(OrvoFileImpTest, NoLightDirectionMeansNoPropertyList) {
    const fs::path path = Path("nolight.orv");
    {
        std::unique_ptr<OrvoFile> file = Create(path, 2, 1);
        const double x = 1.0, zero = 0.0;
        file->SetLightDirection(&x, &zero, &zero);
        file->SetLightDirection(&zero, &zero, &zero); // back to none
        WriteRows(*file, 2, 0, 1);
    }
    const Bytes bytes = ReadFileBytes(path);
    const ColourBlock block = ReadColourBlock(bytes);
    EXPECT_EQ(block.flag, 0);
    // The first colour strip was appended right behind the 16-byte block.
    const std::vector<Directory> chain = ReadChain(bytes);
    EXPECT_EQ(Numbers(bytes, *chain.at(0).Find(TagStripOffsets)).at(0), block.offset + 16u);
}

TEST_F(OrvoFileImpTest, LightDirectionIsNormalisedIntoTheShadowsString) {
    const auto shadows = [&](const fs::path& path, double x, double y, double z) {
        {
            std::unique_ptr<OrvoFile> file = Create(path, 2, 1);
            file->SetLightDirection(&x, &y, &z);
            WriteRows(*file, 2, 0, 1);
        }
        const ColourBlock block = ReadColourBlock(ReadFileBytes(path));
        EXPECT_EQ(block.flag, 1);
        const std::string open = "<key>Shadows</key>\n<string>";
        const std::size_t at = block.text.find(open);
        if (at == std::string::npos) {
            return std::string("(none)");
        }
        const std::size_t start = at + open.size();
        return block.text.substr(start, block.text.find("</string>", start) - start);
    };
    EXPECT_EQ(shadows(Path("a.orv"), 3, 0, 4), "2 0.4 0.600000/0.000000/0.800000 0.0 0/0/0");
    EXPECT_EQ(shadows(Path("b.orv"), 0, 0, 2), "2 0.4 0.000000/0.000000/1.000000 0.0 0/0/0");
    EXPECT_EQ(shadows(Path("c.orv"), -1, -1, 0), "2 0.4 -0.707107/-0.707107/0.000000 0.0 0/0/0");
    // Squares that overflow or underflow a double still give the direction.
    EXPECT_EQ(shadows(Path("d.orv"), 3e200, 0, 4e200),
              "2 0.4 0.600000/0.000000/0.800000 0.0 0/0/0");
    EXPECT_EQ(shadows(Path("e.orv"), 0, -3e-200, 4e-200),
              "2 0.4 0.000000/-0.600000/0.800000 0.0 0/0/0");
}

TEST_F(OrvoFileImpTest, PropertyListCarriesTheEscapedFileNameAndItsExactLength) {
    // A name with every character XML reserves, and one outside ASCII.
    const fs::path path = Path("Tom & Jerry <final> \xC3\xA9.orv");
    {
        std::unique_ptr<OrvoFile> file = Create(path, 3, 2);
        const double x = 3, y = 0, z = 4;
        file->SetLightDirection(&x, &y, &z);
        WriteRows(*file, 3, 0, 2);
    }
    const Bytes bytes = ReadFileBytes(path);
    const ColourBlock block = ReadColourBlock(bytes);
    ASSERT_EQ(block.flag, 1);
    EXPECT_TRUE(block.nulTerminated);
    std::string escaped = path.string();
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"&", "&amp;"}, {"<", "&lt;"}, {">", "&gt;"}}) {
        for (std::size_t at = escaped.find(from); at != std::string::npos;
             at = escaped.find(from, at + to.size())) {
            escaped.replace(at, from.size(), to);
        }
    }
    const std::size_t directionLength = std::string("0.600000/0.000000/0.800000").size();
    EXPECT_EQ(block.textLength, 244 + escaped.size() + 43 + directionLength + 36);
    EXPECT_EQ(block.text.size(), block.textLength);
    EXPECT_EQ(block.textEnd - block.textLength, block.offset + 24u);
    EXPECT_EQ(bytes.at(block.textEnd), 0);
    EXPECT_NE(block.text.find("<string>" + escaped + "</string>"), std::string::npos);
    // The first colour strip was appended right behind the text's NUL.
    const std::vector<Directory> chain = ReadChain(bytes);
    EXPECT_EQ(Numbers(bytes, *chain.at(0).Find(TagStripOffsets)).at(0), block.textEnd + 1u);
    // A real property-list parser reads it back with the three keys in order.
    EXPECT_EQ(RunPython("plist " + Quoted(path) + " " + Quoted(path) +
                        " '2 0.4 0.600000/0.000000/0.800000 0.0 0/0/0'"),
              0);
}

TEST_F(OrvoFileImpTest, LightDirectionAfterTheFirstRowChangesNothing) {
    const fs::path path = Path("late.orv");
    {
        std::unique_ptr<OrvoFile> file = Create(path, 2, 2);
        WriteRows(*file, 2, 0, 1);
        const double one = 1.0;
        file->SetLightDirection(&one, &one, &one);
        WriteRows(*file, 2, 1, 2);
    }
    EXPECT_EQ(ReadColourBlock(ReadFileBytes(path)).flag, 0);
}

// ---- Failures ----

namespace {

// Lowers the file-size limit for the duration of a scope, so that writes beyond it fail
// with EFBIG instead of killing the process.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        active_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previousHandler_);
    }
    bool Active() const { return active_; }

private:
    rlimit saved_ = {};
    void (*previousHandler_)(int) = SIG_DFL;
    bool active_ = false;
};

// Grows a file to the given size without writing (a sparse file), as if the rows before had
// filled it. False where the file system cannot.
bool GrowSparse(const fs::path& path, std::uint64_t size) {
    return truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

} // namespace

TEST_F(OrvoFileImpTest, AFileThatCannotBeCreatedThrowsTheSystemsText) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(WhatOf([&] { Create(Path("missing") / "x.orv", 2, 2); }), std::strerror(ENOENT));
    if (fs::exists("/dev/full")) {
        EXPECT_EQ(WhatOf([&] { Create("/dev/full", 2, 2); }), std::strerror(ENOSPC));
    }
    EXPECT_EQ(WhatOf([&] { CreateOrvoFile(L"", 2, 2, L"", L"", L"", L"", test::SampleView()); }),
              std::strerror(ENOENT));
    // libtiff's own complaints stay away from the host's standard error.
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(OrvoFileImpTest, AShortWriteOfABlockThrowsTheSystemsTextAndStaysDestroyable) {
    const fs::path path = Path("short.orv");
    std::unique_ptr<OrvoFile> file = Create(path, 8, 2);
    WriteRows(*file, 8, 0, 2);
    const std::uintmax_t size = fs::file_size(path);
    testing::internal::CaptureStderr();
    {
        FileSizeLimit limit(size + 4);
        ASSERT_TRUE(limit.Active());
        EXPECT_EQ(WhatOf([&] { file->AddObject(1, 2, 3, 4, L"a long enough name"); }),
                  std::strerror(EFBIG));
    }
    // With room again, the failed writer still writes nothing more when it is destroyed.
    const Bytes afterFailure = ReadFileBytes(path);
    EXPECT_NO_THROW(file.reset());
    EXPECT_EQ(ReadFileBytes(path), afterFailure);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // What was there before the failure is still a readable TIFF.
    ExpectLibtiffReadsRows(path, 8, 2, LayerAll);
}

TEST_F(OrvoFileImpTest, AFailingStripWriteThrowsLibtiffCallFailedAndEndsTheWriter) {
    const fs::path path = Path("strip.orv");
    std::unique_ptr<OrvoFile> file = Create(path, 64, 4);
    WriteRows(*file, 64, 0, 1);
    const std::uintmax_t size = fs::file_size(path);
    testing::internal::CaptureStderr();
    {
        FileSizeLimit limit(size + 10);
        ASSERT_TRUE(limit.Active());
        EXPECT_EQ(WhatOf([&] { WriteRows(*file, 64, 1, 2); }), "libtiff call failed");
    }
    // With room again, the failed writer takes no more rows or objects, and destroying it
    // flushes nothing of the failed row: the file stays the valid TIFF of the rows before it.
    const Bytes afterFailure = ReadFileBytes(path);
    EXPECT_EQ(WhatOf([&] { WriteRows(*file, 64, 1, 2); }), "libtiff call failed");
    EXPECT_EQ(WhatOf([&] { file->AddObject(1, 2, 3, 4, L"late"); }), "libtiff call failed");
    EXPECT_NO_THROW(file.reset());
    EXPECT_EQ(ReadFileBytes(path), afterFailure);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ExpectLibtiffReadsRows(path, 64, 1, LayerAll);
}

TEST_F(OrvoFileImpTest, OffsetsBeyondFourGibibytesAreRefused) {
    // The file is grown sparsely past 4 GiB between calls, standing in for the rows that
    // would have filled it; every offset the writer then has to store is out of range.
    const fs::path path = Path("big.orv");
    const std::uint64_t fourGiB = 0x100000000ull;

    std::unique_ptr<OrvoFile> file = Create(path, 4, 2);
    WriteRows(*file, 4, 0, 2);
    if (!GrowSparse(path, fourGiB)) {
        GTEST_SKIP() << "no sparse files here";
    }
    EXPECT_EQ(WhatOf([&] { file->AddObject(1, 2, 3, 4, L"far"); }), "offset out of range");
    // A failed writer writes nothing more, not even at Close.
    EXPECT_NO_THROW(file->Close());
    EXPECT_EQ(fs::file_size(path), fourGiB);
    file.reset();
    fs::remove(path);

    // The object-id block that Close appends.
    file = Create(path, 4, 2);
    WriteRows(*file, 4, 0, 2);
    ASSERT_TRUE(GrowSparse(path, fourGiB));
    EXPECT_EQ(WhatOf([&] { file->Close(); }), "offset out of range");
    EXPECT_NO_THROW(file->Close());
    file.reset();
    fs::remove(path);

    // Before the first row: the colour block itself would lie beyond reach.
    file = Create(path, 4, 2);
    ASSERT_TRUE(GrowSparse(path, fourGiB + 2));
    EXPECT_EQ(WhatOf([&] { WriteRows(*file, 4, 0, 1); }), "offset out of range");
    file.reset();
    fs::remove(path);

    // The colour block starts in range but its text would end beyond it: refused before a
    // single byte of the block is written.
    file = Create(path, 4, 2);
    const double x = 0, y = 1, z = 0;
    file->SetLightDirection(&x, &y, &z);
    ASSERT_TRUE(GrowSparse(path, fourGiB - 100));
    EXPECT_EQ(WhatOf([&] { WriteRows(*file, 4, 0, 1); }), "offset out of range");
    EXPECT_EQ(fs::file_size(path), fourGiB - 100);
    file.reset();
    fs::remove(path);
}

TEST_F(OrvoFileImpTest, TheLastAddressableOffsetIsAccepted) {
    const fs::path path = Path("edge.orv");
    std::unique_ptr<OrvoFile> file = Create(path, 4, 2);
    WriteRows(*file, 4, 0, 2);
    const std::uintmax_t written = fs::file_size(path);
    if (!GrowSparse(path, 0xFFFFFFFFull)) {
        GTEST_SKIP() << "no sparse files here";
    }
    EXPECT_NO_THROW(file->Close());
    // Only the written head of the file is read back; the rest is a hole.
    const Bytes head = ReadFileBytes(path, written);
    const std::vector<Directory> chain = ReadChain(head);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(Number(head, *chain[2].Find(TagSubfileData)), 0xFFFFFFFFu);
    fs::remove(path);
}

// ---- The same file as the plainest libtiff sequence ----

namespace {

// The plainest way to keep every directory rewritten after every row: make the layer's
// directory current by its index, write the strip, write the directory. The writer may use
// any faster sequence as long as the file is the same after every row.
class PlainSequence {
public:
    PlainSequence(const fs::path& path, unsigned width, unsigned height)
        : tiff_(OpenTiffW(Wide(path).c_str(), "wl")), width_(width), height_(height) {}
    ~PlainSequence() {
        if (tiff_ != nullptr) {
            TIFFClose(tiff_);
        }
    }

    void Row(std::uint32_t layers, unsigned y, const std::string& dateTime) {
        ASSERT_NE(tiff_, nullptr);
        for (int layer = 0; layer < 3; ++layer) {
            if ((layers & (1u << layer)) == 0) {
                continue;
            }
            const bool created = index_[layer] < 0;
            if (created) {
                SetTags(layer, dateTime);
            } else {
                ASSERT_TRUE(TIFFSetDirectory(tiff_, static_cast<tdir_t>(index_[layer])));
            }
            const Bytes row = layer == 0   ? ColourRowBytes(width_, y)
                              : layer == 1 ? DepthRowBytes(width_, y)
                                           : IdRowBytes(width_, y);
            ASSERT_EQ(TIFFWriteEncodedStrip(tiff_, y, const_cast<unsigned char*>(row.data()),
                                            static_cast<tmsize_t>(row.size())),
                      static_cast<tmsize_t>(row.size()));
            ASSERT_TRUE(TIFFWriteDirectory(tiff_));
            if (created) {
                index_[layer] = (index_[0] >= 0) + (index_[1] >= 0) + (index_[2] >= 0);
            }
        }
    }

    std::uint32_t Append(const Bytes& block) {
        const toff_t at = TIFFGetSeekProc(tiff_)(TIFFClientdata(tiff_), 0, SEEK_END);
        EXPECT_EQ(TIFFGetWriteProc(tiff_)(TIFFClientdata(tiff_),
                                          const_cast<unsigned char*>(block.data()),
                                          static_cast<tmsize_t>(block.size())),
                  static_cast<tmsize_t>(block.size()));
        return static_cast<std::uint32_t>(at);
    }

    void Close(std::uint32_t count, std::uint32_t head) {
        if (index_[2] >= 0) {
            ASSERT_TRUE(TIFFSetDirectory(tiff_, static_cast<tdir_t>(index_[2])));
            const Bytes block = test::EncodeObjectTableBlock(littleEndian, count, head, 1);
            ASSERT_TRUE(TIFFSetField(tiff_, TagSubfileData, Append(block)));
            ASSERT_TRUE(TIFFWriteDirectory(tiff_));
        }
        TIFFClose(tiff_);
        tiff_ = nullptr;
    }

private:
    void SetTags(int layer, const std::string& dateTime) {
        const std::uint16_t bits[3] = {8, 32, 16};
        TIFFSetField(tiff_, TIFFTAG_IMAGEWIDTH, width_);
        TIFFSetField(tiff_, TIFFTAG_IMAGELENGTH, height_);
        TIFFSetField(tiff_, TIFFTAG_BITSPERSAMPLE, bits[layer]);
        TIFFSetField(tiff_, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
        TIFFSetField(tiff_, TIFFTAG_SAMPLESPERPIXEL, layer == 0 ? 3 : 1);
        TIFFSetField(tiff_, TIFFTAG_ROWSPERSTRIP, 1u);
        TIFFSetField(tiff_, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        if (layer == 0) {
            TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
            TIFFSetField(tiff_, TIFFTAG_XRESOLUTION, 96.0);
            TIFFSetField(tiff_, TIFFTAG_YRESOLUTION, 96.0);
            TIFFSetField(tiff_, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
            TIFFSetField(tiff_, TIFFTAG_SOFTWARE, "Orvo test");
            TIFFSetField(tiff_, TIFFTAG_DATETIME, dateTime.c_str());
            TIFFSetField(tiff_, TagSubfileData, Append(colourBlockWithoutText));
        } else {
            TIFFSetField(tiff_, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        }
        if (layer == 1) {
            TIFFSetField(tiff_, TagSubfileData,
                         Append(test::EncodePerspectiveBlock(littleEndian, test::SampleView())));
        } else if (layer == 2) {
            TIFFSetField(tiff_, TagSubfileData, 0u);
        }
    }

    TIFF* tiff_;
    unsigned width_;
    unsigned height_;
    int index_[3] = {-1, -1, -1};
};

std::string DateTimeOf(const fs::path& path) {
    const Bytes bytes = ReadFileBytes(path);
    const std::vector<Directory> chain = ReadChain(bytes);
    if (chain.empty() || chain[0].Find(TagDateTime) == nullptr) {
        return std::string();
    }
    const std::string stamp = AsciiBytes(bytes, *chain[0].Find(TagDateTime));
    return stamp.substr(0, stamp.size() - 1);
}

} // namespace

TEST_F(OrvoFileImpTest, IsAfterEveryRowTheFileOfThePlainestSequence) {
    const unsigned width = 9, height = 5;
    // All three layers; then colour alone with depth and ids added on a second pass, so
    // that new directories are also set up after existing ones were rewritten.
    for (const std::uint32_t firstLayers : {LayerAll, LayerColour}) {
        SCOPED_TRACE("first layers " + std::to_string(firstLayers));
        const fs::path path = Path("imp.orv"), plainPath = Path("plain.orv");
        std::unique_ptr<OrvoFile> file = Create(path, width, height);
        PlainSequence plain(plainPath, width, height);
        std::string dateTime;
        std::uint32_t head = 0;
        for (const std::uint32_t layers : {firstLayers, LayerAll}) {
            file->SetLayers(layers);
            for (unsigned y = 0; y < height; ++y) {
                WriteRows(*file, width, y, y + 1);
                if (dateTime.empty()) {
                    dateTime = DateTimeOf(path);
                }
                plain.Row(layers, y, dateTime);
                ASSERT_EQ(ReadFileBytes(path), ReadFileBytes(plainPath))
                    << "after row " << y << " of layers " << layers;
            }
            if (layers == firstLayers && firstLayers == LayerAll) {
                break;
            }
        }
        file->AddObject(4, 5, 6, 7, L"Pot");
        head = plain.Append(test::EncodeObjectRecord(littleEndian, 0, 4, 5, 6, 7, "Pot"));
        file->Close();
        plain.Close(1, head);
        EXPECT_EQ(ReadFileBytes(path), ReadFileBytes(plainPath));
        EXPECT_EQ(ReadChain(ReadFileBytes(path)).size(), 3u);
    }
}

// ---- Read back by the library's reader ----

TEST_F(OrvoFileImpTest, TheReaderReadsItsFilesCompletely) {
    const fs::path path = Path("read back.orv");
    const unsigned width = 6, height = 4;
    // The newest records are short and lie just before the 16-byte object-id block at the end
    // of the file, closer to it than a record's 264-byte reading window.
    const std::vector<ObjectEntry> added = {
        {3, std::wstring(200, L'n'), 1, 2, 3},
        {17, platform::AnsiToWide("Vase \xC3\xA9"), 200, 100, 50},
        {4, L"", 9, 9, 9},
        {65535, L"z", 255, 255, 255},
    };
    {
        std::unique_ptr<OrvoFile> file = Create(path, width, height);
        WriteRows(*file, width, 0, height);
        for (const ObjectEntry& entry : added) {
            file->AddObject(entry.id, entry.red, entry.green, entry.blue, entry.name);
        }
    }
    int readWidth = 0, readHeight = 0;
    PerspectiveView view;
    InitPerspectiveView(view);
    std::deque<ObjectEntry> objects;
    unsigned char* colour = nullptr;
    std::uint32_t* depth = nullptr;
    std::uint16_t* ids = nullptr;
    const bool ok =
        ReadOrvoFile(path.string(), readWidth, readHeight, view, objects, colour, depth, ids);
    const auto release = [](void* plane) {
        if (plane != nullptr) {
            VirtualFree(plane, 0, MEM_RELEASE);
        }
    };
    std::unique_ptr<unsigned char, decltype(release)> colourPlane(colour, release);
    std::unique_ptr<std::uint32_t, decltype(release)> depthPlane(depth, release);
    std::unique_ptr<std::uint16_t, decltype(release)> idPlane(ids, release);
    ASSERT_TRUE(ok);
    EXPECT_EQ(readWidth, static_cast<int>(width));
    EXPECT_EQ(readHeight, static_cast<int>(height));
    ASSERT_NE(colour, nullptr);
    ASSERT_NE(depth, nullptr);
    ASSERT_NE(ids, nullptr);
    for (unsigned y = 0; y < height; ++y) {
        EXPECT_EQ(Bytes(colour + 3 * width * y, colour + 3 * width * (y + 1)),
                  ColourRowBytes(width, y));
        for (unsigned x = 0; x < width; ++x) {
            EXPECT_EQ(depth[y * width + x], DepthAt(x, y)) << x << "," << y;
            EXPECT_EQ(ids[y * width + x], IdAt(x, y)) << x << "," << y;
        }
    }
    // The view record, compared through the bytes the format stores for it.
    EXPECT_EQ(test::EncodePerspectiveBlock(littleEndian, view),
              test::EncodePerspectiveBlock(littleEndian, test::SampleView()));
    ASSERT_EQ(objects.size(), added.size());
    for (std::size_t i = 0; i < added.size(); ++i) {
        const ObjectEntry& want = added[added.size() - 1 - i]; // newest first
        EXPECT_EQ(objects[i].id, want.id);
        EXPECT_TRUE(objects[i].name == want.name) << "entry " << i;
        EXPECT_EQ((Bytes{objects[i].red, objects[i].green, objects[i].blue}),
                  (Bytes{want.red, want.green, want.blue}));
    }
}
