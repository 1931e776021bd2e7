#include "server/KvPolicy.h"

#include "base/Trace.h"
#include "helper/Identifiers.h"
#include "platform/Guid.h"
#include "server/IniParser.h"
#include "xml/SaxWriter.h"

namespace KvMigration {
namespace {

// One of the two policy documents, written into a string as its Policy elements come.
class PolicyDocumentWriter {
public:
    PolicyDocumentWriter(const wchar_t* type, const std::wstring& revision)
        : writer_(&text_, MigrationContext{}) {
        writer_.StartNode(L"Policies", L"");
        writer_.WriteAttribute(L"type", type);
        writer_.WriteAttribute(L"guid", L"");
        writer_.WriteAttribute(L"revision", revision);
    }

    void Write(const PolicyEntry& entry) {
        writer_.StartNode(L"Policy", L"");
        writer_.WriteAttribute(L"uniqueName", entry.uniqueName);
        writer_.WriteAttribute(L"value", entry.value);
        writer_.WriteAttribute(L"type", entry.type);
        writer_.EndNode();
    }

    std::wstring Close() {
        writer_.EndNode();
        return text_;
    }

private:
    std::wstring text_;
    SaxWriter writer_;
};

}  // namespace

ObjectDataPtr WriteKvPolicy(const PolicyTemplate& policy) {
    // Decoding first: a bad blob fails before anything is written.
    const std::optional<std::vector<PolicyEntry>> entries = PolicyEntries(policy);
    if (!entries) {
        return nullptr;
    }

    auto record = std::make_shared<CObjectData>();
    record->kind = KindPolicy;
    record->id = StringFromGuid(Platform::NewGuid());
    record->attributes[L"orvexKVPolicyVersion"] = CValue(L"1");
    record->attributes[L"orvexKVPolicyRevision"] = CValue(policy.revision);

    PolicyDocumentWriter base(L"Basic", policy.revision);
    PolicyDocumentWriter devices(L"Dacs", policy.revision);
    for (const PolicyEntry& entry : *entries) {
        (entry.document == PolicyDocument::Devices ? devices : base).Write(entry);
    }
    record->attributes[L"orvexKVPolicyBase"] = CValue(base.Close());
    record->attributes[L"orvexKVPolicyDevices"] = CValue(devices.Close());
    return record;
}

ObjectDataPtr CreateKvPolicy(const std::wstring& path) {
    std::optional<std::wstring> text = ReadPolicyTemplate(path);
    if (!text) {
        KvBase::GetTrace().Trace(KvBase::TraceInfo, L"File group policy %ls not read",
                                 path.c_str());
    }
    if (!text || text->empty()) {
        return nullptr;
    }
    PolicyTemplate policy;
    const int line = ParsePolicyTemplate(*text, policy);
    if (line != IniParsed) {
        KvBase::GetTrace().Trace(KvBase::TraceError,
                                 L"File group policy not read, error line = %d, file string = %ls",
                                 line, path.c_str());
        return nullptr;
    }
    ObjectDataPtr record = WriteKvPolicy(policy);
    if (!record) {
        KvBase::GetTrace().Trace(KvBase::TraceError, L"File group policy %ls not read",
                                 path.c_str());
    }
    return record;
}

}  // namespace KvMigration
