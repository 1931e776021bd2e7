#include "platform/CodePage.h"

#include <iconv.h>
#include <langinfo.h>

#include <algorithm>
#include <cerrno>
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
