#include "platform/mapped_file.h"

#include "platform/win32_types.h"

#include <cstdio>
#include <limits>

namespace platform {

namespace {

HANDLE AsHandle(NativeFile file) {
    return static_cast<HANDLE>(file);
}

// ReadFile and WriteFile take a DWORD count, so large transfers go in pieces.
const DWORD LargestPiece = 1u << 30;

} // namespace

File::File() noexcept : handle_(INVALID_HANDLE_VALUE) {}

File::~File() {
    Close();
}

File::File(File&& other) noexcept : handle_(other.handle_) {
    other.handle_ = INVALID_HANDLE_VALUE;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = other.handle_;
        other.handle_ = INVALID_HANDLE_VALUE;
    }
    return *this;
}

File File::Open(const std::string& path, FileAccess access) {
    DWORD desired = GENERIC_READ;
    DWORD disposition = OPEN_EXISTING;
    if (access != FileAccess::Read) {
        desired |= GENERIC_WRITE;
    }
    if (access == FileAccess::Create) {
        disposition = CREATE_ALWAYS;
    }
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return File();
    }
    HANDLE handle = CreateFileA(path.c_str(), desired, FILE_SHARE_READ, nullptr, disposition,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    return File(handle);
}

File File::Adopt(NativeFile handle) noexcept {
    return File(handle);
}

bool File::IsOpen() const noexcept {
    return AsHandle(handle_) != INVALID_HANDLE_VALUE && AsHandle(handle_) != nullptr;
}

std::int64_t File::Read(void* buffer, std::size_t size) noexcept {
    auto* bytes = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::size_t left = size - done;
        const DWORD piece = left > LargestPiece ? LargestPiece : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!ReadFile(AsHandle(handle_), bytes + done, piece, &got, nullptr)) {
            return done == 0 ? -1 : static_cast<std::int64_t>(done);
        }
        if (got == 0) {
            break;
        }
        done += got;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::Write(const void* buffer, std::size_t size) noexcept {
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < size) {
        const std::size_t left = size - done;
        const DWORD piece = left > LargestPiece ? LargestPiece : static_cast<DWORD>(left);
        DWORD put = 0;
        if (!WriteFile(AsHandle(handle_), bytes + done, piece, &put, nullptr) || put == 0) {
            return done == 0 ? -1 : static_cast<std::int64_t>(done);
        }
        done += put;
    }
    return static_cast<std::int64_t>(done);
}

std::int64_t File::Seek(std::int64_t offset, int origin) noexcept {
    DWORD method = FILE_BEGIN;
    if (origin == SEEK_CUR) {
        method = FILE_CURRENT;
    } else if (origin == SEEK_END) {
        method = FILE_END;
    }
    LARGE_INTEGER distance;
    distance.QuadPart = offset;
    LARGE_INTEGER position;
    if (!SetFilePointerEx(AsHandle(handle_), distance, &position, method)) {
        return -1;
    }
    return position.QuadPart;
}

std::int64_t File::Size() const noexcept {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(AsHandle(handle_), &size)) {
        return -1;
    }
    return size.QuadPart;
}

FileKind File::Kind() const noexcept {
    switch (GetFileType(AsHandle(handle_))) {
    case FILE_TYPE_DISK: {
        BY_HANDLE_FILE_INFORMATION information;
        if (!GetFileInformationByHandle(AsHandle(handle_), &information)) {
            return FileKind::Other;
        }
        return (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? FileKind::Folder
                                                                              : FileKind::Regular;
    }
    case FILE_TYPE_PIPE:
        return FileKind::Pipe;
    case FILE_TYPE_CHAR:
        return FileKind::Device;
    default:
        return FileKind::Other;
    }
}

bool File::Close() noexcept {
    if (!IsOpen()) {
        return true;
    }
    const BOOL closed = CloseHandle(AsHandle(handle_));
    handle_ = INVALID_HANDLE_VALUE;
    return closed != FALSE;
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
    const std::int64_t size = file.IsOpen() ? file.Size() : -1;
    if (size <= 0 || static_cast<std::uint64_t>(size) > std::numeric_limits<SIZE_T>::max()) {
        return false;
    }
    HANDLE mapping =
        CreateFileMappingA(AsHandle(file.Native()), nullptr, PAGE_READONLY, 0, 0, nullptr);
    if (mapping == nullptr) {
        return false;
    }
    // The view keeps the mapping object alive; its handle is not needed any more.
    void* base = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, static_cast<SIZE_T>(size));
    CloseHandle(mapping);
    if (base == nullptr) {
        return false;
    }
    data_ = static_cast<const unsigned char*>(base);
    size_ = static_cast<std::uint64_t>(size);
    return true;
}

void FileMapping::Unmap() noexcept {
    if (data_ != nullptr) {
        UnmapViewOfFile(data_);
        data_ = nullptr;
        size_ = 0;
    }
}

} // namespace platform
