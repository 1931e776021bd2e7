#pragma once

#include <string>

#include "icheck/ICheckModel.h"

namespace KvMigration {

// The installation model file of the platform in the installed product's locale:
// $SecurityServerDir, the product locale (CProductLocale), "/" and the platform's file name.
// The folder is taken as it is, without a separator of its own, as the product stores it with
// its trailing one. A missing variable raises code 203.
std::wstring InstallModelPath(const ICheckPlatform& platform);

// The scenario text of the named task in the platform's installation model file: the text of the
// first "Sequence" child of a task of a "Tasks" element (names ignoring case) whose "name" is the
// task name ignoring case; empty when the file has none. A file that cannot be read or is not
// well-formed raises the error object.
std::wstring CKVSSequence(const std::wstring& taskName, const ICheckPlatform& platform);

}  // namespace KvMigration
