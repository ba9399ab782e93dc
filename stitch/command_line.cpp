#include "command_line.h"

#include "panorama_stitcher.h"

#include "platform/files.h"
#include "platform/kernel32.h"
#include "platform/user32.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

const char* const UsageSynopsis =
    "Usage: stitch target face1 face2 face3 face4 face5 face6 [tolerance [use_tag [leave_faces]]]";

namespace {

const char* const HelpDetails =
    "\n"
    "Joins six cube-face renders, one along each axis direction from one eye point, into one\n"
    "panorama strip with one depth range and one merged object table, then deletes the faces.\n"
    "\n"
    "  target       the panorama file to write (a device or a pipe keeps the faces)\n"
    "  face1..6     the face files, in any order of directions\n"
    "  tolerance    closeness of view axes and eye points (default 1e-7, 1e-8 to 0.01)\n"
    "  use_tag      non-zero: object entries merge only when their ids agree too\n"
    "  leave_faces  non-zero: keep the face files after success\n"
    "\n"
    "stitch --help prints this text, stitch --version the version. Where there is no\n"
    "standard output to print to, a message box shows them.\n"
    "\n"
    "Exit status: 0 success, 1 a face failed its checks or the write failed, 2 wrong usage.\n";

// The user sees exactly one box for a failure: no owner window, information icon, one OK.
void ShowError(const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), "Error", MB_ICONINFORMATION);
}

// Text the user asked for goes to standard output. A GUI program started from a desktop or a
// console without redirection on Windows has no standard output, and the writes fail; the
// text is then shown in a message box instead, so that it is never lost.
void ShowText(const std::string& caption, const std::string& text) {
    if (std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0) {
        return;
    }
    std::clearerr(stdout);
    std::string shown = text;
    while (!shown.empty() && shown.back() == '\n') {
        shown.pop_back();
    }
    MessageBoxA(nullptr, shown.c_str(), caption.c_str(), MB_ICONINFORMATION);
}

} // namespace

double ParseTolerance(const char* text) {
    if (text == nullptr) {
        return DefaultTolerance;
    }
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || std::isnan(value)) {
        return DefaultTolerance;
    }
    if (value < SmallestTolerance) {
        return SmallestTolerance;
    }
    if (value > LargestTolerance) {
        return LargestTolerance;
    }
    return value;
}

bool ParseFlag(const char* text) {
    if (text == nullptr) {
        return false;
    }
    char* end = nullptr;
    // A number beyond the range of long long still reads as non-zero.
    const long long value = std::strtoll(text, &end, 10);
    return end != text && value != 0;
}

CommandLine ParseCommandLine(int argc, const char* const* argv, StitchArguments& arguments) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        return CommandLine::Help;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        return CommandLine::Version;
    }
    if (argc < 8 || argc > 11) {
        return CommandLine::WrongCount;
    }
    arguments.target = argv[1];
    arguments.facePaths.assign(argv + 2, argv + 8);
    arguments.tolerance = ParseTolerance(argc > 8 ? argv[8] : nullptr);
    arguments.useTag = ParseFlag(argc > 9 ? argv[9] : nullptr);
    arguments.leaveFaces = ParseFlag(argc > 10 ? argv[10] : nullptr);
    return CommandLine::Run;
}

int RunStitch(int argc, const char* const* argv) {
    StitchArguments arguments;
    switch (ParseCommandLine(argc, argv, arguments)) {
    case CommandLine::Help:
        ShowText("stitch", std::string(UsageSynopsis) + "\n" + HelpDetails);
        return ExitSuccess;
    case CommandLine::Version:
        ShowText("stitch", std::string("stitch ") + ORVO_VERSION + "\n");
        return ExitSuccess;
    case CommandLine::WrongCount:
        ShowError(std::string("Wrong number of arguments.\n\n") + UsageSynopsis);
        return ExitUsage;
    case CommandLine::Run:
        break;
    }

    try {
        // A face that is the target, however spelt, holds the panorama after the run; it is
        // never deleted, and neither is one that was the target's file before the run.
        std::vector<bool> keep(arguments.facePaths.size(), arguments.leaveFaces);
        for (std::size_t i = 0; i < keep.size(); ++i) {
            if (platform::SameFile(arguments.facePaths[i], arguments.target)) {
                keep[i] = true;
            }
        }
        PanoramaStitcher stitcher(arguments.facePaths, arguments.tolerance, arguments.useTag);
        if (!stitcher.BuildPanorama(arguments.target)) {
            ShowError(stitcher.ErrorMessage());
            return ExitFailure;
        }
        // A panorama that went to a device or a pipe is kept nowhere: the faces stay.
        for (std::size_t i = 0; i < keep.size() && stitcher.InRegularFile(); ++i) {
            if (!keep[i] && !platform::SameFile(arguments.facePaths[i], arguments.target)) {
                // A face that cannot be removed simply stays.
                DeleteFileA(arguments.facePaths[i].c_str());
            }
        }
    } catch (const std::exception& error) {
        ShowError(error.what());
        return ExitFailure;
    }
    return ExitSuccess;
}
