// File names taken apart and joined the same way on every system.
#include "platform/files.h"

namespace platform {

namespace {

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\' || c == ':';
#else
    return c == '/';
#endif
}

} // namespace

std::string PathInFolder(const std::string& folder, const std::string& name) {
    if (folder.empty() || IsSeparator(folder.back())) {
        return folder + name;
    }
    return folder + '/' + name;
}

std::string FileStem(const std::string& path) {
    std::string::size_type start = path.size();
    while (start > 0 && !IsSeparator(path[start - 1])) {
        --start;
    }
    const std::string name = path.substr(start);
    if (name == "." || name == "..") {
        return name;
    }
    const std::string::size_type dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

} // namespace platform
