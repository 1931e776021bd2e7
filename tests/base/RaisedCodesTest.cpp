// Every code the program raises has its Windows text in the built-in message table, so that no
// failure reaches the administrator as a bare "0x00000070 (112)". The sources are read to find
// every raise site: a new site with a code the table lacks, or with a code this test cannot
// work out, fails here.

#include "base/SystemMessages.h"
#include "platform/Process.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The product's own codes (facility bits 25 and 26) have their texts in a message module that is
// not part of this program; their description is the code itself by design.
bool IsProductCode(uint64_t code) {
    return (code & 0x06000000u) == 0x06000000u && code > 0xFFFFu;
}

bool HasText(uint32_t code) {
    return KvBase::SystemMessageText(code).has_value();
}

// The code argument of a raise call that starts at `open` (the opening parenthesis).
std::string CodeArgument(const std::string& text, size_t open) {
    int depth = 0;
    size_t lastComma = std::string::npos;
    for (size_t i = open; i < text.size(); ++i) {
        char c = text[i];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) {
                size_t start = lastComma == std::string::npos ? open + 1 : lastComma + 1;
                std::string argument = text.substr(start, i - start);
                argument.erase(0, argument.find_first_not_of(" \n\t"));
                argument.erase(argument.find_last_not_of(" \n\t") + 1);
                return argument;
            }
        } else if (c == ',' && depth == 1) {
            lastComma = i;
        }
    }
    return {};
}

// Named constants of the sources: "constexpr uint32_t kName = 87;" and product code tables.
std::map<std::string, uint64_t> Constants(const std::vector<fs::path>& files) {
    std::map<std::string, uint64_t> constants;
    const std::regex definition(
        R"((?:constexpr|const)\s+(?:uint32_t|int|unsigned)\s+(\w+)\s*=\s*(0x[0-9A-Fa-f]+|\d+)u?\s*;)");
    for (const fs::path& file : files) {
        std::string text = Read(file);
        for (std::sregex_iterator it(text.begin(), text.end(), definition), end; it != end; ++it) {
            constants[(*it)[1]] = std::stoull((*it)[2], nullptr, 0);
        }
    }
    return constants;
}

// Codes that come from a mapping of system or library errors rather than from the raise site,
// or that pass on the code of an error object caught earlier ("state_" of the client import).
const std::set<std::string> kMappedForms = {"output_->ErrorCode()", "code", "state_",
                                            "Platform::ErrnoToWin32(errno)"};

TEST(RaisedCodes, EveryRaisedCodeHasItsText) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(KV_SOURCE_DIR "/src")) {
        if (entry.path().extension() == ".cpp" || entry.path().extension() == ".h") {
            files.push_back(entry.path());
        }
    }
    ASSERT_FALSE(files.empty());
    const std::map<std::string, uint64_t> constants = Constants(files);
    size_t sites = 0;
    for (const fs::path& file : files) {
        if (file.filename() == "KvError.h" || file.filename() == "KvError.cpp") {
            continue;
        }
        const std::string text = Read(file);
        for (const char* call : {"KV_RAISE_ERROR_CODE(", "RaiseErrorCode("}) {
            for (size_t at = text.find(call); at != std::string::npos;
                 at = text.find(call, at + 1)) {
                if (at > 0 && (std::isalnum(static_cast<unsigned char>(text[at - 1])) ||
                               text[at - 1] == '_')) {
                    continue;
                }
                ++sites;
                const std::string argument = CodeArgument(text, at + std::string(call).size() - 1);
                SCOPED_TRACE(file.filename().string() + ": " + argument);
                // Every errno goes through the one system-error table, whose texts the next test
                // checks.
                if (kMappedForms.count(argument) != 0 || argument.rfind("FileErrorCode(", 0) == 0) {
                    continue;
                }
                uint64_t code = 0;
                if (std::regex_match(argument, std::regex(R"((0x[0-9A-Fa-f]+|\d+)u?)"))) {
                    code = std::stoull(argument, nullptr, 0);
                } else if (auto found = constants.find(argument); found != constants.end()) {
                    code = found->second;
                } else {
                    ADD_FAILURE() << "a code this test cannot work out; name it as a constant or "
                                     "add its form to the mapped ones";
                    continue;
                }
                if (!IsProductCode(code)) {
                    EXPECT_TRUE(HasText(static_cast<uint32_t>(code))) << "code " << code;
                }
            }
        }
    }
    EXPECT_GT(sites, 20u);
}

TEST(RaisedCodes, MappedSystemErrorsHaveTheirTexts) {
    for (int error = 0; error < 200; ++error) {
        SCOPED_TRACE(error);
        EXPECT_TRUE(HasText(Platform::ErrnoToWin32(error)));
    }
    // What a full disk, a write-protected folder, too many open files and a too long name say.
    EXPECT_EQ(KvBase::MessageForCode(Platform::ErrnoToWin32(ENOSPC)),
              L"There is not enough space on the disk.");
    EXPECT_EQ(KvBase::MessageForCode(Platform::ErrnoToWin32(EROFS)),
              L"The media is write protected.");
    EXPECT_EQ(KvBase::MessageForCode(Platform::ErrnoToWin32(EMFILE)),
              L"The system cannot open the file.");
    EXPECT_EQ(KvBase::MessageForCode(Platform::ErrnoToWin32(ENAMETOOLONG)),
              L"The filename or extension is too long.");
    EXPECT_EQ(KvBase::MessageForCode(1338), L"The security descriptor structure is invalid.");
}

}  // namespace
