#include "support/ScriptedLdapClient.h"

#include <cstdarg>
#include <cwchar>

namespace KvTest {

using namespace LdapHelper;

void LdapScript::ReplyRootDse(const std::string& namingContext) {
    Reply(0, {Entry("", {{"defaultNamingContext", {namingContext}}})});
}

void LdapScript::Reply(int resultCode, std::vector<LdapEntryData> entries,
                       std::vector<LdapControl> controls, std::string pageCookie) {
    SearchReply reply;
    reply.result.result_code = resultCode;
    reply.result.entries = std::move(entries);
    reply.result.controls = std::move(controls);
    reply.result.page_cookie = std::move(pageCookie);
    replies.push_back(std::move(reply));
}

void LdapScript::ReplyFailure(int rc) {
    SearchReply reply;
    reply.rc = rc;
    replies.push_back(std::move(reply));
}

LdapEntryData Entry(const std::string& dn,
                    std::vector<std::pair<std::string, std::vector<std::string>>> attributes) {
    return LdapEntryData{dn, std::move(attributes)};
}

int ScriptedLdapClient::init(const std::string& host, int port, bool ssl) {
    ssl_ = ssl;
    script_->calls.push_back("init " + host + ":" + std::to_string(port) +
                             " ssl=" + (ssl ? "1" : "0"));
    return track(script_->initRc);
}

int ScriptedLdapClient::set_timeouts(const ClientTimeouts& timeouts) {
    script_->calls.push_back("set_timeouts " + std::to_string(timeouts.handshake_seconds) +
                             " write=" + std::to_string(timeouts.write_seconds));
    return 0;
}

int ScriptedLdapClient::set_option(int option, int value) {
    script_->calls.push_back("set_option " + std::to_string(option) + "=" + std::to_string(value));
    return track(script_->setOptionRc);
}

int ScriptedLdapClient::get_option(int option, int& value) {
    script_->calls.push_back("get_option " + std::to_string(option));
    value = script_->sslOptionValue;
    return 0;
}

int ScriptedLdapClient::connect(int timeout_seconds) {
    script_->calls.push_back("connect " + std::to_string(timeout_seconds));
    return track(script_->connectRc);
}

int ScriptedLdapClient::start_tls() {
    script_->calls.push_back("start_tls");
    tls_ = script_->startTlsRc == 0;
    return track(script_->startTlsRc);
}

int ScriptedLdapClient::simple_bind(const std::string& login, const std::string& /*password*/) {
    script_->calls.push_back("simple_bind " + login);
    return track(script_->bindRc);
}

int ScriptedLdapClient::kerberos_bind(bool security_layer) {
    script_->calls.push_back(std::string("kerberos_bind layer=") + (security_layer ? "1" : "0"));
    return track(script_->bindRc);
}

int ScriptedLdapClient::search(const SearchRequest& request, SearchResult& result) {
    std::string line = "search " + (request.base ? "'" + *request.base + "'" : "NULL") + " " +
                       std::to_string(request.scope) + " " + request.filter;
    if (request.page_size) {
        line += " page=" + std::to_string(*request.page_size) + " cookie=" + request.page_cookie;
    }
    script_->calls.push_back(line);
    script_->searches.push_back(request);
    if (script_->replies.empty()) {
        result = SearchResult{};
        return track(0);
    }
    SearchReply reply = std::move(script_->replies.front());
    script_->replies.pop_front();
    result = std::move(reply.result);
    return track(reply.rc != 0 ? reply.rc : 0);
}

int ScriptedLdapClient::add(const std::string& dn, const std::vector<LdapModification>& mods,
                            const std::vector<LdapControl>& controls) {
    script_->calls.push_back("add " + dn);
    script_->changes.push_back({"add", dn, mods, controls});
    return track(script_->changeRc);
}

int ScriptedLdapClient::modify(const std::string& dn, const std::vector<LdapModification>& mods,
                               const std::vector<LdapControl>& controls) {
    script_->calls.push_back("modify " + dn);
    script_->changes.push_back({"modify", dn, mods, controls});
    return track(script_->changeRc);
}

int ScriptedLdapClient::remove(const std::string& dn, const std::vector<LdapControl>& controls) {
    script_->calls.push_back("remove " + dn);
    script_->removeControls = controls;
    return track(script_->changeRc);
}

int ScriptedLdapClient::rename(const std::string& dn, const std::string& new_rdn,
                               const std::string& new_parent, bool delete_old_rdn,
                               const std::vector<LdapControl>& controls) {
    script_->calls.push_back("rename " + dn + " -> " + new_rdn + " | " + new_parent +
                             " delete=" + (delete_old_rdn ? "1" : "0") +
                             " controls=" + std::to_string(controls.size()));
    return track(script_->changeRc);
}

int ScriptedLdapClient::unbind() {
    script_->calls.push_back("unbind");
    return script_->unbindRc;
}

RecordingLdapTrace::RecordingLdapTrace() {
    set_trace_handler(this);
}

RecordingLdapTrace::~RecordingLdapTrace() {
    set_trace_handler(nullptr);
}

void RecordingLdapTrace::trace(bool error, const wchar_t* format, ...) {
    // Lines up to the application trace's own limit are recorded whole, so tests see the length
    // a line really has.
    constexpr size_t kMaxLine = 1 << 20;
    std::vector<wchar_t> buffer(8192);
    int length = -1;
    va_list args;
    va_start(args, format);
    for (;;) {
        va_list attempt;
        va_copy(attempt, args);
        length = std::vswprintf(buffer.data(), buffer.size(), format, attempt);
        va_end(attempt);
        if (length >= 0 || buffer.size() > kMaxLine) {
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    va_end(args);
    lines.push_back(std::wstring(error ? L"E: " : L"I: ") +
                    (length < 0 ? L"<unformattable>" : buffer.data()));
}

}  // namespace KvTest
