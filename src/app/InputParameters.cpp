#include "app/InputParameters.h"

#include "app/CommandLine.h"
#include "app/KnownKeys.h"
#include "app/PasswordInput.h"
#include "app/Version.h"
#include "base/KvError.h"
#include "base/Trace.h"
#include "helper/ConsoleOutput.h"
#include "helper/Format.h"
#include "helper/Identifiers.h"
#include "platform/CodePage.h"
#include "platform/Console.h"
#include "platform/Paths.h"
#include "platform/Process.h"

#include <cerrno>
#include <climits>
#include <cwctype>
#include <filesystem>
#include <stdexcept>

namespace KvMigration {
namespace {

constexpr const wchar_t* kFunction = L"ReadInputParameters";

bool PathExists(const std::wstring& path) {
    std::error_code ec;
    return std::filesystem::exists(Platform::WideToUtf8(path), ec);
}

// What the name itself is, without following a symbolic link: a dangling link still counts as
// something that exists.
std::filesystem::file_status EntryStatus(const std::wstring& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(Platform::WideToUtf8(path), ec);
}

bool IsDirectory(const std::wstring& path) {
    std::error_code ec;
    return std::filesystem::is_directory(Platform::WideToUtf8(path), ec);
}

void ShowDebugWindow() {
    // The message box of Windows: caption, text and the process id for attaching a debugger.
    std::string text = FormatStringA(
        "Debug Window: Attach to process. Set breakpoint after call of this window and click OK. "
        "(process id %u)\n",
        Platform::CurrentProcessId());
    Platform::SystemConsole().WriteError(text);
    Platform::SystemConsole().WaitForEnter();
}

[[noreturn]] void ShowHelpAndExit() {
    PrintUsage();
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"End.");
    EndProcess(0);
}

// "--help" and "--version" as every Linux tool answers them: the text, status 0, no wait for a
// key even at a terminal.
[[noreturn]] void AnswerAndExit(const std::string& text) {
    Platform::SystemConsole().Write(text);
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"End.");
    Platform::ExitProcess(0);
}

void ReadLdsPorts(const std::wstring& value, InputParameters& parameters) {
    auto colon = value.find(L':');
    if (colon == std::wstring::npos) {
        parameters.ldsGcPort = StringToInt(value);
        return;
    }
    if (colon > 0) {
        parameters.ldsPort = StringToInt(value.substr(0, colon));
    }
    if (colon + 1 < value.size()) {
        parameters.ldsGcPort = StringToInt(value.substr(colon + 1));
    }
}

// A path of a key as the file names are taken: qualified, or refused.
std::wstring QualifiedPath(const CommandLine& commandLine, const wchar_t* key) {
    std::wstring typed = ReadFirstArgument(commandLine, key, true);
    auto qualified = Platform::QualifyPath(typed);
    if (!qualified) {
        KV_RAISE_ERROR(kFunction, FormatString(L"File name \"%ls\" is not valid.", typed.c_str()));
    }
    return *qualified;
}

// The keys beyond the product's own: the dry run, the per-object report and the undo files.
void ReadSafetyKeys(const CommandLine& commandLine, InputParameters& parameters) {
    parameters.dryRun = commandLine.Has(L"-n");
    if (commandLine.Has(L"-report")) {
        parameters.reportFile = QualifiedPath(commandLine, L"-report");
    }
    if (commandLine.Has(L"-undo")) {
        parameters.undoFolder = QualifiedPath(commandLine, L"-undo");
    }
    if (parameters.isExport && (parameters.dryRun || !parameters.undoFolder.empty())) {
        KV_RAISE_ERROR(kFunction, FormatString(L"Key \"%ls\" applies only to an import (\"%ls\").",
                                               parameters.dryRun ? L"-n" : L"-undo", L"-im"));
    }
}

}  // namespace

int32_t StringToInt(const std::wstring& text) {
    size_t pos = 0;
    while (pos < text.size() && std::iswspace(static_cast<wint_t>(text[pos]))) {
        ++pos;
    }
    bool negative = false;
    if (pos < text.size() && (text[pos] == L'+' || text[pos] == L'-')) {
        negative = text[pos] == L'-';
        ++pos;
    }
    size_t start = pos;
    long long value = 0;
    bool overflow = false;
    for (; pos < text.size() && text[pos] >= L'0' && text[pos] <= L'9'; ++pos) {
        if (!overflow) {
            value = value * 10 + (text[pos] - L'0');
            overflow = value > static_cast<long long>(INT_MAX) + 1;
        }
    }
    if (pos == start) {
        throw std::invalid_argument("invalid stoi argument");
    }
    if (negative) {
        value = -value;
    }
    if (overflow || value > INT_MAX || value < INT_MIN) {
        throw std::out_of_range("stoi argument out of range");
    }
    return static_cast<int32_t>(value);
}

std::wstring ReadFirstArgument(const CommandLine& commandLine, const std::wstring& key,
                               bool required) {
    if (commandLine.ValueCount(key) > 0) {
        return commandLine.Value(key, 0);
    }
    if (required) {
        KV_RAISE_ERROR(kFunction, FormatString(L"Key \"%ls\" must have argument.", key.c_str()));
    }
    return {};
}

InputParameters ReadInputParameters(const std::vector<std::wstring>& arguments) {
    KvBase::TraceScope scope(KvBase::GetTrace(), "[ReadInputParameters] ");
    CommandLine commandLine(arguments);
    InputParameters parameters;

    if (commandLine.Has(L"-dbg")) {
        ShowDebugWindow();
    }
    if (commandLine.Has(L"-?") || commandLine.Has(L"-h") || commandLine.KeyCount() == 0) {
        ShowHelpAndExit();
    }
    if (commandLine.Has(L"--help")) {
        AnswerAndExit(UsageText() + "\n\n");
    }
    if (commandLine.Has(L"--version")) {
        AnswerAndExit(std::string("KvMigrationUtil ") + ProgramVersion + "\n");
    }
    for (const std::wstring& warning : UnknownKeyWarnings(commandLine)) {
        PrintWarning(warning);
    }

    std::wstring typedName;
    if (commandLine.Has(L"-ex")) {
        parameters.isExport = true;
        typedName = ReadFirstArgument(commandLine, L"-ex", true);
    } else if (!commandLine.Has(L"-im")) {
        KV_RAISE_ERROR(kFunction,
                       FormatString(L"Input parameters must contain \"%ls\" key for export or "
                                    L"\"%ls\" key for import.",
                                    L"-ex", L"-im"));
    } else {
        parameters.isExport = false;
        typedName = ReadFirstArgument(commandLine, L"-im", true);
    }

    auto qualified = Platform::QualifyPath(typedName);
    if (!qualified) {
        KV_RAISE_ERROR(kFunction,
                       FormatString(L"File name \"%ls\" is not valid.", typedName.c_str()));
    }
    parameters.fileName = *qualified;
    const wchar_t* file = parameters.fileName.c_str();

    if (parameters.isExport) {
        const std::filesystem::file_status entry = EntryStatus(parameters.fileName);
        if (std::filesystem::exists(entry) || std::filesystem::is_symlink(entry)) {
            if (!commandLine.Has(L"-rmf")) {
                KV_RAISE_ERROR(kFunction,
                               FormatString(L"A file with the name \"%ls\" already exists.", file));
            }
            // Only a file is replaced: never a folder, a device or what a link points at.
            if (!std::filesystem::is_regular_file(entry)) {
                KV_RAISE_ERROR(kFunction, FormatString(L"\"%ls\" is not a regular file; -rmf "
                                                       L"replaces only files.",
                                                       file));
            }
            // An older export that cannot be removed must not stay beside a failed run, where
            // it would pass for the file this run was asked to write.
            std::error_code removal;
            if (!std::filesystem::remove(Platform::WideToUtf8(parameters.fileName), removal) ||
                removal) {
                KV_RAISE_ERROR(kFunction,
                               FormatString(L"The file \"%ls\" cannot be replaced: %ls.", file,
                                            Platform::Utf8ToWide(removal.message()).c_str()));
            }
        } else {
            std::wstring folder = Platform::FolderPart(parameters.fileName);
            if (!IsDirectory(folder)) {
                KV_RAISE_ERROR(kFunction, FormatString(L"Can't create the file: a folder with path "
                                                       L"\"%ls\" doesn't exist",
                                                       folder.c_str()));
            }
        }
    } else if (!PathExists(parameters.fileName)) {
        KV_RAISE_ERROR(kFunction, FormatString(L"Can't find file with name \"%ls\".", file));
    }

    if (commandLine.Has(L"-lds")) {
        parameters.isLds = true;
        std::wstring ports = ReadFirstArgument(commandLine, L"-lds", false);
        if (!ports.empty()) {
            ReadLdsPorts(ports, parameters);
        }
    } else if (commandLine.Has(L"-ad")) {
        parameters.isLds = false;
    } else if (parameters.isExport) {
        KV_RAISE_ERROR(kFunction, FormatString(L"Input parameters must contain \"%ls\" or \"%ls\" "
                                               L"key to define options storage.",
                                               L"-lds", L"-ad"));
    }

    if (commandLine.Has(L"-cr")) {
        std::wstring credentials = ReadFirstArgument(commandLine, L"-cr", true);
        auto colon = credentials.find(L':');
        if (colon == std::wstring::npos) {
            parameters.userName = credentials;
            parameters.password = credentials;
        } else {
            parameters.userName = credentials.substr(0, colon);
            parameters.password = credentials.substr(colon + 1);
        }
    }
    ReadPasswordKeys(commandLine, parameters);

    parameters.forceImport = commandLine.Has(L"-fi");
    parameters.importPrivileges = commandLine.Has(L"-priv");
    parameters.kvPolicyPriority = !commandLine.Has(L"-winpol");

    const std::pair<const wchar_t*, int> sectionKeys[] = {{L"-server", SectionServer},
                                                          {L"-clients", SectionClients},
                                                          {L"-policies", SectionPolicies},
                                                          {L"-icheck", SectionICheck},
                                                          {L"-users", SectionUsers}};
    for (const auto& [key, section] : sectionKeys) {
        if (commandLine.Has(key)) {
            parameters.sections.insert(section);
        }
    }

    if (commandLine.Has(L"-srv")) {
        parameters.serverName = ReadFirstArgument(commandLine, L"-srv", false);
    }
    if (commandLine.Has(L"-dc")) {
        parameters.dcName = ReadFirstArgument(commandLine, L"-dc", false);
    }
    if (commandLine.Has(L"-oms")) {
        parameters.omsId = ReadFirstArgument(commandLine, L"-oms", false);
    }
    if (parameters.omsId.empty()) {
        parameters.omsId = GetLocalComputerSID();
    }
    parameters.useSsl = commandLine.Has(L"-ssl");
    ReadSafetyKeys(commandLine, parameters);

    PrintMessage(L"The input parameters have been successfully read.");
    return parameters;
}

void EchoCommandLine(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    bool hideNext = false;
    bool hideValue = false;
    for (const auto& argument : arguments) {
        if (!line.empty()) {
            line += L' ';
        }
        const bool hidden = hideNext || (hideValue && !CommandLine::IsKey(argument));
        line += hidden ? std::wstring(L"<present>") : argument;
        hideNext = argument == L"-cr";
        // "-W" takes no value, and "-w" is ldapmodify's password key, which this program does
        // not know: a value after either is most likely a password typed out of habit.
        hideValue = argument == L"-W" || argument == L"-w";
    }
    KvBase::GetTrace().Trace(KvBase::TraceInfo, L"Input string: %ls", line.c_str());
}

}  // namespace KvMigration
