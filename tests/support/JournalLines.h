#pragma once

#include <string>
#include <vector>

#include "helper/MigrationJournal.h"

namespace KvTest {

// The objects the journal learns of, one line each: "<action> <kind> <id> (<name>)", then
// ": <reason>" and " [<code>]" when the event has them.
class JournalLines : public KvMigration::IJournalSink {
public:
    void OnObject(const KvMigration::ObjectEvent& event,
                  const KvMigration::MigrationJournal&) override {
        std::wstring line = std::wstring(KvMigration::ObjectActionName(event.action)) + L" " +
                            event.kind + L" " + event.id + L" (" + event.name + L")";
        if (!event.reason.empty()) {
            line += L": " + event.reason;
        }
        if (event.code != 0) {
            line += L" [" + std::to_wstring(event.code) + L"]";
        }
        lines.push_back(line);
    }
    std::vector<std::wstring> lines;
};

}  // namespace KvTest
