#pragma once

#include <map>
#include <string>

namespace KvMigration {

// Category name -> category id (decimal text) of the three event sources of the mail rules. An
// empty id marks a category that exists but is not transferred.
const std::map<std::wstring, std::wstring>& ProductEventCategories();
const std::map<std::wstring, std::wstring>& ProductLspEventCategories();
const std::map<std::wstring, std::wstring>& SecurityAuditCategories();

}  // namespace KvMigration
