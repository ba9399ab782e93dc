// File operations the stitcher needs beyond the C library: the identity of a file, a
// temporary file beside a target, and the replacement of a target by one rename. Paths are
// narrow strings in the system's ANSI code page, as on the command line.
//
// The functions that can fail return 0 on success and otherwise an error number of the C
// library's numbering (errno values; on Windows the system's error code is translated to its
// nearest errno value), so that callers report the same text for every failure, whichever
// call made it.
#pragma once

#include <string>

namespace platform {

// True when both paths name existing files that are one and the same file however the paths
// are spelt: the same volume serial number and file index on Windows, the same device and
// inode elsewhere. False when either cannot be examined.
bool SameFile(const std::string& first, const std::string& second);

// True when path names an existing file that is neither a regular file nor a folder: a
// character device such as /dev/null or NUL, a pipe, a socket. Such a target is written in
// place; there is nothing to rename over it.
bool IsDevice(const std::string& path);

// Creates a new, empty file with a unique name in the folder of target and stores its path in
// path, so that target can later be replaced by renaming that file within one volume. The new
// file gets the permissions a newly created target would get (on Windows, the folder's); on
// POSIX systems, when target exists, it takes target's permission bits instead.
//
// When target exists but cannot be opened for writing (a folder, a read-only file), nothing
// is created and the error of that attempt is returned: the caller sees the failure that
// writing target directly would have given.
int CreateFileBeside(const std::string& target, std::string& path);

// Renames source to target, replacing target when it exists (MoveFileExA with
// MOVEFILE_REPLACE_EXISTING on Windows, rename elsewhere). Both must be on one volume.
int ReplaceFileWith(const std::string& source, const std::string& target);

} // namespace platform
