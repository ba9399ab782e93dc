// The directory walker: one open of the file, libtiff for the directories and rows, the
// private blocks read here from the file's mapping and decoded field by field in the file's
// byte order.
#include "orvo/walker.h"

#include "orvo/private_tags.h"

#include "platform/kernel32.h"
#include "platform/mapped_file.h"
#include "platform/stdio_file.h"
#include "platform/text.h"

#include "shared/byte_order.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

using namespace orvo_bytes;

template <typename Sample>
PagePlane<Sample>& PagePlane<Sample>::operator=(PagePlane&& other) noexcept {
    if (this != &other) {
        Reset();
        data_ = other.data_;
        other.data_ = nullptr;
    }
    return *this;
}

template <typename Sample>
bool PagePlane<Sample>::Allocate(std::uint32_t width, std::uint32_t height,
                                 std::size_t samplesPerPixel) {
    Reset();
    const std::uint64_t pixels = std::uint64_t(width) * height;
    const std::uint64_t bytesPerPixel = sizeof(Sample) * samplesPerPixel;
    if (pixels == 0 || pixels > std::numeric_limits<std::size_t>::max() / bytesPerPixel) {
        return false;
    }
    data_ = static_cast<Sample*>(VirtualAlloc(nullptr, static_cast<SIZE_T>(pixels * bytesPerPixel),
                                              MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    return data_ != nullptr;
}

template <typename Sample> void PagePlane<Sample>::Reset() noexcept {
    if (data_ != nullptr) {
        VirtualFree(data_, 0, MEM_RELEASE);
        data_ = nullptr;
    }
}

template class PagePlane<unsigned char>;
template class PagePlane<std::uint16_t>;
template class PagePlane<std::uint32_t>;

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

// A depth layer's body: a reserved u32, then the packed view record.
const std::size_t PerspectiveBodySize = 4 + PackedPerspectiveViewSize;
const std::size_t PanoramaBodySize = 4 + PackedPanoramaViewSize;

// libtiff's own description of the current directory, with the lines the private tags' print
// hook adds. libtiff prints only to a stream, so it goes through a temporary file.
std::string Listing(TIFF* tif) {
    const platform::StdioFile file(std::tmpfile());
    if (!file) {
        return {};
    }
    TIFFPrintDirectory(tif, file.get(), TIFFPRINT_NONE);
    std::string text;
    std::rewind(file.get());
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        text.append(buffer, got);
    }
    return text;
}

std::string SystemText(int errorNumber) {
    return std::strerror(errorNumber);
}

class Walker {
public:
    Walker(OrvoWalk& walk, const WalkOptions& options)
        : walk_(walk), inspector_(options.rules == WalkRules::Inspector),
          listings_(options.listings), held_(options.layersHeld) {}

    void Run() {
        TiffHandle tif(Open());
        if (!tif) {
            return;
        }
        tif_ = tif.get();
        fileSize_ = TiffFileSize(tif_);
        for (int index = 0;; ++index) {
            walk_.directories.push_back(WalkedDirectory());
            WalkedDirectory& directory = walk_.directories.back();
            directory.index = index;
            if (!ReadDirectory(directory)) {
                return;
            }
            if (TIFFLastDirectory(tif_)) {
                if (!NextLinkInsideFile()) {
                    Stop(WalkStop::LinkCutOff, index);
                } else if (inspector_ && walk_.LayerCount() == 0) {
                    Stop(WalkStop::NoLayers, -1);
                }
                return;
            }
            ClearTiffError(tif_);
            if (!TIFFReadDirectory(tif_)) {
                Stop(WalkStop::DirectoryUnreadable, index + 1);
                walk_.libraryMessage = TiffError(tif_);
                return;
            }
        }
    }

private:
    void Stop(WalkStop stop, int directory, std::uint32_t row = 0) {
        walk_.stop = stop;
        walk_.stopDirectory = directory;
        walk_.stopRow = row;
    }

    // Opens the file once: its first bytes tell a foreign or cut-off file from one libtiff
    // refuses, and then libtiff takes the same handle over.
    TIFF* Open() {
        errno = 0;
        platform::File file = platform::File::Open(walk_.path, platform::FileAccess::Read);
        if (!file.IsOpen()) {
            walk_.stop = WalkStop::CannotOpen;
            walk_.systemMessage = SystemText(errno != 0 ? errno : ENOENT);
            return nullptr;
        }
        // A pipe would block the first read or never end, a device may feed bytes for ever;
        // only what is a regular file the moment it is open is read at all.
        walk_.kind = file.Kind();
        if (walk_.kind == platform::FileKind::Folder) {
            walk_.stop = WalkStop::CannotOpen;
            walk_.systemMessage = SystemText(EISDIR);
            return nullptr;
        }
        if (walk_.kind != platform::FileKind::Regular) {
            walk_.stop = WalkStop::NotRegularFile;
            return nullptr;
        }
        unsigned char header[8];
        errno = 0;
        const std::int64_t got = file.Read(header, sizeof header);
        if (got < 0) {
            walk_.stop = WalkStop::CannotOpen;
            walk_.systemMessage = SystemText(errno != 0 ? errno : EIO);
            return nullptr;
        }
        const bool little = got >= 4 && std::memcmp(header, "II", 2) == 0;
        const bool big = got >= 4 && std::memcmp(header, "MM", 2) == 0;
        const std::uint16_t version = got >= 4 ? GetU16(header + 2, big) : 0;
        walk_.bigEndian = big;
        walk_.bigTiff = (little || big) && version == 43;
        if (got == 0) {
            walk_.stop = WalkStop::Empty;
            return nullptr;
        }
        if (!(little || big) || (version != 42 && version != 43)) {
            walk_.stop = WalkStop::NotTiff;
            return nullptr;
        }
        if (walk_.bigTiff && inspector_) {
            walk_.stop = WalkStop::BigTiff;
            return nullptr;
        }
        if (got < 8) {
            walk_.stop = WalkStop::HeaderCutShort;
            return nullptr;
        }
        // Both writers link the first directory last, once the file is whole.
        if (!walk_.bigTiff && GetU32(header + 4, big) == 0) {
            walk_.stop = WalkStop::NoDirectory;
            return nullptr;
        }
        const std::int64_t size = file.Size();
        walk_.fileSize = size > 0 ? static_cast<std::uint64_t>(size) : 0;
        if (!walk_.bigTiff && std::uint64_t(GetU32(header + 4, big)) + 2 > walk_.fileSize) {
            walk_.stop = WalkStop::FirstOutside;
            return nullptr;
        }
        if (file.Seek(0, SEEK_SET) != 0) {
            walk_.stop = WalkStop::CannotOpen;
            walk_.systemMessage = SystemText(errno != 0 ? errno : EIO);
            return nullptr;
        }
        std::string refusal;
        TIFF* tif = OpenStitcherTiff(std::move(file), walk_.path, "r", &refusal);
        if (tif == nullptr) {
            walk_.stop = WalkStop::LibraryRefused;
            walk_.libraryMessage = refusal;
        }
        return tif;
    }

    void Describe(WalkedDirectory& d) const {
        d.hasSize = TIFFGetField(tif_, TIFFTAG_IMAGEWIDTH, &d.width) == 1;
        d.hasSize = TIFFGetField(tif_, TIFFTAG_IMAGELENGTH, &d.height) == 1 && d.hasSize;
        d.hasBitsPerSample = TIFFGetField(tif_, TIFFTAG_BITSPERSAMPLE, &d.bitsPerSample) == 1;
        if (!d.hasBitsPerSample) {
            TIFFGetFieldDefaulted(tif_, TIFFTAG_BITSPERSAMPLE, &d.bitsPerSample);
        }
        TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLESPERPIXEL, &d.samplesPerPixel);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_PLANARCONFIG, &d.planarConfig);
        TIFFGetFieldDefaulted(tif_, TIFFTAG_COMPRESSION, &d.compression);
        d.tiled = TIFFIsTiled(tif_) != 0;
        const tmsize_t scanline = TIFFScanlineSize64(tif_);
        d.scanlineBytes = scanline > 0 ? static_cast<std::uint64_t>(scanline) : 0;
        d.hasLayer = TIFFGetField(tif_, TagQuorvaneSubfileData, &d.layerOffset) == 1;
    }

    // False when the walk stops in this directory.
    bool ReadDirectory(WalkedDirectory& d) {
        if (listings_) {
            d.listing = Listing(tif_);
        }
        Describe(d);
        if (!d.hasLayer) {
            return true;
        }
        if (!d.hasSize) {
            Stop(WalkStop::NoSize, d.index);
            return false;
        }
        if (walk_.width == 0) {
            if (d.width == 0 || d.width > LargestSide || d.height == 0 || d.height > LargestSide) {
                Stop(WalkStop::SizeOutOfRange, d.index);
                return false;
            }
            walk_.width = d.width;
            walk_.height = d.height;
        } else if (d.width != walk_.width || d.height != walk_.height) {
            Stop(WalkStop::SizeDiffers, d.index);
            return false;
        }
        // The plug-in's writer points its object-id layer at its header only on closing; a
        // layer still pointing at the file's start was never finished.
        if (d.layerOffset == 0) {
            Stop(WalkStop::Incomplete, d.index);
            return false;
        }
        unsigned char header[LayerHeaderSize];
        if (!ReadTiffBlock(tif_, d.layerOffset, header, sizeof header)) {
            if (inspector_) {
                Stop(WalkStop::HeaderOutside, d.index);
                return false;
            }
            return true;
        }
        d.headerRead = true;
        d.header.kind = GetU32(header, walk_.bigEndian);
        d.header.major = GetU16(header + 4, walk_.bigEndian);
        d.header.minor = GetU16(header + 6, walk_.bigEndian);
        switch (d.header.kind) {
        case KindColour:
            return ReadColour(d);
        case KindPerspectiveDepth:
            return ReadDepth(d);
        case KindObjectId:
            return ReadIds(d);
        case KindPanoramaDepth:
            // The stitcher's reader has no use for a panorama; an inspector shows it.
            return !inspector_ || ReadPanorama(d);
        default:
            // Kinds of later revisions.
            return true;
        }
    }

    bool ReadColour(WalkedDirectory& d) {
        if (!walk_.colour.Empty() || (held_ & LayerColour) != 0) {
            Stop(WalkStop::SecondLayer, d.index);
            return false;
        }
        return CheckLayout(d, 3, 8, 8) && Allocate(d, walk_.colour, 3) &&
               ReadRows(d, walk_.colour.Get(), std::size_t(walk_.width) * 3);
    }

    bool ReadDepth(WalkedDirectory& d) {
        if (!walk_.depth.Empty() || (held_ & LayerDepth) != 0) {
            Stop(WalkStop::SecondLayer, d.index);
            return false;
        }
        if (inspector_ && walk_.hasPanorama) {
            Stop(WalkStop::SecondDepthLayer, d.index);
            return false;
        }
        unsigned char body[PerspectiveBodySize];
        if (ReadTiffBlock(tif_, std::uint64_t(d.layerOffset) + LayerHeaderSize, body,
                          sizeof body)) {
            InitPerspectiveView(d.perspectiveView);
            UnpackPerspectiveView(body + 4, d.perspectiveView, walk_.bigEndian);
            d.hasPerspectiveView = true;
            walk_.view = d.perspectiveView;
            walk_.hasView = true;
        } else if (inspector_) {
            Stop(WalkStop::ViewOutside, d.index);
            return false;
        }
        return CheckLayout(d, 1, 32, 32) && Allocate(d, walk_.depth, 1) &&
               ReadRows(d, reinterpret_cast<unsigned char*>(walk_.depth.Get()),
                        std::size_t(walk_.width) * 4);
    }

    bool ReadPanorama(WalkedDirectory& d) {
        if (walk_.hasPanorama) {
            Stop(WalkStop::SecondLayer, d.index);
            return false;
        }
        if (!walk_.depth.Empty()) {
            Stop(WalkStop::SecondDepthLayer, d.index);
            return false;
        }
        unsigned char body[PanoramaBodySize];
        if (!ReadTiffBlock(tif_, std::uint64_t(d.layerOffset) + LayerHeaderSize, body,
                           sizeof body)) {
            Stop(WalkStop::ViewOutside, d.index);
            return false;
        }
        InitPanoramaView(d.panoramaView);
        UnpackPanoramaView(body + 4, d.panoramaView, walk_.bigEndian);
        d.hasPanoramaView = true;
        walk_.panorama = d.panoramaView;
        walk_.hasPanorama = true;
        return CheckLayout(d, 1, 32, 32) && Allocate(d, walk_.panoramaDepth, 1) &&
               ReadRows(d, reinterpret_cast<unsigned char*>(walk_.panoramaDepth.Get()),
                        std::size_t(walk_.width) * 4);
    }

    bool ReadIds(WalkedDirectory& d) {
        if (!walk_.ids.Empty() || (held_ & LayerObjectId) != 0) {
            Stop(WalkStop::SecondLayer, d.index);
            return false;
        }
        unsigned char table[8];
        if (ReadTiffBlock(tif_, std::uint64_t(d.layerOffset) + LayerHeaderSize, table,
                          sizeof table)) {
            d.hasObjectTable = true;
            d.objectCount = GetU32(table, walk_.bigEndian);
            d.objectHead = GetU32(table + 4, walk_.bigEndian);
            d.objectsRead = ReadObjects(d.objectCount, d.objectHead);
            // Both writers link every record they count; a shorter chain lost records.
            if (inspector_ && d.objectsRead != d.objectCount) {
                Stop(WalkStop::ObjectsLost, d.index);
                return false;
            }
        } else if (inspector_) {
            Stop(WalkStop::TableOutside, d.index);
            return false;
        }
        if (!CheckLayout(d, 1, 16, 8) || !Allocate(d, walk_.ids, 1)) {
            return false;
        }
        if (d.bitsPerSample == 16) {
            return ReadRows(d, reinterpret_cast<unsigned char*>(walk_.ids.Get()),
                            std::size_t(walk_.width) * 2);
        }
        return ReadWidenedRows(d);
    }

    // Appends the object records newest first and returns how many. The walk ends at a link
    // of 0, after count records, at a window of fewer than SmallestObjectRecord bytes, after a
    // record whose previous link does not point before it, and before a record that would
    // reach into the one that links to it. Both writers append records one after another in
    // file order, so the last two rules only stop malformed chains, which can then neither
    // loop nor make more entries than the file has bytes for.
    std::size_t ReadObjects(std::uint32_t count, std::uint32_t position) {
        std::size_t entries = 0;
        std::uint64_t limit = fileSize_; // where the record that linked here begins
        unsigned char window[ObjectWindowSize];
        for (std::uint32_t read = 0; read < count && position != 0; ++read) {
            if (position >= fileSize_) {
                break;
            }
            std::uint64_t size = fileSize_ - position;
            if (size > ObjectWindowSize) {
                size = ObjectWindowSize;
            }
            if (size < SmallestObjectRecord ||
                !ReadTiffBlock(tif_, position, window, static_cast<std::size_t>(size))) {
                break;
            }
            const char* name = reinterpret_cast<const char*>(window + ObjectNameStart);
            const std::size_t room = static_cast<std::size_t>(size) - ObjectNameStart;
            const void* end = std::memchr(name, 0, room);
            const std::size_t nameLength =
                end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - name)
                               : room;
            const std::uint64_t extent = end != nullptr ? ObjectNameStart + nameLength + 1 : size;
            if (position + extent > limit) {
                break;
            }

            ObjectEntry entry;
            entry.id = GetU16(window + 4, walk_.bigEndian);
            entry.red = window[6];
            entry.green = window[7];
            entry.blue = window[8];
            entry.name = platform::AnsiToWide(std::string(name, nameLength));
            walk_.objects.push_back(std::move(entry));
            ++entries;

            const std::uint32_t previous = GetU32(window, walk_.bigEndian);
            if (previous >= position) {
                break;
            }
            limit = position;
            position = previous;
        }
        return entries;
    }

    // Rows are read straight into the plane, so the directory must hold samplesPerPixel
    // contiguous samples of one of the given widths in rows of exactly the plane's row. A
    // compressed layer may not claim more than LargestCompressionRatio bytes for each byte of
    // the file.
    bool CheckLayout(const WalkedDirectory& d, std::uint16_t samplesPerPixel, std::uint16_t bits,
                     std::uint16_t otherBits) {
        const bool samplesFit = d.hasBitsPerSample && d.samplesPerPixel == samplesPerPixel &&
                                (d.bitsPerSample == bits || d.bitsPerSample == otherBits) &&
                                (samplesPerPixel == 1 || d.planarConfig == PLANARCONFIG_CONTIG);
        const std::uint64_t rowBytes =
            std::uint64_t(walk_.width) * samplesPerPixel * (d.bitsPerSample / 8);
        if (!samplesFit || d.scanlineBytes != rowBytes || d.tiled) {
            Stop(WalkStop::SampleLayout, d.index);
            return false;
        }
        if (d.compression != COMPRESSION_NONE &&
            rowBytes * walk_.height > LargestCompressionRatio * fileSize_) {
            Stop(WalkStop::ClaimTooLarge, d.index);
            return false;
        }
        return true;
    }

    template <typename Sample>
    bool Allocate(const WalkedDirectory& d, PagePlane<Sample>& plane, std::size_t samples) {
        if (!plane.Allocate(walk_.width, walk_.height, samples)) {
            Stop(WalkStop::OutOfMemory, d.index);
            return false;
        }
        return true;
    }

    // A strip without bytes was never written; an uncompressed strip that reaches past the end
    // of the file was cut off with it. Either way the layer is incomplete from that row on. An
    // uncompressed strip too short for its rows fails at the first row it lacks.
    bool RowPresent(const WalkedDirectory& d, std::uint32_t row) {
        const std::uint32_t strip = TIFFComputeStrip(tif_, row, 0);
        if (strip != checkedStrip_) {
            checkedStrip_ = strip;
            int failed = 0;
            stripBytes_ = TIFFGetStrileByteCount(tif_, strip);
            const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tif_, strip, &failed);
            const bool cutOff = d.compression == COMPRESSION_NONE &&
                                (offset > fileSize_ || stripBytes_ > fileSize_ - offset);
            if (failed != 0 || stripBytes_ == 0 || cutOff) {
                Stop(WalkStop::Incomplete, d.index, row);
                return false;
            }
        }
        if (d.compression == COMPRESSION_NONE) {
            std::uint32_t rowsPerStrip = 0;
            TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
            const std::uint64_t within = rowsPerStrip == 0 ? row : row % rowsPerStrip;
            if ((within + 1) * d.scanlineBytes > stripBytes_) {
                Stop(WalkStop::RowUnreadable, d.index, row);
                return false;
            }
        }
        return true;
    }

    bool ReadRow(const WalkedDirectory& d, void* into, std::uint32_t row) {
        if (!RowPresent(d, row)) {
            return false;
        }
        ClearTiffError(tif_);
        if (TIFFReadScanline(tif_, into, row, 0) < 0) {
            Stop(WalkStop::RowUnreadable, d.index, row);
            walk_.libraryMessage = TiffError(tif_);
            return false;
        }
        return true;
    }

    bool ReadRows(WalkedDirectory& d, unsigned char* plane, std::size_t rowBytes) {
        checkedStrip_ = std::numeric_limits<std::uint32_t>::max();
        for (std::uint32_t row = 0; row < walk_.height; ++row) {
            if (!ReadRow(d, plane + std::size_t(row) * rowBytes, row)) {
                return false;
            }
        }
        d.rowsRead = true;
        return true;
    }

    // 8-bit ids go through a one-row buffer and are widened to u16.
    bool ReadWidenedRows(WalkedDirectory& d) {
        checkedStrip_ = std::numeric_limits<std::uint32_t>::max();
        std::vector<unsigned char> row(walk_.width);
        for (std::uint32_t y = 0; y < walk_.height; ++y) {
            if (!ReadRow(d, row.data(), y)) {
                return false;
            }
            std::uint16_t* out = walk_.ids.Get() + std::size_t(y) * walk_.width;
            for (std::uint32_t x = 0; x < walk_.width; ++x) {
                out[x] = row[x];
            }
        }
        d.rowsRead = true;
        return true;
    }

    // libtiff takes a next-directory link cut off by the end of the file for the end of the
    // chain. For the walker that is a truncated file, not a last directory.
    bool NextLinkInsideFile() const {
        const bool big = TIFFIsBigTIFF(tif_) != 0;
        const std::uint64_t at = TIFFCurrentDirOffset(tif_);
        unsigned char count[8];
        const std::size_t countSize = big ? 8 : 2;
        if (!ReadTiffBlock(tif_, at, count, countSize)) {
            return false;
        }
        const std::uint64_t entries =
            big ? GetU64(count, walk_.bigEndian) : GetU16(count, walk_.bigEndian);
        if (entries > 0xFFFFFFFFu) {
            return false;
        }
        const std::uint64_t linkEnd = at + countSize + entries * (big ? 20 : 12) + (big ? 8 : 4);
        return linkEnd <= fileSize_;
    }

    OrvoWalk& walk_;
    const bool inspector_;
    const bool listings_;
    const std::uint32_t held_;
    TIFF* tif_ = nullptr;
    std::uint64_t fileSize_ = 0;
    std::uint32_t checkedStrip_ = 0;
    std::uint64_t stripBytes_ = 0;
};

std::string Damaged(int directory, const std::string& problem) {
    return "damaged: directory " + std::to_string(directory) + ": " + problem;
}

std::string Size(std::uint32_t width, std::uint32_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

const char* LayoutWanted(std::uint32_t kind) {
    switch (kind) {
    case KindColour:
        return "the colour layer is not 3 x 8-bit RGB in rows";
    case KindObjectId:
        return "the object-id layer is not one 8- or 16-bit sample a pixel in rows";
    default:
        return "the depth layer is not one 32-bit sample a pixel in rows";
    }
}

} // namespace

std::size_t OrvoWalk::LayerCount() const {
    std::size_t layers = 0;
    for (const WalkedDirectory& directory : directories) {
        layers += directory.hasLayer;
    }
    return layers;
}

std::string OrvoWalk::Reason() const {
    const WalkedDirectory* d = nullptr;
    if (stopDirectory >= 0 && std::size_t(stopDirectory) < directories.size()) {
        d = &directories[std::size_t(stopDirectory)];
    }
    const int at = stopDirectory;
    const std::string kind = d != nullptr ? KindName(d->header.kind) : "";
    const std::string library = libraryMessage.empty() ? "" : " (libtiff: " + libraryMessage + ")";
    switch (stop) {
    case WalkStop::Complete:
        return {};
    case WalkStop::CannotOpen:
        return systemMessage;
    case WalkStop::NotRegularFile:
        return this->kind == platform::FileKind::Pipe
                   ? "not an Orvo file: a pipe, not a regular file"
               : this->kind == platform::FileKind::Device
                   ? "not an Orvo file: a device, not a regular file"
                   : "not an Orvo file: not a regular file";
    case WalkStop::Empty:
        return "not an Orvo file: the file is empty";
    case WalkStop::NotTiff:
        return "not an Orvo file: not a TIFF file";
    case WalkStop::BigTiff:
        return "not an Orvo file: a BigTIFF file";
    case WalkStop::HeaderCutShort:
        return "damaged: the TIFF header is cut short";
    case WalkStop::NoDirectory:
        return "incomplete: the file holds no directory yet (its writing was cut off)";
    case WalkStop::FirstOutside:
        return "damaged: the file is cut short (its first directory lies past its end at " +
               std::to_string(fileSize) + " bytes)";
    case WalkStop::LibraryRefused:
        return "damaged: libtiff cannot read its first directory" + library;
    case WalkStop::DirectoryUnreadable:
        return "damaged: directory " + std::to_string(at) +
               " cannot be read (its link points past the end of the file or back into the "
               "chain)" +
               library;
    case WalkStop::LinkCutOff:
        return Damaged(at, "its link to the next directory is cut off by the end of the file");
    case WalkStop::NoLayers:
        return "not an Orvo file: a TIFF file without Orvo layers";
    case WalkStop::NoSize:
        return Damaged(at, "it has no image width or height");
    case WalkStop::SizeOutOfRange:
        return Damaged(at, "its size " + Size(d->width, d->height) + " lies outside 1..65535");
    case WalkStop::SizeDiffers:
        return Damaged(at, "its size " + Size(d->width, d->height) +
                               " differs from the first layer's " + Size(width, height));
    case WalkStop::SecondLayer:
        return Damaged(at, "a second " + kind + " layer");
    case WalkStop::SecondDepthLayer:
        return Damaged(at, "two depth layers");
    case WalkStop::SampleLayout:
        return Damaged(at, LayoutWanted(d->header.kind));
    case WalkStop::ClaimTooLarge:
        return Damaged(at, "the " + kind + " layer claims " + Size(width, height) +
                               " pixels, more than a compressed layer of this file can hold");
    case WalkStop::OutOfMemory:
        return d != nullptr ? Damaged(at, "the " + kind + " layer's plane of " +
                                              Size(width, height) + " pixels cannot be allocated")
                            : "out of memory";
    case WalkStop::Incomplete:
        if (d != nullptr && d->layerOffset == 0) {
            return "incomplete: directory " + std::to_string(at) +
                   ": its layer was never finished (its writing was cut off)";
        }
        return "incomplete: directory " + std::to_string(at) + ": the " + kind +
               " layer ends at row " + std::to_string(stopRow) + " of " + std::to_string(height) +
               " (its writing was cut off)";
    case WalkStop::RowUnreadable:
        return Damaged(at, "row " + std::to_string(stopRow) + " of the " + kind +
                               " layer cannot be read" + library);
    case WalkStop::HeaderOutside:
        return Damaged(at, "its layer header lies outside the file");
    case WalkStop::ViewOutside:
        return Damaged(at, d != nullptr && d->header.kind == KindPanoramaDepth
                               ? "its panorama view record lies outside the file"
                               : "its view record lies outside the file");
    case WalkStop::TableOutside:
        return Damaged(at, "its object table lies outside the file");
    case WalkStop::ObjectsLost:
        return Damaged(at, "the object table lists " + std::to_string(d->objectCount) +
                               " records, " + std::to_string(d->objectsRead) +
                               " of them can be read");
    }
    return "damaged";
}

OrvoWalk WalkOrvoFile(const std::string& path, const WalkOptions& options) {
    OrvoWalk walk;
    try {
        walk.path = path;
        Walker(walk, options).Run();
    } catch (...) {
        // Only the report itself, the listings and the object table allocate on the free
        // store; running out of memory there stops the walk like any other failure.
        walk.stop = WalkStop::OutOfMemory;
        walk.stopDirectory = -1;
    }
    return walk;
}
