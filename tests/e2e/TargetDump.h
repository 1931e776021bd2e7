// What a migration writes in both partitions of the lab's target pair, as a dump to compare with
// an expected file or with itself after a re-run.
#pragma once

#include <string>
#include <vector>

#include "support/Golden.h"
#include "support/Lab.h"
#include "support/LabDump.h"

namespace KvTest {

// The entries of a dump whose DN ends with one of `bases`, without the directory's own groups.
inline std::string KeepEntriesBelow(const std::string& dump,
                                    const std::vector<std::string>& bases) {
    std::string kept;
    size_t begin = 0;
    while (begin < dump.size()) {
        size_t end = dump.find("\n\n", begin);
        end = end == std::string::npos ? dump.size() : end + 2;
        const std::string entry = dump.substr(begin, end - begin);
        begin = end;
        const std::string dn = entry.substr(0, entry.find('\n'));
        bool wanted = false;
        for (const std::string& base : bases) {
            wanted = wanted || (dn.size() > base.size() &&
                                dn.compare(dn.size() - base.size(), base.size(), base) == 0);
        }
        if (wanted && entry.find("\nobjectClass: group\n") == std::string::npos) {
            kept += entry;
        }
    }
    return kept;
}

// Both partitions of the target pair below the security domain, the product's configuration and
// the users, normalised for an expected file: the directory's own values dropped, the lab's
// identifiers named, generated GUIDs numbered in order of appearance.
inline std::string TargetDump(const Lab& lab) {
    std::string dump;
    for (const auto& [port, nc] :
         {std::pair{std::string("51000"), lab.Value("KV_LAB_DST_SD_NC")},
          std::pair{std::string("51002"), lab.Value("KV_LAB_DST_GC_NC")}}) {
        dump += KeepEntriesBelow(DumpPartition(port, nc, GeneratedAttributes()),
                                 {",CN={" + lab.Id("DST_SD_ID") + "}," + nc,
                                  ",CN=Korvant 5.0 Configuration," + nc, ",CN=Users," + nc});
    }
    return NumberGeneratedGuids(SortLdifEntries(ReplaceLabIds(dump, LabAccountSids())));
}

}  // namespace KvTest
