#include "client/NodeConversions.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "client/ClientSwitches.h"
#include "client/ClientValues.h"
#include "helper/Identifiers.h"
#include "platform/CodePage.h"
#include "xml/XmlLimits.h"

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidData = 13;
constexpr uint32_t kInvalidName = 123;
constexpr uint32_t kInvalidSid = 1337;
constexpr uint32_t kAuthInfoFlag = 8;
constexpr size_t kAuthInfoSize = 40;
constexpr wchar_t kReadFunction[] = L"operator >>";
constexpr wchar_t kWriteFunction[] = L"operator <<";

// The bytes a value takes in a start tag, with the writer's escaping.
size_t WrittenBytes(const std::wstring& text) {
    size_t bytes = 0;
    for (wchar_t c : text) {
        switch (c) {
            case L'&':
            case L'\r':
            case L'\n':
                bytes += 5;
                break;
            case L'<':
            case L'>':
            case L'\t':
                bytes += 4;
                break;
            case L'"':
                bytes += 6;
                break;
            default:
                bytes += c < 0x80 ? 1 : c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
        }
    }
    return bytes;
}

// The writer refuses such a value only once the element's start tag is pending, which would leave
// the element half-written in the file.
void CheckWritable(const CNodeHolder& record) {
    size_t tagBytes = WrittenBytes(record.className) + 3;
    for (const auto& [name, value] : record.attributes) {
        if (Platform::WideToUtf8(value).size() > XmlMaxValueBytes) {
            KV_RAISE_ERROR(kWriteFunction, L"The value of \"" + name + L"\" is longer than " +
                                               LimitText(XmlMaxValueBytes) +
                                               L", the most an XML file may hold.");
        }
        tagBytes += WrittenBytes(name) + WrittenBytes(value) + 4;
    }
    if (tagBytes > XmlMaxMarkupBytes) {
        KV_RAISE_ERROR(kWriteFunction, L"The element \"" + record.className +
                                           L"\" would be longer than " +
                                           LimitText(XmlMaxMarkupBytes) +
                                           L", the most an XML file may hold in one tag.");
    }
}

// A key and its generation time: the time only when the key is there.
void ReadKey(const LdapHelper::object& object, const wchar_t* key, size_t size, const wchar_t* time,
             CNodeHolder& record) {
    if (ReadBlob(object, key, size, record)) {
        ReadUInt64(object, time, record);
    }
}

void WriteKey(LdapHelper::object& object, const wchar_t* key, size_t size, const wchar_t* time,
              const CNodeHolder& record) {
    if (WriteBlob(object, key, size, record)) {
        WriteUInt64(object, time, record);
    }
}

}  // namespace

void operator>>(const LdapHelper::object& object, CUserNodeHolder& record) {
    const LdapHelper::attr_value sid =
        object.get_attr(LdsStorageMode() ? L"orvexKVObjectSid" : L"objectSid");
    if (sid.empty()) {
        KV_RAISE_ERROR_CODE(kReadFunction, kInvalidSid);
    }
    record.className = UserCategory;
    record.name = SidText(sid);
    ReadUInt32(object, L"orvexKVUserAccessLevel", record);
    ReadBool(object, L"orvexKVUserfOutputSecret", record);
    ReadBool(object, L"orvexKVUserfPrintSecretPriv", record);
    ReadBool(object, L"orvexKVUserfControlLabels", record);
    ReadKey(object, L"orvexKVUserEffectivePublicKey128", 128,
            L"orvexKVUserEffectiveKeyTimeGenerated128", record);
    ReadKey(object, L"orvexKVUserPreviousPublicKey128", 128,
            L"orvexKVUserPreviousKeyTimeGenerated128", record);
    ReadKey(object, L"orvexKVUserPasswordHash", 32, L"orvexKVUserPasswordTimeGenerated", record);
    if (ReadBlob(object, L"orvexKVUserImitQuillCompList", 8, record)) {
        ReadBlob(object, L"orvexKVUserQuillCompList", 0, record);
    }
}

void operator>>(const LdapHelper::object& object, CElidNodeHolder& record) {
    const std::wstring cn = object.get_attr(L"cn").to_string();
    if (cn.empty()) {
        KV_RAISE_ERROR_CODE(kReadFunction, kInvalidName);
    }
    record.className = ElidCategory;
    record.name = cn;
    const LdapHelper::attr_value userSid = object.get_attr(L"orvexKVUEIUserSID");
    if (userSid.empty()) {
        KV_RAISE_ERROR_CODE(kReadFunction, kInvalidSid);
    }
    record.attributes[L"orvexKVUEIUserSID"] = SidText(userSid);
    uint32_t flags = 0;
    uint32_t size = 0;
    ReadUInt32(object, L"orvexKVUEIType", record);
    ReadUInt32(object, L"orvexKVUEIFlags", record, &flags);
    ReadUInt32(object, L"orvexKVUEISize", record, &size);
    ReadBlob(object, L"orvexKVUEIId", size, record);
    size_t authInfo = 0;
    ReadBlob(object, L"orvexKVUEIAuthInfo", 0, record, &authInfo);
    // The flag says whether the identifier carries authentication data; the product relies on it
    // matching the data actually stored.
    const bool flagged = (flags & kAuthInfoFlag) != 0;
    const bool carries = authInfo == kAuthInfoSize;
    if (flagged != carries) {
        flags ^= kAuthInfoFlag;
        record.attributes[L"orvexKVUEIFlags"] = std::to_wstring(flags);
        KvBase::GetTrace().Trace(KvBase::TraceError, "%s: invalid elid quill flags corrected",
                                 "operator >>");
    }
}

void operator>>(const LdapHelper::object& object, CGlobalNodeHolder& record) {
    record.className = GlobalCategory;
    record.name = GlobalRecordName;
    ReadBlob(object, L"orvexKVGQuillDataKeysCheckData", 64, record);
    ReadBlob(object, L"orvexKVGQuillDataKaCheckImit", 8, record);
    ReadBlob(object, L"orvexKVGQuillDataSKaCheckImit", 8, record);
}

void operator<<(LdapHelper::object& object, const CUserNodeHolder& record) {
    SidBytes sid;
    try {
        sid = StringToSid(record.name);
    } catch (const KvBase::CKvError&) {
        sid.clear();
    }
    if (sid.empty()) {
        KV_RAISE_ERROR_CODE(kWriteFunction, kInvalidData);
    }
    object.set_attr(L"orvexKVObjectSid", LdapHelper::attr_value(sid));
    object.set_attr(L"description", LdapHelper::attr_value(MigratedMark));
    WriteUInt32(object, L"orvexKVUserAccessLevel", record);
    WriteBool(object, L"orvexKVUserfOutputSecret", record);
    WriteBool(object, L"orvexKVUserfPrintSecretPriv", record);
    WriteBool(object, L"orvexKVUserfControlLabels", record);
    WriteKey(object, L"orvexKVUserEffectivePublicKey128", 128,
             L"orvexKVUserEffectiveKeyTimeGenerated128", record);
    WriteKey(object, L"orvexKVUserPreviousPublicKey128", 128,
             L"orvexKVUserPreviousKeyTimeGenerated128", record);
    WriteKey(object, L"orvexKVUserPasswordHash", 32, L"orvexKVUserPasswordTimeGenerated", record);
    if (WriteBlob(object, L"orvexKVUserImitQuillCompList", 8, record)) {
        WriteBlob(object, L"orvexKVUserQuillCompList", 0, record);
    }
}

void operator<<(LdapHelper::object& object, const CElidNodeHolder& record) {
    object.set_attr(L"description", LdapHelper::attr_value(MigratedMark));
    WriteSid(object, L"orvexKVUEIUserSID", record);
    WriteUInt32(object, L"orvexKVUEIType", record);
    WriteUInt32(object, L"orvexKVUEIFlags", record);
    WriteUInt32(object, L"orvexKVUEISize", record);
    WriteBlob(object, L"orvexKVUEIId", 0, record);
    WriteBlob(object, L"orvexKVUEIAuthInfo", kAuthInfoSize, record);
}

void operator<<(LdapHelper::object& object, const CGlobalNodeHolder& record) {
    object.set_attr(L"description", LdapHelper::attr_value(MigratedMark));
    WriteBlob(object, L"orvexKVGQuillDataKeysCheckData", 64, record);
    WriteBlob(object, L"orvexKVGQuillDataKaCheckImit", 8, record);
    WriteBlob(object, L"orvexKVGQuillDataSKaCheckImit", 8, record);
}

void operator<<(ISaxWriter& writer, const CNodeHolder& record) {
    CheckWritable(record);
    writer.StartNode(record.className, record.name);
    for (const auto& [name, value] : record.attributes) {
        writer.WriteAttribute(name, value);
    }
    writer.EndNode();
}

}  // namespace KvMigration
