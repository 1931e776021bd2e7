#pragma once

#include <string>

#include "helper/ObjectData.h"
#include "xml/Exporter.h"

namespace KvMigration {

// The element name of an object kind in the Oms section: Policy, Server, Service, Container.
const wchar_t* ObjectElementName(ObjectKind kind);

// Opens the element of a record: `id` and `name` when not empty, `source` for a policy, then one
// child per attribute in ordinal order of the names, a list as `S` children; empty values are
// left out. The element stays open, so that a caller can add children (the server's filter).
void StartObjectElement(ISaxWriter& writer, const CObjectData& record);

}  // namespace KvMigration
