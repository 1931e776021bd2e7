#pragma once

#include <cstdint>
#include <string>

#include "helper/MigrationJournal.h"
#include "icheck/ICheckModel.h"

namespace KvMigration {

// The journal's view of the model: an object is an "IcheckObject" named by its cn and, inside a
// platform, the platform, since both platforms hold objects of the same type and identifier.
// `idText` is the identifier as the file or the directory has it.
ObjectEvent ICheckObjectEvent(const std::wstring& idText, int32_t type, int64_t id,
                              const ICheckPlatform& platform, ObjectAction action);

// A platform as a whole, for what fails before its objects are reached; its kind is the element
// name of the platform in the file.
ObjectEvent ICheckPlatformEvent(const ICheckPlatform& platform, ObjectAction action);

}  // namespace KvMigration
