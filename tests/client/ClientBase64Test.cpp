#include "client/ClientBase64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace KvMigration {
namespace {

std::vector<uint8_t> Bytes(size_t count) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(i * 37 + 11);
    }
    return bytes;
}

// The lengths of the lines the text is broken into at its CR LF pairs.
std::vector<size_t> LineLengths(const std::wstring& text) {
    std::vector<size_t> lengths;
    size_t start = 0;
    for (size_t at = text.find(L"\r\n"); at != std::wstring::npos; at = text.find(L"\r\n", start)) {
        lengths.push_back(at - start);
        start = at + 2;
    }
    lengths.push_back(text.size() - start);
    return lengths;
}

TEST(ClientBase64, BreaksAfterEveryFullLineOfNineteenGroups) {
    struct Case {
        size_t bytes;
        std::vector<size_t>
            lines;  // the last one follows the last CR LF (0: the text ends with it)
    };
    const std::vector<Case> cases = {
        {0, {0}},      {1, {4}},      {8, {12}},      {32, {44}},         {56, {76}},
        {57, {76, 0}}, {58, {76, 4}}, {64, {76, 12}}, {114, {76, 76, 0}}, {128, {76, 76, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        EXPECT_EQ(LineLengths(EncodeClientBase64(Bytes(c.bytes))), c.lines);
    }
}

TEST(ClientBase64, EncodesTheStandardAlphabetWithPadding) {
    const std::vector<uint8_t> abc = {'a', 'b', 'c'};
    EXPECT_EQ(EncodeClientBase64(abc), L"YWJj");
    EXPECT_EQ(EncodeClientBase64(std::vector<uint8_t>{0}), L"AA==");
    EXPECT_EQ(EncodeClientBase64(std::vector<uint8_t>{0xFF, 0xFE}), L"//4=");
    EXPECT_EQ(EncodeClientBase64(std::vector<uint8_t>{0xFB, 0xEF, 0xBE}), L"++++");
}

TEST(ClientBase64, DecodesWhateverSurroundsTheAlphabet) {
    struct Case {
        const char* title;
        std::wstring text;
        std::vector<uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"plain", L"YWJj", {'a', 'b', 'c'}},
        {"a blank inside", L"YW Jj", {'a', 'b', 'c'}},
        {"line breaks", L"Y\r\nW\nJj\r\n", {'a', 'b', 'c'}},
        {"padding", L"YQ==", {'a'}},
        {"missing padding", L"YQ", {'a'}},
        {"two characters of a group give one byte", L"YWI", {'a', 'b'}},
        {"one lone character gives nothing", L"YWJjY", {'a', 'b', 'c'}},
        {"padding in the middle is skipped", L"YQ==YQ==", {0x61, 0x06, 0x10}},
        {"stops at a NUL", std::wstring(L"YWJj\0YWJj", 9), {'a', 'b', 'c'}},
        {"empty", L"", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(DecodeClientBase64(c.text), c.bytes);
    }
}

TEST(ClientBase64, RoundTripsEverySize) {
    for (size_t size = 0; size <= 200; ++size) {
        SCOPED_TRACE(size);
        const std::vector<uint8_t> bytes = Bytes(size);
        EXPECT_EQ(DecodeClientBase64(EncodeClientBase64(bytes)), bytes);
    }
}

}  // namespace
}  // namespace KvMigration
