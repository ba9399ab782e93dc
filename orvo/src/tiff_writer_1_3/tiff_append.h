// Appending the format's private blocks to a file that libtiff is writing, through the TIFF
// handle's own seek and write procedures: one file handle, and libtiff, which looks up the
// end of the file for every new strip, never misses what was appended in between.
#pragma once

#include <tiffio.h>

#include <cstddef>
#include <cstdint>

namespace Tessaly {
namespace Orvo {

// An offset as the file stores it (u32). Throws std::runtime_error("offset out of range")
// above 0xFFFFFFFF.
std::uint32_t CheckedOffset(std::uint64_t offset);

// The current end of the file. Throws std::runtime_error with the system's text when the
// seek fails.
std::uint64_t EndOfFile(TIFF* tiff);

// Writes the whole block at the end of the file and returns its offset, checked as above.
// A short write throws std::runtime_error with the system's text.
std::uint32_t AppendBlock(TIFF* tiff, const unsigned char* data, std::size_t size);

} // namespace Orvo
} // namespace Tessaly
