// The Oms section written by the real binary from the lab's source pair and from `ad`, compared
// with golden files: element order, attribute children in ordinal order, `source` twice on a
// policy, transformed mail settings and schedules, the filter as the server's last child,
// policies made from the linked group-policy templates, and what must not be there.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "support/Golden.h"
#include "support/LabDump.h"
#include "support/LabProgram.h"
#include "support/ScopedTempDir.h"

namespace {

using KvTest::Lab;

std::string OmsSection(const std::string& file) {
    size_t begin = file.find("<Oms>");
    size_t end = file.find("</Oms>");
    return begin == std::string::npos || end == std::string::npos
               ? std::string()
               : file.substr(begin, end + 6 - begin);
}

// The objects of each list sorted (see SortSiblingBlocks); the server's children stay in place.
std::string SortObjectLists(std::string section) {
    for (const std::string wrapper : {"Services", "Containers", "Policies"}) {
        size_t begin = section.find("<" + wrapper + ">");
        size_t end = section.find("</" + wrapper + ">");
        if (begin == std::string::npos || end == std::string::npos) {
            continue;
        }
        begin += wrapper.size() + 3;         // after the line break of the opening tag
        end = section.rfind('\n', end) + 1;  // the closing tag's line stays out
        section.replace(begin, end - begin,
                        KvTest::SortSiblingBlocks(section.substr(begin, end - begin), 8));
    }
    return section;
}

// The `id` attributes of the objects directly inside `wrapper`, in file order.
std::vector<std::string> ObjectIds(const std::string& section, const std::string& wrapper) {
    std::vector<std::string> ids;
    size_t begin = section.find("<" + wrapper + ">");
    size_t end = section.find("</" + wrapper + ">");
    if (begin == std::string::npos || end == std::string::npos) {
        return ids;
    }
    const std::string body = section.substr(begin, end - begin);
    const std::regex object("\n        <[A-Za-z]+ id=\"([^\"]+)\"");
    for (auto it = std::sregex_iterator(body.begin(), body.end(), object);
         it != std::sregex_iterator(); ++it) {
        ids.push_back((*it)[1].str());
    }
    return ids;
}

class OmsExportLabTest : public testing::Test {
protected:
    void SetUp() override { KV_REQUIRE_LAB(); }
    const Lab& lab = Lab::Get();
    KvTest::ScopedTempDir dir;
};

TEST_F(OmsExportLabTest, SectionMatchesGoldenFile) {
    struct Case {
        const char* title;
        std::vector<std::string> storage;
        std::string golden;
    };
    const std::string goldenDir = KV_GOLDEN_DIR;
    const std::vector<Case> cases = {
        {"AD LDS pair", {"-lds", lab.Value("KV_LAB_SRC_PORTS")}, goldenDir + "/oms-lds.xml"},
        {"Active Directory", {"-ad"}, goldenDir + "/oms-ad.xml"},
    };
    const auto sids = KvTest::LabAccountSids();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        std::vector<std::string> arguments = {"-ex", dir.File("export.xml"), "-rmf"};
        arguments.insert(arguments.end(), c.storage.begin(), c.storage.end());
        KvTest::ProcessResult result = KvTest::RunProgram(KV_BINARY_PATH, arguments);
        ASSERT_EQ(result.status, 0) << result.out << result.err;
        const std::string section = OmsSection(KvTest::ReadFile(dir.File("export.xml")));
        ASSERT_FALSE(section.empty());

        // Objects are written in ascending identifier order; the golden file cannot show it,
        // since the lab's identifiers change with every provisioning.
        for (const char* wrapper : {"Services", "Containers", "Policies"}) {
            std::vector<std::string> ids = ObjectIds(section, wrapper);
            EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end())) << wrapper;
        }
        const std::string normalized =
            KvTest::NumberGeneratedGuids(SortObjectLists(KvTest::ReplaceLabIds(section, sids)));
        KvTest::ExpectGolden(normalized, c.golden);
    }
}

}  // namespace
