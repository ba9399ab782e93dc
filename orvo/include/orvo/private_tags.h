// Registration of the format's private TIFF tags with libtiff's tag-extender mechanism.
// libtiff only keeps, reads back and writes tags that it knows, so every Orvo file is opened
// through these functions.
//
// Two generations exist. The plug-in's registers QuorvaneSubfileData and lets libtiff keep its
// value. The stitcher's registers both private tags, keeps their values of the current
// directory in a record of its own for every handle it opens, and opens files through its own
// client procedures, so that the reader can take its private blocks straight from the file's
// mapping. Both define QuorvaneSubfileData alike, so either may be installed first.
#pragma once

#include "platform/mapped_file.h"

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace Tessaly {
namespace Orvo {

// The plug-in's generation: registers QuorvaneSubfileData as a custom LONG field that libtiff
// keeps itself. Installed once per process, chained to the extender installed before it.
void InstallTagExtender();

// Installs the extender, then opens a file by its wide (UTF-16) path.
TIFF* OpenTiffW(const wchar_t* path, const char* mode);

} // namespace Orvo
} // namespace Tessaly

// The stitcher's generation.
//
// Installs the extender once per process, chained to the extender installed before it. It
// registers QuorvaneSubfileData (LONG, 1) and QuorvanePartialTileOffsets (LONG, variable count
// passed with the values) in every handle. In handles opened by OpenStitcherTiff it also hooks the
// handle's set, get and print methods: the values of the private tags are kept per directory
// (never carried over to the next one), a get of a tag that the current directory lacks fails,
// and printing a directory that holds one of them adds "Quorvane Tags" and a line per tag after
// libtiff's own output. Values are passed on to libtiff as well, which writes them.
void InstallPrivateTagExtender();

// Installs the extender, then opens a file with libtiff's mode letters ("r" reads, mapped
// where possible; "w" creates or truncates). libtiff's errors and warnings about the handle are
// kept from the process-wide handlers. Returns null when the file cannot be opened or is not a
// TIFF file; for reading, also when it is not a regular file (a pipe, a device), which is
// opened without waiting and refused before any byte is read.
TIFF* OpenStitcherTiff(const std::string& path, const char* mode);
// The same on a file that is already open; the handle takes it over and closes it, also when
// the open fails. name is what libtiff calls the file. When the open fails and refusal is
// given, it receives libtiff's error message (empty when libtiff gave none).
TIFF* OpenStitcherTiff(platform::File file, const std::string& name, const char* mode,
                       std::string* refusal = nullptr);

// Closes a handle of OpenStitcherTiff and frees its private tag record. Null is allowed.
void CloseTiff(TIFF* tif);

struct TiffCloser {
    void operator()(TIFF* tif) const noexcept { CloseTiff(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

// Copies size bytes at the file offset into buffer without disturbing libtiff: from the file's
// mapping when the handle was opened by OpenStitcherTiff and is mapped, otherwise through the
// handle's seek and read procedures. False when the bytes do not all lie inside the file.
bool ReadTiffBlock(TIFF* tif, std::uint64_t offset, void* buffer, std::size_t size);

// The size of the handle's file in bytes.
std::uint64_t TiffFileSize(TIFF* tif);

// libtiff's latest error message on a handle of OpenStitcherTiff ("TIFFFillStrip: ..."), empty
// when there was none since the open or the last ClearTiffError.
std::string TiffError(TIFF* tif);
void ClearTiffError(TIFF* tif);

// Whether the private blocks of a handle of OpenStitcherTiff are read from the file's mapping.
bool IsTiffMapped(TIFF* tif);
