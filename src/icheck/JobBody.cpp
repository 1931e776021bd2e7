#include "icheck/JobBody.h"

namespace KvMigration {

JobBody::JobBody(const Body& body)
    : reader_(body),
      x1_(reader_.U32(LengthsOffset, L"the length X1 of the first leading block")),
      x2_(reader_.U32(LengthsOffset + 4, L"the length X2 of the second leading block")),
      n_(reader_.U32(LengthsOffset + 8, L"the length N of the name")),
      r_(reader_.U32(LengthsOffset + 12, L"the length R of the block after the name")) {}

std::wstring JobBody::Name() const {
    return reader_.Text(NameOffset(), n_, L"the name");
}

Body JobBody::Renamed(const std::wstring& name) const {
    const Body newName = TerminatedText(name);
    const Body after = reader_.Slice(NameOffset() + n_, r_, L"the block after the name");
    Body result = reader_.Slice(0, NameOffset(), L"the leading blocks");
    PutU32(result, LengthsOffset + 8, TerminatedTextLength(newName));
    result.insert(result.end(), newName.begin(), newName.end());
    result.insert(result.end(), after.begin(), after.end());
    return result;
}

}  // namespace KvMigration
