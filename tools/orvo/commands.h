// The orvo tool's subcommands. Each takes the arguments that follow its name, writes its
// results to standard output and returns the exit status; problems with a file throw
// FileError, misuse of the command line UsageError.
#pragma once

#include "orvo/panorama.h"

#include <cstddef>
#include <stdexcept>
#include <string>
#include <vector>

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

using Arguments = std::vector<std::string>;

// The value of the --rolls option, the argument at position at; throws UsageError when it is
// missing or malformed.
FaceRolls RollsOption(const Arguments& arguments, std::size_t at);

int RunInfo(const Arguments& arguments);
int RunQuery(const Arguments& arguments);
int RunPreview(const Arguments& arguments);
int RunWeb(const Arguments& arguments);

// The one-line synopsis and the whole --help text of each subcommand.
extern const char InfoSynopsis[];
extern const char InfoHelp[];
extern const char QuerySynopsis[];
extern const char QueryHelp[];
extern const char PreviewSynopsis[];
extern const char PreviewHelp[];
extern const char WebSynopsis[];
extern const char WebHelp[];
