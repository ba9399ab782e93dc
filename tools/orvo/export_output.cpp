#include "export_output.h"
#include "export.h"

#include "platform/text.h"

#include <png.h>
#include <tiffio.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::string ErrorText(int error, const char* otherwise) {
    return error != 0 ? std::strerror(error) : otherwise;
}

// libpng's messages are kept quiet, as the writer reports the failure itself: a failure
// jumps straight back to the caller's jump without printing, a warning is dropped.
[[noreturn]] void QuietPngError(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}
void QuietPngWarning(png_structp, png_const_charp) {}

// libpng's write and info structures, released together.
struct PngWrite {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietPngError, QuietPngWarning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    PngWrite() = default;
    PngWrite(const PngWrite&) = delete;
    PngWrite& operator=(const PngWrite&) = delete;
    ~PngWrite() { png_destroy_write_struct(&png, &info); }
};

// libpng reports its failures by a long jump back into the function that set the jump, so
// each of these sets its own and owns nothing that needs destroying.
bool StartPng(const PngWrite& write, std::FILE* file, int width, int height, int bitDepth,
              int colourType) {
    if (setjmp(png_jmpbuf(write.png)) != 0) {
        return false;
    }
    png_init_io(write.png, file);
    png_set_IHDR(write.png, write.info, static_cast<png_uint_32>(width),
                 static_cast<png_uint_32>(height), bitDepth, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // A fast zlib level: the images are large, and the higher levels gain little on them.
    png_set_compression_level(write.png, 3);
    png_write_info(write.png, write.info);
    if (bitDepth == 16) {
        png_set_swap(write.png); // PNG stores big-endian samples, the rows are the host's
    }
    return true;
}

bool WritePngRows(const PngWrite& write, const unsigned char* rows, int count, std::size_t stride) {
    if (setjmp(png_jmpbuf(write.png)) != 0) {
        return false;
    }
    for (int row = 0; row < count; ++row) {
        png_write_row(write.png, rows + std::size_t(row) * stride);
    }
    return true;
}

bool EndPng(const PngWrite& write) {
    if (setjmp(png_jmpbuf(write.png)) != 0) {
        return false;
    }
    png_write_end(write.png, nullptr);
    return true;
}

// libtiff's messages on the file's handle are kept quiet: the failure is reported by the
// writer, with the system's reason where there is one.
int QuietTiff(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

} // namespace

TemporaryOutput::TemporaryOutput(std::string target) : target_(std::move(target)) {
    // A folder in the way would only refuse the rename, after the other outputs took their
    // names.
    std::error_code error;
    if (std::filesystem::is_directory(target_, error)) {
        throw FileError(target_, "is a folder");
    }
    // A name of its own beside the target, on the same file system so that the rename is
    // atomic; created here so that no other process can be writing it.
    for (int attempt = 0;; ++attempt) {
        temporary_ =
            target_ + "." + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".partial";
        const int fd = open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
        if (fd >= 0) {
            close(fd);
            return;
        }
        if (errno != EEXIST || attempt == 100) {
            const int error = errno;
            temporary_.clear();
            throw FileError(target_, ErrorText(error, "cannot be created"));
        }
    }
}

TemporaryOutput::~TemporaryOutput() {
    if (!committed_ && !temporary_.empty()) {
        std::remove(temporary_.c_str());
    }
}

void TemporaryOutput::Write(const std::function<void(const std::string& path)>& write) {
    try {
        write(temporary_);
    } catch (const FileError& error) {
        throw FileError(target_, error.what());
    }
}

void TemporaryOutput::Commit() {
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        throw FileError(target_, ErrorText(errno, "cannot be written"));
    }
    committed_ = true;
}

struct PngRowWriter::State {
    std::string name;
    FileHandle file;
    PngWrite write;
    std::size_t stride = 0;
};

PngRowWriter::PngRowWriter(const std::string& path, std::string name, Kind kind, int width,
                           int height)
    : state_(new State) {
    state_->name = std::move(name);
    errno = 0;
    state_->file.reset(std::fopen(path.c_str(), "wb"));
    if (!state_->file) {
        throw FileError(state_->name, ErrorText(errno, "cannot be created"));
    }
    const int bitDepth = kind == Rgb8 ? 8 : 16;
    state_->stride = (kind == Rgb8 ? 3 : 2) * std::size_t(width);
    errno = 0;
    if (state_->write.info == nullptr ||
        !StartPng(state_->write, state_->file.get(), width, height, bitDepth,
                  kind == Rgb8 ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY)) {
        throw FileError(state_->name,
                        "cannot write the PNG file: " + ErrorText(errno, "libpng failed"));
    }
}

PngRowWriter::~PngRowWriter() = default;

void PngRowWriter::WriteRows(const void* rows, int count) {
    errno = 0;
    if (!WritePngRows(state_->write, static_cast<const unsigned char*>(rows), count,
                      state_->stride)) {
        throw FileError(state_->name,
                        "cannot write the PNG file: " + ErrorText(errno, "libpng failed"));
    }
}

void PngRowWriter::Finish() {
    errno = 0;
    const bool ended = EndPng(state_->write);
    const int endError = errno;
    // Closing flushes the last bytes, so its failure is a failed write too.
    const bool closed = std::fclose(state_->file.release()) == 0;
    const int closeError = errno;
    if (!ended || !closed) {
        throw FileError(state_->name,
                        "cannot write the PNG file: " +
                            ErrorText(!ended ? endError : closeError, "libpng failed"));
    }
}

struct FloatTiffRowWriter::State {
    std::string name;
    TIFF* tif = nullptr;
    std::size_t width = 0;
    int row = 0;
    ~State() {
        if (tif != nullptr) {
            TIFFClose(tif);
        }
    }
    [[noreturn]] void Fail(int error) const {
        throw FileError(name, "cannot write the TIFF file: " + ErrorText(error, "libtiff failed"));
    }
};

FloatTiffRowWriter::FloatTiffRowWriter(const std::string& path, std::string name, int width,
                                       int height)
    : state_(new State) {
    state_->name = std::move(name);
    state_->width = std::size_t(width);
    struct OptionsFree {
        void operator()(TIFFOpenOptions* options) const noexcept { TIFFOpenOptionsFree(options); }
    };
    const std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) {
        throw std::bad_alloc();
    }
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), QuietTiff, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), QuietTiff, nullptr);
    errno = 0;
    state_->tif = TIFFOpenExt(path.c_str(), "w", options.get());
    if (state_->tif == nullptr) {
        throw FileError(state_->name, ErrorText(errno, "cannot be created"));
    }
    TIFF* tif = state_->tif;
    const bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, std::uint32_t(width)) &&
                    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, std::uint32_t(height)) &&
                    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1) &&
                    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 32) &&
                    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP) &&
                    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK) &&
                    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
                    TIFFSetField(tif, TIFFTAG_ZIPQUALITY, 1) &&
                    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
    if (!ok) {
        state_->Fail(errno);
    }
}

FloatTiffRowWriter::~FloatTiffRowWriter() = default;

void FloatTiffRowWriter::WriteRows(const float* rows, int count) {
    const std::size_t width = state_->width;
    errno = 0;
    for (int k = 0; k < count; ++k, ++state_->row) {
        if (TIFFWriteScanline(state_->tif, const_cast<float*>(rows + std::size_t(k) * width),
                              std::uint32_t(state_->row), 0) != 1) {
            state_->Fail(errno);
        }
    }
}

void FloatTiffRowWriter::Finish() {
    errno = 0;
    const bool written = TIFFWriteDirectory(state_->tif) != 0;
    const int error = errno;
    TIFFClose(state_->tif);
    state_->tif = nullptr;
    if (!written) {
        state_->Fail(error);
    }
}

void WriteObjectTable(JsonWriter& json, const OrvoDocument& document,
                      const std::vector<std::size_t>& counts) {
    const auto byId = document.ObjectsById();
    json.BeginArray();
    auto listed = byId.begin();
    for (std::uint32_t id = 1; id < counts.size(); ++id) {
        while (listed != byId.end() && listed->first < id) {
            ++listed;
        }
        const bool inTable = listed != byId.end() && listed->first == id;
        if (!inTable && counts[id] == 0) {
            continue;
        }
        json.BeginObject();
        json.Key("id").Integer(id);
        json.Key("name");
        if (inTable) {
            json.String(platform::WideToAnsi(listed->second->name));
            json.Key("colour").BeginArray(true);
            json.Integer(listed->second->red);
            json.Integer(listed->second->green);
            json.Integer(listed->second->blue);
            json.EndArray();
        } else {
            json.Null();
            json.Key("colour").Null();
        }
        json.Key("pixels").Integer(static_cast<std::int64_t>(counts[id]));
        json.EndObject();
    }
    json.EndArray();
}

std::string ObjectTableText(const OrvoDocument& document, const std::vector<std::size_t>& counts) {
    char* buffer = nullptr;
    std::size_t size = 0;
    std::FILE* stream = open_memstream(&buffer, &size);
    if (stream == nullptr) {
        throw std::bad_alloc();
    }
    {
        JsonWriter json(stream);
        WriteObjectTable(json, document, counts);
        json.Finish();
    }
    std::fclose(stream);
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

void ForRowBands(int rows, const std::function<void(int first, int end)>& work) {
    const int bands = std::max(1, std::min<int>(std::thread::hardware_concurrency(), rows));
    std::vector<std::function<void()>> tasks;
    for (int band = 0; band < bands; ++band) {
        const int first = int(std::int64_t(rows) * band / bands);
        const int end = int(std::int64_t(rows) * (band + 1) / bands);
        tasks.push_back([&work, first, end] { work(first, end); });
    }
    RunTogether(tasks);
}

void RunTogether(const std::vector<std::function<void()>>& tasks) {
    if (tasks.empty()) {
        return;
    }
    std::vector<std::exception_ptr> failures(tasks.size());
    const auto run = [&](std::size_t k) {
        try {
            tasks[k]();
        } catch (...) {
            failures[k] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    for (std::size_t k = 0; k + 1 < tasks.size(); ++k) {
        // Without a thread to spare, the task runs here; the threads already started are
        // still joined below.
        try {
            threads.emplace_back(run, k);
        } catch (const std::system_error&) {
            run(k);
        }
    }
    run(tasks.size() - 1);
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (const std::exception_ptr& failure : failures) {
        if (failure) {
            std::rethrow_exception(failure);
        }
    }
}
