// orvo_fixture: writes an Orvo file whose every value the caller chose, through either of
// the project's writers, so that a test knows exactly what the file holds. The description
// comes on standard input, one directive a line:
//
//   writer stream|tessaly            the stitcher's writer (revision 1.0) or the plug-in's (1.3)
//   size W H
//   perspective PROJECTION EYE(3) RIGHT(3) UP(3) VIEW(3) TOPLEFT(3) BOTTOMRIGHT(3) NEAR FAR
//               UNITSCALE UNITCODE
//   panorama EYE(3) NEAR FAR UNITSCALE UNITCODE      (stream writer only)
//   layers MASK                      optional
//   object ID RED GREEN BLUE NAME    NAME is the rest of the line, UTF-8
//   killed-after ROWS                optional: the process kills itself after writing that many
//                                    rows, as a render killed while writing its frame
//   pixels                           followed by W x H lines "RED GREEN BLUE CODE ID", row by
//                                    row from the top
#include "orvo/stream_writer.h"
#include "orvo/tessaly_orvo_file.h"

#include "platform/text.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Object {
    unsigned id, red, green, blue;
    std::string name;
};

struct Description {
    std::string writer = "stream";
    unsigned width = 0, height = 0;
    bool isPanorama = false;
    PerspectiveView view;
    PanoramaView panorama;
    unsigned layers = LayerAll;
    long killedAfter = -1;
    std::vector<Object> objects;
};

void ReadVector(std::istream& in, Vector3& v) {
    in >> v.x >> v.y >> v.z;
}

Description ReadDescription(std::istream& in) {
    Description d;
    InitPerspectiveView(d.view);
    InitPanoramaView(d.panorama);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string directive;
        fields >> directive;
        if (directive == "pixels") {
            return d;
        }
        if (directive == "writer") {
            fields >> d.writer;
        } else if (directive == "size") {
            fields >> d.width >> d.height;
        } else if (directive == "perspective") {
            PerspectiveView& v = d.view;
            fields >> v.projection;
            for (Vector3* vector : {&v.eyePoint, &v.rightAxis, &v.upAxis, &v.viewDirection,
                                    &v.cornerTopLeft, &v.cornerBottomRight}) {
                ReadVector(fields, *vector);
            }
            fields >> v.nearDepth >> v.farDepth >> v.unitScale >> v.unitCode;
        } else if (directive == "panorama") {
            PanoramaView& v = d.panorama;
            d.isPanorama = true;
            ReadVector(fields, v.eyePoint);
            v.centrePoint = v.eyePoint;
            v.scalar = 0.0;
            fields >> v.nearDepth >> v.farDepth >> v.unitScale >> v.unitCode;
        } else if (directive == "killed-after") {
            fields >> d.killedAfter;
        } else if (directive == "layers") {
            fields >> d.layers;
        } else if (directive == "object") {
            Object object;
            fields >> object.id >> object.red >> object.green >> object.blue;
            fields.get(); // the space before the name
            std::getline(fields, object.name);
            d.objects.push_back(object);
        } else {
            throw std::runtime_error("unknown directive \"" + directive + "\"");
        }
        if (fields.fail()) {
            throw std::runtime_error("bad line \"" + line + "\"");
        }
    }
    throw std::runtime_error("no pixels");
}

// Fills the row buffers of one row from the input.
void ReadRow(std::istream& in, unsigned width, unsigned char* colour, std::uint32_t* depth,
             std::uint16_t* ids) {
    for (unsigned x = 0; x < width; ++x) {
        unsigned red, green, blue, id;
        std::uint32_t code;
        if (!(in >> red >> green >> blue >> code >> id)) {
            throw std::runtime_error("too few pixels");
        }
        colour[3 * x] = static_cast<unsigned char>(red);
        colour[3 * x + 1] = static_cast<unsigned char>(green);
        colour[3 * x + 2] = static_cast<unsigned char>(blue);
        depth[x] = code;
        ids[x] = static_cast<std::uint16_t>(id);
    }
}

// The two writers' interfaces differ in their base classes, not in these calls.
template <typename Writer> void Feed(Writer& writer, const Description& d, std::istream& in) {
    writer.SetLayers(d.layers);
    for (unsigned y = 0; y < d.height; ++y) {
        ReadRow(in, d.width, writer.ColourRow(), writer.DepthRow(), writer.IdRow());
        writer.WriteRow();
        if (y + 1 == static_cast<unsigned long>(d.killedAfter)) {
            std::raise(SIGKILL);
        }
    }
    for (const Object& o : d.objects) {
        writer.AddObject(static_cast<std::uint16_t>(o.id), static_cast<std::uint8_t>(o.red),
                         static_cast<std::uint8_t>(o.green), static_cast<std::uint8_t>(o.blue),
                         platform::AnsiToWide(o.name));
    }
    writer.Close();
}

void WriteStream(const std::string& path, const Description& d, std::istream& in) {
    const std::wstring name = platform::AnsiToWide(path);
    const auto w = static_cast<std::uint16_t>(d.width);
    const auto h = static_cast<std::uint16_t>(d.height);
    std::unique_ptr<OrvoStreamWriter> writer;
    if (d.isPanorama) {
        writer.reset(new OrvoStreamWriter(
            OrvoPanoramaFile{name, w, h, L"orvo_fixture", L"", L"", L"", d.panorama}));
    } else {
        writer.reset(new OrvoStreamWriter(name, w, h, L"orvo_fixture", L"", L"", L"", d.view));
    }
    Feed(*writer, d, in);
}

void WriteTessaly(const std::string& path, const Description& d, std::istream& in) {
    if (d.isPanorama) {
        throw std::runtime_error("the plug-in's writer writes no panoramas");
    }
    const std::unique_ptr<Tessaly::Orvo::OrvoFile> writer = Tessaly::Orvo::CreateOrvoFile(
        platform::AnsiToWide(path), static_cast<std::uint16_t>(d.width),
        static_cast<std::uint16_t>(d.height), L"orvo_fixture", L"", L"", L"", d.view);
    Feed(*writer, d, in);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("Usage: orvo_fixture PATH < description\n", stderr);
        return 2;
    }
    try {
        const Description d = ReadDescription(std::cin);
        if (d.writer == "tessaly") {
            WriteTessaly(argv[1], d, std::cin);
        } else {
            WriteStream(argv[1], d, std::cin);
        }
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orvo_fixture: %s\n", error.what());
        return 1;
    }
}
