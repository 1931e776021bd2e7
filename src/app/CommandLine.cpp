#include "app/CommandLine.h"

#include "base/KvError.h"

namespace KvMigration {

CommandLine::CommandLine(const std::vector<std::wstring>& arguments) {
    const std::wstring* lastKey = nullptr;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (IsKey(argument)) {
            std::vector<std::wstring> values;
            if (i + 1 < arguments.size() && !IsKey(arguments[i + 1])) {
                values.push_back(arguments[++i]);
            }
            // A repeated key keeps its first values; the value read with the repetition is lost.
            auto inserted = keys_.emplace(argument, std::move(values));
            lastKey = &inserted.first->first;
        } else if (lastKey != nullptr) {
            keys_[*lastKey].push_back(argument);
        }
    }
}

bool CommandLine::IsKey(const std::wstring& argument) {
    return argument.size() >= 2 && argument[0] == L'-' &&
           !(argument[1] >= L'0' && argument[1] <= L'9');
}

std::vector<std::wstring> CommandLine::Keys() const {
    std::vector<std::wstring> keys;
    keys.reserve(keys_.size());
    for (const auto& entry : keys_) {
        keys.push_back(entry.first);
    }
    return keys;
}

size_t CommandLine::ValueCount(const std::wstring& key) const {
    auto it = keys_.find(key);
    return it == keys_.end() ? 0 : it->second.size();
}

const std::wstring& CommandLine::Value(const std::wstring& key, size_t index) const {
    auto it = keys_.find(key);
    if (it == keys_.end() || index >= it->second.size()) {
        KV_RAISE_ERROR_CODE(L"CommandLine::Value", 87);
    }
    return it->second[index];
}

}  // namespace KvMigration
