#include "platform/tiff_open.h"

#include "platform/text.h"

#include <cerrno>

namespace platform {

TIFF* OpenTiffWide(const wchar_t* path, const char* mode) {
    if (path == nullptr || *path == 0) {
        errno = ENOENT;
        return nullptr;
    }
#ifdef _WIN32
    return TIFFOpenW(path, mode);
#else
    return TIFFOpen(WideToAnsi(path).c_str(), mode);
#endif
}

} // namespace platform
