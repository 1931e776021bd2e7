#pragma once

// Dumps of the lab's directory partitions as sorted LDIF, to compare a partition before and
// after a run, or with an expected dump checked into tests/.

#include <set>
#include <string>
#include <utility>
#include <vector>

namespace KvTest {

// Every entry under `base` on the lab server at 127.0.0.1:`port` (read with ldapsearch as the
// lab administrator): entries ordered by DN regardless of case, each entry's lines ordered, SIDs
// and GUIDs of binary attributes in their text forms, and text that LDIF gives in Base64 as
// "name:~ text" with its line breaks written \n and \r. Attributes in `dropped` are left out
// (compared regardless of case). Throws when ldapsearch fails.
std::string DumpPartition(const std::string& port, const std::string& base,
                          const std::set<std::string>& dropped);

// What a directory changes on its own (a bind updates the logon attributes of the account), left
// out of every before-and-after comparison.
const std::set<std::string>& VolatileAttributes();

// VolatileAttributes and what the directory writes with every change (time stamps, update
// numbers, its own GUIDs and SIDs): left out of dumps compared with expected files.
const std::set<std::string>& GeneratedAttributes();

// The SIDs Samba gave the accounts of `ad` at provisioning (text form), each with the name
// "SID_<ACCOUNT>" (upper case, without the "$" of computers), for ReplaceLabIds.
std::vector<std::pair<std::string, std::string>> LabAccountSids();

}  // namespace KvTest
