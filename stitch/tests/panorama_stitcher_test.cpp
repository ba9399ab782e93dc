// The stitcher's checks, merge and depth factors on faces built in memory.
#include "panorama_stitcher.h"

#include "test_faces.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <random>
#include <string>
#include <vector>

using testfaces::CubeFace;
using testfaces::FacePlan;

namespace {

ObjectEntry Object(std::uint16_t id, const std::wstring& name, std::uint8_t red,
                   std::uint8_t green = 0, std::uint8_t blue = 0) {
    return ObjectEntry{id, name, red, green, blue};
}

// Six faces by path, handed to the stitcher through its loader; records which were opened.
class FaceSet {
public:
    // Faces a.orv .. f.orv looking along the slots given, each size x size over the exact
    // cube face.
    explicit FaceSet(std::vector<int> slots = {0, 1, 2, 3, 4, 5}, int size = 5) {
        for (std::size_t i = 0; i < slots.size(); ++i) {
            paths.push_back(std::string(1, static_cast<char>('a' + i)) + ".orv");
            plans[paths[i]] = CubeFace(slots[i], size);
        }
    }

    FacePlan& operator[](std::size_t i) { return plans[paths[i]]; }

    PanoramaStitcher::FaceLoader Loader() {
        return [this](const std::string& path, FaceImage& face) {
            opened.push_back(path);
            const auto found = plans.find(path);
            if (found == plans.end()) {
                return false;
            }
            testfaces::FillFace(face, found->second, static_cast<int>(opened.size()));
            return true;
        };
    }

    std::vector<std::string> paths;
    std::map<std::string, FacePlan> plans;
    std::vector<std::string> opened;
};

struct Stitched {
    explicit Stitched(FaceSet& faces, double tolerance = 1e-7, bool useTag = false)
        : stitcher(faces.paths, tolerance, useTag, faces.Loader()) {}
    PanoramaStitcher stitcher;
};

TEST(PanoramaStitcher, SlotsFollowViewDirectionsNotArgumentOrder) {
    FaceSet faces({SlotNegativeX, SlotPositiveY, SlotDown, SlotPositiveX, SlotUp, SlotNegativeY});
    Stitched run(faces);
    ASSERT_TRUE(run.stitcher.Ok()) << run.stitcher.ErrorMessage();
    EXPECT_EQ(run.stitcher.ErrorMessage(), "");
    const int expected[SlotCount] = {1, 3, 5, 0, 4, 2};
    for (int slot = 0; slot < SlotCount; ++slot) {
        EXPECT_EQ(run.stitcher.FaceInSlot(slot), expected[slot]) << "slot " << slot;
    }
    EXPECT_EQ(run.stitcher.FaceSize(), 5);
    EXPECT_EQ(run.stitcher.PanoramaWidth(), 30);
    EXPECT_EQ(faces.opened, faces.paths);
}

TEST(PanoramaStitcher, TheSameDirectionTwiceNamesTheEarlierFaceFirst) {
    FaceSet faces({SlotUp, SlotPositiveX, SlotNegativeY, SlotPositiveX, SlotDown, SlotPositiveY});
    Stitched run(faces);
    EXPECT_FALSE(run.stitcher.Ok());
    EXPECT_EQ(run.stitcher.ErrorMessage(), "b.orv and d.orv - Contain the same face");
    EXPECT_EQ(faces.opened.size(), 4u);

    // The same path given twice is the same face twice.
    FaceSet same;
    same.paths[4] = same.paths[2];
    Stitched again(same);
    EXPECT_EQ(again.stitcher.ErrorMessage(), "c.orv and c.orv - Contain the same face");
}

TEST(PanoramaStitcher, AFailureStopsTheReadingWithOneMessage) {
    FaceSet faces;
    faces.paths[2] = "missing.orv";
    Stitched run(faces);
    EXPECT_FALSE(run.stitcher.Ok());
    EXPECT_EQ(run.stitcher.ErrorMessage(), "missing.orv - Read failed");
    EXPECT_EQ(faces.opened, (std::vector<std::string>{"a.orv", "b.orv", "missing.orv"}));
    EXPECT_EQ(run.stitcher.Faces().size(), 3u);
}

TEST(PanoramaStitcher, EachCheckHasItsMessage) {
    struct Case {
        const char* what;
        void (*spoil)(FaceSet&);
        const char* message;
        std::size_t opened; // faces read before the stop
    };
    const Case cases[] = {
        {"parallel projection", [](FaceSet& f) { f[3].view.projection = ProjectionParallel; },
         "d.orv - Wrong projection type", 4},
        {"no depth layer", [](FaceSet& f) { f[3].writeDepth = false; },
         "d.orv - Wrong projection type", 4},
        {"no colour layer", [](FaceSet& f) { f[3].writeColour = false; },
         "d.orv - Missing colour or object-id layer", 4},
        {"no id layer", [](FaceSet& f) { f[3].writeIds = false; },
         "d.orv - Missing colour or object-id layer", 4},
        {"tilted", [](FaceSet& f) { f[3].view.viewDirection.y = 0.3; },
         "d.orv - Non-standard view direction", 4},
        {"narrow", [](FaceSet& f) { testfaces::SetWindow(f[3].view, 0.7, 0.7); },
         "d.orv - Pixels are not square or area is too small", 4},
        {"first face narrow", [](FaceSet& f) { testfaces::SetWindow(f[0].view, 0.7, 0.7); },
         "a.orv - Pixels are not square or area is too small", 1},
        {"larger", [](FaceSet& f) { f[3] = CubeFace(SlotNegativeX, 6); },
         "a.orv and d.orv - Resolutions do not match", 4},
        {"eye moved", [](FaceSet& f) { f[3].view.eyePoint.y = 1e-7; },
         "a.orv and d.orv - Eye points do not match", 4},
        {"unit scale", [](FaceSet& f) { f[3].view.unitScale = 1.0000001; },
         "a.orv and d.orv - Units do not match", 4},
        {"unit code", [](FaceSet& f) { f[3].view.unitCode = UnitFoot; },
         "a.orv and d.orv - Units do not match", 4},
        // The first failing check names the face: projection before direction, direction
        // before size, size before eye point.
        {"parallel and tilted",
         [](FaceSet& f) {
             f[3].view.projection = ProjectionParallel;
             f[3].view.viewDirection.y = 0.3;
         },
         "d.orv - Wrong projection type", 4},
        {"larger and eye moved",
         [](FaceSet& f) {
             f[3] = CubeFace(SlotNegativeX, 6);
             f[3].view.eyePoint.x = 5;
         },
         "a.orv and d.orv - Resolutions do not match", 4},
    };
    for (const Case& c : cases) {
        FaceSet faces;
        c.spoil(faces);
        Stitched run(faces);
        EXPECT_FALSE(run.stitcher.Ok()) << c.what;
        EXPECT_EQ(run.stitcher.ErrorMessage(), c.message) << c.what;
        EXPECT_EQ(faces.opened.size(), c.opened) << c.what;
        EXPECT_FALSE(run.stitcher.BuildPanorama("/nonexistent/never.orv")) << c.what;
        EXPECT_EQ(run.stitcher.ErrorMessage(), c.message) << c.what;
    }
}

TEST(PanoramaStitcher, EyePointsMustDifferByLessThanTheTolerance) {
    FaceSet faces;
    for (std::size_t i = 0; i < 6; ++i) {
        faces[i].view.eyePoint = {1, 2, 3};
    }
    faces[4].view.eyePoint = {1, 2.25, 3};
    EXPECT_EQ(Stitched(faces, 0.25).stitcher.ErrorMessage(),
              "a.orv and e.orv - Eye points do not match");
    EXPECT_TRUE(Stitched(faces, 0.2500001).stitcher.Ok());
    faces[4].view.eyePoint = {1, 2, 2.75};
    EXPECT_FALSE(Stitched(faces, 0.25).stitcher.Ok());
    faces[4].view.eyePoint = {0.75, 2, 3};
    EXPECT_FALSE(Stitched(faces, 0.25).stitcher.Ok());
}

TEST(PanoramaStitcher, UnitScalesMustBeEqualWhateverTheTolerance) {
    FaceSet faces;
    faces[5].view.unitScale = 1.0000001;
    EXPECT_EQ(Stitched(faces, 0.01).stitcher.ErrorMessage(),
              "a.orv and f.orv - Units do not match");
}

TEST(PanoramaStitcher, PanoramaViewTakesTheFirstFaceAndTheWidestDepthRange) {
    FaceSet faces({SlotDown, SlotPositiveY, SlotPositiveX, SlotNegativeY, SlotNegativeX, SlotUp});
    const double nears[6] = {4, 2, 8, 3, 5, 6};
    const double fars[6] = {40, 90, 30, 120, 50, 60};
    for (std::size_t i = 0; i < 6; ++i) {
        faces[i].view.eyePoint = {10, -20, 1.5};
        faces[i].view.nearDepth = nears[i];
        faces[i].view.farDepth = fars[i];
        faces[i].view.unitScale = 2.54;
        faces[i].view.unitCode = UnitInch;
    }
    Stitched run(faces);
    ASSERT_TRUE(run.stitcher.Ok()) << run.stitcher.ErrorMessage();
    const PanoramaView& view = run.stitcher.View();
    EXPECT_EQ(view.projection, ProjectionPanorama);
    EXPECT_EQ(view.eyePoint.x, 10);
    EXPECT_EQ(view.eyePoint.y, -20);
    EXPECT_EQ(view.eyePoint.z, 1.5);
    EXPECT_EQ(view.centrePoint.x, 10);
    EXPECT_EQ(view.centrePoint.y, -20);
    EXPECT_EQ(view.centrePoint.z, 1.5);
    EXPECT_EQ(view.upAxis.z, 1);
    EXPECT_EQ(view.upAxis.y, 0);
    EXPECT_EQ(view.viewDirection.y, 1);
    EXPECT_EQ(view.viewDirection.z, 0);
    EXPECT_EQ(view.scalar, 0.0);
    EXPECT_EQ(view.nearDepth, 2);
    EXPECT_EQ(view.farDepth, 120);
    EXPECT_EQ(view.unitScale, 2.54);
    EXPECT_EQ(view.unitCode, UnitInch);

    // Factors per face index: offset counts the distance between the range starts at
    // 4294967294 codes for the whole common range; scale is the ratio of the ranges.
    for (int f = 0; f < 6; ++f) {
        EXPECT_DOUBLE_EQ(run.stitcher.DepthScale(f), (fars[f] - nears[f]) / 118.0) << f;
        EXPECT_DOUBLE_EQ(run.stitcher.DepthOffset(f), (nears[f] - 2) / 118.0 * 4294967294.0) << f;
        // Any code comes out as the code of the same depth on the common range, give or take
        // the code steps that the 4294967294 scale and the truncation lose.
        for (std::uint32_t code : {0u, 1u, 123456789u, 0x80000000u, 0xFFFFFFFEu}) {
            const double depth = nears[f] + code * (fars[f] - nears[f]) / 4294967296.0;
            const std::uint32_t remapped = run.stitcher.RemapDepth(f, code);
            const double back = 2 + remapped * 118.0 / 4294967296.0;
            EXPECT_NEAR(back, depth, 118.0 / 4294967296.0 * 3) << f << " " << code;
            EXPECT_EQ(run.stitcher.RemapDepth(f, NoDepthCode), NoDepthCode);
        }
    }
}

TEST(PanoramaStitcher, AFaceOnTheCommonRangeKeepsItsCodes) {
    FaceSet faces;
    faces[2].view.nearDepth = 51;
    faces[2].view.farDepth = 101;
    faces[4].view.farDepth = 101;
    Stitched run(faces);
    ASSERT_TRUE(run.stitcher.Ok());
    EXPECT_EQ(run.stitcher.DepthScale(4), 1.0);
    EXPECT_EQ(run.stitcher.DepthOffset(4), 0.0);
    for (std::uint32_t code : {0u, 7u, 0x12345678u, 0xFFFFFFFEu, NoDepthCode}) {
        EXPECT_EQ(run.stitcher.RemapDepth(4, code), code);
    }
    // Face 2 covers the upper half: code 0 lands in the middle, its top at the very top.
    EXPECT_EQ(run.stitcher.RemapDepth(2, 0), 2147483647u);
    EXPECT_EQ(run.stitcher.RemapDepth(2, 0xFFFFFFFEu), 0xFFFFFFFEu);
    EXPECT_EQ(run.stitcher.RemapDepth(2, 3), 2147483648u);
    // Face 0 covers 1..100 of 1..101.
    EXPECT_EQ(run.stitcher.RemapDepth(0, 0), 0u);
    EXPECT_EQ(run.stitcher.RemapDepth(0, 1000), 990u);
}

TEST(PanoramaStitcher, AnEmptyCommonRangeKeepsEveryCode) {
    FaceSet faces;
    for (std::size_t i = 0; i < 6; ++i) {
        faces[i].view.nearDepth = 7.5;
        faces[i].view.farDepth = 7.5;
    }
    Stitched run(faces);
    ASSERT_TRUE(run.stitcher.Ok());
    for (int f = 0; f < 6; ++f) {
        EXPECT_EQ(run.stitcher.DepthScale(f), 1.0);
        EXPECT_EQ(run.stitcher.DepthOffset(f), 0.0);
        EXPECT_EQ(run.stitcher.RemapDepth(f, 0xFFFFFFFEu), 0xFFFFFFFEu);
        EXPECT_EQ(run.stitcher.RemapDepth(f, 42), 42u);
    }
}

TEST(PanoramaStitcher, RemappedHitsAreClampedAndNeverBecomeNoDepth) {
    FaceSet faces;
    faces[0].view.nearDepth = 1;
    faces[0].view.farDepth = 101;
    // A face whose range is inverted and lies beyond the common far end, and one inverted
    // below its near end.
    faces[1].view.nearDepth = 150;
    faces[1].view.farDepth = 140;
    faces[2].view.nearDepth = 1;
    faces[2].view.farDepth = -50;
    faces[3].view.nearDepth = std::numeric_limits<double>::quiet_NaN();
    Stitched run(faces);
    ASSERT_TRUE(run.stitcher.Ok());
    for (std::uint32_t code : {0u, 1u, 0x80000000u, 0xFFFFFFFEu}) {
        EXPECT_EQ(run.stitcher.RemapDepth(1, code), 0xFFFFFFFEu) << code;
        EXPECT_NE(run.stitcher.RemapDepth(3, code), NoDepthCode) << code;
    }
    EXPECT_EQ(run.stitcher.RemapDepth(2, 0xFFFFFFFEu), 0u);
    EXPECT_EQ(run.stitcher.RemapDepth(2, 0), 0u);
    EXPECT_EQ(run.stitcher.RemapDepth(1, NoDepthCode), NoDepthCode);
}

TEST(PanoramaStitcher, MergeJoinsEqualNamesAndColoursUnlessIdsMustAgree) {
    FaceSet faces;
    // Reader order is newest first; FillFace reverses plan order, so list the plan oldest
    // first and read the merge in reverse.
    faces[0].objects = {Object(9, L"Wall", 200), Object(3, L"Box", 10)};
    faces[1].objects = {Object(4, L"Box", 10), Object(5, L"box", 10), Object(6, L"Box", 11)};
    faces[2].objects = {Object(3, L"Box", 10), Object(7, L"Wall", 200)};
    // In one face: two ids for one name and colour.
    faces[3].objects = {Object(12, L"Lamp", 1, 2, 3), Object(11, L"Lamp", 1, 2, 3)};

    Stitched plain(faces, 1e-7, false);
    ASSERT_TRUE(plain.stitcher.Ok());
    const auto& merged = plain.stitcher.MergedObjects();
    ASSERT_EQ(merged.size(), 5u);
    // Face 0 in reader order: Box(3), Wall(9).
    EXPECT_EQ(merged[0].name, L"Box");
    EXPECT_EQ(merged[0].id, 3);
    EXPECT_EQ(merged[1].name, L"Wall");
    EXPECT_EQ(merged[1].id, 9);
    // Face 1: Box/11 is new, box is new (names are case-sensitive), Box/10 is entry 1.
    EXPECT_EQ(merged[2].red, 11);
    EXPECT_EQ(merged[3].name, L"box");
    EXPECT_EQ(merged[4].name, L"Lamp");
    EXPECT_EQ(merged[4].id, 11);
    EXPECT_EQ(plain.stitcher.RemapObjectId(0, 3), 1);
    EXPECT_EQ(plain.stitcher.RemapObjectId(0, 9), 2);
    EXPECT_EQ(plain.stitcher.RemapObjectId(1, 6), 3);
    EXPECT_EQ(plain.stitcher.RemapObjectId(1, 5), 4);
    EXPECT_EQ(plain.stitcher.RemapObjectId(1, 4), 1);
    EXPECT_EQ(plain.stitcher.RemapObjectId(2, 7), 2);
    EXPECT_EQ(plain.stitcher.RemapObjectId(2, 3), 1);
    EXPECT_EQ(plain.stitcher.RemapObjectId(3, 11), 5);
    EXPECT_EQ(plain.stitcher.RemapObjectId(3, 12), 5);
    // Ids the face's table lacks, ids of other faces, and 0 give no object.
    EXPECT_EQ(plain.stitcher.RemapObjectId(0, 4), 0);
    EXPECT_EQ(plain.stitcher.RemapObjectId(4, 3), 0);
    EXPECT_EQ(plain.stitcher.RemapObjectId(0, 0), 0);
    EXPECT_EQ(plain.stitcher.RemapObjectId(0, 65535), 0);

    Stitched tagged(faces, 1e-7, true);
    ASSERT_TRUE(tagged.stitcher.Ok());
    // Box/3 of face 2 matches face 0's Box/3; every other entry stays apart.
    EXPECT_EQ(tagged.stitcher.MergedObjects().size(), 8u);
    EXPECT_EQ(tagged.stitcher.RemapObjectId(2, 3), 1);
    EXPECT_EQ(tagged.stitcher.RemapObjectId(1, 4), 5);
    EXPECT_EQ(tagged.stitcher.RemapObjectId(2, 7), 6);
    EXPECT_NE(tagged.stitcher.RemapObjectId(3, 11), tagged.stitcher.RemapObjectId(3, 12));
}

TEST(PanoramaStitcher, ALaterEntryWithTheSameIdReplacesTheMapping) {
    FaceSet faces;
    // Reader order: Cup(2) first, then Pot(2).
    faces[0].objects = {Object(2, L"Pot", 5), Object(2, L"Cup", 5)};
    Stitched run(faces);
    ASSERT_TRUE(run.stitcher.Ok());
    ASSERT_EQ(run.stitcher.MergedObjects().size(), 2u);
    EXPECT_EQ(run.stitcher.MergedObjects()[0].name, L"Cup");
    EXPECT_EQ(run.stitcher.RemapObjectId(0, 2), 2);
}

TEST(PanoramaStitcher, IndexedMergeAgreesWithASearchFromTheStart) {
    std::mt19937 random(7);
    const std::wstring names[] = {L"A", L"B", L"Ab", L"", L"a"};
    for (bool useTag : {false, true}) {
        FaceSet faces;
        std::vector<std::vector<ObjectEntry>> readerOrder;
        for (std::size_t i = 0; i < 6; ++i) {
            for (int k = 0; k < 300; ++k) {
                faces[i].objects.push_back(Object(static_cast<std::uint16_t>(random() % 40),
                                                  names[random() % 5],
                                                  static_cast<std::uint8_t>(random() % 3),
                                                  static_cast<std::uint8_t>(random() % 2)));
            }
            readerOrder.emplace_back(faces[i].objects.rbegin(), faces[i].objects.rend());
        }
        const testfaces::MergeResult expected = testfaces::ReferenceMerge(readerOrder, useTag);
        Stitched run(faces, 1e-7, useTag);
        ASSERT_TRUE(run.stitcher.Ok());
        const auto& merged = run.stitcher.MergedObjects();
        ASSERT_EQ(merged.size(), expected.merged.size()) << useTag;
        for (std::size_t p = 0; p < merged.size(); ++p) {
            EXPECT_EQ(merged[p].id, expected.merged[p].id);
            EXPECT_EQ(merged[p].name, expected.merged[p].name);
            EXPECT_EQ(merged[p].red, expected.merged[p].red);
            EXPECT_EQ(merged[p].green, expected.merged[p].green);
        }
        for (int f = 0; f < 6; ++f) {
            for (std::uint16_t id = 1; id < 50; ++id) {
                const auto found = expected.idMaps[static_cast<std::size_t>(f)].find(id);
                const std::uint16_t want =
                    found == expected.idMaps[static_cast<std::size_t>(f)].end() ? 0 : found->second;
                EXPECT_EQ(run.stitcher.RemapObjectId(f, id), want) << f << " " << id;
            }
        }
    }
}

TEST(PanoramaStitcher, TheMergedTableHoldsAtMost65535Entries) {
    FaceSet faces;
    for (std::uint32_t k = 0; k < 65535; ++k) {
        faces[0].objects.push_back(Object(static_cast<std::uint16_t>(k + 1),
                                          L"object " + std::to_wstring(k),
                                          static_cast<std::uint8_t>(k)));
    }
    // Entries already merged do not count again.
    faces[1].objects = {faces[0].objects[17], faces[0].objects[60000]};
    {
        Stitched run(faces);
        ASSERT_TRUE(run.stitcher.Ok()) << run.stitcher.ErrorMessage();
        EXPECT_EQ(run.stitcher.MergedObjects().size(), 65535u);
        // The first entry in reader order (the last written) is panorama id 1.
        EXPECT_EQ(run.stitcher.RemapObjectId(0, 65535), 1);
        EXPECT_EQ(run.stitcher.RemapObjectId(0, 1), 65535);
        EXPECT_EQ(run.stitcher.RemapObjectId(1, 18), 65535 - 17);
    }
    faces[3].objects = {Object(1, L"one too many", 1)};
    Stitched run(faces);
    EXPECT_FALSE(run.stitcher.Ok());
    EXPECT_EQ(run.stitcher.ErrorMessage(), "d.orv - Too many objects");
}

TEST(PanoramaStitcher, AFaceWithoutItsLayersIsRefusedBeforeItsObjectsMerge) {
    FaceSet faces;
    faces[0].objects = {Object(1, L"Floor", 9)};
    faces[1].objects = {Object(1, L"Sky", 9)};
    faces[1].writeIds = false;
    Stitched run(faces);
    EXPECT_EQ(run.stitcher.ErrorMessage(), "b.orv - Missing colour or object-id layer");
    ASSERT_EQ(run.stitcher.MergedObjects().size(), 1u);
    EXPECT_EQ(run.stitcher.MergedObjects()[0].name, L"Floor");
}

TEST(PanoramaStitcher, APanoramaWiderThanTheWriterCanStoreIsRefusedBeforeAnyFile) {
    testfaces::TemporaryFolder folder;
    for (int size : {2731, 2730}) {
        FaceSet faces({0, 1, 2, 3, 4, 5}, size);
        for (std::size_t i = 0; i < 6; ++i) {
            faces[i].fillPixels = false;
        }
        Stitched run(faces);
        ASSERT_TRUE(run.stitcher.Ok());
        if (size == 2731) {
            EXPECT_FALSE(run.stitcher.BuildPanorama(folder.Path("wide.orv")));
            EXPECT_EQ(run.stitcher.ErrorMessage(),
                      folder.Path("wide.orv") +
                          " - Panorama too wide (16386 pixels, at most 16383)");
            EXPECT_TRUE(folder.Names().empty());
        } else {
            // 16380 pixels pass the check: the failure is the missing folder's.
            EXPECT_FALSE(run.stitcher.BuildPanorama(folder.Path("no/such/folder.orv")));
            EXPECT_EQ(run.stitcher.ErrorMessage(), "No such file or directory");
        }
    }
}

} // namespace
