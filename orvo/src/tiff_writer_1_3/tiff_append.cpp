#include "tiff_writer_1_3/tiff_append.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace Tessaly {
namespace Orvo {

namespace {

[[noreturn]] void ThrowSystemError(int errorNumber) {
    throw std::runtime_error(std::strerror(errorNumber));
}

} // namespace

std::uint32_t CheckedOffset(std::uint64_t offset) {
    if (offset > 0xFFFFFFFFu) {
        throw std::runtime_error("offset out of range");
    }
    return static_cast<std::uint32_t>(offset);
}

std::uint64_t EndOfFile(TIFF* tiff) {
    errno = 0;
    const toff_t end = TIFFGetSeekProc(tiff)(TIFFClientdata(tiff), 0, SEEK_END);
    if (end == static_cast<toff_t>(-1)) {
        ThrowSystemError(errno != 0 ? errno : EIO);
    }
    return end;
}

std::uint32_t AppendBlock(TIFF* tiff, const unsigned char* data, std::size_t size) {
    const std::uint32_t offset = CheckedOffset(EndOfFile(tiff));
    errno = 0;
    // libtiff's write procedure takes a non-const buffer but only reads it.
    const tmsize_t written = TIFFGetWriteProc(tiff)(
        TIFFClientdata(tiff), const_cast<unsigned char*>(data), static_cast<tmsize_t>(size));
    if (written != static_cast<tmsize_t>(size)) {
        // A write that stops short without an error number still did not store the block.
        ThrowSystemError(errno != 0 ? errno : EIO);
    }
    return offset;
}

} // namespace Orvo
} // namespace Tessaly
