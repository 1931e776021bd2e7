#pragma once

#include <string>
#include <vector>

namespace KvMigration {

// The value of one attribute as text: a single text or a list of texts.
struct CValue {
    bool isMulti = false;
    std::wstring text;
    std::vector<std::wstring> texts;

    CValue() = default;
    explicit CValue(std::wstring single) : text(std::move(single)) {}
    explicit CValue(std::vector<std::wstring> list) : isMulti(true), texts(std::move(list)) {}

    bool IsEmpty() const { return isMulti ? texts.empty() : text.empty(); }
    // A non-empty list raises code 13.
    std::wstring GetString() const;
    // A non-empty single text raises code 13.
    std::vector<std::wstring> GetMultiString() const;

    friend bool operator==(const CValue&, const CValue&) = default;
};

}  // namespace KvMigration
