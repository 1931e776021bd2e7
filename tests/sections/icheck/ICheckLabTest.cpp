// The ICheck section through the real binary on the lab: the export of the source pair and of
// `ad` against a golden file, and imports into the target pair tied to the second domain: the new
// model with its adapted bodies, one time stamp per platform, the restore file that ldapadd
// brings back, both product locales, a login that may not write, and a migration of every section.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "helper/Identifiers.h"
#include "ldap/LdapHelper.h"
#include "platform/CodePage.h"
#include "support/Golden.h"
#include "support/LabOperator.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"

namespace {

using KvTest::Lab;
using KvTest::ProcessResult;
using Bytes = std::vector<uint8_t>;

const std::wstring kConfiguration = L",CN=Korvant 5.0 Configuration,";
const wchar_t* const kContainers[] = {L"CN=Integrity Check Objects",
                                      L"CN=Integrity Check Objects x64"};
const wchar_t* const kClasses[] = {L"orvexKVICheckObj", L"orvexKVICheckObj64"};

std::string ICheckSection(const std::string& file) {
    const size_t begin = file.find("<ICheck>");
    const size_t end = file.find("</ICheck>");
    return begin == std::string::npos || end == std::string::npos
               ? std::string()
               : file.substr(begin, end + 9 - begin);
}

// The console lines of the section's pass, from its first line to its last.
std::string ICheckConsole(const std::string& out, const std::string& first,
                          const std::string& last) {
    const size_t begin = out.find(first);
    const size_t end = out.rfind(last);
    return begin == std::string::npos || end == std::string::npos
               ? out
               : out.substr(begin, out.find('\n', end) + 1 - begin);
}

// The lines between "Erasing previous model done" and "Finishing import" of each platform sorted.
std::string SortObjectLines(const std::string& console) {
    std::istringstream in(console);
    std::string out;
    std::vector<std::string> objects;
    bool inObjects = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Finishing import", 0) == 0) {
            std::sort(objects.begin(), objects.end());
            for (const std::string& object : objects) {
                out += object + "\n";
            }
            objects.clear();
            inObjects = false;
        }
        if (inObjects) {
            objects.push_back(line);
        } else {
            out += line + "\n";
        }
        if (line == "Erasing previous model done") {
            inObjects = true;
        }
    }
    return out;
}

std::string Utf8(const std::wstring& text) {
    return Platform::WideToUtf8(text);
}

uint32_t U32(const Bytes& body, size_t offset) {
    EXPECT_LE(offset + 4, body.size());
    if (offset + 4 > body.size()) {
        return 0;
    }
    return body[offset] | body[offset + 1] << 8 | body[offset + 2] << 16 |
           static_cast<uint32_t>(body[offset + 3]) << 24;
}

std::wstring Utf16Name(const Bytes& body, size_t offset, size_t bytes) {
    std::wstring text;
    for (size_t i = offset; i + 1 < offset + bytes && i + 1 < body.size(); i += 2) {
        wchar_t c = static_cast<wchar_t>(body[i] | body[i + 1] << 8);
        if (c == 0) {
            break;
        }
        text += c;
    }
    return text;
}

// One object of a platform's container as the directory holds it.
struct Stored {
    std::wstring dn;
    std::string id;
    std::string type;
    Bytes body;
};

class ICheckLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }

    std::wstring TargetSd() const { return Platform::Utf8ToWide(lab.Id("DST_SD_DN")); }
    std::wstring Container(int platform, const std::wstring& base) const {
        return kContainers[platform] + kConfiguration + base;
    }

    // The objects of a container, by identifier.
    std::map<std::string, Stored> Model(const LdapHelper::session_ptr& session, int platform,
                                        const std::wstring& base) const {
        std::map<std::string, Stored> model;
        for (const LdapHelper::object_ptr& object : session->search(
                 LdapHelper::query(Container(platform, base), LdapHelper::SCOPE_SUBTREE,
                                   L"(objectClass=" + std::wstring(kClasses[platform]) + L")"),
                 {L"orvexKVICheckObjID", L"orvexKVICheckObjType", L"orvexKVICheckObjData"})) {
            Stored stored{object->dn(), Utf8(object->get_attr(L"orvexKVICheckObjID").to_string()),
                          Utf8(object->get_attr(L"orvexKVICheckObjType").to_string()),
                          object->get_attr(L"orvexKVICheckObjData").data()};
            model[stored.id + "/" + stored.type] = stored;
        }
        return model;
    }

    LdapHelper::session_ptr TargetSession() const {
        return lab.Open(lab.Value("KV_LAB_LDS_HOST"), 51000, 51001);
    }

    // Exports the source pair (every section) into the scratch folder.
    std::string ExportSource() {
        const std::string file = dir.File("source.xml");
        ProcessResult result = KvTest::RunProgram(
            KV_BINARY_PATH, {"-ex", file, "-rmf", "-lds", lab.Value("KV_LAB_SRC_PORTS")});
        EXPECT_EQ(result.status, 0) << result.out << result.err;
        return file;
    }

    // The binary against the target pair with the given keys, the domain and login of `target`,
    // and the extra environment.
    ProcessResult Import(const std::string& file, std::vector<std::string> keys,
                         const KvTest::LabTarget& target,
                         const std::map<std::string, std::string>& environment = {},
                         const std::string& credentials = "") {
        std::vector<std::string> arguments = {"-im", file, "-lds", lab.Value("KV_LAB_DST_PORTS")};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        for (const std::string& argument :
             {std::string("-srv"), lab.Value("KV_LAB_LDS_HOST"), std::string("-dc"), target.dc,
              std::string("-oms"), target.omsSid, std::string("-cr"),
              credentials.empty() ? lab.Credentials() : credentials}) {
            arguments.push_back(argument);
        }
        ProcessResult result = KvTest::RunProcess(KV_BINARY_PATH, arguments, environment, 300);
        EXPECT_EQ((result.out + result.err).find(lab.Value("KV_LAB_PASSWORD")), std::string::npos)
            << "the password was printed";
        return result;
    }

    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

// The golden file shows which objects are exported and how their bodies are written; the
// directory returns them in the order of their generated GUIDs, which change whenever the lab is
// built anew, so the file's order is compared with a search of its own.
TEST_F(ICheckLabTest, ExportOfBothStoragesMatchesTheGoldenFile) {
    struct Case {
        const char* title;
        std::vector<std::string> storage;
        std::wstring base;
        bool lds;
    };
    const std::vector<Case> cases = {
        {"AD LDS pair", {"-lds", lab.Value("KV_LAB_SRC_PORTS")}, L"DC=korvant", true},
        {"Active Directory", {"-ad"}, Platform::Utf8ToWide(lab.Value("KV_LAB_AD_NC")), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> arguments = {"-ex", dir.File("export.xml"), "-rmf"};
        arguments.insert(arguments.end(), c.storage.begin(), c.storage.end());
        ProcessResult result = KvTest::RunProgram(KV_BINARY_PATH, arguments);
        ASSERT_EQ(result.status, 0) << result.out << result.err;
        const std::string section = ICheckSection(KvTest::ReadFile(dir.File("export.xml")));
        ASSERT_FALSE(section.empty());
        KvTest::ExpectGolden(KvTest::SortSiblingBlocks(section, 8),
                             std::string(KV_GOLDEN_DIR) + "/icheck.xml");
        EXPECT_NE(result.out.find("Starting export Icheck model for  x86  platform\n"
                                  "18  objects found\n"
                                  "13  objects exported\n"
                                  "Export Icheck model for  x86  platform done\n"
                                  "Starting export Icheck model for  x64  platform\n"
                                  "6  objects found\n"
                                  "5  objects exported\n"
                                  "Export Icheck model for  x64  platform done\n"),
                  std::string::npos)
            << result.out;

        LdapHelper::session_ptr session =
            c.lds ? lab.Open(lab.Value("KV_LAB_LDS_HOST"), 50000, 50001) : lab.OpenAd();
        for (int platform = 0; platform < 2; ++platform) {
            std::vector<std::string> directoryOrder;
            for (const LdapHelper::object_ptr& object :
                 session->search(LdapHelper::query(
                                     Container(platform, c.base), LdapHelper::SCOPE_SUBTREE,
                                     L"(&(objectClass=" + std::wstring(kClasses[platform]) + L"))"),
                                 {L"orvexKVICheckObjID", L"orvexKVICheckObjType"})) {
                const std::string type =
                    Utf8(object->get_attr(L"orvexKVICheckObjType").to_string());
                const std::string id = Utf8(object->get_attr(L"orvexKVICheckObjID").to_string());
                const int number = type.empty() ? 0 : std::stoi(type);
                if ((number >= 1 && number <= 6) || (number == 9 && id != "2")) {
                    directoryOrder.push_back(id + "/" + type);
                }
            }
            std::vector<std::string> fileOrder;
            const std::string element = Utf8(kClasses[platform]);
            const size_t begin = section.find("<" + element + ">");
            const std::string body =
                section.substr(begin, section.find("</" + element + ">") - begin);
            const std::regex object(
                "orvexKVICheckObjID=\"([0-9]+)\" orvexKVICheckObjType=\"([0-9]+)\"");
            for (auto it = std::sregex_iterator(body.begin(), body.end(), object);
                 it != std::sregex_iterator(); ++it) {
                fileOrder.push_back((*it)[1].str() + "/" + (*it)[2].str());
            }
            EXPECT_EQ(fileOrder, directoryOrder) << element;
        }
    }
}

class ICheckImportLabTest : public ICheckLabTest {
protected:
    void SetUp() override {
        ICheckLabTest::SetUp();
        if (!HasFatalFailure()) {
            lab.Reset({"dst-new"});
        }
    }
    void TearDown() override {
        if (lab.Up()) {
            lab.Reset({"dst-sd", "dst-gc"});
        }
    }

    // The lab's registry file with another product locale, for the run only.
    std::map<std::string, std::string> Locale(const std::string& locale) {
        std::wstring registry = Platform::Utf16LeToWide(
            KvTest::ReadFile(lab.Value("KV_REGISTRY_FILE")).substr(2));  // after the BOM
        const std::wstring from = L"\"ProductLocale\"=\"en-us\"";
        for (size_t at = registry.find(from); at != std::wstring::npos;
             at = registry.find(from, at + 1)) {
            registry.replace(at, from.size(),
                             L"\"ProductLocale\"=\"" + Platform::Utf8ToWide(locale) + L"\"");
        }
        const std::string path = dir.File("registry-" + locale + ".reg");
        KvTest::WriteFile(path, "\xFF\xFE" + Platform::WideToUtf16Le(registry));
        return {{"KV_REGISTRY_FILE", path}};
    }
};

Bytes SidBytes(const std::string& text) {
    return KvMigration::StringToSid(Platform::Utf8ToWide(text));
}

TEST_F(ICheckImportLabTest, TheTargetGetsTheAdaptedModelAndTheRestoreFileBringsBackTheOldOne) {
    const std::string file = ExportSource();
    LdapHelper::session_ptr target = TargetSession();
    LdapHelper::session_ptr source = lab.Open(lab.Value("KV_LAB_LDS_HOST"), 50000, 50001);
    const auto previous = std::array{Model(target, 0, TargetSd()), Model(target, 1, TargetSd())};
    const auto sourceModel =
        std::array{Model(source, 0, L"DC=korvant"), Model(source, 1, L"DC=korvant")};
    ASSERT_EQ(previous[0].size(), 3u);
    ASSERT_EQ(previous[1].size(), 2u);

    const uint64_t before =
        116444736000000000ULL + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                        .count() /
                                    100;
    ProcessResult result = Import(file, {"-icheck"}, KvTest::NewDomain());
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    const uint64_t after =
        116444736000000000ULL + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                        .count() /
                                    100;

    // The console, with the paths of the restore files.
    std::vector<std::string> restoreFiles;
    const std::regex saved("The previous model was saved to (\\S+\\.ldif)\n");
    for (auto it = std::sregex_iterator(result.out.begin(), result.out.end(), saved);
         it != std::sregex_iterator(); ++it) {
        restoreFiles.push_back((*it)[1].str());
    }
    ASSERT_EQ(restoreFiles.size(), 2u) << result.out;
    // The lines of the objects come in the directory's order of the source, which the lab's
    // generated GUIDs decide; they are compared as a set per platform.
    EXPECT_EQ(SortObjectLines(
                  ICheckConsole(result.out, "Starting import Icheck model", "objects imported")),
              "Starting import Icheck model for  x86  platform\n"
              "Erasing previous model\n"
              "3  objects to delete\n"
              "The previous model was saved to " +
                  restoreFiles[0] +
                  "\n"
                  "Erasing previous model done\n"
                  "Replacing client " +
                  lab.Id("SID_WS01") + " to " + lab.Id("NEW_SID_WS01") +
                  "\n"
                  "Replacing client " +
                  lab.Id("SID_WS02") + " to " + lab.Id("NEW_SID_WS02") +
                  "\n"
                  "Replacing clients list in default group\n"
                  "Replacing scenario in default KV task\n"
                  "Finishing import Icheck model for  x86  platform\n"
                  "14  objects imported\n"
                  "Starting import Icheck model for  x64  platform\n"
                  "Erasing previous model\n"
                  "2  objects to delete\n"
                  "The previous model was saved to " +
                  restoreFiles[1] +
                  "\n"
                  "Erasing previous model done\n"
                  "Replacing client " +
                  lab.Id("SID_WS01") + " to " + lab.Id("NEW_SID_WS01") +
                  "\n"
                  "Replacing clients list in default group\n"
                  "Replacing scenario in default KV task\n"
                  "Finishing import Icheck model for  x64  platform\n"
                  "6  objects imported\n");

    for (int platform = 0; platform < 2; ++platform) {
        SCOPED_TRACE(platform == 0 ? "x86" : "x64");
        const auto model = Model(target, platform, TargetSd());
        // What the file holds and the new time stamp; every object named by its type and
        // identifier inside the platform's container.
        std::vector<std::string> expected;
        for (const auto& [key, object] : sourceModel[platform]) {
            const int type = std::stoi(object.type.empty() ? "0" : object.type);
            if ((type >= 1 && type <= 6) || (type == 9 && object.id != "2")) {
                expected.push_back(key);
            }
        }
        expected.push_back("2/9");
        std::sort(expected.begin(), expected.end());
        std::vector<std::string> keys;
        for (const auto& [key, object] : model) {
            keys.push_back(key);
            char rdn[64];
            std::snprintf(rdn, sizeof(rdn), "CN=Type 0x%08X ID 0x%" PRIx64 ",",
                          static_cast<unsigned>(std::stoul(object.type)),
                          static_cast<uint64_t>(std::stoull(object.id)));
            EXPECT_EQ(Utf8(object.dn), rdn + Utf8(Container(platform, TargetSd())));
        }
        EXPECT_EQ(keys, expected);

        const Stored& stamp = model.at("2/9");
        ASSERT_EQ(stamp.body.size(), 8u);
        uint64_t time = 0;
        for (int i = 7; i >= 0; --i) {
            time = time << 8 | stamp.body[static_cast<size_t>(i)];
        }
        EXPECT_GE(time, before);
        EXPECT_LE(time, after);

        // The default group: the file's group up to its B block, the target's clients list.
        const std::string groupKey = platform == 0 ? "9/6" : "1/6";
        const Bytes& group = model.at(groupKey).body;
        const Bytes& old = previous[platform].at("1/6").body;
        const size_t groupEnd = 100 + U32(group, 88) + U32(group, 92) + U32(group, 96);
        const size_t oldEnd = 100 + U32(old, 88) + U32(old, 92) + U32(old, 96);
        EXPECT_EQ(
            Bytes(group.begin(), group.begin() + static_cast<long>(groupEnd)),
            Bytes(sourceModel[platform].at(groupKey).body.begin(),
                  sourceModel[platform].at(groupKey).body.begin() + static_cast<long>(groupEnd)));
        EXPECT_EQ(Bytes(group.begin() + static_cast<long>(groupEnd), group.end()),
                  Bytes(old.begin() + static_cast<long>(oldEnd), old.end()));

        // The default job and scenario under the English names, with the installation's scenario.
        const Bytes& job = model.at("2/1").body;
        EXPECT_EQ(Utf16Name(job, 73 + U32(job, 57) + U32(job, 61), U32(job, 65)),
                  L"Korvant Suite resources control job");
        const Bytes& scenario = model.at(platform == 0 ? "5/3" : "3/3").body;
        const size_t nameAt = 32 + U32(scenario, 16);
        EXPECT_EQ(Utf16Name(scenario, nameAt, U32(scenario, 20)),
                  L"Korvant Suite resources control");
        const std::wstring text =
            Utf16Name(scenario, nameAt + U32(scenario, 20) + U32(scenario, 24), U32(scenario, 28));
        EXPECT_EQ(text.substr(0, 13), L"check files: ");
        EXPECT_NE(text.find(platform == 0 ? L"%ProgramFiles%" : L"%ProgramW6432%"),
                  std::wstring::npos)
            << Utf8(text);
        EXPECT_EQ(scenario.size(),
                  nameAt + U32(scenario, 20) + U32(scenario, 24) + U32(scenario, 28));
    }

    // Client entries of computers that moved to new.local carry their new SIDs and DNS names;
    // WS04, which has no computer there, stays as it was.
    const auto x86 = Model(target, 0, TargetSd());
    struct Client {
        std::string key;
        std::string sid;
        std::wstring name;
    };
    for (const Client& client : {Client{"10/6", "NEW_SID_WS01", L"ws01.corp.local"},
                                 Client{"11/6", "NEW_SID_WS02", L"ws02.corp.local"}}) {
        SCOPED_TRACE(client.key);
        const Bytes& body = x86.at(client.key).body;
        const Bytes sid = SidBytes(lab.Id(client.sid));
        EXPECT_EQ(Bytes(body.begin() + 20, body.begin() + 20 + static_cast<long>(sid.size())), sid);
        EXPECT_EQ(Utf16Name(body, 100 + U32(body, 88), U32(body, 92)), client.name);
        EXPECT_EQ(body.size(), 100 + U32(body, 88) + U32(body, 92) + U32(body, 96));
    }
    EXPECT_EQ(x86.at("12/6").body, sourceModel[0].at("12/6").body);

    // The restore files bring the previous model back once the new one is removed.
    for (int platform = 0; platform < 2; ++platform) {
        for (const auto& [key, object] : Model(target, platform, TargetSd())) {
            target->remove_object(object.dn.c_str());
        }
    }
    for (const std::string& restore : restoreFiles) {
        ProcessResult added = KvTest::RunProcess(
            "/usr/bin/ldapadd",
            {"-x", "-ZZ", "-H", "ldap://" + lab.Value("KV_LAB_LDS_HOST") + ":51000", "-D",
             lab.Value("KV_LAB_USER"), "-y", lab.Value("KV_LAB_PASSWORD_FILE"), "-f", restore});
        EXPECT_EQ(added.status, 0) << added.out << added.err;
    }
    for (int platform = 0; platform < 2; ++platform) {
        const auto restored = Model(target, platform, TargetSd());
        ASSERT_EQ(restored.size(), previous[platform].size());
        for (const auto& [key, object] : previous[platform]) {
            SCOPED_TRACE(key);
            ASSERT_EQ(restored.count(key), 1u);
            EXPECT_EQ(Utf8(restored.at(key).dn), Utf8(object.dn));
            EXPECT_EQ(restored.at(key).body, object.body);
        }
    }
}

TEST_F(ICheckImportLabTest, TheRussianProductGetsRussianNamesAndItsOwnScenarios) {
    const std::string file = ExportSource();
    ProcessResult result = Import(file, {"-icheck"}, KvTest::NewDomain(), Locale("ru-ru"));
    ASSERT_EQ(result.status, 0) << result.out << result.err;
    LdapHelper::session_ptr target = TargetSession();
    for (int platform = 0; platform < 2; ++platform) {
        SCOPED_TRACE(platform == 0 ? "x86" : "x64");
        const auto model = Model(target, platform, TargetSd());
        const Bytes& job = model.at("2/1").body;
        EXPECT_EQ(Utf16Name(job, 73 + U32(job, 57) + U32(job, 61), U32(job, 65)),
                  L"Задание для контроля ресурсов Korvant Suite");
        const Bytes& scenario = model.at(platform == 0 ? "5/3" : "3/3").body;
        const size_t nameAt = 32 + U32(scenario, 16);
        EXPECT_EQ(Utf16Name(scenario, nameAt, U32(scenario, 20)),
                  L"Контроль ресурсов Korvant Suite");
        const std::wstring text =
            Utf16Name(scenario, nameAt + U32(scenario, 20) + U32(scenario, 24), U32(scenario, 28));
        EXPECT_EQ(text.substr(0, 17), L"проверить файлы: ") << Utf8(text);
    }
}

// An operator of the product who may read the storage but not write it: the seed keeps the
// account disabled and without a password; it gets the lab password for the test.
class ICheckOperatorLabTest : public ICheckLabTest {
protected:
    void SetUp() override {
        ICheckLabTest::SetUp();
        if (!HasFatalFailure()) {
            lab.Reset({"dst-sd", "dst-gc"});
            KvTest::SetLabOperator(lab, true);
        }
    }
    void TearDown() override {
        if (lab.Up()) {
            KvTest::SetLabOperator(lab, false);
            lab.Reset({"dst-sd", "dst-gc"});
        }
    }
};

TEST_F(ICheckOperatorLabTest, ALoginWithoutWriteAccessEndsWithAccessDeniedAndChangesNothing) {
    const std::string file = ExportSource();
    LdapHelper::session_ptr target = TargetSession();
    const auto previous = std::array{Model(target, 0, TargetSd()), Model(target, 1, TargetSd())};
    ProcessResult result = Import(file, {"-icheck"}, KvTest::DefaultDomain(), {},
                                  "CORP\\kvoperator:" + lab.Value("KV_LAB_PASSWORD"));
    EXPECT_EQ(result.status, 255) << result.out << result.err;
    EXPECT_EQ(result.out.find("The program was successfully completed."), std::string::npos);
    // The refusal of the first deletion in yellow, then the section's end with the run's fatal
    // output.
    EXPECT_NE(result.err.find("Starting import Icheck model for x86 platform failed: Access is "
                              "denied.\n"),
              std::string::npos)
        << result.err;
    // The fatal output may close with a line naming the trace file.
    std::string err = result.err;
    const size_t traceLine = err.rfind("\nTrace file: ");
    if (traceLine != std::string::npos) {
        err.erase(traceLine + 1);
    }
    const std::string fatal = "\nAccess is denied.\n";
    EXPECT_EQ(err.rfind(fatal), err.size() - fatal.size()) << result.err;
    for (int platform = 0; platform < 2; ++platform) {
        const auto now = Model(target, platform, TargetSd());
        ASSERT_EQ(now.size(), previous[platform].size());
        for (const auto& [key, object] : previous[platform]) {
            ASSERT_EQ(now.count(key), 1u) << key;
            EXPECT_EQ(now.at(key).body, object.body) << key;
        }
    }
}

TEST_F(ICheckImportLabTest, AMigrationOfEverySectionCarriesTheModelAlong) {
    lab.Reset({"dst-sd", "dst-gc"});
    const std::string file = ExportSource();
    ProcessResult result = Import(file, {}, KvTest::DefaultDomain());
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("The program was successfully completed."), std::string::npos);
    const std::string text = KvTest::ReadFile(file);
    for (const char* section : {"<Mapping>", "<Common>", "<Oms>", "<Client>", "<ICheck>"}) {
        EXPECT_NE(text.find(section), std::string::npos) << section;
    }
    LdapHelper::session_ptr target = TargetSession();
    EXPECT_EQ(Model(target, 0, TargetSd()).size(), 14u);
    EXPECT_EQ(Model(target, 1, TargetSd()).size(), 6u);
}

}  // namespace
