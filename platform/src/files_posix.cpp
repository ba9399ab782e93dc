// File identity and output files that replace their target on POSIX systems.
#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace platform {

namespace {

// Opened only to name files relative to it; O_PATH needs no read permission on the folder.
#ifdef O_PATH
const int FolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
const int FolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

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

struct TargetFile::State {
    int folder = -1;  // the target's folder, which every name below is relative to
    int file = -1;    // the new file, or the device written in place
    std::string name; // the target's last component
    std::string temporary;
    bool inPlace = false;
    bool unnamed = false;
    bool committed = false;
    dev_t device = 0; // identity of the new file, so that only this run's temporary is removed
    ino_t inode = 0;
    StdioFile stream;

    ~State() {
        stream.reset();
        if (!committed && HoldsTemporary()) {
            unlinkat(folder, temporary.c_str(), 0);
        }
        if (file >= 0) {
            close(file);
        }
        if (folder >= 0) {
            close(folder);
        }
    }

    // True when the temporary name is this run's new file, not a file another run made there.
    bool HoldsTemporary() const {
        struct stat info;
        return folder >= 0 && file >= 0 && !temporary.empty() &&
               fstatat(folder, temporary.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
               info.st_dev == device && info.st_ino == inode;
    }

    // /proc/self/fd/N: the name through which linkat reaches an unnamed file without the
    // privilege that AT_EMPTY_PATH needs.
    std::string ProcName() const { return "/proc/self/fd/" + std::to_string(file); }

    int OpenStream() {
        const int copy = fcntl(file, F_DUPFD_CLOEXEC, 0);
        if (copy < 0) {
            return errno;
        }
        stream.reset(fdopen(copy, "wb"));
        if (!stream) {
            const int error = errno;
            close(copy);
            return error;
        }
        return 0;
    }
};

TargetFile::TargetFile() = default;
TargetFile::~TargetFile() = default;

int TargetFile::Open(const std::string& target, const std::string& tag, bool allowUnnamed) {
    state_.reset(new State());
    State& state = *state_;
    if (target.empty()) {
        return ENOENT;
    }
    // Opening an existing target for writing, without O_CREAT or O_TRUNC, asks the question
    // writing would ask (is it a folder, may this process write it) and changes nothing;
    // O_NONBLOCK makes a pipe without a reader fail with ENXIO instead of waiting for one.
    struct stat existing;
    bool replacing = false;
    const int probe = open(target.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (probe >= 0) {
        if (fstat(probe, &existing) != 0) {
            const int error = errno;
            close(probe);
            return error;
        }
        if (!S_ISREG(existing.st_mode)) {
            state.file = probe;
            state.inPlace = true;
            const int flags = fcntl(probe, F_GETFL);
            if (flags < 0 || fcntl(probe, F_SETFL, flags & ~O_NONBLOCK) != 0) {
                return errno;
            }
            return state.OpenStream();
        }
        close(probe);
        replacing = true;
    } else if (errno != ENOENT) {
        return errno;
    }

    const std::string::size_type slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : target.substr(0, slash);
    state.name = slash == std::string::npos ? target : target.substr(slash + 1);
    if (state.name.empty()) {
        return EISDIR;
    }
    // Every later step names files relative to the folder, so no path handed to the system
    // is longer than the target's own.
    state.folder = open(folder.c_str(), FolderFlags);
    if (state.folder < 0) {
        return errno;
    }
    // What a run killed while writing under the temporary name left.
    const std::string temporary = TemporaryName(state.name, tag);
    struct stat stale;
    if (fstatat(state.folder, temporary.c_str(), &stale, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(stale.st_mode)) {
        unlinkat(state.folder, temporary.c_str(), 0);
    }

#ifdef O_TMPFILE
    if (allowUnnamed) {
        state.file = openat(state.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (state.file >= 0) {
            struct stat linkable;
            if (stat(state.ProcName().c_str(), &linkable) == 0) {
                state.unnamed = true;
            } else {
                close(state.file);
                state.file = -1;
            }
        } else if (errno != EOPNOTSUPP && errno != EISDIR) {
            return errno;
        }
    }
#else
    (void)allowUnnamed;
#endif
    state.temporary = temporary;
    if (!state.unnamed) {
        state.file = openat(state.folder, temporary.c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (state.file < 0) {
            return errno;
        }
    }
    struct stat created;
    if (fstat(state.file, &created) != 0) {
        return errno;
    }
    state.device = created.st_dev;
    state.inode = created.st_ino;
    // Rewriting the target in place would have kept its permission bits.
    if (replacing && fchmod(state.file, existing.st_mode & 07777) != 0) {
        return errno;
    }
    return state.OpenStream();
}

bool TargetFile::InPlace() const {
    return state_ != nullptr && state_->inPlace;
}

StdioFile TargetFile::TakeStream() {
    return state_ != nullptr ? std::move(state_->stream) : StdioFile();
}

int TargetFile::Commit() {
    if (state_ == nullptr || state_->file < 0) {
        return EBADF;
    }
    State& state = *state_;
    if (state.stream && std::fclose(state.stream.release()) != 0) {
        return errno;
    }
    if (state.inPlace) {
        state.committed = true;
        return 0;
    }
    // The bytes reach the disk before the name does, so that a crash soon after a run, whose
    // faces are then gone, cannot leave an empty panorama in the target's place.
    if (fsync(state.file) != 0) {
        return errno;
    }
    if (state.unnamed) {
        // A target that does not exist gets the file in one step; an existing one is
        // replaced by a rename from the temporary name, the only moment that name exists.
        const std::string proc = state.ProcName();
        if (linkat(AT_FDCWD, proc.c_str(), state.folder, state.name.c_str(), AT_SYMLINK_FOLLOW) ==
            0) {
            state.committed = true;
            return 0;
        }
        if (errno != EEXIST) {
            return errno;
        }
        const auto linkTemporary = [&state, &proc]() {
            return linkat(AT_FDCWD, proc.c_str(), state.folder, state.temporary.c_str(),
                          AT_SYMLINK_FOLLOW);
        };
        if (linkTemporary() != 0) {
            // A killed run's temporary that appeared since Open.
            if (errno != EEXIST || unlinkat(state.folder, state.temporary.c_str(), 0) != 0 ||
                linkTemporary() != 0) {
                return errno;
            }
        }
    } else if (!state.HoldsTemporary()) {
        // Another run for the same target removed this one's temporary as stale.
        return ENOENT;
    }
    if (renameat(state.folder, state.temporary.c_str(), state.folder, state.name.c_str()) != 0) {
        return errno;
    }
    state.committed = true;
    return 0;
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
