// The file under the plug-in writer's TIFF handle: libtiff's client procedures on a system
// file, with the bytes of the layer directories mirrored in memory.
//
// The writer rewrites every directory after every row, and libtiff does that by reading the
// directory back with its height-long strip arrays and writing all of it again, although only
// one strip offset and one byte count have changed. With the directories' bytes at hand, reads
// of them are served from memory, and a rewrite of a mirrored range sends only the bytes that
// differ to the system. Every write still reaches the file before the call returns, so the file
// holds exactly what libtiff wrote at every moment: the mirror saves system calls, it never
// defers a byte.
#pragma once

#include "platform/mapped_file.h"

#include <tiffio.h>

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Tessaly {
namespace Orvo {

class MirroredFile {
public:
    explicit MirroredFile(platform::File file);
    MirroredFile(const MirroredFile&) = delete;
    MirroredFile& operator=(const MirroredFile&) = delete;

    // Opens a TIFF handle whose I/O procedures are this object's; the object must outlive the
    // handle. The handle never closes the file: Close does.
    TIFF* OpenHandle(const char* name, const char* mode, TIFFOpenOptions* options);

    // While on, the bytes of every write are kept as a mirror of the range they went to. The
    // writer turns it on for directory writes only, so that pixel strips do not fill memory.
    void SetMirroring(bool on) { mirroring_ = on; }

    // The procedures' work, with libtiff's conventions: Read and Write return the bytes done
    // or -1; Seek returns the new position or -1. SEEK_END asks the system, so a file that
    // something else has grown is seen as it is.
    std::int64_t Read(void* buffer, std::size_t size);
    std::int64_t Write(const void* data, std::size_t size);
    std::int64_t Seek(std::int64_t offset, int origin);
    std::int64_t Size() const { return file_.Size(); }

    // Closes the system file; false, with errno set, when the system reports an error.
    bool Close() { return file_.Close(); }

    // Bytes currently mirrored.
    std::size_t MirroredBytes() const;

private:
    struct Range {
        std::uint64_t offset;
        std::vector<unsigned char> bytes;
    };

    // Moves the system's file position to position_ when it is elsewhere.
    bool PlaceSystemPosition();
    // Writes at position_ straight to the system.
    bool WriteThrough(const unsigned char* data, std::size_t size);
    // Forgets every mirrored range that [offset, offset + size) touches.
    void Forget(std::uint64_t offset, std::size_t size);

    platform::File file_;
    std::uint64_t position_ = 0;       // where libtiff's next read or write goes
    std::int64_t systemPosition_ = -1; // the system file's position, -1 when not known
    bool mirroring_ = false;
    std::vector<Range> ranges_;
};

} // namespace Orvo
} // namespace Tessaly
