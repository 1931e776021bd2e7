// The Base64 form of integrity-check bodies: where the line breaks fall by body length, and what
// the decoding skips.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "icheck/B64Str.h"

namespace KvMigration {
namespace {

std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return bytes;
}

// The text's lines and whether it ends with a line break.
struct Shape {
    std::vector<size_t> lines;
    bool endsWithBreak;
    bool operator==(const Shape& other) const {
        return lines == other.lines && endsWithBreak == other.endsWithBreak;
    }
};

std::ostream& operator<<(std::ostream& out, const Shape& shape) {
    for (size_t line : shape.lines) {
        out << line << " ";
    }
    return out << (shape.endsWithBreak ? "CRLF" : "no CRLF");
}

Shape ShapeOf(const std::wstring& text) {
    Shape shape{{}, false};
    size_t begin = 0;
    for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", begin)) {
        shape.lines.push_back(at - begin);
        begin = at + 2;
    }
    if (begin < text.size()) {
        shape.lines.push_back(text.size() - begin);
    }
    shape.endsWithBreak = text.size() >= 2 && text.compare(text.size() - 2, 2, L"\r\n") == 0;
    EXPECT_EQ(text.find(L'\r', 0), text.find(L"\r\n")) << "a CR without its LF";
    return shape;
}

TEST(CB64Str, BreaksLinesAfterEvery76CharactersOfWholeGroups) {
    struct Case {
        size_t bytes;
        Shape shape;
    };
    const std::vector<Case> cases = {
        {0, {{}, false}},
        {1, {{4}, false}},
        {3, {{4}, false}},
        {56, {{76}, false}},     // 72 characters of whole groups, then the last group
        {57, {{76}, true}},      // one full line keeps its break
        {58, {{76, 4}, false}},  // the last group starts a line of its own
        {60, {{76, 4}, false}},
        {114, {{76, 76}, true}},
        {115, {{76, 76, 4}, false}},
        {1000, {{76, 76, 76, 76, 76, 76, 76, 76, 76, 76, 76, 76, 76, 76, 76, 76, 76, 44}, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const CB64Str encoded(Bytes(c.bytes));
        EXPECT_EQ(ShapeOf(encoded.Text()), c.shape);
        EXPECT_EQ(CB64Str(encoded.Text()).Bytes(), Bytes(c.bytes));
    }
}

TEST(CB64Str, EncodesTheStandardAlphabetWithPadding) {
    EXPECT_EQ(CB64Str(std::vector<uint8_t>{'a', 'b', 'c'}).Text(), L"YWJj");
    EXPECT_EQ(CB64Str(std::vector<uint8_t>{0}).Text(), L"AA==");
    EXPECT_EQ(CB64Str(std::vector<uint8_t>{0xFB, 0xFF}).Text(), L"+/8=");
}

TEST(CB64Str, DecodingSkipsEverythingOutsideTheAlphabet) {
    struct Case {
        const char* title;
        std::wstring text;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"line breaks and blanks", L"YW\r\nJ j", {'a', 'b', 'c'}},
        {"padding is skipped, not an end: the groups run together",
         L"QQ==QQ==",
         {0x41, 0x04, 0x10}},
        {"non-ASCII letters", L"YW\x0416Jj\xFF21", {'a', 'b', 'c'}},
        {"a last group of three characters", L"YWI", {'a', 'b'}},
        {"a last group of two characters", L"YQ", {'a'}},
        {"a single character gives nothing", L"Y", {}},
        {"nothing of the alphabet", L"=\r\n-_", {}},
        {"empty", L"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(CB64Str(c.text).Bytes(), c.bytes);
    }
}

}  // namespace
}  // namespace KvMigration
