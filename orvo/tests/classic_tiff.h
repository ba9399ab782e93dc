// A small, independent reader of classic little-endian TIFF bytes for tests: it walks the
// directory chain and decodes entries by the TIFF 6.0 rules, and follows an Orvo file's object
// table, so tests can check what a writer put where without trusting the writer's own helpers
// or libtiff. Malformed bytes fail the calling test (through gtest's ADD_FAILURE) rather than
// crash it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace classic_tiff {

using Bytes = std::vector<unsigned char>;

std::uint16_t U16(const Bytes& bytes, std::size_t at);
std::uint32_t U32(const Bytes& bytes, std::size_t at);
double F64(const Bytes& bytes, std::size_t at);

// TIFF field types used here.
const std::uint16_t TypeAscii = 2;
const std::uint16_t TypeShort = 3;
const std::uint16_t TypeLong = 4;
const std::uint16_t TypeRational = 5;

struct Entry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    std::uint32_t valueField; // the raw four bytes of the value or offset field
    std::size_t at;           // where the entry itself lies in the file
};

struct Directory {
    std::uint32_t offset;
    std::vector<Entry> entries;
    std::uint32_t next;

    const Entry* Find(std::uint16_t tag) const;
    std::vector<std::uint16_t> Tags() const;
};

// The header's first-directory offset, then every directory of the chain. Fails the calling
// test (through gtest's ADD_FAILURE) on a malformed header, a loop or a directory that does
// not fit in the file.
std::vector<Directory> ReadChain(const Bytes& bytes);

// The byte size of a value of the entry's type.
std::size_t TypeSize(std::uint16_t type);

// Where the entry's values lie: inside the entry when they fit in four bytes.
std::size_t ValueOffset(const Entry& entry);

// SHORT or LONG values of an entry, widened.
std::vector<std::uint32_t> Numbers(const Bytes& bytes, const Entry& entry);

// The single SHORT or LONG value of an entry.
std::uint32_t Number(const Bytes& bytes, const Entry& entry);

// The SHORT or LONG values of the directory's entry for tag; none, and a failure, when the
// directory lacks it.
std::vector<std::uint32_t> Values(const Bytes& bytes, const Directory& directory,
                                  std::uint16_t tag);

// An ASCII entry's bytes, including its NUL.
std::string AsciiBytes(const Bytes& bytes, const Entry& entry);

// One record of an Orvo file's object table, as the file holds it.
struct ObjectRecord {
    std::uint32_t offset;
    std::uint32_t previous;
    std::uint16_t id;
    unsigned char red, green, blue;
    std::string name; // the bytes up to the NUL
};

// The object table of the object-id layer header at headerOffset: count records from the head,
// newest first, ending early at a previous link of 0. A link that does not point back ends the
// walk with a failure.
std::vector<ObjectRecord> ObjectTable(const Bytes& bytes, std::uint32_t headerOffset);

} // namespace classic_tiff
