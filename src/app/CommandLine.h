#pragma once

#include <map>
#include <string>
#include <vector>

namespace KvMigration {

// The process arguments as keys with their values. A key is an argument of two or more
// characters that starts with "-" followed by anything but a decimal digit, so "-5" is a value.
// The first occurrence of a key wins; values that no key consumed go to the last key seen.
class CommandLine {
public:
    explicit CommandLine(const std::vector<std::wstring>& arguments);

    static bool IsKey(const std::wstring& argument);

    bool Has(const std::wstring& key) const { return keys_.count(key) != 0; }
    size_t ValueCount(const std::wstring& key) const;
    // Raises an error when the key has no value number `index`.
    const std::wstring& Value(const std::wstring& key, size_t index) const;
    size_t KeyCount() const { return keys_.size(); }
    // Every key given, in name order.
    std::vector<std::wstring> Keys() const;

private:
    std::map<std::wstring, std::vector<std::wstring>> keys_;
};

}  // namespace KvMigration
