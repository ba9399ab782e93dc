#include "platform/wide_file.h"

#include "platform/text.h"

#include <cerrno>

#ifdef _WIN32
#include <windows.h>
#endif

namespace platform {

#ifdef _WIN32

namespace {

int ErrnoFromSystemError(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    default:
        return EIO;
    }
}

} // namespace

File CreateFileWide(const wchar_t* path) {
    if (path == nullptr || *path == 0) {
        errno = ENOENT;
        return File();
    }
    HANDLE handle = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = ErrnoFromSystemError(GetLastError());
        return File();
    }
    return File::Adopt(handle);
}

#else

File CreateFileWide(const wchar_t* path) {
    if (path == nullptr || *path == 0) {
        errno = ENOENT;
        return File();
    }
    return File::Open(WideToAnsi(path), FileAccess::Create);
}

#endif

} // namespace platform
