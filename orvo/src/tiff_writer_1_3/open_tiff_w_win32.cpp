// Opening a TIFF file by its wide path on Windows, where libtiff opens wide paths itself.
#include "orvo/private_tags.h"

#include <cerrno>

namespace Tessaly {
namespace Orvo {

TIFF* OpenTiffW(const wchar_t* path, const char* mode) {
    InstallTagExtender();
    if (path == nullptr || *path == 0) {
        errno = ENOENT;
        return nullptr;
    }
    return TIFFOpenW(path, mode);
}

} // namespace Orvo
} // namespace Tessaly
