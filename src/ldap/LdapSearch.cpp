#include "ldap/LdapObject.h"
#include "ldap/LdapSession.h"
#include "ldap/LdapTrace.h"
#include "platform/CodePage.h"

namespace LdapHelper {

using detail::kSourceFile;
using detail::trace_error;
using detail::trace_info;

namespace {

constexpr uint32_t E_OUTOFMEMORY_CODE = 0x8007000E;
constexpr int kSdFlagsOwnerGroupDacl = 7;
constexpr int kDirsyncMaxBytes = 0x100000;
constexpr uint32_t kPageSize = 500;
constexpr int kPageTimeLimit = 30;

bool IsMild(int code) {
    return code == LDAP_RC_OPERATIONS_ERROR || code == LDAP_RC_REFERRAL ||
           code == LDAP_RC_NO_SUCH_OBJECT || code == LDAP_RC_NO_RESULTS_RETURNED;
}

// A BER value for a control; failures go to the hooks with the caller's trace prefix.
std::string EncodedOrFail(uint32_t rc, const std::string& value, const wchar_t* outOfMemory,
                          const wchar_t* flattenError) {
    if (rc == E_OUTOFMEMORY_CODE) {
        trace_error(outOfMemory, rc);
        report_failure(rc, "Ran out of memory", kSourceFile, __LINE__);
    }
    if (rc != 0) {
        trace_error(flattenError, rc);
        report_failure(rc, "ber_flatten error", kSourceFile, __LINE__);
    }
    return value;
}

}  // namespace

std::vector<LdapControl> LdapSession::search_controls(const std::string* cookie) {
    std::vector<LdapControl> controls;
    controls.push_back({OID_DOMAIN_SCOPE, std::nullopt, false});
    std::string flags;
    uint32_t rc = BerEncodeFlags(kSdFlagsOwnerGroupDacl, flags);
    controls.push_back({OID_SD_FLAGS,
                        EncodedOrFail(rc, flags, L"set_sd: Ran out of memory %08X",
                                      L"set_sd: ber_flatten error %08X"),
                        true});
    if (cookie != nullptr) {
        std::string dirsync;
        rc = BerEncodeDirsync(0, kDirsyncMaxBytes, *cookie, dirsync);
        controls.push_back({OID_DIRSYNC,
                            EncodedOrFail(rc, dirsync, L"set_cookie: Ran out of memory %08X",
                                          L"set_cookie: ber_flatten error %08X"),
                            true});
    }
    return controls;
}

void LdapSession::trace_attributes(const attr_list& attrs, SearchRequest& request) const {
    if (!attrs.empty()) {
        trace_info(L"Number of attributes = %lu", static_cast<unsigned long>(attrs.size()));
    }
    int index = 0;
    for (const std::wstring& name : attrs) {
        trace_info(L"  pattrs[%d] = %ls", index++, name.c_str());
        request.attributes.push_back(Platform::WideToUtf8(name));
    }
}

std::optional<std::string> LdapSession::effective_base(const query& q) const {
    if (q.base.empty()) {
        return Platform::WideToUtf8(default_nc_);
    }
    if (q.base == L"*") {
        return std::nullopt;
    }
    return Platform::WideToUtf8(q.base);
}

object_list LdapSession::convert(const SearchResult& result) {
    object_list objects;
    for (const LdapEntryData& entry : result.entries) {
        auto converted = std::make_shared<LdapObject>(this, Platform::Utf8ToWide(entry.dn));
        for (const auto& [name, values] : entry.attributes) {
            converted->store_read(Platform::Utf8ToWide(name), attr_value::from_wire(values));
        }
        objects.push_back(std::move(converted));
    }
    return objects;
}

object_list LdapSession::plain_search(const query& q, const attr_list& attrs, std::string* cookie,
                                      bool* more) {
    SearchRequest request;
    request.server_controls = search_controls(cookie);
    trace_attributes(attrs, request);
    request.base = effective_base(q);
    request.scope = q.scope;
    request.filter = Platform::WideToUtf8(q.filter);
    request.timeout_seconds = static_cast<int>(search_timeout_);

    SearchResult result;
    int rc = client_->search(request, result);
    if (rc == LDAP_RC_SERVER_DOWN && reconnect()) {
        result = SearchResult{};
        rc = client_->search(request, result);
    }
    touch();
    if (rc == 0) {
        rc = result.result_code;
    }
    if (rc != 0) {
        bool mild = IsMild(rc);
        if (rc != LDAP_RC_NO_RESULTS_RETURNED) {
            std::string text = LdapErrorString(rc);
            detail::trace_line(!mild, L"ldap_search_ext_s: %08X %s (msg = %p)", rc, text.c_str(),
                               static_cast<const void*>(&result));
        }
        if (mild) {
            return {};
        }
        if (rc == LDAP_RC_SIZELIMIT_EXCEEDED) {
            throw size_limit_exception(kSourceFile, __LINE__);
        }
        report_failure(static_cast<uint32_t>(rc), error_text(static_cast<uint32_t>(rc)),
                       kSourceFile, __LINE__);
    }

    object_list objects = convert(result);
    if (cookie != nullptr) {
        const LdapControl* response = nullptr;
        for (const LdapControl& control : result.controls) {
            if (control.oid == OID_DIRSYNC) {
                response = &control;
                break;
            }
        }
        if (response != nullptr) {
            std::string value = response->value.value_or(std::string());
            trace_info(L"Found SERVER_DIRSYNC size:%d", static_cast<int>(value.size()));
            int flag = 0;
            std::string received;
            if (!BerDecodeDirsync(value, flag, received)) {
                trace_error(L"ldap_parse_result: %08X %s", 0x54, LdapErrorString(0x54).c_str());
                return objects;
            }
            trace_info(L"Read binary cookie size:%d", static_cast<int>(received.size()));
            // The pass continues only with a new cookie to continue from; a server that keeps
            // saying "more" without one would otherwise be asked the same question forever.
            if (!received.empty() && received != *cookie) {
                *cookie = received;
                *more = flag > 0;
            }
        }
    }
    return objects;
}

object_list LdapSession::paged_search(const query& q, const attr_list& attrs) {
    SearchRequest request;
    request.server_controls = search_controls(nullptr);
    trace_attributes(attrs, request);
    request.base = effective_base(q);
    request.scope = q.scope;
    request.filter = Platform::WideToUtf8(q.filter);
    request.timeout_seconds = static_cast<int>(search_timeout_);
    request.time_limit_seconds = kPageTimeLimit;
    request.page_size = kPageSize;

    object_list objects;
    int total = 0;
    bool started = false;
    // Releases the server's paging state when the search stops before its last page.
    struct Abandon {
        ILdapClient& client;
        SearchRequest& request;
        ~Abandon() {
            if (!request.page_cookie.empty()) {
                request.page_size = 0;
                SearchResult ignored;
                client.search(request, ignored);
            }
        }
    } abandon{*client_, request};

    for (;;) {
        SearchResult page;
        int rc = (started && request.page_cookie.empty()) ? LDAP_RC_NO_RESULTS_RETURNED
                                                          : client_->search(request, page);
        // A closed connection is opened again only before the first page: the server's paging
        // state of a later page is gone with it.
        if (rc == LDAP_RC_SERVER_DOWN && !started && reconnect()) {
            page = SearchResult{};
            rc = client_->search(request, page);
        }
        touch();
        if (rc != 0) {
            bool mild = IsMild(rc);
            if (rc != LDAP_RC_NO_RESULTS_RETURNED) {
                std::string text = LdapErrorString(rc);
                detail::trace_line(!mild, L"ldap_get_next_page_s: %08X %s (total = %d msg = %p)",
                                   rc, text.c_str(), total, static_cast<const void*>(&page));
            }
            if (!mild) {
                report_failure(static_cast<uint32_t>(rc), error_text(static_cast<uint32_t>(rc)),
                               kSourceFile, __LINE__);
            }
            break;
        }
        started = true;
        if (page.result_code != 0) {
            trace_error(L"ldap_result2error: %08X %s", page.result_code,
                        LdapErrorString(page.result_code).c_str());
            request.page_cookie.clear();
            break;
        }
        object_list converted = convert(page);
        total += static_cast<int>(converted.size());
        objects.insert(objects.end(), converted.begin(), converted.end());
        request.page_cookie = page.page_cookie;
    }
    return objects;
}

object_list LdapSession::search(const query& q, const attr_list& attrs) {
    const std::wstring& used = q.base.empty() ? default_nc_ : q.base;
    trace_info(L"---> LdapSession::search(root[%d] = %ls, scope = %d, filter = %ls)",
               static_cast<int>(q.base.size()), used.c_str(), q.scope, q.filter.c_str());
    object_list objects;
    try {
        objects = plain_search(q, attrs, nullptr, nullptr);
    } catch (const size_limit_exception&) {
        // The server refused the whole result at once; the same query page by page gets it all.
        objects = paged_search(q, attrs);
    }
    trace_info(L"LdapSession::search return %d objects", static_cast<int>(objects.size()));
    return objects;
}

object_list LdapSession::dirsync_search(const query& q, const attr_list& attrs,
                                        std::vector<uint8_t>& cookie) {
    const std::wstring& used = q.base.empty() ? default_nc_ : q.base;
    trace_info(
        L"---> LdapSession::dirsync_search(root[%d] = %ls, scope = %d, filter = %ls Data.size() = "
        L"%d)",
        static_cast<int>(q.base.size()), used.c_str(), q.scope, q.filter.c_str(),
        static_cast<int>(cookie.size()));
    std::string working(cookie.begin(), cookie.end());
    object_list objects;
    bool more = true;
    while (more) {
        // A pass that brings no new cookie (no response control, an empty cookie, a mild
        // error) ends the loop; the caller keeps the newest cookie it had.
        more = false;
        object_list pass = plain_search(q, attrs, &working, &more);
        objects.insert(objects.end(), pass.begin(), pass.end());
    }
    cookie.assign(working.begin(), working.end());
    return objects;
}

}  // namespace LdapHelper
