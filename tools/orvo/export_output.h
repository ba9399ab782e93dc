// Encoders of the exports' image files and JSON tables: each writes a whole file from an
// image in memory, or throws FileError naming the file.
#pragma once

#include "json_writer.h"
#include "orvo_document.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// 8-bit RGB (3 samples a pixel) or 16-bit grey (1 sample a pixel) PNG files.
void EncodeRgbPng(const std::string& path, int width, int height, const unsigned char* rgb);
void EncodeGrey16Png(const std::string& path, int width, int height, const std::uint16_t* grey);
// A TIFF file of one 32-bit floating-point sample a pixel, Deflate-compressed.
void EncodeFloatTiff(const std::string& path, int width, int height, const float* samples);

// How many pixels each id has.
template <typename Id> std::vector<std::size_t> CountIds(const std::vector<Id>& ids) {
    std::vector<std::size_t> counts(65536, 0);
    for (const Id id : ids) {
        ++counts[id & 0xFFFF];
    }
    return counts;
}

// The object table as a JSON array: every object of the file's table (the newest record of
// an id) with its pixel count, then the ids in use that the table lacks, with null name and
// colour; sorted by id. Id 0, no object, is left out.
void WriteObjectTable(JsonWriter& json, const OrvoDocument& document,
                      const std::vector<std::size_t>& counts);
// The same table as a JSON text.
std::string ObjectTableText(const OrvoDocument& document, const std::vector<std::size_t>& counts);

// Calls work(first, end) on bands of the rows [0, rows) that together cover them, each band
// on a thread of its own, one a processor; returns when all are done. An exception of any
// band is thrown again here.
void ForRowBands(int rows, const std::function<void(int first, int end)>& work);

// The panorama pixel nearest to a position within a face, as query numbers it: its index in
// the strip of faceSize x 6 faceSize pixels.
inline std::size_t NearestStripPixel(int faceSize, int slot, double column, double row) {
    const int c = static_cast<int>(column + 0.5);
    const int r = static_cast<int>(row + 0.5);
    return std::size_t(r) * std::size_t(6 * faceSize) + std::size_t(slot) * faceSize + c;
}
