// File names taken apart and joined the same way on every system.
#include "platform/files.h"

#include <cstdint>
#include <cstdio>

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

std::string TemporaryName(const std::string& name, const std::string& tag, std::size_t limit) {
    const std::string suffix = "." + tag + "-tmp";
    if (1 + name.size() + suffix.size() <= limit) {
        return "." + name + suffix;
    }
    // FNV-1a over the name's bytes: the same name always gives the same temporary, so a run
    // finds what a killed run for its target left.
    std::uint32_t hash = 2166136261u;
    for (char c : name) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    char hex[10];
    std::snprintf(hex, sizeof hex, "~%08x", static_cast<unsigned>(hash));
    const std::size_t fixed = 1 + 9 + suffix.size();
    const std::size_t kept = limit > fixed ? limit - fixed : 0;
    return "." + name.substr(0, kept < name.size() ? kept : name.size()) + hex + suffix;
}

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
