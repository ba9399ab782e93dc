// Text that comes from a file or the command line, made safe to show. A damaged file can hold
// any bytes in its text tags and object names: bytes that are not UTF-8 would make the JSON
// output unreadable to strict parsers, and control bytes (ESC above all) would reach the
// terminal as commands.
#pragma once

#include <cstddef>
#include <string>

// The length of the well-formed UTF-8 sequence that starts at text[at] (1 to 4), or 0 when the
// byte there starts none: a stray continuation byte, a cut-off or overlong sequence, a
// surrogate or a code point beyond U+10FFFF.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t at);

// The text with every control byte (C0, DEL and the C1 controls U+0080 to U+009F), and every
// byte that is not part of well-formed UTF-8, written as \xHH; newlines too unless kept.
std::string Shown(const std::string& text, bool keepNewlines = false);
