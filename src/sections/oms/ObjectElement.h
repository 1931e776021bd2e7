#pragma once

#include "helper/ObjectData.h"
#include "xml/Exporter.h"

namespace KvMigration {

// Opens the element of a record (named by ObjectElementName): `id` and `name` when not empty,
// `source` for a policy, then one child per attribute in ordinal order of the names, a list as
// `S` children; empty values are left out. The element stays open, so that a caller can add
// children (the server's filter).
void StartObjectElement(ISaxWriter& writer, const CObjectData& record);

}  // namespace KvMigration
