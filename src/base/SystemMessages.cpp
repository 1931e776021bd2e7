#include "base/SystemMessages.h"

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <iterator>

namespace KvBase {
namespace {

struct Message {
    uint32_t code;
    const wchar_t* text;
};

// The Windows texts of every code the program raises or maps an LDAP result to, sorted by code.
// Windows keeps them with a trailing line break; the look-up removes it like FormatMessage users
// do.
constexpr Message kMessages[] = {
    {0, L"The operation completed successfully.\r\n"},
    {1, L"Incorrect function.\r\n"},
    {2, L"The system cannot find the file specified.\r\n"},
    {3, L"The system cannot find the path specified.\r\n"},
    {4, L"The system cannot open the file.\r\n"},
    {5, L"Access is denied.\r\n"},
    {6, L"The handle is invalid.\r\n"},
    {8, L"Not enough memory resources are available to process this command.\r\n"},
    {13, L"The data is invalid.\r\n"},
    {14, L"Not enough memory resources are available to complete this operation.\r\n"},
    {19, L"The media is write protected.\r\n"},
    {21, L"The device is not ready.\r\n"},
    {31, L"A device attached to the system is not functioning.\r\n"},
    {55, L"The specified network resource or device is no longer available.\r\n"},
    {58, L"The specified server cannot perform the requested operation.\r\n"},
    {59, L"An unexpected network error occurred.\r\n"},
    {80, L"The file exists.\r\n"},
    {87, L"The parameter is incorrect.\r\n"},
    {110, L"The system cannot open the device or file specified.\r\n"},
    {112, L"There is not enough space on the disk.\r\n"},
    {122, L"The data area passed to a system call is too small.\r\n"},
    {123, L"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {124, L"The system call level is not correct.\r\n"},
    {170, L"The requested resource is in use.\r\n"},
    {183, L"Cannot create a file when that file already exists.\r\n"},
    {203, L"The system could not find the environment option that was entered.\r\n"},
    {206, L"The filename or extension is too long.\r\n"},
    {234, L"More data is available.\r\n"},
    {1003, L"Cannot complete this function.\r\n"},
    {1053, L"The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1064, L"An exception occurred in the service when handling the control request.\r\n"},
    {1117, L"The request could not be performed because of an I/O device error.\r\n"},
    {1168, L"Element not found.\r\n"},
    {1210, L"The format of the specified computer name is invalid.\r\n"},
    {1212, L"The format of the specified domain name is invalid.\r\n"},
    {1223, L"The operation was canceled by the user.\r\n"},
    {1225, L"The remote computer refused the network connection.\r\n"},
    {1323,
     L"Unable to update the password. The value provided as the current password is "
     L"incorrect.\r\n"},
    {1326, L"The user name or password is incorrect.\r\n"},
    {1332, L"No mapping between account names and security IDs was done.\r\n"},
    {1337, L"The security ID structure is invalid.\r\n"},
    {1338, L"The security descriptor structure is invalid.\r\n"},
    {1355, L"The specified domain either does not exist or could not be contacted.\r\n"},
    {1460, L"This operation returned because the timeout period expired.\r\n"},
    {1705, L"The string universal unique identifier (UUID) is invalid.\r\n"},
    {1816, L"Not enough quota is available to process this command.\r\n"},
    {1921, L"The name of the file cannot be resolved by the system.\r\n"},
    {5010, L"The object already exists.\r\n"},
    {8202, L"The specified directory service attribute or value does not exist.\r\n"},
    {8203, L"The attribute syntax specified to the directory service is invalid.\r\n"},
    {8204, L"The attribute type specified to the directory service is not defined.\r\n"},
    {8205, L"The specified directory service attribute or value already exists.\r\n"},
    {8206, L"The directory service is busy.\r\n"},
    {8207, L"The directory service is unavailable.\r\n"},
    {8212,
     L"The requested operation did not satisfy one or more constraints associated with the "
     L"class of the object.\r\n"},
    {8213, L"The directory service can perform the requested operation only on a leaf object.\r\n"},
    {8214,
     L"The directory service cannot perform the requested operation on the RDN attribute of "
     L"an object.\r\n"},
    {8215,
     L"The directory service detected an attempt to modify the object class of an object.\r\n"},
    {8224, L"An operations error occurred.\r\n"},
    {8225, L"A protocol error occurred.\r\n"},
    {8226, L"The time limit for this request was exceeded.\r\n"},
    {8227, L"The size limit for this request was exceeded.\r\n"},
    {8228, L"The administrative limit for this request was exceeded.\r\n"},
    {8229, L"The compare response was false.\r\n"},
    {8230, L"The compare response was true.\r\n"},
    {8231, L"The requested authentication method is not supported by the server.\r\n"},
    {8232, L"A more secure authentication method is required for this server.\r\n"},
    {8233, L"Inappropriate authentication.\r\n"},
    {8234, L"The authentication mechanism is unknown.\r\n"},
    {8235, L"A referral was returned from the server.\r\n"},
    {8236, L"The server does not support the requested critical extension.\r\n"},
    {8237, L"This request requires a secure connection.\r\n"},
    {8238, L"Inappropriate matching.\r\n"},
    {8239, L"A constraint violation occurred.\r\n"},
    {8240, L"There is no such object on the server.\r\n"},
    {8241, L"There is an alias problem.\r\n"},
    {8242, L"An invalid dn syntax has been specified.\r\n"},
    {8243, L"The object is a leaf object.\r\n"},
    {8244, L"There is an alias dereferencing problem.\r\n"},
    {8245, L"The server is unwilling to process the request.\r\n"},
    {8246, L"A loop has been detected.\r\n"},
    {8247, L"There is a naming violation.\r\n"},
    {8248, L"The result set is too large.\r\n"},
    {8249, L"The operation affects multiple DSAs.\r\n"},
    {8250, L"The server is not operational.\r\n"},
    {8251, L"A local error has occurred.\r\n"},
    {8252, L"An encoding error has occurred.\r\n"},
    {8253, L"A decoding error has occurred.\r\n"},
    {8254, L"The search filter cannot be recognized.\r\n"},
    {8255, L"One or more parameters are illegal.\r\n"},
    {8256, L"The specified method is not supported.\r\n"},
    {8257, L"No results were returned.\r\n"},
    {8258, L"The specified control is not supported by the server.\r\n"},
    {8259, L"A referral loop was detected by the client.\r\n"},
    {8260, L"The preset referral limit was exceeded.\r\n"},
    {8261, L"The search requires a SORT control.\r\n"},
    {8262, L"The search results exceed the offset range specified.\r\n"},
    {8305,
     L"An attempt was made to add an object to the directory with a name that is already in "
     L"use.\r\n"},
    {8341, L"A directory service error has occurred.\r\n"},
    {0x80004001, L"Not implemented\r\n"},
    {0x80004005, L"Unspecified error\r\n"},
    {0x8000FFFF, L"Catastrophic failure\r\n"},
};

}  // namespace

std::optional<std::wstring> SystemMessageText(uint32_t code) {
    // A Windows code wrapped as an HRESULT has the text of the Windows code.
    if ((code & 0xFFFF0000u) == 0x80070000u) {
        code &= 0xFFFFu;
    }
    auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), code,
                               [](const Message& m, uint32_t c) { return m.code < c; });
    if (it == std::end(kMessages) || it->code != code) {
        return std::nullopt;
    }
    return std::wstring(it->text);
}

std::wstring MessageForCode(uint32_t code) {
    // The product's own module and the ActiveDS, NtDll and WMI modules are not on this platform;
    // their codes fall back to the system table like a module that cannot be loaded.
    auto text = SystemMessageText(code);
    if (!text) {
        wchar_t buffer[32];
        std::swprintf(buffer, 32, L"0x%08X (%d)", code, static_cast<int>(code));
        return buffer;
    }
    std::wstring message = *text;
    if (auto cr = message.rfind(L'\r'); cr != std::wstring::npos) {
        message.resize(cr);
    }
    // Remove every insert marker "%n" together with one blank directly before it.
    std::wstring cleaned;
    for (size_t i = 0; i < message.size(); ++i) {
        if (message[i] == L'%' && i + 1 < message.size() &&
            std::iswdigit(static_cast<wint_t>(message[i + 1]))) {
            if (!cleaned.empty() && cleaned.back() == L' ') {
                cleaned.pop_back();
            }
            ++i;
            while (i + 1 < message.size() && std::iswdigit(static_cast<wint_t>(message[i + 1]))) {
                ++i;
            }
            continue;
        }
        cleaned.push_back(message[i]);
    }
    return cleaned;
}

std::wstring FillInserts(const std::wstring& text, const std::wstring* inserts, size_t count) {
    std::wstring out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'%' && i + 1 < text.size() &&
            std::iswdigit(static_cast<wint_t>(text[i + 1]))) {
            size_t n = 0;
            while (i + 1 < text.size() && std::iswdigit(static_cast<wint_t>(text[i + 1]))) {
                n = n * 10 + static_cast<size_t>(text[++i] - L'0');
            }
            if (n >= 1 && n <= count) {
                out += inserts[n - 1];
            }
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

}  // namespace KvBase
