#include "icheck/ScenarioBody.h"

namespace KvMigration {

ScenarioBody::ScenarioBody(const Body& body)
    : reader_(body),
      a_(reader_.U32(LengthsOffset, L"the length A of the block before the name")),
      n_(reader_.U32(LengthsOffset + 4, L"the length N of the name")),
      b_(reader_.U32(LengthsOffset + 8, L"the length B of the block after the name")) {
    reader_.U32(LengthsOffset + 12, L"the length S of the scenario text");
}

std::wstring ScenarioBody::Name() const {
    return reader_.Text(NameOffset(), n_, L"the name");
}

Body ScenarioBody::Rewritten(const std::wstring& name, const std::wstring& text) const {
    const Body newName = TerminatedText(name);
    const Body newText = TerminatedText(text);
    const Body after = reader_.Slice(NameOffset() + n_, b_, L"the block after the name");
    Body result = reader_.Slice(0, NameOffset(), L"the block before the name");
    PutU32(result, LengthsOffset + 4, TerminatedTextLength(newName));
    PutU32(result, LengthsOffset + 12, TerminatedTextLength(newText));
    result.insert(result.end(), newName.begin(), newName.end());
    result.insert(result.end(), after.begin(), after.end());
    result.insert(result.end(), newText.begin(), newText.end());
    return result;
}

}  // namespace KvMigration
