// The stitcher's writer interface and its error type.
//
// A caller creates a writer for one output file, fills the three row buffers and hands over
// one row at a time from the top, then adds the object table and closes the file. Only one
// row of each layer is ever held.
#pragma once

#include "orvo/format.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

class OrvoFile {
public:
    // The only exception the stitcher's writer throws. It records errno when it is created;
    // what() is the operating system's text for that error number.
    class Error : public std::runtime_error {
    public:
        Error();
        explicit Error(int errorNumber);
        int ErrorNumber() const noexcept { return errorNumber_; }
        const char* what() const noexcept override;

    private:
        int errorNumber_;
        std::string text_;
    };

    OrvoFile(const OrvoFile&) = delete;
    OrvoFile& operator=(const OrvoFile&) = delete;

    // Selects the layers that the following rows carry (Layer* bits) and restarts at row 0.
    // Returns the number of pad bytes per row.
    virtual int SetLayers(std::uint32_t layerMask) = 0;
    // Writes the row buffers of the selected layers as the next row; returns the pad bytes
    // written.
    virtual int WriteRow() = 0;
    // Appends one object record after the last row; returns the number of records so far.
    virtual std::uint32_t AddObject(std::uint16_t id, std::uint8_t red, std::uint8_t green,
                                    std::uint8_t blue, const std::wstring& name) = 0;
    // Finishes the file. A second call does nothing.
    virtual void Close() = 0;
    virtual ~OrvoFile();

    // The row buffers: R, G, B bytes a pixel; one depth code a pixel; one object id a pixel.
    unsigned char* ColourRow() { return colourRow_.data(); }
    std::uint32_t* DepthRow() { return depthRow_.data(); }
    std::uint16_t* IdRow() { return idRow_.data(); }

protected:
    explicit OrvoFile(std::uint16_t width);

    std::vector<unsigned char> colourRow_;
    std::vector<std::uint32_t> depthRow_;
    std::vector<std::uint16_t> idRow_;
};
