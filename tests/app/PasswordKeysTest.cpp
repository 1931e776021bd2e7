// "-W" and "-y <file>" through the real binary: the password asked for on a terminal with echo
// off or read from an owner-only file, every refusal with its message, and the password nowhere
// in the output or the trace.
#include "app/ProgramFixture.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace {

// What a terminal showed, with its "\r\n" line ends as the program wrote them.
std::string Lines(std::string screen) {
    for (size_t at = screen.find("\r\n"); at != std::string::npos; at = screen.find("\r\n", at)) {
        screen.erase(at, 1);
    }
    return screen;
}

class PasswordKeysTest : public KvTest::ProgramFixture {
protected:
    // A password file in the working folder with the given permissions.
    std::string PasswordFile(const std::string& name, const std::string& bytes, mode_t mode) {
        const std::string path = dir_.File("work/" + name);
        KvTest::WriteFile(path, bytes);
        chmod(path.c_str(), mode);
        return path;
    }

    // Nothing listens on 127.0.0.9: a run whose parameters are good ends at the domain controller.
    static std::vector<std::string> Connect(std::vector<std::string> keys) {
        std::vector<std::string> arguments = {"-ex", "out.xml", "-lds", "-dc", "127.0.0.9"};
        arguments.insert(arguments.end(), keys.begin(), keys.end());
        return arguments;
    }

    static std::string Refused(const std::string& login) {
        return "The specified server cannot perform the requested operation.\n"
               "Server: '127.0.0.9:389' User: '" +
               login + "' Error: Can't contact LDAP server (0x51).\n";
    }
};

TEST_F(PasswordKeysTest, APasswordFileOfItsOwnerReplacesThePasswordOfCr) {
    PasswordFile("pw", "Pa55-from-file\r\nsecond line\n", 0600);
    auto result = Run(Connect({"-cr", "CORP\\admin:on-the-line", "-y", "pw"}));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "The input parameters have been successfully read.\n");
    EXPECT_EQ(result.err, Refused("CORP\\admin") + TraceLine());
    const std::string log = Log();
    EXPECT_NE(log.find("Input string: -ex out.xml -lds -dc 127.0.0.9 -cr <present> -y pw\r\n"),
              std::string::npos);
    EXPECT_EQ(log.find("Pa55"), std::string::npos);
    EXPECT_EQ(log.find("second"), std::string::npos);
}

TEST_F(PasswordKeysTest, EveryWrongUseIsRefusedBeforeAConnection) {
    const std::string work = dir_.File("work");
    PasswordFile("good", "secret\n", 0600);
    PasswordFile("shared", "secret\n", 0640);
    PasswordFile("public", "secret\n", 0604);
    PasswordFile("empty", "", 0600);
    PasswordFile("blank", "\nsecret\n", 0600);
    PasswordFile("long", std::string(1025, 'p') + "\n", 0600);
    PasswordFile("latin1", "caf\xe9\n", 0600);
    std::filesystem::create_directories(work + "/folder");
    ASSERT_EQ(mkfifo((work + "/fifo").c_str(), 0600), 0);
    struct Case {
        std::vector<std::string> keys;
        std::string message;
    };
    const std::vector<Case> cases = {
        {{"-cr", "admin", "-y", "shared"},
         "The password file \"shared\" may be used by other users (mode 0640); allow its owner "
         "only: chmod 600 \"shared\"."},
        {{"-cr", "admin", "-y", "public"},
         "The password file \"public\" may be used by other users (mode 0604); allow its owner "
         "only: chmod 600 \"public\"."},
        {{"-cr", "admin", "-y", "missing"},
         "The password file \"missing\" cannot be read: No such file or directory."},
        {{"-cr", "admin", "-y", "folder"}, "The password file \"folder\" is not a regular file."},
        {{"-cr", "admin", "-y", "fifo"}, "The password file \"fifo\" is not a regular file."},
        {{"-cr", "admin", "-y", "empty"},
         "The password file \"empty\" holds no password on its first line."},
        {{"-cr", "admin", "-y", "blank"},
         "The password file \"blank\" holds no password on its first line."},
        {{"-cr", "admin", "-y", "long"},
         "The first line of the password file \"long\" is longer than 1024 bytes."},
        {{"-cr", "admin", "-y", "latin1"}, "The password in \"latin1\" is not UTF-8 text."},
        {{"-cr", "admin", "-y"}, "Key \"-y\" must have argument."},
        {{"-cr", "admin", "-y", "good", "-W"}, "Keys \"-W\" and \"-y\" cannot be used together."},
        {{"-y", "good"},
         "Key \"-y\" gives the password of the login of key \"-cr\", which is missing."},
        {{"-W"}, "Key \"-W\" gives the password of the login of key \"-cr\", which is missing."},
        {{"-cr", ":x", "-y", "good"}, "Key \"-cr\" gives no login for the password of key \"-y\"."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto result = Run(Connect(c.keys));
        EXPECT_EQ(result.status, 255);
        EXPECT_EQ(result.out, Usage());
        EXPECT_EQ(result.err, c.message + "\n" + TraceLine());
    }
    EXPECT_EQ(Log().find("secret"), std::string::npos);
}

TEST_F(PasswordKeysTest, AFileOfAnotherUserIsRefused) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs root to give the file away";
    }
    const std::string path = PasswordFile("theirs", "secret\n", 0600);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
    auto result = Run(Connect({"-cr", "admin", "-y", "theirs"}));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.err, "The password file \"theirs\" belongs to another user.\n" + TraceLine());
}

TEST_F(PasswordKeysTest, MinusWAsksOnTheTerminalWithEchoOff) {
    struct Case {
        const char* title;
        std::string typed;  // after the prompt
        std::string err;    // what the run ends with after the prompt
    };
    const std::vector<Case> cases = {
        {"a password", "typed-Pa55\n", Refused("CORP\\admin")},
        {"Enter alone", "\n", "No password was entered."},
        {"end of input", "\x04", "No password was entered."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        KvTest::TerminalOptions options;
        bool asked = false;
        options.onScreen = [&](const std::string& screen, pid_t) {
            if (!asked && screen.find("Password for CORP\\admin: ") != std::string::npos) {
                asked = true;
                return c.typed;
            }
            return std::string(screen.find("Press any key") != std::string::npos ? "k" : "");
        };
        KvTest::TerminalResult result =
            RunOnTerminal(Connect({"-cr", "CORP\\admin", "-W"}), options);
        EXPECT_FALSE(result.timedOut) << result.screen;
        EXPECT_EQ(result.status, 255);
        EXPECT_TRUE(asked) << result.screen;
        EXPECT_NE(Lines(result.screen).find(c.err), std::string::npos) << result.screen;
        EXPECT_EQ(result.screen.find("typed-Pa55"), std::string::npos) << result.screen;
    }
    EXPECT_EQ(Log().find("typed-Pa55"), std::string::npos);
}

TEST_F(PasswordKeysTest, MinusWWithoutATerminalSaysSoInsteadOfWaiting) {
    // setsid: a session of its own, so that no terminal of whoever runs the tests is reachable.
    auto result = KvTest::RunProcess("/usr/bin/setsid",
                                     {"-w", KV_BINARY_PATH, "-ex", "out.xml", "-lds", "-dc",
                                      "127.0.0.9", "-cr", "CORP\\admin", "-W"},
                                     Environment(), 60, dir_.File("work"));
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, Usage());
    EXPECT_EQ(result.err,
              "Key \"-W\" asks for the password on the terminal, and this run has none; give the "
              "password in a file with -y.\n" +
                  TraceLine());
}

}  // namespace
