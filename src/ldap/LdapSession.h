#pragma once

// The session behind the `session` interface; tests open it over a scripted client.

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ldap/LdapClient.h"
#include "ldap/LdapHelper.h"

namespace LdapHelper {

inline constexpr const char* OID_DOMAIN_SCOPE = "1.2.840.113556.1.4.1339";
inline constexpr const char* OID_SD_FLAGS = "1.2.840.113556.1.4.801";
inline constexpr const char* OID_DIRSYNC = "1.2.840.113556.1.4.841";
inline constexpr const char* OID_TREE_DELETE = "1.2.840.113556.1.4.805";

class LdapSession final : public session {
public:
    explicit LdapSession(std::unique_ptr<ILdapClient> client);
    ~LdapSession() override;

    // The opening sequence; leaves by an exception with the connection released.
    void open(const server_cfg& cfg, bool use_ssl, const wchar_t* user, const wchar_t* password,
              int32_t connect_timeout);

    object_ptr add_object(const wchar_t* dn, const wchar_t* object_class) override;
    object_ptr open_object(const wchar_t* dn, const attr_list& attrs) override;
    object_list search(const query& q, const attr_list& attrs) override;
    object_list dirsync_search(const query& q, const attr_list& attrs,
                               std::vector<uint8_t>& cookie) override;
    void remove_object(const wchar_t* dn) override;
    void rename_object(const wchar_t* old_dn, const wchar_t* new_dn) override;
    std::wstring default_naming_context() const override { return default_nc_; }
    server_cfg server() const override { return cfg_; }
    std::string error_text(uint32_t code) const override;
    std::map<std::wstring, Platform::Guid> schema_guids(const attr_list& names) override;

    ILdapClient& client() { return *client_; }
    // Before a write. Directory servers close connections that stay idle (Active Directory and
    // Samba after 15 minutes), and an import can leave one session idle for longer while it
    // writes through another: a connection idle for a while is checked with a read, which opens
    // it again when the server closed it, so that the write is not lost to a closed socket.
    void prepare_write();
    // After any exchange with the server.
    void touch() { last_used_ = std::chrono::steady_clock::now(); }
    uint32_t search_timeout() const { return search_timeout_; }

private:
    int32_t active_port() const { return use_ssl_ ? cfg_.ssl_port : cfg_.port; }
    [[noreturn]] void fail(const wchar_t* traceFormat, int code, int32_t line);
    void bind(const wchar_t* user, const wchar_t* password);
    // Opens the connection again as it was first opened, after the server closed it; false when
    // that failed (the trace says why), and the caller reports its own failure.
    bool reconnect();

    std::vector<LdapControl> search_controls(const std::string* cookie);
    void trace_attributes(const attr_list& attrs, SearchRequest& request) const;
    std::optional<std::string> effective_base(const query& q) const;
    object_list convert(const SearchResult& result);
    // The plain search; with a cookie, a directory-synchronisation pass that replaces the
    // cookie when the server sends a new one and sets `more` when it has more data.
    object_list plain_search(const query& q, const attr_list& attrs, std::string* cookie,
                             bool* more);
    object_list paged_search(const query& q, const attr_list& attrs);

    std::unique_ptr<ILdapClient> client_;
    std::wstring default_nc_;
    server_cfg cfg_;
    bool use_ssl_ = false;
    std::wstring user_display_;
    // What the connection was opened with, kept to open it again after the server closed it.
    std::wstring user_;
    std::wstring password_;
    int32_t connect_timeout_ = -1;
    bool reconnecting_ = false;
    std::chrono::steady_clock::time_point last_used_ = std::chrono::steady_clock::now();
    uint32_t search_timeout_ = 60;
    std::mutex rename_lock_;
    bool open_ = false;
};

// Opens a session over the given client (the real one or a scripted one).
session_ptr open_session(std::unique_ptr<ILdapClient> client, const server_cfg& cfg, bool use_ssl,
                         const wchar_t* user, const wchar_t* password, int32_t connect_timeout);

namespace detail {
// The one lock around the attribute maps of every object (re-entrant).
std::recursive_mutex& library_lock();
// The commit trace's dump: 16 bytes a line, " XX" per byte, " | ", the printable bytes, CR LF.
std::wstring hex_dump(const uint8_t* data, size_t size);
}  // namespace detail

}  // namespace LdapHelper
