#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace LdapHelper {

// Receives every failure of the library. An application hook normally throws its own error type;
// when it returns, the library's default hook throws instead.
class IExceptionHandler {
public:
    virtual void handle(uint32_t code, const std::string& message, const char* file,
                        int32_t line) = 0;

protected:
    ~IExceptionHandler() = default;
};

// Receives every trace line of the library: `error` is false for an information line. Formats
// are glibc wide printf formats ("%ls" for wide, "%s" for narrow arguments).
class ITraceHandler {
public:
    virtual void trace(bool error, const wchar_t* format, ...) = 0;

protected:
    ~ITraceHandler() = default;
};

// Thrown by the default hook for code 50; the LDAP message reaches only the trace and the hooks.
class access_denied_exception : public std::exception {
public:
    access_denied_exception(const char* file, int32_t line);
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// Thrown by the default hook for code 49.
class invalid_credentials_exception : public access_denied_exception {
public:
    using access_denied_exception::access_denied_exception;
};

// Thrown by the plain search on a size-limit refusal, without the hooks; `search` pages instead.
class size_limit_exception : public std::exception {
public:
    size_limit_exception(const char* file, int32_t line);
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// The default exception hook, and the exception it throws for every code but 49 and 50.
class CExceptionHandler : public std::exception, public IExceptionHandler {
public:
    CExceptionHandler() = default;
    explicit CExceptionHandler(std::string message) : message_(std::move(message)) {}
    void handle(uint32_t code, const std::string& message, const char* file, int32_t line) override;
    const char* what() const noexcept override { return message_.c_str(); }

private:
    std::string message_;
};

// The default trace hook: debugger output does not exist here, so lines are dropped after the
// length check the debugger output would have made.
class CTraceHandler : public ITraceHandler {
public:
    void trace(bool error, const wchar_t* format, ...) override;
};

// Installed hooks are never owned or deleted by the library; null restores the default.
void set_exception_handler(IExceptionHandler* handler);
void set_trace_handler(ITraceHandler* handler);

// Hands a failure to the installed hook, then to the default one. Never returns.
[[noreturn]] void report_failure(uint32_t code, const std::string& message, const char* file,
                                 int32_t line);

}  // namespace LdapHelper
