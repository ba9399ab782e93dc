// OrvoStreamWriter writes revision 1.0 of the Orvo format itself, through one buffered
// standard stream: the rows as they come, then the object records, and at Close the
// directories of all layers and the header's link to the first of them. It needs no TIFF
// library. Every failure throws OrvoFile::Error; the file on disk is a valid TIFF only after
// Close.
#pragma once

#include "orvo/orvo_file.h"

#include <cstdint>
#include <cstdio>
#include <string>

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

    int SetLayers(std::uint32_t layerMask) override;
    int WriteRow() override;
    std::uint32_t AddObject(std::uint16_t id, std::uint8_t red, std::uint8_t green,
                            std::uint8_t blue, const std::wstring& name) override;
    void Close() override;
    ~OrvoStreamWriter() override;

    // Further members are private to the implementation.
};
