#include "server/PolicyTemplate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <set>

#include "base/Trace.h"
#include "platform/CodePage.h"
#include "server/IniParser.h"
#include "server/KvGpeXml.h"

namespace KvMigration {
namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

std::optional<std::string> ReadSmallFile(const std::string& path) {
    FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {};
    if (file.Get() < 0 || fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    std::string bytes;
    std::array<char, 65536> chunk;
    for (;;) {
        ssize_t n = read(file.Get(), chunk.data(), chunk.size());
        if (n < 0) {
            return std::nullopt;
        }
        if (n == 0) {
            return bytes;
        }
        if (bytes.size() + static_cast<size_t>(n) > PolicyTemplateMaxBytes) {
            KvBase::GetTrace().Trace(KvBase::TraceError, "File group policy %s exceeds %zu bytes",
                                     path.c_str(), PolicyTemplateMaxBytes);
            return std::nullopt;
        }
        bytes.append(chunk.data(), static_cast<size_t>(n));
    }
}

// What a text-mode read on the template's home system delivers: CR LF pairs as LF, and nothing
// from the first Ctrl-Z on, which Windows editors write as an end-of-file mark. No ANSI code page
// uses the byte 0x1A inside a character, so the cut is made on the bytes.
std::string TextModeLines(const std::string& bytes) {
    constexpr char kCtrlZ = '\x1A';
    std::string text;
    text.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size() && bytes[i] != kCtrlZ; ++i) {
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            continue;
        }
        text.push_back(bytes[i]);
    }
    return text;
}

// `  <Policy uniqueName="" value="" type=""/>` and its line break, and the longer of the two
// types ("XMLString").
constexpr size_t kPolicyElementMarkupChars = 48;
constexpr size_t kLongestTypeChars = 9;

// The characters a text takes in an attribute value of the written document.
size_t EscapedChars(std::wstring_view text) {
    size_t chars = text.size();
    for (wchar_t c : text) {
        switch (c) {
            case L'"':
                chars += 5;
                break;
            case L'&':
            case L'\r':
            case L'\n':
                chars += 4;
                break;
            case L'<':
            case L'>':
            case L'\t':
                chars += 3;
                break;
            default:
                break;
        }
    }
    return chars;
}

// What the settings of one template may still cost.
class SettingBudget {
public:
    // False, traced, when the setting no longer fits.
    bool Take(std::wstring_view name, std::wstring_view value) {
        const size_t cost = PolicySettingCost(name, value);
        if (cost > left_) {
            KvBase::GetTrace().Trace(KvBase::TraceError,
                                     L"The group policy settings exceed %zu bytes",
                                     PolicyTemplateMaxSettingBytes);
            return false;
        }
        left_ -= cost;
        return true;
    }

private:
    size_t left_ = PolicyTemplateMaxSettingBytes;
};

const std::wstring kDacs = L"Dacs";
const std::wstring kPrn = L"Prn";

}  // namespace

size_t PolicySettingCost(std::wstring_view name, std::wstring_view value) {
    return sizeof(TemplateSetting) + sizeof(PolicyEntry) +
           (kPolicyElementMarkupChars + kLongestTypeChars + EscapedChars(name) +
            EscapedChars(value)) *
               sizeof(wchar_t);
}

std::optional<std::wstring> ReadPolicyTemplate(const std::wstring& path) {
    std::optional<std::string> bytes = ReadSmallFile(Platform::WideToUtf8(path));
    if (!bytes) {
        return std::nullopt;
    }
    return PolicyTemplateText(*bytes);
}

std::wstring PolicyTemplateText(const std::string& bytes) {
    return Platform::ServerAnsiToWide(TextModeLines(bytes));
}

int ParsePolicyTemplate(const std::wstring& text, PolicyTemplate& policy) {
    SettingBudget budget;
    return ParseIni(
        text, [&](std::wstring_view section, std::wstring_view key, std::wstring_view value) {
            if (section == L"Version") {
                if (key == L"Revision") {
                    policy.revision = value;
                }
                return true;
            }
            if (!budget.Take(key, value)) {
                return false;
            }
            policy.settings.push_back({std::wstring(key), std::wstring(value), L"string"});
            return true;
        });
}

std::wstring DecodePolicyXml(const std::wstring& nibbles) {
    std::string text = NibbleStringToString(nibbles);
    size_t start = 0;
    for (;;) {
        size_t open = text.find('<', start);
        if (open == std::string::npos || open + 1 >= text.size() || text[open + 1] != '?') {
            break;
        }
        start = open + 1;
    }
    if (size_t open = text.find('<', start); open != std::string::npos) {
        start = open;
    }
    return Platform::ServerAnsiToWide(std::string_view(text).substr(start));
}

std::optional<std::vector<PolicyEntry>> PolicyEntries(const PolicyTemplate& policy) {
    static const std::array<std::wstring, 3> kModes = {L"AuditMode", L"AuthenticationMode",
                                                       L"CryptoMode"};
    std::vector<PolicyEntry> entries;
    std::set<std::wstring> modesSeen;
    SettingBudget budget;
    for (const TemplateSetting& setting : policy.settings) {
        PolicyDocument document =
            setting.name == kDacs ? PolicyDocument::Devices : PolicyDocument::Base;
        PolicyEntry entry =
            setting.name == kDacs || setting.name == kPrn
                ? PolicyEntry{document, setting.name, DecodePolicyXml(setting.value), L"XMLString"}
                : PolicyEntry{document, setting.name, setting.value, setting.type};
        if (!budget.Take(entry.uniqueName, entry.value)) {
            return std::nullopt;
        }
        entries.push_back(std::move(entry));
        for (const std::wstring& mode : kModes) {
            if (setting.name == mode) {
                modesSeen.insert(mode);
            }
        }
    }
    if (!modesSeen.empty()) {
        for (const std::wstring& mode : kModes) {
            if (!modesSeen.contains(mode)) {
                entries.push_back({PolicyDocument::Base, mode, L"0", L"string"});
            }
        }
    }
    return entries;
}

}  // namespace KvMigration
