#pragma once

// What the ICheck section's unit tests share: a fake storage that knows its security domain and
// can refuse a search, the application's directory hook (failures arrive as the error object),
// recordings of the system-log reports and of the journal, and the console lines read back from
// the trace.

#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "diagnostics/ClientException.h"
#include "diagnostics/ReportError.h"
#include "helper/MigrationJournal.h"
#include "ldap/LdapHooks.h"
#include "support/FakeDirectory.h"
#include "support/JournalLines.h"
#include "support/TraceCapture.h"

namespace KvMigration {

inline const std::wstring kSecurityDomain = L"CN={fa0626fe-af1f-49ff-852f-ff19b1aff9d3},DC=korvant";

class ICheckFakeSession : public KvTest::FakeSession {
public:
    std::wstring contextDn;
    std::wstring namingContext = L"DC=korvant";
    std::set<std::wstring> refusedBases;  // searches of these bases fail with "busy" (51)

    LdapHelper::object_list search(const LdapHelper::query& q,
                                   const LdapHelper::attr_list& attrs) override {
        if (refusedBases.count(q.base) != 0) {
            LdapHelper::report_failure(51, error_text(51), "FakeDirectory", __LINE__);
        }
        return FakeSession::search(q, attrs);
    }
    std::wstring default_naming_context() const override { return namingContext; }
    LdapHelper::server_cfg server() const override {
        LdapHelper::server_cfg cfg;
        cfg.host = L"lds.test";
        cfg.context_dn = contextDn;
        return cfg;
    }
};

class RecordingSink : public KvBase::IEventSink {
public:
    void Write(const KvBase::EventRecord& record) override { records.push_back(record); }
    std::vector<KvBase::EventRecord> records;
};

using KvTest::JournalLines;

class ICheckSectionTest : public testing::Test {
protected:
    ICheckSectionTest() {
        LdapHelper::set_exception_handler(&hook_);
        KvBase::SetEventSink(&sink);
    }
    ~ICheckSectionTest() override {
        LdapHelper::set_exception_handler(nullptr);
        KvBase::SetEventSink(nullptr);
    }

    // The text of every trace line written since the test started, one per line, without the
    // time and process prefix; the console lines of the section are among them.
    std::vector<std::wstring> TraceLines() const {
        std::vector<std::wstring> lines;
        std::wistringstream in(KvTest::TraceLogSince(traceStart_));
        for (std::wstring line; std::getline(in, line);) {
            if (!line.empty() && line.back() == L'\r') {
                line.pop_back();
            }
            size_t text = line.find(L"] ");
            lines.push_back(text == std::wstring::npos ? line : line.substr(text + 2));
        }
        return lines;
    }
    // Whether the trace holds the line (level prefix "W> " included for errors).
    bool Traced(const std::wstring& line) const {
        for (const std::wstring& traced : TraceLines()) {
            if (traced == line) {
                return true;
            }
        }
        return false;
    }

    RecordingSink sink;

private:
    KvBase::CClientException hook_;
    size_t traceStart_ = KvTest::TraceLogSize();
};

}  // namespace KvMigration
