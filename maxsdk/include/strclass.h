// The host's wide string.
#pragma once

#include "maxheap.h"
#include "strbasic.h"
#include "utilexp.h"

#include <string>

class WStr : public MaxHeapOperators {
public:
    UtilExport WStr();
    UtilExport WStr(const wchar_t* text);
    UtilExport WStr(const WStr& other);
    UtilExport ~WStr();
    UtilExport WStr& operator=(const WStr& other);
    UtilExport WStr& operator=(const wchar_t* text);
    // The text, terminated; never null.
    UtilExport const wchar_t* data() const;
    UtilExport int Length() const;
    UtilExport int operator==(const WStr& other) const;

private:
    std::wstring text;
};

typedef WStr MSTR;
