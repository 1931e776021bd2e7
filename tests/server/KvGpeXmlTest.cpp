#include <gtest/gtest.h>

#include <optional>

#include "base/KvError.h"
#include "server/KvGpeXml.h"
#include "support/GpeBlob.h"
#include "support/TraceCapture.h"

namespace KvMigration {
namespace {

std::optional<uint32_t> ErrorCodeOf(const std::wstring& nibbles, std::string* result = nullptr) {
    try {
        std::string text = NibbleStringToString(nibbles);
        if (result != nullptr) {
            *result = text;
        }
        return std::nullopt;
    } catch (const KvBase::CKvError& error) {
        return error.Code();
    }
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    return text;
}

TEST(NibbleStringToString, InflatesTheBlobOfAValidString) {
    const std::string xml = "<?xml version=\"1.0\"?><policy PolicyType=\"1\"/>";
    struct Case {
        const char* name;
        std::wstring nibbles;
        std::string expected;
    };
    const Case cases[] = {
        {"upper-case digits", KvTest::MakeNibbles(KvTest::MakeBlob(xml)), xml},
        {"lower-case digits", Lower(KvTest::MakeNibbles(KvTest::MakeBlob(xml))), xml},
        {"an odd last digit is ignored", KvTest::MakeNibbles(KvTest::MakeBlob(xml)) + L"F", xml},
        {"the text ends at a zero byte",
         KvTest::MakeNibbles(KvTest::MakeBlob(std::string("ab\0cd", 5))), "ab"},
        {"an empty text", KvTest::MakeNibbles(KvTest::MakeBlob("")), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string result;
        EXPECT_EQ(ErrorCodeOf(c.nibbles, &result), std::nullopt);
        EXPECT_EQ(result, c.expected);
    }
}

TEST(NibbleStringToString, RaisesTheCodeOfEachDefect) {
    const std::string xml = "<policy/>";
    std::wstring badChecksum = KvTest::MakeNibbles(KvTest::MakeBlob(xml));
    badChecksum.back() = badChecksum.back() == L'0' ? L'1' : L'0';
    std::string corrupt = KvTest::MakeBlob(xml);
    corrupt[10] = static_cast<char>(corrupt[10] ^ 0x55);
    struct Case {
        const char* name;
        std::wstring nibbles;
        uint32_t code;
    };
    const Case cases[] = {
        {"empty", L"", 87},
        {"one digit", L"A", 0xE6090018},
        {"\"00\": no data, checksum 0, blob too short", L"00", 0xE609001A},
        {"checksum mismatch", badChecksum, 0xE6090019},
        {"blob shorter than its header", KvTest::MakeNibbles("ZLIB\x05"), 0xE609001A},
        {"signature", KvTest::MakeNibbles("ZLIX" + KvTest::MakeBlob(xml).substr(4)), 0xE609001B},
        {"header without a stream", KvTest::MakeNibbles(std::string("ZLIB\0\0\0\0", 8)),
         0xE609001C},
        {"corrupt stream", KvTest::MakeNibbles(corrupt), 0xE609001C},
        {"truncated stream", KvTest::MakeNibbles(KvTest::MakeBlob(xml).substr(0, 12)), 0xE609001C},
        {"stored length shorter than the data", KvTest::MakeNibbles(KvTest::MakeBlob(xml, 3)),
         0xE609001C},
        {"stored length longer than the data", KvTest::MakeNibbles(KvTest::MakeBlob(xml, 10)),
         0xE609001D},
        {"stored length far beyond what the stream can hold",
         KvTest::MakeNibbles(KvTest::MakeBlob(xml, 15 * 1024 * 1024)), 0xE609001D},
        {"stored length of 4 GB", KvTest::MakeNibbles(KvTest::MakeBlob(xml, 0xFFFFFFFF)),
         0xE609001C},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ErrorCodeOf(c.nibbles), c.code);
    }
}

TEST(NibbleStringToString, TracesTheStringAndAStoredLengthBeyondTheLimit) {
    const size_t start = KvTest::TraceLogSize();
    const std::wstring nibbles = KvTest::MakeNibbles(KvTest::MakeBlob("<a/>", 0x80000000));
    EXPECT_EQ(ErrorCodeOf(nibbles), 0xE609001C);
    const std::wstring log = KvTest::TraceLogSince(start);
    EXPECT_NE(log.find(L"NibbleStringToString: " + nibbles + L"\r\n"), std::wstring::npos) << log;
    EXPECT_NE(log.find(L"W> UnCompressBlob: the stored length 2147483648 exceeds the limit of "
                       L"16777216\r\n"),
              std::wstring::npos)
        << log;
}

}  // namespace
}  // namespace KvMigration
