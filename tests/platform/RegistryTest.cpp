#include "platform/CodePage.h"
#include "platform/Registry.h"
#include "support/ScopedTempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

using Platform::RegFileRegistry;

const wchar_t* kExport =
    L"Windows Registry Editor Version 5.00\r\n"
    L"\r\n"
    L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5]\r\n"
    L"\"TavisServerInstallDir\"=\"/opt/korvant/server\"\r\n"
    L"\"ProductLocale\"=dword:00000419\r\n"
    L"\"Quoted\"=\"say \\\"hi\\\" C:\\\\Temp\"\r\n"
    L"\"Expand\"=hex(2):25,00,54,00,00,00\r\n"
    L"\"Multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\r\n"
    L"\"Blob\"=hex:01,02,\\\r\n"
    L"  03,04\r\n"
    L"@=\"default\"\r\n"
    L"\r\n"
    L"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5\\LdapHelper]\r\n"
    L"\"SearchTimeout\"=dword:0000003c\r\n";

TEST(RegFileRegistry, ReadsStringNumberAndHexValues) {
    auto registry = RegFileRegistry::FromText(kExport);
    const std::wstring key = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5";
    EXPECT_EQ(registry.GetString(key, L"TavisServerInstallDir"), L"/opt/korvant/server");
    EXPECT_EQ(registry.GetDword(key, L"ProductLocale"), 0x419u);
    EXPECT_EQ(registry.GetString(key, L"Quoted"), L"say \"hi\" C:\\Temp");
    EXPECT_EQ(registry.GetString(key, L"Expand"), L"%T");
    EXPECT_EQ(registry.GetValue(key, L"Multi")->list, (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(registry.GetValue(key, L"Blob")->bytes, (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(registry.GetDword(key, L"Blob"), 0x04030201u);
    EXPECT_EQ(registry.GetString(key, L""), L"default");
    EXPECT_EQ(registry.GetDword(key + L"\\LdapHelper", L"SearchTimeout"), 60u);
}

TEST(RegFileRegistry, KeysAndValueNamesIgnoreLetterCase) {
    auto registry = RegFileRegistry::FromText(kExport);
    EXPECT_TRUE(registry.KeyExists(L"hkey_local_machine\\software\\orvex\\KORVANT 5"));
    EXPECT_EQ(registry.GetDword(L"HKEY_LOCAL_MACHINE\\software\\Orvex\\Korvant 5\\ldaphelper",
                                L"searchtimeout"),
              60u);
    EXPECT_FALSE(registry.KeyExists(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex"));
    EXPECT_FALSE(registry.GetValue(L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Nothing", L"x").has_value());
}

TEST(RegFileRegistry, ReadsUtf16WithBomAndUtf8Files) {
    KvTest::ScopedTempDir dir;
    std::wstring text = std::wstring(kExport) + L"\"Cyrillic\"=\"Корвант\"\r\n";
    std::string utf16 = "\xFF\xFE" + Platform::WideToUtf16Le(text);
    std::string utf8 = "\xEF\xBB\xBF" + Platform::WideToUtf8(text);
    for (const auto& [name, bytes] : {std::pair{"utf16.reg", utf16}, std::pair{"utf8.reg", utf8}}) {
        SCOPED_TRACE(name);
        KvTest::WriteFile(dir.File(name), bytes);
        auto registry = RegFileRegistry::FromFile(dir.File(name));
        const std::wstring key = L"HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvex\\Korvant 5\\LdapHelper";
        EXPECT_EQ(registry.GetDword(key, L"SearchTimeout"), 60u);
        EXPECT_EQ(registry.GetString(key, L"Cyrillic"), L"Корвант");
    }
}

TEST(RegFileRegistry, IgnoresLinesItCannotRead) {
    struct Case {
        const wchar_t* line;
        bool keyGoesOn;  // whether the values after the line still belong to the key
    };
    const Case cases[] = {
        {L"\"Broken\"=dword:xyz", true},
        {L"\"Broken\"=dword:123456789", true},
        {L"\"Broken\"=\"no end quote", true},
        {L"\"Broken\"=hex:1,zz", true},
        {L"\"Broken\"", true},
        {L"garbage without structure", true},
        {L"\"Broken\"=str:text", true},
        // A key line, even a broken one, ends the key before it.
        {L"[unterminated key", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << Platform::WideToUtf8(c.line));
        std::wstring text = std::wstring(L"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"Good\"=dword:1\n") +
                            c.line + L"\n\"After\"=\"ok\"\n";
        auto registry = RegFileRegistry::FromText(text);
        EXPECT_EQ(registry.GetDword(L"HKEY_LOCAL_MACHINE\\K", L"Good"), 1u);
        EXPECT_FALSE(registry.GetValue(L"HKEY_LOCAL_MACHINE\\K", L"Broken").has_value());
        EXPECT_EQ(registry.GetString(L"HKEY_LOCAL_MACHINE\\K", L"After").has_value(), c.keyGoesOn);
        if (c.keyGoesOn) {
            EXPECT_EQ(registry.GetString(L"HKEY_LOCAL_MACHINE\\K", L"After"), L"ok");
        }
    }
}

TEST(RegFileRegistry, DeletionLinesRemoveKeysAndValues) {
    auto registry = RegFileRegistry::FromText(
        L"[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:1\n\"y\"=dword:2\n\"x\"=-\n"
        L"[HKEY_LOCAL_MACHINE\\B]\n\"z\"=dword:3\n[-HKEY_LOCAL_MACHINE\\B]\n");
    EXPECT_FALSE(registry.GetValue(L"HKEY_LOCAL_MACHINE\\A", L"x").has_value());
    EXPECT_EQ(registry.GetDword(L"HKEY_LOCAL_MACHINE\\A", L"y"), 2u);
    EXPECT_FALSE(registry.KeyExists(L"HKEY_LOCAL_MACHINE\\B"));
}

TEST(RegFileRegistry, MissingOrBinaryGarbageFileGivesEmptyRegistry) {
    KvTest::ScopedTempDir dir;
    EXPECT_FALSE(
        RegFileRegistry::FromFile(dir.File("missing.reg")).KeyExists(L"HKEY_LOCAL_MACHINE"));
    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
    }
    KvTest::WriteFile(dir.File("garbage.reg"), garbage);
    auto registry = RegFileRegistry::FromFile(dir.File("garbage.reg"));
    EXPECT_FALSE(registry.GetValue(L"HKEY_LOCAL_MACHINE\\SOFTWARE", L"x").has_value());
}

TEST(RegFileRegistry, LongHexValueContinuesOverManyLines) {
    std::wstring text = L"REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"Blob\"=hex:";
    for (int line = 0; line < 20000; ++line) {
        text += L"01,02,03,\\\n  ";
    }
    text += L"04\n\"After\"=\"ok\"\n";
    auto registry = RegFileRegistry::FromText(text);
    EXPECT_EQ(registry.GetValue(L"HKEY_LOCAL_MACHINE\\K", L"Blob")->bytes.size(), 60001u);
    EXPECT_EQ(registry.GetString(L"HKEY_LOCAL_MACHINE\\K", L"After"), L"ok");
}

TEST(RegFileRegistry, OnlyRegularFilesOfASaneSizeAreRead) {
    KvTest::ScopedTempDir dir;
    ASSERT_EQ(mkfifo(dir.File("fifo.reg").c_str(), 0600), 0);
    const std::string big = dir.File("big.reg");
    KvTest::WriteFile(big, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"1\"\n");
    ASSERT_EQ(truncate(big.c_str(), static_cast<off_t>(Platform::MaxRegistryFileBytes) + 1), 0);
    struct Case {
        std::string path;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {dir.File("fifo.reg"), "The registry file " + dir.File("fifo.reg") +
                                   " is not a regular file; its values are "
                                   "missing."},
        {"/dev/zero", "The registry file /dev/zero is not a regular file; its values are missing."},
        {dir.Path(), "The registry file " + dir.Path() +
                         " is not a regular file; its values are "
                         "missing."},
        {big, "The registry file " + big + " is larger than 16 MiB; its values are missing."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        std::string problem;
        auto registry = RegFileRegistry::FromFile(c.path, &problem);
        EXPECT_FALSE(registry.KeyExists(L"HKEY_LOCAL_MACHINE\\K"));
        EXPECT_EQ(problem, c.problem);
        KvTest::ScopedEnv env("KV_REGISTRY_FILE", c.path);
        EXPECT_EQ(Platform::SystemRegistryProblem(), c.problem);
    }
}

TEST(RegFileRegistry, SystemRegistryIsReadOncePerVersionOfTheFile) {
    KvTest::ScopedTempDir dir;
    const std::string path = dir.File("r.reg");
    KvTest::WriteFile(path, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"1\"\n");
    KvTest::ScopedEnv env("KV_REGISTRY_FILE", path);
    auto first = Platform::OpenSystemRegistry();
    EXPECT_EQ(Platform::OpenSystemRegistry(), first);
    EXPECT_EQ(Platform::SystemRegistryProblem(), "");
    KvTest::WriteFile(path, "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"22\"\n");
    auto second = Platform::OpenSystemRegistry();
    EXPECT_NE(second, first);
    EXPECT_EQ(second->GetString(L"HKEY_LOCAL_MACHINE\\K", L"v"), L"22");
    EXPECT_EQ(first->GetString(L"HKEY_LOCAL_MACHINE\\K", L"v"), L"1");
}

TEST(RegFileRegistry, SystemRegistryComesFromTheEnvironment) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("r.reg"), "REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"v\"=\"1\"\n");
    {
        KvTest::ScopedEnv env("KV_REGISTRY_FILE", dir.File("r.reg"));
        EXPECT_EQ(Platform::OpenSystemRegistry()->GetString(L"HKEY_LOCAL_MACHINE\\K", L"v"), L"1");
    }
    KvTest::ScopedEnv env("KV_REGISTRY_FILE", "");
    EXPECT_EQ(Platform::SystemRegistryPath(), "/etc/korvant/registry.reg");
}

}  // namespace
