#include "platform/text.h"

#include "platform/kernel32.h"

#include <climits>
#include <type_traits>

namespace platform {

std::wstring AnsiToWide(const std::string& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::wstring();
    }
    const int length = static_cast<int>(text.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, text.data(), length, nullptr, 0);
    if (needed <= 0) {
        return std::wstring();
    }
    std::wstring wide(static_cast<std::size_t>(needed), L'\0');
    const int written = MultiByteToWideChar(CP_ACP, 0, text.data(), length, &wide[0], needed);
    wide.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return wide;
}

std::string WideToAnsi(const std::wstring& text) {
    if (text.empty() || text.size() > static_cast<std::size_t>(INT_MAX)) {
        return std::string();
    }
    const int length = static_cast<int>(text.size());
    const int needed =
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return std::string();
    }
    std::string narrow(static_cast<std::size_t>(needed), '\0');
    const int written =
        WideCharToMultiByte(CP_ACP, 0, text.data(), length, &narrow[0], needed, nullptr, nullptr);
    narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0);
    return narrow;
}

namespace {

void AppendUtf8(std::string& out, char32_t c) {
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

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

} // namespace

std::string Utf16ToUtf8(const wchar_t* text, std::size_t length, bool keepLoneSurrogates,
                        bool* replaced) {
    std::string out;
    out.reserve(length);
    bool anyReplaced = false;
    for (std::size_t i = 0; i < length; ++i) {
        // wchar_t may be signed; only its bit pattern counts.
        char32_t unit =
            static_cast<char32_t>(static_cast<std::make_unsigned<wchar_t>::type>(text[i]));
        if (IsHighSurrogate(unit) && i + 1 < length &&
            IsLowSurrogate(static_cast<char32_t>(text[i + 1]))) {
            const char32_t low = static_cast<char32_t>(text[++i]);
            unit = 0x10000 + ((unit - 0xD800) << 10 | (low - 0xDC00));
        } else if (unit > 0x10FFFF ||
                   (!keepLoneSurrogates && (IsHighSurrogate(unit) || IsLowSurrogate(unit)))) {
            unit = 0xFFFD;
            anyReplaced = true;
        }
        AppendUtf8(out, unit);
    }
    if (replaced != nullptr) {
        *replaced = anyReplaced;
    }
    return out;
}

} // namespace platform
