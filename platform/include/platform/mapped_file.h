// Files through the operating system's own handles, and read-only mappings of them. The file
// library opens TIFF files with its own client procedures on top of these, so that it knows
// where libtiff's mapping of a file lies and can read its private blocks from it.
//
// Windows: CreateFileA, ReadFile, WriteFile, SetFilePointerEx, GetFileSizeEx, CreateFileMapping
// and MapViewOfFile. Elsewhere: open, read, write, lseek, fstat and mmap. Paths are narrow text
// in the ANSI code page (UTF-8 elsewhere than Windows).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

#ifdef _WIN32
typedef void* NativeFile; // HANDLE
#else
typedef int NativeFile; // file descriptor
#endif

enum class FileAccess {
    Read,      // existing file, reading only; a pipe opens at once, without waiting for a writer
    ReadWrite, // existing file, reading and writing
    Create     // created or truncated, reading and writing
};

// What an open handle refers to. Readers take only regular files: a pipe or a device would
// block them or feed them without end.
enum class FileKind {
    Regular,
    Folder,
    Pipe,   // a FIFO or a pipe
    Device, // a character or block device (NUL, a console on Windows)
    Other,  // a socket, or what the system cannot tell
};

// One open file. Moves, never copies; closes the handle when destroyed.
class File {
public:
    File() noexcept;
    ~File();
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // Opens a file by its path. On failure the result is not open and the system's error
    // (errno, or the thread's last error on Windows) says why.
    static File Open(const std::string& path, FileAccess access);
    // Takes over a handle that is already open; it is closed with this object.
    static File Adopt(NativeFile handle) noexcept;

    bool IsOpen() const noexcept;
    NativeFile Native() const noexcept { return handle_; }

    // Reads or writes at the current position until size bytes are done, the end of the
    // file is reached (reading) or an error occurs. Returns the bytes transferred, or -1
    // when an error occurred before any byte was.
    std::int64_t Read(void* buffer, std::size_t size) noexcept;
    std::int64_t Write(const void* buffer, std::size_t size) noexcept;
    // origin is SEEK_SET, SEEK_CUR or SEEK_END. Returns the new position, or -1.
    std::int64_t Seek(std::int64_t offset, int origin) noexcept;
    // Returns the size of the file in bytes, or -1.
    std::int64_t Size() const noexcept;
    FileKind Kind() const noexcept;
    // Returns false when the system reports an error closing the handle.
    bool Close() noexcept;

private:
    explicit File(NativeFile handle) noexcept : handle_(handle) {}

    NativeFile handle_;
};

// A read-only view of a whole file, valid while this object lives and maps it.
class FileMapping {
public:
    FileMapping() noexcept = default;
    ~FileMapping();
    FileMapping(FileMapping&& other) noexcept;
    FileMapping& operator=(FileMapping&& other) noexcept;
    FileMapping(const FileMapping&) = delete;
    FileMapping& operator=(const FileMapping&) = delete;

    // Maps the file as it is now. Fails, mapping nothing, for an empty file and for files
    // the system cannot map (pipes, devices).
    bool Map(const File& file) noexcept;
    void Unmap() noexcept;

    bool IsMapped() const noexcept { return data_ != nullptr; }
    const unsigned char* Data() const noexcept { return data_; }
    std::uint64_t Size() const noexcept { return size_; }

private:
    const unsigned char* data_ = nullptr;
    std::uint64_t size_ = 0;
};

} // namespace platform
