// A small streaming JSON writer for the tool's --json output: objects and arrays one member
// a line, indented; short arrays of numbers on one line.
#pragma once

#include "orvo/format.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class JsonWriter {
public:
    explicit JsonWriter(std::FILE* out) : out_(out) {}
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;

    void BeginObject();
    void EndObject();
    // An inline array keeps its elements on one line.
    void BeginArray(bool isInline = false);
    void EndArray();
    // The name of the next member of the current object.
    JsonWriter& Key(const char* key);

    // Text is meant to be UTF-8; it is escaped as JSON requires, control characters included,
    // and any byte that is not UTF-8 becomes U+FFFD.
    void String(const std::string& text);
    // Doubles are written so that they read back exactly; NaN and infinities become null.
    void Number(double value);
    void Integer(std::int64_t value);
    void Bool(bool value);
    void Null();
    void Vector(const Vector3& v);
    // Ends the document with a newline.
    void Finish();

private:
    struct Level {
        bool isArray;
        bool isInline;
        int members;
    };
    void BeforeValue();
    void Indent();
    void WriteEscaped(const std::string& text);

    std::FILE* out_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};
