#pragma once

#include "transform/MailSettings.h"

namespace KvMigration {

// Writes the new form of the mail settings through an in-memory SAX writer.
class CMailSettingsWriter : public IMailSettingsWriter {
public:
    std::wstring Write(const NewMailSettings& settings) const override;
};

}  // namespace KvMigration
