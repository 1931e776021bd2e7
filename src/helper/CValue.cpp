#include "helper/CValue.h"

#include "base/KvError.h"

namespace KvMigration {

std::wstring CValue::GetString() const {
    if (isMulti && !texts.empty()) {
        KV_RAISE_ERROR_CODE(L"CValue::GetString", 13);
    }
    return isMulti ? std::wstring() : text;
}

std::vector<std::wstring> CValue::GetMultiString() const {
    if (!isMulti && !text.empty()) {
        KV_RAISE_ERROR_CODE(L"CValue::GetMultiString", 13);
    }
    return texts;
}

}  // namespace KvMigration
