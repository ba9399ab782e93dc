// Times orvo export's two steps apart on one panorama: the remapping of the faces into the
// output images in memory, and the encoding and writing of those images by libpng, libtiff
// and OpenEXR, for the equirectangular images and for both OpenEXR layouts. The encoding is
// what writing the same outputs from memory costs; the target is remapping within half of it.
// The equirectangular export, which does both a band of rows at a time, is timed whole too.
//
// Usage: export_bench FILE.orv OUTDIR
#include "../tools/orvo/export.h"
#include "../tools/orvo/export_output.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <functional>
#include <string>

#include <sys/resource.h>

namespace {

// Wall-clock and processor time (all threads together) of one step.
struct Times {
    double wall = 1e30;
    double cpu = 1e30;
};

double ProcessorSeconds() {
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

// Runs the work and keeps the lower of each time.
void Time(Times& times, const std::function<void()>& work) {
    const double cpu = ProcessorSeconds();
    const auto start = std::chrono::steady_clock::now();
    work();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    times.wall = std::min(times.wall, wall);
    times.cpu = std::min(times.cpu, ProcessorSeconds() - cpu);
}

// The target is judged on processor time, which other programs on a busy machine disturb
// less than the wall clock.
void Report(const char* form, const Times& remap, const Times& encode) {
    std::printf("%-20s remap %6.2f s (cpu %6.2f s)   encode and write %6.2f s (cpu %6.2f s)   "
                "remap / encode, cpu: %.2f  %s\n",
                form, remap.wall, remap.cpu, encode.wall, encode.cpu, remap.cpu / encode.cpu,
                remap.cpu <= 0.5 * encode.cpu ? "ok" : "MISSED");
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("Usage: export_bench FILE.orv OUTDIR\n", stderr);
        return 2;
    }
    try {
        const std::string out = argv[2];
        OrvoDocument document;
        Times load;
        Time(load, [&] { document = LoadOrvoDocument(argv[1]); });
        std::printf("%s: %d x %d pixels, loaded in %.2f s (cpu %.2f s)\n", argv[1], document.width,
                    document.height, load.wall, load.cpu);
        // Each step runs several times and the fastest run counts, so that a cold cache or a
        // busy neighbour on the machine weighs less: five times for a file of up to ten
        // million pixels (the demo's steps take tens of milliseconds, where a neighbour's
        // moment weighs most), twice for larger ones.
        const int runs = document.PixelCount() <= 10000000 ? 5 : 2;
        const EquirectRemap equirect(document, 4 * document.height);
        const int height = equirect.Height();
        // The export remaps a band of rows at a time into memory that it keeps: so does the
        // remap on its own here, into one band. The encoders take the same images whole from
        // memory, in the same bands.
        EquirectTile band, whole;
        equirect.Remap(0, height, whole);
        const auto rowsOf = [&](int top, int count) {
            const std::size_t at = std::size_t(top) * equirect.Width();
            EquirectRows rows;
            rows.top = top;
            rows.count = count;
            rows.colour = equirect.HasColour() ? whole.colour.data() + 3 * at : nullptr;
            rows.distance = whole.distance.data() + at;
            rows.ids = equirect.HasIds() ? whole.ids.data() + at : nullptr;
            return rows;
        };
        Times remap, encode, streamed;
        for (int run = 0; run < runs; ++run) {
            Time(remap, [&] {
                for (int top = 0; top < height; top += TileRows) {
                    equirect.Remap(top, std::min(TileRows, height - top), band);
                }
            });
            Time(encode, [&] {
                EquirectWriter writer(document, equirect, out + "/bench");
                for (int top = 0; top < height; top += TileRows) {
                    writer.Write(rowsOf(top, std::min(TileRows, height - top)));
                }
                writer.Commit();
            });
            Time(streamed,
                 [&] { ExportEquirect(document, 4 * document.height, out + "/bench-streamed"); });
        }
        whole = EquirectTile();
        Report("equirect", remap, encode);
        std::printf("%-20s the export as the command runs it, remapping while it encodes: "
                    "%6.2f s (cpu %6.2f s)\n",
                    "", streamed.wall, streamed.cpu);
        for (const ExrLayout layout : {ExrLayout::LatLong, ExrLayout::Cube}) {
            remap = encode = Times();
            for (int run = 0; run < runs; ++run) {
                ExrImage image;
                Time(remap, [&] { image = RemapExr(document, layout); });
                Time(encode, [&] { WriteExr(document, image, out + "/bench.exr"); });
            }
            Report(layout == ExrLayout::Cube ? "exr --layout cube" : "exr --layout latlong", remap,
                   encode);
        }
        return 0;
    } catch (const FileError& error) {
        std::fprintf(stderr, "export_bench: %s: %s\n", error.File().c_str(), error.what());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "export_bench: %s\n", error.what());
    }
    return 1;
}
