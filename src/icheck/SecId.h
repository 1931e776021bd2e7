#pragma once

#include <string>

#include "helper/Identifiers.h"

namespace KvMigration {

// A SID in its two forms. Either conversion failing raises the error object with 1337
// (ERROR_INVALID_SID) and the function name "CSecID::CSecID".
class CSecID {
public:
    explicit CSecID(const std::wstring& text);
    explicit CSecID(const SidBytes& bytes);

    const std::wstring& Text() const { return text_; }
    const SidBytes& Bytes() const { return bytes_; }

private:
    std::wstring text_;
    SidBytes bytes_;
};

}  // namespace KvMigration
