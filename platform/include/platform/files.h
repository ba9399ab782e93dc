// File operations the programs need beyond the C library: the identity of a file, a
// temporary file beside a target, the replacement of a target by one rename, folders made
// and file names taken apart the same way on every system. Paths are
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

// Reserves a temporary path on the volume of target, from which target can later be replaced
// by one rename, and stores it in path. Nothing exists at path yet on POSIX systems: it lies in
// a new private folder (mode 0700) made in target's folder, so the caller creates a fresh file
// there with nothing to truncate. (On ext4, truncating a file, even an empty one, makes its
// close wait until its blocks are written.) On Windows, GetTempFileNameA creates an empty file
// in target's folder.
//
// When target exists but cannot be opened for writing (a folder, a read-only file), nothing
// is made and the error of that attempt is returned: the caller sees the failure that writing
// target directly would have given.
int CreateFileBeside(const std::string& target, std::string& path);

// Removes what CreateFileBeside made for path: the file at path when it is still there, and
// the private folder around it. Safe to call after the file was renamed away.
void RemoveFileBeside(const std::string& path);

// Renames source to target, replacing target when it exists (MoveFileExA with
// MOVEFILE_REPLACE_EXISTING on Windows, rename elsewhere). Both must be on one volume. On
// POSIX systems source first takes the permission bits of an existing regular target, as
// rewriting target in place would have kept them.
int ReplaceFileWith(const std::string& source, const std::string& target);

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
