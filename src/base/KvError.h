#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace KvBase {

// The error object every failure of the program travels as.
class IKvErrorW {
public:
    virtual uint32_t Code() const = 0;
    virtual const std::wstring& Description() const = 0;
    // NUL-separated list of alternating names and values ("File", file, "Line", line,
    // "Function", function), ended by an empty string.
    virtual const std::wstring& DebugInfo() const = 0;
    // Every entry as "name: value\r\n" in name order.
    virtual const std::wstring& Dump() const = 0;
    virtual const std::wstring& GetText() const = 0;
    virtual ~IKvErrorW() = default;
};

class CKvError : public IKvErrorW {
public:
    static constexpr uint32_t E_FAIL_CODE = 0x80004005;

    // From a message; the code is E_FAIL.
    CKvError(std::wstring_view message, std::wstring_view file, int line,
             std::wstring_view function);
    // From a code; the description is the message text of that code.
    CKvError(uint32_t code, std::wstring_view file, int line, std::wstring_view function);

    uint32_t Code() const override;
    const std::wstring& Description() const override;
    const std::wstring& DebugInfo() const override;
    const std::wstring& Dump() const override;
    const std::wstring& GetText() const override { return Dump(); }

    // Entries beyond the usual ones ("LDAP" of a directory failure, "MiniDumpFile").
    void SetEntry(const std::wstring& name, const std::wstring& value) { entries_[name] = value; }
    const std::wstring* FindEntry(const std::wstring& name) const;

private:
    CKvError() = default;
    void SetSource(std::wstring_view file, int line, std::wstring_view function);

    // Ordered by the names' code units, as the dump lists them.
    mutable std::map<std::wstring, std::wstring> entries_;
};

[[noreturn]] void RaiseError(std::wstring_view message, std::wstring_view file, int line,
                             std::wstring_view function);
[[noreturn]] void RaiseErrorCode(uint32_t code, std::wstring_view file, int line,
                                 std::wstring_view function);

// The dump as one trace line can carry it: the DebugInfo entry (once built) holds NUL separators,
// which would end the line early, so they are written as blanks.
std::wstring TraceableDump(const IKvErrorW& error);

// The name of a source file as the error entries show it: no folder, no extension.
std::wstring SourceName(const char* path);

}  // namespace KvBase

// The function name is passed explicitly so that it reads as "SaxWriter::SaxWriter".
#define KV_RAISE_ERROR(function, message) \
    ::KvBase::RaiseError((message), ::KvBase::SourceName(__FILE__), __LINE__, (function))
#define KV_RAISE_ERROR_CODE(function, code) \
    ::KvBase::RaiseErrorCode((code), ::KvBase::SourceName(__FILE__), __LINE__, (function))
