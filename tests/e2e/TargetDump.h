// What a migration writes in both partitions of the lab's target pair, as a dump to compare with
// an expected file or with itself after a re-run.
#pragma once

#include <set>
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

// The integrity-check model's time stamp (type 9, identifier 2) holds the time of the import that
// wrote it: named, so that dumps of different imports compare.
inline std::string NameModelTimeStamps(const std::string& dump) {
    std::string named;
    size_t begin = 0;
    while (begin < dump.size()) {
        size_t end = dump.find("\n\n", begin);
        end = end == std::string::npos ? dump.size() : end + 2;
        std::string entry = dump.substr(begin, end - begin);
        begin = end;
        if (entry.rfind("dn: CN=Type 0x00000009 ID 0x2,", 0) == 0) {
            const std::string data = "\norvexKVICheckObjData:: ";
            const size_t at = entry.find(data);
            if (at != std::string::npos) {
                const size_t lineEnd = entry.find('\n', at + 1);
                entry.replace(at + data.size(), lineEnd - at - data.size(), "{{TIME STAMP}}");
            }
        }
        named += entry;
    }
    return named;
}

// Both partitions of the target pair below the security domain, the product's configuration and
// the users, normalised for an expected file: the directory's own values dropped (with the account
// name Samba makes up for every user it creates), the lab's identifiers and the model's time
// stamps named, generated GUIDs numbered in order of appearance.
inline std::string TargetDump(const Lab& lab) {
    std::set<std::string> dropped = GeneratedAttributes();
    dropped.insert("sAMAccountName");
    std::string dump;
    for (const auto& [port, nc] :
         {std::pair{std::string("51000"), lab.Value("KV_LAB_DST_SD_NC")},
          std::pair{std::string("51002"), lab.Value("KV_LAB_DST_GC_NC")}}) {
        dump += KeepEntriesBelow(DumpPartition(port, nc, dropped),
                                 {",CN={" + lab.Id("DST_SD_ID") + "}," + nc,
                                  ",CN=Korvant 5.0 Configuration," + nc, ",CN=Users," + nc});
    }
    return NumberGeneratedGuids(
        SortLdifEntries(NameModelTimeStamps(ReplaceLabIds(dump, LabAccountSids()))));
}

}  // namespace KvTest
