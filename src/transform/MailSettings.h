#pragma once

#include <memory>
#include <string>
#include <vector>

#include "xml/Importer.h"

namespace KvMigration {

// A management server reference of an old-form mail rule.
struct OmsObjectRef {
    std::wstring id;
    std::wstring type;
    std::wstring objectClass;  // the `class` attribute
    friend bool operator==(const OmsObjectRef&, const OmsObjectRef&) = default;
};

// One rule of the old form: categories of three event sources listed by name.
struct LegacyMailRule {
    std::wstring title;
    std::wstring subject;
    std::wstring isActive;
    std::wstring attach;
    std::vector<std::wstring> addresses;
    std::vector<OmsObjectRef> servers;
    std::vector<std::wstring> productEvents;
    std::vector<std::wstring> productLspEvents;
    std::vector<std::wstring> securityEvents;
    friend bool operator==(const LegacyMailRule&, const LegacyMailRule&) = default;
};

// One rule of the new form: one event source and one category id.
struct MailRule {
    std::wstring name;
    std::wstring subject;
    std::wstring attach;
    std::wstring sourceName;
    std::wstring category;
    std::wstring eventID;
    std::vector<std::wstring> addresses;
    friend bool operator==(const MailRule&, const MailRule&) = default;
};

// The alarm-mail settings of a management server (`orvexKVOMSMailSettings`), with the rules of
// either form.
template <typename Rule>
struct MailSettings {
    std::wstring from;
    std::wstring mailServer;
    std::wstring user;
    std::wstring password;
    std::wstring port;
    std::wstring authenticate;
    std::vector<Rule> rules;
    friend bool operator==(const MailSettings&, const MailSettings&) = default;
};
using LegacyMailSettings = MailSettings<LegacyMailRule>;
using NewMailSettings = MailSettings<MailRule>;

class IMailSettingsReader {
public:
    // A copy of the settings read so far.
    virtual LegacyMailSettings GetSettings() const = 0;
    virtual ~IMailSettingsReader() = default;
};

class IMailSettingsTransformer {
public:
    virtual NewMailSettings Transform(const LegacyMailSettings& settings) const = 0;
    virtual ~IMailSettingsTransformer() = default;
};

class IMailSettingsWriter {
public:
    // The settings as XML text of the new form.
    virtual std::wstring Write(const NewMailSettings& settings) const = 0;
    virtual ~IMailSettingsWriter() = default;
};

// The element path the reader is registered for: the root of the mail settings document.
inline constexpr const wchar_t* MailSettingsRoot = L"UAMailFilter";

// The old text through reader, transformer and writer; the new text. A text whose root is not
// `UAMailFilter` is returned unchanged; a text that is not well-formed XML raises the reader's
// description of the damage.
std::wstring TransformMailSettingsText(const std::wstring& oldText);

}  // namespace KvMigration
