#include "icheck/SecId.h"

#include "base/KvError.h"

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidSid = 1337;

}  // namespace

CSecID::CSecID(const std::wstring& text) : text_(text) {
    try {
        bytes_ = StringToSid(text);
    } catch (const KvBase::CKvError&) {
        KV_RAISE_ERROR_CODE(L"CSecID::CSecID", kInvalidSid);
    }
}

CSecID::CSecID(const SidBytes& bytes) {
    if (ValidSidLength(bytes.data(), bytes.size()) != bytes.size()) {
        KV_RAISE_ERROR_CODE(L"CSecID::CSecID", kInvalidSid);
    }
    bytes_ = bytes;
    text_ = SidToString(bytes);
}

}  // namespace KvMigration
