#include <gtest/gtest.h>

#include <string>

#include "ldap/LdapClient.h"
#include "ldap/LdapHooks.h"

namespace {

using namespace LdapHelper;

TEST(LdapHooks, WrongPasswordWithoutHookIsInvalidCredentialsNamingOnlyTheSite) {
    try {
        report_failure(49, "Server: 'dc1:389' ...", "LdapHelper", 120);
        FAIL() << "report_failure returned";
    } catch (const access_denied_exception& e) {
        EXPECT_NE(dynamic_cast<const invalid_credentials_exception*>(&e), nullptr);
        EXPECT_STREQ(e.what(), "Access denied! File: LdapHelper, Line: 120");
    }
}

TEST(LdapHooks, InsufficientRightsWithoutHookIsAccessDenied) {
    try {
        report_failure(50, "message", "LdapHelper", 7);
        FAIL() << "report_failure returned";
    } catch (const invalid_credentials_exception&) {
        FAIL() << "50 is not a credentials failure";
    } catch (const access_denied_exception& e) {
        EXPECT_STREQ(e.what(), "Access denied! File: LdapHelper, Line: 7");
    }
}

TEST(LdapHooks, OtherCodesComposeMessageCodeFileAndLine) {
    struct Case {
        uint32_t code;
        const char* expected;
    };
    const Case cases[] = {
        {32,
         "Server: 'x:389' User: 'u' Error: No such object (0x20)., Code: 32, File: LdapHelper, "
         "Line: 15"},
        {0x80004005,
         "Server: 'x:389' User: 'u' Error: No such object (0x20)., Code: 2147500037, "
         "File: LdapHelper, Line: 15"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        try {
            report_failure(c.code, "Server: 'x:389' User: 'u' Error: No such object (0x20).",
                           "LdapHelper", 15);
            FAIL() << "report_failure returned";
        } catch (const CExceptionHandler& e) {
            EXPECT_STREQ(e.what(), c.expected);
        }
    }
}

struct CountingHook : IExceptionHandler {
    void handle(uint32_t code, const std::string& message, const char*, int32_t) override {
        ++calls;
        lastCode = code;
        lastMessage = message;
    }
    int calls = 0;
    uint32_t lastCode = 0;
    std::string lastMessage;
};

TEST(LdapHooks, HookThatReturnsDoesNotStopTheFailure) {
    CountingHook hook;
    set_exception_handler(&hook);
    EXPECT_THROW(report_failure(68, "exists", "LdapHelper", 3), CExceptionHandler);
    set_exception_handler(nullptr);
    EXPECT_EQ(hook.calls, 1);
    EXPECT_EQ(hook.lastCode, 68u);
    EXPECT_EQ(hook.lastMessage, "exists");
}

TEST(LdapHooks, SizeLimitExceptionText) {
    EXPECT_STREQ(size_limit_exception("LdapHelper", 9).what(),
                 "Size Limit Exeeded! File: LdapHelper, Line: 9");
}

TEST(LdapMapErrorToWin32, FollowsThePublishedTable) {
    struct Case {
        uint32_t ldap;
        uint32_t win32;
    };
    const Case cases[] = {
        {0, 0},       {1, 110},     {2, 124},           {3, 1460},    {4, 234},     {5, 8341},
        {7, 5},       {8, 5},       {10, 234},          {11, 1816},   {12, 1003},   {16, 87},
        {17, 8341},   {20, 183},    {21, 123},          {32, 2},      {34, 87},     {48, 5},
        {49, 1323},   {50, 5},      {51, 170},          {52, 55},     {53, 1003},   {60, 8261},
        {64, 87},     {65, 87},     {66, 1003},         {68, 183},    {70, 122},    {80, 8341},
        {0x51, 58},   {0x55, 1053}, {0x5a, 8},          {0x5b, 1225}, {0x5d, 1168}, {0x5e, 234},
        {0x61, 8341}, {0x62, 8341}, {0x80004005, 8341},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ldap);
        EXPECT_EQ(LdapMapErrorToWin32(c.ldap), c.win32);
    }
}

TEST(LdapErrorCodes, ClientCodesUseTheWindowsNumberingAndKeepTheirTexts) {
    EXPECT_EQ(FromOpenLdapCode(-1), 0x51);
    EXPECT_EQ(FromOpenLdapCode(-11), 0x5b);
    EXPECT_EQ(FromOpenLdapCode(-14), 0x5e);
    EXPECT_EQ(FromOpenLdapCode(-17), 0x61);
    EXPECT_EQ(FromOpenLdapCode(-18), 0x52);
    EXPECT_EQ(FromOpenLdapCode(49), 49);
    EXPECT_EQ(LdapErrorString(0x51), "Can't contact LDAP server");
    EXPECT_EQ(LdapErrorString(49), "Invalid credentials");
}

}  // namespace
