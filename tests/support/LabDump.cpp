#include "support/LabDump.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "helper/Base64.h"
#include "helper/Identifiers.h"
#include "platform/CodePage.h"
#include "platform/Guid.h"
#include "support/Lab.h"
#include "support/RunProcess.h"

namespace KvTest {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// "name:: base64" of a SID or GUID attribute as "name: text"; anything else unchanged.
std::string Readable(const std::string& line) {
    const size_t colon = line.find(":: ");
    if (colon == std::string::npos) {
        return line;
    }
    const std::string name = line.substr(0, colon);
    const std::string lower = Lower(name);
    const std::vector<uint8_t> bytes = KvMigration::Base64Decode(line.substr(colon + 3));
    if (lower.find("sid") != std::string::npos &&
        KvMigration::ValidSidLength(bytes.data(), bytes.size()) == bytes.size()) {
        return name + ": " +
               Platform::WideToUtf8(KvMigration::SidToString(bytes.data(), bytes.size()));
    }
    if (lower.find("guid") != std::string::npos && bytes.size() == 16) {
        return name + ": " +
               Platform::WideToUtf8(
                   KvMigration::StringFromGuid(Platform::Guid::FromBytes(bytes.data())));
    }
    // Text that LDIF had to encode (line breaks, non-ASCII): readable, with its breaks escaped.
    std::string text(bytes.begin(), bytes.end());
    bool readable = Platform::IsValidUtf8(text);
    for (unsigned char c : text) {
        readable = readable && (c >= 0x20 || c == '\t' || c == '\n' || c == '\r');
    }
    if (!readable) {
        return line;
    }
    std::string escaped;
    for (char c : text) {
        escaped += c == '\n'   ? std::string("\\n")
                   : c == '\r' ? std::string("\\r")
                               : std::string(1, c);
    }
    return name + ":~ " + escaped;
}

}  // namespace

std::string DumpPartition(const std::string& port, const std::string& base,
                          const std::set<std::string>& dropped) {
    const Lab& lab = Lab::Get();
    ProcessResult result = RunProcess(
        "/usr/bin/ldapsearch",
        {"-LLL", "-o", "ldif_wrap=no", "-x", "-ZZ", "-H",
         "ldap://" + lab.Value("KV_LAB_LDS_HOST") + ":" + port, "-D", lab.Value("KV_LAB_USER"),
         "-y", lab.Value("KV_LAB_PASSWORD_FILE"), "-b", base, "(objectClass=*)", "*"});
    if (result.status != 0) {
        throw std::runtime_error("ldapsearch of " + base + " failed with status " +
                                 std::to_string(result.status) + ": " + result.err);
    }
    std::set<std::string> droppedLower;
    for (const std::string& name : dropped) {
        droppedLower.insert(Lower(name));
    }
    std::map<std::string, std::vector<std::string>> entries;  // lower-case DN -> lines
    std::istringstream in(result.out);
    std::vector<std::string>* entry = nullptr;
    for (std::string line; std::getline(in, line);) {
        if (line.empty()) {
            entry = nullptr;
            continue;
        }
        if (line.rfind("dn: ", 0) == 0 || line.rfind("dn:: ", 0) == 0) {
            entry = &entries[Lower(line)];
            entry->push_back(line);
            continue;
        }
        const size_t colon = line.find(':');
        if (entry == nullptr || colon == std::string::npos ||
            droppedLower.count(Lower(line.substr(0, colon))) != 0) {
            continue;
        }
        entry->push_back(Readable(line));
    }
    std::string dump;
    for (auto& [dn, lines] : entries) {
        std::sort(lines.begin() + 1, lines.end());
        for (const std::string& line : lines) {
            dump += line + "\n";
        }
        dump += "\n";
    }
    return dump;
}

std::vector<std::pair<std::string, std::string>> LabAccountSids() {
    std::vector<std::pair<std::string, std::string>> sids;
    const Lab& lab = Lab::Get();
    LdapHelper::session_ptr ad = lab.OpenAd();
    for (const LdapHelper::object_ptr& account :
         ad->search(LdapHelper::query(Platform::Utf8ToWide(lab.Value("KV_LAB_AD_NC")),
                                      LdapHelper::SCOPE_SUBTREE, L"(objectSid=*)"),
                    {L"objectSid", L"sAMAccountName"})) {
        std::vector<std::string> sid = account->get_attr(L"objectSid").values();
        std::vector<std::string> name = account->get_attr(L"sAMAccountName").values();
        if (sid.empty() || name.empty()) {
            continue;
        }
        std::string accountName = name.front();
        if (!accountName.empty() && accountName.back() == '$') {
            accountName.pop_back();
        }
        std::transform(accountName.begin(), accountName.end(), accountName.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        sids.emplace_back(
            Platform::WideToUtf8(KvMigration::SidToString(
                reinterpret_cast<const uint8_t*>(sid.front().data()), sid.front().size())),
            "SID_" + accountName);
    }
    return sids;
}

const std::set<std::string>& VolatileAttributes() {
    static const std::set<std::string> names = {"lastLogon",   "lastLogonTimestamp", "logonCount",
                                                "badPwdCount", "badPasswordTime",    "lastLogoff",
                                                "lockoutTime"};
    return names;
}

const std::set<std::string>& GeneratedAttributes() {
    static const std::set<std::string> names = [] {
        std::set<std::string> all = VolatileAttributes();
        for (const char* name :
             {"whenCreated", "whenChanged", "uSNCreated", "uSNChanged", "objectGUID",
              "dSCorePropagationData", "distinguishedName", "objectSid"}) {
            all.insert(name);
        }
        return all;
    }();
    return names;
}

}  // namespace KvTest
