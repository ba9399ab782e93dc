#include "tiff_writer_1_3/property_list.h"

#include <clocale>
#include <cstdio>
#include <cstring>

namespace Tessaly {
namespace Orvo {

namespace {

const char propertyListHead[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                                "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n"
                                "<plist version=\"1.0\">\n"
                                "<dict>\n"
                                "<key>Version</key>\n"
                                "<integer>4</integer>\n"
                                "<key>Name</key>\n"
                                "<string>";

const char propertyListMiddle[] = "</string>\n<key>Shadows</key>\n<string>2 0.4 ";

const char propertyListTail[] = " 0.0 0/0/0</string>\n</dict>\n</plist>";

} // namespace

std::string EscapeXmlText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string FormatLightDirection(double x, double y, double z) {
    // Three "%f" fields of a unit vector fit easily; a value of any size still fits.
    char buffer[3 * 320 + 3];
    const int length = std::snprintf(buffer, sizeof buffer, "%f/%f/%f", x, y, z);
    std::size_t size = length > 0 ? static_cast<std::size_t>(length) : 0;
    if (size >= sizeof buffer) {
        size = sizeof buffer - 1;
    }
    std::string text(buffer, size);
    // The plug-in runs inside a host that may have set a locale with a decimal comma; the
    // file's text always has a decimal point.
    const char* point = std::localeconv()->decimal_point;
    if (point != nullptr && std::strcmp(point, ".") != 0 && *point != 0) {
        const std::string localPoint(point);
        for (std::size_t at = text.find(localPoint); at != std::string::npos;
             at = text.find(localPoint, at + 1)) {
            text.replace(at, localPoint.size(), ".");
        }
    }
    return text;
}

std::string BuildPropertyList(const std::string& nameUtf8, double x, double y, double z) {
    std::string text = propertyListHead;
    text += EscapeXmlText(nameUtf8);
    text += propertyListMiddle;
    text += FormatLightDirection(x, y, z);
    text += propertyListTail;
    return text;
}

} // namespace Orvo
} // namespace Tessaly
