#include "icheck/B64Str.h"

#include "base/KvError.h"
#include "helper/Base64.h"

#include <climits>

namespace KvMigration {

CB64Str::CB64Str(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
    const size_t size = bytes_.size();
    // The product's encoder computes the text's length in a signed 32-bit number.
    if (size > static_cast<size_t>(INT_MAX) / 4) {
        KV_RAISE_ERROR_CODE(L"CB64Str::CB64Str", B64EncodeFailure);
    }
    text_ = Base64EncodeLines(bytes_.data(), size);
}

CB64Str::CB64Str(const std::wstring& text) : bytes_(Base64DecodeSkipping(text)), text_(text) {}

}  // namespace KvMigration
