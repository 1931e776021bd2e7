#include "base/KvError.h"

#include "base/SystemMessages.h"

#include <algorithm>
#include <cwchar>
#include <string>

namespace KvBase {
namespace {

const std::wstring kCode = L"Code";
const std::wstring kDescription = L"Description";
const std::wstring kFile = L"File";
const std::wstring kLine = L"Line";
const std::wstring kFunction = L"Function";
const std::wstring kDebugInfo = L"DebugInfo";
const std::wstring kDump = L"Dump";

std::wstring CodeText(uint32_t code) {
    wchar_t buffer[16];
    std::swprintf(buffer, 16, L"0x%08X", code);
    return buffer;
}

}  // namespace

CKvError::CKvError(std::wstring_view message, std::wstring_view file, int line,
                   std::wstring_view function) {
    entries_[kCode] = CodeText(E_FAIL_CODE);
    entries_[kDescription] = std::wstring(message);
    SetSource(file, line, function);
}

CKvError::CKvError(uint32_t code, std::wstring_view file, int line, std::wstring_view function) {
    entries_[kCode] = CodeText(code);
    entries_[kDescription] = MessageForCode(code);
    SetSource(file, line, function);
}

void CKvError::SetSource(std::wstring_view file, int line, std::wstring_view function) {
    if (!file.empty()) {
        entries_[kFile] = std::wstring(file);
    }
    if (line != 0) {
        entries_[kLine] = std::to_wstring(line);
    }
    if (!function.empty()) {
        entries_[kFunction] = std::wstring(function);
    }
}

uint32_t CKvError::Code() const {
    const std::wstring& text = entries_[kCode];
    if (text.size() <= 2) {
        return 0;
    }
    return static_cast<uint32_t>(std::wcstoul(text.c_str() + 2, nullptr, 16));
}

const std::wstring& CKvError::Description() const {
    return entries_[kDescription];
}

const std::wstring& CKvError::DebugInfo() const {
    auto cached = entries_.find(kDebugInfo);
    if (cached != entries_.end()) {
        return cached->second;
    }
    std::wstring info;
    for (const std::wstring* name : {&kFile, &kLine, &kFunction}) {
        auto entry = entries_.find(*name);
        if (entry != entries_.end()) {
            info += *name;
            info.push_back(L'\0');
            info += entry->second;
            info.push_back(L'\0');
        }
    }
    info.push_back(L'\0');
    return entries_[kDebugInfo] = std::move(info);
}

const std::wstring& CKvError::Dump() const {
    entries_.erase(kDump);
    std::wstring dump;
    for (const auto& [name, value] : entries_) {
        dump += name;
        dump += L": ";
        dump += value;
        dump += L"\r\n";
    }
    return entries_[kDump] = std::move(dump);
}

const std::wstring* CKvError::FindEntry(const std::wstring& name) const {
    auto entry = entries_.find(name);
    return entry == entries_.end() ? nullptr : &entry->second;
}

void RaiseError(std::wstring_view message, std::wstring_view file, int line,
                std::wstring_view function) {
    throw CKvError(message, file, line, function);
}

void RaiseErrorCode(uint32_t code, std::wstring_view file, int line, std::wstring_view function) {
    throw CKvError(code, file, line, function);
}

std::wstring TraceableDump(const IKvErrorW& error) {
    std::wstring dump = error.Dump();
    std::replace(dump.begin(), dump.end(), L'\0', L' ');
    return dump;
}

std::wstring SourceName(const char* path) {
    std::string_view name(path);
    if (auto slash = name.find_last_of("/\\"); slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    if (auto dot = name.rfind('.'); dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    return std::wstring(name.begin(), name.end());
}

}  // namespace KvBase
