// Writes the seed corpus of the reader's fuzz target into a folder: small files of the stream
// writer (revision 1.0) and of the plug-in's writer (revision 1.3) with every layer mix, and
// files that libtiff writes big-endian and Deflate-compressed, each named after what it is.
// Usage: orvo_reader_corpus <folder>
#include "orvo/stream_writer.h"
#include "orvo/tessaly_orvo_file.h"

#include "tiff_builder.h"

#include <tiffio.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

template <typename Writer>
void FillRows(Writer& writer, std::uint32_t width, std::uint32_t height) {
    for (std::uint32_t y = 0; y < height; ++y) {
        for (std::uint32_t x = 0; x < width; ++x) {
            writer.ColourRow()[3 * x] = static_cast<unsigned char>(x * 40);
            writer.ColourRow()[3 * x + 1] = static_cast<unsigned char>(y * 60);
            writer.ColourRow()[3 * x + 2] = 200;
            writer.DepthRow()[x] = (x + y) % 3 == 2 ? NoDepthCode : 0x10000u * (x + 1) * (y + 1);
            writer.IdRow()[x] = static_cast<std::uint16_t>(
                writer.DepthRow()[x] == NoDepthCode ? 0 : 1 + (x + y) % 2);
        }
        writer.WriteRow();
    }
}

void Stream(const std::string& path, std::uint16_t width, std::uint16_t height,
            std::uint32_t layers, int objects) {
    OrvoStreamWriter writer(Wide(path), width, height, L"corpus", L"doc", L"", L"",
                            test::SampleView());
    writer.SetLayers(layers);
    FillRows(writer, width, height);
    for (int i = 0; i < objects; ++i) {
        writer.AddObject(static_cast<std::uint16_t>(i + 1), 10, 20, 30,
                         i == 0 ? L"" : L"Object" + std::to_wstring(i));
    }
    writer.Close();
}

void StreamPanorama(const std::string& path) {
    OrvoPanoramaFile file;
    file.fileName = Wide(path);
    file.width = 6;
    file.height = 1;
    InitPanoramaView(file.view);
    OrvoStreamWriter writer(file);
    FillRows(writer, 6, 1);
    writer.AddObject(1, 1, 2, 3, L"Pano");
    writer.Close();
}

void Plugin(const std::string& path, std::uint16_t width, std::uint16_t height,
            std::uint32_t layers, int objects) {
    auto writer = Tessaly::Orvo::CreateOrvoFile(Wide(path), width, height, L"corpus", L"", L"me",
                                                L"", test::SampleView());
    writer->SetLayers(layers);
    FillRows(*writer, width, height);
    for (int i = 0; i < objects; ++i) {
        writer->AddObject(static_cast<std::uint16_t>(i + 7), 1, 2, 3, L"Node" + std::to_wstring(i));
    }
    writer->Close();
}

// Three layers through libtiff with the given mode and compression; 8-bit ids when asked.
void Libtiff(const std::string& path, const char* mode, std::uint16_t compression, int idBits) {
    test::Order order;
    order.bigEndian = std::string(mode).find('b') != std::string::npos;
    const std::uint32_t width = 4;
    const std::uint32_t height = 2;
    std::vector<test::LibtiffLayer> layers =
        test::OrvoLayers(order, width, height, compression, static_cast<std::uint16_t>(idBits),
                         {{1, 255, 0, 0, "Red"}, {2, 0, 255, 0, "Green"}});
    for (std::uint32_t y = 0; y < height; ++y) {
        layers[0].rows.push_back(test::Bytes(3 * width, static_cast<unsigned char>(y + 1)));
        std::vector<std::uint32_t> codes(width, 0x01020304u * (y + 1));
        const auto* codeBytes = reinterpret_cast<const unsigned char*>(codes.data());
        layers[1].rows.push_back(test::Bytes(codeBytes, codeBytes + 4 * width));
        if (idBits == 8) {
            layers[2].rows.push_back(test::Bytes(width, static_cast<unsigned char>(y + 1)));
        } else {
            std::vector<std::uint16_t> ids(width, static_cast<std::uint16_t>(y + 1));
            const auto* idBytes = reinterpret_cast<const unsigned char*>(ids.data());
            layers[2].rows.push_back(test::Bytes(idBytes, idBytes + 2 * width));
        }
    }
    test::WriteTiffWithBlocks(path, mode, layers);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    try {
        Stream(folder + "/stream_all_3x2_3_objects.orv", 3, 2, LayerAll, 3);
        Stream(folder + "/stream_all_1x1.orv", 1, 1, LayerAll, 1);
        Stream(folder + "/stream_colour_2x2.orv", 2, 2, LayerColour, 0);
        Stream(folder + "/stream_depth_ids_3x1.orv", 3, 1, LayerDepth | LayerObjectId, 2);
        StreamPanorama(folder + "/stream_panorama_6x1.orv");
        Plugin(folder + "/plugin_all_3x2_3_objects.orv", 3, 2, LayerAll, 3);
        Plugin(folder + "/plugin_colour_2x1.orv", 2, 1, LayerColour, 0);
        Libtiff(folder + "/libtiff_big_endian_4x2.orv", "wb", COMPRESSION_NONE, 16);
        Libtiff(folder + "/libtiff_deflate_8_bit_ids_4x2.orv", "w", COMPRESSION_ADOBE_DEFLATE, 8);
        Libtiff(folder + "/libtiff_packbits_4x2.orv", "w", COMPRESSION_PACKBITS, 16);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s: %s\n", argv[0], error.what());
        return 1;
    }
    return 0;
}
