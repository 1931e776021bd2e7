#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "helper/MigrationContext.h"
#include "helper/MigrationJournal.h"

namespace KvStorageTest {

// The objects a journal learns of, one line each: "<action> <kind> <id>", then " (<name>)",
// ": <reason>" and " [<code>]" when the event has them.
class JournalEvents : public KvMigration::IJournalSink {
public:
    // Recorder of the context's journal from now on.
    static std::shared_ptr<JournalEvents> Of(const KvMigration::MigrationContext& context) {
        auto events = std::make_shared<JournalEvents>();
        context.journal->AddSink(events);
        return events;
    }

    void OnObject(const KvMigration::ObjectEvent& event,
                  const KvMigration::MigrationJournal&) override {
        std::wstring line = std::wstring(KvMigration::ObjectActionName(event.action)) + L" " +
                            event.kind + L" " + event.id;
        if (!event.name.empty()) {
            line += L" (" + event.name + L")";
        }
        if (!event.reason.empty()) {
            line += L": " + event.reason;
        }
        if (event.code != 0) {
            line += L" [" + Code(event.code) + L"]";
        }
        lines.push_back(line);
    }

    // Small codes are system error numbers, large ones HRESULTs.
    static std::wstring Code(uint32_t code) {
        if (code < 0x10000) {
            return std::to_wstring(code);
        }
        wchar_t text[16];
        std::swprintf(text, 16, L"0x%08X", code);
        return text;
    }

    std::vector<std::wstring> lines;
};

}  // namespace KvStorageTest
