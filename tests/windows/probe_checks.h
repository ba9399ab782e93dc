// The checks of the Windows test hosts: each failed check prints one line, and the host
// exits with the number of failures.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace probe {

inline int& Failures() {
    static int failures = 0;
    return failures;
}

inline void Check(bool ok, const std::string& what) {
    if (!ok) {
        ++Failures();
        std::printf("FAIL: %s\n", what.c_str());
    }
}

inline std::string Narrow(const wchar_t* text) {
    if (text == nullptr) {
        return "(null)";
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, &result[0], size, nullptr, nullptr);
    return result;
}

inline void CheckText(const wchar_t* actual, const wchar_t* expected, const std::string& what) {
    Check(actual != nullptr && std::wcscmp(actual, expected) == 0,
          what + ": \"" + Narrow(actual) + "\", expected \"" + Narrow(expected) + "\"");
}

} // namespace probe
