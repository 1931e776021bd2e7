#include "transform/MailSettingsReader.h"

#include "base/KvError.h"

namespace KvMigration {
namespace {

constexpr uint32_t kErrorInvalidParameter = 87;

const std::wstring& ReadAttribute(const Attributes& attributes, const wchar_t* name) {
    auto found = attributes.find(name);
    if (found == attributes.end()) {
        KV_RAISE_ERROR_CODE(L"CMailSettingsReader::ReadAttribute", kErrorInvalidParameter);
    }
    return found->second;
}

}  // namespace

LegacyMailSettings CMailSettingsReader::GetSettings() const {
    return settings_;
}

void CMailSettingsReader::BeginImport(const MigrationContext&, const Attributes& attributes) {
    started_ = true;
    textMode_ = TextMode::None;
    source_ = EventSource::None;
    settings_.from = ReadAttribute(attributes, L"from");
    settings_.mailServer = ReadAttribute(attributes, L"mailServer");
    settings_.user = ReadAttribute(attributes, L"user");
    settings_.password = ReadAttribute(attributes, L"password");
    settings_.port = ReadAttribute(attributes, L"port");
    settings_.authenticate = ReadAttribute(attributes, L"authenticate");
}

void CMailSettingsReader::StartNode(const std::wstring& name, const Attributes& attributes) {
    if (name == L"Rule") {
        // Each attribute is set as soon as it is read, so a rule missing a later attribute keeps
        // the earlier ones.
        rule_.title = ReadAttribute(attributes, L"title");
        rule_.subject = ReadAttribute(attributes, L"subject");
        rule_.isActive = ReadAttribute(attributes, L"isActive");
        rule_.attach = ReadAttribute(attributes, L"attach");
    } else if (name == L"Address") {
        textMode_ = TextMode::Address;
    } else if (name == L"OmsObject") {
        OmsObjectRef server;
        server.id = ReadAttribute(attributes, L"id");
        server.type = ReadAttribute(attributes, L"type");
        server.objectClass = ReadAttribute(attributes, L"class");
        rule_.servers.push_back(std::move(server));
    } else if (name == L"KorvantEvents") {
        source_ = EventSource::Product;
    } else if (name == L"KorvantLspEvents") {
        source_ = EventSource::ProductLsp;
    } else if (name == L"SecurityEvents") {
        source_ = EventSource::Security;
    } else if (name == L"Eng") {
        textMode_ = TextMode::Category;
    }
}

void CMailSettingsReader::Value(const std::wstring& text) {
    const TextMode mode = textMode_;
    // Reset first: a text that fails to be recorded must not make the next element's text a
    // category name.
    textMode_ = TextMode::None;
    if (mode == TextMode::Address) {
        rule_.addresses.push_back(text);
    } else if (mode == TextMode::Category) {
        SaveEvent(text);
    }
}

void CMailSettingsReader::SaveEvent(const std::wstring& name) {
    switch (source_) {
        case EventSource::Product:
            rule_.productEvents.push_back(name);
            return;
        case EventSource::ProductLsp:
            rule_.productLspEvents.push_back(name);
            return;
        case EventSource::Security:
            rule_.securityEvents.push_back(name);
            return;
        case EventSource::None:
            break;
    }
    KV_RAISE_ERROR_CODE(L"CMailSettingsReader::SaveEvent", kErrorInvalidParameter);
}

void CMailSettingsReader::EndNode(const std::wstring& name) {
    if (name == L"Rule") {
        settings_.rules.push_back(std::move(rule_));
        rule_ = LegacyMailRule{};
    }
}

}  // namespace KvMigration
