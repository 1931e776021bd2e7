// Feeds arbitrary bytes to the per-object report's lines: every four bytes one wide character
// (any value, lone surrogates, values past U+10FFFF and negative ones included), split into the
// fields of an event. Each line must be one strict JSON object, in valid UTF-8, ending in one
// line end, that gives back every field as written with each character that has no UTF-8 form
// replaced by U+FFFD.
#include "helper/ReportLines.h"
#include "platform/CodePage.h"
#include "support/JsonValue.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// What the field must read as: a surrogate pair is one character, anything else without a UTF-8
// form is U+FFFD.
std::wstring Expected(const std::wstring& text) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto unit = static_cast<uint32_t>(text[i]);
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() &&
            static_cast<uint32_t>(text[i + 1]) >= 0xDC00 &&
            static_cast<uint32_t>(text[i + 1]) <= 0xDFFF) {
            out.push_back(static_cast<wchar_t>(0x10000 + ((unit - 0xD800) << 10) +
                                               (static_cast<uint32_t>(text[++i]) - 0xDC00)));
        } else if (unit > 0x10FFFF || (unit >= 0xD800 && unit <= 0xDFFF)) {
            out.push_back(L'\xFFFD');
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<std::wstring> fields(5);
    size_t field = 0;
    for (size_t at = 0; at + sizeof(wchar_t) <= size; at += sizeof(wchar_t)) {
        wchar_t unit = 0;
        std::memcpy(&unit, data + at, sizeof(unit));
        // A unit of all ones moves on to the next field, so that every field gets its share.
        if (static_cast<uint32_t>(unit) == 0xFFFFFFFFu && field + 1 < fields.size()) {
            ++field;
            continue;
        }
        fields[field].push_back(unit);
    }
    const uint32_t code = size >= 4 ? static_cast<uint32_t>(data[0]) << 24 | data[size - 1] : 0;
    const auto action =
        static_cast<KvMigration::ObjectAction>(size % KvMigration::ObjectActionCount);
    const KvMigration::ObjectEvent event{fields[0], fields[1], fields[2], fields[3],
                                         action,    fields[4], code};
    const std::string line = KvMigration::ReportObjectLine(event);

    Check(!line.empty() && line.back() == '\n' && line.find('\n') == line.size() - 1);
    const std::string_view body(line.data(), line.size() - 1);
    Check(Platform::IsValidUtf8(body));
    std::optional<KvTest::JsonValue> value = KvTest::ParseJson(body);
    Check(value.has_value() && value->type == KvTest::JsonValue::Type::Object);
    const char* const keys[] = {"section", "kind", "id", "name", "reason"};
    for (size_t k = 0; k < fields.size(); ++k) {
        const KvTest::JsonValue* member = value->Find(keys[k]);
        Check(member != nullptr && member->type == KvTest::JsonValue::Type::String);
        Check(Platform::Utf8ToWide(member->text) == Expected(fields[k]));
    }
    Check(value->Find("code")->text == std::to_string(code));

    KvMigration::SectionTally tally{fields[0], {}};
    tally.counts[static_cast<size_t>(action)] = code;
    const std::string summary = KvMigration::ReportSummaryLine(
        KvMigration::ReportSummary{{tally}, static_cast<int>(size % 256), size % 2 == 0, false});
    Check(Platform::IsValidUtf8(summary));
    std::optional<KvTest::JsonValue> end =
        KvTest::ParseJson(std::string_view(summary.data(), summary.size() - 1));
    Check(end.has_value() && end->Find("summary") != nullptr &&
          end->Find("summary")->members.size() == 1);
    return 0;
}
