// The property list that the colour layer's block of revision 1.3 can carry: an XML
// property list (Apple PLIST 1.0) with the image's name and the light direction for shadows.
#pragma once

#include <string>

namespace Tessaly {
namespace Orvo {

// Replaces the characters that XML reserves in text content (&, <, >) by their entities.
std::string EscapeXmlText(const std::string& text);

// The light direction as "x/y/z", each with six decimals (printf "%f"), with a decimal point
// whatever the process's locale says.
std::string FormatLightDirection(double x, double y, double z);

// The whole text, without a trailing newline or NUL. The name is UTF-8 and is escaped here,
// so a name with & or < still gives a well-formed document; its length is
// 244 + (escaped name bytes) + 43 + (formatted direction bytes) + 36.
std::string BuildPropertyList(const std::string& nameUtf8, double x, double y, double z);

} // namespace Orvo
} // namespace Tessaly
