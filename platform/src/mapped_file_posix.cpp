#include "platform/mapped_file.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <limits>

namespace platform {

namespace {

const int NoFile = -1;

} // namespace

File::File() noexcept : handle_(NoFile) {}

File::~File() {
    Close();
}

File::File(File&& other) noexcept : handle_(other.handle_) {
    other.handle_ = NoFile;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = NoFile;
    }
    return *this;
}

File File::Open(const std::string& path, FileAccess access) {
    int flags = O_CLOEXEC;
    switch (access) {
    case FileAccess::Read:
        // Without O_NONBLOCK opening a FIFO waits for a writer; the caller refuses it by its
        // Kind() instead. On a regular file the flag changes nothing.
        flags |= O_RDONLY | O_NONBLOCK | O_NOCTTY;
        break;
    case FileAccess::ReadWrite:
        flags |= O_RDWR;
        break;
    case FileAccess::Create:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    }
    if (path.empty()) {
        errno = ENOENT;
        return File();
    }
    int fd;
    do {
        fd = ::open(path.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    return File(fd < 0 ? NoFile : fd);
}

File File::Adopt(NativeFile handle) noexcept {
    return File(handle);
}

bool File::IsOpen() const noexcept {
    return handle_ != NoFile;
}

std::int64_t File::Read(void* buffer, std::size_t size) noexcept {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(handle_, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return done == 0 ? -1 : static_cast<std::int64_t>(done);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::Write(const void* buffer, std::size_t size) noexcept {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(handle_, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return done == 0 ? -1 : static_cast<std::int64_t>(done);
        }
        done += static_cast<std::size_t>(n);
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::Seek(std::int64_t offset, int origin) noexcept {
    const off_t position = ::lseek(handle_, static_cast<off_t>(offset), origin);
    return position < 0 ? -1 : static_cast<std::int64_t>(position);
}

std::int64_t File::Size() const noexcept {
    struct stat status;
    if (::fstat(handle_, &status) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(status.st_size);
}

FileKind File::Kind() const noexcept {
    struct stat status;
    if (::fstat(handle_, &status) != 0) {
        return FileKind::Other;
    }
    if (S_ISREG(status.st_mode)) {
        return FileKind::Regular;
    }
    if (S_ISDIR(status.st_mode)) {
        return FileKind::Folder;
    }
    if (S_ISFIFO(status.st_mode)) {
        return FileKind::Pipe;
    }
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode)) {
        return FileKind::Device;
    }
    return FileKind::Other;
}

bool File::Close() noexcept {
    if (handle_ == NoFile) {
        return true;
    }
    const int result = ::close(handle_);
    handle_ = NoFile;
    // After EINTR the descriptor is gone on Linux; retrying could close someone else's.
    return result == 0 || errno == EINTR;
}

FileMapping::~FileMapping() {
    Unmap();
}

FileMapping::FileMapping(FileMapping&& other) noexcept : data_(other.data_), size_(other.size_) {
    other.data_ = nullptr;
    other.size_ = 0;
}

FileMapping& FileMapping::operator=(FileMapping&& other) noexcept {
    if (this != &other) {
        Unmap();
        data_ = other.data_;
        size_ = other.size_;
        other.data_ = nullptr;
        other.size_ = 0;
    }
    return *this;
}

bool FileMapping::Map(const File& file) noexcept {
    Unmap();
    struct stat status;
    if (!file.IsOpen() || ::fstat(file.Native(), &status) != 0 || !S_ISREG(status.st_mode) ||
        status.st_size <= 0 ||
        static_cast<std::uint64_t>(status.st_size) > std::numeric_limits<std::size_t>::max()) {
        return false;
    }
    const auto size = static_cast<std::size_t>(status.st_size);
    void* base = ::mmap(nullptr, size, PROT_READ, MAP_SHARED, file.Native(), 0);
    if (base == MAP_FAILED) {
        return false;
    }
    data_ = static_cast<const unsigned char*>(base);
    size_ = size;
    return true;
}

void FileMapping::Unmap() noexcept {
    if (data_ != nullptr) {
        ::munmap(const_cast<unsigned char*>(data_), static_cast<std::size_t>(size_));
        data_ = nullptr;
        size_ = 0;
    }
}

} // namespace platform
