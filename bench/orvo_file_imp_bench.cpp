// Times the plug-in's writer, which rewrites every layer directory after every row, against
// libtiff writing the same three pages in one pass (each directory written once), and prints
// the ratio of the medians.
//
//   orvo_file_imp_bench [--size N] [--runs R] [--folder DIR] [--only imp|plain|one-pass]
//
// Defaults: 2048 x 2048 pixels, 7 runs of each, files in the system's temporary folder.
// --only times one writer alone, for a profiler (perf record -g orvo_file_imp_bench --only imp).
#include "orvo/format.h"
#include "orvo/private_tags.h"
#include "orvo/tessaly_orvo_file.h"
#include "platform/text.h"

#include <tiffio.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Rows {
    std::vector<unsigned char> colour;
    std::vector<std::uint32_t> depth;
    std::vector<std::uint16_t> ids;
};

// Some pixel values for row y; the same work in both writers.
void FillRow(unsigned char* colour, std::uint32_t* depth, std::uint16_t* ids, unsigned width,
             unsigned y) {
    for (unsigned x = 0; x < width; ++x) {
        colour[3 * x] = static_cast<unsigned char>(x);
        colour[3 * x + 1] = static_cast<unsigned char>(y);
        colour[3 * x + 2] = static_cast<unsigned char>(x ^ y);
        depth[x] = x * 2654435761u + y;
        ids[x] = static_cast<std::uint16_t>(x / 64 + y / 64);
    }
}

void WriteWithOrvoFileImp(const fs::path& path, unsigned size) {
    PerspectiveView view;
    InitPerspectiveView(view);
    std::unique_ptr<Tessaly::Orvo::OrvoFile> file = Tessaly::Orvo::CreateOrvoFile(
        platform::AnsiToWide(path.string()), static_cast<std::uint16_t>(size),
        static_cast<std::uint16_t>(size), L"bench", L"", L"", L"", view);
    for (unsigned y = 0; y < size; ++y) {
        FillRow(file->ColourRow(), file->DepthRow(), file->IdRow(), size, y);
        file->WriteRow();
    }
    for (std::uint16_t id = 1; id <= 100; ++id) {
        file->AddObject(id, 1, 2, 3, L"object " + std::to_wstring(id));
    }
    file->Close();
}

void Require(bool ok, const char* what) {
    if (!ok) {
        throw std::runtime_error(what);
    }
}

const std::uint16_t bitsPerSample[3] = {8, 32, 16};
const std::uint16_t samplesPerPixel[3] = {3, 1, 1};

void SetLayerTags(TIFF* t, int layer, unsigned size) {
    Require(TIFFSetField(t, TIFFTAG_IMAGEWIDTH, size) &&
                TIFFSetField(t, TIFFTAG_IMAGELENGTH, size) &&
                TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, bitsPerSample[layer]) &&
                TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_NONE) &&
                TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samplesPerPixel[layer]) &&
                TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 1u) &&
                TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                TIFFSetField(t, TagQuorvaneSubfileData, 0u),
            "TIFFSetField");
    if (layer == 0) {
        Require(TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
                    TIFFSetField(t, TIFFTAG_XRESOLUTION, 96.0f) &&
                    TIFFSetField(t, TIFFTAG_YRESOLUTION, 96.0f) &&
                    TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
                    TIFFSetField(t, TIFFTAG_SOFTWARE, "bench") &&
                    TIFFSetField(t, TIFFTAG_DATETIME, "2024:01:01 00:00:00"),
                "TIFFSetField");
    }
}

void WriteLayerRow(TIFF* t, Rows& rows, int layer, unsigned size, unsigned y) {
    void* data = layer == 0   ? static_cast<void*>(rows.colour.data())
                 : layer == 1 ? static_cast<void*>(rows.depth.data())
                              : static_cast<void*>(rows.ids.data());
    const tmsize_t bytes = static_cast<tmsize_t>(size) * (layer == 0 ? 3 : layer == 1 ? 4 : 2);
    Require(TIFFWriteEncodedStrip(t, y, data, bytes) == bytes, "TIFFWriteEncodedStrip");
}

using TiffFile = std::unique_ptr<TIFF, void (*)(TIFF*)>;

TiffFile OpenForWriting(const fs::path& path) {
    Tessaly::Orvo::InstallTagExtender();
    TiffFile tiff(TIFFOpen(path.c_str(), "wl"), TIFFClose);
    Require(tiff != nullptr, "TIFFOpen");
    return tiff;
}

// The baseline: the same tags and strips, each page completed before the next begins.
void WriteInOnePass(const fs::path& path, unsigned size) {
    TiffFile tiff = OpenForWriting(path);
    Rows rows{std::vector<unsigned char>(3u * size), std::vector<std::uint32_t>(size),
              std::vector<std::uint16_t>(size)};
    for (int layer = 0; layer < 3; ++layer) {
        SetLayerTags(tiff.get(), layer, size);
        for (unsigned y = 0; y < size; ++y) {
            FillRow(rows.colour.data(), rows.depth.data(), rows.ids.data(), size, y);
            WriteLayerRow(tiff.get(), rows, layer, size, y);
        }
        Require(TIFFWriteDirectory(tiff.get()) != 0, "TIFFWriteDirectory");
    }
}

// For comparison: the plainest sequence that keeps every directory rewritten after every row
// (each directory made current by its index, then written with TIFFWriteDirectory).
void WriteRowByRowPlainly(const fs::path& path, unsigned size) {
    TiffFile tiff = OpenForWriting(path);
    Rows rows{std::vector<unsigned char>(3u * size), std::vector<std::uint32_t>(size),
              std::vector<std::uint16_t>(size)};
    for (unsigned y = 0; y < size; ++y) {
        FillRow(rows.colour.data(), rows.depth.data(), rows.ids.data(), size, y);
        for (int layer = 0; layer < 3; ++layer) {
            if (y == 0) {
                SetLayerTags(tiff.get(), layer, size);
            } else {
                Require(TIFFSetDirectory(tiff.get(), static_cast<tdir_t>(layer)) != 0,
                        "TIFFSetDirectory");
            }
            WriteLayerRow(tiff.get(), rows, layer, size, y);
            Require(TIFFWriteDirectory(tiff.get()) != 0, "TIFFWriteDirectory");
        }
    }
}

struct Timing {
    double wallMs;    // median
    double wallMinMs; // fastest run: the least disturbed by other work on the machine
    double cpuMs;     // median of the process's user and system time
};

double CpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

struct Writer {
    const char* name;
    fs::path path;
    std::function<void(const fs::path&, unsigned)> write;
    std::vector<double> wall, cpu;
};

// The writers take turns, run after run, so that a change in the machine's load falls on all
// of them alike. Each run writes a new file: the previous one is removed first, outside the
// timing, so that no writer pays for truncating a file that is still in the page cache.
void TimeInTurns(std::vector<Writer>& writers, unsigned size, int runs) {
    for (Writer& writer : writers) {
        writer.write(writer.path, size); // warms the page cache and the allocator
    }
    for (int i = 0; i < runs; ++i) {
        for (Writer& writer : writers) {
            fs::remove(writer.path);
            const double cpuStart = CpuMilliseconds();
            const auto start = std::chrono::steady_clock::now();
            writer.write(writer.path, size);
            const std::chrono::duration<double, std::milli> elapsed =
                std::chrono::steady_clock::now() - start;
            writer.cpu.push_back(CpuMilliseconds() - cpuStart);
            writer.wall.push_back(elapsed.count());
        }
    }
}

Timing Summary(Writer writer) {
    std::sort(writer.wall.begin(), writer.wall.end());
    std::sort(writer.cpu.begin(), writer.cpu.end());
    return {writer.wall[writer.wall.size() / 2], writer.wall.front(),
            writer.cpu[writer.cpu.size() / 2]};
}

const char UsageText[] =
    "usage: orvo_file_imp_bench [--size N] [--runs R] [--folder DIR] [--only imp|plain|one-pass]\n";

int Usage() {
    std::fputs(UsageText, stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    unsigned size = 2048;
    int runs = 7;
    fs::path folder = fs::temp_directory_path();
    std::string only;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help") {
            std::fputs(UsageText, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            return Usage();
        }
        const std::string value = argv[++i];
        if (option == "--size") {
            size = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (option == "--runs") {
            runs = std::atoi(value.c_str());
        } else if (option == "--folder") {
            folder = value;
        } else if (option == "--only" &&
                   (value == "imp" || value == "plain" || value == "one-pass")) {
            only = value;
        } else {
            return Usage();
        }
    }
    if (size < 1 || size > 65535 || runs < 1) {
        return Usage();
    }
    try {
        std::vector<Writer> writers = {
            {"OrvoFileImp", folder / "orvo_bench_imp.orv", WriteWithOrvoFileImp, {}, {}},
            {"libtiff, plain row-by-row rewrites",
             folder / "orvo_bench_plain.tif",
             WriteRowByRowPlainly,
             {},
             {}},
            {"libtiff, one pass", folder / "orvo_bench_one_pass.tif", WriteInOnePass, {}, {}}};
        if (!only.empty()) {
            const std::size_t index = only == "imp" ? 0 : only == "plain" ? 1 : 2;
            std::vector<Writer> alone = {writers[index]};
            TimeInTurns(alone, size, runs);
            const Timing t = Summary(alone[0]);
            std::printf("%s: median wall %.1f ms, fastest %.1f ms, median cpu %.1f ms\n",
                        alone[0].name, t.wallMs, t.wallMinMs, t.cpuMs);
            fs::remove(alone[0].path);
            return 0;
        }
        TimeInTurns(writers, size, runs);
        const Timing onePass = Summary(writers.back());
        std::printf("%u x %u, three layers, %d runs each      median wall  fastest wall  "
                    "median cpu (ms)   ratio to one pass\n",
                    size, size, runs);
        for (const Writer& writer : writers) {
            const Timing t = Summary(writer);
            std::printf("  %-38s %9.1f %13.1f %11.1f      %5.2f %5.2f %5.2f\n", writer.name,
                        t.wallMs, t.wallMinMs, t.cpuMs, t.wallMs / onePass.wallMs,
                        t.wallMinMs / onePass.wallMinMs, t.cpuMs / onePass.cpuMs);
            fs::remove(writer.path);
        }
        std::printf("  target: OrvoFileImp at most 3 times the one-pass write\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orvo_file_imp_bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
