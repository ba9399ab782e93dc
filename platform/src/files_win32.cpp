// File identity and output files that replace their target on Windows.
#include "platform/files.h"

#include "platform/win32_types.h"

#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

namespace platform {

namespace {

// The C library's number for a system error code, so that every failure is reported with
// the same strerror text as the writer's own failures.
int ErrnoOf(DWORD code) {
    switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
    case ERROR_DIRECTORY: // GetTempFileName's answer for a folder that does not exist
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
        return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_NOT_SAME_DEVICE:
        return EXDEV;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    default:
        return EINVAL;
    }
}

class Handle {
public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() {
        if (Valid()) {
            CloseHandle(handle_);
        }
    }
    bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// Opens an existing file or folder for examination only.
HANDLE OpenForQuery(const std::string& path) {
    return CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

} // namespace

bool SameFile(const std::string& first, const std::string& second) {
    Handle a(OpenForQuery(first));
    Handle b(OpenForQuery(second));
    BY_HANDLE_FILE_INFORMATION infoA;
    BY_HANDLE_FILE_INFORMATION infoB;
    if (!a.Valid() || !b.Valid() || !GetFileInformationByHandle(a.Get(), &infoA) ||
        !GetFileInformationByHandle(b.Get(), &infoB)) {
        return false;
    }
    return infoA.dwVolumeSerialNumber == infoB.dwVolumeSerialNumber &&
           infoA.nFileIndexHigh == infoB.nFileIndexHigh &&
           infoA.nFileIndexLow == infoB.nFileIndexLow;
}

bool IsDevice(const std::string& path) {
    Handle file(OpenForQuery(path));
    return file.Valid() && GetFileType(file.Get()) != FILE_TYPE_DISK;
}

struct TargetFile::State {
    std::string target;
    std::string temporary; // empty in place
    bool inPlace = false;
    bool committed = false;
    StdioFile stream;

    ~State() {
        stream.reset();
        if (!committed && !temporary.empty()) {
            DeleteFileA(temporary.c_str());
        }
    }

    // Hands the handle to the C library as a binary stream; the stream owns it from then on.
    int OpenStream(HANDLE handle) {
        const int descriptor =
            _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
        if (descriptor < 0) {
            CloseHandle(handle);
            return EMFILE;
        }
        stream.reset(_fdopen(descriptor, "wb"));
        if (!stream) {
            const int error = errno;
            _close(descriptor);
            return error != 0 ? error : ENOMEM;
        }
        return 0;
    }
};

TargetFile::TargetFile() = default;
TargetFile::~TargetFile() = default;

int TargetFile::Open(const std::string& target, const std::string& tag, bool /*allowUnnamed*/) {
    state_.reset(new State());
    State& state = *state_;
    if (target.empty()) {
        return ENOENT;
    }
    state.target = target;
    // Opening the existing target for writing, without truncating it, asks the question
    // writing would ask (a folder, a read-only file) and changes nothing.
    HANDLE probe = CreateFileA(target.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND) {
            return ErrnoOf(error);
        }
    } else if (GetFileType(probe) != FILE_TYPE_DISK) {
        state.inPlace = true;
        return state.OpenStream(probe);
    } else {
        CloseHandle(probe);
    }
    const std::string::size_type separator = target.find_last_of("\\/:");
    const std::string folder =
        separator == std::string::npos ? std::string() : target.substr(0, separator + 1);
    const std::string name = target.substr(folder.size());
    if (name.empty()) {
        return ENOENT;
    }
    // The temporary's path stays within MAX_PATH where the target's does, and is never longer
    // than a longer target's.
    const std::size_t room = MAX_PATH - 1 > folder.size() ? MAX_PATH - 1 - folder.size() : 0;
    std::size_t limit = room > name.size() ? room : name.size();
    if (limit > 255) {
        limit = 255;
    }
    state.temporary = folder + TemporaryName(name, tag, limit);
    // What a run killed while writing left.
    DeleteFileA(state.temporary.c_str());
    HANDLE file = CreateFileA(state.temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const int error = ErrnoOf(GetLastError());
        state.temporary.clear();
        return error;
    }
    return state.OpenStream(file);
}

bool TargetFile::InPlace() const {
    return state_ != nullptr && state_->inPlace;
}

StdioFile TargetFile::TakeStream() {
    return state_ != nullptr ? std::move(state_->stream) : StdioFile();
}

int TargetFile::Commit() {
    if (state_ == nullptr || (!state_->inPlace && state_->temporary.empty())) {
        return EBADF;
    }
    State& state = *state_;
    // The bytes reach the disk before the name does, so that a crash soon after a run, whose
    // faces are then gone, cannot leave an empty panorama in the target's place.
    if (state.stream && !state.inPlace &&
        (std::fflush(state.stream.get()) != 0 || _commit(_fileno(state.stream.get())) != 0)) {
        return errno;
    }
    if (state.stream && std::fclose(state.stream.release()) != 0) {
        return errno;
    }
    if (!state.inPlace &&
        !MoveFileExA(state.temporary.c_str(), state.target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return ErrnoOf(GetLastError());
    }
    state.committed = true;
    return 0;
}

std::string ExecutablePath() {
    char path[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path) {
        return std::string();
    }
    return std::string(path, length);
}

namespace {

// 0 when path is a folder or was made one, otherwise the errno value of the failure.
int MakeFolder(const std::string& path) {
    if (CreateDirectoryA(path.c_str(), nullptr)) {
        return 0;
    }
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) {
        return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : ENOTDIR;
    }
    return ErrnoOf(error);
}

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

} // namespace

int CreateFolders(const std::string& path) {
    if (path.empty()) {
        return ENOENT;
    }
    // Each folder above path in turn, then path itself. A drive ("C:") and the server and
    // share of a network path (\\server\share) are not made.
    std::string::size_type start = 0;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        start = 2;
        for (int part = 0; part < 2 && start < path.size(); ++part) {
            while (start < path.size() && !IsSeparator(path[start])) {
                ++start;
            }
            ++start;
        }
    }
    for (std::string::size_type i = start; i < path.size(); ++i) {
        if (!IsSeparator(path[i]) || i == 0 || IsSeparator(path[i - 1]) || path[i - 1] == ':') {
            continue;
        }
        const int error = MakeFolder(path.substr(0, i));
        if (error != 0) {
            return error;
        }
    }
    return MakeFolder(path);
}

} // namespace platform
