#include "sections/icheck/ICheckJournal.h"

#include <utility>

namespace KvMigration {

ObjectEvent ICheckObjectEvent(const std::wstring& idText, int32_t type, int64_t id,
                              const ICheckPlatform& platform, ObjectAction action) {
    std::wstring name = ICheckObjectName(type, id);
    if (platform.id != PlatformUndefined().id) {
        name += L" (" + platform.name + L")";
    }
    return ObjectEvent{{}, ICheckObjectElement, idText, std::move(name), action, {}, 0};
}

ObjectEvent ICheckPlatformEvent(const ICheckPlatform& platform, ObjectAction action) {
    return ObjectEvent{{}, platform.objectClass, platform.name, platform.name, action, {}, 0};
}

}  // namespace KvMigration
