#pragma once

// Domain-controller discovery from DNS SRV records, offered separately so the answer handling
// can be tested without a name server.

#include <cstddef>
#include <functional>
#include <string>

namespace LdapHelper::detail {

// The target an SRV answer advertises: the lowest priority, then the highest weight; a target
// of "." (the service is not offered) is never chosen. `length` is what the resolver returned,
// which is the full answer's length even when only `size` bytes of it fit the buffer.
bool pick_srv_target(const unsigned char* answer, size_t size, int length, std::string& host);

// Runs a resolver query (res_nquery into the given buffer) and picks the target; an answer
// larger than the buffer is asked for again with room for all of it.
using SrvQuery = std::function<int(unsigned char* answer, int size)>;
bool query_srv_target(const SrvQuery& query, std::string& host);

}  // namespace LdapHelper::detail
