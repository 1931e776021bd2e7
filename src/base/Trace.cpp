#include "base/Trace.h"

#include "base/TraceImpl.h"
#include "platform/CodePage.h"

#include <cerrno>
#include <cstdio>
#include <cwchar>
#include <exception>
#include <utility>
#include <vector>

namespace KvBase {
namespace {

// A formatted line longer than this is dropped rather than grown without end.
constexpr size_t kMaxLine = 1 << 20;

class ErrnoKeeper {
public:
    ErrnoKeeper() : saved_(errno) {}
    ~ErrnoKeeper() { errno = saved_; }

private:
    int saved_;
};

bool FormatWide(const wchar_t* format, va_list args, std::wstring& out) {
    for (size_t size = 256; size <= kMaxLine; size *= 2) {
        std::vector<wchar_t> buffer(size);
        va_list copy;
        va_copy(copy, args);
        int n = std::vswprintf(buffer.data(), size, format, copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < size) {
            out.assign(buffer.data(), static_cast<size_t>(n));
            return true;
        }
    }
    return false;
}

bool FormatNarrow(const char* format, va_list args, std::string& out) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n < 0 || static_cast<size_t>(n) > kMaxLine) {
        return false;
    }
    out.resize(static_cast<size_t>(n) + 1);
    va_copy(copy, args);
    std::vsnprintf(out.data(), out.size(), format, copy);
    va_end(copy);
    out.resize(static_cast<size_t>(n));
    return true;
}

std::wstring& Indentation() {
    static std::wstring indentation;
    return indentation;
}

}  // namespace

CKvTrace::CKvTrace(const wchar_t* moduleName, uint32_t enableMask, uint32_t params1,
                   uint32_t params2, const Platform::IRegistry* registry) {
    ErrnoKeeper keep;
    try {
        impl_ = std::make_unique<CTraceImpl>(moduleName, enableMask, params1, params2, registry);
    } catch (const std::exception&) {
        // The trace stays inert; there is no debugger output on this platform to say so.
        impl_.reset();
    }
    WriteNotices();
}

void CKvTrace::WriteNotices() {
    if (!impl_) {
        return;
    }
    try {
        for (const std::string& notice : impl_->TakeNotices()) {
            if (impl_->OutputOn()) {
                impl_->WriteLine(TraceError, notice);
            }
        }
        if (reporter_) {
            for (const std::wstring& problem : impl_->TakeConsoleProblems()) {
                reporter_(problem);
            }
        }
    } catch (const std::exception&) {
        // Tracing never fails towards its caller.
    }
}

void CKvTrace::SetProblemReporter(ProblemReporter reporter) {
    ErrnoKeeper keep;
    reporter_ = std::move(reporter);
    WriteNotices();
}

std::wstring CKvTrace::WriteProblem() const {
    return impl_ ? impl_->WriteProblem() : std::wstring();
}

CKvTrace::~CKvTrace() = default;

void CKvTrace::Trace(uint32_t level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    TraceV(level, format, args);
    va_end(args);
}

void CKvTrace::Trace(uint32_t level, const wchar_t* format, ...) {
    va_list args;
    va_start(args, format);
    TraceV(level, format, args);
    va_end(args);
}

void CKvTrace::TraceV(uint32_t level, const char* format, va_list args) {
    ErrnoKeeper keep;
    if (!impl_ || !impl_->OutputOn() || !IsLevelEnabled(level) || format == nullptr ||
        *format == '\0') {
        return;
    }
    try {
        std::string text;
        if (FormatNarrow(format, args, text)) {
            impl_->WriteLine(level, text);
            WriteNotices();
        }
    } catch (const std::exception&) {
        // Tracing never fails towards its caller.
    }
}

void CKvTrace::TraceV(uint32_t level, const wchar_t* format, va_list args) {
    ErrnoKeeper keep;
    if (!impl_ || !impl_->OutputOn() || !IsLevelEnabled(level) || format == nullptr ||
        *format == L'\0') {
        return;
    }
    try {
        std::wstring text;
        if (FormatWide(format, args, text)) {
            impl_->WriteLine(level, Platform::WideToCodePage(text, Platform::CodePage1251));
            WriteNotices();
        }
    } catch (const std::exception&) {
        // Tracing never fails towards its caller.
    }
}

void CKvTrace::TraceDump(uint32_t level, const wchar_t* title, const void* buffer, size_t size,
                         uint32_t flags) {
    ErrnoKeeper keep;
    if (!impl_ || !impl_->OutputOn() || !IsLevelEnabled(level) || buffer == nullptr || size == 0) {
        return;
    }
    try {
        std::wstring text = title != nullptr ? title : L"";
        text += FormatTraceDump(buffer, size, flags);
        impl_->WriteLine(level, Platform::WideToCodePage(text, Platform::CodePage1251));
    } catch (const std::exception&) {
        // Tracing never fails towards its caller.
    }
}

bool CKvTrace::Reload() {
    ErrnoKeeper keep;
    try {
        bool read = impl_ && impl_->Reload(nullptr);
        WriteNotices();
        return read;
    } catch (const std::exception&) {
        return false;
    }
}

bool CKvTrace::IsEnabled() const {
    return impl_ && impl_->OutputOn();
}

bool CKvTrace::IsLevelEnabled(uint32_t level) const {
    return impl_ && (impl_->EnableMask() & level) != 0;
}

bool CKvTrace::IsContext(uint32_t value) const {
    return impl_ && impl_->ContextMask() == value;
}

bool CKvTrace::IsTimeShown() const {
    return impl_ && (impl_->ParamsMask() & TraceParams::Time) != 0;
}

bool CKvTrace::IsMillisecondsShown() const {
    return impl_ && (impl_->ParamsMask() & TraceParams::Milliseconds) != 0;
}

std::string CKvTrace::LogPath() const {
    return impl_ ? impl_->LogPath() : std::string();
}

namespace {
CKvTrace& Singleton() {
    static CKvTrace trace(L"KvMigrationUtil", 15, 9, 0x3D00);
    return trace;
}
}  // namespace

ITrace& GetTrace() {
    return Singleton();
}

std::string GetTraceLogPath() {
    return Singleton().LogPath();
}

std::wstring GetTraceWriteProblem() {
    return Singleton().WriteProblem();
}

void SetTraceProblemReporter(CKvTrace::ProblemReporter reporter) {
    Singleton().SetProblemReporter(std::move(reporter));
}

TraceScope::TraceScope(ITrace& trace, const char* name) : trace_(trace), name_(name) {
    trace_.Trace(TraceInfo, L"%ls%s Begin", Indentation().c_str(), name_);
    Indentation().push_back(L'\t');
}

TraceScope::~TraceScope() {
    try {
        if (!Indentation().empty()) {
            Indentation().pop_back();
        }
        trace_.Trace(TraceInfo, L"%ls%s End", Indentation().c_str(), name_);
    } catch (...) {  // NOLINT(bugprone-empty-catch): a scope's destructor must never throw.
    }
}

std::wstring FormatTraceDump(const void* buffer, size_t size, uint32_t flags) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t width = 1;
    size_t perLine = 32;
    size_t digits = 2;
    size_t wide4 = 256;
    size_t wide8 = 65535;
    if ((flags & DumpDwords) != 0) {
        width = 4, perLine = 8, digits = 8, wide4 = 1024, wide8 = 262143;
    } else if ((flags & DumpWords) != 0) {
        width = 2, perLine = 16, digits = 4, wide4 = 512, wide8 = 131071;
    }
    int offsetDigits = size > wide8 ? 8 : size >= wide4 ? 4 : 2;
    size_t count = size / width;
    std::wstring out;
    wchar_t cell[32];
    for (size_t index = 0; index < count; ++index) {
        if (index % perLine == 0) {
            std::swprintf(cell, 32, L"\r\n %0*zX:", offsetDigits, index);
            out += cell;
        } else if (width < 4 && index % 8 == 0) {
            out += L" -";
        }
        uint32_t value = 0;
        for (size_t b = 0; b < width; ++b) {
            value |= static_cast<uint32_t>(bytes[index * width + b]) << (8 * b);
        }
        std::swprintf(cell, 32, L" %0*X", static_cast<int>(digits), value);
        out += cell;
    }
    return out;
}

}  // namespace KvBase
