#include "shared/object_record.h"

#include "shared/byte_order.h"

#include <algorithm>

using namespace orvo_bytes;

std::vector<unsigned char> PackObjectRecord(std::uint32_t previous, std::uint16_t id,
                                            std::uint8_t red, std::uint8_t green, std::uint8_t blue,
                                            const std::string& name, std::size_t padding) {
    std::vector<unsigned char> record(4 + 2 + 3 + name.size() + 1 + padding, 0);
    PutU32(&record[0], previous);
    PutU16(&record[4], id);
    record[6] = red;
    record[7] = green;
    record[8] = blue;
    std::copy(name.begin(), name.end(), record.begin() + 9);
    return record;
}
