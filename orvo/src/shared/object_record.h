// The object record, as both writer generations append it to the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// previous (u32, the offset of the record written before, 0 for the first), id (u16), red,
// green, blue, the name's bytes in the revision's encoding and a NUL, then padding zero bytes.
std::vector<unsigned char> PackObjectRecord(std::uint32_t previous, std::uint16_t id,
                                            std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                            const std::string& name, std::size_t padding = 0);
