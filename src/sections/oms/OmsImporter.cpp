#include "sections/oms/OmsImporter.h"

#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"

namespace KvMigration {
namespace {

constexpr uint32_t kInvalidFunction = 1;
constexpr uint32_t kInvalidData = 13;
constexpr const wchar_t* kBroken = L"The import file schema is broken.";

// The object kind of an element of the section, or -1 for any other name.
ObjectKind KindOfElement(const std::wstring& name) {
    if (name == L"Server") {
        return KindServer;
    }
    if (name == L"Service") {
        return KindService;
    }
    if (name == L"Policy") {
        return KindPolicy;
    }
    if (name == L"Container") {
        return KindContainer;
    }
    return -1;
}

std::vector<ObjectDataPtr> Values(const ObjectDataMap& records) {
    std::vector<ObjectDataPtr> values;
    values.reserve(records.size());
    for (const auto& [id, record] : records) {
        values.push_back(record);
    }
    return values;
}

}  // namespace

OmsImporter::OmsImporter(std::shared_ptr<IObjectMapper> mapper,
                         std::shared_ptr<ICommonInfo> commonInfo, std::set<int> sections)
    : mapper_(std::move(mapper)),
      commonInfo_(std::move(commonInfo)),
      sections_(std::move(sections)) {}

void OmsImporter::BeginImport(const MigrationContext& context, const Attributes&) {
    context_ = context;
}

void OmsImporter::StartNode(const std::wstring& name, const Attributes& attributes) {
    switch (state_) {
        case Outside:
            StartObject(name, attributes);
            return;
        case InObject:
            attribute_ = name;
            single_.clear();
            list_.clear();
            state_ = InAttribute;
            return;
        case InAttribute:
            if (name != L"S") {
                KV_RAISE_ERROR(L"OmsImporter::StartNode", kBroken);
            }
            state_ = InString;
            return;
        case InString:
            KV_RAISE_ERROR(L"OmsImporter::StartNode", kBroken);
    }
    KV_RAISE_ERROR_CODE(L"OmsImporter::StartNode", kInvalidData);
}

void OmsImporter::StartObject(const std::wstring& name, const Attributes& attributes) {
    const ObjectKind kind = KindOfElement(name);
    if (kind < 0) {
        return;
    }
    record_ = std::make_shared<CObjectData>();
    record_->kind = kind;
    if (auto id = attributes.find(L"id"); id != attributes.end()) {
        record_->id = id->second;
    }
    if (auto objectName = attributes.find(L"name"); objectName != attributes.end()) {
        record_->name = objectName->second;
    }
    if (auto source = attributes.find(L"source"); source != attributes.end()) {
        record_->attributes[L"source"] = CValue(source->second);
    }
    state_ = InObject;
}

void OmsImporter::Value(const std::wstring& text) {
    switch (state_) {
        case Outside:
        case InObject:
            KV_RAISE_ERROR(L"OmsImporter::Value", kBroken);
        case InAttribute:
            single_ = text;
            return;
        case InString:
            list_.push_back(text);
            return;
    }
    KV_RAISE_ERROR_CODE(L"OmsImporter::Value", kInvalidData);
}

void OmsImporter::EndNode(const std::wstring& name) {
    switch (state_) {
        case Outside:
            return;
        case InObject:
            EndObject(name);
            return;
        case InAttribute:
            EndAttribute(name);
            return;
        case InString:
            if (name != L"S") {
                KV_RAISE_ERROR(L"OmsImporter::EndNode", kBroken);
            }
            state_ = InAttribute;
            return;
    }
    KV_RAISE_ERROR_CODE(L"OmsImporter::EndNode", kInvalidData);
}

void OmsImporter::EndObject(const std::wstring& name) {
    if (KindOfElement(name) != record_->kind) {
        KV_RAISE_ERROR(L"OmsImporter::EndObject", kBroken);
    }
    records_.push_back(std::move(record_));
    record_.reset();
    state_ = Outside;
}

void OmsImporter::EndAttribute(const std::wstring& name) {
    if (name != attribute_) {
        KV_RAISE_ERROR(L"OmsImporter::EndAttribute", kBroken);
    }
    if (!single_.empty() && !list_.empty()) {
        KV_RAISE_ERROR_CODE(L"OmsImporter::EndAttribute", kInvalidFunction);
    }
    record_->attributes[attribute_] = list_.empty() ? CValue(single_) : CValue(list_);
    state_ = InObject;
}

void OmsImporter::EndImport() {
    const SchemaVersion fileVersion = commonInfo_->DataSchemaVersion();
    CLdapData data(context_, fileVersion);
    ImportBuckets buckets =
        LdapReader::Read(context_, data, *mapper_, std::move(records_), sections_);
    records_.clear();
    ImportObjects(data, buckets);
}

void OmsImporter::ImportObjects(ILdapData& data, const ImportBuckets& buckets) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[OmsImporter::ImportObjects] ");
    if (!buckets.servers.empty() && sections_.count(SectionServer) != 0) {
        data.ImportObjects(Values(buckets.servers));
        PrintMessage(FormatString(L"Servers %d", static_cast<int>(buckets.servers.size())));
    }
    if (!buckets.services.empty() && sections_.count(SectionClients) != 0) {
        data.ImportObjects(Values(buckets.services));
        PrintMessage(FormatString(L"Clients %d", static_cast<int>(buckets.services.size())));
    }
    if (!buckets.containers.empty() && !buckets.policies.empty() &&
        sections_.count(SectionPolicies) != 0) {
        const int created =
            data.ImportPolicies(buckets.containers, buckets.policies, context_.kvPolicyPriority);
        PrintMessage(FormatString(L"Policies %d", created));
    }
}

}  // namespace KvMigration
