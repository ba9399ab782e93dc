// The stitch program run as its own process: exit codes, what it writes to standard output
// and standard error (where message boxes go on systems without them), and the files it
// leaves.
#include "classic_tiff.h"
#include "test_faces.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <string>
#include <thread>
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

// Runs stitch in folder with the arguments; shell lines in prepare run first (limits). A run
// that waits on something is stopped after 20 s and fails its test with status 124.
Result Stitch(const TemporaryFolder& folder, const std::vector<std::string>& arguments,
              const std::string& prepare = "") {
    std::string command = "cd " + Quote(folder.path()) + " && " + prepare + " exec timeout 20 " +
                          Quote(STITCH_EXECUTABLE);
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

// The number of object records in a panorama, after checking that it is one of that width.
std::uint32_t PanoramaObjects(const std::string& path, std::uint32_t width = 24) {
    const test::Bytes file = test::ReadFileBytes(path);
    const std::vector<classic_tiff::Directory> chain = classic_tiff::ReadChain(file);
    if (chain.size() != 3) {
        ADD_FAILURE() << path << " has " << chain.size() << " directories, not 3";
        return 0;
    }
    EXPECT_EQ(classic_tiff::Values(file, chain[0], 256), std::vector<std::uint32_t>{width});
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

TEST(StitchProgram, PipesAndDevicesAreNeverWaitedOnAndKeepTheFaces) {
    TemporaryFolder folder;
    const std::vector<std::string> faces = WriteFaces(folder);
    ASSERT_EQ(mkfifo(folder.Path("pipe").c_str(), 0600), 0);
    const std::vector<std::string> before = folder.Names();
    std::vector<std::string> withPipe = faces;
    withPipe[3] = "pipe";
    Result result = Stitch(folder, With("pano.orv", withPipe));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error: pipe - Read failed\n");
    // A pipe that nobody reads, as the target.
    result = Stitch(folder, With("pipe", faces));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "Error: " + std::string(std::strerror(ENXIO)) + "\n");
    // The panorama went to a device and is kept nowhere: the faces stay.
    result = Stitch(folder, With("/dev/null", faces));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(folder.Names(), before);
}

TEST(StitchProgram, PathsAreTheirOwnBytesAndMayBeAsLongAsTheSystemAllows) {
    TemporaryFolder folder;
    const std::vector<std::string> faces = WriteFaces(folder);
    const std::string odd = "Pano\xff\xfe";
    ASSERT_EQ(mkdir(folder.Path(odd).c_str(), 0777), 0);
    std::vector<std::string> missing = faces;
    missing[1] = odd + "/gone\xe9.orv";
    Result result = Stitch(folder, With(odd + "/pano.orv", missing));
    EXPECT_EQ(result.err, "Error: " + missing[1] + " - Read failed\n");
    result = Stitch(folder, With(odd + "/pano.orv", faces, {"1e-7", "0", "1"}));
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(PanoramaObjects(folder.Path(odd + "/pano.orv")), 1u);

    // A target path of 4092 bytes, which the system lets a program write directly.
    std::string target = folder.path();
    while (4092 - target.size() - 1 > 250) {
        target += "/" + std::string(200, 'd');
        ASSERT_EQ(mkdir(target.c_str(), 0777), 0);
    }
    const std::string last = target;
    target += "/" + std::string(4092 - target.size() - 1, 'p');
    ASSERT_EQ(target.size(), 4092u);
    const int direct = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
    ASSERT_GE(direct, 0) << std::strerror(errno);
    close(direct);
    for (int run = 0; run < 2; ++run) { // a new target, then one to replace
        result = Stitch(folder, With(target, faces, {"1e-7", "0", "1"}));
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(last),
                                std::filesystem::directory_iterator()),
                  1);
    }
    EXPECT_EQ(PanoramaObjects(target), 1u);
}

TEST(StitchProgram, AFullFileSystemKeepsTheOldTargetAndLeavesNothing) {
    TemporaryFolder folder;
    const std::vector<std::string> faces = WriteFaces(folder, {}, 32);
    const std::string small = folder.Path("small");
    ASSERT_EQ(mkdir(small.c_str(), 0777), 0);
    // Too few bytes for the 55 KB panorama, then no inode for a second file.
    for (const char* options : {"size=16k", "nr_inodes=2"}) {
        if (mount("orvo-test", small.c_str(), "tmpfs", 0, options) != 0) {
            GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
        }
        testfaces::WriteBytes(small + "/pano.orv", std::string(300, 'p'));
        const Result result = Stitch(folder, With("small/pano.orv", faces));
        EXPECT_EQ(result.status, 1) << options;
        EXPECT_EQ(result.err, "Error: " + std::string(std::strerror(ENOSPC)) + "\n") << options;
        EXPECT_EQ(testfaces::ReadBytes(small + "/pano.orv"), std::string(300, 'p'));
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(small),
                                std::filesystem::directory_iterator()),
                  1)
            << options;
        ASSERT_EQ(umount(small.c_str()), 0) << std::strerror(errno);
    }
    EXPECT_EQ(folder.Names().size(), 7u);
}

TEST(StitchProgram, AKilledRunLeavesTheOldTargetOrTheWholeNewOneAndNothingElse) {
    const int size = 256;
    TemporaryFolder folder;
    const std::vector<std::string> faces = WriteFaces(folder, {}, size);
    std::map<std::string, std::string> faceBytes;
    for (const std::string& face : faces) {
        faceBytes[face] = testfaces::ReadBytes(folder.Path(face));
    }
    std::vector<std::string> expectedNames = faces;
    expectedNames.push_back("pano.orv");
    expectedNames = Sorted(expectedNames);
    const std::string old = "the previous panorama";
    const auto start = [&]() {
        const pid_t child = fork();
        if (child == 0) {
            std::vector<const char*> argv{STITCH_EXECUTABLE, "pano.orv"};
            for (const std::string& face : faces) {
                argv.push_back(face.c_str());
            }
            for (const char* option : {"1e-7", "0", "1", static_cast<const char*>(nullptr)}) {
                argv.push_back(option);
            }
            if (chdir(folder.path().c_str()) == 0 && freopen("/dev/null", "w", stderr)) {
                execv(argv[0], const_cast<char* const*>(argv.data()));
            }
            _exit(127);
        }
        return child;
    };

    // One whole run tells how long a run takes; the kills fall anywhere within that time.
    const auto begin = std::chrono::steady_clock::now();
    int status = 0;
    waitpid(start(), &status, 0);
    ASSERT_EQ(status, 0);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - begin);
    std::mt19937 random(20261209);
    std::uniform_int_distribution<long> moment(0, took.count());
    int oldKept = 0;
    int newWhole = 0;
    int whileWriting = 0;
    for (int run = 0; run < 20; ++run) {
        testfaces::WriteBytes(folder.Path("pano.orv"), old);
        const pid_t child = start();
        std::this_thread::sleep_for(std::chrono::microseconds(moment(random)));
        // Killed while the panorama was being written: the process holds a file with no name.
        std::error_code ignored;
        for (const auto& fd : std::filesystem::directory_iterator(
                 "/proc/" + std::to_string(child) + "/fd", ignored)) {
            const std::string link = std::filesystem::read_symlink(fd, ignored).string();
            if (link.find(folder.path()) == 0 && link.find(" (deleted)") != std::string::npos) {
                ++whileWriting;
                break;
            }
        }
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
        if (testfaces::ReadBytes(folder.Path("pano.orv")) == old) {
            ++oldKept;
        } else {
            EXPECT_EQ(PanoramaObjects(folder.Path("pano.orv"), 6 * size), 1u) << "run " << run;
            ++newWhole;
        }
        EXPECT_EQ(folder.Names(), expectedNames) << "run " << run;
        for (const auto& face : faceBytes) {
            EXPECT_EQ(testfaces::ReadBytes(folder.Path(face.first)), face.second) << face.first;
        }
    }
    std::cout << "20 runs killed within " << took.count() / 1000 << " ms, " << whileWriting
              << " while writing: " << oldKept << " left the old target, " << newWhole
              << " the whole new one\n";
}

} // namespace
