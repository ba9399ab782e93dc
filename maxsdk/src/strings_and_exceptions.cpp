// WStr and the exception classes.
#include "Util/MaxExceptions.h"
#include "strclass.h"

WStr::WStr() = default;

WStr::WStr(const wchar_t* value) : text(value != nullptr ? value : L"") {}

WStr::WStr(const WStr& other) = default;

WStr::~WStr() = default;

WStr& WStr::operator=(const WStr& other) = default;

WStr& WStr::operator=(const wchar_t* value) {
    text = value != nullptr ? value : L"";
    return *this;
}

const wchar_t* WStr::data() const {
    return text.c_str();
}

int WStr::Length() const {
    return static_cast<int>(text.size());
}

int WStr::operator==(const WStr& other) const {
    return text == other.text;
}

namespace MaxSDK {
namespace Util {

Exception::Exception(const MCHAR* value) : message(value != nullptr ? value : L"") {}

Exception::~Exception() = default;

const MCHAR* Exception::GetMessage() const {
    return message.c_str();
}

OutOfRangeException::OutOfRangeException(const MCHAR* value) : Exception(value) {}

OutOfRangeException::~OutOfRangeException() = default;

TabOutOfRangeException::TabOutOfRangeException(const MCHAR* value) : OutOfRangeException(value) {}

TabOutOfRangeException::~TabOutOfRangeException() = default;

} // namespace Util
} // namespace MaxSDK
