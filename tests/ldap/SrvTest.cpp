#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ldap/LdapHelper.h"
#include "ldap/LdapHelperCfg.h"

namespace {

using LdapHelper::detail::pick_srv_target;
using LdapHelper::detail::query_srv_target;

struct SrvRecord {
    uint16_t priority;
    uint16_t weight;
    std::string target;  // "." : the service is not offered
};

void Put16(std::vector<unsigned char>& out, unsigned value) {
    out.push_back(static_cast<unsigned char>(value >> 8));
    out.push_back(static_cast<unsigned char>(value));
}

void PutName(std::vector<unsigned char>& out, const std::string& name) {
    size_t start = 0;
    while (start < name.size()) {
        size_t dot = name.find('.', start);
        if (dot == std::string::npos) {
            dot = name.size();
        }
        out.push_back(static_cast<unsigned char>(dot - start));
        out.insert(out.end(), name.begin() + static_cast<long>(start),
                   name.begin() + static_cast<long>(dot));
        start = dot + 1;
    }
    out.push_back(0);
}

// A DNS response to the SRV question of corp.local with the given answers.
std::vector<unsigned char> Answer(const std::vector<SrvRecord>& records) {
    std::vector<unsigned char> out;
    Put16(out, 0x1234);
    Put16(out, 0x8180);
    Put16(out, 1);
    Put16(out, static_cast<unsigned>(records.size()));
    Put16(out, 0);
    Put16(out, 0);
    PutName(out, "_ldap._tcp.dc._msdcs.corp.local");
    Put16(out, 33);
    Put16(out, 1);
    for (const SrvRecord& record : records) {
        Put16(out, 0xC00C);  // the question's name
        Put16(out, 33);
        Put16(out, 1);
        Put16(out, 0);
        Put16(out, 600);
        std::vector<unsigned char> data;
        Put16(data, record.priority);
        Put16(data, record.weight);
        Put16(data, 389);
        PutName(data, record.target == "." ? std::string() : record.target);
        Put16(out, static_cast<unsigned>(data.size()));
        out.insert(out.end(), data.begin(), data.end());
    }
    return out;
}

// Bytes that end where readable memory ends, so a read past them faults.
class GuardedBuffer {
public:
    explicit GuardedBuffer(const std::vector<unsigned char>& bytes) {
        page_ = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        pages_ = (bytes.size() + page_ - 1) / page_ + 1;
        void* mapped = mmap(nullptr, pages_ * page_, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base_ = static_cast<unsigned char*>(mapped);
        mprotect(base_ + (pages_ - 1) * page_, page_, PROT_NONE);
        data_ = base_ + (pages_ - 1) * page_ - bytes.size();
        std::memcpy(data_, bytes.data(), bytes.size());
    }
    ~GuardedBuffer() { munmap(base_, pages_ * page_); }
    const unsigned char* Data() const { return data_; }

private:
    size_t page_ = 0;
    size_t pages_ = 0;
    unsigned char* base_ = nullptr;
    unsigned char* data_ = nullptr;
};

TEST(Srv, LowestPriorityThenHighestWeightIsChosen) {
    struct Case {
        const char* name;
        std::vector<SrvRecord> records;
        const char* host;
    };
    const Case cases[] = {
        {"one record", {{0, 100, "dc1.corp.local"}}, "dc1.corp.local"},
        {"lower priority wins over weight",
         {{10, 100, "dc1.corp.local"}, {0, 0, "dc2.corp.local"}},
         "dc2.corp.local"},
        {"higher weight within a priority",
         {{0, 5, "a.corp.local"}, {0, 50, "b.corp.local"}, {0, 20, "c.corp.local"}},
         "b.corp.local"},
        {"first of equals", {{1, 7, "a.corp.local"}, {1, 7, "b.corp.local"}}, "a.corp.local"},
        {"no service at a lower priority",
         {{0, 100, "."}, {5, 0, "dc.corp.local"}},
         "dc.corp.local"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<unsigned char> answer = Answer(c.records);
        std::string host;
        ASSERT_TRUE(
            pick_srv_target(answer.data(), answer.size(), static_cast<int>(answer.size()), host));
        EXPECT_EQ(host, c.host);
    }
}

TEST(Srv, DotTargetAloneMeansNoDomainController) {
    std::vector<unsigned char> answer = Answer({{0, 0, "."}});
    std::string host = "unchanged";
    EXPECT_FALSE(
        pick_srv_target(answer.data(), answer.size(), static_cast<int>(answer.size()), host));
    EXPECT_EQ(host, "unchanged");
}

TEST(Srv, FailedOrEmptyAnswerFindsNothing) {
    std::vector<unsigned char> answer = Answer({});
    std::string host;
    EXPECT_FALSE(pick_srv_target(answer.data(), answer.size(), -1, host));
    EXPECT_FALSE(pick_srv_target(answer.data(), answer.size(), 0, host));
    EXPECT_FALSE(
        pick_srv_target(answer.data(), answer.size(), static_cast<int>(answer.size()), host));
}

TEST(Srv, AnswerLongerThanTheBufferIsReadOnlyWithinIt) {
    std::vector<unsigned char> full =
        Answer({{0, 0, "a.corp.local"}, {0, 1, "b.corp.local"}, {0, 2, "c.corp.local"}});
    for (size_t cut : {full.size() - 1, full.size() - 12, size_t{40}, size_t{12}}) {
        SCOPED_TRACE(cut);
        GuardedBuffer buffer(std::vector<unsigned char>(full.begin(), full.begin() + cut));
        std::string host;
        EXPECT_FALSE(pick_srv_target(buffer.Data(), cut, static_cast<int>(full.size()), host));
        EXPECT_FALSE(pick_srv_target(buffer.Data(), cut, 65535, host));
    }
    GuardedBuffer whole(full);
    std::string host;
    EXPECT_TRUE(pick_srv_target(whole.Data(), full.size(), 65535, host));
    EXPECT_EQ(host, "c.corp.local");
}

TEST(Srv, AnswerThatDidNotFitIsAskedForAgainWithRoomForIt) {
    std::vector<SrvRecord> records;
    for (int i = 0; i < 300; ++i) {
        records.push_back({10, static_cast<uint16_t>(i),
                           "domain-controller-" + std::to_string(i) + ".branch.corp.local"});
    }
    records.push_back({1, 0, "best.corp.local"});
    std::vector<unsigned char> full = Answer(records);
    ASSERT_GT(full.size(), 8192u);
    std::vector<int> sizes;
    auto resolver = [&](unsigned char* answer, int size) {
        sizes.push_back(size);
        std::memcpy(answer, full.data(), std::min(full.size(), static_cast<size_t>(size)));
        return static_cast<int>(full.size());
    };
    std::string host;
    EXPECT_TRUE(query_srv_target(resolver, host));
    EXPECT_EQ(host, "best.corp.local");
    EXPECT_EQ(sizes, (std::vector<int>{8192, static_cast<int>(full.size())}));
}

// The record a failed discovery is explained with is the one it looked up. This computer's own
// domain is covered through the binary: the C library keeps its resolver settings, and with them
// LOCALDOMAIN, from the first lookup of a process, which another test here may already have made.
TEST(DcLocatorRecord, NamesTheRecordOfTheGivenDomain) {
    EXPECT_EQ(LdapHelper::dc_locator_record(L"new.local"), L"_ldap._tcp.dc._msdcs.new.local");
    EXPECT_EQ(LdapHelper::dc_locator_record(L"corp.example.com"),
              L"_ldap._tcp.dc._msdcs.corp.example.com");
}

}  // namespace
