#include "transform/MailSettingsWriter.h"

#include "xml/SaxWriter.h"

namespace KvMigration {

std::wstring CMailSettingsWriter::Write(const NewMailSettings& settings) const {
    std::wstring text;
    {
        SaxWriter writer(&text, MigrationContext{});
        writer.StartNode(L"UAMailFilter", L"");
        writer.WriteAttribute(L"from", settings.from);
        writer.WriteAttribute(L"mailServer", settings.mailServer);
        writer.WriteAttribute(L"user", settings.user);
        writer.WriteAttribute(L"password", settings.password);
        writer.WriteAttribute(L"port", settings.port);
        writer.WriteAttribute(L"authenticate", settings.authenticate);
        writer.StartNode(L"Rules", L"");
        for (const MailRule& rule : settings.rules) {
            writer.StartNode(L"Rule", L"");
            writer.WriteAttribute(L"name", rule.name);
            writer.WriteAttribute(L"subject", rule.subject);
            writer.WriteAttribute(L"attach", rule.attach);
            writer.WriteAttribute(L"sourceName", rule.sourceName);
            writer.WriteAttribute(L"category", rule.category);
            writer.WriteAttribute(L"eventID", rule.eventID);
            writer.StartNode(L"AddressList", L"");
            for (const std::wstring& address : rule.addresses) {
                writer.StartNode(L"Address", address);
                writer.EndNode();
            }
            writer.EndNode();
            writer.EndNode();
        }
        writer.EndNode();
        writer.EndNode();
    }
    return text;
}

}  // namespace KvMigration
