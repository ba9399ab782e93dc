// Conversion between the system's ANSI code page and UTF-16, the way both deliverables store
// file names and object names: narrow text is ANSI, wide text is UTF-16 code units.
#pragma once

#include <string>

namespace platform {

// Narrow ANSI text to UTF-16. Invalid sequences become U+FFFD; nothing is dropped.
std::wstring AnsiToWide(const std::string& text);

// UTF-16 to the ANSI code page. Characters the code page lacks (and, where the code page is
// UTF-8, lone surrogates) become the code page's replacement.
std::string WideToAnsi(const std::wstring& text);

} // namespace platform
