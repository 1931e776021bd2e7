#pragma once

#include <string>

#include "helper/ObjectData.h"
#include "server/PolicyTemplate.h"

namespace KvMigration {

// A product policy built from a group-policy template: kind 0, a new identifier, and the
// attributes orvexKVPolicyVersion, orvexKVPolicyRevision, orvexKVPolicyBase and
// orvexKVPolicyDevices.

// The policy of the template at `path`; empty when the template cannot be read, is empty or
// cannot be parsed (each traced). Raises the decoding errors of "Dacs" and "Prn" values.
ObjectDataPtr CreateKvPolicy(const std::wstring& path);

// The policy of a parsed template, with a new identifier; empty when its settings are too large.
ObjectDataPtr WriteKvPolicy(const PolicyTemplate& policy);

}  // namespace KvMigration
