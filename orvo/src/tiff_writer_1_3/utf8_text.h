// UTF-16 to UTF-8, the encoding of every text that revision 1.3 stores: tag texts, object
// names and the property list.
#pragma once

#include <string>

namespace Tessaly {
namespace Orvo {

// Converts UTF-16 code units to UTF-8 as platform::Utf16ToUtf8 does, lone surrogates kept as
// their own code points (so a broken name survives as the bytes it had rather than being
// dropped).
std::string Utf16ToUtf8(const std::wstring& text);

// The form of a TIFF text tag in revision 1.3: UTF-8, cut at the first NUL (an ASCII entry
// cannot hold one), and padded with spaces to at least four bytes. Empty stays empty: such a
// tag is left out.
std::string TagText(const std::wstring& text);

} // namespace Orvo
} // namespace Tessaly
