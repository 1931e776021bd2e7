#pragma once

#include <string>
#include <vector>

namespace KvMigration {

// The whole run of the program for the arguments after its name; returns the exit status of the
// normal end (failures end the process from inside).
int RunMigration(const std::vector<std::wstring>& arguments);

}  // namespace KvMigration
