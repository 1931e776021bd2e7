#include "app/StorageConnection.h"

#include "base/KvError.h"
#include "support/FakeDirectory.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KvMigration {
namespace {

using KvTest::Entry;
using KvTest::FakeSession;
using LdapHelper::attr_value;

const std::wstring kSchemaDn =
    L"CN=ADSchema,CN=Korvant 5.0 Configuration,CN=Services,CN=Configuration,DC=corp,DC=local";

// An Active Directory storage at the given schema version: the version check reads nothing else.
StorageSession AdStorageAt(int32_t major, int32_t minor) {
    auto ad = std::make_shared<FakeSession>();
    ad->Answer(L"*", L"(objectClass=*)",
               {Entry(L"", {{L"configurationNamingContext",
                             attr_value(L"CN=Configuration,DC=corp,DC=local")}})});
    ad->Answer(kSchemaDn, L"(objectClass=*)",
               {Entry(kSchemaDn, {{L"orvexKVADSchemaVersion", attr_value(major)},
                                  {L"orvexKVADSchemaVersionExtended", attr_value(minor)}})});
    return {ad, false, nullptr, nullptr};
}

std::wstring CheckResult(bool isExport, int32_t major, int32_t minor) {
    InputParameters parameters;
    parameters.isExport = isExport;
    parameters.isLds = false;
    parameters.omsId = L"S-1-5-21-1-2-3-1000";
    try {
        CheckSchemaVersion(parameters, AdStorageAt(major, minor));
    } catch (const KvBase::CKvError& e) {
        return e.Description();
    }
    return L"accepted";
}

TEST(StorageConnectionTest, SchemaVersionMustFitThePass) {
    struct Case {
        bool isExport;
        int32_t major;
        int32_t minor;
        std::wstring result;
    };
    const std::vector<Case> cases = {
        {true, 7, 16, L"accepted"},
        {true, 7, 17, L"Current server version (7.17) is invalid for export."},
        {true, 8, 19, L"Current server version (8.19) is invalid for export."},
        {false, 7, 16, L"The minimum server version for import is 8.2."},
        {false, 7, 17, L"The minimum server version for import is 8.2."},
        {false, 7, 18, L"accepted"},
        {false, 8, 19, L"accepted"},
        {false, 8, 2, L"accepted"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << (c.isExport ? "export " : "import ") << c.major << "." << c.minor);
        EXPECT_EQ(CheckResult(c.isExport, c.major, c.minor), c.result);
    }
}

TEST(StorageConnectionTest, SecurityDomainMustBeTheOnlyOneUnderKorvant) {
    auto session = std::make_shared<FakeSession>();
    session->Answer(L"DC=Korvant", L"(objectClass=domainDNS)", {Entry(L"CN={G},DC=korvant")});
    EXPECT_EQ(GetDomainSdDn(session), L"CN={G},DC=korvant");
    EXPECT_EQ(session->Requests().back().scope, LdapHelper::SCOPE_ONELEVEL);

    struct Case {
        const char* title;
        LdapHelper::object_list domains;
    };
    const std::vector<Case> cases = {
        {"none", {}},
        {"two", {Entry(L"CN={G},DC=korvant"), Entry(L"CN={H},DC=korvant")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        session->Answer(L"DC=Korvant", L"(objectClass=domainDNS)", c.domains);
        try {
            GetDomainSdDn(session);
            ADD_FAILURE() << "no error";
        } catch (const KvBase::CKvError& e) {
            EXPECT_EQ(e.Description(), L"Not found security domain");
        }
    }
}

}  // namespace
}  // namespace KvMigration
