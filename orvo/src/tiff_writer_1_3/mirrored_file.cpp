#include "tiff_writer_1_3/mirrored_file.h"

#include <cstdio>
#include <cstring>

namespace Tessaly {
namespace Orvo {

namespace {

MirroredFile* Self(thandle_t handle) {
    return static_cast<MirroredFile*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
    return size < 0 ? -1 : Self(handle)->Read(buffer, static_cast<std::size_t>(size));
}

tmsize_t WriteProc(thandle_t handle, void* data, tmsize_t size) {
    return size < 0 ? -1 : Self(handle)->Write(data, static_cast<std::size_t>(size));
}

toff_t SeekProc(thandle_t handle, toff_t offset, int origin) {
    const std::int64_t position = Self(handle)->Seek(static_cast<std::int64_t>(offset), origin);
    return position < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(position);
}

int CloseProc(thandle_t) {
    return 0;
}

toff_t SizeProc(thandle_t handle) {
    const std::int64_t size = Self(handle)->Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

// libtiff maps files only for reading; a writer's file is never mapped.
int MapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void UnmapProc(thandle_t, void*, toff_t) {}

// First and one-past-last index at which two blocks of equal size differ; first == size when
// they are equal. Compared in chunks first: most of a rewritten directory is unchanged.
void DifferingSpan(const unsigned char* a, const unsigned char* b, std::size_t size,
                   std::size_t& first, std::size_t& last) {
    const std::size_t chunk = 64;
    first = 0;
    while (first + chunk <= size && std::memcmp(a + first, b + first, chunk) == 0) {
        first += chunk;
    }
    while (first < size && a[first] == b[first]) {
        ++first;
    }
    last = size;
    if (first == size) {
        return;
    }
    while (last >= first + chunk && std::memcmp(a + last - chunk, b + last - chunk, chunk) == 0) {
        last -= chunk;
    }
    while (last > first && a[last - 1] == b[last - 1]) {
        --last;
    }
}

} // namespace

MirroredFile::MirroredFile(platform::File file) : file_(std::move(file)) {}

TIFF* MirroredFile::OpenHandle(const char* name, const char* mode, TIFFOpenOptions* options) {
    return TIFFClientOpenExt(name, mode, this, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                             MapProc, UnmapProc, options);
}

std::size_t MirroredFile::MirroredBytes() const {
    std::size_t total = 0;
    for (const Range& range : ranges_) {
        total += range.bytes.size();
    }
    return total;
}

bool MirroredFile::PlaceSystemPosition() {
    if (systemPosition_ == static_cast<std::int64_t>(position_)) {
        return true;
    }
    systemPosition_ = file_.Seek(static_cast<std::int64_t>(position_), SEEK_SET);
    return systemPosition_ >= 0;
}

bool MirroredFile::WriteThrough(const unsigned char* data, std::size_t size) {
    if (!PlaceSystemPosition()) {
        return false;
    }
    const std::int64_t written = file_.Write(data, size);
    if (written != static_cast<std::int64_t>(size)) {
        systemPosition_ = -1;
        return false;
    }
    systemPosition_ += written;
    return true;
}

void MirroredFile::Forget(std::uint64_t offset, std::size_t size) {
    for (std::size_t i = 0; i < ranges_.size();) {
        const Range& range = ranges_[i];
        if (range.offset < offset + size && offset < range.offset + range.bytes.size()) {
            ranges_.erase(ranges_.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

std::int64_t MirroredFile::Read(void* buffer, std::size_t size) {
    for (const Range& range : ranges_) {
        if (position_ >= range.offset && position_ + size <= range.offset + range.bytes.size()) {
            std::memcpy(buffer, range.bytes.data() + (position_ - range.offset), size);
            position_ += size;
            return static_cast<std::int64_t>(size);
        }
    }
    if (!PlaceSystemPosition()) {
        return -1;
    }
    const std::int64_t done = file_.Read(buffer, size);
    if (done < 0) {
        systemPosition_ = -1;
        return -1;
    }
    systemPosition_ += done;
    position_ += static_cast<std::uint64_t>(done);
    return done;
}

std::int64_t MirroredFile::Write(const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (Range& range : ranges_) {
        if (range.offset == position_ && range.bytes.size() == size) {
            // A rewrite of a mirrored range: only what changed goes to the system.
            std::size_t first = 0, last = 0;
            DifferingSpan(range.bytes.data(), bytes, size, first, last);
            if (first < last) {
                const std::uint64_t start = position_;
                position_ = start + first;
                if (!WriteThrough(bytes + first, last - first)) {
                    position_ = start;
                    Forget(start, size);
                    return -1;
                }
                std::memcpy(range.bytes.data() + first, bytes + first, last - first);
                position_ = start;
            }
            position_ += size;
            return static_cast<std::int64_t>(size);
        }
    }
    // Any other write makes the mirror of the ranges it touches stale.
    Forget(position_, size);
    if (!WriteThrough(bytes, size)) {
        return -1;
    }
    if (mirroring_) {
        ranges_.push_back(Range{position_, std::vector<unsigned char>(bytes, bytes + size)});
    }
    position_ += size;
    return static_cast<std::int64_t>(size);
}

std::int64_t MirroredFile::Seek(std::int64_t offset, int origin) {
    std::int64_t target = -1;
    switch (origin) {
    case SEEK_SET:
        target = offset;
        break;
    case SEEK_CUR:
        target = static_cast<std::int64_t>(position_) + offset;
        break;
    case SEEK_END:
        // The end is the system's to say: the file may have grown behind libtiff's back.
        systemPosition_ = file_.Seek(offset, SEEK_END);
        target = systemPosition_;
        break;
    default:
        break;
    }
    if (target < 0) {
        return -1;
    }
    position_ = static_cast<std::uint64_t>(target);
    return target;
}

} // namespace Orvo
} // namespace Tessaly
