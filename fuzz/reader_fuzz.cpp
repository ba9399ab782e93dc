// Fuzz target: ReadOrvoFile on the input as a whole file. The input is written to an
// in-memory file that the reader opens by path, as it opens any file, mapping included.
#include "orvo/reader.h"

#include "platform/kernel32.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <string>

namespace {

struct InputFile {
    int fd;
    std::string path;
};

const InputFile& Input() {
    static const InputFile input = [] {
        const int fd = memfd_create("orvo_input", MFD_CLOEXEC);
        if (fd < 0) {
            std::abort();
        }
        return InputFile{fd, "/proc/self/fd/" + std::to_string(fd)};
    }();
    return input;
}

void Release(void* plane) {
    if (plane != nullptr && !VirtualFree(plane, 0, MEM_RELEASE)) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const InputFile& input = Input();
    if (ftruncate(input.fd, 0) != 0 ||
        (size != 0 && pwrite(input.fd, data, size, 0) != static_cast<ssize_t>(size))) {
        std::abort();
    }
    int width = -1;
    int height = -1;
    PerspectiveView view;
    InitPerspectiveView(view);
    std::deque<ObjectEntry> objects;
    unsigned char* colour = nullptr;
    std::uint32_t* depth = nullptr;
    std::uint16_t* ids = nullptr;
    const bool ok = ReadOrvoFile(input.path, width, height, view, objects, colour, depth, ids);
    // A successful read of a directory gives a plane of the stated size; touching its last
    // byte lets the sanitizer see a plane that is too small.
    if (ok && colour != nullptr) {
        volatile unsigned char last = colour[std::size_t(width) * height * 3 - 1];
        (void)last;
    }
    if (ok && depth != nullptr) {
        volatile std::uint32_t last = depth[std::size_t(width) * height - 1];
        (void)last;
    }
    if (ok && ids != nullptr) {
        volatile std::uint16_t last = ids[std::size_t(width) * height - 1];
        (void)last;
    }
    Release(colour);
    Release(depth);
    Release(ids);
    return 0;
}
