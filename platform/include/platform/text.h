// Conversion between the system's ANSI code page and UTF-16, the way both deliverables store
// file names and object names: narrow text is ANSI, wide text is UTF-16 code units.
#pragma once

#include <cstddef>
#include <string>

namespace platform {

// Narrow ANSI text to UTF-16. Invalid sequences become U+FFFD; nothing is dropped.
std::wstring AnsiToWide(const std::string& text);

// UTF-16 to the ANSI code page. Characters the code page lacks (and, where the code page is
// UTF-8, lone surrogates) become the code page's replacement.
std::string WideToAnsi(const std::wstring& text);

// UTF-16 code units to UTF-8, whatever the ANSI code page. A high surrogate followed by a low
// one becomes one code point. A lone surrogate becomes U+FFFD, or, with keepLoneSurrogates, is
// encoded as its own code point (so a broken name survives as the bytes it had). A wchar_t
// above 0xFFFF is not a UTF-16 unit; one up to 0x10FFFF is taken as a code point, anything
// larger becomes U+FFFD. replaced, when given, tells whether any U+FFFD was put in.
std::string Utf16ToUtf8(const wchar_t* text, std::size_t length, bool keepLoneSurrogates,
                        bool* replaced = nullptr);

} // namespace platform
