// Registration of the format's private TIFF tags with libtiff's tag-extender mechanism.
// libtiff only keeps, reads back and writes tags that it knows, so every Orvo file is opened
// through these functions.
#pragma once

#include <tiffio.h>

namespace Tessaly {
namespace Orvo {

// The plug-in's generation: registers QuorvaneSubfileData as a custom LONG field that libtiff
// keeps itself. Installed once per process, chained to the extender installed before it.
void InstallTagExtender();

// Installs the extender, then opens a file by its wide (UTF-16) path.
TIFF* OpenTiffW(const wchar_t* path, const char* mode);

} // namespace Orvo
} // namespace Tessaly
