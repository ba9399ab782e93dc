#include "json_writer.h"

#include "shown_text.h"

#include <cinttypes>
#include <cmath>

void JsonWriter::Indent() {
    std::fputc('\n', out_);
    for (std::size_t i = 0; i < levels_.size(); ++i) {
        std::fputs("  ", out_);
    }
}

void JsonWriter::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) {
        return;
    }
    Level& level = levels_.back();
    if (level.members++ > 0) {
        std::fputc(',', out_);
        if (level.isInline) {
            std::fputc(' ', out_);
        }
    }
    if (!level.isInline) {
        Indent();
    }
}

void JsonWriter::BeginObject() {
    BeforeValue();
    std::fputc('{', out_);
    levels_.push_back({false, false, 0});
}

void JsonWriter::EndObject() {
    const bool empty = levels_.back().members == 0;
    levels_.pop_back();
    if (!empty) {
        Indent();
    }
    std::fputc('}', out_);
}

void JsonWriter::BeginArray(bool isInline) {
    BeforeValue();
    std::fputc('[', out_);
    levels_.push_back({true, isInline, 0});
}

void JsonWriter::EndArray() {
    const Level level = levels_.back();
    levels_.pop_back();
    if (level.members != 0 && !level.isInline) {
        Indent();
    }
    std::fputc(']', out_);
}

JsonWriter& JsonWriter::Key(const char* key) {
    BeforeValue();
    WriteEscaped(key);
    std::fputs(": ", out_);
    afterKey_ = true;
    return *this;
}

void JsonWriter::WriteEscaped(const std::string& text) {
    std::fputc('"', out_);
    for (std::size_t at = 0; at < text.size();) {
        const unsigned char byte = static_cast<unsigned char>(text[at]);
        const std::size_t length = Utf8SequenceLength(text, at);
        if (length == 0) {
            // A byte that is no part of UTF-8 stands as the replacement character, so that
            // the document stays UTF-8 whatever a damaged file holds.
            std::fputs("\\ufffd", out_);
            ++at;
            continue;
        }
        if (byte == 0xC2 && static_cast<unsigned char>(text[at + 1]) < 0xA0) {
            // The C1 controls are escaped like the C0 ones, for whoever shows the text.
            std::fprintf(out_, "\\u%04x", static_cast<unsigned char>(text[at + 1]));
        } else if (byte == '"') {
            std::fputs("\\\"", out_);
        } else if (byte == '\\') {
            std::fputs("\\\\", out_);
        } else if (byte == '\n') {
            std::fputs("\\n", out_);
        } else if (byte == '\t') {
            std::fputs("\\t", out_);
        } else if (byte < 0x20 || byte == 0x7F) {
            std::fprintf(out_, "\\u%04x", byte);
        } else {
            std::fwrite(text.data() + at, 1, length, out_);
        }
        at += length;
    }
    std::fputc('"', out_);
}

void JsonWriter::String(const std::string& text) {
    BeforeValue();
    WriteEscaped(text);
}

void JsonWriter::Number(double value) {
    BeforeValue();
    if (std::isfinite(value)) {
        std::fprintf(out_, "%.17g", value);
    } else {
        std::fputs("null", out_);
    }
}

void JsonWriter::Integer(std::int64_t value) {
    BeforeValue();
    std::fprintf(out_, "%" PRId64, value);
}

void JsonWriter::Bool(bool value) {
    BeforeValue();
    std::fputs(value ? "true" : "false", out_);
}

void JsonWriter::Null() {
    BeforeValue();
    std::fputs("null", out_);
}

void JsonWriter::Vector(const Vector3& v) {
    BeginArray(true);
    Number(v.x);
    Number(v.y);
    Number(v.z);
    EndArray();
}

void JsonWriter::Finish() {
    std::fputc('\n', out_);
}
