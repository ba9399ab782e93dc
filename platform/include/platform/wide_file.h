// Creating a file by its wide (UTF-16) path: the plug-in gets its output names from the host
// as UTF-16, which the ANSI code page cannot always spell on Windows.
#pragma once

#include "platform/mapped_file.h"

namespace platform {

// Creates the file, or truncates an existing one, open for reading and writing
// (FileAccess::Create). CreateFileW on Windows; elsewhere the path is converted to UTF-8, the
// file system's own encoding. On failure the result is not open and errno says why (on
// Windows the system's error translated to the nearest errno value).
File CreateFileWide(const wchar_t* path);

} // namespace platform
