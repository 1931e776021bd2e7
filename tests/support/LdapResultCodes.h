#pragma once

#include <cstdint>

namespace KvTest {

// LDAP result codes a directory server answers refused writes with.
inline constexpr uint32_t kNoSuchObject = 32;
inline constexpr uint32_t kAlreadyExists = 68;

}  // namespace KvTest
