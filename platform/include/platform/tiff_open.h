// Opening a TIFF file by a wide (UTF-16) path. Windows builds of libtiff open wide paths
// themselves (TIFFOpenW); elsewhere the path is converted to UTF-8, the file system's own
// encoding, and opened with TIFFOpen. Mode "w" creates the file or truncates an existing one.
#pragma once

#include <tiffio.h>

namespace platform {

TIFF* OpenTiffWide(const wchar_t* path, const char* mode);

} // namespace platform
