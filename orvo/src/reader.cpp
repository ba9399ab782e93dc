// The reader of both format revisions. libtiff walks the directories and decodes the rows;
// the private blocks (layer headers, the view record, the object table) are read here, from
// the file's mapping where there is one, and decoded field by field in the file's byte order.
#include "orvo/reader.h"

#include "orvo/private_tags.h"

#include "platform/kernel32.h"
#include "platform/text.h"

#include "byte_order.h"

#include <cstring>
#include <limits>
#include <new>
#include <vector>

using namespace orvo_bytes;

namespace {

// Width and height are u16 throughout the format.
const std::uint32_t LargestSide = 65535;

// Each object record is looked at through a window of this many bytes, or of the bytes that
// remain before the end of the file: previous (u32), id (u16), red, green, blue, then the name
// and its NUL from the tenth byte on.
const std::uint64_t ObjectWindowSize = 264;
const std::size_t ObjectNameStart = 9;
// The smallest record: the fixed fields and an empty name's NUL.
const std::uint64_t SmallestObjectRecord = ObjectNameStart + 1;

// The depth layer's body: a reserved u32, then the packed view record.
const std::size_t PerspectiveBodySize = 4 + PackedPerspectiveViewSize;

class Directory {
public:
    Directory(TIFF* tif, bool bigEndian) : tif_(tif), bigEndian_(bigEndian) {}

    bool ReadKind(std::uint32_t offset, std::uint32_t& kind) const {
        unsigned char header[LayerHeaderSize];
        if (!ReadTiffBlock(tif_, offset, header, sizeof header)) {
            return false;
        }
        kind = GetU32(header, bigEndian_);
        return true;
    }

    // A view block that cannot be read leaves view as it was.
    void ReadView(std::uint32_t offset, PerspectiveView& view) const {
        unsigned char body[PerspectiveBodySize];
        if (ReadTiffBlock(tif_, std::uint64_t(offset) + LayerHeaderSize, body, sizeof body)) {
            UnpackPerspectiveView(body + 4, view, bigEndian_);
        }
    }

    // Appends the object records newest first. The walk ends at a link of 0, after count
    // records, at a window of fewer than SmallestObjectRecord bytes, after a record whose
    // previous link does not point before it, and before a record that would reach into the
    // one that links to it. Both writers append records one after another in file order, so
    // the last two rules only stop malformed chains, which can then neither loop nor make
    // more entries than the file has bytes for.
    void ReadObjects(std::uint32_t offset, std::deque<ObjectEntry>& objects) const {
        unsigned char table[8];
        if (!ReadTiffBlock(tif_, std::uint64_t(offset) + LayerHeaderSize, table, sizeof table)) {
            return;
        }
        const std::uint32_t count = GetU32(table, bigEndian_);
        std::uint32_t position = GetU32(table + 4, bigEndian_);
        const std::uint64_t fileSize = TiffFileSize(tif_);
        std::uint64_t limit = fileSize; // where the record that linked here begins
        unsigned char window[ObjectWindowSize];
        for (std::uint32_t read = 0; read < count && position != 0; ++read) {
            if (position >= fileSize) {
                return;
            }
            std::uint64_t size = fileSize - position;
            if (size > ObjectWindowSize) {
                size = ObjectWindowSize;
            }
            if (size < SmallestObjectRecord || !ReadTiffBlock(tif_, position, window, size)) {
                return;
            }
            const char* name = reinterpret_cast<const char*>(window + ObjectNameStart);
            const std::size_t room = static_cast<std::size_t>(size) - ObjectNameStart;
            const void* end = std::memchr(name, 0, room);
            const std::size_t nameLength =
                end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - name)
                               : room;
            const std::uint64_t extent = end != nullptr ? ObjectNameStart + nameLength + 1 : size;
            if (position + extent > limit) {
                return;
            }

            ObjectEntry entry;
            entry.id = GetU16(window + 4, bigEndian_);
            entry.red = window[6];
            entry.green = window[7];
            entry.blue = window[8];
            entry.name = platform::AnsiToWide(std::string(name, nameLength));
            objects.push_back(std::move(entry));

            const std::uint32_t previous = GetU32(window, bigEndian_);
            if (previous >= position) {
                return;
            }
            limit = position;
            position = previous;
        }
    }

    // The directory's samples must be samplesPerPixel contiguous samples of one of the given
    // widths, and a scanline exactly rowBytes long, since rows are read straight into the
    // plane.
    bool HasLayout(std::uint16_t samplesPerPixel, std::uint16_t bits, std::uint16_t otherBits,
                   std::uint16_t& bitsPerSample) const {
        std::uint16_t samples = 0;
        std::uint16_t planar = 0;
        if (TIFFGetField(tif_, TIFFTAG_BITSPERSAMPLE, &bitsPerSample) != 1 ||
            TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLESPERPIXEL, &samples) != 1 ||
            TIFFGetFieldDefaulted(tif_, TIFFTAG_PLANARCONFIG, &planar) != 1) {
            return false;
        }
        if (samples != samplesPerPixel || (bitsPerSample != bits && bitsPerSample != otherBits)) {
            return false;
        }
        return samplesPerPixel == 1 || planar == PLANARCONFIG_CONTIG;
    }

    bool HasRowBytes(std::uint64_t rowBytes) const {
        return TIFFScanlineSize64(tif_) == rowBytes && !TIFFIsTiled(tif_);
    }

    bool ReadRows(unsigned char* plane, std::uint32_t height, std::size_t rowBytes) const {
        for (std::uint32_t row = 0; row < height; ++row) {
            if (TIFFReadScanline(tif_, plane + std::size_t(row) * rowBytes, row, 0) < 0) {
                return false;
            }
        }
        return true;
    }

    // 8-bit ids go through a one-row buffer and are widened to u16.
    bool ReadWidenedRows(std::uint16_t* plane, std::uint32_t width, std::uint32_t height) const {
        std::vector<unsigned char> row(width);
        for (std::uint32_t y = 0; y < height; ++y) {
            if (TIFFReadScanline(tif_, row.data(), y, 0) < 0) {
                return false;
            }
            std::uint16_t* out = plane + std::size_t(y) * width;
            for (std::uint32_t x = 0; x < width; ++x) {
                out[x] = row[x];
            }
        }
        return true;
    }

private:
    TIFF* tif_;
    bool bigEndian_;
};

// Committed page memory for width x height samples of the given size; null when the size does
// not fit or the memory cannot be had.
template <typename Sample>
Sample* AllocatePlane(std::uint32_t width, std::uint32_t height, std::size_t samplesPerPixel) {
    const std::uint64_t pixels = std::uint64_t(width) * height;
    const std::uint64_t bytesPerPixel = sizeof(Sample) * samplesPerPixel;
    if (pixels == 0 || pixels > std::numeric_limits<std::size_t>::max() / bytesPerPixel) {
        return nullptr;
    }
    return static_cast<Sample*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(pixels * bytesPerPixel),
                                             MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

// libtiff takes a next-directory link cut off by the end of the file for the end of the
// chain. For the reader that is a truncated file, not a last directory.
bool NextLinkInsideFile(TIFF* tif) {
    const bool big = TIFFIsBigTIFF(tif) != 0;
    const bool bigEndian = TIFFIsBigEndian(tif) != 0;
    const std::uint64_t at = TIFFCurrentDirOffset(tif);
    unsigned char count[8];
    const std::size_t countSize = big ? 8 : 2;
    if (!ReadTiffBlock(tif, at, count, countSize)) {
        return false;
    }
    const std::uint64_t entries = big ? GetU64(count, bigEndian) : GetU16(count, bigEndian);
    if (entries > 0xFFFFFFFFu) {
        return false;
    }
    const std::uint64_t linkEnd = at + countSize + entries * (big ? 20 : 12) + (big ? 8 : 4);
    return linkEnd <= TiffFileSize(tif);
}

struct Planes {
    unsigned char*& colour;
    std::uint32_t*& depth;
    std::uint16_t*& ids;
};

// Reads the current directory if it carries QuorvaneSubfileData. size holds the first such
// directory's width and height once there is one.
bool ReadDirectory(TIFF* tif, bool& haveSize, std::uint32_t size[2], int& width, int& height,
                   PerspectiveView& view, std::deque<ObjectEntry>& objects, Planes planes) {
    std::uint32_t offset = 0;
    if (TIFFGetField(tif, TagQuorvaneSubfileData, &offset) != 1) {
        return true;
    }
    std::uint32_t directoryWidth = 0;
    std::uint32_t directoryHeight = 0;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &directoryWidth) != 1 ||
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &directoryHeight) != 1) {
        return false;
    }
    if (!haveSize) {
        if (directoryWidth == 0 || directoryWidth > LargestSide || directoryHeight == 0 ||
            directoryHeight > LargestSide) {
            return false;
        }
        size[0] = directoryWidth;
        size[1] = directoryHeight;
        width = static_cast<int>(directoryWidth);
        height = static_cast<int>(directoryHeight);
        haveSize = true;
    } else if (directoryWidth != size[0] || directoryHeight != size[1]) {
        return false;
    }
    const std::uint32_t w = size[0];
    const std::uint32_t h = size[1];

    const Directory directory(tif, TIFFIsBigEndian(tif) != 0);
    std::uint32_t kind = 0;
    if (!directory.ReadKind(offset, kind)) {
        return true;
    }
    std::uint16_t bits = 0;
    switch (kind) {
    case KindColour:
        if (planes.colour != nullptr || !directory.HasLayout(3, 8, 8, bits) ||
            !directory.HasRowBytes(std::uint64_t(w) * 3)) {
            return false;
        }
        planes.colour = AllocatePlane<unsigned char>(w, h, 3);
        return planes.colour != nullptr && directory.ReadRows(planes.colour, h, std::size_t(w) * 3);

    case KindPerspectiveDepth:
        if (planes.depth != nullptr) {
            return false;
        }
        directory.ReadView(offset, view);
        if (!directory.HasLayout(1, 32, 32, bits) || !directory.HasRowBytes(std::uint64_t(w) * 4)) {
            return false;
        }
        planes.depth = AllocatePlane<std::uint32_t>(w, h, 1);
        return planes.depth != nullptr &&
               directory.ReadRows(reinterpret_cast<unsigned char*>(planes.depth), h,
                                  std::size_t(w) * 4);

    case KindObjectId:
        if (planes.ids != nullptr) {
            return false;
        }
        directory.ReadObjects(offset, objects);
        if (!directory.HasLayout(1, 16, 8, bits) ||
            !directory.HasRowBytes(std::uint64_t(w) * (bits / 8))) {
            return false;
        }
        planes.ids = AllocatePlane<std::uint16_t>(w, h, 1);
        if (planes.ids == nullptr) {
            return false;
        }
        if (bits == 16) {
            return directory.ReadRows(reinterpret_cast<unsigned char*>(planes.ids), h,
                                      std::size_t(w) * 2);
        }
        return directory.ReadWidenedRows(planes.ids, w, h);

    default:
        // Panorama depth layers and kinds of later revisions.
        return true;
    }
}

} // namespace

bool ReadOrvoFile(const std::string& path, int& width, int& height, PerspectiveView& view,
                  std::deque<ObjectEntry>& objects, unsigned char*& colour, std::uint32_t*& depth,
                  std::uint16_t*& ids) {
    try {
        TiffHandle tif(OpenTiff(path, "r"));
        if (tif == nullptr) {
            return false;
        }
        bool haveSize = false;
        std::uint32_t size[2] = {0, 0};
        Planes planes{colour, depth, ids};
        for (;;) {
            if (!ReadDirectory(tif.get(), haveSize, size, width, height, view, objects, planes)) {
                return false;
            }
            if (TIFFLastDirectory(tif.get())) {
                return NextLinkInsideFile(tif.get());
            }
            // A link to a directory that cannot be read (past the end, a loop) is a malformed
            // file, not its end.
            if (!TIFFReadDirectory(tif.get())) {
                return false;
            }
        }
    } catch (...) {
        // Only the object table's entries allocate on the free store; running out of memory
        // there is a failed read like any other.
        return false;
    }
}
