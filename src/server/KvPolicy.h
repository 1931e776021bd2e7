#pragma once

#include <map>
#include <memory>
#include <string>

#include "app/helper/CValue.h"
#include "app/helper/ObjectText.h"
#include "server/PolicyTemplate.h"

namespace KvMigration {

// A product policy built from a group-policy template: kind 0, a new identifier, and the
// attributes orvexKVPolicyVersion, orvexKVPolicyRevision, orvexKVPolicyBase and
// orvexKVPolicyDevices. The server export turns it into its object record.
struct KvPolicyRecord {
    ObjectKind kind = KindPolicy;
    std::wstring id;
    std::map<std::wstring, CValue> attributes;
};

// The policy of the template at `path`; empty when the template cannot be read, is empty or
// cannot be parsed (each traced). Raises the decoding errors of "Dacs" and "Prn" values.
std::shared_ptr<KvPolicyRecord> CreateKvPolicy(const std::wstring& path);

// The policy of a parsed template, with a new identifier.
std::shared_ptr<KvPolicyRecord> WriteKvPolicy(const PolicyTemplate& policy);

}  // namespace KvMigration
