#include "tiff_writer_1_3/utf8_text.h"

#include "platform/text.h"

namespace Tessaly {
namespace Orvo {

std::string Utf16ToUtf8(const std::wstring& text) {
    return platform::Utf16ToUtf8(text.data(), text.size(), true);
}

std::string TagText(const std::wstring& text) {
    std::string out = Utf16ToUtf8(text);
    const std::size_t nul = out.find('\0');
    if (nul != std::string::npos) {
        out.resize(nul);
    }
    if (!out.empty() && out.size() < 4) {
        out.resize(4, ' ');
    }
    return out;
}

} // namespace Orvo
} // namespace Tessaly
