#include "app/PasswordInput.h"

#include "app/CommandLine.h"
#include "app/InputParameters.h"
#include "base/KvError.h"
#include "helper/Format.h"
#include "platform/CodePage.h"
#include "platform/Secret.h"

#include <cstring>

namespace KvMigration {
namespace {

constexpr const wchar_t* kFunction = L"ReadInputParameters";

std::wstring SystemText(int error) {
    return Platform::AnsiToWide(std::strerror(error));
}

// The password as the program holds it; bytes that are no UTF-8 would reach the server as other
// characters and fail as a wrong password, which would send the administrator looking elsewhere.
std::wstring PasswordText(const Platform::Secret& secret, const std::wstring& source) {
    if (!Platform::IsValidUtf8(secret.text)) {
        KV_RAISE_ERROR(kFunction, L"The password " + source + L" is not UTF-8 text.");
    }
    return Platform::Utf8ToWide(secret.text);
}

}  // namespace

std::wstring AskPassword(const std::wstring& login) {
    Platform::Secret secret =
        Platform::AskSecretOnTerminal(Platform::WideToAnsi(L"Password for " + login + L": "));
    switch (secret.status) {
        case Platform::SecretStatus::Read:
            break;
        case Platform::SecretStatus::NoTerminal:
            KV_RAISE_ERROR(kFunction,
                           L"Key \"-W\" asks for the password on the terminal, and this "
                           L"run has none; give the password in a file with -y.");
        case Platform::SecretStatus::TooLong:
            KV_RAISE_ERROR(kFunction, FormatString(L"The password is longer than %zu bytes.",
                                                   Platform::SecretMaxBytes));
        case Platform::SecretStatus::Failed:
            KV_RAISE_ERROR(kFunction, L"The password cannot be read from the terminal: " +
                                          SystemText(secret.error) + L".");
        default:
            KV_RAISE_ERROR(kFunction, L"No password was entered.");
    }
    if (secret.text.empty()) {
        KV_RAISE_ERROR(kFunction, L"No password was entered.");
    }
    return PasswordText(secret, L"typed");
}

std::wstring ReadPasswordFile(const std::wstring& path) {
    Platform::Secret secret = Platform::ReadSecretFile(Platform::WideToUtf8(path));
    const std::wstring file = L"The password file \"" + path + L"\"";
    switch (secret.status) {
        case Platform::SecretStatus::Read:
            break;
        case Platform::SecretStatus::NotAFile:
            KV_RAISE_ERROR(kFunction, file + L" is not a regular file.");
        case Platform::SecretStatus::NotOwner:
            KV_RAISE_ERROR(kFunction, file + L" belongs to another user.");
        case Platform::SecretStatus::OpenToOthers:
            KV_RAISE_ERROR(kFunction, file + L" may be used by other users (mode " +
                                          FormatString(L"%04o", secret.mode) +
                                          L"); allow its owner only: chmod 600 \"" + path + L"\".");
        case Platform::SecretStatus::TooLong:
            KV_RAISE_ERROR(kFunction, L"The first line of the password file \"" + path +
                                          L"\" is longer than " +
                                          std::to_wstring(Platform::SecretMaxBytes) + L" bytes.");
        default:
            KV_RAISE_ERROR(kFunction,
                           file + L" cannot be read: " + SystemText(secret.error) + L".");
    }
    if (secret.text.empty()) {
        KV_RAISE_ERROR(kFunction, file + L" holds no password on its first line.");
    }
    return PasswordText(secret, L"in \"" + path + L"\"");
}

void ReadPasswordKeys(const CommandLine& commandLine, InputParameters& parameters) {
    const bool ask = commandLine.Has(L"-W");
    const bool fromFile = commandLine.Has(L"-y");
    if (!ask && !fromFile) {
        return;
    }
    if (ask && fromFile) {
        KV_RAISE_ERROR(kFunction, L"Keys \"-W\" and \"-y\" cannot be used together.");
    }
    const wchar_t* key = ask ? L"-W" : L"-y";
    // Read first, so that a missing file name is reported before anything is asked.
    std::wstring path = fromFile ? ReadFirstArgument(commandLine, L"-y", true) : std::wstring();
    if (!commandLine.Has(L"-cr")) {
        KV_RAISE_ERROR(kFunction, FormatString(L"Key \"%ls\" gives the password of the login of "
                                               L"key \"-cr\", which is missing.",
                                               key));
    }
    std::wstring credentials = ReadFirstArgument(commandLine, L"-cr", true);
    parameters.userName = credentials.substr(0, credentials.find(L':'));
    if (parameters.userName.empty()) {
        // Without a login the connections use the caller's Kerberos ticket and no password.
        KV_RAISE_ERROR(
            kFunction,
            FormatString(L"Key \"-cr\" gives no login for the password of key \"%ls\".", key));
    }
    parameters.password = ask ? AskPassword(parameters.userName) : ReadPasswordFile(path);
}

}  // namespace KvMigration
