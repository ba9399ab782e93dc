#include "shown_text.h"

#include <cstdio>

std::size_t Utf8SequenceLength(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) {
        return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0u;
    };
    const unsigned lead = byte(0);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length;
    // The range the second byte must lie in; it excludes overlong forms, surrogates and code
    // points beyond U+10FFFF.
    unsigned low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (byte(1) < low || byte(1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(i) < 0x80 || byte(i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

std::string Shown(const std::string& text, bool keepNewlines) {
    std::string shown;
    shown.reserve(text.size());
    const auto escape = [&shown](unsigned char byte) {
        char code[5];
        std::snprintf(code, sizeof code, "\\x%02x", byte);
        shown += code;
    };
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char lead = static_cast<unsigned char>(text[at]);
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            escape(lead);
            ++at;
        } else if (lead < 0x20 || lead == 0x7F) {
            if (lead == '\n' && keepNewlines) {
                shown += '\n';
            } else {
                escape(lead);
            }
            ++at;
        } else if (lead == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
            escape(lead);
            escape(static_cast<unsigned char>(text[at + 1]));
            at += 2;
        } else {
            shown.append(text, at, length);
            at += length;
        }
    }
    return shown;
}
