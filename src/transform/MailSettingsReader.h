#pragma once

#include "transform/MailSettings.h"

namespace KvMigration {

// Reads the old form of the mail settings; registered for the path "UAMailFilter".
class CMailSettingsReader : public IMailSettingsReader, public IImporter {
public:
    LegacyMailSettings GetSettings() const override;
    // Whether the document's root was `UAMailFilter`.
    bool Started() const { return started_; }

    // Raises code 87 when a root attribute is missing.
    void BeginImport(const MigrationContext& context, const Attributes& attributes) override;
    // Raises code 87 when an attribute of `Rule` or `OmsObject` is missing.
    void StartNode(const std::wstring& name, const Attributes& attributes) override;
    // Raises code 87 for a category name outside an event container.
    void Value(const std::wstring& text) override;
    void EndNode(const std::wstring& name) override;
    void EndImport() override {}

private:
    enum class TextMode { None, Address, Category };
    enum class EventSource { None, Product, ProductLsp, Security };

    void SaveEvent(const std::wstring& name);

    LegacyMailSettings settings_;
    LegacyMailRule rule_;
    TextMode textMode_ = TextMode::None;
    EventSource source_ = EventSource::None;
    bool started_ = false;
};

}  // namespace KvMigration
