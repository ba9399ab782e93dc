// The command line of stitch: its arguments, their defaults, and the run from the command
// line to the finished panorama.
#pragma once

#include <string>
#include <vector>

// Exit codes: every failure that exits 0 would be taken for a success by the script that ran
// the program.
const int ExitSuccess = 0;
const int ExitFailure = 1; // a face failed its checks or the panorama could not be written
const int ExitUsage = 2;

const double DefaultTolerance = 1e-7;
const double SmallestTolerance = 1e-8;
const double LargestTolerance = 0.01;

// The synopsis shown by --help and after "Wrong number of arguments."
extern const char* const UsageSynopsis;

struct StitchArguments {
    std::string target;
    std::vector<std::string> facePaths; // six, as typed
    double tolerance;
    bool useTag;
    bool leaveFaces;
};

// The closeness threshold from its text, or from no text (null). A text that is no number,
// or NaN, leaves the default, which is not clamped; any other value is clamped to
// [SmallestTolerance, LargestTolerance]. Leading blanks and trailing text are ignored, as
// with "%lf".
double ParseTolerance(const char* text);

// A yes/no argument: true only when the text (not null) starts with a decimal integer, as
// "%d" reads it, that is not zero.
bool ParseFlag(const char* text);

enum class CommandLine { Run, Help, Version, WrongCount };

// Splits the arguments (argv[0] is the program) into arguments. Help is a lone "--help" or
// "-h", Version a lone "--version"; WrongCount any count of arguments other than 7 to 10
// after the program's path.
CommandLine ParseCommandLine(int argc, const char* const* argv, StitchArguments& arguments);

// The whole program: parses the command line, stitches the six faces into the target and
// deletes the faces after success unless told to leave them or the panorama went to a device
// or a pipe, where it is kept nowhere. Every failure is shown in one message box. Returns the
// exit code.
int RunStitch(int argc, const char* const* argv);
