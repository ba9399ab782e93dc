// Stand-ins for the kernel32 calls on systems other than Windows.
#include "platform/kernel32.h"

#include "platform/text.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>
#include <string>

namespace {

// munmap needs the size that VirtualFree is not given, so every block is remembered.
std::mutex& BlockLock() {
    static std::mutex lock;
    return lock;
}
std::map<void*, std::size_t>& Blocks() {
    static std::map<void*, std::size_t> blocks;
    return blocks;
}

const char32_t Replacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Decodes one UTF-8 character at text[i], advancing i. An invalid or truncated sequence
// yields U+FFFD and consumes its maximal valid prefix (at least one byte), as the Unicode
// standard recommends and Windows does.
char32_t DecodeUtf8(const unsigned char* text, std::size_t length, std::size_t& i) {
    const unsigned char lead = text[i++];
    if (lead < 0x80) {
        return lead;
    }
    int extra;
    char32_t value;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2;
        value = lead & 0x0F;
        if (lead == 0xE0) {
            low = 0xA0;
        } else if (lead == 0xED) {
            high = 0x9F; // no encoded surrogates
        }
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        value = lead & 0x07;
        if (lead == 0xF0) {
            low = 0x90;
        } else if (lead == 0xF4) {
            high = 0x8F;
        }
    } else {
        return Replacement;
    }
    for (int k = 0; k < extra; ++k) {
        if (i >= length) {
            return Replacement;
        }
        const unsigned char byte = text[i];
        if (k == 0 ? (byte < low || byte > high) : !IsContinuation(byte)) {
            return Replacement;
        }
        value = (value << 6) | (byte & 0x3F);
        ++i;
    }
    return value;
}

bool SupportedCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_UTF8;
}

} // namespace

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD allocationType, DWORD protect) {
    if (address != nullptr || size == 0 || (allocationType & MEM_COMMIT) == 0 ||
        protect != PAGE_READWRITE) {
        errno = EINVAL;
        return nullptr;
    }
    void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) {
        return nullptr;
    }
#ifdef MADV_HUGEPAGE
    // Blocks are whole image planes, filled once from end to end: large pages cut the
    // faults that commit them by a factor of 512. Only a hint; where the system declines,
    // small pages serve as before.
    madvise(block, size, MADV_HUGEPAGE);
#endif
    std::lock_guard<std::mutex> guard(BlockLock());
    Blocks()[block] = size;
    return block;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD freeType) {
    if (freeType != MEM_RELEASE || size != 0) {
        return FALSE;
    }
    std::size_t length;
    {
        std::lock_guard<std::mutex> guard(BlockLock());
        auto found = Blocks().find(address);
        if (found == Blocks().end()) {
            return FALSE;
        }
        length = found->second;
        Blocks().erase(found);
    }
    return munmap(address, length) == 0 ? TRUE : FALSE;
}

int MultiByteToWideChar(UINT codePage, DWORD /*flags*/, LPCCH source, int sourceBytes,
                        LPWSTR destination, int destinationChars) {
    if (!SupportedCodePage(codePage) || source == nullptr || sourceBytes == 0 || sourceBytes < -1 ||
        destinationChars < 0) {
        return 0;
    }
    const std::size_t length =
        sourceBytes == -1 ? std::strlen(source) + 1 : static_cast<std::size_t>(sourceBytes);
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    std::wstring wide;
    for (std::size_t i = 0; i < length;) {
        const char32_t c = DecodeUtf8(bytes, length, i);
        if (c >= 0x10000) {
            wide += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            wide += static_cast<wchar_t>(c);
        }
    }
    const int needed = static_cast<int>(wide.size());
    if (destinationChars == 0) {
        return needed;
    }
    if (destination == nullptr || destinationChars < needed) {
        return 0;
    }
    wide.copy(destination, wide.size());
    return needed;
}

int WideCharToMultiByte(UINT codePage, DWORD /*flags*/, LPCWCH source, int sourceChars,
                        LPSTR destination, int destinationBytes, LPCCH /*defaultChar*/,
                        LPBOOL usedDefaultChar) {
    if (!SupportedCodePage(codePage) || source == nullptr || sourceChars == 0 || sourceChars < -1 ||
        destinationBytes < 0) {
        return 0;
    }
    std::size_t length = 0;
    if (sourceChars == -1) {
        while (source[length] != 0) {
            ++length;
        }
        ++length;
    } else {
        length = static_cast<std::size_t>(sourceChars);
    }
    bool replaced = false;
    const std::string narrow = platform::Utf16ToUtf8(source, length, false, &replaced);
    if (usedDefaultChar != nullptr) {
        *usedDefaultChar = replaced ? TRUE : FALSE;
    }
    const int needed = static_cast<int>(narrow.size());
    if (destinationBytes == 0) {
        return needed;
    }
    if (destination == nullptr || destinationBytes < needed) {
        return 0;
    }
    narrow.copy(destination, narrow.size());
    return needed;
}

BOOL DeleteFileA(LPCSTR path) {
    if (path == nullptr) {
        return FALSE;
    }
    return unlink(path) == 0 ? TRUE : FALSE;
}
