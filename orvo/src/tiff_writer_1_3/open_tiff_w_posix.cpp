// Opening a TIFF file by its wide path elsewhere than Windows: the path is converted to UTF-8,
// the file system's own encoding, and opened with TIFFOpen.
#include "orvo/private_tags.h"

#include "platform/text.h"

#include <cerrno>

namespace Tessaly {
namespace Orvo {

TIFF* OpenTiffW(const wchar_t* path, const char* mode) {
    InstallTagExtender();
    if (path == nullptr || *path == 0) {
        errno = ENOENT;
        return nullptr;
    }
    return TIFFOpen(platform::WideToAnsi(path).c_str(), mode);
}

} // namespace Orvo
} // namespace Tessaly
