#include "platform/Registry.h"

#include "platform/CodePage.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cwctype>
#include <mutex>

namespace Platform {
namespace {

std::wstring Lower(std::wstring_view text) {
    std::wstring out(text);
    for (auto& c : out) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return out;
}

std::wstring NormalizeKey(std::wstring_view path) {
    std::wstring key = Lower(path);
    while (!key.empty() && key.back() == L'\\') {
        key.pop_back();
    }
    return key;
}

std::wstring_view Trim(std::wstring_view s) {
    while (!s.empty() && (s.front() == L' ' || s.front() == L'\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == L' ' || s.back() == L'\t' || s.back() == L'\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool StartsWithNoCase(std::wstring_view s, std::wstring_view prefix) {
    return s.size() >= prefix.size() && Lower(s.substr(0, prefix.size())) == prefix;
}

// Parses a quoted string starting at s[0] == '"'; on success stores the unescaped text and
// advances `pos` past the closing quote.
bool ParseQuoted(std::wstring_view s, size_t& pos, std::wstring& out) {
    if (pos >= s.size() || s[pos] != L'"') {
        return false;
    }
    out.clear();
    for (size_t i = pos + 1; i < s.size(); ++i) {
        if (s[i] == L'\\' && i + 1 < s.size()) {
            out.push_back(s[++i]);
        } else if (s[i] == L'"') {
            pos = i + 1;
            return true;
        } else {
            out.push_back(s[i]);
        }
    }
    return false;
}

bool ParseHexBytes(std::wstring_view s, std::vector<uint8_t>& bytes) {
    bytes.clear();
    size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && (s[i] == L',' || s[i] == L' ' || s[i] == L'\t')) {
            ++i;
        }
        if (i >= s.size()) {
            break;
        }
        size_t start = i;
        while (i < s.size() && std::iswxdigit(static_cast<wint_t>(s[i]))) {
            ++i;
        }
        if (i == start || i - start > 2) {
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(
            std::wcstoul(std::wstring(s.substr(start, i - start)).c_str(), nullptr, 16)));
        if (i < s.size() && s[i] != L',' && s[i] != L' ' && s[i] != L'\t') {
            return false;
        }
    }
    return true;
}

std::wstring Utf16BytesToText(const std::vector<uint8_t>& bytes) {
    return Utf16LeToWide(
        std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::optional<RegValue> ParseData(std::wstring_view data) {
    RegValue value;
    if (!data.empty() && data.front() == L'"') {
        size_t pos = 0;
        if (!ParseQuoted(data, pos, value.text) || !Trim(data.substr(pos)).empty()) {
            return std::nullopt;
        }
        value.type = RegValue::Type::String;
        return value;
    }
    if (StartsWithNoCase(data, L"dword:")) {
        std::wstring digits(Trim(data.substr(6)));
        if (digits.empty() || digits.size() > 8) {
            return std::nullopt;
        }
        for (wchar_t c : digits) {
            if (!std::iswxdigit(static_cast<wint_t>(c))) {
                return std::nullopt;
            }
        }
        value.type = RegValue::Type::Dword;
        value.number = std::wcstoul(digits.c_str(), nullptr, 16);
        return value;
    }
    if (StartsWithNoCase(data, L"hex")) {
        size_t colon = data.find(L':');
        if (colon == std::wstring_view::npos) {
            return std::nullopt;
        }
        std::wstring_view kind = data.substr(3, colon - 3);
        if (!ParseHexBytes(data.substr(colon + 1), value.bytes)) {
            return std::nullopt;
        }
        std::wstring k = Lower(kind);
        if (k == L"(2)") {
            value.type = RegValue::Type::ExpandString;
            value.text = Utf16BytesToText(value.bytes);
            if (auto nul = value.text.find(L'\0'); nul != std::wstring::npos) {
                value.text.resize(nul);
            }
        } else if (k == L"(7)") {
            value.type = RegValue::Type::MultiString;
            std::wstring all = Utf16BytesToText(value.bytes);
            size_t start = 0;
            while (start < all.size()) {
                size_t end = all.find(L'\0', start);
                if (end == std::wstring::npos) {
                    end = all.size();
                }
                if (end == start) {
                    break;
                }
                value.list.emplace_back(all.substr(start, end - start));
                start = end + 1;
            }
        } else if (k == L"(4)" && value.bytes.size() == 4) {
            value.type = RegValue::Type::Dword;
            for (int i = 3; i >= 0; --i) {
                value.number = value.number << 8 | value.bytes[i];
            }
        } else if (k == L"(b)" && value.bytes.size() == 8) {
            value.type = RegValue::Type::Qword;
            for (int i = 7; i >= 0; --i) {
                value.number = value.number << 8 | value.bytes[i];
            }
        } else {
            value.type = RegValue::Type::Binary;
        }
        return value;
    }
    return std::nullopt;
}

}  // namespace

std::optional<uint32_t> IRegistry::GetDword(std::wstring_view keyPath,
                                            std::wstring_view name) const {
    auto value = GetValue(keyPath, name);
    if (!value) {
        return std::nullopt;
    }
    switch (value->type) {
        case RegValue::Type::Dword:
        case RegValue::Type::Qword:
            return static_cast<uint32_t>(value->number);
        case RegValue::Type::Binary:
            if (value->bytes.size() >= 4) {
                return static_cast<uint32_t>(value->bytes[0] | value->bytes[1] << 8 |
                                             value->bytes[2] << 16 |
                                             static_cast<uint32_t>(value->bytes[3]) << 24);
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<std::wstring> IRegistry::GetString(std::wstring_view keyPath,
                                                 std::wstring_view name) const {
    auto value = GetValue(keyPath, name);
    if (!value ||
        (value->type != RegValue::Type::String && value->type != RegValue::Type::ExpandString)) {
        return std::nullopt;
    }
    return value->text;
}

RegFileRegistry RegFileRegistry::FromText(std::wstring_view text) {
    RegFileRegistry registry;
    Values* current = nullptr;
    std::wstring pending;  // a value line continued with a trailing backslash
    bool continuesHex = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find(L'\n', pos);
        if (end == std::wstring_view::npos) {
            end = text.size();
        }
        std::wstring_view raw = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (pending.empty()) {
            pending.assign(raw);
            // Only hex data is wrapped over several lines in an export. Decided once on the
            // value's first line, so that a long value costs time in proportion to its length.
            continuesHex = Lower(pending).find(L"=hex") != std::wstring::npos;
        } else {
            pending += raw;
        }
        if (continuesHex && !pending.empty() && pending.back() == L'\\') {
            pending.pop_back();
            if (pos <= text.size()) {
                continue;
            }
        }
        std::wstring_view line = pending;
        if (line.empty() || line.front() == L';') {
            pending.clear();
            continue;
        }
        if (line.front() == L'[') {
            current = nullptr;
            if (line.back() == L']' && line.size() > 2) {
                std::wstring_view path = line.substr(1, line.size() - 2);
                if (!path.empty() && path.front() == L'-') {
                    registry.keys_.erase(NormalizeKey(path.substr(1)));
                } else {
                    current = &registry.keys_[NormalizeKey(path)];
                }
            }
            pending.clear();
            continue;
        }
        if (current != nullptr) {
            std::wstring name;
            size_t p = 0;
            bool named = false;
            if (line.front() == L'@') {
                p = 1;
                named = true;
            } else if (ParseQuoted(line, p, name)) {
                named = true;
            }
            std::wstring_view rest = named ? Trim(line.substr(p)) : std::wstring_view{};
            if (named && !rest.empty() && rest.front() == L'=') {
                std::wstring_view data = Trim(rest.substr(1));
                if (data == L"-") {
                    current->erase(Lower(name));
                } else if (auto value = ParseData(data)) {
                    (*current)[Lower(name)] = std::move(*value);
                }
            }
        }
        pending.clear();
    }
    return registry;
}

RegFileRegistry RegFileRegistry::FromBytes(std::string_view bytes) {
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        return FromText(Utf16LeToWide(bytes.substr(2)));
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
        bytes.remove_prefix(3);
    }
    return FromText(Utf8ToWide(bytes));
}

RegFileRegistry RegFileRegistry::FromFile(const std::string& path, std::string* problem) {
    // Non-blocking, so that a FIFO named as the registry file cannot hold the run forever; it is
    // refused below like any other file that is not a regular one.
    int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return {};
    }
    struct stat info {};
    std::string refusal;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        refusal = "The registry file " + path + " is not a regular file; its values are missing.";
    } else if (static_cast<uint64_t>(info.st_size) > MaxRegistryFileBytes) {
        refusal = "The registry file " + path + " is larger than " +
                  std::to_string(MaxRegistryFileBytes >> 20) + " MiB; its values are missing.";
    }
    std::string content;
    if (refusal.empty()) {
        content.resize(static_cast<size_t>(info.st_size));
        size_t got = 0;
        while (got < content.size()) {
            ssize_t n = read(fd, content.data() + got, content.size() - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        content.resize(got);
    }
    close(fd);
    if (!refusal.empty()) {
        if (problem != nullptr) {
            *problem = refusal;
        }
        return {};
    }
    return FromBytes(content);
}

bool RegFileRegistry::KeyExists(std::wstring_view keyPath) const {
    return keys_.count(NormalizeKey(keyPath)) != 0;
}

std::optional<RegValue> RegFileRegistry::GetValue(std::wstring_view keyPath,
                                                  std::wstring_view name) const {
    auto key = keys_.find(NormalizeKey(keyPath));
    if (key == keys_.end()) {
        return std::nullopt;
    }
    auto value = key->second.find(Lower(name));
    if (value == key->second.end()) {
        return std::nullopt;
    }
    return value->second;
}

std::string SystemRegistryPath() {
    const char* path = std::getenv("KV_REGISTRY_FILE");
    return path != nullptr && *path != '\0' ? path : "/etc/korvant/registry.reg";
}

namespace {

// What identifies one version of the registry file.
struct FileVersion {
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = -1;
    timespec modified{};

    bool operator==(const FileVersion& other) const {
        return path == other.path && device == other.device && inode == other.inode &&
               size == other.size && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

FileVersion CurrentVersion(const std::string& path) {
    FileVersion version;
    version.path = path;
    struct stat info {};
    if (stat(path.c_str(), &info) == 0) {
        version.device = info.st_dev;
        version.inode = info.st_ino;
        version.size = info.st_size;
        version.modified = info.st_mtim;
    }
    return version;
}

struct SystemRegistryCache {
    std::mutex lock;
    FileVersion version;
    bool loaded = false;
    std::shared_ptr<const IRegistry> registry;
    std::string problem;
};

SystemRegistryCache& Cache() {
    static SystemRegistryCache cache;
    return cache;
}

}  // namespace

std::shared_ptr<const IRegistry> OpenSystemRegistry() {
    SystemRegistryCache& cache = Cache();
    FileVersion version = CurrentVersion(SystemRegistryPath());
    std::lock_guard<std::mutex> guard(cache.lock);
    if (!cache.loaded || !(cache.version == version)) {
        std::string problem;
        cache.registry =
            std::make_shared<RegFileRegistry>(RegFileRegistry::FromFile(version.path, &problem));
        cache.problem = std::move(problem);
        cache.version = std::move(version);
        cache.loaded = true;
    }
    return cache.registry;
}

std::string SystemRegistryProblem() {
    OpenSystemRegistry();
    SystemRegistryCache& cache = Cache();
    std::lock_guard<std::mutex> guard(cache.lock);
    return cache.problem;
}

}  // namespace Platform
