#include "platform/CodePage.h"

#include "platform/Registry.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>

namespace Platform {
namespace {

std::string CodesetName(unsigned codePage) {
    switch (codePage) {
        case CodePageAnsi: {
            const char* codeset = nl_langinfo(CODESET);
            return codeset != nullptr && *codeset != '\0' ? codeset : "ANSI_X3.4-1968";
        }
        case CodePageUtf8:
            return "UTF-8";
        default:
            return "CP" + std::to_string(codePage);
    }
}

// Converts with iconv, replacing every unconvertible or invalid unit by `replacement` so that a
// bad character never loses the rest of the text.
template <typename In, typename Out>
bool Convert(const char* to, const char* from, const In* input, size_t inputUnits, Out& output,
             std::string_view replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    char* in = const_cast<char*>(reinterpret_cast<const char*>(input));
    size_t inLeft = inputUnits * sizeof(In);
    std::string bytes;
    char buffer[4096];
    while (inLeft > 0) {
        char* out = buffer;
        size_t outLeft = sizeof(buffer);
        size_t rc = iconv(cd, &in, &inLeft, &out, &outLeft);
        bytes.append(buffer, out - buffer);
        if (rc == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // EILSEQ or EINVAL: skip one source unit and put the replacement in its place.
            size_t skip = std::min(inLeft, sizeof(In));
            in += skip;
            inLeft -= skip;
            bytes.append(replacement);
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* out = buffer;
    size_t outLeft = sizeof(buffer);
    iconv(cd, nullptr, nullptr, &out, &outLeft);
    bytes.append(buffer, out - buffer);
    iconv_close(cd);
    output.assign(reinterpret_cast<const typename Out::value_type*>(bytes.data()),
                  bytes.size() / sizeof(typename Out::value_type));
    return true;
}

std::string AsciiFallback(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (wchar_t c : text) {
        out.push_back(c >= 0 && c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out;
}

std::wstring AsciiFallback(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    for (char c : text) {
        auto u = static_cast<unsigned char>(c);
        out.push_back(u < 0x80 ? static_cast<wchar_t>(u) : L'?');
    }
    return out;
}

}  // namespace

std::string WideToCodePage(std::wstring_view text, unsigned codePage) {
    if (text.empty()) {
        return {};
    }
    std::string result;
    if (!Convert(CodesetName(codePage).c_str(), "WCHAR_T", text.data(), text.size(), result, "?")) {
        return AsciiFallback(text);
    }
    return result;
}

std::wstring CodePageToWide(std::string_view text, unsigned codePage) {
    if (text.empty()) {
        return {};
    }
    std::wstring result;
    // The replacement is given in the target encoding: one wchar_t holding "?".
    const wchar_t question = L'?';
    std::string_view replacement(reinterpret_cast<const char*>(&question), sizeof(question));
    if (!Convert("WCHAR_T", CodesetName(codePage).c_str(), text.data(), text.size(), result,
                 replacement)) {
        return AsciiFallback(text);
    }
    return result;
}

unsigned ServerCodePage() {
    std::shared_ptr<const IRegistry> registry = OpenSystemRegistry();
    std::optional<RegValue> value = registry->GetValue(KeyCodePage, L"ACP");
    unsigned codePage = 0;
    if (value &&
        (value->type == RegValue::Type::String || value->type == RegValue::Type::ExpandString)) {
        codePage = static_cast<unsigned>(std::wcstoul(value->text.c_str(), nullptr, 10));
    } else if (value && value->type == RegValue::Type::Dword) {
        codePage = static_cast<unsigned>(value->number);
    }
    if (codePage == 0) {
        return CodePageAnsi;
    }
    iconv_t probe = iconv_open("WCHAR_T", CodesetName(codePage).c_str());
    if (probe == reinterpret_cast<iconv_t>(-1)) {
        return CodePageAnsi;
    }
    iconv_close(probe);
    return codePage;
}

bool IsValidUtf8(std::string_view bytes) {
    size_t i = 0;
    while (i < bytes.size()) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        size_t length = 0;
        uint32_t value = 0;
        uint32_t minimum = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2;
            value = byte & 0x1F;
            minimum = 0x80;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3;
            value = byte & 0x0F;
            minimum = 0x800;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4;
            value = byte & 0x07;
            minimum = 0x10000;
        } else {
            return false;
        }
        if (i + length > bytes.size()) {
            return false;
        }
        for (size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            value = value << 6 | (next & 0x3F);
        }
        if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
            return false;
        }
        i += length;
    }
    return true;
}

std::wstring ArgumentToWide(std::string_view bytes) {
    if (IsValidUtf8(bytes)) {
        return Utf8ToWide(bytes);
    }
    std::wstring result;
    const wchar_t replacement = ReplacementCharacter;
    Convert("WCHAR_T", "UTF-8", bytes.data(), bytes.size(), result,
            std::string_view(reinterpret_cast<const char*>(&replacement), sizeof(replacement)));
    return result;
}

std::wstring Utf16LeToWide(std::string_view bytes) {
    std::wstring result;
    const wchar_t question = L'?';
    std::string_view replacement(reinterpret_cast<const char*>(&question), sizeof(question));
    if (bytes.size() % 2 != 0) {
        bytes.remove_suffix(1);
    }
    if (!bytes.empty()) {
        std::u16string units(bytes.size() / 2, u'\0');
        for (size_t i = 0; i < units.size(); ++i) {
            units[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                             static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
        }
        Convert("WCHAR_T", "UTF-16LE", units.data(), units.size(), result, replacement);
    }
    return result;
}

std::string WideToUtf16Le(std::wstring_view text) {
    std::string result;
    if (!text.empty()) {
        Convert("UTF-16LE", "WCHAR_T", text.data(), text.size(), result,
                std::string_view("?\0", 2));
    }
    return result;
}

}  // namespace Platform
