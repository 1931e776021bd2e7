#include "platform/Guid.h"

#include <random>

namespace Platform {

Guid Guid::FromBytes(const uint8_t* bytes) {
    Guid g;
    g.data1 = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
              static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    g.data2 = static_cast<uint16_t>(bytes[4] | bytes[5] << 8);
    g.data3 = static_cast<uint16_t>(bytes[6] | bytes[7] << 8);
    std::memcpy(g.data4.data(), bytes + 8, 8);
    return g;
}

std::array<uint8_t, 16> Guid::ToBytes() const {
    std::array<uint8_t, 16> b{};
    for (int i = 0; i < 4; ++i) {
        b[i] = static_cast<uint8_t>(data1 >> (8 * i));
    }
    b[4] = static_cast<uint8_t>(data2);
    b[5] = static_cast<uint8_t>(data2 >> 8);
    b[6] = static_cast<uint8_t>(data3);
    b[7] = static_cast<uint8_t>(data3 >> 8);
    std::memcpy(b.data() + 8, data4.data(), 8);
    return b;
}

Guid NewGuid() {
    static thread_local std::mt19937_64 engine{std::random_device{}()};
    std::array<uint8_t, 16> bytes{};
    for (size_t i = 0; i < bytes.size(); i += 8) {
        uint64_t r = engine();
        std::memcpy(bytes.data() + i, &r, 8);
    }
    Guid g = Guid::FromBytes(bytes.data());
    g.data3 = static_cast<uint16_t>((g.data3 & 0x0FFF) | 0x4000);
    g.data4[0] = static_cast<uint8_t>((g.data4[0] & 0x3F) | 0x80);
    return g;
}

}  // namespace Platform
