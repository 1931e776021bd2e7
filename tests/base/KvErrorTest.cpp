#include "base/KvError.h"
#include "base/SystemMessages.h"

#include <gtest/gtest.h>

namespace {

using KvBase::CKvError;

TEST(KvError, MessageErrorDumpsItsEntriesInNameOrder) {
    CKvError error(L"Not found security domain", L"KvMigrationUtil", 464, L"GetDomainSdDn");
    EXPECT_EQ(error.Code(), 0x80004005u);
    EXPECT_EQ(error.Dump(),
              L"Code: 0x80004005\r\n"
              L"Description: Not found security domain\r\n"
              L"File: KvMigrationUtil\r\n"
              L"Function: GetDomainSdDn\r\n"
              L"Line: 464\r\n");
    // A text returned by reference is rebuilt by the next Dump, so compare a copy.
    std::wstring text = error.GetText();
    EXPECT_EQ(text, error.Dump());
}

TEST(KvError, AbsentSourceEntriesAreLeftOut) {
    CKvError error(L"x", L"", 0, L"");
    EXPECT_EQ(error.Dump(), L"Code: 0x80004005\r\nDescription: x\r\n");
    EXPECT_EQ(error.DebugInfo(), std::wstring(1, L'\0'));
}

TEST(KvError, DebugInfoIsANulSeparatedListAndAppearsInLaterDumps) {
    CKvError error(L"m", L"Mod", 7, L"Fn");
    const std::wstring expected(
        L"File\0Mod\0Line\0"
        L"7\0Function\0Fn\0\0",
        29);
    EXPECT_EQ(error.DebugInfo(), expected);
    EXPECT_EQ(error.Dump(), L"Code: 0x80004005\r\nDebugInfo: " + expected +
                                L"\r\nDescription: m\r\nFile: Mod\r\nFunction: Fn\r\nLine: 7\r\n");
}

TEST(KvError, CodeErrorsTakeTheMessageOfTheirCode) {
    struct Case {
        uint32_t code;
        const wchar_t* description;
    };
    const Case cases[] = {
        {2, L"The system cannot find the file specified."},
        {13, L"The data is invalid."},
        {0x80070005, L"Access is denied."},
        {1326, L"The user name or password is incorrect."},
        {0xE6060005, L"0xE6060005 (-435814395)"},
        {0xE609001A, L"0xE609001A (-435617766)"},
        {0x12345678, L"0x12345678 (305419896)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        CKvError error(c.code, L"F", 1, L"G");
        EXPECT_EQ(error.Code(), c.code);
        EXPECT_EQ(error.Description(), c.description);
    }
}

TEST(KvError, RaiseThrowsTheObjectWithTheCallersSource) {
    try {
        KV_RAISE_ERROR(L"Some::Function", L"boom");
        FAIL() << "no throw";
    } catch (const CKvError& e) {
        EXPECT_EQ(e.Description(), L"boom");
        EXPECT_NE(e.Dump().find(L"File: KvErrorTest\r\n"), std::wstring::npos);
        EXPECT_NE(e.Dump().find(L"Function: Some::Function\r\n"), std::wstring::npos);
    }
    EXPECT_THROW(KV_RAISE_ERROR_CODE(L"F", 87), CKvError);
}

TEST(KvError, ExtraEntriesJoinTheDump) {
    CKvError error(1326, L"LdapHelper", 10, L"LDAP");
    error.SetEntry(L"LDAP", L"Server: 'h:389' Error: Invalid credentials (0x31).");
    EXPECT_EQ(error.Dump(),
              L"Code: 0x0000052E\r\nDescription: The user name or password is incorrect.\r\n"
              L"File: LdapHelper\r\nFunction: LDAP\r\n"
              L"LDAP: Server: 'h:389' Error: Invalid credentials (0x31).\r\nLine: 10\r\n");
}

TEST(SystemMessages, InsertMarkersAreRemovedWithTheirBlank) {
    EXPECT_EQ(
        KvBase::FillInserts(L"at %1 and %2.", std::vector<std::wstring>{L"x", L"y"}.data(), 2),
        L"at x and y.");
    EXPECT_EQ(KvBase::MessageForCode(0), L"The operation completed successfully.");
}

}  // namespace
