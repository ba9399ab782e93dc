// File identity, temporary files and replacement on POSIX systems.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

namespace platform {

namespace {

// The folder part of a path, with its separator; empty for a bare file name, which then
// lives in the current folder.
std::string FolderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

int CloseKeepingError(int fd, int error) {
    close(fd);
    return error;
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
    bool targetExists = false;
    if (stat(target.c_str(), &existing) == 0) {
        // Opening without O_TRUNC or O_CREAT asks the question writing would ask (is it a
        // folder, may this process write it) and changes nothing.
        const int probe = open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        if (probe < 0) {
            return errno;
        }
        close(probe);
        targetExists = true;
    } else if (errno != ENOENT) {
        return errno;
    }

    const std::string folder = FolderOf(target);
    std::random_device device;
    std::mt19937_64 random(
        (static_cast<std::uint64_t>(device()) << 32) ^ static_cast<std::uint64_t>(getpid()) ^
        static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "stitch-%012llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
        const std::string candidate = folder + name;
        // 0666 lets the umask decide, as for any file a program creates.
        const int fd =
            open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return errno;
        }
        if (targetExists && fchmod(fd, existing.st_mode & 07777) != 0) {
            const int error = CloseKeepingError(fd, errno);
            unlink(candidate.c_str());
            return error;
        }
        if (close(fd) != 0) {
            const int error = errno;
            unlink(candidate.c_str());
            return error;
        }
        path = candidate;
        return 0;
    }
    return EEXIST;
}

int ReplaceFileWith(const std::string& source, const std::string& target) {
    return std::rename(source.c_str(), target.c_str()) == 0 ? 0 : errno;
}

} // namespace platform
