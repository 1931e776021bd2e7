#include "client/NodeHolder.h"

namespace KvMigration {

void CNodeHolder::Clear() {
    attributes.clear();
    className.clear();
    name.clear();
}

}  // namespace KvMigration
