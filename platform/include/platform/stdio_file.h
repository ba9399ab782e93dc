// A C library stream that closes itself: every part that writes or reads through stdio holds
// its FILE this way.
#pragma once

#include <cstdio>
#include <memory>

namespace platform {

struct StdioCloser {
    void operator()(std::FILE* stream) const noexcept { std::fclose(stream); }
};
using StdioFile = std::unique_ptr<std::FILE, StdioCloser>;

} // namespace platform
