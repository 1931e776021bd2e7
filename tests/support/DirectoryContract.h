#pragma once

// What the storage writer relies on from a directory session: written once, run against the
// fake directory of the unit tests and against a real session on the lab, so the fake cannot
// drift from a server. A "world" type gives a session and a scratch container for the test's
// entries, and removes what it made.

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "helper/Identifiers.h"
#include "ldap/LdapHelper.h"
#include "platform/Guid.h"
#include "support/LdapResultCodes.h"

namespace KvTest {

// Turns every failure of the library into an exception that carries the LDAP result code.
class CodeHook : public LdapHelper::IExceptionHandler {
public:
    struct Failure : std::runtime_error {
        explicit Failure(uint32_t c) : std::runtime_error("directory failure"), code(c) {}
        uint32_t code;
    };
    CodeHook() { LdapHelper::set_exception_handler(this); }
    ~CodeHook() { LdapHelper::set_exception_handler(nullptr); }
    void handle(uint32_t code, const std::string&, const char*, int32_t) override {
        throw Failure(code);
    }
};

template <typename World>
class DirectoryContract : public testing::Test {
protected:
    void SetUp() override {
        if (!World::Available()) {
            GTEST_FAIL() << World::Unavailable();
        }
        world_ = std::make_unique<World>();
    }
    void TearDown() override { world_.reset(); }

    LdapHelper::session& Session() { return world_->Session(); }
    std::wstring Dn(const std::wstring& rdn) { return rdn + L"," + world_->Base(); }

    // The result code of the failure `action` ends with; 0 when it succeeds.
    template <typename Action>
    uint32_t CodeOf(Action action) {
        try {
            action();
        } catch (const CodeHook::Failure& failure) {
            return failure.code;
        }
        return 0;
    }

    LdapHelper::object_ptr AddPolicy(const std::wstring& rdn) {
        LdapHelper::object_ptr policy =
            Session().add_object(Dn(rdn).c_str(), L"orvexKVPolicyObject");
        policy->set_attr(L"orvexKVPolicyVersion", LdapHelper::attr_value(int32_t{5}));
        policy->set_attr(L"orvexKVPolicyType", LdapHelper::attr_value(L"Template"));
        policy->commit();
        return policy;
    }

    std::unique_ptr<World> world_;
    CodeHook hook_;
};

TYPED_TEST_SUITE_P(DirectoryContract);

TYPED_TEST_P(DirectoryContract, AddedEntryReadsBackAsStaged) {
    const Platform::Guid guid =
        KvMigration::GuidFromString(L"079aa557-4a18-424a-8eee-e39f0a8d41b9");
    LdapHelper::object_ptr server =
        this->Session().add_object(this->Dn(L"CN=S-1-5-21-1-2-3-1000").c_str(), L"orvexKVOMS");
    server->set_attr(L"orvexKVOMSSID",
                     LdapHelper::attr_value(KvMigration::StringToSid(L"S-1-5-21-1-2-3-1000")));
    server->set_attr(L"orvexKVOMSFlags", LdapHelper::attr_value(int32_t{-7}));
    server->set_attr(L"orvexKVOMSMailSettings", LdapHelper::attr_value(L"<Mail a=\"ü\"/>"));
    server->set_attr(L"orvexKVObjectGuid", LdapHelper::attr_value(guid));
    server->set_attr(L"orvexKVPolicyLink",
                     LdapHelper::attr_value(LdapHelper::attr_list{L"b-link", L"a-link"}));
    EXPECT_TRUE(server->is_new());
    server->commit();
    EXPECT_FALSE(server->is_new());
    EXPECT_FALSE(server->is_modified());
    EXPECT_EQ(server->get_attr(L"orvexKVOMSFlags").to_int(), -7);

    LdapHelper::object_ptr read = this->Session().open_object(
        this->Dn(L"CN=S-1-5-21-1-2-3-1000").c_str(),
        {L"orvexKVOMSSID", L"orvexKVOMSFlags", L"orvexKVOMSMailSettings", L"orvexKVObjectGuid",
         L"orvexKVPolicyLink"});
    ASSERT_NE(read, nullptr);
    LdapHelper::attr_value sid = read->get_attr(L"orvexKVOMSSID");
    EXPECT_EQ(KvMigration::SidToString(sid.data()), L"S-1-5-21-1-2-3-1000");
    EXPECT_EQ(read->get_attr(L"orvexKVOMSFlags").to_int(), -7);
    EXPECT_EQ(read->get_attr(L"orvexKVOMSMailSettings").to_string(), L"<Mail a=\"ü\"/>");
    EXPECT_EQ(read->get_attr(L"orvexKVObjectGuid").to_guid(), guid);
    LdapHelper::attr_list links = read->get_attr(L"orvexKVPolicyLink").to_list();
    std::sort(links.begin(), links.end());
    EXPECT_EQ(links, (LdapHelper::attr_list{L"a-link", L"b-link"}));
    EXPECT_FALSE(read->is_new());
}

TYPED_TEST_P(DirectoryContract, BooleansAndSingleElementListsTravelAsOneValue) {
    LdapHelper::object_ptr computer =
        this->Session().add_object(this->Dn(L"CN=KVCONTRACT").c_str(), L"computer");
    computer->set_attr(L"sAMAccountName", LdapHelper::attr_value(L"KVCONTRACT$"));
    computer->set_attr(L"orvexKVComputerfAgent", LdapHelper::attr_value(true));
    computer->set_attr(L"orvexKVPolicyLink",
                       LdapHelper::attr_value(LdapHelper::attr_list{L"only"}));
    computer->commit();
    LdapHelper::object_ptr read = this->Session().open_object(
        this->Dn(L"CN=KVCONTRACT").c_str(), {L"orvexKVComputerfAgent", L"orvexKVPolicyLink"});
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(read->get_attr(L"orvexKVComputerfAgent").to_bool());
    LdapHelper::attr_value link = read->get_attr(L"orvexKVPolicyLink");
    EXPECT_EQ(link.count(), 1);
    EXPECT_FALSE(link.multi());
    EXPECT_EQ(link.to_list(), (LdapHelper::attr_list{L"only"}));
}

TYPED_TEST_P(DirectoryContract, MissingEntryOpensAsNull) {
    EXPECT_EQ(this->Session().open_object(this->Dn(L"CN=Nobody").c_str(), {}), nullptr);
}

TYPED_TEST_P(DirectoryContract, DnsCompareWithoutRegardToCase) {
    this->AddPolicy(L"CN=MixedCase");
    std::wstring upper = this->Dn(L"CN=MixedCase");
    std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
    EXPECT_NE(this->Session().open_object(upper.c_str(), {L"orvexKVPolicyType"}), nullptr);
}

TYPED_TEST_P(DirectoryContract, AddingAnExistingEntryIsRefused) {
    this->AddPolicy(L"CN=Twice");
    EXPECT_EQ(this->CodeOf([this] { this->AddPolicy(L"CN=Twice"); }), kAlreadyExists);
}

TYPED_TEST_P(DirectoryContract, ReplaceSetsAndAnEmptyValueRemoves) {
    this->AddPolicy(L"CN=Changed");
    LdapHelper::object_ptr policy =
        this->Session().open_object(this->Dn(L"CN=Changed").c_str(), {});
    ASSERT_NE(policy, nullptr);
    policy->set_attr(L"orvexKVPolicyVersion", LdapHelper::attr_value(int32_t{6}));
    policy->remove_attr(L"orvexKVPolicyType");
    policy->remove_attr(L"orvexKVPolicyDevices");  // absent already: removing it is no error
    EXPECT_TRUE(policy->is_modified());
    policy->commit();
    EXPECT_FALSE(policy->is_modified());
    LdapHelper::object_ptr read = this->Session().open_object(
        this->Dn(L"CN=Changed").c_str(), {L"orvexKVPolicyVersion", L"orvexKVPolicyType"});
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->get_attr(L"orvexKVPolicyVersion").to_int(), 6);
    EXPECT_TRUE(read->is_absent(L"orvexKVPolicyType"));
}

TYPED_TEST_P(DirectoryContract, EmptyValuesOfANewEntryAreLeftOut) {
    LdapHelper::object_ptr policy =
        this->Session().add_object(this->Dn(L"CN=Sparse").c_str(), L"orvexKVPolicyObject");
    policy->set_attr(L"orvexKVPolicyType", LdapHelper::attr_value());
    policy->set_attr(L"orvexKVPolicyVersion", LdapHelper::attr_value(int32_t{1}));
    policy->commit();
    LdapHelper::object_ptr read = this->Session().open_object(
        this->Dn(L"CN=Sparse").c_str(), {L"orvexKVPolicyType", L"orvexKVPolicyVersion"});
    ASSERT_NE(read, nullptr);
    EXPECT_TRUE(read->is_absent(L"orvexKVPolicyType"));
    EXPECT_EQ(read->get_attr(L"orvexKVPolicyVersion").to_int(), 1);
}

TYPED_TEST_P(DirectoryContract, FailedCommitKeepsTheChangesStaged) {
    LdapHelper::object_ptr gone = this->AddPolicy(L"CN=Gone");
    this->Session().remove_object(this->Dn(L"CN=Gone").c_str());
    gone->set_attr(L"orvexKVPolicyVersion", LdapHelper::attr_value(int32_t{9}));
    EXPECT_EQ(this->CodeOf([&] { gone->commit(); }), kNoSuchObject);
    EXPECT_TRUE(gone->is_modified());
    EXPECT_EQ(gone->get_attr(L"orvexKVPolicyVersion").to_int(), 9);
}

TYPED_TEST_P(DirectoryContract, RemovingTakesTheSubtree) {
    LdapHelper::object_ptr parent =
        this->Session().add_object(this->Dn(L"CN=Parent").c_str(), L"container");
    parent->commit();
    this->AddPolicy(L"CN=Child,CN=Parent");
    this->Session().remove_object(this->Dn(L"CN=Parent").c_str());
    EXPECT_EQ(this->Session().open_object(this->Dn(L"CN=Child,CN=Parent").c_str(), {}), nullptr);
    EXPECT_EQ(this->Session().open_object(this->Dn(L"CN=Parent").c_str(), {}), nullptr);
    EXPECT_EQ(
        this->CodeOf([this] { this->Session().remove_object(this->Dn(L"CN=Parent").c_str()); }),
        kNoSuchObject);
}

REGISTER_TYPED_TEST_SUITE_P(DirectoryContract, AddedEntryReadsBackAsStaged,
                            BooleansAndSingleElementListsTravelAsOneValue, MissingEntryOpensAsNull,
                            DnsCompareWithoutRegardToCase, AddingAnExistingEntryIsRefused,
                            ReplaceSetsAndAnEmptyValueRemoves, EmptyValuesOfANewEntryAreLeftOut,
                            FailedCommitKeepsTheChangesStaged, RemovingTakesTheSubtree);

}  // namespace KvTest
