// File identity, temporary files and replacement on POSIX systems.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace platform {

namespace {

// The folder part of a path, with its separator; empty for a bare file name, which then
// lives in the current folder.
std::string FolderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

} // namespace

bool SameFile(const std::string& first, const std::string& second) {
    struct stat a;
    struct stat b;
    if (stat(first.c_str(), &a) != 0 || stat(second.c_str(), &b) != 0) {
        return false;
    }
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

bool IsDevice(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return false;
    }
    return !S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode);
}

int CreateFileBeside(const std::string& target, std::string& path) {
    if (target.empty()) {
        return ENOENT;
    }
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0) {
        // Opening without O_TRUNC or O_CREAT asks the question writing would ask (is it a
        // folder, may this process write it) and changes nothing.
        const int probe = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (probe < 0) {
            return errno;
        }
        close(probe);
    } else if (errno != ENOENT) {
        return errno;
    }
    std::string folder = FolderOf(target) + "stitch-tmp-XXXXXX";
    if (mkdtemp(&folder[0]) == nullptr) {
        return errno;
    }
    path = folder + "/part.orv";
    return 0;
}

void RemoveFileBeside(const std::string& path) {
    unlink(path.c_str());
    const std::string::size_type slash = path.rfind('/');
    if (slash != std::string::npos) {
        rmdir(path.substr(0, slash).c_str());
    }
}

int ReplaceFileWith(const std::string& source, const std::string& target) {
    struct stat existing;
    if (stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode) &&
        chmod(source.c_str(), existing.st_mode & 07777) != 0) {
        return errno;
    }
    return std::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

std::string ExecutablePath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) {
        return std::string();
    }
    return std::string(path, static_cast<std::size_t>(length));
}

namespace {

// 0 when path is a folder or was made one, otherwise the errno value of the failure.
int MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0777) == 0) {
        return 0;
    }
    const int error = errno;
    struct stat info;
    if (stat(path.c_str(), &info) == 0) {
        return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
    }
    return error;
}

} // namespace

int CreateFolders(const std::string& path) {
    if (path.empty()) {
        return ENOENT;
    }
    // Each folder above path in turn, then path itself; a leading '/' is the root.
    for (std::string::size_type slash = path.find('/', 1); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
        if (path[slash - 1] == '/') {
            continue;
        }
        const int error = MakeFolder(path.substr(0, slash));
        if (error != 0) {
            return error;
        }
    }
    return MakeFolder(path);
}

} // namespace platform
