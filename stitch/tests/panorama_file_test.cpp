// The stitcher on face files of both writers: whole panoramas taken apart byte by byte and
// opened by tiffinfo and tifffile, failed writes, and the faces it refuses.
#include "panorama_stitcher.h"

#include "classic_tiff.h"
#include "test_faces.h"

#include "platform/files.h"
#include "platform/text.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

using classic_tiff::ReadChain;
using classic_tiff::U16;
using classic_tiff::U32;
using classic_tiff::Values;
using testfaces::CubeFace;
using testfaces::FacePlan;
using testfaces::TemporaryFolder;

namespace {

struct PipeCloser {
    void operator()(std::FILE* pipe) const { pclose(pipe); }
};

// Runs a shell command; returns its standard output, and its exit status in status.
std::string Capture(const std::string& command, int& status) {
    std::unique_ptr<std::FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
    if (!pipe) {
        status = -1;
        return std::string();
    }
    std::string output;
    char buffer[4096];
    std::size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0) {
        output.append(buffer, got);
    }
    const int raw = pclose(pipe.release());
    status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return output;
}

// One face of the cube as the test writes it: its plan, the seed of its pixels, where the
// cube face lies in its image, and the revision of its file.
struct Face {
    FacePlan plan;
    int seed;
    int cropColumn;
    int cropRow;
    bool revision13;
};

// Six faces given in shuffled order, half of them rendered wider than the cube face (one of
// those not even square), each with its own depth range and an object table that shares
// some entries with the others.
std::vector<Face> ShuffledCube(bool withRevision13) {
    std::vector<Face> faces;
    const auto add = [&faces](int slot, int width, int height, double extentX, double extentY,
                              double nearDepth, double farDepth, int column, int row,
                              bool revision13) {
        Face face;
        face.plan = CubeFace(slot, width);
        face.plan.height = height;
        testfaces::SetWindow(face.plan.view, extentX, extentY);
        face.plan.view.eyePoint = {1.5, -2.0, 0.75};
        face.plan.view.nearDepth = nearDepth;
        face.plan.view.farDepth = farDepth;
        face.plan.view.unitScale = 0.5;
        face.plan.view.unitCode = UnitFoot;
        face.seed = static_cast<int>(faces.size()) + 1;
        face.cropColumn = column;
        face.cropRow = row;
        face.revision13 = revision13;
        faces.push_back(face);
    };
    add(SlotDown, 5, 5, 1.0, 1.0, 2, 50, 0, 0, false);
    add(SlotPositiveX, 9, 9, 2.0, 2.0, 1, 100, 2, 2, withRevision13);
    add(SlotUp, 9, 7, 2.0, 1.5, 0.5, 20, 2, 1, false);
    add(SlotPositiveY, 7, 7, 1.5, 1.5, 3, 200, 1, 1, false);
    add(SlotNegativeX, 5, 5, 1.0, 1.0, 2, 50, 0, 0, withRevision13);
    add(SlotNegativeY, 9, 9, 2.0, 2.0, 1, 100, 2, 2, false);

    faces[0].plan.objects = {{1, L"Floor", 10, 20, 30}, {2, L"Stühl", 200, 0, 7}};
    faces[1].plan.objects = {
        {7, L"Floor", 10, 20, 30}, {8, L"Lamp", 1, 2, 3}, {9, L"floor", 10, 20, 30}};
    faces[2].plan.objects = {{1, L"Sky", 90, 160, 250}};
    faces[3].plan.objects = {
        {3, L"Lamp", 1, 2, 3}, {4, L"Lamp", 1, 2, 3}, {5, L"Stühl", 200, 0, 7}};
    faces[4].plan.objects = {};
    faces[5].plan.objects = {
        {2, L"Floor", 10, 20, 31}, {1, L"Floor", 10, 20, 30}, {6, L"Unused", 0, 0, 0}};
    return faces;
}

std::vector<std::string> WriteCube(const TemporaryFolder& folder, const std::vector<Face>& faces) {
    std::vector<std::string> paths;
    for (const Face& face : faces) {
        paths.push_back(folder.Path("face" + std::to_string(face.seed) + ".orv"));
        if (face.revision13) {
            testfaces::WriteFaceFileRevision13(paths.back(), face.plan, face.seed);
        } else {
            testfaces::WriteFaceFile(paths.back(), face.plan, face.seed);
        }
    }
    return paths;
}

// The panorama this cube must give, layer by layer, row after row.
struct ExpectedPanorama {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> colour;
    std::vector<std::uint32_t> depth;
    std::vector<std::uint16_t> ids;
    std::vector<ObjectEntry> objects;
    double nearDepth = 0;
    double farDepth = 0;
};

ExpectedPanorama Expect(const std::vector<Face>& faces, bool useTag) {
    const int n = 5;
    ExpectedPanorama expected;
    expected.width = 6 * n;
    expected.height = n;
    expected.nearDepth = faces[0].plan.view.nearDepth;
    expected.farDepth = faces[0].plan.view.farDepth;
    std::vector<std::vector<ObjectEntry>> readerOrder;
    for (const Face& face : faces) {
        expected.nearDepth = std::min(expected.nearDepth, face.plan.view.nearDepth);
        expected.farDepth = std::max(expected.farDepth, face.plan.view.farDepth);
        readerOrder.emplace_back(face.plan.objects.rbegin(), face.plan.objects.rend());
    }
    const testfaces::MergeResult merge = testfaces::ReferenceMerge(readerOrder, useTag);
    expected.objects = merge.merged;
    const double range = expected.farDepth - expected.nearDepth;
    for (int r = 0; r < n; ++r) {
        for (int slot = 0; slot < 6; ++slot) {
            std::size_t f = 0;
            while (faces[f].plan.slot != slot) {
                ++f;
            }
            const Face& face = faces[f];
            const double offset =
                (face.plan.view.nearDepth - expected.nearDepth) * 4294967294.0 / range;
            const double scale = (face.plan.view.farDepth - face.plan.view.nearDepth) / range;
            for (int j = 0; j < n; ++j) {
                const int x = face.cropColumn + j;
                const int y = face.cropRow + r;
                unsigned char rgb[3];
                testfaces::ColourAt(face.seed, x, y, rgb);
                expected.colour.insert(expected.colour.end(), rgb, rgb + 3);
                const std::uint32_t code = testfaces::DepthAt(face.seed, x, y);
                expected.depth.push_back(
                    code == NoDepthCode ? code
                                        : static_cast<std::uint32_t>(std::min(
                                              std::trunc(code * scale + offset), 4294967294.0)));
                const std::uint16_t id = testfaces::IdAt(face.seed, x, y, face.plan.objects);
                const auto found = merge.idMaps[f].find(id);
                expected.ids.push_back(id == 0 || found == merge.idMaps[f].end() ? 0
                                                                                 : found->second);
            }
        }
    }
    return expected;
}

// The strips of one directory read through its StripOffsets and StripByteCounts.
std::string Strips(const test::Bytes& file, const classic_tiff::Directory& directory,
                   std::size_t rowBytes) {
    const std::vector<std::uint32_t> offsets = Values(file, directory, 273);
    const std::vector<std::uint32_t> counts = Values(file, directory, 279);
    std::string bytes;
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_EQ(counts.at(i), rowBytes);
        if (std::size_t(offsets[i]) + counts[i] > file.size()) {
            ADD_FAILURE() << "strip " << i << " runs past the end of the file";
            break;
        }
        bytes.append(file.begin() + offsets[i], file.begin() + offsets[i] + counts[i]);
    }
    return bytes;
}

template <typename T> std::string LittleEndianBytes(const std::vector<T>& values) {
    std::string bytes;
    for (T value : values) {
        for (std::size_t k = 0; k < sizeof(T); ++k) {
            bytes += static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * k)) & 0xFF);
        }
    }
    return bytes;
}

void CheckPanoramaFile(const std::string& path, const ExpectedPanorama& expected,
                       const Vector3& eye, double unitScale, std::uint32_t unitCode) {
    const test::Bytes file = test::ReadFileBytes(path);
    const std::vector<classic_tiff::Directory> chain = ReadChain(file);
    ASSERT_EQ(chain.size(), 3u);
    const auto& colour = chain[0];
    const auto& depth = chain[1];
    const auto& ids = chain[2];
    for (const auto* directory : {&colour, &depth, &ids}) {
        EXPECT_EQ(Values(file, *directory, 256), std::vector<std::uint32_t>{30u});
        EXPECT_EQ(Values(file, *directory, 257), std::vector<std::uint32_t>{5u});
    }
    EXPECT_EQ(Values(file, colour, 258), (std::vector<std::uint32_t>{8, 8, 8}));
    EXPECT_EQ(Values(file, depth, 258), std::vector<std::uint32_t>{32u});
    EXPECT_EQ(Values(file, ids, 258), std::vector<std::uint32_t>{16u});
    const classic_tiff::Entry* software = colour.Find(305);
    ASSERT_NE(software, nullptr);
    EXPECT_EQ(software->count, 9u);
    EXPECT_EQ(classic_tiff::AsciiBytes(file, *software), std::string("Zenbrook", 9));
    // Empty document name, artist and copyright texts leave their tags out.
    EXPECT_EQ(colour.Find(269), nullptr);
    EXPECT_EQ(colour.Find(315), nullptr);
    EXPECT_EQ(colour.Find(33432), nullptr);

    EXPECT_EQ(Strips(file, colour, 90),
              std::string(expected.colour.begin(), expected.colour.end()));
    EXPECT_EQ(Strips(file, depth, 120), LittleEndianBytes(expected.depth));
    EXPECT_EQ(Strips(file, ids, 60), LittleEndianBytes(expected.ids));

    // The depth layer carries the panorama view: kind 8, then a reserved word, then the packed
    // record.
    const std::uint32_t view = Values(file, depth, 34953).at(0);
    EXPECT_EQ(U32(file, view), 8u);
    EXPECT_EQ(U16(file, view + 4), 1u);
    const std::size_t record = view + 12;
    EXPECT_EQ(U32(file, record), 3u);
    const double doubles[16] = {eye.x,
                                eye.y,
                                eye.z,
                                0,
                                0,
                                1,
                                0,
                                1,
                                0,
                                eye.x,
                                eye.y,
                                eye.z,
                                0,
                                expected.nearDepth,
                                expected.farDepth,
                                unitScale};
    for (std::size_t k = 0; k < 16; ++k) {
        EXPECT_EQ(classic_tiff::F64(file, record + 4 + 8 * k), doubles[k]) << "double " << k;
    }
    EXPECT_EQ(U32(file, record + 4 + 128), unitCode);

    // Object records 1..n in merged order, linked from the newest.
    const std::uint32_t table = Values(file, ids, 34953).at(0);
    EXPECT_EQ(U32(file, table), 2u);
    ASSERT_EQ(U32(file, table + 8), expected.objects.size());
    const std::vector<classic_tiff::ObjectRecord> records = classic_tiff::ObjectTable(file, table);
    ASSERT_EQ(records.size(), expected.objects.size());
    for (std::size_t k = 0; k < records.size(); ++k) {
        const classic_tiff::ObjectRecord& record = records[records.size() - 1 - k];
        const ObjectEntry& object = expected.objects[k];
        EXPECT_EQ(record.id, k + 1);
        EXPECT_EQ(record.red, object.red);
        EXPECT_EQ(record.green, object.green);
        EXPECT_EQ(record.blue, object.blue);
        EXPECT_EQ(record.name, platform::WideToAnsi(object.name));
    }
    if (!records.empty()) {
        EXPECT_EQ(records.back().previous, 0u);
    }
}

// tifffile reads the three pages; their samples are dumped for comparison.
void CheckWithTifffile(const TemporaryFolder& folder, const std::string& path,
                       const ExpectedPanorama& expected) {
    const std::string script = folder.Path("dump.py");
    testfaces::WriteBytes(script, "import sys, tifffile\n"
                                  "with tifffile.TiffFile(sys.argv[1]) as tiff:\n"
                                  "    print(len(tiff.pages))\n"
                                  "    for i, page in enumerate(tiff.pages):\n"
                                  "        a = page.asarray()\n"
                                  "        print(a.shape, a.dtype.str)\n"
                                  "        a.astype(a.dtype.newbyteorder('<')).tofile(\n"
                                  "            sys.argv[2] + str(i))\n");
    int status = 0;
    const std::string output = Capture(std::string(ORVO_PYTHON) + " " + script + " " + path + " " +
                                           folder.Path("page") + " 2>&1",
                                       status);
    ASSERT_EQ(status, 0) << output;
    EXPECT_EQ(output, "3\n(5, 30, 3) |u1\n(5, 30) <u4\n(5, 30) <u2\n");
    EXPECT_EQ(testfaces::ReadBytes(folder.Path("page0")),
              std::string(expected.colour.begin(), expected.colour.end()));
    EXPECT_EQ(testfaces::ReadBytes(folder.Path("page1")), LittleEndianBytes(expected.depth));
    EXPECT_EQ(testfaces::ReadBytes(folder.Path("page2")), LittleEndianBytes(expected.ids));
}

void CheckWithTiffinfo(const std::string& path) {
    int status = 0;
    const std::string output = Capture(std::string(ORVO_TIFFINFO) + " " + path + " 2>&1", status);
    ASSERT_EQ(status, 0) << output;
    std::size_t directories = 0;
    for (std::size_t at = output.find("TIFF Directory"); at != std::string::npos;
         at = output.find("TIFF Directory", at + 1)) {
        ++directories;
    }
    EXPECT_EQ(directories, 3u) << output;
    EXPECT_NE(output.find("Image Width: 30 Image Length: 5"), std::string::npos) << output;
    EXPECT_EQ(output.find("Error"), std::string::npos) << output;
}

TEST(PanoramaFile, ShuffledWiderFacesGiveTheExactPanorama) {
    for (bool useTag : {false, true}) {
        TemporaryFolder folder;
        const std::vector<Face> faces = ShuffledCube(false);
        const std::vector<std::string> paths = WriteCube(folder, faces);
        PanoramaStitcher stitcher(paths, 1e-7, useTag);
        ASSERT_TRUE(stitcher.Ok()) << stitcher.ErrorMessage();
        for (std::size_t f = 0; f < faces.size(); ++f) {
            EXPECT_EQ(stitcher.Faces()[f].cropColumn, faces[f].cropColumn) << f;
            EXPECT_EQ(stitcher.Faces()[f].cropRow, faces[f].cropRow) << f;
        }
        const std::string target = folder.Path("pano.orv");
        ASSERT_TRUE(stitcher.BuildPanorama(target)) << stitcher.ErrorMessage();
        EXPECT_EQ(stitcher.ErrorMessage(), "");

        const ExpectedPanorama expected = Expect(faces, useTag);
        EXPECT_EQ(stitcher.MergedObjects().size(), expected.objects.size());
        CheckPanoramaFile(target, expected, {1.5, -2.0, 0.75}, 0.5, UnitFoot);
        CheckWithTifffile(folder, target, expected);
        CheckWithTiffinfo(target);
        // Building the panorama leaves nothing else behind and deletes no face.
        EXPECT_EQ(folder.Names(),
                  (std::vector<std::string>{"dump.py", "face1.orv", "face2.orv", "face3.orv",
                                            "face4.orv", "face5.orv", "face6.orv", "page0", "page1",
                                            "page2", "pano.orv"}));
    }
}

TEST(PanoramaFile, FacesWrittenByThePluginsWriterStitchLikeTheOthers) {
    TemporaryFolder folder;
    const std::vector<Face> faces = ShuffledCube(true);
    const std::vector<std::string> paths = WriteCube(folder, faces);
    PanoramaStitcher stitcher(paths, 1e-7, false);
    ASSERT_TRUE(stitcher.Ok()) << stitcher.ErrorMessage();
    const std::string target = folder.Path("pano.orv");
    ASSERT_TRUE(stitcher.BuildPanorama(target)) << stitcher.ErrorMessage();
    CheckPanoramaFile(target, Expect(faces, false), {1.5, -2.0, 0.75}, 0.5, UnitFoot);
}

// A small cube of exact faces in files, for the failure cases.
std::vector<std::string> ExactCube(const TemporaryFolder& folder, int size = 3) {
    std::vector<std::string> paths;
    for (int slot = 0; slot < 6; ++slot) {
        FacePlan plan = CubeFace(slot, size);
        plan.objects = {{1, L"Thing", 1, 2, 3}};
        paths.push_back(folder.Path("face" + std::to_string(slot) + ".orv"));
        testfaces::WriteFaceFile(paths.back(), plan, slot);
    }
    return paths;
}

TEST(PanoramaFile, OnePixelFacesGiveASixByOneStrip) {
    TemporaryFolder folder;
    const std::vector<std::string> paths = ExactCube(folder, 1);
    PanoramaStitcher stitcher(paths, 1e-7, false);
    ASSERT_TRUE(stitcher.Ok()) << stitcher.ErrorMessage();
    ASSERT_TRUE(stitcher.BuildPanorama(folder.Path("pano.orv")));
    const test::Bytes file = test::ReadFileBytes(folder.Path("pano.orv"));
    const std::vector<classic_tiff::Directory> chain = ReadChain(file);
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(Values(file, chain[0], 256), std::vector<std::uint32_t>{6u});
    EXPECT_EQ(Values(file, chain[0], 257), std::vector<std::uint32_t>{1u});
    // Each face's only pixel is its (0, 0): depth code 0 on every face's own range.
    std::string colours;
    for (int slot = 0; slot < 6; ++slot) {
        unsigned char rgb[3];
        testfaces::ColourAt(slot, 0, 0, rgb);
        colours.append(reinterpret_cast<const char*>(rgb), 3);
    }
    EXPECT_EQ(Strips(file, chain[0], 18), colours);
}

TEST(PanoramaFile, EveryDepthPixelIsRemapDepthOfItsFaceCode) {
    // Ranges that need no clamp, and inverted ones whose codes run off either end of the
    // common range, so both ways of re-coding a row are taken.
    const double ranges[6][2] = {{1, 100}, {300, 240}, {1, -50}, {20, 30}, {1, 200}, {5, 5}};
    TemporaryFolder folder;
    std::vector<std::string> paths;
    for (int slot = 0; slot < 6; ++slot) {
        FacePlan plan = CubeFace(slot, 6);
        plan.view.nearDepth = ranges[slot][0];
        plan.view.farDepth = ranges[slot][1];
        paths.push_back(folder.Path("face" + std::to_string(slot) + ".orv"));
        testfaces::WriteFaceFile(paths.back(), plan, slot);
    }
    PanoramaStitcher stitcher(paths, 1e-7, false);
    ASSERT_TRUE(stitcher.BuildPanorama(folder.Path("pano.orv"))) << stitcher.ErrorMessage();
    const test::Bytes file = test::ReadFileBytes(folder.Path("pano.orv"));
    const std::vector<classic_tiff::Directory> chain = ReadChain(file);
    ASSERT_EQ(chain.size(), 3u);
    const std::string depth = Strips(file, chain[1], 4 * 36);
    for (int r = 0; r < 6; ++r) {
        for (int slot = 0; slot < 6; ++slot) {
            for (int j = 0; j < 6; ++j) {
                const std::uint32_t code = testfaces::DepthAt(slot, j, r);
                const std::uint32_t want = stitcher.RemapDepth(slot, code);
                const std::size_t at = 4 * (static_cast<std::size_t>(r) * 36 + slot * 6 + j);
                const auto* b = reinterpret_cast<const unsigned char*>(depth.data() + at);
                const std::uint32_t got =
                    b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
                EXPECT_EQ(got, want) << "slot " << slot << " pixel " << j << ", " << r;
                // Beyond the far end, and below the near end of the common range.
                if (code != NoDepthCode && slot == 1) {
                    EXPECT_EQ(got, 0xFFFFFFFEu);
                }
                if (code != NoDepthCode && slot == 2) {
                    EXPECT_EQ(got, 0u);
                }
            }
        }
    }
}

TEST(PanoramaFile, ReplacesAnExistingTargetOnlyWhenComplete) {
    TemporaryFolder folder;
    const std::vector<std::string> paths = ExactCube(folder);
    const std::string target = folder.Path("pano.orv");
    testfaces::WriteBytes(target, "an older panorama");
    ASSERT_EQ(chmod(target.c_str(), 0640), 0);
    PanoramaStitcher stitcher(paths, 1e-7, false);
    ASSERT_TRUE(stitcher.BuildPanorama(target)) << stitcher.ErrorMessage();
    EXPECT_EQ(testfaces::ReadBytes(target).substr(0, 4), std::string("II*\0", 4));
    struct stat info;
    ASSERT_EQ(stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    EXPECT_EQ(folder.Names(),
              (std::vector<std::string>{"face0.orv", "face1.orv", "face2.orv", "face3.orv",
                                        "face4.orv", "face5.orv", "pano.orv"}));
}

TEST(PanoramaFile, AFailedWriteShowsTheSystemsTextAndLeavesNoFile) {
    TemporaryFolder folder;
    const std::vector<std::string> paths = ExactCube(folder);
    const std::vector<std::string> before = folder.Names();
    {
        PanoramaStitcher stitcher(paths, 1e-7, false);
        EXPECT_FALSE(stitcher.BuildPanorama(folder.Path("missing/pano.orv")));
        EXPECT_EQ(stitcher.ErrorMessage(), "No such file or directory");
        EXPECT_FALSE(stitcher.Ok());
        // A stitcher that failed writes nothing more.
        EXPECT_FALSE(stitcher.BuildPanorama(folder.Path("pano.orv")));
        EXPECT_EQ(folder.Names(), before);
    }
    {
        std::filesystem::create_directory(folder.Path("taken"));
        PanoramaStitcher stitcher(paths, 1e-7, false);
        EXPECT_FALSE(stitcher.BuildPanorama(folder.Path("taken")));
        EXPECT_EQ(stitcher.ErrorMessage(), "Is a directory");
        std::filesystem::remove(folder.Path("taken"));
        EXPECT_EQ(folder.Names(), before);
    }
    if (platform::IsDevice("/dev/full")) {
        // A device is written in place; this one fills up at once.
        PanoramaStitcher stitcher(paths, 1e-7, false);
        EXPECT_FALSE(stitcher.BuildPanorama("/dev/full"));
        EXPECT_EQ(stitcher.ErrorMessage(), "No space left on device");
        EXPECT_TRUE(platform::IsDevice("/dev/full"));
        EXPECT_EQ(folder.Names(), before);
    }
}

TEST(PanoramaFile, FacesTheReaderCannotUseAreRefused) {
    TemporaryFolder folder;
    std::vector<std::string> paths = ExactCube(folder);
    const std::string original = paths[3];

    paths[3] = folder.Path("absent.orv");
    EXPECT_EQ(PanoramaStitcher(paths, 1e-7, false).ErrorMessage(),
              folder.Path("absent.orv") + " - Read failed");

    // A file cut short inside its rows.
    const std::string bytes = testfaces::ReadBytes(original);
    testfaces::WriteBytes(folder.Path("cut.orv"), bytes.substr(0, 40));
    paths[3] = folder.Path("cut.orv");
    EXPECT_EQ(PanoramaStitcher(paths, 1e-7, false).ErrorMessage(),
              folder.Path("cut.orv") + " - Read failed");

    // Faces as a render killed while writing them leaves them: a few rows in with either
    // writer (the stitcher's has flushed only its first buffers), and the plug-in's with every
    // row written but the object table not yet.
    const struct {
        bool revision13;
        int rows;
    } killed[] = {{false, 50}, {false, 100}, {true, 3}, {true, 100}};
    for (const auto& kill : killed) {
        FacePlan plan = CubeFace(SlotNegativeX, 100);
        plan.killedAfterRows = kill.rows;
        paths[3] = folder.Path("killed.orv");
        (kill.revision13 ? testfaces::WriteFaceFileRevision13 : testfaces::WriteFaceFile)(paths[3],
                                                                                          plan, 3);
        EXPECT_EQ(PanoramaStitcher(paths, 1e-7, false).ErrorMessage(), paths[3] + " - Read failed")
            << kill.revision13 << " " << kill.rows;
    }

    // Faces with one layer left out, as a face file may come.
    const struct {
        const char* name;
        bool colour, depth, ids;
        const char* failure;
    } partial[] = {
        {"flat.orv", true, false, true, " - Wrong projection type"},
        {"grey.orv", false, true, true, " - Missing colour or object-id layer"},
        {"nameless.orv", true, true, false, " - Missing colour or object-id layer"},
    };
    for (const auto& face : partial) {
        FacePlan plan = CubeFace(SlotNegativeX, 3);
        plan.writeColour = face.colour;
        plan.writeDepth = face.depth;
        plan.writeIds = face.ids;
        paths[3] = folder.Path(face.name);
        testfaces::WriteFaceFile(paths[3], plan, 1);
        EXPECT_EQ(PanoramaStitcher(paths, 1e-7, false).ErrorMessage(), paths[3] + face.failure);
    }

    // A panorama given as a face: the reader skips its panorama depth layer, so the face
    // keeps the default view, which is not perspective.
    paths[3] = original;
    {
        PanoramaStitcher stitcher(paths, 1e-7, false);
        ASSERT_TRUE(stitcher.BuildPanorama(folder.Path("pano.orv")));
    }
    paths[3] = folder.Path("pano.orv");
    EXPECT_EQ(PanoramaStitcher(paths, 1e-7, false).ErrorMessage(),
              folder.Path("pano.orv") + " - Wrong projection type");
}

} // namespace
