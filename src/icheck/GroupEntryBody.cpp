#include "icheck/GroupEntryBody.h"

#include "base/KvError.h"

#include <algorithm>

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidSid = 1337;  // ERROR_INVALID_SID

}  // namespace

GroupEntryBody::GroupEntryBody(const Body& body)
    : body_(body),
      reader_(body),
      a_(reader_.U32(LengthsOffset, L"the length A of the block before the name")),
      n_(reader_.U32(LengthsOffset + 4, L"the length N of the name")),
      b_(reader_.U32(LengthsOffset + 8, L"the length B of the block after the name")) {}

uint32_t GroupEntryBody::Kind() const {
    return reader_.U32(KindOffset, L"the entry kind");
}

std::wstring GroupEntryBody::Name() const {
    return reader_.Text(NameOffset(), n_, L"the name");
}

SidBytes GroupEntryBody::ClientSid() const {
    reader_.Require(SidOffset, SidFieldBytes, L"the client's SID");
    const uint8_t* field = body_.data() + SidOffset;
    size_t length = ValidSidLength(field, SidFieldBytes);
    if (length == 0) {
        KV_RAISE_ERROR_CODE(L"CSecID::CSecID", kInvalidSid);
    }
    return SidBytes(field, field + length);
}

Body GroupEntryBody::ClientsList() const {
    reader_.Require(AfterOffset(), b_, L"the block after the name");
    return reader_.Slice(EndOfBlocks(), body_.size() - EndOfBlocks(), L"the clients list");
}

Body GroupEntryBody::WithClientsList(const Body& clients) const {
    reader_.Require(AfterOffset(), b_, L"the block after the name");
    Body result = reader_.Slice(0, EndOfBlocks(), L"the block after the name");
    result.insert(result.end(), clients.begin(), clients.end());
    return result;
}

Body GroupEntryBody::ForClient(const SidBytes& sid, const std::wstring& name) const {
    if (sid.size() > SidFieldBytes) {
        KV_RAISE_ERROR_CODE(L"CSecID::CSecID", kInvalidSid);
    }
    const Body newName = TerminatedText(name);
    Body after = reader_.Slice(AfterOffset(), b_, L"the block after the name");
    Body result = reader_.Slice(0, NameOffset(), L"the name");
    std::fill(result.begin() + SidOffset, result.begin() + SidOffset + SidFieldBytes, 0);
    std::copy(sid.begin(), sid.end(), result.begin() + SidOffset);
    PutU32(result, LengthsOffset + 4, TerminatedTextLength(newName));
    result.insert(result.end(), newName.begin(), newName.end());
    // The block is a wide text: its characters up to the terminator, within B/2 of them.
    size_t units = after.size() / 2;
    for (size_t i = 0; i < units; ++i) {
        if (after[2 * i] == 0 && after[2 * i + 1] == 0) {
            units = i;
            break;
        }
    }
    std::fill(after.begin() + static_cast<std::ptrdiff_t>(units * 2), after.end(), 0);
    result.insert(result.end(), after.begin(), after.end());
    return result;
}

}  // namespace KvMigration
