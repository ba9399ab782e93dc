#include "classic_tiff.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace classic_tiff {

std::uint16_t U16(const Bytes& bytes, std::size_t at) {
    if (at + 2 > bytes.size()) {
        ADD_FAILURE() << "u16 at " << at << " past the end (" << bytes.size() << ")";
        return 0;
    }
    return static_cast<std::uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

std::uint32_t U32(const Bytes& bytes, std::size_t at) {
    if (at + 4 > bytes.size()) {
        ADD_FAILURE() << "u32 at " << at << " past the end (" << bytes.size() << ")";
        return 0;
    }
    return static_cast<std::uint32_t>(bytes[at]) | static_cast<std::uint32_t>(bytes[at + 1]) << 8 |
           static_cast<std::uint32_t>(bytes[at + 2]) << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

double F64(const Bytes& bytes, std::size_t at) {
    const std::uint64_t bits = U32(bytes, at) | static_cast<std::uint64_t>(U32(bytes, at + 4))
                                                    << 32;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

const Entry* Directory::Find(std::uint16_t tag) const {
    for (const Entry& entry : entries) {
        if (entry.tag == tag) {
            return &entry;
        }
    }
    return nullptr;
}

std::vector<std::uint16_t> Directory::Tags() const {
    std::vector<std::uint16_t> tags;
    for (const Entry& entry : entries) {
        tags.push_back(entry.tag);
    }
    return tags;
}

std::vector<Directory> ReadChain(const Bytes& bytes) {
    std::vector<Directory> chain;
    if (bytes.size() < 8 || bytes[0] != 'I' || bytes[1] != 'I' || U16(bytes, 2) != 42) {
        ADD_FAILURE() << "not a classic little-endian TIFF header";
        return chain;
    }
    std::set<std::uint32_t> seen;
    for (std::uint32_t offset = U32(bytes, 4); offset != 0;) {
        if (!seen.insert(offset).second) {
            ADD_FAILURE() << "directory loop at " << offset;
            break;
        }
        if (offset % 2 != 0 || offset + 2u > bytes.size()) {
            ADD_FAILURE() << "bad directory offset " << offset;
            break;
        }
        const std::uint16_t count = U16(bytes, offset);
        if (offset + 2u + 12u * count + 4u > bytes.size()) {
            ADD_FAILURE() << "directory at " << offset << " runs past the end";
            break;
        }
        Directory directory;
        directory.offset = offset;
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::size_t at = offset + 2u + 12u * i;
            directory.entries.push_back(
                {U16(bytes, at), U16(bytes, at + 2), U32(bytes, at + 4), U32(bytes, at + 8), at});
        }
        directory.next = U32(bytes, offset + 2u + 12u * count);
        chain.push_back(directory);
        offset = directory.next;
    }
    return chain;
}

std::size_t TypeSize(std::uint16_t type) {
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    default:
        return 8;
    }
}

std::size_t ValueOffset(const Entry& entry) {
    if (TypeSize(entry.type) * entry.count <= 4) {
        return entry.at + 8;
    }
    return entry.valueField;
}

std::vector<std::uint32_t> Numbers(const Bytes& bytes, const Entry& entry) {
    std::vector<std::uint32_t> values;
    const std::size_t start = ValueOffset(entry);
    for (std::uint32_t i = 0; i < entry.count; ++i) {
        if (entry.type == TypeShort) {
            values.push_back(U16(bytes, start + 2u * i));
        } else if (entry.type == TypeLong) {
            values.push_back(U32(bytes, start + 4u * i));
        } else {
            ADD_FAILURE() << "tag " << entry.tag << " has type " << entry.type;
            break;
        }
    }
    return values;
}

std::uint32_t Number(const Bytes& bytes, const Entry& entry) {
    EXPECT_EQ(entry.count, 1u) << "tag " << entry.tag;
    const std::vector<std::uint32_t> values = Numbers(bytes, entry);
    return values.empty() ? 0 : values[0];
}

std::vector<std::uint32_t> Values(const Bytes& bytes, const Directory& directory,
                                  std::uint16_t tag) {
    const Entry* entry = directory.Find(tag);
    if (entry == nullptr) {
        ADD_FAILURE() << "no tag " << tag << " in the directory at " << directory.offset;
        return {};
    }
    return Numbers(bytes, *entry);
}

std::string AsciiBytes(const Bytes& bytes, const Entry& entry) {
    EXPECT_EQ(entry.type, TypeAscii) << "tag " << entry.tag;
    const std::size_t start = ValueOffset(entry);
    if (start + entry.count > bytes.size()) {
        ADD_FAILURE() << "text of tag " << entry.tag << " runs past the end";
        return std::string();
    }
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                       bytes.begin() + static_cast<std::ptrdiff_t>(start + entry.count));
}

std::vector<ObjectRecord> ObjectTable(const Bytes& bytes, std::uint32_t headerOffset) {
    std::vector<ObjectRecord> records;
    const std::uint32_t count = U32(bytes, headerOffset + 8);
    std::uint32_t at = U32(bytes, headerOffset + 12);
    for (std::uint32_t i = 0; i < count && at != 0; ++i) {
        if (std::size_t(at) + 9 > bytes.size()) {
            ADD_FAILURE() << "object record at " << at << " past the end (" << bytes.size() << ")";
            break;
        }
        ObjectRecord record{at,
                            U32(bytes, at),
                            U16(bytes, at + 4),
                            bytes[at + 6],
                            bytes[at + 7],
                            bytes[at + 8],
                            std::string()};
        for (std::size_t p = at + 9; p < bytes.size() && bytes[p] != 0; ++p) {
            record.name += static_cast<char>(bytes[p]);
        }
        records.push_back(record);
        if (record.previous >= at) {
            ADD_FAILURE() << "object record at " << at << " links forward to " << record.previous;
            break;
        }
        at = record.previous;
    }
    return records;
}

} // namespace classic_tiff
