#pragma once

#include <array>
#include <cstdint>
#include <cstring>

namespace Platform {

// A GUID in its standard binary layout: Data1, Data2 and Data3 little-endian, then 8 bytes.
struct Guid {
    uint32_t data1 = 0;
    uint16_t data2 = 0;
    uint16_t data3 = 0;
    std::array<uint8_t, 8> data4{};

    static Guid FromBytes(const uint8_t* bytes);
    std::array<uint8_t, 16> ToBytes() const;
    bool IsNull() const { return *this == Guid{}; }
    friend bool operator==(const Guid&, const Guid&) = default;
};

// A random version-4 GUID, as CoCreateGuid gives one.
Guid NewGuid();

}  // namespace Platform
