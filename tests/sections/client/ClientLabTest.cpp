// The Client section through the real binary on the directory lab (label "lab"): exports of the
// source pair and of `ad` against golden files, imports into the target pair.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "support/LabOperator.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"
#include "support/TextParts.h"

namespace {

using KvTest::Count;
using KvTest::Lines;

using KvTest::Lab;
using KvTest::ProcessResult;

const std::string kDstSd = "DC=korvant";
const std::string kElids = "CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration," + kDstSd;
const std::string kOperatorLogin = "CORP\\kvoperator";

// The Client element of an exported file.
std::string ClientSection(const std::string& file) {
    const size_t begin = file.find("<Client");
    if (begin == std::string::npos) {
        return {};
    }
    const size_t end = file.find("</Client>", begin);
    if (end == std::string::npos) {
        return file.substr(begin, file.find('\n', begin) - begin);
    }
    return file.substr(begin, end + 9 - begin);
}

// The console lines of the client export.
std::string ClientConsole(const std::string& out) {
    const size_t begin = out.find("Client objects export started");
    const size_t end = out.find("Client objects export finished");
    if (begin == std::string::npos || end == std::string::npos) {
        return out;
    }
    return out.substr(begin, out.find('\n', end) + 1 - begin);
}

// The server returns the records of a container in the order of their generated GUIDs, which
// change whenever the lab is built anew; the records are compared in their text's order.
std::string SortRecords(const std::string& section) {
    std::vector<std::string> lines = Lines(section);
    std::string sorted;
    for (size_t i = 0; i < lines.size();) {
        size_t j = i;
        while (j < lines.size() && lines[j].rfind("        <", 0) == 0) {
            ++j;
        }
        if (j == i) {
            sorted += lines[i++] + "\n";
            continue;
        }
        std::vector<std::string> records(lines.begin() + static_cast<long>(i),
                                         lines.begin() + static_cast<long>(j));
        std::sort(records.begin(), records.end());
        for (const std::string& record : records) {
            sorted += record + "\n";
        }
        i = j;
    }
    return sorted;
}

// Generated identifiers become the names the seed gives them ({{SID_ALICE}}), longest first so that
// no SID is taken for the beginning of a longer one.
std::string NameIdentifiers(std::string text) {
    const Lab& lab = Lab::Get();
    std::vector<std::pair<std::string, std::string>> ids;
    for (const auto& [name, value] : lab.Ids().All()) {
        if (name.rfind("SID_", 0) == 0 || name.rfind("AD_DOMAIN_SID", 0) == 0) {
            ids.emplace_back(value, "{{" + name + "}}");
        }
    }
    std::sort(ids.begin(), ids.end(),
              [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
    for (const auto& [value, name] : ids) {
        for (size_t at = text.find(value); at != std::string::npos;
             at = text.find(value, at + name.size())) {
            text.replace(at, value.size(), name);
        }
    }
    return text;
}

// Compares with a golden file of tests/sections/client/golden; KV_UPDATE_GOLDEN=1 rewrites it.
void ExpectGolden(const std::string& name, const std::string& actual) {
    const std::string path = std::string(KV_GOLDEN_DIR) + "/" + name;
    const char* update = std::getenv("KV_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
        KvTest::WriteFile(path, actual);
    }
    EXPECT_EQ(KvTest::ReadFile(path), actual) << "golden file " << path;
}

// Every entry below `base` of one lab instance with all its attributes, entries in DN order:
// what an import may not have changed when it says it changed nothing. Left out: the lab's own
// accounts, whose sign-ins the server records, and the domain controller's RID pool, which any
// new security principal (a user) draws from.
std::string Dump(const std::string& host, const std::string& base) {
    const Lab& lab = Lab::Get();
    ProcessResult result =
        KvTest::RunProcess("/usr/bin/ldapsearch",
                           {"-LLL", "-o", "ldif_wrap=no", "-x", "-ZZ", "-H", "ldap://" + host, "-D",
                            lab.Value("KV_LAB_USER"), "-y", lab.Value("KV_LAB_PASSWORD_FILE"), "-b",
                            base, "(objectClass=*)", "*", "uSNChanged", "whenChanged"});
    EXPECT_EQ(result.status, 0) << result.err;
    std::vector<std::string> entries;
    std::string entry;
    for (const std::string& line : Lines(result.out)) {
        if (line.empty()) {
            if (!entry.empty()) {
                entries.push_back(entry);
            }
            entry.clear();
        } else {
            entry += line + "\n";
        }
    }
    if (!entry.empty()) {
        entries.push_back(entry);
    }
    entries.erase(std::remove_if(entries.begin(), entries.end(),
                                 [](const std::string& e) {
                                     const std::string dn = e.substr(0, e.find('\n'));
                                     return dn.find(",CN=Lab Accounts,") != std::string::npos ||
                                            dn.rfind("dn: CN=RID Set,", 0) == 0;
                                 }),
                  entries.end());
    std::sort(entries.begin(), entries.end());
    std::string dump;
    for (const std::string& e : entries) {
        dump += e + "\n";
    }
    return dump;
}

// "" for equal texts, else the first line where they part.
std::string FirstDifference(const std::string& expected, const std::string& actual) {
    const std::vector<std::string> a = Lines(expected);
    const std::vector<std::string> b = Lines(actual);
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        const std::string left = i < a.size() ? a[i] : "(end)";
        const std::string right = i < b.size() ? b[i] : "(end)";
        if (left != right) {
            return "line " + std::to_string(i + 1) + ": " + left + " | " + right;
        }
    }
    return "";
}

// The entries of a dump whose DN ends with `suffix`.
std::vector<std::string> EntriesBelow(const std::string& dump, const std::string& suffix) {
    std::vector<std::string> dns;
    for (const std::string& line : Lines(dump)) {
        if (line.rfind("dn: ", 0) == 0 && line.size() > suffix.size() &&
            line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
            dns.push_back(line.substr(4));
        }
    }
    return dns;
}

class ClientLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    ProcessResult Run(std::vector<std::string> arguments) {
        return KvTest::RunProgram(KV_BINARY_PATH, std::move(arguments));
    }
    // Exports the source pair (or `ad` with "-ad") and returns the program's output.
    ProcessResult Export(const std::vector<std::string>& storage) {
        std::vector<std::string> arguments = {"-ex", File(), "-rmf"};
        arguments.insert(arguments.end(), storage.begin(), storage.end());
        ProcessResult result = Run(arguments);
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        return result;
    }
    ProcessResult ExportSourcePair() { return Export({"-lds", lab.Value("KV_LAB_SRC_PORTS")}); }
    ProcessResult Import(std::vector<std::string> more = {"-users"}) {
        std::vector<std::string> arguments = {"-im", File(), "-lds", lab.Value("KV_LAB_DST_PORTS")};
        arguments.insert(arguments.end(), more.begin(), more.end());
        return Run(arguments);
    }
    std::string File() const { return dir.File("export.xml"); }
    std::string Sid(const std::string& account) const { return lab.Id("SID_" + account); }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

TEST_F(ClientLabTest, ExportOfTheSourcePairMatchesTheGoldenFile) {
    ProcessResult result = ExportSourcePair();
    ExpectGolden("export-lds.txt",
                 NameIdentifiers(ClientConsole(result.out) +
                                 SortRecords(ClientSection(KvTest::ReadFile(File())))));
}

TEST_F(ClientLabTest, ExportOfActiveDirectoryMatchesTheGoldenFile) {
    ProcessResult result = Export({"-ad"});
    ExpectGolden("export-ad.txt",
                 NameIdentifiers(ClientConsole(result.out) +
                                 SortRecords(ClientSection(KvTest::ReadFile(File())))));
}

// Imports into the target pair, brought back to its seeded state before and after.
class ClientImportLabTest : public ClientLabTest {
protected:
    void SetUp() override {
        ClientLabTest::SetUp();
        if (!HasFatalFailure()) {
            lab.Reset({"dst-sd", "dst-gc"});
        }
    }
    void TearDown() override {
        if (lab.Up()) {
            lab.Reset({"dst-sd", "dst-gc"});
        }
    }

    std::string TargetDump() const {
        return Dump(lab.Value("KV_LAB_DST_SD"), kDstSd) +
               Dump(lab.Value("KV_LAB_DST_GC"), "DC=korvant-gc");
    }
    // One value of an entry as base64 (ldapsearch's binary form), or "" when it is absent.
    std::string Value(const std::string& host, const std::string& dn,
                      const std::string& attribute) const {
        ProcessResult result = KvTest::RunProcess(
            "/usr/bin/ldapsearch",
            {"-LLL", "-o", "ldif_wrap=no", "-x", "-ZZ", "-H", "ldap://" + host, "-D",
             lab.Value("KV_LAB_USER"), "-y", lab.Value("KV_LAB_PASSWORD_FILE"), "-b", dn, "-s",
             "base", "(objectClass=*)", attribute});
        for (const std::string& line : Lines(result.out)) {
            if (line.rfind(attribute + ": ", 0) == 0) {
                return line.substr(attribute.size() + 2);
            }
            if (line.rfind(attribute + ":: ", 0) == 0) {
                return line.substr(attribute.size() + 3);
            }
        }
        return {};
    }
    std::string Source(const std::string& dn, const std::string& attribute) const {
        return Value(lab.Value("KV_LAB_SRC_SD"), dn, attribute);
    }
    std::string Target(const std::string& dn, const std::string& attribute) const {
        return Value(lab.Value("KV_LAB_DST_SD"), dn, attribute);
    }
    std::string UserDn(const std::string& account) const {
        return "CN=" + Sid(account) + ",CN=Users," + kDstSd;
    }
};

TEST_F(ClientImportLabTest, AnImportCreatesTheObjectsARepeatChangesNothingAndFiOverwrites) {
    ExportSourcePair();
    const std::string alice = Sid("ALICE");
    const std::string seeded = TargetDump();

    // An import of the client computers only leaves the client objects alone.
    ProcessResult clients = Import({"-clients"});
    EXPECT_EQ(clients.status, 0) << clients.out << clients.err;
    EXPECT_EQ(clients.out.find("Client objects import"), std::string::npos) << clients.out;

    // Without section keys every section is imported, the client objects among them. alice and
    // her token carry the mark of an earlier import; bob was made by the product and is taken
    // over; carol, the other tokens and the global record are new.
    ProcessResult first = Import({});
    EXPECT_EQ(first.status, 0) << first.out << first.err;
    EXPECT_NE(first.out.find("Client objects import started for LDS server:  127.0.0.1\n"
                             "Client objects will be imported into:  DC=korvant\n"),
              std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("User  " + alice +
                             "  import finished with error:  Object already exists. Use -fi "
                             "flag.\n"),
              std::string::npos)
        << first.out;
    EXPECT_NE(first.out.find("User token  token-alice-1  import finished with error:  Object "
                             "already exists. Use -fi flag.\n"),
              std::string::npos);
    for (const char* line : {"Imported  1  Global Quill Data (orvexKVGQuillData) objects.\n",
                             "Imported  2  users (person) objects.\n",
                             "Imported  2  user tokens (orvexKVUEI) objects.\n"
                             "Client objects import finished.\n"}) {
        EXPECT_NE(first.out.find(line), std::string::npos) << line << first.out;
    }

    // Every value arrives as it was in the source; bob's token with its flags corrected.
    const std::string srcNc = "DC=korvant";
    for (const std::string& account : {std::string("BOB"), std::string("CAROL")}) {
        SCOPED_TRACE(account);
        const std::string dn = "CN=" + Sid(account) + ",CN=Users,";
        for (const char* attribute :
             {"orvexKVObjectSid", "orvexKVUserAccessLevel", "orvexKVUserfControlLabels",
              "orvexKVUserEffectivePublicKey128", "orvexKVUserEffectiveKeyTimeGenerated128",
              "orvexKVUserPasswordHash", "orvexKVUserPasswordTimeGenerated",
              "orvexKVUserImitQuillCompList", "orvexKVUserQuillCompList"}) {
            SCOPED_TRACE(attribute);
            EXPECT_EQ(Target(dn + kDstSd, attribute), Source(dn + srcNc, attribute));
        }
        EXPECT_EQ(Target(dn + kDstSd, "description"), "objectMigrated");
    }
    // bob's flag the product had set stays; the record does not clear what it lacks.
    EXPECT_EQ(Target(UserDn("BOB"), "orvexKVUserfOutputSecret"), "TRUE");
    const std::string srcElids =
        "CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration," + srcNc;
    for (const std::string& token : {std::string("token-bob-1"), std::string("token-carol-1")}) {
        SCOPED_TRACE(token);
        for (const char* attribute : {"orvexKVUEIUserSID", "orvexKVUEIType", "orvexKVUEISize",
                                      "orvexKVUEIId", "orvexKVUEIAuthInfo"}) {
            SCOPED_TRACE(attribute);
            EXPECT_EQ(Target("CN=" + token + "," + kElids, attribute),
                      Source("CN=" + token + "," + srcElids, attribute));
        }
        EXPECT_EQ(Target("CN=" + token + "," + kElids, "description"), "objectMigrated");
    }
    EXPECT_EQ(Target("CN=token-bob-1," + kElids, "orvexKVUEIFlags"), "8");
    EXPECT_EQ(Target("CN=token-carol-1," + kElids, "orvexKVUEIFlags"), "1");
    EXPECT_EQ(Target("CN=token-carol-2," + kElids, "cn"), "");
    const std::string quill = "CN=GQuillData,CN=Korvant 5.0 Configuration,";
    for (const char* attribute : {"orvexKVGQuillDataKeysCheckData", "orvexKVGQuillDataKaCheckImit",
                                  "orvexKVGQuillDataSKaCheckImit"}) {
        EXPECT_EQ(Target(quill + kDstSd, attribute), Source(quill + srcNc, attribute));
    }
    EXPECT_EQ(Target(quill + kDstSd, "objectClass").empty(), false);
    // alice kept what the target had.
    EXPECT_EQ(Target(UserDn("ALICE"), "orvexKVUserEffectivePublicKey128"), "");

    // A second import changes nothing and says so for every object.
    const std::string imported = TargetDump();
    EXPECT_NE(imported, seeded);
    ProcessResult second = Import();
    EXPECT_EQ(second.status, 0) << second.out << second.err;
    EXPECT_EQ(
        Count(second.out, "import finished with error:  Object already exists. Use -fi flag.\n"),
        7u)
        << second.out;
    for (const char* line : {"Imported  0  Global Quill Data (orvexKVGQuillData) objects.\n",
                             "Imported  0  users (person) objects.\n",
                             "Imported  0  user tokens (orvexKVUEI) objects.\n"}) {
        EXPECT_NE(second.out.find(line), std::string::npos) << line << second.out;
    }
    EXPECT_EQ(FirstDifference(imported, TargetDump()), "");

    // With -fi every object is overwritten, alice with her full data.
    ProcessResult forced = Import({"-users", "-fi"});
    EXPECT_EQ(forced.status, 0) << forced.out << forced.err;
    EXPECT_EQ(Count(forced.out, "import finished with error"), 0u) << forced.out;
    for (const char* line : {"Imported  1  Global Quill Data (orvexKVGQuillData) objects.\n",
                             "Imported  3  users (person) objects.\n",
                             "Imported  3  user tokens (orvexKVUEI) objects.\n"}) {
        EXPECT_NE(forced.out.find(line), std::string::npos) << line << forced.out;
    }
    EXPECT_EQ(Target(UserDn("ALICE"), "orvexKVUserEffectivePublicKey128"),
              Source("CN=" + alice + ",CN=Users," + srcNc, "orvexKVUserEffectivePublicKey128"));
    EXPECT_EQ(Target(UserDn("ALICE"), "orvexKVUserPreviousKeyTimeGenerated128"),
              "133100000000000000");
}

TEST_F(ClientImportLabTest, AnActiveDirectoryExportImportsIntoTheTargetPair) {
    Export({"-ad"});
    // alice and her token in the target carry the mark of an earlier import: -fi takes them over.
    ProcessResult result = Import({"-users", "-fi"});
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    for (const char* line : {"Imported  1  Global Quill Data (orvexKVGQuillData) objects.\n",
                             "Imported  2  users (person) objects.\n",
                             "Imported  1  user tokens (orvexKVUEI) objects.\n"}) {
        EXPECT_NE(result.out.find(line), std::string::npos) << line << result.out;
    }
    const std::string ad = lab.Value("KV_LAB_AD");
    const std::string nc = lab.Value("KV_LAB_AD_NC");
    const std::string adAlice = "CN=Alice Archer,CN=Users," + nc;
    for (const char* attribute :
         {"orvexKVUserAccessLevel", "orvexKVUserfOutputSecret", "orvexKVUserEffectivePublicKey128",
          "orvexKVUserEffectiveKeyTimeGenerated128", "orvexKVUserPasswordHash",
          "orvexKVUserPasswordTimeGenerated"}) {
        SCOPED_TRACE(attribute);
        EXPECT_EQ(Target(UserDn("ALICE"), attribute), Value(ad, adAlice, attribute));
    }
    // The user's SID in Active Directory becomes the product SID of the AD LDS user.
    EXPECT_EQ(Target(UserDn("ALICE"), "orvexKVObjectSid"), Value(ad, adAlice, "objectSid"));
    EXPECT_EQ(Target(UserDn("BOB"), "orvexKVUserAccessLevel"), "1");
    const std::string adElids = "CN=User Electronic Identifiers,CN=Korvant 5.0 Configuration," + nc;
    for (const char* attribute : {"orvexKVUEIUserSID", "orvexKVUEIType", "orvexKVUEIFlags",
                                  "orvexKVUEISize", "orvexKVUEIId", "orvexKVUEIAuthInfo"}) {
        SCOPED_TRACE(attribute);
        EXPECT_EQ(Target("CN=ad-token-alice," + kElids, attribute),
                  Value(ad, "CN=ad-token-alice," + adElids, attribute));
    }
    const std::string quill = "CN=GQuillData,CN=Korvant 5.0 Configuration,";
    for (const char* attribute : {"orvexKVGQuillDataKeysCheckData", "orvexKVGQuillDataKaCheckImit",
                                  "orvexKVGQuillDataSKaCheckImit"}) {
        EXPECT_EQ(Target(quill + kDstSd, attribute), Value(ad, quill + nc, attribute));
    }
}

TEST_F(ClientImportLabTest, ANumberOutOfRangeEndsItsRecordAndTheOthersImport) {
    ExportSourcePair();
    std::string text = KvTest::ReadFile(File());
    const std::string carol = ">" + Sid("CAROL") + "</person>";
    const size_t record = text.rfind("<person ", text.find(carol));
    const size_t level = text.find("orvexKVUserAccessLevel=\"2\"", record);
    ASSERT_LT(level, text.find(carol));
    text.replace(level, 26, "orvexKVUserAccessLevel=\"4294967296\"");
    KvTest::WriteFile(File(), text);

    ProcessResult result = Import();
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("User  " + Sid("CAROL") +
                              "  import finished with error:  The value \"4294967296\" of "
                              "orvexKVUserAccessLevel is out of range for an unsigned 32-bit "
                              "number.\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("Imported  1  users (person) objects.\n"), std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("Imported  2  user tokens (orvexKVUEI) objects.\n"),
              std::string::npos);
    // carol was not made half; bob, before or after her in the file, got his own values only.
    EXPECT_EQ(Target(UserDn("CAROL"), "cn"), "");
    EXPECT_EQ(Target(UserDn("BOB"), "orvexKVUserAccessLevel"), "1");
    EXPECT_EQ(Target(UserDn("BOB"), "orvexKVUserEffectivePublicKey128"), "");
    EXPECT_EQ(Target(UserDn("BOB"), "orvexKVUserImitQuillCompList"), "");
}

TEST_F(ClientImportLabTest, NamesFromTheFileStayDirectlyBelowTheClientBase) {
    ExportSourcePair();
    std::string text = KvTest::ReadFile(File());
    const std::string sid = Sid("CAROL");
    // Names that, put into a DN as they are, would name entries elsewhere: a comma with a
    // relative name of the configuration, an escaped comma that swallows the base's own separator,
    // a plus that adds a second value to the relative name.
    const std::vector<std::string> names = {"x,CN=Korvant 5.0 Configuration", "y\\",
                                            "z+CN=Korvant 5.0 Configuration"};
    std::string records;
    for (const std::string& name : names) {
        records += "<orvexKVUEI orvexKVUEIType=\"7\" orvexKVUEIUserSID=\"" + sid + "\">" + name +
                   "</orvexKVUEI>";
    }
    text.replace(text.find("</Elids>"), 8, records + "</Elids>");
    text.replace(text.find("<Users>"), 7,
                 "<Users><person orvexKVUserAccessLevel=\"3\">x,CN=Korvant 5.0 "
                 "Configuration</person>");
    KvTest::WriteFile(File(), text);
    const std::string before = TargetDump();

    ProcessResult result = Import();
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("User  x,CN=Korvant 5.0 Configuration  import finished with error:  "
                              "The data is invalid.\n"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.out.find("Imported  5  user tokens (orvexKVUEI) objects.\n"),
              std::string::npos)
        << result.out;
    const std::string after = TargetDump();
    // Outside the client containers nothing changed; inside the identifiers' container each name
    // is one entry directly below it, with the name whole as its cn.
    const std::vector<std::string> tokens = EntriesBelow(after, "," + kElids);
    EXPECT_EQ(tokens.size(), 6u);
    for (const std::string& dn :
         {std::string("CN=x\\,CN\\3DKorvant 5.0 Configuration,") + kElids,
          std::string("CN=y\\\\,") + kElids,
          std::string("CN=z\\+CN\\3DKorvant 5.0 Configuration,") + kElids}) {
        EXPECT_NE(std::find(tokens.begin(), tokens.end(), dn), tokens.end()) << dn;
    }
    EXPECT_EQ(Target(std::string("CN=y\\\\,") + kElids, "cn"), "y\\");
    EXPECT_EQ(Target(std::string("CN=x\\,CN\\3DKorvant 5.0 Configuration,") + kElids, "cn"),
              "x,CN=Korvant 5.0 Configuration");
    auto outsideClients = [&](const std::string& dump) {
        std::string kept;
        std::string entry;
        bool client = false;
        for (const std::string& line : Lines(dump)) {
            if (line.rfind("dn: ", 0) == 0) {
                client = line.find("," + kElids) != std::string::npos ||
                         line.find(",CN=Users," + kDstSd) != std::string::npos ||
                         line.find("dn: CN=GQuillData,") == 0;
            }
            if (!client) {
                kept += line + "\n";
            }
        }
        return kept;
    };
    EXPECT_EQ(FirstDifference(outsideClients(before), outsideClients(after)), "");
}

// An operator of the product who may read the storage but not write its client objects: the
// seed keeps the account disabled and without a password; it gets the lab password for the test.
class OperatorLabTest : public ClientImportLabTest {
protected:
    void SetUp() override {
        ClientImportLabTest::SetUp();
        if (!HasFatalFailure()) {
            KvTest::SetLabOperator(lab, true);
        }
    }
    void TearDown() override {
        if (lab.Up()) {
            KvTest::SetLabOperator(lab, false);
        }
        ClientImportLabTest::TearDown();
    }
};

TEST_F(OperatorLabTest, AnImportWithoutRightsStopsWithAccessDeniedAtTheEndOfTheSection) {
    ExportSourcePair();
    const std::string before = TargetDump();
    ProcessResult result =
        Import({"-users", "-cr", kOperatorLogin + ":" + lab.Value("KV_LAB_PASSWORD")});
    EXPECT_EQ(result.status, 255) << result.out << result.err;
    EXPECT_NE(result.out.find("Client objects will be imported into:  DC=korvant\n"
                              "Global Quill Data import finished with error:  Access is denied.\n"),
              std::string::npos)
        << result.out;
    // Nothing after the refusal is tried: no totals, no end of the import, no success.
    EXPECT_EQ(result.out.find("Imported "), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find("Client objects import finished."), std::string::npos);
    EXPECT_EQ(result.out.find("The program was successfully completed."), std::string::npos);
    // The record's line, then the run's fatal output with the error that ended the section.
    EXPECT_EQ(Count(result.out + result.err, "Access is denied.\n"), 2u)
        << result.out << result.err;
    EXPECT_EQ(FirstDifference(before, TargetDump()), "");
}

}  // namespace
