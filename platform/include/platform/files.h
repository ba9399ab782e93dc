// File operations the programs need beyond the C library: the identity of a file, an output
// file that replaces its target only once complete, folders made
// and file names taken apart the same way on every system. Paths are
// narrow strings in the system's ANSI code page, as on the command line.
//
// The functions that can fail return 0 on success and otherwise an error number of the C
// library's numbering (errno values; on Windows the system's error code is translated to its
// nearest errno value), so that callers report the same text for every failure, whichever
// call made it.
#pragma once

#include "platform/stdio_file.h"

#include <cstddef>
#include <memory>
#include <string>

namespace platform {

// True when both paths name existing files that are one and the same file however the paths
// are spelt: the same volume serial number and file index on Windows, the same device and
// inode elsewhere. False when either cannot be examined.
bool SameFile(const std::string& first, const std::string& second);

// True when path names an existing file that is neither a regular file nor a folder: a
// character device such as /dev/null or NUL, a pipe, a socket.
bool IsDevice(const std::string& path);

// The output of a program that writes one file. A target that is a regular file, or that does
// not exist yet, is written aside and takes the target's name only once it is complete, so
// that at every moment the target is either its old file or the whole new one. A device or a
// pipe as the target is written in place.
//
// On Linux the new file has no name while it is written (O_TMPFILE): a failure, or a kill at
// any moment, leaves nothing behind. Where the file system has no unnamed files, and on
// Windows, it is written under TemporaryName(target's name, tag) in the target's folder; a
// run killed while writing leaves that file, and the next run for the same target removes
// it. All paths are used as the bytes they are, never converted.
class TargetFile {
public:
    TargetFile();
    // Closes the stream if it was not taken and removes the new file unless Commit put it in
    // place.
    ~TargetFile();
    TargetFile(const TargetFile&) = delete;
    TargetFile& operator=(const TargetFile&) = delete;

    // Prepares the new file for target and opens its stream. tag names the program in the
    // temporary's name. With allowUnnamed false the named temporary is used even where unnamed
    // files exist. Returns 0, or the error that writing target directly would give when it
    // exists but cannot be written (a folder, a read-only file), ENXIO for a pipe that no
    // process reads (found at once, never waited on), and otherwise the error of the step
    // that failed.
    int Open(const std::string& target, const std::string& tag, bool allowUnnamed = true);

    // True once Open found a device or a pipe: the stream writes to it directly and no regular
    // file named target will hold what was written.
    bool InPlace() const;

    // The stream of the new file, for binary writing from its start; once, after a successful
    // Open. The caller closes it before Commit, so that every write error is seen.
    StdioFile TakeStream();

    // Gives the complete new file the target's name, replacing the target; a regular target's
    // permission bits carry over on POSIX systems. Nothing to do in place. Returns 0 or the
    // error of the failed step, after which the target is as it was.
    int Commit();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The name of the temporary that stands for the file named name while it is written, beside
// it: ".NAME.TAG-tmp". When that would exceed limit bytes, the end of name is cut and a hash
// of the whole name keeps different names apart: ".NAMEPREFIX~HHHHHHHH.TAG-tmp".
std::string TemporaryName(const std::string& name, const std::string& tag, std::size_t limit = 255);

// The path of the running program's executable file (GetModuleFileNameA on Windows,
// /proc/self/exe elsewhere); empty when the system does not tell it.
std::string ExecutablePath();

// Makes the folder path and every missing folder above it, as "mkdir -p" does
// (CreateDirectoryA on Windows). Returns 0 when path is a folder afterwards, ENOTDIR when a
// file other than a folder is in the way, otherwise the error of the failed step.
int CreateFolders(const std::string& path);

// The path of name inside folder, joined by '/', which Windows takes as a separator too, so
// that the result reads the same on every system; no separator is added when folder is empty
// or already ends with one ('/', and a backslash or a drive's ':' on Windows).
std::string PathInFolder(const std::string& folder, const std::string& name);

// The last component of path without its last extension: "a/b.c.orv" gives "b.c", ".orv"
// gives ".orv", "." and ".." stay themselves. Separators are '/' (and a backslash and a drive's
// ':' on Windows).
std::string FileStem(const std::string& path);

} // namespace platform
