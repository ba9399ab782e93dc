// The stitch program run as its own process: exit codes, what it writes to standard output
// and standard error (where message boxes go on systems without them), and the files it
// leaves.
#include "classic_tiff.h"
#include "test_faces.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using testfaces::CubeFace;
using testfaces::FacePlan;
using testfaces::TemporaryFolder;

namespace {

const char* const Usage = "Error: Wrong number of arguments.\n\nUsage: stitch target face1 face2 "
                          "face3 face4 face5 face6 [tolerance [use_tag [leave_faces]]]\n";

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

struct Result {
    int status;
    std::string out;
    std::string err;
};

// Runs stitch in folder with the arguments; shell lines in prepare run first (limits).
Result Stitch(const TemporaryFolder& folder, const std::vector<std::string>& arguments,
              const std::string& prepare = "") {
    std::string command =
        "cd " + Quote(folder.path()) + " && " + prepare + " exec " + Quote(STITCH_EXECUTABLE);
    for (const std::string& argument : arguments) {
        command += " " + Quote(argument);
    }
    const TemporaryFolder capture;
    const std::string out = capture.Path("out");
    const std::string err = capture.Path("err");
    command = "(" + command + ") >" + Quote(out) + " 2>" + Quote(err);
    const int raw = std::system(command.c_str());
    Result result{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1000 - WTERMSIG(raw),
                  testfaces::ReadBytes(out), testfaces::ReadBytes(err)};
    return result;
}

// Six exact faces named after their directions, in shuffled order.
std::vector<std::string> WriteFaces(const TemporaryFolder& folder,
                                    const std::vector<Vector3>& eyes = {}, int size = 4) {
    const char* names[6] = {"down.orv", "east.orv", "north.orv", "up.orv", "west.orv", "south.orv"};
    const int slots[6] = {SlotDown, SlotPositiveX, SlotPositiveY,
                          SlotUp,   SlotNegativeX, SlotNegativeY};
    std::vector<std::string> paths;
    for (int i = 0; i < 6; ++i) {
        FacePlan plan = CubeFace(slots[i], size);
        plan.objects = {ObjectEntry{static_cast<std::uint16_t>(i + 1), L"Crate", 5, 6, 7}};
        if (!eyes.empty()) {
            plan.view.eyePoint = eyes[static_cast<std::size_t>(i)];
        }
        testfaces::WriteFaceFile(folder.Path(names[i]), plan, i);
        paths.push_back(names[i]);
    }
    return paths;
}

std::vector<std::string> With(const std::string& target, const std::vector<std::string>& faces,
                              const std::vector<std::string>& options = {}) {
    std::vector<std::string> arguments{target};
    arguments.insert(arguments.end(), faces.begin(), faces.end());
    arguments.insert(arguments.end(), options.begin(), options.end());
    return arguments;
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

// The number of object records in a panorama, after checking that it is one.
std::uint32_t PanoramaObjects(const std::string& path) {
    const test::Bytes file = test::ReadFileBytes(path);
    const std::vector<classic_tiff::Directory> chain = classic_tiff::ReadChain(file);
    if (chain.size() != 3) {
        ADD_FAILURE() << path << " has " << chain.size() << " directories, not 3";
        return 0;
    }
    EXPECT_EQ(classic_tiff::Values(file, chain[0], 256), std::vector<std::uint32_t>{24u});
    const std::uint32_t header = classic_tiff::Values(file, chain[2], 34953).at(0);
    return classic_tiff::U32(file, header + 8);
}

TEST(StitchProgram, WrongArgumentCountsShowTheUsageAndTouchNothing) {
    TemporaryFolder folder;
    const std::vector<std::string> faces = WriteFaces(folder);
    const std::vector<std::string> before = folder.Names();
    std::vector<std::vector<std::string>> wrong = {
        {},
        With("pano.orv", {faces[0], faces[1], faces[2], faces[3], faces[4]}),
        With("pano.orv", faces, {"1e-7", "0", "0", "extra"}),
        {"--help", "-h"},
    };
    for (const auto& arguments : wrong) {
        const Result result = Stitch(folder, arguments);
        EXPECT_EQ(result.status, 2);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, Usage);
        EXPECT_EQ(folder.Names(), before);
    }
}

TEST(StitchProgram, HelpGoesToStandardOutput) {
    TemporaryFolder folder;
    for (const char* option : {"--help", "-h"}) {
        const Result result = Stitch(folder, {option});
        EXPECT_EQ(result.status, 0);
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(result.out.rfind("Usage: stitch target face1 face2 face3 face4 face5 face6 "
                                   "[tolerance [use_tag [leave_faces]]]\n",
                                   0),
                  0u)
            << result.out;
    }
    EXPECT_TRUE(folder.Names().empty());
}

TEST(StitchProgram, SuccessWritesThePanoramaAndDeletesTheFaces) {
    for (const std::vector<std::string>& options :
         std::vector<std::vector<std::string>>{{}, {"1e-7", "0", "0"}, {"x", "y", "no"}}) {
        TemporaryFolder folder;
        const Result result = Stitch(folder, With("pano.orv", WriteFaces(folder), options));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "");
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"pano.orv"});
        EXPECT_EQ(PanoramaObjects(folder.Path("pano.orv")), 1u);
    }
}

TEST(StitchProgram, LeaveFacesKeepsThemAndUseTagKeepsIdsApart) {
    TemporaryFolder folder;
    const std::vector<std::string> faces = WriteFaces(folder);
    Result result = Stitch(folder, With("pano.orv", faces, {"1e-7", "2", "1"}));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    std::vector<std::string> expected = faces;
    expected.push_back("pano.orv");
    EXPECT_EQ(folder.Names(), Sorted(expected));
    // Six crates with six ids: one object unless ids take part.
    EXPECT_EQ(PanoramaObjects(folder.Path("pano.orv")), 6u);

    result = Stitch(folder, With("again.orv", faces, {"1e-7", "0", "1"}));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(PanoramaObjects(folder.Path("again.orv")), 1u);
}

TEST(StitchProgram, AFailedCheckShowsOneBoxExitsOneAndKeepsTheFaces) {
    TemporaryFolder folder;
    std::vector<std::string> faces = WriteFaces(folder);
    faces[4] = faces[2];
    const std::vector<std::string> before = folder.Names();
    const Result result = Stitch(folder, With("pano.orv", faces, {"1e-7", "0", "0"}));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: north.orv and north.orv - Contain the same face\n");
    EXPECT_EQ(folder.Names(), before);
}

TEST(StitchProgram, TheToleranceArgumentDecidesWhichEyePointsMatch) {
    std::vector<Vector3> eyes(6, Vector3{0, 0, 0});
    eyes[3] = {0, 0.005, 0};
    struct Case {
        const char* tolerance;
        int status;
    };
    // What texts become which tolerance is ParseTolerance's test; here the argument only has
    // to reach the checks.
    for (const Case& c : {Case{"1e-7", 1}, Case{"0.006", 0}, Case{"1", 0}, Case{"0.004", 1}}) {
        TemporaryFolder folder;
        const Result result =
            Stitch(folder, With("pano.orv", WriteFaces(folder, eyes), {c.tolerance, "0", "1"}));
        EXPECT_EQ(result.status, c.status) << c.tolerance;
        EXPECT_EQ(result.err,
                  c.status == 0 ? "" : "Error: down.orv and up.orv - Eye points do not match\n")
            << c.tolerance;
    }
}

TEST(StitchProgram, AFailedWriteLeavesAnExistingTargetAsItWas) {
    TemporaryFolder folder;
    const std::vector<std::string> faces = WriteFaces(folder, {}, 32);
    testfaces::WriteBytes(folder.Path("pano.orv"), std::string(300, 'p'));
    const std::vector<std::string> before = folder.Names();
    // The panorama (55 KB) outgrows a file size limit of a few kilobytes; the write fails
    // instead of the process being stopped.
    const Result result = Stitch(folder, With("pano.orv", faces), "trap '' XFSZ && ulimit -f 4 &&");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Error: File too large\n");
    EXPECT_EQ(folder.Names(), before);
    EXPECT_EQ(testfaces::ReadBytes(folder.Path("pano.orv")), std::string(300, 'p'));
}

TEST(StitchProgram, AFaceThatIsTheTargetIsNeverDeleted) {
    {
        // The target spelt differently from the face it overwrites.
        TemporaryFolder folder;
        std::vector<std::string> faces = WriteFaces(folder);
        std::filesystem::create_directory(folder.Path("sub"));
        const Result result = Stitch(folder, With("sub/../" + faces[1], faces));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{faces[1], "sub"}));
        EXPECT_EQ(PanoramaObjects(folder.Path(faces[1])), 1u);
    }
    {
        // A target that is another name of a face file before the run.
        TemporaryFolder folder;
        std::vector<std::string> faces = WriteFaces(folder);
        std::filesystem::create_hard_link(folder.Path(faces[2]), folder.Path("pano.orv"));
        const Result result = Stitch(folder, With("pano.orv", faces));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(folder.Names(), Sorted({faces[2], "pano.orv"}));
        EXPECT_EQ(PanoramaObjects(folder.Path("pano.orv")), 1u);
    }
}

TEST(StitchProgram, PathsAreUsedExactlyAsTyped) {
    TemporaryFolder folder;
    std::vector<std::string> faces = WriteFaces(folder);
    std::filesystem::rename(folder.Path(faces[0]), folder.Path("Fläche unten.orv"));
    faces[0] = "Fläche unten.orv";
    faces[5] = "./" + faces[5];
    Result result = Stitch(folder, With("Pano rama.orv", faces, {"1e-7", "0", "1"}));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(PanoramaObjects(folder.Path("Pano rama.orv")), 1u);

    faces[3] = "Fläche unten.orv";
    result = Stitch(folder, With("Pano rama.orv", faces));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error: Fläche unten.orv and Fläche unten.orv - Contain the same face\n");
}

} // namespace
