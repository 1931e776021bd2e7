#include "client/ClientBase64.h"

#include "helper/Base64.h"

namespace KvMigration {

std::wstring EncodeClientBase64(const uint8_t* data, size_t size) {
    return Base64EncodeLines(data, size);
}

std::vector<uint8_t> DecodeClientBase64(std::wstring_view text) {
    return Base64DecodeSkipping(text.substr(0, text.find(L'\0')));
}

}  // namespace KvMigration
