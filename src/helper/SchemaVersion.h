#pragma once

#include <compare>
#include <cstdint>

namespace KvMigration {

// A product schema version (major, minor), also the shape of a product version. 0.0 is "none".
struct SchemaVersion {
    int32_t major = 0;
    int32_t minor = 0;

    friend bool operator==(const SchemaVersion&, const SchemaVersion&) = default;
    friend auto operator<=>(const SchemaVersion&, const SchemaVersion&) = default;
};

inline constexpr SchemaVersion SchemaVersionBase{7, 16};
inline constexpr SchemaVersion SchemaVersion717{7, 17};
inline constexpr SchemaVersion SchemaVersion718{7, 18};
inline constexpr SchemaVersion SchemaVersion819{8, 19};

}  // namespace KvMigration
