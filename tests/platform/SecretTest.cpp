#include "platform/Secret.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/ScopedTempDir.h"

namespace {

using Platform::SecretMaxBytes;
using Platform::SecretStatus;

TEST(FirstSecretLine, TakesTheFirstLineWithoutItsEndUpToTheLongestPassword) {
    const std::string longest(SecretMaxBytes, 'p');
    struct Case {
        const char* title;
        std::string bytes;
        bool complete;
        SecretStatus status;
        std::string text;
    };
    const Case cases[] = {
        {"a line", "secret\nnext\n", true, SecretStatus::Read, "secret"},
        {"a line of a Windows editor", "secret\r\nnext", true, SecretStatus::Read, "secret"},
        {"a whole file without a line end", "secret", true, SecretStatus::Read, "secret"},
        {"blanks belong to the password", " se cret \n", true, SecretStatus::Read, " se cret "},
        {"an empty first line", "\nsecret\n", true, SecretStatus::Read, ""},
        {"an empty file", "", true, SecretStatus::Read, ""},
        {"the longest password", longest + "\r\n", false, SecretStatus::Read, longest},
        {"the longest password ending the file", longest, true, SecretStatus::Read, longest},
        {"one byte longer", longest + "p\n", false, SecretStatus::TooLong, ""},
        {"one byte longer ending the file", longest + "p", true, SecretStatus::TooLong, ""},
        {"no line end in what was read", longest + "pp", false, SecretStatus::TooLong, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        Platform::Secret secret = Platform::FirstSecretLine(c.bytes, c.complete);
        EXPECT_EQ(secret.status, c.status);
        EXPECT_EQ(secret.text, c.text);
    }
}

TEST(ReadSecretFile, OnlyARegularFileThatNobodyElseMayUseIsRead) {
    KvTest::ScopedTempDir dir;
    struct Case {
        mode_t mode;
        SecretStatus status;
    };
    const Case cases[] = {
        {0600, SecretStatus::Read},         {0400, SecretStatus::Read},
        {0700, SecretStatus::Read},         {0640, SecretStatus::OpenToOthers},
        {0604, SecretStatus::OpenToOthers}, {0620, SecretStatus::OpenToOthers},
        {0601, SecretStatus::OpenToOthers}, {0666, SecretStatus::OpenToOthers},
    };
    const std::string path = dir.File("pw");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::oct << c.mode);
        KvTest::WriteFile(path, "secret\n");
        ASSERT_EQ(chmod(path.c_str(), c.mode), 0);
        Platform::Secret secret = Platform::ReadSecretFile(path);
        EXPECT_EQ(secret.status, c.status);
        EXPECT_EQ(secret.text, c.status == SecretStatus::Read ? "secret" : "");
        EXPECT_EQ(secret.mode, c.status == SecretStatus::OpenToOthers ? c.mode : 0u);
    }
}

TEST(ReadSecretFile, NamesThatAreNoRegularFileAreRefusedWithoutWaiting) {
    KvTest::ScopedTempDir dir;
    ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
    std::filesystem::create_directories(dir.File("folder"));
    EXPECT_EQ(Platform::ReadSecretFile(dir.File("fifo")).status, SecretStatus::NotAFile);
    EXPECT_EQ(Platform::ReadSecretFile(dir.File("folder")).status, SecretStatus::NotAFile);
    EXPECT_EQ(Platform::ReadSecretFile("/dev/zero").status, SecretStatus::NotAFile);
    Platform::Secret missing = Platform::ReadSecretFile(dir.File("missing"));
    EXPECT_EQ(missing.status, SecretStatus::Failed);
    EXPECT_EQ(missing.error, ENOENT);
}

TEST(ReadSecretFile, ALinkIsFollowedAndTheFileItNamesIsJudged) {
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("pw"), "secret\n");
    ASSERT_EQ(chmod(dir.File("pw").c_str(), 0600), 0);
    ASSERT_EQ(symlink(dir.File("pw").c_str(), dir.File("link").c_str()), 0);
    EXPECT_EQ(Platform::ReadSecretFile(dir.File("link")).text, "secret");
    ASSERT_EQ(chmod(dir.File("pw").c_str(), 0644), 0);
    EXPECT_EQ(Platform::ReadSecretFile(dir.File("link")).status, SecretStatus::OpenToOthers);
}

TEST(ReadSecretFile, AHugeFileCostsNoMoreThanItsFirstLine) {
    KvTest::ScopedTempDir dir;
    const std::string path = dir.File("big");
    KvTest::WriteFile(path, "secret\n" + std::string(8 << 20, 'x'));
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(Platform::ReadSecretFile(path).text, "secret");
    KvTest::WriteFile(path, std::string(8 << 20, 'x'));
    EXPECT_EQ(Platform::ReadSecretFile(path).status, SecretStatus::TooLong);
}

TEST(ReadSecretFile, AFileOfAnotherUserIsRefused) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the file away";
    }
    KvTest::ScopedTempDir dir;
    KvTest::WriteFile(dir.File("pw"), "secret\n");
    ASSERT_EQ(chmod(dir.File("pw").c_str(), 0600), 0);
    ASSERT_EQ(chown(dir.File("pw").c_str(), 65534, 65534), 0);
    EXPECT_EQ(Platform::ReadSecretFile(dir.File("pw")).status, SecretStatus::NotOwner);
}

}  // namespace
