#include "orvo/stream_writer.h"

#include "platform/text.h"
#include "shared/byte_order.h"
#include "shared/date_time.h"
#include "shared/object_record.h"

#include <algorithm>
#include <cerrno>
#include <utility>

using namespace orvo_bytes;

namespace {

const std::uint16_t TypeAscii = 2;
const std::uint16_t TypeShort = 3;
const std::uint16_t TypeLong = 4;
const std::uint16_t TypeRational = 5;

const std::uint16_t TagImageWidth = 256;
const std::uint16_t TagImageLength = 257;
const std::uint16_t TagBitsPerSample = 258;
const std::uint16_t TagCompression = 259;
const std::uint16_t TagPhotometric = 262;
const std::uint16_t TagDocumentName = 269;
const std::uint16_t TagStripOffsets = 273;
const std::uint16_t TagSamplesPerPixel = 277;
const std::uint16_t TagRowsPerStrip = 278;
const std::uint16_t TagStripByteCounts = 279;
const std::uint16_t TagXResolution = 282;
const std::uint16_t TagYResolution = 283;
const std::uint16_t TagResolutionUnit = 296;
const std::uint16_t TagSoftware = 305;
const std::uint16_t TagDateTime = 306;
const std::uint16_t TagArtist = 315;
const std::uint16_t TagCopyright = 33432;

const std::size_t HeaderSize = 8;
const std::size_t StreamBufferSize = 32256;
// StripByteCounts are SHORT in this revision, so no layer's row may be longer than this.
const std::uint32_t MaxRowBytes = 0xFFFF;
// Every offset in the file is a u32.
const std::uint64_t MaxOffset = 0xFFFFFFFFu;

[[noreturn]] void Refuse(int errorNumber) {
    errno = errorNumber;
    throw OrvoFile::Error(errorNumber);
}

std::string UtcTimestamp() {
    std::string text = TiffDateTimeNow();
    if (text.empty()) {
        Refuse(ERANGE);
    }
    return text;
}

class LayerBlock {
public:
    explicit LayerBlock(std::uint32_t start) : start_(start) {}

    void Short(std::uint16_t tag, std::uint16_t value) { Shorts(tag, 1, value); }
    void Long(std::uint16_t tag, std::uint32_t value) { LongSequence(tag, 1, value, 0); }
    void Shorts(std::uint16_t tag, std::uint32_t count, std::uint16_t value) {
        std::vector<unsigned char> bytes(2 * static_cast<std::size_t>(count));
        for (std::size_t at = 0; at < bytes.size(); at += 2) {
            PutU16(&bytes[at], value);
        }
        Add(tag, TypeShort, count, bytes);
    }
    // first, first + step, first + 2 step, ...
    void LongSequence(std::uint16_t tag, std::uint32_t count, std::uint32_t first,
                      std::uint32_t step) {
        std::vector<unsigned char> bytes(4 * static_cast<std::size_t>(count));
        for (std::size_t at = 0; at < bytes.size(); at += 4) {
            PutU32(&bytes[at], first);
            first += step;
        }
        Add(tag, TypeLong, count, bytes);
    }
    void Rational(std::uint16_t tag, std::uint32_t numerator, std::uint32_t denominator) {
        std::vector<unsigned char> bytes(8);
        PutU32(&bytes[0], numerator);
        PutU32(&bytes[4], denominator);
        Add(tag, TypeRational, 1, bytes);
    }
    // The count includes the terminating NUL.
    void Ascii(std::uint16_t tag, const std::string& text) {
        if (text.size() >= MaxOffset) {
            Refuse(EFBIG);
        }
        std::vector<unsigned char> bytes(text.begin(), text.end());
        bytes.push_back(0);
        Add(tag, TypeAscii, static_cast<std::uint32_t>(bytes.size()), bytes);
    }

    // Appends raw bytes (a layer header with its body); returns their offset.
    std::uint32_t Append(const unsigned char* data, std::size_t size) {
        const std::uint32_t offset = Here();
        bytes_.insert(bytes_.end(), data, data + size);
        return offset;
    }

    // Appends the directory, entries in ascending tag order; returns its offset.
    std::uint32_t Directory(std::uint32_t next) {
        std::stable_sort(entries_.begin(), entries_.end(),
                         [](const Entry& a, const Entry& b) { return a.tag < b.tag; });
        const std::uint32_t offset = Here();
        std::size_t at = bytes_.size();
        bytes_.resize(at + 2 + 12 * entries_.size() + 4);
        PutU16(&bytes_[at], static_cast<std::uint16_t>(entries_.size()));
        at += 2;
        for (const Entry& entry : entries_) {
            PutU16(&bytes_[at], entry.tag);
            PutU16(&bytes_[at + 2], entry.type);
            PutU32(&bytes_[at + 4], entry.count);
            std::copy(entry.value, entry.value + 4, &bytes_[at + 8]);
            at += 12;
        }
        PutU32(&bytes_[at], next);
        Here(); // the directory, too, must end within the u32 offsets
        return offset;
    }

    const std::vector<unsigned char>& Bytes() const { return bytes_; }

private:
    struct Entry {
        std::uint16_t tag;
        std::uint16_t type;
        std::uint32_t count;
        unsigned char value[4];
    };

    // The file offset of the next byte; a block that would reach past the u32 offsets of the
    // format is refused.
    std::uint32_t Here() const {
        const std::uint64_t offset = static_cast<std::uint64_t>(start_) + bytes_.size();
        if (offset > MaxOffset) {
            Refuse(EFBIG);
        }
        return static_cast<std::uint32_t>(offset);
    }

    // A value of four bytes or less lives in the entry itself, left-aligned; a longer one is
    // appended here and the entry holds its offset. An odd-sized value (a text) is followed by
    // a zero byte so that everything behind it stays at even offsets.
    void Add(std::uint16_t tag, std::uint16_t type, std::uint32_t count,
             const std::vector<unsigned char>& value) {
        Entry entry = {tag, type, count, {0, 0, 0, 0}};
        if (value.size() <= sizeof entry.value) {
            std::copy(value.begin(), value.end(), entry.value);
        } else {
            PutU32(entry.value, Here());
            bytes_.insert(bytes_.end(), value.begin(), value.end());
            if (value.size() % 2 != 0) {
                bytes_.push_back(0);
            }
        }
        entries_.push_back(entry);
    }

    std::uint32_t start_;
    std::vector<unsigned char> bytes_;
    std::vector<Entry> entries_;
};

} // namespace

OrvoStreamWriter::OrvoStreamWriter(const std::wstring& fileName, std::uint16_t width,
                                   std::uint16_t height, const std::wstring& software,
                                   const std::wstring& documentName, const std::wstring& artist,
                                   const std::wstring& copyright, const PerspectiveView& view)
    : OrvoFile(width), width_(width), height_(height), software_(software),
      documentName_(documentName), artist_(artist), copyright_(copyright), perspectiveView_(view),
      panoramaForm_(false) {
    InitPanoramaView(panoramaView_);
    Open(fileName);
}

OrvoStreamWriter::OrvoStreamWriter(const OrvoPanoramaFile& file)
    : OrvoFile(file.width), width_(file.width), height_(file.height), software_(file.software),
      documentName_(file.documentName), artist_(file.artist), copyright_(file.copyright),
      panoramaView_(file.view), panoramaForm_(true) {
    InitPerspectiveView(perspectiveView_);
    Open(file.fileName);
}

OrvoStreamWriter::OrvoStreamWriter(const OrvoPanoramaFile& file, platform::StdioFile stream)
    : OrvoFile(file.width), width_(file.width), height_(file.height), software_(file.software),
      documentName_(file.documentName), artist_(file.artist), copyright_(file.copyright),
      panoramaView_(file.view), panoramaForm_(true) {
    InitPerspectiveView(perspectiveView_);
    Open(std::move(stream));
}

OrvoStreamWriter::~OrvoStreamWriter() {
    try {
        Close();
    } catch (...) {
        // A destructor reports nothing; the partly written file stays on disk.
    }
}

void OrvoStreamWriter::Open(const std::wstring& fileName) {
    // Refused before the file is created, so an existing file of that name stays untouched.
    if (width_ == 0 || height_ == 0) {
        Refuse(EINVAL);
    }
    LayOutRows(LayerAll, HeaderSize);

    const std::string name = platform::WideToAnsi(fileName);
    errno = 0;
    platform::StdioFile stream(std::fopen(name.c_str(), "wb"));
    if (!stream) {
        Fail();
    }
    Open(std::move(stream));
}

void OrvoStreamWriter::Open(platform::StdioFile stream) {
    if (width_ == 0 || height_ == 0) {
        Refuse(EINVAL);
    }
    LayOutRows(LayerAll, HeaderSize);
    if (!stream) {
        Refuse(EBADF);
    }
    file_ = std::move(stream);
    streamBuffer_.resize(StreamBufferSize);
    errno = 0;
    if (std::setvbuf(file_.get(), streamBuffer_.data(), _IOFBF, streamBuffer_.size()) != 0) {
        Fail();
    }
    // The first-directory offset stays 0 until Close has written the directories.
    const unsigned char header[HeaderSize] = {'I', 'I', 42, 0, 0, 0, 0, 0};
    Put(header, sizeof header);
    SetLayers(LayerAll);
}

OrvoStreamWriter::RowLayout OrvoStreamWriter::LayOutRows(std::uint32_t layerMask,
                                                         std::uint64_t base) const {
    if (layerMask == 0 || (layerMask & ~LayerAll) != 0) {
        Refuse(EINVAL);
    }
    RowLayout layout = {};
    std::uint32_t sum = 0;
    std::uint32_t* offsets[3] = {&layout.depthOffset, &layout.idOffset, &layout.colourOffset};
    const std::uint32_t layers[3] = {LayerDepth, LayerObjectId, LayerColour};
    const std::uint32_t bytesPerPixel[3] = {4, 2, 3};
    for (int i = 0; i < 3; ++i) {
        if ((layerMask & layers[i]) == 0) {
            continue;
        }
        const std::uint32_t rowBytes = bytesPerPixel[i] * width_;
        if (rowBytes > MaxRowBytes) {
            Refuse(EFBIG);
        }
        // Bounded by the check below: row 0 lies before the end of all rows.
        *offsets[i] = static_cast<std::uint32_t>(base + sum);
        sum += rowBytes;
    }
    layout.stride = (sum + 3) & ~3u;
    layout.pad = layout.stride - sum;
    // The rows, and at least the directories after them, must lie at u32 offsets.
    if (base + static_cast<std::uint64_t>(height_) * layout.stride > MaxOffset) {
        Refuse(EFBIG);
    }
    return layout;
}

int OrvoStreamWriter::SetLayers(std::uint32_t layerMask) {
    EnsureOpen();
    const RowLayout layout = LayOutRows(layerMask, Tell());
    // Rows written before are left behind as unreferenced bytes; only the rows from here on
    // make up the layers, so only their layers get directories.
    layerMask_ = layerMask;
    layout_ = layout;
    rowsWritten_ = 0;
    layersWritten_ = 0;
    return static_cast<int>(layout_.pad);
}

int OrvoStreamWriter::WriteRow() {
    EnsureOpen();
    // A row past the last would sit where no strip offset points; refusing keeps the file
    // finishable.
    if (rowsWritten_ >= height_) {
        Refuse(EINVAL);
    }
    // The buffers go out as they lie in memory: the file's little-endian order on the hosts
    // the deliverables run on.
    if ((layerMask_ & LayerDepth) != 0) {
        Put(depthRow_.data(), 4u * width_);
    }
    if ((layerMask_ & LayerObjectId) != 0) {
        Put(idRow_.data(), 2u * width_);
    }
    if ((layerMask_ & LayerColour) != 0) {
        Put(colourRow_.data(), 3u * width_);
    }
    layersWritten_ |= layerMask_;
    static const unsigned char zeros[4] = {0, 0, 0, 0};
    Put(zeros, layout_.pad);
    ++rowsWritten_;
    return static_cast<int>(layout_.pad);
}

std::uint32_t OrvoStreamWriter::AddObject(std::uint16_t id, std::uint8_t red, std::uint8_t green,
                                          std::uint8_t blue, const std::wstring& name) {
    EnsureOpen();
    // Rows are found as row 0 plus index times stride, so a record among them would shift
    // every later row.
    if (rowsWritten_ != height_) {
        Refuse(EINVAL);
    }
    const std::string ansi = platform::WideToAnsi(name);
    const std::uint32_t position = Tell();
    // previous, id, red, green, blue, name, NUL, and a zero byte to end at an even offset.
    // Records end on even offsets.
    const std::size_t padding = (position + 4 + 2 + 3 + ansi.size() + 1) & 1;
    const std::vector<unsigned char> record =
        PackObjectRecord(objectHead_, id, red, green, blue, ansi, padding);
    Put(record.data(), record.size());
    objectHead_ = position;
    return ++objectCount_;
}

void OrvoStreamWriter::Close() {
    if (!file_) {
        return;
    }
    try {
        // With some rows missing, strip offsets would point at object records or past the
        // end; such a file is left without directories.
        if (rowsWritten_ != 0 && rowsWritten_ != height_) {
            Refuse(EINVAL);
        }
        std::uint32_t link = 0;
        if ((layersWritten_ & LayerObjectId) != 0) {
            link = WriteSampleLayer(LayerObjectId, link);
        }
        if ((layersWritten_ & LayerDepth) != 0) {
            link = WriteSampleLayer(LayerDepth, link);
        }
        if ((layersWritten_ & LayerColour) != 0) {
            link = WriteColourLayer(link);
        }
        errno = 0;
        if (std::fseek(file_.get(), 4, SEEK_SET) != 0) {
            Fail();
        }
        unsigned char bytes[4];
        PutU32(bytes, link);
        Put(bytes, sizeof bytes);
    } catch (...) {
        // Nothing more is written after a failure; the file stays without a first directory.
        file_.reset();
        throw;
    }
    errno = 0;
    if (std::fclose(file_.release()) != 0) {
        throw Error(errno != 0 ? errno : EIO);
    }
}

std::uint32_t OrvoStreamWriter::WriteSampleLayer(std::uint32_t layer, std::uint32_t next) {
    const bool depth = layer == LayerDepth;
    const std::uint16_t bytesPerPixel = depth ? 4 : 2;
    LayerBlock block(Tell());
    block.Short(TagImageWidth, width_);
    block.Short(TagImageLength, height_);
    block.Short(TagBitsPerSample, static_cast<std::uint16_t>(8 * bytesPerPixel));
    block.Short(TagCompression, 1);
    // Baseline TIFF requires a PhotometricInterpretation in every image; without it common
    // readers refuse the whole file or these pages.
    block.Short(TagPhotometric, 1); // BlackIsZero
    block.LongSequence(TagStripOffsets, height_, depth ? layout_.depthOffset : layout_.idOffset,
                       layout_.stride);
    block.Short(TagSamplesPerPixel, 1);
    block.Short(TagRowsPerStrip, 1);
    block.Shorts(TagStripByteCounts, height_, static_cast<std::uint16_t>(bytesPerPixel * width_));

    std::vector<unsigned char> header;
    if (depth) {
        // Layer header, a reserved u32, then the packed view record.
        if (panoramaForm_) {
            header.assign(LayerHeaderSize + 4 + PackedPanoramaViewSize, 0);
            PackLayerHeader({KindPanoramaDepth, 1, 0}, &header[0]);
            PackPanoramaView(panoramaView_, &header[LayerHeaderSize + 4]);
        } else {
            header.assign(LayerHeaderSize + 4 + PackedPerspectiveViewSize, 0);
            PackLayerHeader({KindPerspectiveDepth, 1, 0}, &header[0]);
            PackPerspectiveView(perspectiveView_, &header[LayerHeaderSize + 4]);
        }
    } else {
        // Layer header, then the object count and the newest record.
        header.assign(LayerHeaderSize + 8, 0);
        PackLayerHeader({KindObjectId, 1, 0}, &header[0]);
        PutU32(&header[LayerHeaderSize], objectCount_);
        PutU32(&header[LayerHeaderSize + 4], objectHead_);
    }
    block.Long(TagQuorvaneSubfileData, block.Append(header.data(), header.size()));
    const std::uint32_t directory = block.Directory(next);
    Put(block.Bytes().data(), block.Bytes().size());
    return directory;
}

std::uint32_t OrvoStreamWriter::WriteColourLayer(std::uint32_t next) {
    LayerBlock block(Tell());
    block.Short(TagImageWidth, width_);
    block.Short(TagImageLength, height_);
    block.Shorts(TagBitsPerSample, 3, 8);
    block.Short(TagCompression, 1);
    block.Short(TagPhotometric, 2); // RGB
    block.LongSequence(TagStripOffsets, height_, layout_.colourOffset, layout_.stride);
    block.Short(TagSamplesPerPixel, 3);
    block.Short(TagRowsPerStrip, 1);
    block.Shorts(TagStripByteCounts, height_, static_cast<std::uint16_t>(3 * width_));
    block.Rational(TagXResolution, 100, 1);
    block.Rational(TagYResolution, 100, 1);
    block.Short(TagResolutionUnit, 2); // inch
    block.Ascii(TagSoftware, platform::WideToAnsi(software_));
    if (!documentName_.empty()) {
        block.Ascii(TagDocumentName, platform::WideToAnsi(documentName_));
    }
    if (!artist_.empty()) {
        block.Ascii(TagArtist, platform::WideToAnsi(artist_));
    }
    if (!copyright_.empty()) {
        block.Ascii(TagCopyright, platform::WideToAnsi(copyright_));
    }
    block.Ascii(TagDateTime, UtcTimestamp());

    unsigned char header[LayerHeaderSize];
    PackLayerHeader({KindColour, 1, 0}, header);
    block.Long(TagQuorvaneSubfileData, block.Append(header, sizeof header));
    const std::uint32_t directory = block.Directory(next);
    Put(block.Bytes().data(), block.Bytes().size());
    return directory;
}

void OrvoStreamWriter::EnsureOpen() const {
    if (!file_) {
        Refuse(EBADF);
    }
}

std::uint32_t OrvoStreamWriter::Tell() {
    errno = 0;
    const long position = std::ftell(file_.get());
    if (position < 0) {
        Fail();
    }
    if (static_cast<unsigned long>(position) > MaxOffset) {
        errno = EFBIG;
        Fail();
    }
    return static_cast<std::uint32_t>(position);
}

void OrvoStreamWriter::Put(const void* data, std::size_t size) {
    errno = 0;
    if (size != 0 && std::fwrite(data, 1, size, file_.get()) != size) {
        Fail();
    }
}

void OrvoStreamWriter::Fail() {
    // Taken before closing, which may change errno. A writer that failed once writes nothing
    // more: its file keeps the first-directory offset 0 and is no valid TIFF.
    const int errorNumber = errno != 0 ? errno : EIO;
    file_.reset();
    throw Error(errorNumber);
}
