// Explicit little-endian (and, for reading, big-endian) encoding of file fields. Values are
// built from bytes by shifts, so the result does not depend on the host's byte order.
#pragma once

#include <cstdint>
#include <cstring>

namespace orvo_bytes {

inline void PutU16(unsigned char* out, std::uint16_t value) {
    out[0] = static_cast<unsigned char>(value);
    out[1] = static_cast<unsigned char>(value >> 8);
}

inline void PutU32(unsigned char* out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

inline void PutU64(unsigned char* out, std::uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out[i] = static_cast<unsigned char>(value >> (8 * i));
    }
}

inline void PutF64(unsigned char* out, double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    PutU64(out, bits);
}

inline std::uint16_t GetU16(const unsigned char* in, bool bigEndian = false) {
    return bigEndian ? static_cast<std::uint16_t>((in[0] << 8) | in[1])
                     : static_cast<std::uint16_t>(in[0] | (in[1] << 8));
}

inline std::uint32_t GetU32(const unsigned char* in, bool bigEndian = false) {
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(in[bigEndian ? 3 - i : i]) << (8 * i);
    }
    return value;
}

inline std::uint64_t GetU64(const unsigned char* in, bool bigEndian = false) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        value |= static_cast<std::uint64_t>(in[bigEndian ? 7 - i : i]) << (8 * i);
    }
    return value;
}

inline double GetF64(const unsigned char* in, bool bigEndian = false) {
    const std::uint64_t bits = GetU64(in, bigEndian);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace orvo_bytes
