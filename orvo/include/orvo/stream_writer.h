// OrvoStreamWriter writes revision 1.0 of the Orvo format itself, through one buffered
// standard stream: the rows as they come, then the object records, and at Close the
// directories of all layers and the header's link to the first of them. It needs no TIFF
// library. Every failure throws OrvoFile::Error; the file on disk is a valid TIFF only after
// Close.
//
// What the writer refuses, and the error number it throws with:
// - width or height 0 (EINVAL), and a layer selection whose row of one layer exceeds the 65535
//   bytes of a SHORT strip byte count, or whose rows would reach past the last u32 offset
//   (EFBIG): by the constructor for all three layers, before the file is created, and by
//   SetLayers for its selection;
// - a layer mask of 0 or with unknown bits (EINVAL);
// - a row beyond the height, and AddObject before the last row (EINVAL);
// - any call but Close after Close or after a failure (EBADF).
// Refusals leave the writer as it was. An I/O failure closes the stream at once; so does Close
// when some but not all rows were written (EINVAL). Such a file keeps the first-directory
// offset 0, so no reader takes it for a complete one.
#pragma once

#include "orvo/orvo_file.h"

#include "platform/stdio_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// Everything the panorama form of the writer is created with.
struct OrvoPanoramaFile {
    std::wstring fileName;
    std::uint16_t width;
    std::uint16_t height;
    std::wstring software;
    std::wstring documentName;
    std::wstring artist;
    std::wstring copyright;
    PanoramaView view;
};

class OrvoStreamWriter : public OrvoFile {
public:
    // Creates or truncates the file; the depth layer will carry the perspective view.
    OrvoStreamWriter(const std::wstring& fileName, std::uint16_t width, std::uint16_t height,
                     const std::wstring& software, const std::wstring& documentName,
                     const std::wstring& artist, const std::wstring& copyright,
                     const PerspectiveView& view);
    // Panorama form: the depth layer will carry the panorama view.
    explicit OrvoStreamWriter(const OrvoPanoramaFile& file);
    // Panorama form on a stream the caller opened for binary writing at its start (a file
    // that is to replace the target, a device); file.fileName is not used. The writer takes
    // the stream over and closes it.
    OrvoStreamWriter(const OrvoPanoramaFile& file, platform::StdioFile stream);

    int SetLayers(std::uint32_t layerMask) override;
    int WriteRow() override;
    std::uint32_t AddObject(std::uint16_t id, std::uint8_t red, std::uint8_t green,
                            std::uint8_t blue, const std::wstring& name) override;
    void Close() override;
    ~OrvoStreamWriter() override;

private:
    // Where row 0 of each selected layer lies and how far apart the row blocks are.
    struct RowLayout {
        std::uint32_t depthOffset;
        std::uint32_t idOffset;
        std::uint32_t colourOffset;
        std::uint32_t stride;
        std::uint32_t pad;
    };
    void Open(const std::wstring& fileName);
    void Open(platform::StdioFile stream);
    RowLayout LayOutRows(std::uint32_t layerMask, std::uint64_t base) const;
    void EnsureOpen() const;
    std::uint32_t Tell();
    void Put(const void* data, std::size_t size);
    [[noreturn]] void Fail();
    std::uint32_t WriteSampleLayer(std::uint32_t layer, std::uint32_t next);
    std::uint32_t WriteColourLayer(std::uint32_t next);

    std::uint16_t width_;
    std::uint16_t height_;
    std::wstring software_;
    std::wstring documentName_;
    std::wstring artist_;
    std::wstring copyright_;
    PerspectiveView perspectiveView_;
    PanoramaView panoramaView_;
    bool panoramaForm_;
    std::uint32_t layerMask_ = 0;
    std::uint32_t layersWritten_ = 0;
    std::uint32_t rowsWritten_ = 0;
    std::uint32_t objectHead_ = 0;
    std::uint32_t objectCount_ = 0;
    RowLayout layout_ = {};
    // Declared before the stream so that it outlives it: setvbuf lends it to the stream.
    std::vector<char> streamBuffer_;
    platform::StdioFile file_; // null once closed or after a failure
};
