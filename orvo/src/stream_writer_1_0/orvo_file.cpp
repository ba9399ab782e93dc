#include "orvo/orvo_file.h"

#include <cerrno>
#include <cstring>

OrvoFile::Error::Error() : Error(errno) {}

OrvoFile::Error::Error(int errorNumber)
    : std::runtime_error(""), errorNumber_(errorNumber), text_(std::strerror(errorNumber)) {}

const char* OrvoFile::Error::what() const noexcept {
    return text_.c_str();
}

OrvoFile::OrvoFile(std::uint16_t width) : colourRow_(3u * width), depthRow_(width), idRow_(width) {}

OrvoFile::~OrvoFile() = default;
