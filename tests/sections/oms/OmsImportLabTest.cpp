// The Oms section of a real export of the source pair imported by the real binary into the
// lab's target pair: what it writes, what the selections and flags change, that a second run
// writes nothing, and the target's state compared with an expected dump.

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "support/Golden.h"
#include "support/LabDump.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"

namespace {

using KvTest::Lab;

const std::string kSdPort = "51000";
const std::string kGcPort = "51002";

// A dump's entries by DN.
std::map<std::string, std::string> Entries(const std::string& dump) {
    std::map<std::string, std::string> entries;
    size_t begin = 0;
    while (begin < dump.size()) {
        size_t end = dump.find("\n\n", begin);
        end = end == std::string::npos ? dump.size() : end + 2;
        const std::string entry = dump.substr(begin, end - begin);
        entries[entry.substr(0, entry.find('\n'))] = entry;
        begin = end;
    }
    return entries;
}

// The DNs whose entries differ between two dumps (added, removed or changed), each shortened to
// its first two relative names and the partition's.
std::set<std::string> Changed(const std::string& before, const std::string& after) {
    std::map<std::string, std::string> a = Entries(before);
    std::map<std::string, std::string> b = Entries(after);
    std::set<std::string> changed;
    auto shorten = [](const std::string& dn) {
        size_t first = dn.find(',');
        size_t second = first == std::string::npos ? first : dn.find(',', first + 1);
        size_t last = dn.rfind(',');
        return second == std::string::npos ? dn : dn.substr(4, second - 4) + dn.substr(last);
    };
    for (const auto& [dn, entry] : a) {
        auto other = b.find(dn);
        if (other == b.end() || other->second != entry) {
            changed.insert(shorten(dn));
        }
    }
    for (const auto& [dn, entry] : b) {
        if (a.count(dn) == 0) {
            changed.insert(shorten(dn));
        }
    }
    return changed;
}

// The value of `attribute` in the entry of the dump whose DN starts with `dn`, or "" when absent.
std::string ValueOf(const std::string& dump, const std::string& dn, const std::string& attribute) {
    for (const auto& [entryDn, entry] : Entries(dump)) {
        if (entryDn.rfind("dn: " + dn, 0) != 0) {
            continue;
        }
        for (const char* separator : {": ", ":: ", ":~ "}) {
            size_t at = entry.find("\n" + attribute + separator);
            if (at != std::string::npos) {
                at += attribute.size() + 1 + std::string(separator).size();
                return entry.substr(at, entry.find('\n', at) - at);
            }
        }
    }
    return "";
}

class OmsImportLabTest : public testing::Test {
protected:
    void SetUp() override {
        KV_REQUIRE_LAB();
        lab.Reset({"dst-sd", "dst-gc"});
        Export({"-lds", lab.Value("KV_LAB_SRC_PORTS")});
    }

    void Export(const std::vector<std::string>& storage) {
        std::vector<std::string> arguments = {"-ex", file, "-rmf"};
        arguments.insert(arguments.end(), storage.begin(), storage.end());
        KvTest::ProcessResult result = KvTest::RunProgram(KV_BINARY_PATH, arguments);
        ASSERT_EQ(result.status, 0) << result.out << result.err;
    }

    KvTest::ProcessResult Import(std::vector<std::string> keys,
                                 const KvTest::LabTarget& target = KvTest::DefaultDomain()) {
        std::vector<std::string> arguments = {"-im", file, "-lds", "51000:51002"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        return KvTest::RunProgram(KV_BINARY_PATH, arguments, target);
    }

    std::string ServerDn() const {
        return "CN=" + lab.Value("KV_LAB_OMS_SID") +
               ",CN=Operational Management Servers,CN=Korvant 5.0 Configuration,CN={" +
               lab.Id("DST_SD_ID") + "},";
    }

    // Both partitions of the target, whole, without what the directory changes on its own.
    std::string FullDumps() const {
        return KvTest::DumpPartition(kSdPort, lab.Value("KV_LAB_DST_SD_NC"),
                                     KvTest::VolatileAttributes()) +
               KvTest::DumpPartition(kGcPort, lab.Value("KV_LAB_DST_GC_NC"),
                                     KvTest::VolatileAttributes());
    }

    // The objects of the security domain in both partitions but the integrity-check model (the
    // Oms section's share of the target), normalised for an expected file.
    std::string ProductDumps() const {
        const std::string sd = "CN={" + lab.Id("DST_SD_ID") + "},";
        std::string dumps;
        for (const auto& [port, nc] : {std::pair{kSdPort, lab.Value("KV_LAB_DST_SD_NC")},
                                       std::pair{kGcPort, lab.Value("KV_LAB_DST_GC_NC")}}) {
            for (const auto& [dn, entry] :
                 Entries(KvTest::DumpPartition(port, sd + nc, KvTest::GeneratedAttributes()))) {
                if (dn.find("CN=Integrity Check Objects") == std::string::npos) {
                    dumps += entry;
                }
            }
        }
        return KvTest::NumberGeneratedGuids(
            KvTest::SortLdifEntries(KvTest::ReplaceLabIds(dumps, KvTest::LabAccountSids())));
    }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
    const std::string file = dir.File("export.xml");
};

// The three selections of the section (the other sections are not this test's business).
const std::vector<std::string> kOms = {"-server", "-clients", "-policies"};

TEST_F(OmsImportLabTest, ImportsOnceAndASecondRunWritesNothingUnlessForced) {
    KvTest::ProcessResult first = Import(kOms);
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("Servers 1\n"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Clients 2\n"), std::string::npos) << first.out;
    // The server, the domain, Dev and the new Engineering; Sales is marked as done in the target.
    EXPECT_NE(first.out.find("Policies 4\n"), std::string::npos) << first.out;
    EXPECT_NE(first.err.find("Service " + lab.Id("SID_WS04") + " not found in LDS"),
              std::string::npos)
        << first.out << first.err;
    KvTest::ExpectGolden(ProductDumps(), std::string(KV_GOLDEN_DIR) + "/oms-import-lds.ldif");

    const std::string before = FullDumps();
    KvTest::ProcessResult again = Import(kOms);
    ASSERT_EQ(again.status, 0) << again.out << again.err;
    for (const char* report : {"Servers", "Clients", "Policies"}) {
        EXPECT_EQ(again.out.find(report), std::string::npos) << again.out;
    }
    EXPECT_EQ(FullDumps(), before) << "a second import without -fi wrote";

    std::vector<std::string> force = kOms;
    force.push_back("-fi");
    KvTest::ProcessResult forced = Import(force);
    ASSERT_EQ(forced.status, 0) << forced.out << forced.err;
    EXPECT_NE(forced.out.find("Servers 1\n"), std::string::npos) << forced.out;
    EXPECT_NE(FullDumps(), before) << "-fi wrote nothing";
}

TEST_F(OmsImportLabTest, EachSelectionWritesOnlyItsObjects) {
    struct Case {
        const char* key;
        std::vector<std::string> reports;  // printed
        std::vector<std::string> silent;   // not printed
        std::set<std::string> changed;     // entries written
    };
    const std::string server =
        "CN=" + lab.Value("KV_LAB_OMS_SID") + ",CN=Operational Management Servers";
    const std::vector<Case> cases = {
        {"-server",
         {"Servers 1"},
         {"Clients", "Policies"},
         {server + ",DC=korvant", server + ",DC=korvant-gc"}},
        {"-clients",
         {"Clients 2"},
         {"Servers", "Policies"},
         {"CN=WS01,CN=Computers,DC=korvant", "CN=WS02,CN=Computers,DC=korvant",
          "CN=WS03,CN=Computers,DC=korvant", "CN=WS01,CN=Computers,DC=korvant-gc",
          "CN=WS02,CN=Computers,DC=korvant-gc", "CN=WS03,CN=Computers,DC=korvant-gc"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        lab.Reset({"dst-sd", "dst-gc"});
        const std::string before = FullDumps();
        KvTest::ProcessResult result = Import({c.key});
        ASSERT_EQ(result.status, 0) << result.out << result.err;
        for (const std::string& report : c.reports) {
            EXPECT_NE(result.out.find(report + "\n"), std::string::npos) << result.out;
        }
        for (const std::string& report : c.silent) {
            EXPECT_EQ(result.out.find(report + " "), std::string::npos) << result.out;
        }
        std::set<std::string> changed = Changed(before, FullDumps());
        for (const std::string& dn : changed) {
            EXPECT_EQ(c.changed.count(dn), 1u) << dn << " was written";
        }
    }

    // Policies: the links and policies, no computer and none of the server's settings.
    lab.Reset({"dst-sd", "dst-gc"});
    const std::string before = FullDumps();
    KvTest::ProcessResult result = Import({"-policies"});
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("Policies 4\n"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("Servers "), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("Clients "), std::string::npos) << result.out;
    const std::string after = FullDumps();
    for (const std::string& dn : Changed(before, after)) {
        EXPECT_EQ(dn.find("CN=Computers"), std::string::npos) << dn << " was written";
    }
    EXPECT_EQ(ValueOf(after, ServerDn(), "orvexKVOMSShedule"),
              ValueOf(before, ServerDn(), "orvexKVOMSShedule"));
    EXPECT_EQ(ValueOf(after, ServerDn(), "orvexKVPolicyLink"), lab.Id("SRC_POLICY_SERVER"));
}

TEST_F(OmsImportLabTest, TheServersSecurityDescriptorOnlyWithPriv) {
    const std::string source = [&] {
        const std::string text = KvTest::ReadFile(file);
        const std::string tag = "<orvexKVOMSSecurityDescriptor>";
        size_t at = text.find(tag);
        return at == std::string::npos
                   ? std::string()
                   : text.substr(at + tag.size(),
                                 text.find('<', at + tag.size()) - at - tag.size());
    }();
    ASSERT_FALSE(source.empty());
    const std::string sdDn = ServerDn() + lab.Value("KV_LAB_DST_SD_NC");
    const std::string gcDn = ServerDn() + lab.Value("KV_LAB_DST_GC_NC");

    ASSERT_EQ(Import({"-server"}).status, 0);
    EXPECT_EQ(ValueOf(FullDumps(), sdDn, "orvexKVOMSSecurityDescriptor"), "");

    ASSERT_EQ(Import({"-server", "-priv", "-fi"}).status, 0);
    const std::string after = FullDumps();
    EXPECT_EQ(ValueOf(after, sdDn, "orvexKVOMSSecurityDescriptor"), source);
    EXPECT_EQ(ValueOf(after, gcDn, "orvexKVOMSSecurityDescriptor"), "")
        << "a protected attribute reached the global catalogue";
}

TEST_F(OmsImportLabTest, WinpolPrefersTheGroupPolicyOfAContainerThatHasBoth) {
    const std::string domainDn =
        "CN={" + lab.Id("DST_SD_ID") + "}," + lab.Value("KV_LAB_DST_SD_NC");
    struct Case {
        const char* key;
        bool productPolicyKept;
    };
    for (const Case& c : {Case{"-kvpol", true}, Case{"-winpol", false}}) {
        SCOPED_TRACE(c.key);
        lab.Reset({"dst-sd", "dst-gc"});
        ASSERT_EQ(Import({"-policies", c.key}).status, 0);
        const std::string dump = FullDumps();
        const std::string link = ValueOf(dump, domainDn, "orvexKVPolicyLink");
        const bool productPolicy = link == lab.Id("SRC_POLICY_DOMAIN");
        EXPECT_EQ(productPolicy, c.productPolicyKept) << link;
        EXPECT_EQ(dump.find("dn: CN=" + lab.Id("SRC_POLICY_DOMAIN")) != std::string::npos,
                  c.productPolicyKept);
        // The one policy linked is there, in both partitions.
        EXPECT_NE(dump.find("dn: CN=" + link + ",CN=Policies"), std::string::npos);
        EXPECT_NE(dump.find("dn: CN=" + link + ",CN=Policies,CN=Korvant 5.0 Configuration,CN={" +
                            lab.Id("DST_SD_ID") + "}," + lab.Value("KV_LAB_DST_GC_NC")),
                  std::string::npos);
    }
}

// The target pair tied to the second domain, where the computers have new SIDs.
class OmsImportSecondDomainLabTest : public OmsImportLabTest {
protected:
    void SetUp() override {
        OmsImportLabTest::SetUp();
        if (HasFatalFailure()) {
            return;
        }
        lab.Reset({"dst-new"});
        // The administrator's edit: WS03 is ws30 in the new domain.
        std::string text = KvTest::ReadFile(file);
        const std::string from = "newName=\"ws03.corp.local\"";
        size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, from.size(), "newName=\"ws30.corp.local\"");
        KvTest::WriteFile(file, text);
    }
    void TearDown() override {
        if (lab.Up()) {
            lab.Reset({"dst-sd", "dst-gc"});
        }
    }
};

TEST_F(OmsImportSecondDomainLabTest, ServicesAreRemappedAndOtherDomainsContainersSkipped) {
    const std::string before = FullDumps();
    KvTest::ProcessResult result = Import(kOms, KvTest::NewDomain());
    // WS04 has no computer in new.local: everything else is imported, but not as a success.
    ASSERT_EQ(result.status, 255) << result.out << result.err;
    EXPECT_NE(result.err.find("The import is incomplete. No computer of the target domain has the "
                              "newName of 1 service(s) of the Mapping section "
                              "(\"ws04.corp.local\")"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.out.find("The program was successfully completed."), std::string::npos);
    const std::string console = result.out + result.err;

    EXPECT_NE(console.find("Object ws04.corp.local not found in Active Directory"),
              std::string::npos)
        << console;
    EXPECT_EQ(console.find("not found in LDS"), std::string::npos) << console;
    EXPECT_NE(result.out.find("Servers 1\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("Clients 3\n"), std::string::npos) << result.out;
    for (const char* container :
         {"AD_DOMAIN_GUID", "GUID_OU_DEV", "GUID_OU_ENGINEERING", "GUID_OU_SALES"}) {
        EXPECT_NE(
            console.find("Container " + lab.Id(container) + " is not domain subtree container."),
            std::string::npos)
            << container << "\n"
            << console;
    }
    // Only the server's own policy is left.
    EXPECT_NE(result.out.find("Policies 1\n"), std::string::npos) << result.out;

    const std::string after = FullDumps();
    for (const char* computer : {"WS01", "WS02", "WS30"}) {
        const std::string dn = std::string("CN=") + computer + ",CN=Computers,CN={" +
                               lab.Id("DST_SD_ID") + "}," + lab.Value("KV_LAB_DST_SD_NC");
        EXPECT_EQ(ValueOf(after, dn, "description"), "objectMigrated;") << computer;
    }
    for (const std::string& dn : Changed(before, after)) {
        EXPECT_EQ(dn.find("OU="), std::string::npos) << dn << " was written";
    }
    EXPECT_EQ(after.find("dn: CN=" + lab.Id("SRC_POLICY_DEV")), std::string::npos);
}

}  // namespace
