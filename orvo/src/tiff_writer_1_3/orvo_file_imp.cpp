// The plug-in's writer: revision 1.3 of the Orvo format through libtiff.
//
// Each layer is one TIFF directory, created with the first row and rewritten after every
// row, so that the file is a complete TIFF at every moment. libtiff rewrites a directory in
// place, with its out-of-line values right behind it, only because its size never changes:
// every tag gets its final value count when the directory is created (the full height, the
// padded texts) and no count changes afterwards. A directory that grew would silently
// overwrite whatever follows it, the appended private blocks included.
//
// libtiff chooses the entry types itself: StripByteCounts is SHORT while a strip is at most
// 65535 bytes and LONG above. Readers accept both.
//
// The rewrite after every row is the costly part: libtiff reads the directory back with its
// height-long arrays and writes it all again. Three choices keep the writer near three times
// the time of writing the pages in one pass, where the plainest sequence (TIFFSetDirectory by
// index and TIFFWriteDirectory) takes about five times as long (2048 x 2048,
// bench/orvo_file_imp_bench): an existing directory is made current by its offset
// (TIFFSetSubDirectory), which spares walking the chain from the header; it is rewritten with
// TIFFCheckpointDirectory, which leaves it current instead of setting up an empty directory
// that the next row would throw away; and the file under the handle mirrors the directories'
// bytes, so that reading one back costs no system call and rewriting it sends only the changed
// bytes to the file (MirroredFile). The file after every row is byte for byte the one the
// plainest sequence gives.
#include "orvo/tessaly_orvo_file.h"

#include "orvo/format.h"
#include "orvo/private_tags.h"
#include "platform/wide_file.h"

#include "shared/byte_order.h"
#include "shared/date_time.h"
#include "shared/object_record.h"
#include "tiff_writer_1_3/mirrored_file.h"
#include "tiff_writer_1_3/property_list.h"
#include "tiff_writer_1_3/tiff_append.h"
#include "tiff_writer_1_3/utf8_text.h"

#include <tiffio.h>

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace Tessaly {
namespace Orvo {

OrvoFile::~OrvoFile() = default;

namespace {

using namespace orvo_bytes;

const std::uint16_t NoDirectory = 0xFFFF;

// Layers in the order of their directories.
enum Layer { Colour, Depth, ObjectId, LayerCount };
const std::uint32_t layerBits[LayerCount] = {LayerColour, LayerDepth, LayerObjectId};

// Sizes of the private blocks of revision 1.3.
const std::size_t colourBlockSize = 16;      // header, fixed 5, flag, reserved
const std::size_t colourTextPrefixSize = 24; // the above, end of text, text length
const std::size_t objectIdBlockSize = 16;    // header, count, head

[[noreturn]] void ThrowLibtiffFailure() {
    throw std::runtime_error("libtiff call failed");
}

void Check(int libtiffResult) {
    if (libtiffResult == 0) {
        ThrowLibtiffFailure();
    }
}

struct MirroringScope {
    MirroredFile& file;
    explicit MirroringScope(MirroredFile& f) : file(f) { file.SetMirroring(true); }
    ~MirroringScope() { file.SetMirroring(false); }
};

struct WriterTiffClose {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using WriterTiff = std::unique_ptr<TIFF, WriterTiffClose>;

struct OpenOptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// The moment of writing; a system that cannot tell it fails the file as the stream writer does.
std::string DateTimeNow() {
    std::string text = TiffDateTimeNow();
    if (text.empty()) {
        throw std::runtime_error(std::strerror(ERANGE));
    }
    return text;
}

class OrvoFileImp final : public OrvoFile {
public:
    OrvoFileImp(const std::wstring& fileName, std::uint16_t width, std::uint16_t height,
                const std::wstring& software, const std::wstring& documentName,
                const std::wstring& artist, const std::wstring& copyright,
                const PerspectiveView& view);
    ~OrvoFileImp() override;

    void SetLightDirection(const double* x, const double* y, const double* z) override;
    void SetResolution(int x, int y, int unit) override;
    void SetLayers(std::uint32_t layerMask) override;
    void WriteRow() override;
    unsigned char* ColourRow() override { return colourRow_.data(); }
    std::uint32_t* DepthRow() override { return depthRow_.data(); }
    std::uint16_t* IdRow() override { return idRow_.data(); }
    void AddObject(std::uint16_t id, std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                   const std::wstring& name) override;
    void Close() override;

private:
    // libtiff's messages go to the handle's own handlers rather than to standard error: the
    // plug-in runs inside a GUI host, and every failure already reaches the caller as an
    // exception.
    static int OnLibtiffMessage(TIFF*, void* user, const char*, const char*, va_list);

    TIFF* Tiff() const;
    // Runs one operation; a failure marks the writer failed before it propagates.
    template <typename Operation> void Guarded(Operation operation);
    // Closes the handle and the file without writing anything more.
    void Abandon() noexcept;
    void WriteRowOf(TIFF* tiff);
    void CreateDirectory(Layer layer);
    void SetCommonTags(std::uint16_t bitsPerSample, std::uint16_t samplesPerPixel);
    void SetText(ttag_t tag, const std::wstring& text);
    std::uint32_t AppendColourBlock();
    std::uint32_t AppendDepthBlock();
    void WriteStrip(Layer layer);
    void MakeCurrent(Layer layer);

    std::vector<unsigned char> colourRow_;
    std::vector<std::uint32_t> depthRow_;
    std::vector<std::uint16_t> idRow_;
    std::uint16_t width_;
    std::uint16_t height_;
    std::wstring fileName_;
    std::wstring software_;
    std::wstring documentName_;
    std::wstring artist_;
    std::wstring copyright_;
    PerspectiveView view_;
    std::uint32_t layerMask_ = LayerAll;
    std::uint32_t objectHead_ = 0;
    std::uint32_t objectCount_ = 0;
    std::uint32_t row_ = 0;
    std::uint16_t directoryIndex_[LayerCount] = {NoDirectory, NoDirectory, NoDirectory};
    // File offsets of the layers' directories, 0 until first looked up.
    std::uint64_t directoryOffset_[LayerCount] = {0, 0, 0};
    // Whether libtiff's current directory is one already in the file (after a checkpoint),
    // rather than a fresh one that a new layer can be set up in.
    bool writtenDirectoryCurrent_ = false;
    int resolutionX_ = 96;
    int resolutionY_ = 96;
    int resolutionUnit_ = 1;
    Vector3 lightDirection_ = {0.0, 0.0, 0.0};
    // After a failure nothing more is written: the file stays as the last complete step left
    // it, which is a valid TIFF unless the failure was the file's first row.
    bool failed_ = false;
    // errno when libtiff reported its first error, which is when opening failed.
    int firstErrorNumber_ = 0;
    bool libtiffReportedError_ = false;
    std::unique_ptr<MirroredFile> file_; // outlives the handle that does its I/O through it
    WriterTiff tiff_;
};

int OrvoFileImp::OnLibtiffMessage(TIFF*, void* user, const char*, const char*, va_list) {
    OrvoFileImp* self = static_cast<OrvoFileImp*>(user);
    if (self != nullptr && !self->libtiffReportedError_) {
        self->libtiffReportedError_ = true;
        self->firstErrorNumber_ = errno;
    }
    return 1; // handled: the process-wide handlers stay silent
}

OrvoFileImp::OrvoFileImp(const std::wstring& fileName, std::uint16_t width, std::uint16_t height,
                         const std::wstring& software, const std::wstring& documentName,
                         const std::wstring& artist, const std::wstring& copyright,
                         const PerspectiveView& view)
    : colourRow_(3u * width), depthRow_(width), idRow_(width), width_(width), height_(height),
      fileName_(fileName), software_(software), documentName_(documentName), artist_(artist),
      copyright_(copyright), view_(view) {
    platform::File file = platform::CreateFileWide(fileName.c_str());
    if (!file.IsOpen()) {
        throw std::runtime_error(std::strerror(errno != 0 ? errno : EIO));
    }
    file_.reset(new MirroredFile(std::move(file)));
    InstallTagExtender();
    std::unique_ptr<TIFFOpenOptions, OpenOptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) {
        throw std::bad_alloc();
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnLibtiffMessage, this);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnLibtiffMessage, nullptr);
    errno = 0;
    // "w": a new classic TIFF (the file was created or truncated above); "l": little-endian
    // whatever the host.
    tiff_.reset(file_->OpenHandle(Utf16ToUtf8(fileName).c_str(), "wl", options.get()));
    if (!tiff_) {
        const int errorNumber = libtiffReportedError_ ? firstErrorNumber_ : errno;
        throw std::runtime_error(std::strerror(errorNumber != 0 ? errorNumber : EIO));
    }
}

OrvoFileImp::~OrvoFileImp() {
    try {
        Close();
    } catch (...) {
        // The destructor of a writer that already failed must not fail again; the partly
        // written file stays on disk.
    }
}

TIFF* OrvoFileImp::Tiff() const {
    // No handle after Close; after a failure libtiff's state is not to be trusted, and the file
    // stays as the failure left it.
    if (!tiff_ || failed_) {
        ThrowLibtiffFailure();
    }
    return tiff_.get();
}

void OrvoFileImp::SetLightDirection(const double* x, const double* y, const double* z) {
    const double vx = x != nullptr ? *x : 0.0;
    const double vy = y != nullptr ? *y : 0.0;
    const double vz = z != nullptr ? *z : 0.0;
    lightDirection_ = {0.0, 0.0, 0.0};
    if (!std::isfinite(vx) || !std::isfinite(vy) || !std::isfinite(vz)) {
        return;
    }
    const double s = vx * vx + vy * vy + vz * vz;
    if (s >= DBL_MIN && std::isfinite(s)) {
        const double length = std::sqrt(s);
        lightDirection_ = {vx / length, vy / length, vz / length};
    } else if (vx != 0.0 || vy != 0.0 || vz != 0.0) {
        // Squares that overflow or underflow: scale by the largest component first.
        const double m = std::fmax(std::fabs(vx), std::fmax(std::fabs(vy), std::fabs(vz)));
        const double sx = vx / m, sy = vy / m, sz = vz / m;
        const double length = std::sqrt(sx * sx + sy * sy + sz * sz);
        lightDirection_ = {sx / length, sy / length, sz / length};
    }
}

void OrvoFileImp::SetResolution(int x, int y, int unit) {
    resolutionX_ = x;
    resolutionY_ = y;
    resolutionUnit_ = unit;
}

void OrvoFileImp::SetLayers(std::uint32_t layerMask) {
    layerMask_ = layerMask;
    row_ = 0;
}

void OrvoFileImp::SetCommonTags(std::uint16_t bitsPerSample, std::uint16_t samplesPerPixel) {
    TIFF* tiff = Tiff();
    Check(TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width_)));
    Check(TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height_)));
    Check(TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, bitsPerSample));
    Check(TIFFSetField(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE));
    Check(TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, samplesPerPixel));
    Check(TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(1)));
    Check(TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG));
}

void OrvoFileImp::SetText(ttag_t tag, const std::wstring& text) {
    const std::string value = TagText(text);
    if (!value.empty()) {
        Check(TIFFSetField(Tiff(), tag, value.c_str()));
    }
}

std::uint32_t OrvoFileImp::AppendColourBlock() {
    TIFF* tiff = Tiff();
    const bool withText =
        lightDirection_.x != 0.0 || lightDirection_.y != 0.0 || lightDirection_.z != 0.0;
    std::string text;
    if (withText) {
        text = BuildPropertyList(Utf16ToUtf8(fileName_), lightDirection_.x, lightDirection_.y,
                                 lightDirection_.z);
    }
    std::vector<unsigned char> block(withText ? colourTextPrefixSize + text.size() + 1
                                              : colourBlockSize);
    PackLayerHeader(LayerHeader{KindColour, 1, 3}, block.data());
    PutU32(&block[8], 5);
    PutU16(&block[12], withText ? 1 : 0);
    PutU16(&block[14], 0);
    if (withText) {
        // The offsets inside the block depend on where it lands, so check them before a
        // single byte is written.
        const std::uint64_t start = CheckedOffset(EndOfFile(tiff));
        PutU32(&block[16], CheckedOffset(start + colourTextPrefixSize + text.size()));
        PutU32(&block[20], static_cast<std::uint32_t>(text.size()));
        std::memcpy(&block[colourTextPrefixSize], text.data(), text.size());
        block.back() = 0;
    }
    return AppendBlock(tiff, block.data(), block.size());
}

std::uint32_t OrvoFileImp::AppendDepthBlock() {
    unsigned char block[LayerHeaderSize + 4 + PackedPerspectiveViewSize];
    PackLayerHeader(LayerHeader{KindPerspectiveDepth, 1, 0}, block);
    PutU32(block + LayerHeaderSize, 0);
    PackPerspectiveView(view_, block + LayerHeaderSize + 4);
    return AppendBlock(Tiff(), block, sizeof block);
}

void OrvoFileImp::CreateDirectory(Layer layer) {
    TIFF* tiff = Tiff();
    switch (layer) {
    case Colour: {
        SetCommonTags(8, 3);
        Check(TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB));
        SetText(TIFFTAG_DOCUMENTNAME, documentName_);
        Check(TIFFSetField(tiff, TIFFTAG_XRESOLUTION, static_cast<float>(resolutionX_)));
        Check(TIFFSetField(tiff, TIFFTAG_YRESOLUTION, static_cast<float>(resolutionY_)));
        Check(TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT,
                           resolutionUnit_ == 1 ? RESUNIT_INCH : RESUNIT_CENTIMETER));
        SetText(TIFFTAG_SOFTWARE, software_);
        Check(TIFFSetField(tiff, TIFFTAG_DATETIME, DateTimeNow().c_str()));
        SetText(TIFFTAG_ARTIST, artist_);
        SetText(TIFFTAG_COPYRIGHT, copyright_);
        Check(TIFFSetField(tiff, TagQuorvaneSubfileData, AppendColourBlock()));
        break;
    }
    case Depth:
        SetCommonTags(32, 1);
        Check(TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK));
        Check(TIFFSetField(tiff, TagQuorvaneSubfileData, AppendDepthBlock()));
        break;
    case ObjectId:
        SetCommonTags(16, 1);
        Check(TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK));
        // Set now with its final count; Close puts the object table's offset in.
        Check(TIFFSetField(tiff, TagQuorvaneSubfileData, static_cast<std::uint32_t>(0)));
        break;
    case LayerCount:
        break;
    }
}

void OrvoFileImp::WriteStrip(Layer layer) {
    void* data = nullptr;
    tmsize_t size = 0;
    switch (layer) {
    case Colour:
        data = colourRow_.data();
        size = static_cast<tmsize_t>(colourRow_.size());
        break;
    case Depth:
        data = depthRow_.data();
        size = static_cast<tmsize_t>(depthRow_.size() * sizeof(std::uint32_t));
        break;
    case ObjectId:
        data = idRow_.data();
        size = static_cast<tmsize_t>(idRow_.size() * sizeof(std::uint16_t));
        break;
    case LayerCount:
        break;
    }
    if (TIFFWriteEncodedStrip(Tiff(), row_, data, size) == -1) {
        ThrowLibtiffFailure();
    }
}

void OrvoFileImp::MakeCurrent(Layer layer) {
    TIFF* tiff = Tiff();
    if (directoryOffset_[layer] == 0) {
        Check(TIFFSetDirectory(tiff, directoryIndex_[layer]));
        directoryOffset_[layer] = TIFFCurrentDirOffset(tiff);
    } else {
        Check(TIFFSetSubDirectory(tiff, directoryOffset_[layer]));
    }
}

template <typename Operation> void OrvoFileImp::Guarded(Operation operation) {
    try {
        operation();
    } catch (...) {
        failed_ = true;
        throw;
    }
}

void OrvoFileImp::Abandon() noexcept {
    // TIFFCleanup flushes a handle open for writing: after a failed row it would write that
    // row's strip offset into the directory. With the file closed first, it writes nothing.
    file_->Close();
    TIFFCleanup(tiff_.release());
}

void OrvoFileImp::WriteRow() {
    TIFF* tiff = Tiff();
    if (row_ >= height_) {
        // libtiff would grow the strip arrays, and a directory that grows overwrites what
        // follows it. Refused before anything is written, so the writer stays usable.
        throw std::runtime_error("more rows than the image height");
    }
    Guarded([&] { WriteRowOf(tiff); });
}

void OrvoFileImp::WriteRowOf(TIFF* tiff) {
    for (int l = 0; l < LayerCount; ++l) {
        const Layer layer = static_cast<Layer>(l);
        if ((layerMask_ & layerBits[layer]) == 0) {
            continue;
        }
        if (directoryIndex_[layer] == NoDirectory) {
            if (writtenDirectoryCurrent_) {
                // Only a full write leaves libtiff ready to set up a new directory; the
                // directory is unchanged, so this rewrites the same bytes.
                MirroringScope mirroring(*file_);
                Check(TIFFWriteDirectory(tiff));
                writtenDirectoryCurrent_ = false;
            }
            CreateDirectory(layer);
            WriteStrip(layer);
            {
                // Appends and links the directory, and leaves a fresh one for the next layer.
                MirroringScope mirroring(*file_);
                Check(TIFFWriteDirectory(tiff));
            }
            // New directories go to the end of the chain, behind those of the other layers.
            std::uint16_t existing = 0;
            for (const std::uint16_t index : directoryIndex_) {
                existing = static_cast<std::uint16_t>(existing + (index != NoDirectory));
            }
            directoryIndex_[layer] = existing;
        } else {
            MakeCurrent(layer);
            WriteStrip(layer);
            MirroringScope mirroring(*file_);
            Check(TIFFCheckpointDirectory(tiff));
            writtenDirectoryCurrent_ = true;
        }
    }
    ++row_;
}

void OrvoFileImp::AddObject(std::uint16_t id, std::uint8_t red, std::uint8_t green,
                            std::uint8_t blue, const std::wstring& name) {
    TIFF* tiff = Tiff();
    std::string text = Utf16ToUtf8(name);
    const std::size_t nul = text.find('\0');
    if (nul != std::string::npos) {
        text.resize(nul);
    }
    const std::vector<unsigned char> record =
        PackObjectRecord(objectHead_, id, red, green, blue, text);
    Guarded([&] { objectHead_ = AppendBlock(tiff, record.data(), record.size()); });
    ++objectCount_;
}

void OrvoFileImp::Close() {
    if (!tiff_) {
        return;
    }
    if (failed_) {
        Abandon();
        return;
    }
    try {
        TIFF* tiff = tiff_.get();
        if (directoryIndex_[ObjectId] != NoDirectory) {
            MakeCurrent(ObjectId);
            unsigned char block[objectIdBlockSize];
            PackLayerHeader(LayerHeader{KindObjectId, 1, 1}, block);
            PutU32(block + 8, objectCount_);
            PutU32(block + 12, objectHead_);
            const std::uint32_t offset = AppendBlock(tiff, block, sizeof block);
            Check(TIFFSetField(tiff, TagQuorvaneSubfileData, offset));
            Check(TIFFWriteDirectory(tiff));
        }
        Check(TIFFFlush(tiff));
    } catch (...) {
        failed_ = true;
        Abandon();
        throw;
    }
    tiff_.reset(); // TIFFClose: everything is flushed already
    if (!file_->Close()) {
        throw std::runtime_error(std::strerror(errno != 0 ? errno : EIO));
    }
}

} // namespace

std::unique_ptr<OrvoFile> CreateOrvoFile(const std::wstring& fileName, std::uint16_t width,
                                         std::uint16_t height, const std::wstring& software,
                                         const std::wstring& documentName,
                                         const std::wstring& artist, const std::wstring& copyright,
                                         const PerspectiveView& view) {
    return std::unique_ptr<OrvoFile>(
        new OrvoFileImp(fileName, width, height, software, documentName, artist, copyright, view));
}

} // namespace Orvo
} // namespace Tessaly
