// Opening a TIFF file by a wide (UTF-16) path. Windows builds of libtiff open wide paths
// themselves (TIFFOpenW); elsewhere the path is converted to UTF-8, the file system's own
// encoding, and opened with TIFFOpen. Mode "w" creates the file or truncates an existing one.
#pragma once

#include <tiffio.h>

namespace platform {

TIFF* OpenTiffWide(const wchar_t* path, const char* mode);

// The same with per-handle options, such as error and warning handlers that keep libtiff's
// messages away from the process-wide handlers (standard error by default).
TIFF* OpenTiffWide(const wchar_t* path, const char* mode, TIFFOpenOptions* options);

} // namespace platform
