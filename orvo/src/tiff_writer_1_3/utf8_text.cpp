#include "tiff_writer_1_3/utf8_text.h"

#include <cstdint>

namespace Tessaly {
namespace Orvo {

namespace {

void AppendCodePoint(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

bool IsHighSurrogate(std::uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(std::uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::string Utf16ToUtf8(const std::wstring& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // wchar_t may be signed; only its bit pattern counts.
        std::uint32_t unit = static_cast<std::uint32_t>(text[i]);
        if (IsHighSurrogate(unit) && i + 1 < text.size() &&
            IsLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
            const std::uint32_t low = static_cast<std::uint32_t>(text[++i]);
            unit = 0x10000 + ((unit - 0xD800) << 10 | (low - 0xDC00));
        } else if (unit > 0x10FFFF) {
            unit = 0xFFFD;
        }
        AppendCodePoint(out, unit);
    }
    return out;
}

std::string TagText(const std::wstring& text) {
    std::string out = Utf16ToUtf8(text);
    const std::size_t nul = out.find('\0');
    if (nul != std::string::npos) {
        out.resize(nul);
    }
    if (!out.empty() && out.size() < 4) {
        out.resize(4, ' ');
    }
    return out;
}

} // namespace Orvo
} // namespace Tessaly
