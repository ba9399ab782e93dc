// Fuzz target: the directory walker on the input as a whole file, under both sets of rules and
// with libtiff's directory listings, as the orvo tool walks a file. The input is written to an
// in-memory file that the walker opens by path, mapping included.
#include "orvo/walker.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

int InputFile() {
    static const int fd = [] {
        const int created = memfd_create("orvo_walker_input", MFD_CLOEXEC);
        if (created < 0) {
            std::abort();
        }
        return created;
    }();
    return fd;
}

// A plane of a complete walk holds every pixel; touching its last sample lets the sanitizer see
// one that is too small.
template <typename Sample>
void TouchLast(const PagePlane<Sample>& plane, const OrvoWalk& walk, std::size_t samples) {
    if (!plane.Empty()) {
        volatile Sample last = plane.Get()[std::size_t(walk.width) * walk.height * samples - 1];
        (void)last;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = InputFile();
    if (ftruncate(fd, 0) != 0 ||
        (size != 0 && pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))) {
        std::abort();
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    for (const WalkRules rules : {WalkRules::Reader, WalkRules::Inspector}) {
        WalkOptions options;
        options.rules = rules;
        options.listings = rules == WalkRules::Inspector;
        const OrvoWalk walk = WalkOrvoFile(path, options);
        // Every stop has words for it, and only a stop has.
        if (walk.Complete() != walk.Reason().empty()) {
            std::abort();
        }
        if (walk.Complete()) {
            TouchLast(walk.colour, walk, 3);
            TouchLast(walk.depth, walk, 1);
            TouchLast(walk.panoramaDepth, walk, 1);
            TouchLast(walk.ids, walk, 1);
        }
    }
    return 0;
}
