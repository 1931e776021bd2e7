#pragma once

#include <ctime>
#include <functional>
#include <memory>

#include "storage/ExportStorage.h"
#include "xml/Exporter.h"

namespace KvMigration {

// Writes the Common section: the export's local date and time ("%d-%m-%Y %H:%M"), the source
// storage's schema version and its security-domain identifier (empty for Active Directory).
class CCommonInfoExporter : public IExporter {
public:
    using Clock = std::function<std::time_t()>;
    // `storage` is the export pass's shared view of the source; null makes one of its own.
    explicit CCommonInfoExporter(
        ExportStoragePtr storage = nullptr, Clock clock = [] { return std::time(nullptr); });

    void Export(std::shared_ptr<ISaxWriter> writer, const MigrationContext& context) override;

private:
    ExportStoragePtr storage_;
    Clock clock_;
};

// The local date and time of `when` as the Common section writes it.
std::wstring ExportDate(std::time_t when);

}  // namespace KvMigration
