#pragma once

// What the client section's unit tests share: the fake source or target with its management
// server, the application's directory hook (failures arrive as the error object with the mapped
// code), and recordings of the system-log reports and of the journal.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "client/ClientSwitches.h"
#include "diagnostics/ClientException.h"
#include "diagnostics/ReportError.h"
#include "helper/Identifiers.h"
#include "helper/MigrationContext.h"
#include "helper/MigrationJournal.h"
#include "support/FakeDirectory.h"
#include "support/JournalLines.h"

namespace KvMigration {

inline const std::wstring kOms = L"S-1-5-21-1004336348-1177238915-682003330-1102";
inline const std::wstring kAlice = L"S-1-5-21-1004336348-1177238915-682003330-1110";
inline const std::wstring kBob = L"S-1-5-21-1004336348-1177238915-682003330-1111";

class RecordingSink : public KvBase::IEventSink {
public:
    void Write(const KvBase::EventRecord& record) override { records.push_back(record); }
    std::vector<KvBase::EventRecord> records;
};

inline std::vector<uint8_t> Bytes(size_t count, uint8_t seed = 1) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return bytes;
}

inline LdapHelper::attr_value Sid(const std::wstring& text) {
    return LdapHelper::attr_value(StringToSid(text));
}

using KvTest::JournalLines;

class ClientSectionTest : public testing::Test {
protected:
    ClientSectionTest() {
        LdapHelper::set_exception_handler(&hook_);
        KvBase::SetEventSink(&sink);
    }
    ~ClientSectionTest() override {
        LdapHelper::set_exception_handler(nullptr);
        KvBase::SetEventSink(nullptr);
        SetLdsStorageMode(false);
        SetForceImportMode(false);
    }

    // The management server below the security domain of partition `root`, as find_lds_domain
    // asks for it.
    static void AnswerServer(KvTest::FakeSession& session, const std::wstring& root) {
        const std::wstring dn = L"CN=" + kOms +
                                L",CN=Operational Management Servers,CN=Korvant 5.0 "
                                L"Configuration,CN={fa0626fe-af1f-49ff-852f-ff19b1aff9d3}," +
                                root;
        session.Answer(L"", L"(&(cn=" + kOms + L")(objectCategory=orvexKVOMS))",
                       {KvTest::Entry(dn, {{L"cn", LdapHelper::attr_value(kOms)},
                                           {L"distinguishedName", LdapHelper::attr_value(dn)}})});
    }

    RecordingSink sink;

private:
    KvBase::CClientException hook_;
};

}  // namespace KvMigration
