// The plug-in's file writer: revision 1.3 of the Orvo format, written through libtiff.
//
// A caller creates one writer per output file with CreateOrvoFile, optionally sets the light
// direction, the resolution and the layers, then for every row from the top fills the three
// row buffers and calls WriteRow, then hands over the object table with AddObject, and
// finally calls Close (or simply destroys the writer).
//
// Every layer directory is rewritten after every row, so the file on disk is a valid TIFF
// at every moment: a render that is interrupted leaves a picture of the rows done so far.
// The object-id directory points to its object table only once the file is closed.
//
// Failures throw std::runtime_error, with one of three kinds of message:
//   "libtiff call failed"  - a TIFF library call reported failure;
//   the system's error text - the file could not be created, or a private block could not
//                             be written completely (strerror of errno);
//   "offset out of range"  - the file grew past what a 32-bit offset can address.
// Misuse throws std::runtime_error too: a row beyond the height ("more rows than the image
// height", refused before libtiff would grow the directory over what follows it; the writer
// stays as it was), and WriteRow or AddObject after Close or after a failure ("libtiff call
// failed").
// After a failure nothing more is written, Close included: the partly written file stays as
// the failure left it, and the writer can still be destroyed safely.
#pragma once

#include "orvo/format.h"

#include <cstdint>
#include <memory>
#include <string>

namespace Tessaly {
namespace Orvo {

class OrvoFile {
public:
    OrvoFile() = default;
    OrvoFile(const OrvoFile&) = delete;
    OrvoFile& operator=(const OrvoFile&) = delete;

    // Direction of the light for shadows, normalised on the way in; a zero vector means
    // "none". A non-zero direction set before the first WriteRow puts a property list
    // (name, light direction) into the colour layer's block.
    virtual void SetLightDirection(const double* x, const double* y, const double* z) = 0;

    // Pixels per unit of the colour layer; unit 1 means inch, anything else centimetre.
    // Takes effect for directories created afterwards (the first WriteRow). Default 96 dpi.
    virtual void SetResolution(int x, int y, int unit) = 0;

    // Selects the layers the following rows carry (LayerColour, LayerDepth, LayerObjectId)
    // and restarts at row 0. All three after construction. Call it before the first row.
    virtual void SetLayers(std::uint32_t layerMask) = 0;

    // Writes the row buffers of the selected layers as the next row, top row first.
    virtual void WriteRow() = 0;

    // The row buffers the caller fills before each WriteRow: R, G, B bytes per pixel; one
    // depth code per pixel; one object id per pixel. Each holds exactly one row.
    virtual unsigned char* ColourRow() = 0;
    virtual std::uint32_t* DepthRow() = 0;
    virtual std::uint16_t* IdRow() = 0;

    // Appends one object record, after the last row. The name is stored as UTF-8.
    virtual void AddObject(std::uint16_t id, std::uint8_t red, std::uint8_t green,
                           std::uint8_t blue, const std::wstring& name) = 0;

    // Links the object table to the object-id layer and closes the file. A second call does
    // nothing.
    virtual void Close() = 0;

    // Closes an open file; a failure of that close is swallowed.
    virtual ~OrvoFile();
};

// Creates (or truncates and replaces) the file and returns its writer. Width and height are
// 1..65535 (with either 0 the first WriteRow fails). The four texts become the colour layer's
// DocumentName, Software, Artist and Copyright tags, stored as UTF-8 and left out when empty;
// the view record goes into the depth layer. Throws std::runtime_error with the system's error
// text when the file cannot be created.
std::unique_ptr<OrvoFile> CreateOrvoFile(const std::wstring& fileName, std::uint16_t width,
                                         std::uint16_t height, const std::wstring& software,
                                         const std::wstring& documentName,
                                         const std::wstring& artist, const std::wstring& copyright,
                                         const PerspectiveView& view);

} // namespace Orvo
} // namespace Tessaly
